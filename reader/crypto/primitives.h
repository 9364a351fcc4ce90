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

#include "reader/base/bytes.h"

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

using base::PutLe16;
using base::PutLe32;
using base::ReadLe16;
using base::ReadLe32;
// Constant-time comparison of equal-length spans; false when the lengths differ.
bool SameBytes(ByteView a, ByteView b);

}  // namespace gridwell::crypto
