// The value of one cell as the reader interface hands it out.
#pragma once

#include <cstdint>
#include <string_view>

namespace gridwell {

enum class ValueKind : uint8_t { Empty = 0, Number, Date, String, Error, Boolean };

// Error values carry the workbook formats' own codes (the same in .xls and .xlsx).
enum class ErrorCode : uint8_t {
  Null = 0x00,         // #NULL!
  Div0 = 0x07,         // #DIV/0!
  Value = 0x0F,        // #VALUE!
  Ref = 0x17,          // #REF!
  Name = 0x1D,         // #NAME?
  Num = 0x24,          // #NUM!
  NA = 0x2A,           // #N/A
  GettingData = 0x2B,  // #GETTING_DATA
};

// Text a spreadsheet shows for an error code ("#DIV/0!"); "#N/A" for unknown codes.
std::string_view ErrorText(ErrorCode code);
// Parses "#DIV/0!" and the others; returns false for any other text.
bool ParseErrorText(std::string_view text, ErrorCode& code);

// A variant: Empty, a double, a date (serial day number in the 1900 date system, the
// fraction being the time of day), a string, an error value or a Boolean. Strings are
// views into the workbook's string storage and live as long as the workbook.
struct CellValue {
  ValueKind kind = ValueKind::Empty;
  double number = 0;      // Number and Date
  std::string_view text;  // String
  bool boolean = false;   // Boolean
  ErrorCode error = ErrorCode::NA;

  bool IsEmpty() const { return kind == ValueKind::Empty; }
  static CellValue Number(double v) { return {ValueKind::Number, v, {}, false, ErrorCode::NA}; }
  static CellValue Date(double serial) {
    return {ValueKind::Date, serial, {}, false, ErrorCode::NA};
  }
  static CellValue String(std::string_view s) {
    return {ValueKind::String, 0, s, false, ErrorCode::NA};
  }
  static CellValue Bool(bool b) { return {ValueKind::Boolean, 0, {}, b, ErrorCode::NA}; }
  static CellValue Error(ErrorCode e) { return {ValueKind::Error, 0, {}, false, e}; }
};

}  // namespace gridwell
