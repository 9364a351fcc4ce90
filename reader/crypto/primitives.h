// Thin wrappers over OpenSSL libcrypto for the hashes, ciphers and MACs that Office
// encryption uses. RC4, DES and RC2 live in OpenSSL's legacy provider; it is loaded once,
// and every function here reports failure (rather than aborting) when a primitive is
// missing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

typedef struct evp_cipher_ctx_st EVP_CIPHER_CTX;

namespace gridwell::crypto {

using Bytes = std::vector<uint8_t>;
using ByteView = std::span<const uint8_t>;

// Loads the "default" and "legacy" providers once; false when the legacy one is missing.
bool LegacyProviderAvailable();

enum class HashAlg { Md5, Sha1, Sha256, Sha384, Sha512 };
// Maps the names that agile encryption descriptors use ("SHA512", "SHA-1", ...).
std::optional<HashAlg> HashAlgFromName(std::string_view name);
size_t HashSize(HashAlg alg);
// Hash of the concatenation of `parts`; empty on failure.
Bytes Hash(HashAlg alg, std::initializer_list<ByteView> parts);
Bytes Hmac(HashAlg alg, ByteView key, ByteView data);
// `rounds` times h = H(LE32(i) + h), the spin of Office password hashing; empty on failure.
Bytes SpinHash(HashAlg alg, Bytes h, uint32_t rounds);

enum class CipherAlg { Aes, Des, TripleDes, Rc2 };
std::optional<CipherAlg> CipherAlgFromName(std::string_view name);
size_t CipherBlockSize(CipherAlg alg);
// Whether `keyBits` is a key size the cipher takes.
bool CipherKeyBitsValid(CipherAlg alg, uint32_t keyBits);

enum class ChainMode { Ecb, Cbc };
// Encrypts or decrypts `in` (a whole number of blocks, no padding) into `out`, which may be
// `in` itself. False on any failure (unknown primitive, bad key size, ragged input).
bool BlockCipher(CipherAlg alg, ChainMode mode, ByteView key, ByteView iv, bool encrypt,
                 ByteView in, uint8_t* out);

// RC4 keystream with re-keying; the keystream position can only move forward between keys.
class Rc4 {
 public:
  Rc4();
  ~Rc4();
  Rc4(const Rc4&) = delete;
  Rc4& operator=(const Rc4&) = delete;
  bool SetKey(ByteView key);
  // XORs the next `len` keystream bytes into data.
  void Apply(uint8_t* data, size_t len);
  void Skip(size_t len);
  bool ok() const { return ok_; }

 private:
  EVP_CIPHER_CTX* ctx_ = nullptr;
  bool ok_ = false;
};

// Passwords arrive as UTF-8; Office hashes them as UTF-16LE without a terminator.
Bytes Utf16Le(std::string_view utf8);
// Strict base64 (whitespace tolerated, junk refused); nullopt on junk.
std::optional<Bytes> Base64Decode(std::string_view text);
std::string Base64Encode(ByteView data);

inline uint32_t ReadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t ReadLe16(const uint8_t* p) {
  return uint16_t(p[0] | p[1] << 8);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}
inline void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
// Constant-time comparison of equal-length spans; false when the lengths differ.
bool SameBytes(ByteView a, ByteView b);

}  // namespace gridwell::crypto
