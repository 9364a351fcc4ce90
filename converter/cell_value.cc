#include "converter/cell_value.h"

#include <charconv>
#include <cmath>

#include "converter/cell_markup.h"

namespace gridwell::conv {

enum CellValueFormatter::Pattern : int {
  kInt,            // "0"
  kFixed2,         // "0.00"
  kGrouped,        // "#,##0"
  kGrouped2,       // "#,##0.00"
  kCurrency,       // index 5
  kCurrencyRed,    // index 6
  kCurrency2,      // index 7
  kCurrency2Red,   // index 8
  kPercent,        // "0%"
  kPercent2,       // "0.00%"
  kScientific,     // "0.00E+00"
  kParenRed,       // index 29
  kParen2,         // index 30
  kParen2Red,      // index 31
  kEngineering,    // "##0.0E+0"
  kTextAt,         // "@"
  kLongDate,       // "dddd, mmmm dd, yyyy"
  kDayMonYear4,    // "d-mmm-yyyy"
  kDayMon,         // "d-mmm"
  kDateTimeShort,  // "m/d/yy h:mm AM/PM"
  kDayMonYear,     // "d-mmm-yy"
  kPhone,          // "(###) ###-####"
  kDayMonYear2,    // "dd-mmm-yy"
  kMonYear,        // "mmm-yy"
  kMonthYear,      // "mmmm-yy"
  kMonthDayYear,   // "mmmm d, yyyy"
  kMon,            // "mmm"
  kYear2,          // "yy"
  kTime12,         // "h:mm AM/PM"
  kTime12Sec,      // "h:mm:ss AM/PM"
  kTime,           // "h:mm"
  kPatternCount_,
};

namespace {

constexpr std::string_view kCodes[] = {
    "0",
    "0.00",
    "#,##0",
    "#,##0.00",
    "($#,##0_);($#,##0)",
    "($#,##0_);[Red]($#,##0)",
    "($#,##0.00_);($#,##0.00)",
    "($#,##0.00_);[Red]($#,##0.00)",
    "0%",
    "0.00%",
    "0.00E+00",
    "(#,##0_);[Red](#,##0)",
    "(#,##0.00_);(#,##0.00)",
    "(#,##0.00_);[Red](#,##0.00)",
    "##0.0E+0",
    "@",
    "dddd, mmmm dd, yyyy",
    "d-mmm-yyyy",
    "d-mmm",
    "m/d/yy h:mm AM/PM",
    "d-mmm-yy",
    "(###) ###-####",
    "dd-mmm-yy",
    "mmm-yy",
    "mmmm-yy",
    "mmmm d, yyyy",
    "mmm",
    "yy",
    "h:mm AM/PM",
    "h:mm:ss AM/PM",
    "h:mm",
};
static_assert(std::size(kCodes) == CellValueFormatter::kPatternCount_);
static_assert(std::size(kCodes) <= 32);

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// Appends `text` without its "-" characters.
void AppendStripped(std::string& out, std::string_view text) {
  for (char c : text) {
    if (c != '-') out += c;
  }
}

// The first character of a UTF-8 text.
std::string_view FirstCharacter(std::string_view text) {
  if (text.empty()) return text;
  size_t n = 1;
  while (n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) ++n;
  return text.substr(0, n);
}

void AppendTwoDigits(std::string& out, int v) {
  out += static_cast<char>('0' + v / 10);
  out += static_cast<char>('0' + v % 10);
}

// Days from 1970-01-01 to a civil date of the proleptic Gregorian calendar, and back.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}
void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

}  // namespace

int16_t DecimalPlaces(std::string_view text) {
  const size_t dot = text.find('.');
  size_t i = dot == std::string_view::npos ? 0 : dot + 1;
  int16_t n = 0;
  while (i < text.size() && text[i] == '0' && n < INT16_MAX) {
    ++n;
    ++i;
  }
  return n;
}

void AppendGeneralNumber(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out.append("#NUM!");
    return;
  }
  if (value == 0) {
    out += '0';
    return;
  }
  char buf[48];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  for (char* p = buf; p != r.ptr; ++p) out += *p == 'e' ? 'E' : *p;
}

void AppendGeneralDate(std::string& out, double serial) {
  // Day 0 is 0 January 1900; the 1900 system counts a 29 February 1900 as day 60.
  if (!(serial >= 0) || serial >= 2958466) {
    AppendGeneralNumber(out, serial);
    return;
  }
  int64_t day = static_cast<int64_t>(std::floor(serial));
  int64_t seconds = std::llround((serial - static_cast<double>(day)) * 86400.0);
  if (seconds >= 86400) {
    ++day;
    seconds -= 86400;
  }
  if (day != 0) {
    int y = 1900, m = 2, d = 29;
    if (day != 60) {
      const int64_t base = DaysFromCivil(1899, 12, day < 60 ? 31 : 30);
      CivilFromDays(base + day, y, m, d);
    }
    AppendInt(out, m);
    out += '/';
    AppendInt(out, d);
    out += '/';
    AppendInt(out, y);
    if (seconds == 0) return;
    out += ' ';
  }
  const int h = static_cast<int>(seconds / 3600);
  const int mi = static_cast<int>(seconds / 60 % 60);
  const int s = static_cast<int>(seconds % 60);
  AppendInt(out, h % 12 == 0 ? 12 : h % 12);
  out += ':';
  AppendTwoDigits(out, mi);
  out += ':';
  AppendTwoDigits(out, s);
  out.append(h < 12 ? " AM" : " PM");
}

CellValueFormatter::CellValueFormatter() : regional_(numfmt::RegionalSettings::EnglishUS()) {}

void CellValueFormatter::F(Pattern p, double v, std::string& out) {
  const numfmt::Format*& f = compiled_[p];
  if (!f) f = &cache_.Get(kCodes[p]);
  numfmt::FormatNumber(v, *f, out, regional_, false);
}

void CellValueFormatter::F(std::string_view code, double v, std::string& out) {
  numfmt::FormatNumber(v, cache_.Get(code), out, regional_, false);
}

const std::string& CellValueFormatter::T(const ReaderCell& cell) {
  text_.clear();
  cell.AppendText(text_);
  return text_;
}

bool CellValueFormatter::Format(const ReaderCell& cell, const CellValue& value,
                                std::string& display) {
  display.clear();
  switch (value.kind) {
    case ValueKind::String:
      display.append(value.text);
      return false;
    case ValueKind::Number:
      return FormatNumber(cell, value.number, display);
    case ValueKind::Date:
      FormatDate(cell, value.number, display);
      return false;
    case ValueKind::Error:
      display.append("#ERR");
      return false;
    case ValueKind::Boolean:
      display.append(T(cell));
      return false;
    case ValueKind::Empty:
      return false;
  }
  return false;
}

bool CellValueFormatter::FormatNumber(const ReaderCell& cell, double v, std::string& out) {
  const int16_t index = static_cast<int16_t>(cell.NumberFormatIndex());
  const bool negative = v < 0;
  switch (index) {
    case 1:
    case 12:
    case 13:
    case 49:
      AppendGeneralNumber(out, v);
      return false;
    case 2:
      F(kInt, v, out);
      return false;
    case 3:
      F(kFixed2, v, out);
      return false;
    case 4:
      F(kGrouped, v, out);
      return false;
    case 5:
      F(kCurrency, v, out);
      return false;
    case 6:
      F(kCurrencyRed, v, out);
      return negative;
    case 7:
      F(kCurrency2, v, out);
      return false;
    case 8:
      F(kCurrency2Red, v, out);
      return negative;
    case 9:
      F(kPercent, v, out);
      return false;
    case 10:
      F(kPercent2, v, out);
      return false;
    case 11:
      F(kScientific, v, out);
      return false;
    case 23:
    case 24:
    case 25:
    case 26: {
      scratch_.clear();
      if (index <= 24) {
        F(kGrouped, v, scratch_);
      } else {
        const int16_t d = DecimalPlaces(T(cell));
        if (d < 1) {
          F(kGrouped2, v, scratch_);
        } else {
          code_.assign("#,##0.");
          code_.append(static_cast<size_t>(d), '0');
          F(code_, v, scratch_);
        }
      }
      const bool dollar = index == 23 || index == 25;
      if (negative) {
        out.append(dollar ? "($" : "(");
        AppendStripped(out, scratch_);
        out += ')';
      } else {
        if (dollar) out += '$';
        out.append(scratch_);
      }
      return false;
    }
    case 29:
      F(kParenRed, v, out);
      return negative;
    case 30:
      F(kParen2, v, out);
      return false;
    case 31:
      F(kParen2Red, v, out);
      return negative;
    case 35:
      F(kEngineering, v, out);
      return false;
    case 36:
      F(kTextAt, v, out);
      return false;
    case 37:
    case 38: {
      const std::string& t = T(cell);
      if (Contains(t, "dddd")) {
        F(kLongDate, v, out);
        return false;
      }
      if (negative) {
        AppendStripped(out, t);
      } else {
        out.append(t);
      }
      return negative;
    }
    case 39: {
      const std::string& t = T(cell);
      scratch_.clear();
      if (negative) {
        scratch_ += '(';
        AppendStripped(scratch_, t);
        scratch_ += ')';
      } else {
        scratch_.append(t);
      }
      if (Contains(scratch_, "dddd")) {
        F(kLongDate, v, out);
      } else {
        out.append(scratch_);
      }
      return false;
    }
    case 40: {
      const std::string& t = T(cell);
      if (Contains(t, "d-mmm")) {
        F(kDayMonYear4, v, out);
      } else {
        out.append(t);
      }
      return false;
    }
    case 41: {
      const std::string& t = T(cell);
      if (negative) {
        AppendStripped(out, t);
      } else {
        out.append(t);
      }
      return negative;
    }
    case 42: {
      const std::string& t = T(cell);
      if (Contains(t, "mmm")) {
        F(kDayMon, v, out);
      } else if (Contains(t, "m/")) {
        F(kDateTimeShort, v, out);
      } else {
        out.append(t);
      }
      return false;
    }
    case 43: {
      const std::string& t = T(cell);
      if (Contains(t, "mmm")) {
        F(kDayMonYear, v, out);
        return false;
      }
      if (t.starts_with("[<=")) {
        F(kPhone, v, out);
        return false;
      }
      if (negative) {
        AppendStripped(out, t);
      } else {
        out.append(t);
      }
      return negative;
    }
    case 44:
    case 45: {
      const std::string& t = T(cell);
      if (Contains(t, "mmm")) {
        F(index == 44 ? kDayMonYear2 : kMonYear, v, out);
        return false;
      }
      if (negative) {
        out += '(';
        AppendStripped(out, t);
        out += ')';
      } else {
        out.append(t);
      }
      return index == 44 && negative;
    }
    case 46:
    case 47:
    case 53: {
      const std::string& t = T(cell);
      if (Contains(t, "mmm")) {
        F(index == 46 ? kMonthYear : index == 47 ? kMonthDayYear : kDayMonYear4, v, out);
      } else {
        out.append(t);
      }
      return false;
    }
    case 48: {
      const std::string& t = T(cell);
      if (Contains(t, "m/d")) {
        F(kDateTimeShort, v, out);
      } else {
        out.append(t);
      }
      return false;
    }
    case 50:
    case 51: {
      const std::string& t = T(cell);
      if (!Contains(t, "mmm")) {
        out.append(t);
        return false;
      }
      scratch_.clear();
      F(kMon, v, scratch_);
      out.append(FirstCharacter(scratch_));
      if (index == 51) {
        out += '-';
        F(kYear2, v, out);
      }
      return false;
    }
    default:
      out.append(T(cell));
      return false;
  }
}

void CellValueFormatter::FormatDate(const ReaderCell& cell, double v, std::string& out) {
  switch (static_cast<int16_t>(cell.NumberFormatIndex())) {
    case 38:
    case 39:
    case 40:
    case 41:
    case 49:
      out.append(T(cell));
      return;
    case 15:
      F(kDayMonYear, v, out);
      return;
    case 16:
      F(kDayMon, v, out);
      return;
    case 17:
      F(kMonYear, v, out);
      return;
    case 18:
      F(kTime12, v, out);
      return;
    case 19:
      F(kTime12Sec, v, out);
      return;
    case 20:
      F(kTime, v, out);
      return;
    case 21:
      F("h:mm:ss", v, out);
      return;
    case 22:
      F("m/d/yyyy h:mm", v, out);
      return;
    case 32:
    case 34:
      F("mm:ss", v, out);
      return;
    case 33:
      F("ss.0", v, out);
      return;
    default:
      AppendGeneralDate(out, v);
      return;
  }
}

}  // namespace gridwell::conv
