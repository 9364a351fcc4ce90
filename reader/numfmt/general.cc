// The General format: a number as a spreadsheet shows it in a column wide enough for 11
// characters (the sign not counted). Plain form when it fits (rounded to what fits),
// scientific form otherwise.
#include <cmath>

#include "reader/numfmt/format_code.h"
#include "reader/numfmt/general.h"

namespace gridwell::numfmt {
namespace {

constexpr int kWidth = 11;

void AppendPlain(const Decimal& d, std::string_view point, std::string& out) {
  if (d.exp <= 0) {
    out.push_back('0');
  } else {
    for (int i = 0; i < d.exp; ++i) out.push_back(d.At(i));
  }
  if (d.n > d.exp) {
    out.append(point);
    for (int i = d.exp; i < d.n; ++i) out.push_back(d.At(i));
  }
}

int DigitCount(int v) {
  int c = 1;
  while (v >= 10) {
    v /= 10;
    ++c;
  }
  return c;
}

// Scientific form "d.dddddE+XX" in kWidth characters.
Decimal RoundScientific(const Decimal& d) {
  Decimal s = d;
  int e = d.exp - 1;
  int expDigits = DigitCount(e < 0 ? -e : e);
  if (expDigits < 2) expDigits = 2;
  int mantissaDecimals = kWidth - 4 - expDigits;
  s.RoundToFraction(mantissaDecimals + 1 - s.exp);
  return s;
}

void AppendScientific(const Decimal& s, std::string_view point, std::string& out) {
  out.push_back(s.At(0));
  if (s.n > 1) {
    out.append(point);
    for (int i = 1; i < s.n; ++i) out.push_back(s.d[i]);
  }
  int e = s.exp - 1;
  out.push_back('E');
  out.push_back(e < 0 ? '-' : '+');
  if (e < 0) e = -e;
  char buf[8];
  int k = 0;
  do {
    buf[k++] = static_cast<char>('0' + e % 10);
    e /= 10;
  } while (e > 0);
  if (k < 2) buf[k++] = '0';
  while (k > 0) out.push_back(buf[--k]);
}

}  // namespace

void AppendGeneral(double value, std::string_view point, std::string& out) {
  if (std::isnan(value) || std::isinf(value)) {
    out.append("#NUM!");
    return;
  }
  if (value < 0) {
    out.push_back('-');
    value = -value;
  }
  Decimal d;
  ToDecimal(value, d);
  if (d.n == 0) {
    out.push_back('0');
    return;
  }
  if (d.exp > kWidth) {
    AppendScientific(RoundScientific(d), point, out);
    return;
  }
  if (d.exp >= 1) {
    Decimal p = d;
    p.RoundToFraction(d.exp >= kWidth - 1 ? 0 : kWidth - 1 - d.exp);
    if (p.exp > kWidth) {
      AppendScientific(RoundScientific(d), point, out);
    } else {
      AppendPlain(p, point, out);
    }
    return;
  }
  // Below 1 the plain form has 9 decimals; it stands unless the scientific form keeps
  // more significant digits (0.000000001 stays plain, 0.000012345678 becomes 1.23457E-05).
  Decimal p = d;
  p.RoundToFraction(kWidth - 2);
  Decimal s = RoundScientific(d);
  if (p.n == 0 || p.n < s.n) {
    AppendScientific(s, point, out);
  } else {
    AppendPlain(p, point, out);
  }
}

void GeneralNumber(double value, std::string& out) {
  AppendGeneral(value, ".", out);
}

std::string GeneralNumber(double value) {
  std::string s;
  AppendGeneral(value, ".", s);
  return s;
}

}  // namespace gridwell::numfmt
