#include "reader/xlsx/cell_values.h"

#include <charconv>
#include <cstddef>

namespace gridwell::xlsx {

namespace {

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool Digits(std::string_view s, size_t pos, size_t n, int& out) {
  if (pos + n > s.size()) return false;
  out = 0;
  for (size_t i = pos; i < pos + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    out = out * 10 + (s[i] - '0');
  }
  return true;
}

}  // namespace

bool ParseCellRef(std::string_view ref, int64_t& row, int64_t& col) {
  size_t i = 0;
  int64_t c = 0, r = 0;
  while (i < ref.size() && i < 4) {
    char ch = ref[i];
    if (ch >= 'A' && ch <= 'Z')
      c = c * 26 + (ch - 'A' + 1);
    else if (ch >= 'a' && ch <= 'z')
      c = c * 26 + (ch - 'a' + 1);
    else
      break;
    ++i;
  }
  if (i == 0) return false;
  size_t digits = 0;
  while (i < ref.size() && ref[i] >= '0' && ref[i] <= '9' && digits < 10) {
    r = r * 10 + (ref[i] - '0');
    ++i;
    ++digits;
  }
  if (digits == 0 || i != ref.size()) return false;
  row = r;
  col = c;
  return true;
}

bool ParseIsoDate(std::string_view t, bool date1904, double& serial) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
  double frac = 0;
  size_t pos = 0;
  bool haveDate = false;
  if (t.size() >= 10 && t[4] == '-' && t[7] == '-') {
    if (!Digits(t, 0, 4, y) || !Digits(t, 5, 2, mo) || !Digits(t, 8, 2, d)) return false;
    if (mo < 1 || mo > 12 || d < 1 || d > 31) return false;
    haveDate = true;
    pos = 10;
  }
  if (pos < t.size() && t[pos] == 'T') ++pos;
  if (pos < t.size() && t.size() - pos >= 5 && t[pos + 2] == ':') {
    if (!Digits(t, pos, 2, h) || !Digits(t, pos + 3, 2, mi)) return false;
    pos += 5;
    if (pos < t.size() && t[pos] == ':') {
      if (!Digits(t, pos + 1, 2, sec)) return false;
      pos += 3;
      if (pos < t.size() && t[pos] == '.') {
        size_t start = pos;
        ++pos;
        while (pos < t.size() && t[pos] >= '0' && t[pos] <= '9') ++pos;
        double f = 0;
        std::from_chars(t.data() + start, t.data() + pos, f);
        frac = f;
      }
    }
    if (h > 24 || mi > 59 || sec > 60) return false;
  }
  // A zone designator is ignored: cells hold local clock times.
  if (pos < t.size() && t[pos] != 'Z' && t[pos] != '+' && t[pos] != '-') return false;
  if (!haveDate && pos == 0) return false;
  double days = 0;
  if (haveDate) {
    int64_t n = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
    if (date1904) {
      days = static_cast<double>(n - DaysFromCivil(1904, 1, 1));
    } else {
      // The 1900 system counts a 29 February 1900 that never was: serials from 1 March
      // 1900 on are one day higher than a plain count from 31 December 1899.
      int64_t base = n >= DaysFromCivil(1900, 3, 1) ? DaysFromCivil(1899, 12, 30)
                                                    : DaysFromCivil(1899, 12, 31);
      days = static_cast<double>(n - base);
    }
    if (days < 0) return false;
  }
  serial = days + (h * 3600 + mi * 60 + sec + frac) / 86400.0;
  return true;
}

}  // namespace gridwell::xlsx
