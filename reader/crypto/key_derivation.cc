#include "reader/crypto/key_derivation.h"

namespace gridwell::crypto {

namespace {

constexpr uint8_t kXorPad[15] = {0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80,
                                 0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00};
constexpr uint16_t kXorInitialCode[15] = {0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C,
                                          0x0E10, 0xF1CE, 0x313E, 0x1872, 0xE139,
                                          0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3};
constexpr uint16_t kXorMatrix[105] = {
    0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09, 0x7B61, 0xF6C2, 0xFDA5, 0xEB6B, 0xC6F7,
    0x9DCF, 0x2BBF, 0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0, 0x0375, 0x06EA, 0x0DD4,
    0x1BA8, 0x3750, 0x6EA0, 0xDD40, 0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D, 0xAA7A, 0x44D5, 0x6F45,
    0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A, 0xEB23, 0xC667, 0x9CEF, 0x29FF, 0x53FE, 0xA7FC,
    0x5FD9, 0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68, 0xF6D0, 0xB861, 0x60E3, 0xC1C6, 0x93AD,
    0x377B, 0x6EF6, 0xDDEC, 0x45A0, 0x8B40, 0x06A1, 0x0D42, 0x1A84, 0x3508, 0x6A10, 0xAA51, 0x4483,
    0x8906, 0x022D, 0x045A, 0x08B4, 0x1168, 0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C,
    0x3730, 0x6E60, 0xDCC0, 0xA9A1, 0x4363, 0x86C6, 0x1DAD, 0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373,
    0x06E6, 0x0DCC, 0x1021, 0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4};

uint8_t XorRor(uint8_t a, uint8_t b) {
  uint8_t v = uint8_t(a ^ b);
  return uint8_t((v >> 1) | (v << 7));
}

Bytes ToBytes(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

Bytes FitTo(Bytes b, size_t size, uint8_t pad) {
  b.resize(size, pad);
  return b;
}

}  // namespace

Bytes XorPasswordBytes(std::string_view password) {
  Bytes utf16 = Utf16Le(password);
  Bytes out;
  for (size_t i = 0; i + 1 < utf16.size() && out.size() < 15; i += 2)
    out.push_back(utf16[i] != 0 ? utf16[i] : utf16[i + 1]);
  return out;
}

uint16_t XorVerifierMethod1(const Bytes& pw) {
  uint16_t verifier = 0;
  // The length byte leads the array, and the array is walked from its end.
  for (size_t n = pw.size() + 1; n-- > 0;) {
    uint8_t b = n == 0 ? uint8_t(pw.size()) : pw[n - 1];
    uint16_t carry = (verifier & 0x4000) ? 1 : 0;
    verifier = uint16_t((((verifier << 1) & 0x7FFF) | carry) ^ b);
  }
  return uint16_t(verifier ^ 0xCE4B);
}

uint16_t XorKeyMethod1(const Bytes& pw) {
  if (pw.empty()) return 0;
  uint16_t key = kXorInitialCode[pw.size() - 1];
  int element = 0x68;
  for (size_t n = pw.size(); n-- > 0;) {
    uint8_t c = pw[n];
    for (int bit = 0; bit < 7; ++bit, --element) {
      if (c & 0x40) key ^= kXorMatrix[element];
      c = uint8_t(c << 1);
    }
  }
  return key;
}

std::array<uint8_t, 16> XorArrayMethod1(const Bytes& pw) {
  std::array<uint8_t, 16> out{};
  uint16_t key = XorKeyMethod1(pw);
  uint8_t hi = uint8_t(key >> 8), lo = uint8_t(key);
  int index = int(pw.size());
  if (index % 2 == 1) {
    out[size_t(index)] = XorRor(kXorPad[0], hi);
    --index;
    out[size_t(index)] = XorRor(pw.back(), lo);
  }
  while (index > 0) {
    --index;
    out[size_t(index)] = XorRor(pw[size_t(index)], hi);
    --index;
    out[size_t(index)] = XorRor(pw[size_t(index)], lo);
  }
  index = 15;
  int pad = 15 - int(pw.size());
  while (pad > 0) {
    out[size_t(index--)] = XorRor(kXorPad[pad--], hi);
    out[size_t(index--)] = XorRor(kXorPad[pad--], lo);
  }
  return out;
}

Bytes Rc4Md5BaseKey(std::string_view password, ByteView salt) {
  Bytes h0 = Hash(HashAlg::Md5, {Utf16Le(password)});
  if (h0.size() < 5) return {};
  Bytes buffer;
  buffer.reserve(16 * (5 + salt.size()));
  for (int i = 0; i < 16; ++i) {
    buffer.insert(buffer.end(), h0.begin(), h0.begin() + 5);
    buffer.insert(buffer.end(), salt.begin(), salt.end());
  }
  Bytes h1 = Hash(HashAlg::Md5, {buffer});
  if (h1.size() < 5) return {};
  h1.resize(5);
  return h1;
}

Bytes Rc4Md5BlockKey(const Bytes& baseKey, uint32_t block) {
  return Hash(HashAlg::Md5, {baseKey, ToBytes(block)});
}

Bytes CryptoApiBaseHash(std::string_view password, ByteView salt) {
  return Hash(HashAlg::Sha1, {salt, Utf16Le(password)});
}

Bytes CryptoApiBlockKey(const Bytes& baseHash, uint32_t block, uint32_t keyBits) {
  Bytes h = Hash(HashAlg::Sha1, {baseHash, ToBytes(block)});
  size_t bytes = keyBits / 8;
  if (h.empty() || bytes > h.size()) return {};
  h.resize(bytes);
  // 40-bit CryptoAPI keys are 128-bit RC4 keys whose last 88 bits are zero.
  if (keyBits == 40) h.resize(16, 0);
  return h;
}

Bytes StandardKey(std::string_view password, ByteView salt, uint32_t keyBits) {
  Bytes h =
      SpinHash(HashAlg::Sha1, Hash(HashAlg::Sha1, {salt, Utf16Le(password)}), kStandardSpinCount);
  if (h.empty()) return {};
  Bytes final = Hash(HashAlg::Sha1, {h, ToBytes(0)});
  if (final.empty()) return {};
  uint8_t b1[64], b2[64];
  for (size_t i = 0; i < 64; ++i) {
    b1[i] = uint8_t(0x36 ^ (i < final.size() ? final[i] : 0));
    b2[i] = uint8_t(0x5C ^ (i < final.size() ? final[i] : 0));
  }
  Bytes x1 = Hash(HashAlg::Sha1, {ByteView(b1, 64)});
  Bytes x2 = Hash(HashAlg::Sha1, {ByteView(b2, 64)});
  x1.insert(x1.end(), x2.begin(), x2.end());
  size_t bytes = keyBits / 8;
  if (x1.size() < 40 || bytes > 40) return {};
  x1.resize(bytes);
  return x1;
}

Bytes AgilePasswordHash(HashAlg alg, ByteView salt, std::string_view password, uint32_t spinCount) {
  return SpinHash(alg, Hash(alg, {salt, Utf16Le(password)}), spinCount);
}

Bytes AgileKey(HashAlg alg, const Bytes& passwordHash, ByteView blockKey, size_t keyBytes) {
  Bytes h = Hash(alg, {passwordHash, blockKey});
  if (h.empty()) return {};
  return FitTo(std::move(h), keyBytes, 0x36);
}

Bytes AgileIv(HashAlg alg, ByteView salt, std::optional<ByteView> blockKey, size_t blockSize) {
  if (!blockKey) return FitTo(Bytes(salt.begin(), salt.end()), blockSize, 0x36);
  Bytes h = Hash(alg, {salt, *blockKey});
  if (h.empty()) return {};
  return FitTo(std::move(h), blockSize, 0x36);
}

Bytes AgileSegmentIv(HashAlg alg, ByteView salt, uint32_t segment, size_t blockSize) {
  Bytes index = ToBytes(segment);
  return AgileIv(alg, salt, ByteView(index), blockSize);
}

}  // namespace gridwell::crypto
