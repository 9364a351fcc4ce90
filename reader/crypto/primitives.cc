#include "reader/crypto/primitives.h"

// The spin of password hashing calls the hash functions' block transforms directly: the
// digest interface costs more than the hash itself for inputs of one block.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/provider.h>
#include <openssl/sha.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>

#include "reader/base/ascii.h"

namespace gridwell::crypto {

namespace {

// The providers this process loaded, unloaded again when the process ends so that OpenSSL's
// own clean-up can release the algorithm tables it built for them. The RC4 cipher is fetched
// once and shared by every key schedule.
struct Providers {
  OSSL_PROVIDER* legacy = nullptr;
  OSSL_PROVIDER* deflt = nullptr;
  EVP_CIPHER* rc4 = nullptr;
  Providers() {
    // Loading any provider explicitly stops OpenSSL from loading "default" on its own,
    // so both are loaded.
    legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    deflt = OSSL_PROVIDER_load(nullptr, "default");
    if (legacy != nullptr) rc4 = EVP_CIPHER_fetch(nullptr, "RC4", nullptr);
  }
  ~Providers() {
    EVP_CIPHER_free(rc4);
    if (legacy != nullptr) OSSL_PROVIDER_unload(legacy);
    if (deflt != nullptr) OSSL_PROVIDER_unload(deflt);
  }
};

Providers& LoadedProviders() {
  static Providers providers;
  return providers;
}

}  // namespace

bool LegacyProviderAvailable() {
  const Providers& p = LoadedProviders();
  return p.legacy != nullptr && p.deflt != nullptr;
}

namespace {

struct CipherDeleter {
  void operator()(EVP_CIPHER* c) const { EVP_CIPHER_free(c); }
};
struct CtxDeleter {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

const EVP_MD* DigestOf(HashAlg alg) {
  switch (alg) {
    case HashAlg::Md5:
      return EVP_md5();
    case HashAlg::Sha1:
      return EVP_sha1();
    case HashAlg::Sha256:
      return EVP_sha256();
    case HashAlg::Sha384:
      return EVP_sha384();
    case HashAlg::Sha512:
      return EVP_sha512();
  }
  return nullptr;
}

const char* DigestName(HashAlg alg) {
  switch (alg) {
    case HashAlg::Md5:
      return "MD5";
    case HashAlg::Sha1:
      return "SHA1";
    case HashAlg::Sha256:
      return "SHA256";
    case HashAlg::Sha384:
      return "SHA384";
    case HashAlg::Sha512:
      return "SHA512";
  }
  return "";
}

// The OpenSSL name of a cipher for a key size and chaining mode; "" when none fits.
std::string CipherName(CipherAlg alg, size_t keyBytes, ChainMode mode) {
  const char* chain = mode == ChainMode::Cbc ? "CBC" : "ECB";
  switch (alg) {
    case CipherAlg::Aes:
      if (keyBytes != 16 && keyBytes != 24 && keyBytes != 32) return "";
      return "AES-" + std::to_string(keyBytes * 8) + "-" + chain;
    case CipherAlg::Des:
      if (keyBytes != 8) return "";
      return std::string("DES-") + chain;
    case CipherAlg::TripleDes:
      if (keyBytes == 24) return std::string("DES-EDE3-") + chain;
      if (keyBytes == 16) return std::string("DES-EDE-") + chain;
      return "";
    case CipherAlg::Rc2:
      if (keyBytes < 5 || keyBytes > 16) return "";
      return std::string("RC2-") + chain;
  }
  return "";
}

}  // namespace

std::optional<HashAlg> HashAlgFromName(std::string_view name) {
  std::string n = base::UpperAscii(name);
  if (n == "MD5") return HashAlg::Md5;
  if (n == "SHA1" || n == "SHA-1") return HashAlg::Sha1;
  if (n == "SHA256" || n == "SHA-256") return HashAlg::Sha256;
  if (n == "SHA384" || n == "SHA-384") return HashAlg::Sha384;
  if (n == "SHA512" || n == "SHA-512") return HashAlg::Sha512;
  return std::nullopt;
}

size_t HashSize(HashAlg alg) {
  switch (alg) {
    case HashAlg::Md5:
      return 16;
    case HashAlg::Sha1:
      return 20;
    case HashAlg::Sha256:
      return 32;
    case HashAlg::Sha384:
      return 48;
    case HashAlg::Sha512:
      return 64;
  }
  return 0;
}

Bytes Hash(HashAlg alg, std::initializer_list<ByteView> parts) {
  LegacyProviderAvailable();
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  if (!ctx) return {};
  Bytes out(HashSize(alg));
  unsigned len = 0;
  bool ok = EVP_DigestInit_ex(ctx, DigestOf(alg), nullptr) == 1;
  for (ByteView p : parts) ok = ok && EVP_DigestUpdate(ctx, p.data(), p.size()) == 1;
  ok = ok && EVP_DigestFinal_ex(ctx, out.data(), &len) == 1 && len == out.size();
  EVP_MD_CTX_free(ctx);
  if (!ok) out.clear();
  return out;
}

namespace {

// The spin hashes the round number (4 bytes) and the previous hash: one block of the hash
// function with fixed padding. So each round is one call of the compression function on a
// block that is prepared once, with the previous hash copied in; no context is set up and
// nothing is allocated per round. `Ctx` is the hash's low-level state.
template <class Ctx, size_t kBlock>
void SpinBlocks(uint8_t* h, size_t hashSize, uint32_t rounds, int (*init)(Ctx*),
                void (*transform)(Ctx*, const unsigned char*),
                void (*digest)(const Ctx&, uint8_t* out, size_t size)) {
  Ctx initial, c;
  init(&initial);
  uint8_t block[kBlock] = {};
  const size_t used = 4 + hashSize;
  block[used] = 0x80;
  const uint64_t bits = uint64_t{used} * 8;  // big-endian bit length at the block's end
  for (int i = 0; i < 8; ++i) block[kBlock - 1 - i] = uint8_t(bits >> (8 * i));
  for (uint32_t i = 0; i < rounds; ++i) {
    block[0] = uint8_t(i);
    block[1] = uint8_t(i >> 8);
    block[2] = uint8_t(i >> 16);
    block[3] = uint8_t(i >> 24);
    std::memcpy(block + 4, h, hashSize);
    c = initial;
    transform(&c, block);
    digest(c, h, hashSize);
  }
}

// State words to hash bytes, most significant byte first.
template <class Word>
void BigEndianWords(const Word* words, uint8_t* out, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    out[i] = uint8_t(words[i / sizeof(Word)] >> (8 * (sizeof(Word) - 1 - i % sizeof(Word))));
  }
}
void Sha1Digest(const SHA_CTX& c, uint8_t* out, size_t size) {
  const SHA_LONG words[5] = {c.h0, c.h1, c.h2, c.h3, c.h4};
  BigEndianWords(words, out, size);
}
void Sha256Digest(const SHA256_CTX& c, uint8_t* out, size_t size) {
  BigEndianWords(c.h, out, size);
}
void Sha512Digest(const SHA512_CTX& c, uint8_t* out, size_t size) {
  BigEndianWords(c.h, out, size);
}
void Sha1Block(SHA_CTX* c, const unsigned char* b) {
  SHA1_Transform(c, b);
}
void Sha256Block(SHA256_CTX* c, const unsigned char* b) {
  SHA256_Transform(c, b);
}
void Sha512Block(SHA512_CTX* c, const unsigned char* b) {
  SHA512_Transform(c, b);
}

}  // namespace

Bytes SpinHash(HashAlg alg, Bytes h, uint32_t rounds) {
  if (h.size() != HashSize(alg)) return {};
  switch (alg) {
    case HashAlg::Sha1:
      SpinBlocks<SHA_CTX, 64>(h.data(), h.size(), rounds, SHA1_Init, Sha1Block, Sha1Digest);
      return h;
    case HashAlg::Sha256:
      SpinBlocks<SHA256_CTX, 64>(h.data(), h.size(), rounds, SHA256_Init, Sha256Block,
                                 Sha256Digest);
      return h;
    case HashAlg::Sha384:
      SpinBlocks<SHA512_CTX, 128>(h.data(), h.size(), rounds, SHA384_Init, Sha512Block,
                                  Sha512Digest);
      return h;
    case HashAlg::Sha512:
      SpinBlocks<SHA512_CTX, 128>(h.data(), h.size(), rounds, SHA512_Init, Sha512Block,
                                  Sha512Digest);
      return h;
    case HashAlg::Md5:
      break;
  }
  // MD5 (little-endian lengths): through the digest interface, one context for all rounds.
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  if (!ctx) return {};
  EVP_MD* md = EVP_MD_fetch(nullptr, DigestName(alg), nullptr);
  bool ok = md != nullptr;
  unsigned len = 0;
  for (uint32_t i = 0; i < rounds && ok; ++i) {
    uint8_t iter[4] = {uint8_t(i), uint8_t(i >> 8), uint8_t(i >> 16), uint8_t(i >> 24)};
    ok = EVP_DigestInit_ex2(ctx, md, nullptr) == 1 && EVP_DigestUpdate(ctx, iter, 4) == 1 &&
         EVP_DigestUpdate(ctx, h.data(), h.size()) == 1 &&
         EVP_DigestFinal_ex(ctx, h.data(), &len) == 1 && len == h.size();
  }
  EVP_MD_free(md);
  EVP_MD_CTX_free(ctx);
  if (!ok) h.clear();
  return h;
}

Bytes Hmac(HashAlg alg, ByteView key, ByteView data) {
  LegacyProviderAvailable();
  Bytes out(HashSize(alg));
  size_t len = 0;
  unsigned char empty = 0;
  // An empty key is legal for HMAC, but OpenSSL wants a non-null pointer.
  const unsigned char* k = key.empty() ? &empty : key.data();
  if (!EVP_Q_mac(nullptr, "HMAC", nullptr, DigestName(alg), nullptr, k, key.size(), data.data(),
                 data.size(), out.data(), out.size(), &len) ||
      len != out.size())
    return {};
  return out;
}

std::optional<CipherAlg> CipherAlgFromName(std::string_view name) {
  std::string n = base::UpperAscii(name);
  if (n == "AES") return CipherAlg::Aes;
  if (n == "DES") return CipherAlg::Des;
  if (n == "3DES" || n == "DESEDE" || n == "3DES_112") return CipherAlg::TripleDes;
  if (n == "RC2") return CipherAlg::Rc2;
  return std::nullopt;
}

size_t CipherBlockSize(CipherAlg alg) {
  return alg == CipherAlg::Aes ? 16 : 8;
}

bool CipherKeyBitsValid(CipherAlg alg, uint32_t keyBits) {
  if (keyBits % 8 != 0) return false;
  return !CipherName(alg, keyBits / 8, ChainMode::Cbc).empty();
}

bool BlockCipher(CipherAlg alg, ChainMode mode, ByteView key, ByteView iv, bool encrypt,
                 ByteView in, uint8_t* out) {
  if (!LegacyProviderAvailable() && alg != CipherAlg::Aes && alg != CipherAlg::TripleDes)
    return false;
  size_t block = CipherBlockSize(alg);
  if (in.size() % block != 0) return false;
  if (mode == ChainMode::Cbc && iv.size() != block) return false;
  std::string name = CipherName(alg, key.size(), mode);
  if (name.empty()) return false;
  std::unique_ptr<EVP_CIPHER, CipherDeleter> cipher(
      EVP_CIPHER_fetch(nullptr, name.c_str(), nullptr));
  std::unique_ptr<EVP_CIPHER_CTX, CtxDeleter> ctx(EVP_CIPHER_CTX_new());
  if (!cipher || !ctx) return false;
  if (EVP_CipherInit_ex2(ctx.get(), cipher.get(), nullptr, nullptr, encrypt ? 1 : 0, nullptr) != 1)
    return false;
  if (alg == CipherAlg::Rc2) {
    // RC2's effective key length follows the key length, as Office's writers use it.
    unsigned int bits = unsigned(key.size() * 8);
    size_t keyLen = key.size();
    OSSL_PARAM params[] = {OSSL_PARAM_construct_size_t(OSSL_CIPHER_PARAM_KEYLEN, &keyLen),
                           OSSL_PARAM_construct_uint(OSSL_CIPHER_PARAM_RC2_KEYBITS, &bits),
                           OSSL_PARAM_construct_end()};
    if (EVP_CIPHER_CTX_set_params(ctx.get(), params) != 1) return false;
  }
  if (EVP_CIPHER_CTX_get_key_length(ctx.get()) != int(key.size())) return false;
  if (EVP_CipherInit_ex2(ctx.get(), nullptr, key.data(),
                         mode == ChainMode::Cbc ? iv.data() : nullptr, -1, nullptr) != 1)
    return false;
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  int outLen = 0, finalLen = 0;
  if (in.empty()) return true;
  if (EVP_CipherUpdate(ctx.get(), out, &outLen, in.data(), int(in.size())) != 1) return false;
  if (EVP_CipherFinal_ex(ctx.get(), out + outLen, &finalLen) != 1) return false;
  return size_t(outLen + finalLen) == in.size();
}

Rc4::Rc4() {
  if (!LegacyProviderAvailable()) return;
  ctx_ = EVP_CIPHER_CTX_new();
}

Rc4::~Rc4() {
  EVP_CIPHER_CTX_free(ctx_);
}

bool Rc4::SetKey(ByteView key) {
  ok_ = false;
  if (!ctx_ || key.empty() || key.size() > 256) return false;
  EVP_CIPHER* rc4 = LoadedProviders().rc4;
  if (!rc4) return false;
  size_t keyLen = key.size();
  OSSL_PARAM params[] = {OSSL_PARAM_construct_size_t(OSSL_CIPHER_PARAM_KEYLEN, &keyLen),
                         OSSL_PARAM_construct_end()};
  if (EVP_CipherInit_ex2(ctx_, rc4, nullptr, nullptr, 1, nullptr) != 1) return false;
  if (EVP_CIPHER_CTX_set_params(ctx_, params) != 1) return false;
  if (EVP_CipherInit_ex2(ctx_, nullptr, key.data(), nullptr, 1, nullptr) != 1) return false;
  ok_ = true;
  return true;
}

void Rc4::Apply(uint8_t* data, size_t len) {
  if (!ok_) return;
  while (len > 0) {
    int chunk = len > (1u << 30) ? (1 << 30) : int(len);
    int outLen = 0;
    if (EVP_CipherUpdate(ctx_, data, &outLen, data, chunk) != 1) {
      ok_ = false;
      return;
    }
    data += chunk;
    len -= size_t(chunk);
  }
}

void Rc4::Skip(size_t len) {
  uint8_t scratch[256] = {};
  while (len > 0) {
    size_t n = len < sizeof scratch ? len : sizeof scratch;
    Apply(scratch, n);
    len -= n;
  }
}

Bytes Utf16Le(std::string_view s) {
  Bytes out;
  out.reserve(s.size() * 2);
  auto put = [&](uint32_t unit) {
    out.push_back(uint8_t(unit));
    out.push_back(uint8_t(unit >> 8));
  };
  size_t i = 0;
  while (i < s.size()) {
    uint8_t c = uint8_t(s[i]);
    uint32_t cp = 0xFFFD;
    size_t extra = 0;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F, extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F, extra = 2;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07, extra = 3;
    }
    size_t j = 1;
    for (; j <= extra && i + j < s.size() && (uint8_t(s[i + j]) & 0xC0) == 0x80; ++j)
      cp = cp << 6 | (uint8_t(s[i + j]) & 0x3F);
    if (j != extra + 1) cp = 0xFFFD, j = 1;
    i += j;
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      put(0xD800 | (cp >> 10));
      put(0xDC00 | (cp & 0x3FF));
    } else {
      put(cp > 0xFFFF ? 0xFFFD : cp);
    }
  }
  return out;
}

std::optional<Bytes> Base64Decode(std::string_view text) {
  Bytes out;
  out.reserve(text.size() / 4 * 3);
  uint32_t acc = 0;
  int bits = 0, pad = 0;
  for (char ch : text) {
    int v;
    if (ch >= 'A' && ch <= 'Z')
      v = ch - 'A';
    else if (ch >= 'a' && ch <= 'z')
      v = ch - 'a' + 26;
    else if (ch >= '0' && ch <= '9')
      v = ch - '0' + 52;
    else if (ch == '+')
      v = 62;
    else if (ch == '/')
      v = 63;
    else if (ch == '=') {
      ++pad;
      continue;
    } else if (ch == ' ' || ch == '\n' || ch == '\r' || ch == '\t') {
      continue;
    } else {
      return std::nullopt;
    }
    if (pad) return std::nullopt;  // data after padding
    acc = acc << 6 | uint32_t(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(uint8_t(acc >> bits));
    }
  }
  if (pad > 2 || bits >= 6) return std::nullopt;
  return out;
}

std::string Base64Encode(ByteView data) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < data.size(); i += 3) {
    uint32_t v = uint32_t(data[i]) << 16 | uint32_t(data[i + 1]) << 8 | data[i + 2];
    for (int s = 18; s >= 0; s -= 6) out.push_back(kAlphabet[(v >> s) & 63]);
  }
  if (i < data.size()) {
    uint32_t v = uint32_t(data[i]) << 16;
    if (i + 1 < data.size()) v |= uint32_t(data[i + 1]) << 8;
    out.push_back(kAlphabet[(v >> 18) & 63]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.push_back(i + 1 < data.size() ? kAlphabet[(v >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

bool SameBytes(ByteView a, ByteView b) {
  if (a.size() != b.size()) return false;
  uint8_t diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= uint8_t(a[i] ^ b[i]);
  return diff == 0;
}

}  // namespace gridwell::crypto
