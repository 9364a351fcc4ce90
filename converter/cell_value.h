// A cell's value as the page shows it: the display text, which is the reader's text of the
// cell (its number format applied, as the spreadsheet shows it), and the colour override
// that the applied format section asks for ("[Red]", "[Blue]", "[Color10]" and so on).
#pragma once

#include <cstdint>
#include <string>

#include "reader/reader.h"

namespace gridwell::conv {

// No colour override: the cell's font colour applies.
inline constexpr int64_t kNoColorOverride = -1;

// Holds no state: the reader keeps the compiled formats, one cache per thread.
class CellValueFormatter {
 public:
  // Replaces `display` with the display text of a non-empty cell whose value is `value`:
  // the reader's text for text, numbers, dates and Booleans, "#ERR" for errors. Returns
  // the colour of the format section that showed the value (0x00BBGGRR), or
  // kNoColorOverride.
  int64_t Format(const ReaderCell& cell, const CellValue& value, std::string& display) const;
};

}  // namespace gridwell::conv
