// Dates and times: serial day numbers to calendar parts (reader/base/date_serial.h says how
// the two date systems count), and rendering by a date section.
#include <cmath>
#include <cstdint>

#include "reader/base/date_serial.h"
#include "reader/numfmt/format_code.h"

namespace gridwell::numfmt {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
using base::k1904Offset;
using base::kLastSerial;

struct Civil {
  int year, month, day, weekday;
};

Civil CivilFromSerial1900(int64_t serial) {
  const base::CivilDate d = base::CivilFromSerial(serial);
  return {static_cast<int>(d.year), d.month, d.day, base::WeekdayOfSerial(serial)};
}

struct Split {
  Civil date;
  int64_t totalSeconds;  // whole seconds since serial 0
  int secondOfDay;
  int64_t sub;  // fraction of the second in units of 10^-subDigits
};

// Rounds to the finest unit shown (a second, or 10^-subDigits of one); the carry runs into
// minutes, hours and the day.
bool SplitSerial(double v, bool date1904, int subDigits, Split& out) {
  int64_t last = date1904 ? kLastSerial - k1904Offset : kLastSerial;
  if (!(v >= 0) || v >= static_cast<double>(last + 1)) return false;
  int64_t scale = 1;
  for (int i = 0; i < subDigits; ++i) scale *= 10;
  int64_t units = std::llround(v * static_cast<double>(kSecondsPerDay * scale));
  int64_t day = units / (kSecondsPerDay * scale);
  if (day > last) return false;
  int64_t rem = units % (kSecondsPerDay * scale);
  out.totalSeconds = units / scale;
  out.secondOfDay = static_cast<int>(rem / scale);
  out.sub = rem % scale;
  out.date = CivilFromSerial1900(date1904 ? day + k1904Offset : day);
  return true;
}

// Calendar and clock fields are never negative.
void AppendNumber(int64_t v, int width, std::string& out) {
  AppendUnsigned(static_cast<uint64_t>(v), width, out);
}

void AppendFirstCodePoint(std::string_view s, std::string& out) {
  if (s.empty()) return;
  size_t len = 1;
  while (len < s.size() && (static_cast<unsigned char>(s[len]) & 0xC0) == 0x80) ++len;
  out.append(s.substr(0, len));
}

// Year, month and day tokens; false for any other token.
bool AppendDatePart(const Token& tok, const Civil& c, const RegionalSettings& rs,
                    std::string& out) {
  switch (tok.kind) {
    case TokKind::Year:
      if (tok.n == 2) {
        AppendNumber(c.year % 100, 2, out);
      } else {
        AppendNumber(c.year, 4, out);
      }
      return true;
    case TokKind::Month:
      if (tok.n == 1 || tok.n == 2) {
        AppendNumber(c.month, tok.n, out);
      } else if (tok.n == 3) {
        out.append(rs.monthAbbrevs[c.month - 1]);
      } else if (tok.n == 5) {
        AppendFirstCodePoint(rs.monthNames[c.month - 1], out);
      } else {
        out.append(rs.monthNames[c.month - 1]);
      }
      return true;
    case TokKind::Day:
      if (tok.n == 1 || tok.n == 2) {
        AppendNumber(c.day, tok.n, out);
      } else if (tok.n == 3) {
        out.append(rs.dayAbbrevs[c.weekday]);
      } else {
        out.append(rs.dayNames[c.weekday]);
      }
      return true;
    default:
      return false;
  }
}

// Hour, minute, second and AM/PM tokens, on the clock or as elapsed time.
void AppendTimePart(const Token& tok, const Section& s, const Split& sp, const RegionalSettings& rs,
                    std::string& out) {
  const int hour = sp.secondOfDay / 3600;
  switch (tok.kind) {
    case TokKind::Hour: {
      if (s.elapsedHours) {
        AppendNumber(sp.totalSeconds / 3600, tok.n, out);
        break;
      }
      int h = hour;
      if (s.hasAmPm) {
        h %= 12;
        if (h == 0) h = 12;
      }
      AppendNumber(h, tok.n, out);
      break;
    }
    case TokKind::Minute:
      AppendNumber(s.elapsedMinutes ? sp.totalSeconds / 60 : sp.secondOfDay / 60 % 60, tok.n, out);
      break;
    case TokKind::Second:
      AppendNumber(s.elapsedSeconds ? sp.totalSeconds : sp.secondOfDay % 60, tok.n, out);
      break;
    case TokKind::SubSecond: {
      int64_t digits = sp.sub;
      for (int i = tok.n; i < s.subDigits; ++i) digits /= 10;
      out.append(rs.decimalSeparator);
      AppendNumber(digits, tok.n, out);
      break;
    }
    case TokKind::ElapsedHour:
      AppendNumber(sp.totalSeconds / 3600, tok.n, out);
      break;
    case TokKind::ElapsedMinute:
      AppendNumber(sp.totalSeconds / 60, tok.n, out);
      break;
    case TokKind::ElapsedSecond:
      AppendNumber(sp.totalSeconds, tok.n, out);
      break;
    case TokKind::AmPm:
      out.append(hour < 12 ? rs.am : rs.pm);
      break;
    case TokKind::AP:
      out.push_back(tok.text[hour < 12 ? 0 : 1]);
      break;
    default:
      break;
  }
}

}  // namespace

bool SerialToDateTime(double serial, bool date1904, DateTime& out) {
  Split sp;
  if (!SplitSerial(serial, date1904, 3, sp)) return false;
  out.year = sp.date.year;
  out.month = sp.date.month;
  out.day = sp.date.day;
  out.weekday = sp.date.weekday;
  out.hour = sp.secondOfDay / 3600;
  out.minute = sp.secondOfDay / 60 % 60;
  out.second = sp.secondOfDay % 60;
  out.subsecond = static_cast<double>(sp.sub) / 1000.0;
  return true;
}

bool RenderDate(double v, const Section& s, const RegionalSettings& rs, bool date1904,
                std::string& out) {
  Split sp;
  if (!SplitSerial(v, date1904, s.subDigits, sp)) return false;
  for (const Token& tok : s.tokens) {
    if (tok.kind == TokKind::Literal) {
      out.append(tok.text);
    } else if (tok.kind == TokKind::DateSep) {
      out.append(rs.dateSeparator);
    } else if (tok.kind == TokKind::TimeSep) {
      out.append(rs.timeSeparator);
    } else if (!AppendDatePart(tok, sp.date, rs, out)) {
      AppendTimePart(tok, s, sp, rs, out);
    }
  }
  return true;
}

}  // namespace gridwell::numfmt
