// The styled page's cell style sheet: a fixed opening with the table-level rule, one class
// rule per non-empty cell, and the closing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "reader/reader.h"

namespace gridwell::conv {

// A workbook border line style (0..13) as CSS width and style; "none" for other codes.
std::string_view BorderStyleCss(int16_t code);

void AppendStyleSheetOpening(std::string& out);
// The rule of class "xl<n>" for one non-empty cell. Its colour is the colour of the format
// section that shows the value ("red" for [Red]), or else the font colour.
void AppendClassRule(std::string& out, int32_t n, const ReaderCell& cell, const CellValue& value);
void AppendStyleSheetClosing(std::string& out);

}  // namespace gridwell::conv
