// Encrypting with the test-side encryptor and decrypting with the reader's decryptors
// gives back the input, for each scheme; and the encrypted files look like what real
// writers produce (offsets moved, bodies encrypted, other streams untouched).
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "reader/base/bytes.h"
#include "reader/crypto/crypto.h"
#include "reader/crypto/primitives.h"
#include "tests/support/corpus.h"
#include "tests/tools/workbook_encryptor.h"

namespace gridwell::testing {
namespace {

using base::Le16;
using base::Le32;
using crypto::Verdict;

std::string Data(const std::string& rel) {
  return std::string(GRIDWELL_SOURCE_DIR) + "/tests/data/" + rel;
}

Bytes RandomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  Bytes b(n);
  for (auto& x : b) x = uint8_t(gen());
  return b;
}

std::string TempPath(const std::string& name) {
  return std::string(GRIDWELL_BINARY_DIR) + "/crypto_test_" + name;
}

// Removes the FILEPASS record and moves the stream offsets back (BOUNDSHEET, INDEX and
// EXTSST hold them): the plain stream the encryptor started from.
Bytes WithoutFilepass(const Bytes& s) {
  Bytes out;
  uint32_t removed = 0;
  for (size_t pos = 0; pos + 4 <= s.size();) {
    uint16_t type = Le16(s, pos), len = Le16(s, pos + 2);
    if (type == 0x002F) {
      removed = 4u + len;
    } else {
      size_t at = out.size();
      out.insert(out.end(), s.begin() + pos, s.begin() + pos + 4 + len);
      auto back = [&](size_t field) { crypto::PutLe32(&out[field], Le32(out, field) - removed); };
      if (type == 0x0085) back(at + 4);
      if (type == 0x020B && len >= 16)
        for (size_t f = at + 4 + 12; f + 4 <= at + 4 + len; f += 4) back(f);
      if (type == 0x00FF)
        for (size_t f = at + 4 + 2; f + 8 <= at + 4 + len; f += 8) back(f);
    }
    pos += 4 + len;
  }
  return out;
}

// Plain BIFF8 workbooks: our fixtures, and from the corpus when it is there one sheet,
// several sheets with drawings and notes.
std::vector<std::string> PlainXls() {
  std::vector<std::string> files = {Data("xls/values.xls"), Data("xls/sample.xls")};
  if (test::HaveCorpus()) {
    for (const char* rel : {"msoffcrypto-tool/inputs/plain.xls",
                            "msoffcrypto-tool/outputs/rc4cryptoapi_password_plain.xls",
                            "poi/spreadsheet/19599-1.xls", "sheetjs/BlankSheetTypes.xls"}) {
      files.push_back(test::CorpusPath(rel));
    }
  }
  return files;
}

// The spin of password hashing, which works on the hashes' block transforms, gives what
// hashing round by round gives, for every hash the formats name.
TEST(SpinHash, MatchesHashingRoundByRound) {
  using crypto::HashAlg;
  for (HashAlg alg :
       {HashAlg::Md5, HashAlg::Sha1, HashAlg::Sha256, HashAlg::Sha384, HashAlg::Sha512}) {
    const Bytes start = crypto::Hash(alg, {Bytes{'s', 'a', 'l', 't'}});
    Bytes want = start;
    for (uint32_t round = 0; round <= 1000; ++round) {
      if (round == 0 || round == 1 || round == 2 || round == 1000) {
        EXPECT_EQ(crypto::SpinHash(alg, start, round), want) << int(alg) << " " << round;
      }
      const uint8_t le[4] = {uint8_t(round), uint8_t(round >> 8), uint8_t(round >> 16),
                             uint8_t(round >> 24)};
      want = crypto::Hash(alg, {crypto::ByteView(le, 4), want});
    }
  }
}

TEST(RoundTrip, Rc4CryptoApiWorkbookStream) {
  for (const std::string& file : PlainXls()) {
    SCOPED_TRACE(file);
    auto streams = ReadCompoundFile(file);
    ASSERT_TRUE(streams);
    const Bytes& plain = FindStream(*streams, {"Workbook"})->data;
    Bytes enc = EncryptWorkbookStreamRc4CryptoApi(plain, "quorin");
    ASSERT_FALSE(enc.empty());

    // Every BOUNDSHEET still points at its sheet's BOF in the encrypted stream.
    int sheets = 0;
    for (size_t pos = 0; pos + 4 <= enc.size(); pos += 4 + Le16(enc, pos + 2)) {
      uint16_t type = Le16(enc, pos);
      if (type == 0x0085) {
        uint32_t bof = Le32(enc, pos + 4);
        ASSERT_LT(bof + 4u, enc.size());
        EXPECT_EQ(Le16(enc, bof), 0x0809);
        ++sheets;
      }
    }
    EXPECT_GE(sheets, 1);
    EXPECT_NE(enc, plain);

    Verdict v;
    EXPECT_TRUE(DecryptWorkbookStream(enc, "Quorin", v).empty());
    EXPECT_EQ(v, Verdict::WrongPassword);
    Bytes dec = DecryptWorkbookStream(enc, "quorin", v);
    ASSERT_EQ(v, Verdict::Ok);
    EXPECT_TRUE(WithoutFilepass(dec) == plain);

    // Each DBCELL offset of an INDEX record moved with the records behind it.
    for (size_t pos = 0; pos + 4 <= dec.size(); pos += 4 + Le16(dec, pos + 2)) {
      uint16_t len = Le16(dec, pos + 2);
      if (Le16(dec, pos) != 0x020B || len < 16) continue;
      for (size_t f = pos + 4 + 16; f + 4 <= pos + 4 + len; f += 4) {
        uint32_t at = Le32(dec, f);
        ASSERT_LT(at + 2u, dec.size());
        EXPECT_EQ(Le16(dec, at), 0x00D7);
      }
    }
  }
}

TEST(RoundTrip, EncryptedXlsFileKeepsOtherStreams) {
  GRIDWELL_REQUIRE_CORPUS();
  std::string in = test::CorpusPath("poi/spreadsheet/19599-1.xls");
  std::string out = TempPath("protected.xls");
  std::string error;
  ASSERT_TRUE(EncryptXlsFile(in, out, "quorin", error)) << error;
  auto before = ReadCompoundFile(in);
  auto after = ReadCompoundFile(out);
  ASSERT_TRUE(before && after);
  ASSERT_EQ(before->size(), after->size());
  for (const CompoundStream& s : *before) {
    SCOPED_TRACE(s.path);
    const CompoundStream* copy = FindStream(*after, {s.path});
    ASSERT_NE(copy, nullptr);
    if (s.path == "Workbook") {
      Verdict v;
      EXPECT_TRUE(WithoutFilepass(DecryptWorkbookStream(copy->data, "quorin", v)) == s.data);
    } else {
      EXPECT_TRUE(copy->data == s.data);
    }
  }
  std::remove(out.c_str());
}

TEST(RoundTrip, EncryptorRefusesWhatItCannotEncrypt) {
  Bytes biff5 = {0x09, 0x08, 0x08, 0x00, 0x00, 0x05, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00};
  EXPECT_TRUE(EncryptWorkbookStreamRc4CryptoApi(biff5, "x").empty());
  auto streams = ReadCompoundFile(Data("encrypted/values_rc4cryptoapi.xls"));
  ASSERT_TRUE(streams);  // already encrypted
  EXPECT_TRUE(
      EncryptWorkbookStreamRc4CryptoApi(FindStream(*streams, {"Workbook"})->data, "x").empty());
}

// Package sizes around the 4096-byte segments and the cipher blocks.
const size_t kSizes[] = {1, 15, 16, 17, 4095, 4096, 4097, 12345};

TEST(RoundTrip, AgilePackages) {
  for (size_t size : kSizes) {
    SCOPED_TRACE(size);
    Bytes zip = RandomBytes(size, unsigned(size));
    EncryptedPackage p = EncryptAgile(zip, "pässwörd", 1000);
    Bytes out = {1, 2, 3};
    EXPECT_EQ(crypto::DecryptPackage(p.info, p.package, "passwörd", out), Verdict::WrongPassword);
    EXPECT_TRUE(out.empty());
    ASSERT_EQ(crypto::DecryptPackage(p.info, p.package, "pässwörd", out), Verdict::Ok);
    EXPECT_TRUE(out == zip);
  }
}

TEST(RoundTrip, StandardPackages) {
  for (size_t size : kSizes) {
    SCOPED_TRACE(size);
    Bytes zip = RandomBytes(size, unsigned(size) + 7);
    EncryptedPackage p = EncryptStandard(zip, "quorin");
    Bytes out;
    EXPECT_EQ(crypto::DecryptPackage(p.info, p.package, "quorim", out), Verdict::WrongPassword);
    ASSERT_EQ(crypto::DecryptPackage(p.info, p.package, "quorin", out), Verdict::Ok);
    EXPECT_TRUE(out == zip);
  }
}

TEST(RoundTrip, EncryptedXlsxFiles) {
  auto zip = ReadFileBytes(Data("xlsx/values.xlsx"));
  ASSERT_TRUE(zip);
  for (bool agile : {true, false}) {
    SCOPED_TRACE(agile ? "agile" : "standard");
    std::string out = TempPath(agile ? "agile.xlsx" : "standard.xlsx");
    std::string error;
    ASSERT_TRUE(EncryptXlsxFile(Data("xlsx/values.xlsx"), out, "quorin", agile, error)) << error;
    auto streams = ReadCompoundFile(out);
    ASSERT_TRUE(streams);
    EXPECT_NE(FindStream(*streams, {"\x06"
                                    "DataSpaces/DataSpaceMap"}),
              nullptr);
    Bytes plain;
    ASSERT_EQ(
        crypto::DecryptPackage(FindStream(*streams, {"EncryptionInfo"})->data,
                               FindStream(*streams, {"EncryptedPackage"})->data, "quorin", plain),
        Verdict::Ok);
    EXPECT_TRUE(plain == *zip);
    std::remove(out.c_str());
  }
}

}  // namespace
}  // namespace gridwell::testing
