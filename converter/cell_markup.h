// From a cell's display text to the content of its table cell: e-mail and web links, the
// font wrapper, strike-through and super/subscript; and the small helpers that both page
// writers share (colours, link tests, cell references, column names, escaping).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "reader/reader.h"

namespace gridwell::conv {

// 0x00BBGGRR as "#RRGGBB" in upper-case hexadecimal.
void AppendHtmlColor(std::string& out, uint32_t value);
std::string HtmlColor(uint32_t value);

bool IsUrl(std::string_view text);
bool IsEmailAddress(std::string_view text);

// The decimal digits of a cell reference, and everything else, each in their order.
std::string RowPart(std::string_view text);
std::string ColumnPart(std::string_view text);

// Column names: A..Z, AA..ZZ, AAA..XFD (16384). ColumnNumber gives 0 for a name it cannot
// read and -1 for a name past the last column; ColumnLetters gives "ERR" outside 1..16384.
int16_t ColumnNumber(std::string_view text);
void AppendColumnLetters(std::string& out, int32_t column);
std::string ColumnLetters(int16_t column);

// Workbook text made safe for element content and quoted attribute values; control
// characters other than tab and line breaks are left out.
void AppendEscaped(std::string& out, std::string_view text);
// A cell's display text as element content, escaped, with its line breaks as "<BR>" and
// its spaces keeping their width: a space at the start or end of a line, or after another
// space, is written "&nbsp;", so that browsers neither collapse nor drop it.
void AppendDisplayText(std::string& out, std::string_view text);
// A font name as a quoted CSS string, safe in a style sheet and in a STYLE attribute: the
// one form both pages write a font family in.
void AppendCssFontName(std::string& out, std::string_view name);

// A font size in points as a whole number, halves to the even neighbour; out-of-range
// values are clamped.
int32_t WholePoints(double points);

// Appends a non-negative or negative integer in decimal.
void AppendInt(std::string& out, int64_t value);

// The opening tag of the plain page's font wrapper, kept for the last font: neighbouring
// cells mostly share a font, and those then copy the tag instead of making it anew.
class FontOpening {
 public:
  FontOpening() = default;
  // Sizes in points ("10.0pt") instead of per cent of the browser's size.
  explicit FontOpening(bool sizeInPoints) : sizeInPoints_(sizeInPoints) {}
  void Append(std::string& out, const CellFormat& format, int64_t colorOverride);

 private:
  bool sizeInPoints_ = false;
  bool valid_ = false;
  std::string_view name_;
  double size_ = 0;
  uint32_t color_ = 0;
  bool red_ = false;
  std::string text_;
};

// The content of a non-empty data cell. `colorOverride`: the colour of the value's format
// section (0x00BBGGRR; pure red is written "red"), or negative for the cell's font colour.
// With fontWrapper the text or link stands in the cell's font: family, size and colour in
// the wrapper, bold, italic and underline as tags inside it. The styled page passes
// fontWrapper = false: its class carries the font. `opening`, when given, keeps the
// wrapper's opening tag from cell to cell.
void AppendCellContent(std::string& out, std::string_view display, int64_t colorOverride,
                       const CellFormat& format, bool newWindow, bool fontWrapper,
                       FontOpening* opening = nullptr);

}  // namespace gridwell::conv
