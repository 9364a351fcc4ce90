#include "cli/terminal_text.h"

#include <cstdint>
#include <cstdio>

#include "reader/base/bytes.h"

namespace gridwell::cli {

namespace {

void AppendHexEscape(std::string& out, std::string_view bytes) {
  for (const char b : bytes) {
    out += "\\x";
    base::AppendHexByte(out, static_cast<uint8_t>(b), base::kHexLower);
  }
}

// The length of the well-formed UTF-8 sequence at the start of `s`, or 0.
size_t Utf8Length(std::string_view s) {
  const auto at = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = at(0);
  size_t n = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
    if (lead == 0xE0) lo = 0xA0;
    if (lead == 0xED) hi = 0x9F;  // no UTF-16 surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < n || at(1) < lo || at(1) > hi) return 0;
  for (size_t i = 2; i < n; ++i) {
    if (at(i) < 0x80 || at(i) > 0xBF) return 0;
  }
  return n;
}

}  // namespace

void AppendEscapedText(std::string& out, std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const char ch = s[i];
    const unsigned char u = static_cast<unsigned char>(ch);
    if (u >= 0x80) {
      const size_t n = Utf8Length(s.substr(i));
      // U+0080-U+009F are C2 80 to C2 9F.
      const bool c1 = n == 2 && u == 0xC2 && static_cast<unsigned char>(s[i + 1]) < 0xA0;
      if (n == 0 || c1) {
        AppendHexEscape(out, s.substr(i, n == 0 ? 1 : n));
      } else {
        out.append(s.substr(i, n));
      }
      i += n == 0 ? 1 : n;
      continue;
    }
    ++i;
    switch (ch) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (u < 0x20 || u == 0x7F) {
          AppendHexEscape(out, std::string_view(&ch, 1));
        } else {
          out += ch;
        }
    }
  }
}

void PrintLine(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 1);
  AppendEscapedText(line, text);
  line += '\n';
  std::fputs(line.c_str(), stderr);
}

}  // namespace gridwell::cli
