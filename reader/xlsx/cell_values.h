// The text forms of worksheet values that the parts share: cell references and ISO 8601
// dates.
#pragma once

#include <cstdint>
#include <string_view>

namespace gridwell::xlsx {

// Parses "B12" (letters in either case) into a 1-based row and column; false when the
// text is not a reference. Positions past the grid parse but are outside 1..max.
bool ParseCellRef(std::string_view ref, int64_t& row, int64_t& col);

// An ISO 8601 date, time or date-time ("2024-02-29T13:45:00Z") as a serial day number
// of the 1900 or the 1904 date system; false when the text is not such a value.
bool ParseIsoDate(std::string_view text, bool date1904, double& serial);

}  // namespace gridwell::xlsx
