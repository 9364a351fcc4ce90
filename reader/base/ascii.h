// ASCII case for the names of formats, file types, schemes and sheets. Only A-Z and a-z
// change: unlike std::tolower the result does not depend on the process's locale, and bytes
// of UTF-8 sequences pass unchanged.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace gridwell::base {

constexpr char ToLowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char ToUpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
constexpr bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

inline std::string LowerAscii(std::string_view text) {
  std::string s(text);
  for (char& c : s) c = ToLowerAscii(c);
  return s;
}
inline std::string UpperAscii(std::string_view text) {
  std::string s(text);
  for (char& c : s) c = ToUpperAscii(c);
  return s;
}

constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
  }
  return true;
}
constexpr bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}
constexpr bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace gridwell::base
