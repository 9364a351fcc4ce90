// Password-to-key derivations of the Office encryption schemes, and the layout constants
// they share. The decryptors use them, and so does the test-side encryptor that builds
// encrypted fixtures.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "reader/crypto/primitives.h"

namespace gridwell::crypto {

// ---- XOR obfuscation (.xls, method 1) ----
// The password as the single-byte string XOR obfuscation works on: each UTF-16 unit gives
// its low byte, or its high byte when the low one is zero; at most 15 characters count.
Bytes XorPasswordBytes(std::string_view password);
uint16_t XorVerifierMethod1(const Bytes& passwordBytes);
uint16_t XorKeyMethod1(const Bytes& passwordBytes);
std::array<uint8_t, 16> XorArrayMethod1(const Bytes& passwordBytes);
// Data bytes are rotated and XORed with the array; the array index of a byte at stream
// offset `pos` inside a record whose body is `recordSize` bytes long.
inline size_t XorArrayIndex(uint64_t pos, uint16_t recordSize) {
  return size_t((pos + recordSize) % 16);
}

// ---- RC4 (.xls, "binary" RC4 with MD5, 40-bit) ----
// The 5-byte base key from the password and the 16-byte salt.
Bytes Rc4Md5BaseKey(std::string_view password, ByteView salt);
Bytes Rc4Md5BlockKey(const Bytes& baseKey, uint32_t block);

// ---- RC4 CryptoAPI (.xls) ----
// SHA-1(salt + password), the hash every block key starts from.
Bytes CryptoApiBaseHash(std::string_view password, ByteView salt);
// The block key of `keyBits` bits; 40-bit keys are padded with zeros to 128 bits.
Bytes CryptoApiBlockKey(const Bytes& baseHash, uint32_t block, uint32_t keyBits);

// Stream bytes per RC4 key in .xls record streams.
inline constexpr size_t kBiffRc4BlockSize = 1024;

// ---- Standard encryption (.xlsx, AES-ECB with SHA-1) ----
inline constexpr uint32_t kStandardSpinCount = 50000;
Bytes StandardKey(std::string_view password, ByteView salt, uint32_t keyBits);

// ---- Agile encryption (.xlsx) ----
inline constexpr uint32_t kMaxSpinCount = 10'000'000;
inline constexpr std::array<uint8_t, 8> kBlockKeyVerifierInput = {0xfe, 0xa7, 0xd2, 0x76,
                                                                  0x3b, 0x4b, 0x9e, 0x79};
inline constexpr std::array<uint8_t, 8> kBlockKeyVerifierValue = {0xd7, 0xaa, 0x0f, 0x6d,
                                                                  0x30, 0x61, 0x34, 0x4e};
inline constexpr std::array<uint8_t, 8> kBlockKeyEncryptedKey = {0x14, 0x6e, 0x0b, 0xe7,
                                                                 0xab, 0xac, 0xd0, 0xd6};
inline constexpr std::array<uint8_t, 8> kBlockKeyHmacKey = {0x5f, 0xb2, 0xad, 0x01,
                                                            0x0c, 0xb9, 0xe1, 0xf6};
inline constexpr std::array<uint8_t, 8> kBlockKeyHmacValue = {0xa0, 0x67, 0x7f, 0x02,
                                                              0xb2, 0x2c, 0x84, 0x33};
inline constexpr size_t kAgileSegmentSize = 4096;

// H(salt + password) followed by `spinCount` rounds of H(LE32(i) + previous).
Bytes AgilePasswordHash(HashAlg alg, ByteView salt, std::string_view password, uint32_t spinCount);
// H(passwordHash + blockKey) cut to, or padded with 0x36 to, `keyBytes`.
Bytes AgileKey(HashAlg alg, const Bytes& passwordHash, ByteView blockKey, size_t keyBytes);
// H(salt + blockKey) cut to, or padded with 0x36 to, `blockSize`; no block key means the
// salt itself.
Bytes AgileIv(HashAlg alg, ByteView salt, std::optional<ByteView> blockKey, size_t blockSize);
Bytes AgileSegmentIv(HashAlg alg, ByteView salt, uint32_t segment, size_t blockSize);

}  // namespace gridwell::crypto
