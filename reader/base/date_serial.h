// Serial day numbers, the way workbooks store dates, and the calendar dates they stand for.
// Header-only, so that the fixture and sample generators can use it without the reader.
//
// The 1900 date system counts day 1 as 1 January 1900 and keeps the 29 February 1900 of
// early spreadsheet programs (serial 60), a day that never was: serials from 61 on are days
// since 30 December 1899, and serial 0 is "January 0, 1900". The 1904 date system counts
// day 0 as 1 January 1904, which is serial 1462 of the 1900 system.
#pragma once

#include <cstdint>

namespace gridwell::base {

inline constexpr int64_t k1904Offset = 1462;
inline constexpr int64_t kLastSerial = 2958465;  // 31 December 9999, 1900 system
inline constexpr int64_t kSerialOf1970 = 25569;  // 1 January 1970, 1900 system

struct CivilDate {
  int64_t year = 1900;
  int month = 1;  // 1..12
  int day = 0;    // 1..31; 0 only for serial 0 of the 1900 system
};

// Days since 1 January 1970 of a date of the proleptic Gregorian calendar, for any year:
// era arithmetic over 400-year cycles of 146097 days, with years counted from March so that
// the leap day is the last day of its year.
constexpr int64_t DaysFromCivil(int64_t year, int month, int day) {
  const int64_t y = year - (month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The date of a count of days since 1 January 1970, the inverse of DaysFromCivil.
constexpr CivilDate CivilFromDays(int64_t days) {
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  CivilDate c;
  c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  c.year = yoe + era * 400 + (c.month <= 2 ? 1 : 0);
  return c;
}

// The serial of a calendar date in the 1900 or the 1904 system; negative for a date before
// the system's day 0.
constexpr int64_t SerialFromCivil(int64_t year, int month, int day, bool date1904) {
  const int64_t n = DaysFromCivil(year, month, day);
  if (date1904) return n - DaysFromCivil(1904, 1, 1);
  // Serials from 1 March 1900 on are one higher than a plain count from 31 December 1899.
  return n - DaysFromCivil(1899, 12, n >= DaysFromCivil(1900, 3, 1) ? 30 : 31);
}

// The calendar date of a 1900-system serial 0 or more (add k1904Offset to a 1904 serial
// first), with 0 and 60 as that system counts them.
constexpr CivilDate CivilFromSerial(int64_t serial) {
  if (serial <= 0) return CivilDate{};
  if (serial < 60) {
    return serial <= 31 ? CivilDate{1900, 1, static_cast<int>(serial)}
                        : CivilDate{1900, 2, static_cast<int>(serial - 31)};
  }
  if (serial == 60) return CivilDate{1900, 2, 29};
  return CivilFromDays(serial - kSerialOf1970);
}

// 0 for Sunday to 6 for Saturday, of a 1900-system serial 0 or more (serial 1 was a Sunday
// in that system's reckoning).
constexpr int WeekdayOfSerial(int64_t serial) {
  return static_cast<int>((serial + 6) % 7);
}

}  // namespace gridwell::base
