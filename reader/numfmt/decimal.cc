// Decimal digits of a double as spreadsheets keep them: 15 significant digits.
#include <charconv>
#include <cmath>

#include "reader/numfmt/format_code.h"

namespace gridwell::numfmt {
namespace {

// Reads "d.ddde+XX" as written by std::to_chars in scientific form.
void ReadScientific(const char* p, const char* end, Decimal& out) {
  out.n = 0;
  int e = 0;
  bool neg = false;
  for (; p < end && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9' && out.n < static_cast<int>(sizeof out.d)) out.d[out.n++] = *p;
  }
  if (p < end) ++p;
  if (p < end && (*p == '-' || *p == '+')) neg = *p++ == '-';
  for (; p < end; ++p) e = e * 10 + (*p - '0');
  out.exp = (neg ? -e : e) + 1;
  while (out.n > 0 && out.d[out.n - 1] == '0') --out.n;
  if (out.n == 0) out.exp = 0;
}

}  // namespace

void ToDecimal(double v, Decimal& out) {
  out.n = 0;
  out.exp = 0;
  if (!(v > 0) || !std::isfinite(v)) return;
  char buf[48];
  // The shortest form that reads back as v: when it has at most 15 digits it is also v
  // rounded to 15 digits, since v lies far closer to it than half a unit of the 15th digit.
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
  ReadScientific(buf, r.ptr, out);
  if (out.n <= 15) return;
  r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
  ReadScientific(buf, r.ptr, out);
}

void Decimal::RoundToFraction(int frac) {
  int keep = exp + frac;
  if (keep >= n) return;
  if (keep < 0) {
    n = 0;
    exp = 0;
    return;
  }
  bool up = d[keep] >= '5';
  n = keep;
  if (up) {
    int i = n - 1;
    while (i >= 0 && d[i] == '9') --i;
    if (i < 0) {
      d[0] = '1';
      n = 1;
      ++exp;
      return;
    }
    ++d[i];
    n = i + 1;
  }
  while (n > 0 && d[n - 1] == '0') --n;
  if (n == 0) exp = 0;
}

}  // namespace gridwell::numfmt
