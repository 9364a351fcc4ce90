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
// That rule without its ".xl<n>" line: from the opening brace to the closing one and CR LF.
void AppendClassRuleBody(std::string& out, const ReaderCell& cell, const CellValue& value);
// What a rule takes from the cell's value besides its format, as a number below 2^27 (the
// value's kind and the colour of the format section that shows it): cells with the same
// format and the same variant have character-for-character the same rule body.
uint64_t ClassRuleVariant(const ReaderCell& cell, const CellValue& value);
void AppendStyleSheetClosing(std::string& out);

}  // namespace gridwell::conv
