// Bytes of the binary formats: little-endian fields (BIFF records, compound-file and
// encryption headers) and hexadecimal digits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace gridwell::base {

inline uint16_t ReadLe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t ReadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// Fields of a record body by offset: a field that would run past the body reads 0, so a
// record that lies about its length never reads beyond it.
inline uint16_t Le16(std::span<const uint8_t> b, size_t at) {
  return at <= b.size() && b.size() - at >= 2 ? ReadLe16(&b[at]) : 0;
}
inline uint32_t Le32(std::span<const uint8_t> b, size_t at) {
  return at <= b.size() && b.size() - at >= 4 ? ReadLe32(&b[at]) : 0;
}

inline constexpr char kHexUpper[] = "0123456789ABCDEF";
inline constexpr char kHexLower[] = "0123456789abcdef";

// The value of one hexadecimal digit of either case; -1 for any other character.
constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Two hexadecimal digits of a byte, from `digits` (kHexUpper or kHexLower).
inline void AppendHexByte(std::string& out, uint8_t byte, const char* digits = kHexUpper) {
  out += digits[byte >> 4];
  out += digits[byte & 0xF];
}

}  // namespace gridwell::base
