// Damaged, truncated and hostile encryption headers and streams give a clear verdict and
// no output; decryption by stream position works in any order.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "reader/crypto/crypto.h"
#include "reader/crypto/primitives.h"
#include "tests/support/corpus.h"
#include "tests/tools/workbook_encryptor.h"

namespace gridwell::testing {
namespace {

using crypto::Verdict;

std::string Data(const std::string& rel) {
  return std::string(GRIDWELL_SOURCE_DIR) + "/tests/data/" + rel;
}

// The FILEPASS body of an encrypted workbook of the corpus; empty without the corpus, so
// callers add these only when HaveCorpus().
Bytes CorpusFilepass(const std::string& rel) {
  auto streams = ReadCompoundFile(test::CorpusPath(rel));
  if (!streams) return {};
  auto fp = FindFilepass(FindStream(*streams, {"Workbook"})->data);
  return fp ? *fp : Bytes{};
}

// The FILEPASS body the encryptor writes for RC4 CryptoAPI under "quorin".
Bytes CryptoApiFilepass() {
  auto streams = ReadCompoundFile(Data("xls/values.xls"));
  if (!streams) return {};
  Bytes enc = EncryptWorkbookStreamRc4CryptoApi(FindStream(*streams, {"Workbook"})->data, "quorin");
  auto fp = FindFilepass(enc);
  return fp ? *fp : Bytes{};
}

Verdict Open(const Bytes& body, std::string_view pw = "quorin") {
  Verdict v = Verdict::Ok;
  auto d = crypto::OpenFilepass(body, pw, v);
  EXPECT_EQ(d != nullptr, v == Verdict::Ok);
  return v;
}

TEST(HostileFilepass, MalformedBodies) {
  Bytes good = CryptoApiFilepass();
  ASSERT_FALSE(good.empty());
  ASSERT_EQ(Open(good), Verdict::Ok);
  const size_t verifier = 14 + crypto::ReadLe32(&good[10]);
  auto with = [&](size_t at, uint32_t v) {
    Bytes b = good;
    crypto::PutLe32(&b[at], v);
    return b;
  };
  struct Case {
    const char* what;
    Bytes body;
    Verdict expected;
  };
  const Case cases[] = {
      {"empty", {}, Verdict::Damaged},
      {"one byte", {0}, Verdict::Damaged},
      {"XOR without key", {0, 0, 1, 2}, Verdict::WrongPassword},
      {"XOR cut short", {0, 0, 1}, Verdict::Damaged},
      {"unknown type", {2, 0, 0, 0, 0, 0}, Verdict::Unsupported},
      {"RC4 version 9.9", {1, 0, 9, 0, 9, 0}, Verdict::Unsupported},
      {"RC4 cut short", {1, 0, 1, 0, 1, 0, 1, 2, 3}, Verdict::Damaged},
      {"header size beyond body", with(10, 0xFFFFFFF0), Verdict::Damaged},
      {"header size too small", with(10, 8), Verdict::Damaged},
      {"key size not bytes", with(30, 44), Verdict::Unsupported},
      {"key size above 128", with(30, 256), Verdict::Unsupported},
      {"AES in a record stream", with(22, 0x660E), Verdict::Unsupported},
      {"salt size 15", with(verifier, 15), Verdict::Damaged},
      {"hash size 0", with(verifier + 36, 0), Verdict::Damaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Open(c.body), c.expected);
  }
}

TEST(HostileFilepass, EveryTruncationFailsCleanly) {
  std::vector<Bytes> bodies = {CryptoApiFilepass()};
  if (test::HaveCorpus()) {
    bodies.push_back(CorpusFilepass("poi/spreadsheet/password.xls"));
    bodies.push_back(CorpusFilepass("poi/spreadsheet/xor-encryption-abc.xls"));
  }
  for (const Bytes& good : bodies) {
    ASSERT_FALSE(good.empty());
    for (size_t n = 0; n < good.size(); ++n) {
      SCOPED_TRACE(n);
      Verdict v = Open(Bytes(good.begin(), good.begin() + long(n)));
      EXPECT_NE(v, Verdict::Ok);
    }
  }
}

TEST(HostileFilepass, RandomDamage) {
  std::mt19937 gen(5);
  std::vector<std::pair<Bytes, const char*>> bodies = {{CryptoApiFilepass(), "quorin"}};
  if (test::HaveCorpus())
    bodies.emplace_back(CorpusFilepass("poi/spreadsheet/password.xls"), "password");
  for (const auto& [good, password] : bodies) {
    Verdict v;
    auto reference = crypto::OpenFilepass(good, password, v);
    ASSERT_TRUE(reference);
    Bytes expected(3000, 0);
    reference->Decrypt(expected.data(), expected.size(), 0);
    for (int i = 0; i < 300; ++i) {
      Bytes body = good;
      body[gen() % body.size()] ^= uint8_t(1 + gen() % 255);
      auto d = crypto::OpenFilepass(body, password, v);
      if (!d) continue;
      // Only fields that do not take part in the key (the provider name) may change.
      Bytes got(3000, 0);
      d->Decrypt(got.data(), got.size(), 0);
      EXPECT_TRUE(got == expected);
    }
  }
}

// Readers decrypt record bodies in whatever order they reach them (a sheet is read after
// the globals, a reader may seek back); the key stream must depend on the position only.
TEST(BiffDecryption, PositionAloneDecidesTheKeyStream) {
  struct Case {
    Bytes filepass;
    const char* password;
  };
  std::vector<Case> cases = {{CryptoApiFilepass(), "quorin"}};
  if (test::HaveCorpus()) {
    cases.push_back({CorpusFilepass("poi/spreadsheet/password.xls"), "password"});
    cases.push_back({CorpusFilepass("sheetjs/password_2002_40_basecrypto.xls"), "password"});
  }
  for (const Case& c : cases) {
    Verdict v;
    auto whole = crypto::OpenFilepass(c.filepass, c.password, v);
    auto pieces = crypto::OpenFilepass(c.filepass, c.password, v);
    ASSERT_TRUE(whole && pieces);
    Bytes stream(6000, 0);
    whole->Decrypt(stream.data(), stream.size(), 0);
    std::mt19937 gen(7);
    for (int i = 0; i < 200; ++i) {
      size_t pos = gen() % 5900, len = gen() % 100 + 1;
      Bytes chunk(len, 0);
      pieces->Decrypt(chunk.data(), len, pos);
      ASSERT_TRUE(std::equal(chunk.begin(), chunk.end(), stream.begin() + long(pos)))
          << "at " << pos << " length " << len;
    }
    // A block's key stream is not the next block's.
    EXPECT_FALSE(std::equal(stream.begin(), stream.begin() + 1024, stream.begin() + 1024));
  }
}

// ---- packages ----

Bytes SampleZip() {
  auto zip = ReadFileBytes(Data("xlsx/values.xlsx"));
  return zip ? *zip : Bytes{};
}

Verdict Decrypt(const Bytes& info, const Bytes& pkg, std::string_view pw = "quorin") {
  Bytes out = {9, 9, 9};
  Verdict v = crypto::DecryptPackage(info, pkg, pw, out);
  if (v != Verdict::Ok) {
    EXPECT_TRUE(out.empty());
  }
  return v;
}

Bytes Replace(const Bytes& info, const std::string& from, const std::string& to) {
  std::string s(info.begin(), info.end());
  size_t at = s.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) s.replace(at, from.size(), to);
  return Bytes(s.begin(), s.end());
}

TEST(HostilePackage, AgileDescriptors) {
  EncryptedPackage p = EncryptAgile(SampleZip(), "quorin", 1000);
  ASSERT_EQ(Decrypt(p.info, p.package), Verdict::Ok);
  struct Case {
    const char* what;
    Bytes info;
    Verdict expected;
  };
  std::string xmlStart = "<encryption";
  const Case cases[] = {
      {"too short", Bytes(p.info.begin(), p.info.begin() + 6), Verdict::Damaged},
      {"extensible version", Bytes{4, 0, 3, 0, 0, 0, 0, 0}, Verdict::Unsupported},
      {"not XML", Replace(p.info, xmlStart, "<<<<"), Verdict::Damaged},
      {"spin count beyond any writer",
       Replace(p.info, "spinCount=\"1000\"", "spinCount=\"4000000000\""), Verdict::Unsupported},
      {"key bits not bytes", Replace(p.info, "keyBits=\"256\"", "keyBits=\"100\""),
       Verdict::Unsupported},
      {"block size unlike the cipher's", Replace(p.info, "blockSize=\"16\"", "blockSize=\"8\""),
       Verdict::Damaged},
      {"CFB chaining", Replace(p.info, "ChainingModeCBC", "ChainingModeCFB"), Verdict::Unsupported},
      {"unknown hash", Replace(p.info, "hashAlgorithm=\"SHA512\"", "hashAlgorithm=\"SHA3\""),
       Verdict::Unsupported},
      {"base64 junk", Replace(p.info, "saltValue=\"", "saltValue=\"*&^%"), Verdict::Damaged},
      {"no data integrity", Replace(p.info, "<dataIntegrity", "<dataIntegrityX"), Verdict::Damaged},
      {"certificate encryptor only",
       Replace(p.info, "uri=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\"",
               "uri=\"x\""),
       Verdict::Unsupported},
      {"junk encrypted key", Replace(p.info, "encryptedKeyValue=\"", "encryptedKeyValue=\"!"),
       Verdict::Damaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Decrypt(c.info, p.package), c.expected);
  }
}

// The HMAC over the whole stream catches any change to it, the size prefix included.
TEST(HostilePackage, AgileStreamTampering) {
  EncryptedPackage p = EncryptAgile(SampleZip(), "quorin", 1000);
  auto flipped = [&](size_t at) {
    Bytes b = p.package;
    b[at] ^= 0x01;
    return b;
  };
  EXPECT_EQ(Decrypt(p.info, flipped(0)), Verdict::Damaged);
  EXPECT_EQ(Decrypt(p.info, flipped(p.package.size() / 2)), Verdict::Damaged);
  EXPECT_EQ(Decrypt(p.info, flipped(p.package.size() - 1)), Verdict::Damaged);
  EXPECT_EQ(Decrypt(p.info, Bytes(p.package.begin(), p.package.end() - 16)), Verdict::Damaged);
  EXPECT_EQ(Decrypt(p.info, Bytes(p.package.begin(), p.package.begin() + 4)), Verdict::Damaged);
  std::string info(p.info.begin(), p.info.end());
  size_t at = info.find("encryptedHmacValue=\"") + 20;
  info[at] = info[at] == 'A' ? 'B' : 'A';
  EXPECT_EQ(Decrypt(Bytes(info.begin(), info.end()), p.package), Verdict::Damaged);
}

TEST(HostilePackage, StandardHeadersAndStreams) {
  EncryptedPackage p = EncryptStandard(SampleZip(), "quorin");
  ASSERT_EQ(Decrypt(p.info, p.package), Verdict::Ok);
  auto info = [&](size_t at, uint32_t v) {
    Bytes b = p.info;
    crypto::PutLe32(&b[at], v);
    return b;
  };
  auto size = [&](uint64_t v) {
    Bytes b = p.package;
    crypto::PutLe32(&b[0], uint32_t(v));
    crypto::PutLe32(&b[4], uint32_t(v >> 32));
    return b;
  };
  const size_t plainSize = p.package.size() - 8;
  struct Case {
    const char* what;
    Bytes info, pkg;
    Verdict expected;
  };
  const Case cases[] = {
      {"header size beyond stream", info(8, 0x7FFFFFFF), p.package, Verdict::Damaged},
      {"not AES", info(4, 0x04), p.package, Verdict::Unsupported},
      {"RC4 algorithm", info(20, 0x6801), p.package, Verdict::Unsupported},
      {"key size unlike the algorithm", info(28, 192), p.package, Verdict::Damaged},
      {"verifier cut off", Bytes(p.info.begin(), p.info.end() - 20), p.package, Verdict::Damaged},
      {"size beyond the stream", p.info, size(plainSize + 1), Verdict::Damaged},
      {"absurd size", p.info, size(uint64_t(1) << 62), Verdict::Damaged},
      {"no size", p.info, Bytes(p.package.begin(), p.package.begin() + 7), Verdict::Damaged},
      {"ragged cipher text", p.info, Bytes(p.package.begin(), p.package.end() - 3),
       Verdict::Damaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Decrypt(c.info, c.pkg), c.expected);
  }
  // A smaller declared size is honoured.
  Bytes out;
  ASSERT_EQ(crypto::DecryptPackage(p.info, size(100), "quorin", out), Verdict::Ok);
  EXPECT_EQ(out.size(), 100u);
}

// Random single-byte damage to the encryption header never crashes, and whatever still
// decrypts is the original package, never partial garbage.
TEST(HostilePackage, RandomHeaderDamage) {
  Bytes zip = SampleZip();
  EncryptedPackage agile = EncryptAgile(zip, "quorin", 100);
  EncryptedPackage standard = EncryptStandard(zip, "quorin");
  std::mt19937 gen(11);
  struct Case {
    const EncryptedPackage* p;
    int rounds;
  };
  // Standard encryption always spins 50,000 times, so it gets fewer rounds.
  for (const Case& c : {Case{&agile, 300}, Case{&standard, 12}}) {
    int opened = 0;
    for (int i = 0; i < c.rounds; ++i) {
      Bytes info = c.p->info;
      info[gen() % info.size()] ^= uint8_t(1 + gen() % 255);
      Bytes out;
      if (crypto::DecryptPackage(info, c.p->package, "quorin", out) == Verdict::Ok) {
        EXPECT_TRUE(out == zip);
        ++opened;
      } else {
        EXPECT_TRUE(out.empty());
      }
    }
    EXPECT_LT(opened, c.rounds);
  }
}

}  // namespace
}  // namespace gridwell::testing
