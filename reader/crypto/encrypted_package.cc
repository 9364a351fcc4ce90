// Encrypted .xlsx packages: a compound file whose EncryptionInfo stream describes the
// scheme and whose EncryptedPackage stream holds the package size (8 bytes) followed by
// the encrypted ZIP. Standard encryption (EncryptionInfo 3.2/4.2) is AES-ECB with a SHA-1
// key; agile encryption (4.4) carries an XML descriptor and encrypts 4096-byte segments
// in CBC mode, each with its own IV, and protects the whole stream with an HMAC.
#include <pugixml.hpp>

#include <algorithm>
#include <cstring>

#include "reader/crypto/crypto.h"
#include "reader/crypto/key_derivation.h"

namespace gridwell::crypto {

namespace {

// The declared package size, when it fits in what the stream holds.
bool PackageSize(ByteView pkg, uint64_t& size) {
  if (pkg.size() < 8) return false;
  size = uint64_t(ReadLe32(pkg.data())) | uint64_t(ReadLe32(pkg.data() + 4)) << 32;
  return size <= pkg.size() - 8;
}

uint64_t RoundUp(uint64_t n, size_t block) {
  return (n + block - 1) / block * block;
}

// With `verifyOnly`, stops once the password is known to be right.
Verdict DecryptStandard(ByteView info, ByteView pkg, std::string_view password, Bytes& out,
                        bool verifyOnly) {
  // Flags (4), HeaderSize (4), EncryptionHeader, EncryptionVerifier.
  if (info.size() < 8) return Verdict::Damaged;
  uint32_t flags = ReadLe32(info.data());
  uint32_t headerSize = ReadLe32(info.data() + 4);
  if (headerSize < 32 || headerSize > info.size() - 8) return Verdict::Damaged;
  ByteView header = info.subspan(8, headerSize);
  ByteView verifier = info.subspan(8 + headerSize);
  constexpr uint32_t kCryptoApi = 0x04, kExternal = 0x10, kAes = 0x20;
  if ((flags & kExternal) || !(flags & kCryptoApi) || !(flags & kAes)) return Verdict::Unsupported;
  uint32_t algId = ReadLe32(header.data() + 8);
  uint32_t hashId = ReadLe32(header.data() + 12);
  uint32_t keyBits = ReadLe32(header.data() + 16);
  uint32_t algBits = algId == 0x660E || algId == 0 ? 128
                     : algId == 0x660F             ? 192
                     : algId == 0x6610             ? 256
                                                   : 0;
  if (algBits == 0 || (hashId != 0 && hashId != 0x8004)) return Verdict::Unsupported;
  if (keyBits == 0) keyBits = algBits;
  if (keyBits != algBits) return Verdict::Damaged;

  // SaltSize (4) = 16, Salt, EncryptedVerifier (16), VerifierHashSize (4) = 20,
  // EncryptedVerifierHash (32: the 20-byte hash padded to whole AES blocks).
  if (verifier.size() < 4 + 16 + 16 + 4 + 32) return Verdict::Damaged;
  if (ReadLe32(verifier.data()) != 16 || ReadLe32(verifier.data() + 36) != 20)
    return Verdict::Damaged;
  ByteView salt = verifier.subspan(4, 16);
  Bytes key = StandardKey(password, salt, keyBits);
  if (key.empty()) return Verdict::Unsupported;
  uint8_t plainVerifier[16], plainHash[32];
  if (!BlockCipher(CipherAlg::Aes, ChainMode::Ecb, key, {}, false, verifier.subspan(20, 16),
                   plainVerifier) ||
      !BlockCipher(CipherAlg::Aes, ChainMode::Ecb, key, {}, false, verifier.subspan(40, 32),
                   plainHash))
    return Verdict::Unsupported;
  Bytes expected = Hash(HashAlg::Sha1, {ByteView(plainVerifier, 16)});
  if (expected.size() != 20 || !SameBytes(expected, ByteView(plainHash, 20)))
    return Verdict::WrongPassword;
  if (verifyOnly) return Verdict::Ok;

  uint64_t size = 0;
  if (!PackageSize(pkg, size)) return Verdict::Damaged;
  uint64_t need = RoundUp(size, 16);
  if (need > pkg.size() - 8) return Verdict::Damaged;
  Bytes plain(need);
  if (!BlockCipher(CipherAlg::Aes, ChainMode::Ecb, key, {}, false, pkg.subspan(8, need),
                   plain.data()))
    return Verdict::Damaged;
  plain.resize(size);
  out = std::move(plain);
  return Verdict::Ok;
}

std::string_view LocalName(const pugi::xml_node& n) {
  std::string_view name = n.name();
  size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node Child(const pugi::xml_node& parent, std::string_view local) {
  for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element && LocalName(c) == local) return c;
  return {};
}

// The cipher and hash settings shared by <keyData> and <p:encryptedKey>.
struct CipherParams {
  CipherAlg cipher = CipherAlg::Aes;
  HashAlg hash = HashAlg::Sha1;
  uint32_t keyBits = 0;
  size_t blockSize = 0;
  Bytes salt;
};

Verdict ParseParams(const pugi::xml_node& n, CipherParams& p) {
  auto cipher = CipherAlgFromName(n.attribute("cipherAlgorithm").as_string());
  auto hash = HashAlgFromName(n.attribute("hashAlgorithm").as_string());
  std::string_view chaining = n.attribute("cipherChaining").as_string();
  if (!cipher || !hash || chaining != "ChainingModeCBC") return Verdict::Unsupported;
  p.cipher = *cipher;
  p.hash = *hash;
  // DES and RC2 exist only in OpenSSL's legacy provider.
  if ((p.cipher == CipherAlg::Des || p.cipher == CipherAlg::Rc2) && !LegacyProviderAvailable())
    return Verdict::Unsupported;
  p.keyBits = n.attribute("keyBits").as_uint(0);
  if (!CipherKeyBitsValid(p.cipher, p.keyBits)) return Verdict::Unsupported;
  p.blockSize = n.attribute("blockSize").as_uint(0);
  if (p.blockSize != CipherBlockSize(p.cipher)) return Verdict::Damaged;
  auto salt = Base64Decode(n.attribute("saltValue").as_string());
  if (!salt || salt->empty() || salt->size() > 64) return Verdict::Damaged;
  p.salt = std::move(*salt);
  return Verdict::Ok;
}

// Decrypts a base64 attribute with `key` and `iv`; the plain text keeps its first `keep`
// bytes. Empty when the attribute is junk or too short.
Bytes DecryptAttribute(const pugi::xml_node& n, const char* attr, const CipherParams& p,
                       ByteView key, ByteView iv, size_t keep) {
  auto enc = Base64Decode(n.attribute(attr).as_string());
  if (!enc || enc->size() < keep || enc->empty() || enc->size() % p.blockSize != 0) return {};
  Bytes plain(enc->size());
  if (!BlockCipher(p.cipher, ChainMode::Cbc, key, iv, false, *enc, plain.data())) return {};
  plain.resize(keep);
  return plain;
}

Verdict DecryptAgile(ByteView xml, ByteView pkg, std::string_view password, Bytes& out,
                     bool verifyOnly) {
  pugi::xml_document doc;
  // pugixml never expands DTD entities, so an entity bomb stays inert.
  if (!doc.load_buffer(xml.data(), xml.size(), pugi::parse_default & ~pugi::parse_doctype))
    return Verdict::Damaged;
  pugi::xml_node root = doc.document_element();
  if (LocalName(root) != "encryption") return Verdict::Damaged;
  pugi::xml_node keyDataNode = Child(root, "keyData");
  pugi::xml_node integrity = Child(root, "dataIntegrity");
  pugi::xml_node encryptedKey;
  for (pugi::xml_node ke = Child(Child(root, "keyEncryptors"), "keyEncryptor"); ke;
       ke = ke.next_sibling()) {
    if (std::string_view(ke.attribute("uri").as_string()) ==
        "http://schemas.microsoft.com/office/2006/keyEncryptor/password") {
      encryptedKey = Child(ke, "encryptedKey");
      break;
    }
  }
  if (!keyDataNode) return Verdict::Damaged;
  if (!encryptedKey) return Verdict::Unsupported;  // certificate-only encryption

  CipherParams data, keyEnc;
  if (Verdict v = ParseParams(keyDataNode, data); v != Verdict::Ok) return v;
  if (Verdict v = ParseParams(encryptedKey, keyEnc); v != Verdict::Ok) return v;
  pugi::xml_attribute spinAttr = encryptedKey.attribute("spinCount");
  if (!spinAttr) return Verdict::Damaged;
  unsigned long long spin = spinAttr.as_ullong(~0ull);
  if (spin > kMaxSpinCount) return Verdict::Unsupported;

  Bytes hash = AgilePasswordHash(keyEnc.hash, keyEnc.salt, password, uint32_t(spin));
  if (hash.empty()) return Verdict::Unsupported;
  size_t keyBytes = keyEnc.keyBits / 8;
  Bytes iv = AgileIv(keyEnc.hash, keyEnc.salt, std::nullopt, keyEnc.blockSize);
  Bytes inputKey = AgileKey(keyEnc.hash, hash, kBlockKeyVerifierInput, keyBytes);
  Bytes valueKey = AgileKey(keyEnc.hash, hash, kBlockKeyVerifierValue, keyBytes);
  Bytes keyKey = AgileKey(keyEnc.hash, hash, kBlockKeyEncryptedKey, keyBytes);
  Bytes verifierInput = DecryptAttribute(encryptedKey, "encryptedVerifierHashInput", keyEnc,
                                         inputKey, iv, keyEnc.salt.size());
  Bytes verifierValue = DecryptAttribute(encryptedKey, "encryptedVerifierHashValue", keyEnc,
                                         valueKey, iv, HashSize(keyEnc.hash));
  if (verifierInput.empty() || verifierValue.empty()) return Verdict::Damaged;
  Bytes expected = Hash(keyEnc.hash, {verifierInput});
  if (expected.empty() || !SameBytes(expected, verifierValue)) return Verdict::WrongPassword;
  if (verifyOnly) return Verdict::Ok;
  Bytes secret =
      DecryptAttribute(encryptedKey, "encryptedKeyValue", keyEnc, keyKey, iv, data.keyBits / 8);
  if (secret.empty()) return Verdict::Damaged;

  // The HMAC key and value are encrypted with the package key and IVs made from the
  // package salt; the HMAC covers the whole EncryptedPackage stream, size prefix included.
  if (!integrity) return Verdict::Damaged;
  size_t hashSize = HashSize(data.hash);
  Bytes hmacKey = DecryptAttribute(
      integrity, "encryptedHmacKey", data, secret,
      AgileIv(data.hash, data.salt, ByteView(kBlockKeyHmacKey), data.blockSize), hashSize);
  Bytes hmacValue = DecryptAttribute(
      integrity, "encryptedHmacValue", data, secret,
      AgileIv(data.hash, data.salt, ByteView(kBlockKeyHmacValue), data.blockSize), hashSize);
  if (hmacKey.empty() || hmacValue.empty()) return Verdict::Damaged;
  Bytes actual = Hmac(data.hash, hmacKey, pkg);
  if (actual.empty() || !SameBytes(actual, hmacValue)) return Verdict::Damaged;

  uint64_t size = 0;
  if (!PackageSize(pkg, size)) return Verdict::Damaged;
  ByteView cipherText = pkg.subspan(8);
  Bytes plain(size_t(RoundUp(size, data.blockSize)));
  if (plain.size() > cipherText.size()) return Verdict::Damaged;
  for (size_t off = 0, segment = 0; off < plain.size(); off += kAgileSegmentSize, ++segment) {
    size_t n = std::min(kAgileSegmentSize, plain.size() - off);
    if (segment > UINT32_MAX) return Verdict::Damaged;
    Bytes segIv = AgileSegmentIv(data.hash, data.salt, uint32_t(segment), data.blockSize);
    if (!BlockCipher(data.cipher, ChainMode::Cbc, secret, segIv, false, cipherText.subspan(off, n),
                     plain.data() + off))
      return Verdict::Damaged;
  }
  plain.resize(size);
  out = std::move(plain);
  return Verdict::Ok;
}

Verdict Dispatch(ByteView info, ByteView pkg, std::string_view password, Bytes& package,
                 bool verifyOnly) {
  if (info.size() < 8) return Verdict::Damaged;
  uint16_t major = ReadLe16(info.data());
  uint16_t minor = ReadLe16(info.data() + 2);
  if ((major == 3 || major == 4) && minor == 2)
    return DecryptStandard(info.subspan(4), pkg, password, package, verifyOnly);
  // Agile: the version is followed by 4 reserved bytes (0x40) and the XML descriptor.
  if (major == 4 && minor == 4)
    return DecryptAgile(info.subspan(8), pkg, password, package, verifyOnly);
  return Verdict::Unsupported;
}

}  // namespace

Verdict DecryptPackage(std::span<const uint8_t> info, std::span<const uint8_t> pkg,
                       std::string_view password, std::vector<uint8_t>& package) {
  package.clear();
  return Dispatch(info, pkg, password, package, false);
}

Verdict CheckPackagePassword(std::span<const uint8_t> info, std::string_view password) {
  Bytes unused;
  return Dispatch(info, {}, password, unused, true);
}

}  // namespace gridwell::crypto
