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

// The CSS declarations of a format's borders, each between `before` and `after`, in the
// order top, right, bottom, left; sides without a border write nothing.
void AppendBorderDeclarations(std::string& out, const CellFormat& format, std::string_view before,
                              std::string_view after);
// One such declaration: `property` (as "border-top:"), the line style `code`, its colour.
void AppendBorderDeclaration(std::string& out, std::string_view property, int32_t code,
                             uint32_t color, std::string_view before, std::string_view after);

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
// The rule of class "xe<format id>" for positions without a value that show a format's fill
// and borders (sheet look).
void AppendEmptyPositionRule(std::string& out, const CellFormat& format);
void AppendStyleSheetClosing(std::string& out);

}  // namespace gridwell::conv
