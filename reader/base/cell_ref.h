// Cell references in A1 form ("B7", "$B$7", "xfd1048576") and column letters (1 is "A",
// 27 "AA", 16384 "XFD"), within the sheet size of today's workbooks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace gridwell::base {

inline constexpr int32_t kMaxRows = 1048576;
inline constexpr int32_t kMaxColumns = 16384;

struct CellRef {
  int32_t row = 0, col = 0;  // 1-based
  bool absRow = false, absCol = false;
};

// The column of 1 to 3 letters of either case; 0 for anything else and for a column past
// XFD.
int32_t ColumnFromLetters(std::string_view letters);
// Appends the letters of a column in 1..kMaxColumns; false, appending nothing, outside.
bool AppendColumnLetters(std::string& out, int32_t column);
// The letters of a column in 1..kMaxColumns; empty outside.
std::string ColumnLetters(int32_t column);

// The column part ("AB", "$AB") and the row part ("7", "$7") at the start of `text`: the
// number of characters read, or 0 (leaving the outputs alone) when there is no such part
// or it lies outside the sheet. A column part takes the whole run of letters and a row part
// the whole run of digits.
size_t ScanColumnPart(std::string_view text, int32_t& col, bool& absolute);
size_t ScanRowPart(std::string_view text, int32_t& row, bool& absolute);

// A whole text that is one cell reference of the sheet; false for anything else.
bool ParseCellRef(std::string_view text, CellRef& out);

}  // namespace gridwell::base
