#include "reader/base/date_serial.h"

#include <gtest/gtest.h>

namespace gridwell::base {
namespace {

TEST(DateSerial, DatesOfThe1900SystemWithItsLeapDay) {
  const struct {
    int64_t serial;
    int64_t year;
    int month, day, weekday;
  } cases[] = {
      {1, 1900, 1, 1, 0},
      {31, 1900, 1, 31, 2},
      {32, 1900, 2, 1, 3},
      {59, 1900, 2, 28, 2},
      {60, 1900, 2, 29, 3},
      {61, 1900, 3, 1, 4},
      {367, 1901, 1, 1, 2},
      {1462, 1904, 1, 1, 5},
      {25569, 1970, 1, 1, 4},
      {36585, 2000, 2, 29, 2},
      {45658, 2025, 1, 1, 3},
      {2958465, 9999, 12, 31, 5},
      {1000000000, 2739807, 1, 2, 5},
  };
  for (const auto& c : cases) {
    const CivilDate d = CivilFromSerial(c.serial);
    EXPECT_EQ(d.year, c.year) << c.serial;
    EXPECT_EQ(d.month, c.month) << c.serial;
    EXPECT_EQ(d.day, c.day) << c.serial;
    EXPECT_EQ(WeekdayOfSerial(c.serial), c.weekday) << c.serial;
    if (c.serial != 60) {
      EXPECT_EQ(SerialFromCivil(c.year, c.month, c.day, false), c.serial);
    }
  }
  const CivilDate zero = CivilFromSerial(0);
  EXPECT_EQ(zero.year * 10000 + zero.month * 100 + zero.day, 19000100);  // "January 0, 1900"
  EXPECT_EQ(SerialFromCivil(1899, 12, 31, false), 0);
  EXPECT_EQ(SerialFromCivil(1899, 12, 30, false), -1);
}

TEST(DateSerial, The1904SystemStartsOnItsOwnDayZero) {
  EXPECT_EQ(SerialFromCivil(1904, 1, 1, true), 0);
  EXPECT_EQ(SerialFromCivil(1904, 1, 2, true), 1);
  EXPECT_EQ(SerialFromCivil(1903, 12, 31, true), -1);
  EXPECT_EQ(SerialFromCivil(2025, 1, 1, true) + k1904Offset, SerialFromCivil(2025, 1, 1, false));
}

TEST(DateSerial, CivilDaysRoundTripAcrossErasAndSigns) {
  EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
  EXPECT_EQ(DaysFromCivil(1969, 12, 31), -1);
  EXPECT_EQ(DaysFromCivil(2000, 3, 1), 11017);
  for (int64_t days = -800000000; days <= 800000000; days += 7919 * 1009) {
    for (int64_t d = days; d < days + 800; ++d) {
      const CivilDate c = CivilFromDays(d);
      ASSERT_EQ(DaysFromCivil(c.year, c.month, c.day), d) << d;
      ASSERT_TRUE(c.month >= 1 && c.month <= 12 && c.day >= 1 && c.day <= 31) << d;
    }
  }
}

}  // namespace
}  // namespace gridwell::base
