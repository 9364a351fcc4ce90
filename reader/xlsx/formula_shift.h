// Moves the relative references of a formula by a row and column offset, as a shared
// formula's dependent cells show the master's formula.
#pragma once

#include <string>
#include <string_view>

namespace gridwell::xlsx {

// Appends `formula` to `out` with every relative A1 reference (and the relative parts of
// column and row ranges such as A:C or 3:5) moved by (dRow, dCol). References marked
// with "$" stay. Text in double quotes, sheet names (before "!"), function names,
// defined names and structured references ([...]) are copied unchanged. A reference
// moved off the grid becomes #REF!.
void ShiftFormula(std::string_view formula, int dRow, int dCol, std::string& out);

}  // namespace gridwell::xlsx
