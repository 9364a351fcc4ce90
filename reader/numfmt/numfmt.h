// The workbook number-format language: compile a format code once, then render numbers,
// dates and texts with it. Used by the reader (a cell's Text) and by the page writers.
//
// Rendering follows what spreadsheet programs show, with these choices where a page has no
// cell to fit: "_x" is one space; "*x" (fill the cell with x) shows nothing, as the
// worksheet TEXT function does; a date outside the calendar (negative in the 1900 system,
// or past 31 December 9999) shows as "########". A negative elapsed time ([h], [m], [s])
// and any negative time in the 1904 system show with a leading "-". Rounding is half away
// from zero on the 15-significant-digit decimal form of the value.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace gridwell::numfmt {

// Regional settings the formatter follows; English (United States) by default.
struct RegionalSettings {
  std::string decimalSeparator = ".";
  std::string thousandsSeparator = ",";
  std::string dateSeparator = "/";
  std::string timeSeparator = ":";
  std::array<std::string, 12> monthNames{"January",   "February", "March",    "April",
                                         "May",       "June",     "July",     "August",
                                         "September", "October",  "November", "December"};
  std::array<std::string, 12> monthAbbrevs{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::array<std::string, 7> dayNames{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                      "Thursday", "Friday", "Saturday"};
  std::array<std::string, 7> dayAbbrevs{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::string am = "AM";
  std::string pm = "PM";
  std::string shortDate = "m/d/yyyy";  // a format code

  static const RegionalSettings& EnglishUS();
  // Settings from the POSIX locale (LC_NUMERIC, LC_TIME); English (US) for what it lacks.
  static RegionalSettings FromPosixLocale();
};

// A compiled format code. Immutable; safe to share.
class Format;

// Compiles a code. Never fails: text that is not a valid code renders as literal text
// or falls back to General, as spreadsheet programs do.
std::shared_ptr<const Format> Compile(std::string_view code);

// Compiled formats cached by code text, so that formatting a cell does not re-parse.
// References stay valid for the cache's lifetime. Not thread-safe: one cache per thread.
class FormatCache {
 public:
  FormatCache();
  ~FormatCache();
  const Format& Get(std::string_view code);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Appends `value` rendered by `format` to `out`. date1904: the value is a serial number in
// the 1904 date system. Returns the section's colour tag as 0x00BBGGRR, or -1 when none.
// Sections: positive;negative;zero;text, or by conditions ([>100]); a one-section format
// shows negatives with "-", a negative section shows them without it. When conditions
// leave a number without a section it shows as General. Allocates nothing but `out`.
int64_t FormatNumber(double value, const Format& format, std::string& out,
                     const RegionalSettings& rs = RegionalSettings::EnglishUS(),
                     bool date1904 = false);
std::string FormatNumber(double value, std::string_view code,
                         const RegionalSettings& rs = RegionalSettings::EnglishUS(),
                         bool date1904 = false);
// The colour tags FormatNumber and FormatText would return, without rendering anything.
int64_t NumberColor(double value, const Format& format);
int64_t TextColor(const Format& format);

// Appends a text value rendered by the format's text section ("@"), or the text unchanged.
// Returns the text section's colour tag as FormatNumber does.
int64_t FormatText(std::string_view text, const Format& format, std::string& out);

// True when the code shows a date or a time (d, m, y, h, s outside quotes and brackets, or
// elapsed [h] [m] [s]).
bool IsDateFormat(const Format& format);
bool IsDateFormat(std::string_view code);

// The built-in format code for ids 0 to 58 as English (United States) settings show them;
// "" for other ids (General is used then).
std::string_view BuiltinFormatCode(int id);

// A number as the General format shows it in a column 11 characters wide: at most 10
// significant digits, scientific form when the plain form does not fit.
void GeneralNumber(double value, std::string& out);
std::string GeneralNumber(double value);

// Calendar parts of a serial day number (1900 system with its 29 February 1900, or 1904).
struct DateTime {
  int year = 1900, month = 1, day = 0, weekday = 0;  // weekday 0 = Sunday
  int hour = 0, minute = 0, second = 0;
  double subsecond = 0;  // fraction of a second, [0, 1)
};
bool SerialToDateTime(double serial, bool date1904, DateTime& out);

}  // namespace gridwell::numfmt
