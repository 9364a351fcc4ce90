#include "converter/cell_markup.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "reader/base/ascii.h"
#include "reader/base/bytes.h"
#include "reader/base/cell_ref.h"

namespace gridwell::conv {

namespace {

// A colour override of pure red is written as the word "red".
constexpr int64_t kRed = 0x0000FF;

using base::IsAsciiDigit;
using base::IsAsciiLetter;
using base::StartsWithNoCase;

// The character lists of the address test, read as plain lists: "\" is a member.
bool InLocalList(char c) {
  return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '_' || c == '.' || c == '-' || c == '\\';
}
bool InLabelList(char c) {
  return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '-' || c == '\\';
}

// "<P STYLE='font-family:...;font-size:...%;color:...'>"; `color` is not used when `red`.
// With `inPoints` the size is written in points, as the style sheet writes it.
void AppendFontOpening(std::string& out, std::string_view name, double points, uint32_t color,
                       bool red, bool inPoints) {
  out.append("<P STYLE='font-family:");
  AppendCssFontName(out, name);
  out.append(";font-size:");
  if (inPoints) {
    AppendInt(out, WholePoints(points));
    out.append(".0pt;color:");
  } else {
    // The size is points times 8 as a 16-bit number: 10 points make 80 (per cent).
    int64_t size = static_cast<int64_t>(WholePoints(points)) * 8;
    if (size > std::numeric_limits<int16_t>::max()) size = std::numeric_limits<int16_t>::max();
    if (size < std::numeric_limits<int16_t>::min()) size = std::numeric_limits<int16_t>::min();
    AppendInt(out, size);
    out.append("%;color:");
  }
  if (red) {
    out.append("red");
  } else {
    AppendHtmlColor(out, color);
  }
  out.append("'>");
}

}  // namespace

void AppendHtmlColor(std::string& out, uint32_t value) {
  // Hexadecimal without leading zeros, padded to at least six digits; the digit pairs are
  // then taken in the order 5-6, 3-4, 1-2, which turns 0x00BBGGRR into RRGGBB.
  char digits[8];
  int n = 0;
  uint32_t v = value;
  do {
    digits[n++] = base::kHexUpper[v & 0xF];
    v >>= 4;
  } while (v != 0);
  while (n < 6) digits[n++] = '0';
  // digits[] holds the hexadecimal form backwards; position p (1-based, from the left) is
  // digits[n - p].
  auto at = [&](int p) { return digits[n - p]; };
  const char text[7] = {'#', at(5), at(6), at(3), at(4), at(1), at(2)};
  out.append(text, 7);
}

std::string HtmlColor(uint32_t value) {
  std::string s;
  AppendHtmlColor(s, value);
  return s;
}

bool IsUrl(std::string_view text) {
  if (!StartsWithNoCase(text, "http://") && !StartsWithNoCase(text, "https://") &&
      !StartsWithNoCase(text, "ftp://")) {
    return false;
  }
  const size_t dot = text.find('.');
  return dot != std::string_view::npos && dot + 1 > 7;
}

bool IsEmailAddress(std::string_view text) {
  if (text.empty()) return false;
  const size_t at = text.find('@');
  if (at == std::string_view::npos || at == 0) return false;
  for (size_t i = 0; i < at; ++i) {
    if (!InLocalList(text[i])) return false;
  }
  std::string_view domain = text.substr(at + 1);
  size_t start = 0;
  for (size_t dot = domain.find('.'); dot != std::string_view::npos;
       dot = domain.find('.', start)) {
    for (size_t i = start; i < dot; ++i) {
      if (!InLabelList(domain[i])) return false;
    }
    start = dot + 1;
  }
  std::string_view last = domain.substr(start);
  if (last.size() < 2 || last.size() > 4) return false;
  for (char c : last) {
    if (!IsAsciiLetter(c) && !IsAsciiDigit(c)) return false;
  }
  return true;
}

std::string RowPart(std::string_view text) {
  std::string s;
  for (char c : text) {
    if (IsAsciiDigit(c)) s += c;
  }
  return s;
}

std::string ColumnPart(std::string_view text) {
  std::string s;
  for (char c : text) {
    if (!IsAsciiDigit(c)) s += c;
  }
  return s;
}

int16_t ColumnNumber(std::string_view text) {
  auto code = [](char c) { return static_cast<int32_t>(static_cast<unsigned char>(c)) - 64; };
  int32_t n = 0;
  switch (text.size()) {
    case 1:
      return static_cast<int16_t>(code(text[0]));
    case 2:
      n = code(text[0]) * 26 + code(text[1]);
      break;
    case 3:
      // Three-letter names (AAA = 703 up to XFD = 16384) only when all three are letters.
      for (char c : text) {
        if (c < 'A' || c > 'Z') return 0;
      }
      n = (code(text[0]) * 26 + code(text[1])) * 26 + code(text[2]);
      break;
    default:
      return 0;
  }
  return n > model::kMaxColumns ? int16_t{-1} : static_cast<int16_t>(n);
}

void AppendColumnLetters(std::string& out, int32_t column) {
  if (!base::AppendColumnLetters(out, column)) out.append("ERR");
}

std::string ColumnLetters(int16_t column) {
  std::string s;
  AppendColumnLetters(s, column);
  return s;
}

namespace {

// True when a C1 control (U+0080-U+009F, C2 80 to C2 9F in UTF-8) begins at text[i].
bool C1ControlAt(std::string_view text, size_t i) {
  return static_cast<unsigned char>(text[i]) == 0xC2 && i + 1 < text.size() &&
         static_cast<unsigned char>(text[i + 1]) < 0xA0 &&
         static_cast<unsigned char>(text[i + 1]) >= 0x80;
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view text) {
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    std::string_view entity;
    const char c = text[i];
    switch (c) {
      case '&':
        entity = "&amp;";
        break;
      case '<':
        entity = "&lt;";
        break;
      case '>':
        entity = "&gt;";
        break;
      case '\'':
        entity = "&#39;";
        break;
      case '"':
        entity = "&quot;";
        break;
      case '\t':
      case '\n':
        continue;
      case '\r':
        // A carriage return stays only as the first half of a line break.
        if (i + 1 < text.size() && text[i + 1] == '\n') continue;
        break;  // left out
      default:
        // Other control characters (C0, stored in .xlsx as _x0001_ and the like, DEL, and
        // the C1 controls U+0080-U+009F) are not allowed in an HTML page: they are left out.
        if (C1ControlAt(text, i)) {
          out.append(text.substr(start, i - start));
          start = ++i + 1;
          continue;
        }
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) continue;
    }
    out.append(text.substr(start, i - start));
    out.append(entity);
    start = i + 1;
  }
  out.append(text.substr(start));
}

void AppendCssFontName(std::string& out, std::string_view name) {
  // Letters, digits, spaces and a few marks stand for themselves; every other ASCII
  // character is written as a hexadecimal escape, so that nothing in the name can end the
  // string, the declaration, the attribute or the style element, or open a comment.
  // Control characters (C0, DEL, C1) cannot be in a font name and are left out; bytes of UTF-8
  // sequences pass unchanged.
  out += '"';
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) continue;
    if (C1ControlAt(name, i)) {
      ++i;
      continue;
    }
    if (u >= 0x80 || IsAsciiLetter(c) || IsAsciiDigit(c) || c == ' ' || c == '-' || c == '_' ||
        c == '.') {
      out += c;
      continue;
    }
    out += '\\';
    base::AppendHexByte(out, u);
    out += ' ';
  }
  out += '"';
}

int32_t WholePoints(double points) {
  if (!(points == points)) return 0;
  if (points >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  if (points <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(std::nearbyint(points));  // default rounding: halves to even
}

void AppendInt(std::string& out, int64_t value) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, static_cast<size_t>(r.ptr - buf));
}

void FontOpening::Append(std::string& out, const CellFormat& format, int64_t colorOverride) {
  const std::string_view name = format.FontName();
  const double size = format.FontSize();
  const bool red = colorOverride == kRed;
  const uint32_t color = red                 ? 0
                         : colorOverride < 0 ? format.FontColor()
                                             : static_cast<uint32_t>(colorOverride);
  if (!valid_ || name != name_ || size != size_ || color != color_ || red != red_) {
    text_.clear();
    AppendFontOpening(text_, name, size, color, red, sizeInPoints_);
    valid_ = true;
    name_ = name;
    size_ = size;
    color_ = color;
    red_ = red;
  }
  out.append(text_);
}

namespace {

// The text of a cell: a mail or web link when it looks like an address, else the text.
void AppendLinkOrText(std::string& out, std::string_view display, bool mail, bool url,
                      bool newWindow) {
  if (mail) {
    out.append("<A HREF = 'mailto:");
    AppendEscaped(out, display);
    out.append("'>");
    AppendEscaped(out, display);
    out.append("</A>");
  } else if (url) {
    out.append("<A HREF = '");
    AppendEscaped(out, display);
    out.append(newWindow ? std::string_view("' TARGET='_new'>")
                         : std::string_view("' TARGET='_parent'>"));
    AppendEscaped(out, display);
    out.append("</A>");
  } else {
    AppendDisplayText(out, display);
  }
}

}  // namespace

void AppendCellContent(std::string& out, std::string_view display, int64_t colorOverride,
                       const CellFormat& format, bool newWindow, bool fontWrapper,
                       FontOpening* opening) {
  const bool strike = format.Strikethrough();
  const int32_t escapement = format.Escapement();
  const bool mail = IsEmailAddress(display);
  const bool url = !mail && IsUrl(display);
  // A strike-through reaches into the wrapper's paragraph; a raise or a lowering does not,
  // so inside the wrapper <SUP> and <SUB> go around the text instead.
  const std::string_view raise = escapement == 1   ? std::string_view("<SUP>")
                                 : escapement == 2 ? std::string_view("<SUB>")
                                                   : std::string_view();
  const std::string_view lower = escapement == 1   ? std::string_view("</SUP>")
                                 : escapement == 2 ? std::string_view("</SUB>")
                                                   : std::string_view();
  if (strike) out.append("<S>");
  if (!fontWrapper) {
    out.append(raise);
    AppendLinkOrText(out, display, mail, url, newWindow);
    out.append(lower);
    if (strike) out.append("</S>");
    return;
  }
  // The wrapper goes around links too, so that a link keeps the cell's font.
  if (opening) {
    opening->Append(out, format, colorOverride);
  } else {
    FontOpening once;
    once.Append(out, format, colorOverride);
  }
  out.append(raise);
  const bool bold = format.Bold(), italic = format.Italic(), underline = format.Underline() >= 1;
  if (bold) out.append("<STRONG>");
  if (italic) out.append("<I>");
  if (underline) out.append("<U>");
  AppendLinkOrText(out, display, mail, url, newWindow);
  if (underline) out.append("</U>");
  if (italic) out.append("</I>");
  if (bold) out.append("</STRONG>");
  out.append(lower);
  out.append("</P>");
  if (strike) out.append("</S>");
}

void AppendDisplayText(std::string& out, std::string_view text) {
  const size_t n = text.size();
  size_t start = 0;  // the first character not yet written
  size_t i = 0;
  while (true) {
    while (i < n && text[i] != ' ' && text[i] != '\n' && text[i] != '\r') ++i;
    if (i == n) break;
    AppendEscaped(out, text.substr(start, i - start));
    if (text[i] == ' ') {
      // A space that starts or ends a line, or follows a space, would be dropped or folded
      // into its neighbour.
      const bool lineStart = i == 0 || text[i - 1] == '\n' || text[i - 1] == '\r';
      const bool lineEnd = i + 1 == n || text[i + 1] == '\n' || text[i + 1] == '\r';
      const bool afterSpace = i > 0 && text[i - 1] == ' ';
      out.append(lineStart || lineEnd || afterSpace ? std::string_view("&nbsp;")
                                                    : std::string_view(" "));
    } else {
      // CR LF, LF and a CR alone each end a line.
      if (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
      out.append("<BR>");
    }
    start = ++i;
  }
  AppendEscaped(out, text.substr(start));
}

}  // namespace gridwell::conv
