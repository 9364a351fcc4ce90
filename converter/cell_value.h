// A cell's value as the page shows it: the display text, chosen by the kind of the value and
// the cell's built-in number-format index, and the colour override ("red" for negative
// values of some formats).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "reader/numfmt/numfmt.h"
#include "reader/reader.h"

namespace gridwell::conv {

// Zeros directly after the first "." (or from the start when there is no ".").
int16_t DecimalPlaces(std::string_view text);

// The general text: numbers in their shortest plain decimal form with at most 15
// significant digits (exponent form for very large and very small magnitudes); dates as
// the short date, with the time when it is not midnight, or the time alone on day 0.
void AppendGeneralNumber(std::string& out, double value);
void AppendGeneralDate(std::string& out, double serial);

// One per conversion: keeps the compiled patterns and scratch buffers between cells.
class CellValueFormatter {
 public:
  CellValueFormatter();
  CellValueFormatter(const CellValueFormatter&) = delete;
  CellValueFormatter& operator=(const CellValueFormatter&) = delete;

  // Replaces `display` with the display text of a non-empty cell whose value is `value`;
  // returns true when the colour override "red" applies.
  bool Format(const ReaderCell& cell, const CellValue& value, std::string& display);

  enum Pattern : int;

 private:
  bool FormatNumber(const ReaderCell& cell, double v, std::string& out);
  void FormatDate(const ReaderCell& cell, double v, std::string& out);
  void F(Pattern p, double v, std::string& out);
  void F(std::string_view code, double v, std::string& out);
  const std::string& T(const ReaderCell& cell);

  numfmt::FormatCache cache_;
  const numfmt::Format* compiled_[32] = {};
  const numfmt::RegionalSettings& regional_;
  std::string text_;     // the reader text of the current cell
  std::string scratch_;  // an intermediate formatted value
  std::string code_;     // a pattern built for the cell
};

}  // namespace gridwell::conv
