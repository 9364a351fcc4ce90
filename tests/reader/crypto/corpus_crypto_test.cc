// Decryption of the encrypted workbooks of the shared corpus, with the passwords its
// manifest lists (each checked there against the file's own verifier).
#include <gtest/gtest.h>

#include "reader/base/bytes.h"
#include "reader/crypto/crypto.h"
#include "reader/crypto/primitives.h"
#include "tests/support/corpus.h"
#include "tests/tools/workbook_encryptor.h"

namespace gridwell::testing {
namespace {

using crypto::Verdict;

using EncryptedFile = test::ManifestEntry;
using test::EncryptedManifest;

std::string Corpus(const std::string& rel) {
  return test::CorpusPath(rel);
}

using base::Le16;

TEST(CorpusCrypto, ManifestListsTheEncryptedFiles) {
  GRIDWELL_REQUIRE_CORPUS();
  auto files = EncryptedManifest();
  EXPECT_GE(files.size(), 40u);
}

// Every encrypted package with a known password decrypts to a ZIP with it and refuses a
// wrong one without output.
TEST(CorpusCrypto, PackagesOpenWithTheirPasswordOnly) {
  GRIDWELL_REQUIRE_CORPUS();
  int checked = 0;
  for (const EncryptedFile& f : EncryptedManifest()) {
    if (f.format != "xlsx") continue;
    SCOPED_TRACE(f.path);
    auto streams = ReadCompoundFile(Corpus(f.path));
    // libgsf refuses one of POI's files; the workbook loader's tests open it.
    if (!streams) continue;
    const CompoundStream* info = FindStream(*streams, {"EncryptionInfo"});
    const CompoundStream* pkg = FindStream(*streams, {"EncryptedPackage"});
    if (!info || !pkg) {
      EXPECT_TRUE(f.password.empty()) << "a damaged fuzz file has no known password";
      continue;
    }
    Bytes plain;
    EXPECT_EQ(crypto::DecryptPackage(info->data, pkg->data, "not the password", plain),
              Verdict::WrongPassword);
    EXPECT_TRUE(plain.empty());
    EXPECT_EQ(crypto::CheckPackagePassword(info->data, "not the password"), Verdict::WrongPassword);
    if (f.password.empty()) continue;
    EXPECT_EQ(crypto::CheckPackagePassword(info->data, f.password), Verdict::Ok);
    ASSERT_EQ(crypto::DecryptPackage(info->data, pkg->data, f.password, plain), Verdict::Ok);
    ASSERT_GE(plain.size(), 4u);
    EXPECT_EQ(plain[0], 'P');
    EXPECT_EQ(plain[1], 'K');
    EXPECT_EQ(plain[2], 3);
    EXPECT_EQ(plain[3], 4);
    ++checked;
  }
  EXPECT_GE(checked, 17);
}

TEST(CorpusCrypto, AgilePackageMatchesKnownPlainOutput) {
  GRIDWELL_REQUIRE_CORPUS();
  auto streams = ReadCompoundFile(Corpus("msoffcrypto-tool/inputs/example_password.xlsx"));
  auto expected = ReadFileBytes(Corpus("msoffcrypto-tool/outputs/example.xlsx"));
  ASSERT_TRUE(streams && expected);
  Bytes plain;
  ASSERT_EQ(crypto::DecryptPackage(FindStream(*streams, {"EncryptionInfo"})->data,
                                   FindStream(*streams, {"EncryptedPackage"})->data,
                                   "Password1234_", plain),
            Verdict::Ok);
  EXPECT_TRUE(plain == *expected);
}

// A decrypted BOUNDSHEET must hold a sheet name whose length fits the record exactly:
// a wrong key stream or a wrong set of clear bytes breaks that.
void ExpectPlausibleBoundSheets(const Bytes& s, bool biff8) {
  int sheets = 0;
  for (size_t pos = 0; pos + 4 <= s.size();) {
    uint16_t type = Le16(s, pos), len = Le16(s, pos + 2);
    if (pos + 4 + len > s.size()) break;
    if (type == 0x0085) {
      size_t body = pos + 4;
      size_t cch = s[body + 6];
      size_t expected = biff8 ? 8 + cch * ((s[body + 7] & 1) ? 2 : 1) : 7 + cch;
      EXPECT_EQ(len, expected) << "BOUNDSHEET at " << pos;
      EXPECT_LE(s[body + 4] & 0x3F, 2) << "visibility at " << pos;
      ++sheets;
    }
    if (type == 0x000A && sheets > 0) break;  // EOF of the globals
    pos += 4 + len;
  }
  EXPECT_GE(sheets, 1);
}

// CODEPAGE, when present in the globals, reads 1200 (UTF-16) in BIFF8 files.
void ExpectBiff8CodePage(const Bytes& s) {
  for (size_t pos = 0; pos + 4 <= s.size();) {
    uint16_t type = Le16(s, pos), len = Le16(s, pos + 2);
    if (type == 0x0042 && len == 2 && pos + 6 <= s.size()) {
      EXPECT_EQ(Le16(s, pos + 4), 1200);
      return;
    }
    if (type == 0x000A) return;
    pos += 4 + len;
  }
}

TEST(CorpusCrypto, RecordStreamsDecryptWithTheirPasswordOnly) {
  GRIDWELL_REQUIRE_CORPUS();
  int checked = 0;
  for (const EncryptedFile& f : EncryptedManifest()) {
    if (f.format != "xls") continue;
    SCOPED_TRACE(f.path);
    auto streams = ReadCompoundFile(Corpus(f.path));
    if (!streams) continue;  // the damaged-container fuzz file
    const CompoundStream* book = FindStream(*streams, {"Workbook", "Book"});
    ASSERT_TRUE(book);
    auto filepass = FindFilepass(book->data);
    ASSERT_TRUE(filepass);
    Verdict v;
    EXPECT_EQ(crypto::OpenFilepass(*filepass, "not the password", v), nullptr);
    EXPECT_EQ(v, Verdict::WrongPassword);
    if (f.password.empty()) continue;
    EXPECT_NE(crypto::OpenFilepass(*filepass, f.password, v), nullptr);
    EXPECT_EQ(v, Verdict::Ok);
    Bytes plain = DecryptWorkbookStream(book->data, f.password, v);
    ASSERT_EQ(v, Verdict::Ok);
    bool biff8 = Le16(book->data, 4) == 0x0600;
    ExpectPlausibleBoundSheets(plain, biff8);
    if (biff8) ExpectBiff8CodePage(plain);
    ++checked;
  }
  EXPECT_GE(checked, 20);
}

// msoffcrypto-tool's decrypted copies hold the same records after the FILEPASS record.
// Its XOR output re-encodes strings from the first FONT record on, so that file is
// compared up to there.
TEST(CorpusCrypto, RecordStreamsMatchKnownPlainOutput) {
  GRIDWELL_REQUIRE_CORPUS();
  struct Case {
    const char* input;
    const char* output;
    const char* password;
    uint16_t stopAt;  // record type where the comparison ends, 0 for none
  };
  for (const Case& c :
       {Case{"msoffcrypto-tool/inputs/rc4cryptoapi_password.xls",
             "msoffcrypto-tool/outputs/rc4cryptoapi_password_plain.xls", "Password1234_", 0},
        Case{"msoffcrypto-tool/inputs/xor_password_123456789012345.xls",
             "msoffcrypto-tool/outputs/xor_password_123456789012345_plain.xls", "123456789012345",
             0x0031}}) {
    SCOPED_TRACE(c.input);
    auto in = ReadCompoundFile(Corpus(c.input));
    auto out = ReadCompoundFile(Corpus(c.output));
    ASSERT_TRUE(in && out);
    Verdict v;
    Bytes plain = DecryptWorkbookStream(FindStream(*in, {"Workbook"})->data, c.password, v);
    ASSERT_EQ(v, Verdict::Ok);
    const Bytes& expected = FindStream(*out, {"Workbook"})->data;
    size_t fpPos = 0, fpEnd = 0;
    for (size_t pos = 0; pos + 4 <= plain.size(); pos += 4 + Le16(plain, pos + 2))
      if (Le16(plain, pos) == 0x002F) {
        fpPos = pos;
        fpEnd = pos + 4 + Le16(plain, pos + 2);
        break;
      }
    ASSERT_GT(fpEnd, 0u);
    // One known output drops the FILEPASS record, the other keeps its bytes; past it the
    // records must match byte for byte (BOUNDSHEET offsets aside, which dropping shifts).
    bool dropped = Le16(expected, fpPos) == Le16(plain, fpEnd);
    size_t shift = dropped ? fpEnd - fpPos : 0;
    ASSERT_LE(plain.size() - shift, expected.size());
    size_t differing = 0, records = 0;
    for (size_t pos = fpEnd; pos + 4 <= plain.size(); ++records) {
      uint16_t type = Le16(plain, pos), len = Le16(plain, pos + 2);
      if (type == c.stopAt) break;
      size_t from = type == 0x0085 ? 8 : 0;  // a BOUNDSHEET's offset
      for (size_t i = from; i < 4u + len && pos + i < plain.size(); ++i)
        differing += plain[pos + i] != expected[pos + i - shift];
      pos += 4 + len;
    }
    EXPECT_EQ(differing, 0u);
    EXPECT_GT(records, 10u);
  }
}

}  // namespace
}  // namespace gridwell::testing
