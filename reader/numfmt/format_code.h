// The compiled form of a number-format code, shared by the parser and the renderers.
// Private to reader/numfmt/.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "reader/numfmt/numfmt.h"

namespace gridwell::numfmt {

enum class TokKind : uint8_t {
  Literal,      // text shown as it stands
  Digit,        // a digit placeholder '0', '#' or '?' (see Token::ch and Token::zone)
  Point,        // the decimal point of a number, or before fractional seconds
  Exponent,     // 'E+', 'E-', 'e+', 'e-'
  Slash,        // the bar of a fraction
  FixedDen,     // a fraction's written denominator ("/100"); text holds the digits
  General,      // the General format inside a section
  At,           // '@': the text value (or the General text of a number)
  DateSep,      // '/' in a date section: the regional date separator
  TimeSep,      // ':' in a date section: the regional time separator
  Year,         // n = 2 or 4
  Month,        // n = 1..5 (5: first letter of the name)
  Day,          // n = 1..4 (3, 4: weekday name)
  Hour,         // n = 1..2
  Minute,       // n = 1..2
  Second,       // n = 1..2
  SubSecond,    // n = 1..3 digits of a second, the point included
  AmPm,         // "AM/PM": the regional markers
  AP,           // "A/P": text holds the two letters as written ("AP" or "ap")
  ElapsedHour,  // [h], n = width
  ElapsedMinute,
  ElapsedSecond,
  // Only while parsing: resolved by the section's kind.
  Comma,    // grouping, scaling or a literal ','
  Percent,  // '%': scales a number by 100
  EraYear,  // 'e': a year in a date, else the letter; text holds the letters
  EraName,  // 'g': an era name in a date, else the letter
};

// Where a token stands in a number: integer part, decimals, exponent, or a fraction's
// numerator and denominator. In a fraction, literals between the whole number and the
// numerator are marked Frac and those inside the fraction Num, so they can hide with it.
enum class Zone : uint8_t { None, Int, Frac, Exp, Num, Den };

struct Token {
  TokKind kind = TokKind::Literal;
  Zone zone = Zone::None;
  char ch = 0;       // placeholder character of a Digit
  uint8_t n = 0;     // count for date and time tokens; exponent: 1 when '+' is written
  uint32_t idx = 0;  // Digit: index of the placeholder in its zone, from the left
  std::string text;  // Literal, FixedDen, AP, Exponent ('E' or 'e')
};

enum class SectionKind : uint8_t { Number, Date, Text, General };

enum class CondOp : uint8_t { None, Lt, Le, Gt, Ge, Eq, Ne };

struct Section {
  SectionKind kind = SectionKind::Number;
  std::vector<Token> tokens;
  int64_t color = -1;  // 0x00BBGGRR or -1
  CondOp cond = CondOp::None;
  double condValue = 0;

  // Numbers.
  int nInt = 0, nFrac = 0, nExp = 0, nNum = 0, nDen = 0;
  int expDigits = 0;      // the '0' placeholders of the exponent: its least number of digits
  int fixedDen = 0;       // a written denominator, 0 when none
  int scale10 = 0;        // power of ten applied to the value: +2 per '%', -3 per scaling ','
  bool grouping = false;  // thousands separators in the integer part
  bool scientific = false;
  bool fraction = false;
  bool hasPoint = false;
  bool hasAt = false;  // '@' in a number section: the number is shown as General

  // Dates and times.
  bool hasAmPm = false;
  bool elapsed = false;  // [h], [m] or [s]: a duration
  // With [h] an "h" shows the elapsed hours as well, and so on for [m] and [s].
  bool elapsedHours = false, elapsedMinutes = false, elapsedSeconds = false;
  int subDigits = 0;  // the most digits of a second any token shows (0..3)

  bool Matches(double v) const;
};

class Format {
 public:
  std::string code;
  std::vector<Section> sections;  // as written, at most four
  int numericCount = 1;           // sections[0 .. numericCount) serve numbers
  int textSection = -1;           // index into sections of the text section, or -1
  bool isDate = false;            // the first section shows a date or a time
};

// Parses `code` into `f`. Never fails.
void Parse(std::string_view code, Format& f);

// Renderers: append the magnitude `v` (already made non-negative where the section drops
// the sign) by one section.
void RenderNumber(double v, const Section& s, const RegionalSettings& rs, std::string& out);
// Returns false when the serial is outside the calendar (nothing appended then).
bool RenderDate(double v, const Section& s, const RegionalSettings& rs, bool date1904,
                std::string& out);
void RenderText(std::string_view text, const Section& s, std::string& out);

// The decimal form of a non-negative finite double, rounded to 15 significant digits as
// spreadsheets keep them: value = 0.d[0]d[1]...d[n-1] * 10^exp. No trailing zeros; n == 0
// for zero.
struct Decimal {
  char d[24];
  int n = 0;
  int exp = 0;
  // Rounds half away from zero to `frac` digits after the decimal point.
  void RoundToFraction(int frac);
  // Digit at position i (0-based from the first significant digit); '0' past either end.
  char At(int i) const { return (i >= 0 && i < n) ? d[i] : '0'; }
};
void ToDecimal(double v, Decimal& out);
// Appends v in decimal with at least `minDigits` digits (leading zeros).
void AppendUnsigned(uint64_t v, int minDigits, std::string& out);

// The colour of a bracketed colour name ("Red", "Color10"), 0x00BBGGRR, or -1.
int64_t ColorByName(std::string_view name);

}  // namespace gridwell::numfmt
