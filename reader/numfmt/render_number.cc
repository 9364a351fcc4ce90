// Rendering of numbers by a number section: digit placeholders, grouping, scaling,
// scientific form and fractions. Works on decimal digits (15 significant, as spreadsheets
// keep a value), so that rounding happens on the decimal form: 2.675 by "0.00" is 2.68.
#include <cmath>

#include "reader/numfmt/format_code.h"
#include "reader/numfmt/general.h"

namespace gridwell::numfmt {
namespace {

// The integer digits of a rounded decimal: len digits, the leftmost first.
struct IntDigits {
  const Decimal* d;
  int len;
  char At(int i) const { return d->At(i); }
};

void AppendSeparatorAfter(int position, const Section& s, const RegionalSettings& rs,
                          std::string& out) {
  if (s.grouping && position > 0 && position % 3 == 0) out.append(rs.thousandsSeparator);
}

// One integer placeholder. Digits fill the placeholders from the right; the leftmost
// placeholder also shows every digit the others have no room for.
void EmitInt(const Token& tok, int count, const IntDigits& digits, const Section& s,
             const RegionalSettings& rs, std::string& out) {
  int p = count - 1 - static_cast<int>(tok.idx);  // position from the right, 0 = units
  if (tok.idx == 0) {
    for (int q = digits.len - 1; q >= count; --q) {
      out.push_back(digits.At(digits.len - 1 - q));
      AppendSeparatorAfter(q, s, rs, out);
    }
  }
  if (p < digits.len) {
    out.push_back(digits.At(digits.len - 1 - p));
    AppendSeparatorAfter(p, s, rs, out);
  } else if (tok.ch == '0') {
    out.push_back('0');
    AppendSeparatorAfter(p, s, rs, out);
  } else if (tok.ch == '?') {
    // A padding space stands for the digit and for the separator after it.
    out.push_back(' ');
    if (s.grouping && p > 0 && p % 3 == 0) out.push_back(' ');
  }
}

// All integer digits at once, for sections without integer placeholders (".00").
void EmitAllInt(const IntDigits& digits, const Section& s, const RegionalSettings& rs,
                std::string& out) {
  for (int q = digits.len - 1; q >= 0; --q) {
    out.push_back(digits.At(digits.len - 1 - q));
    AppendSeparatorAfter(q, s, rs, out);
  }
}

// Fraction placeholder j shows digit j when a significant digit remains from there on;
// otherwise '0' shows 0, '?' a space and '#' nothing.
void EmitFrac(const Token& tok, const Decimal& d, std::string& out) {
  int j = static_cast<int>(tok.idx);
  if (j < d.n - d.exp) {
    out.push_back(d.At(d.exp + j));
  } else if (tok.ch == '0') {
    out.push_back('0');
  } else if (tok.ch == '?') {
    out.push_back(' ');
  }
}

// Writes a section's tokens for the decimal `d`: the whole number, or the mantissa of a
// scientific section when `exponent` points at its power of ten.
void EmitTokens(double v, const Section& s, const RegionalSettings& rs, const Decimal& d,
                const int* exponent, std::string& out) {
  IntDigits digits{&d, d.n > 0 && d.exp > 0 ? d.exp : 0};
  for (const Token& tok : s.tokens) {
    switch (tok.kind) {
      case TokKind::Literal:
        out.append(tok.text);
        break;
      case TokKind::Digit:
        if (tok.zone == Zone::Int) {
          EmitInt(tok, s.nInt, digits, s, rs, out);
        } else if (!exponent || tok.zone == Zone::Frac) {
          EmitFrac(tok, d, out);
        } else if (tok.idx == 0) {
          AppendUnsigned(static_cast<uint64_t>(*exponent < 0 ? -*exponent : *exponent), s.expDigits,
                         out);
        }
        break;
      case TokKind::Point:
        if (s.nInt == 0) EmitAllInt(digits, s, rs, out);
        out.append(rs.decimalSeparator);
        break;
      case TokKind::Exponent:
        if (!exponent) break;
        out.append(tok.text);
        if (*exponent < 0) {
          out.push_back('-');
        } else if (tok.n) {
          out.push_back('+');
        }
        break;
      case TokKind::At:
        AppendGeneral(v, rs.decimalSeparator, out);
        break;
      default:
        break;
    }
  }
}

void RenderPlain(double v, const Section& s, const RegionalSettings& rs, std::string& out) {
  Decimal d;
  ToDecimal(v, d);
  if (d.n > 0) d.exp += s.scale10;
  d.RoundToFraction(s.nFrac);
  EmitTokens(v, s, rs, d, nullptr, out);
}

int FloorDiv(int a, int b) {
  return a >= 0 ? a / b : -((-a + b - 1) / b);
}

void RenderScientific(double v, const Section& s, const RegionalSettings& rs, std::string& out) {
  Decimal m;
  ToDecimal(v, m);
  int k = s.nInt > 0 ? s.nInt : 1;
  int e = 0;
  if (m.n > 0) {
    m.exp += s.scale10;
    // The exponent is a multiple of the number of integer placeholders ("##0.0E+0" is the
    // engineering form); the mantissa keeps 1 to k integer digits.
    e = FloorDiv(m.exp - 1, k) * k;
    m.exp -= e;
    m.RoundToFraction(s.nFrac);
    if (m.exp > k) {
      m.exp -= k;
      e += k;
    }
  }
  EmitTokens(v, s, rs, m, &e, out);
}

double RoundHalfAway(double x) {
  return std::floor(x + 0.5);
}

// The fraction nearest to x (0 <= x) with a denominator of at most maxDen; the smaller
// denominator wins a tie. It is the last continued-fraction convergent within the bound,
// or the semiconvergent past it with the largest denominator allowed, whichever is closer.
// Numerator and denominator are whole numbers kept in doubles.
void BestFraction(double x, double maxDen, double& num, double& den) {
  double p0 = 0, q0 = 1, p1 = 1, q1 = 0, y = x;
  for (int i = 0; i < 64; ++i) {
    double a = std::floor(y);
    double p2 = a * p1 + p0, q2 = a * q1 + q0;
    if (q2 > maxDen) {
      double t = std::floor((maxDen - q0) / q1);
      double ps = t * p1 + p0, qs = t * q1 + q0;
      if (std::fabs(x - ps / qs) < std::fabs(x - p1 / q1) - 1e-12) {
        p1 = ps;
        q1 = qs;
      }
      break;
    }
    p0 = p1;
    q0 = q1;
    p1 = p2;
    q1 = q2;
    double rest = y - a;
    if (rest < 1e-9) break;
    y = 1 / rest;
  }
  num = p1;
  den = q1;
}

void SetDigits(Decimal& d, double whole) {
  ToDecimal(whole, d);
  if (d.n == 0) {
    d.d[0] = '0';
    d.n = 1;
    d.exp = 1;
  }
}

// The placeholders of a fraction section that decide how parts it hides show.
struct FractionPlaceholders {
  bool zeroWhole = false, zeroNum = false, zeroDen = false;              // a '0' in that part
  bool questionWhole = false, questionNum = false, questionAny = false;  // a '?'
};

FractionPlaceholders PlaceholdersOf(const Section& s) {
  FractionPlaceholders p;
  for (const Token& tok : s.tokens) {
    p.zeroNum = p.zeroNum || (tok.zone == Zone::Num && tok.ch == '0');
    p.zeroDen = p.zeroDen || (tok.zone == Zone::Den && tok.ch == '0');
    if (tok.kind != TokKind::Digit) continue;
    p.questionWhole = p.questionWhole || (tok.zone == Zone::Int && tok.ch == '?');
    p.questionNum = p.questionNum || (tok.zone == Zone::Num && tok.ch == '?');
    p.questionAny = p.questionAny || tok.ch == '?';
    p.zeroWhole = p.zeroWhole || (tok.zone == Zone::Int && tok.ch == '0');
  }
  return p;
}

// The value as a whole part and num/den, by the section's fixed denominator or the best
// one of as many digits as it allows.
void SplitFraction(double v, const Section& s, double& whole, double& num, double& den) {
  if (s.scale10 != 0) v *= std::pow(10.0, s.scale10);
  // From 15 digits on a value has no fraction left to show.
  if (v >= 1e15) v = std::floor(v);
  whole = 0;
  double f = v;
  if (s.nInt > 0) {
    whole = std::floor(v);
    f = v - whole;
  }
  num = 0;
  den = 1;
  if (s.fixedDen > 0) {
    den = s.fixedDen;
    num = RoundHalfAway(f * den);
  } else if (f >= 1e15) {
    num = f;
  } else {
    double maxDen = 1;
    for (int i = 0; i < s.nDen && i < 9; ++i) maxDen *= 10;
    BestFraction(f, maxDen > 1 ? maxDen - 1 : 1, num, den);
  }
  if (s.nInt > 0 && num >= den) {
    whole += std::floor(num / den);
    num = std::fmod(num, den);
  }
}

// Writes a fraction section's tokens once the value's parts are known.
class FractionWriter {
 public:
  FractionWriter(double v, const Section& s, const RegionalSettings& rs)
      : s_(s), rs_(rs), p_(PlaceholdersOf(s)) {
    double whole, num, den;
    SplitFraction(v, s, whole, num, den);
    // With a whole-number part, a fraction of zero shows as blanks of the same width
    // unless the numerator asks for a zero digit; the whole part then shows at least one
    // digit.
    blank_ = s.nInt > 0 && num == 0 && !p_.zeroNum;
    // A whole part of zero that shows no digit takes the text after it along.
    // A zero value written with a zero numerator still shows a '?' whole part as 0.
    const bool zeroShown = num == 0 && p_.questionWhole;
    wholeHidden_ = s.nInt > 0 && whole == 0 && !blank_ && !p_.zeroWhole && !zeroShown;
    if (num == 0) den = 1;
    ToDecimal(whole, w_);
    if (blank_ || zeroShown) SetDigits(w_, whole);
    // Without a whole-number part zero shows as 0/1.
    SetDigits(n_, num);
    SetDigits(d_, den);
  }

  void Write(std::string& out) const {
    for (const Token& tok : s_.tokens) {
      switch (tok.kind) {
        case TokKind::Literal:
          if (blank_ && tok.zone != Zone::None) {
            if (p_.questionAny) out.append(tok.text.size(), ' ');
          } else if (wholeHidden_ && tok.zone == Zone::Frac) {
            if (p_.questionNum || p_.questionWhole) out.append(tok.text.size(), ' ');
          } else {
            out.append(tok.text);
          }
          break;
        case TokKind::Digit:
          Digit(tok, out);
          break;
        case TokKind::Slash:
          if (!blank_) {
            out.push_back('/');
          } else if (p_.questionAny) {
            out.push_back(' ');
          }
          break;
        case TokKind::FixedDen:
          if (!blank_) {
            out.append(tok.text);
          } else if (p_.questionAny) {
            out.append(tok.text.size(), ' ');
          }
          break;
        default:
          break;
      }
    }
  }

 private:
  void Digit(const Token& tok, std::string& out) const {
    if (tok.zone == Zone::Int) {
      EmitInt(tok, s_.nInt, IntDigits{&w_, w_.n > 0 ? w_.exp : 0}, s_, rs_, out);
    } else if (blank_) {
      if (p_.questionAny) out.push_back(' ');
    } else if (tok.zone == Zone::Num) {
      EmitInt(tok, s_.nNum, IntDigits{&n_, n_.exp}, plain_, rs_, out);
    } else if (p_.zeroDen) {
      // With '0' placeholders the denominator is zero-padded like a whole number.
      EmitInt(tok, s_.nDen, IntDigits{&d_, d_.exp}, plain_, rs_, out);
    } else if (tok.idx == 0) {
      // The denominator is left-aligned: its digits first, then the padding.
      for (int i = 0; i < d_.exp; ++i) out.push_back(d_.At(i));
    } else if (static_cast<int>(tok.idx) >= d_.exp && tok.ch != '#') {
      out.push_back(tok.ch == '?' ? ' ' : '0');
    }
  }

  const Section& s_;
  const RegionalSettings& rs_;
  const FractionPlaceholders p_;
  const Section plain_;  // numerators and denominators are never grouped
  bool blank_ = false, wholeHidden_ = false;
  Decimal w_, n_, d_;  // the whole part, numerator and denominator
};

void RenderFraction(double v, const Section& s, const RegionalSettings& rs, std::string& out) {
  FractionWriter(v, s, rs).Write(out);
}

}  // namespace

void AppendUnsigned(uint64_t v, int minDigits, std::string& out) {
  char buf[24];
  int k = 0;
  do {
    buf[k++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v > 0 && k < 24);
  while (k < minDigits && k < 24) buf[k++] = '0';
  for (int i = minDigits - 24; i > 0; --i) out.push_back('0');
  while (k > 0) out.push_back(buf[--k]);
}

void RenderNumber(double v, const Section& s, const RegionalSettings& rs, std::string& out) {
  if (s.kind == SectionKind::General || s.kind == SectionKind::Text) {
    bool shown = false;
    for (const Token& tok : s.tokens) {
      if (tok.kind == TokKind::Literal && s.kind == SectionKind::General) {
        out.append(tok.text);
      } else if (tok.kind == TokKind::General || tok.kind == TokKind::At) {
        if (!shown) AppendGeneral(v, rs.decimalSeparator, out);
        shown = true;
      }
    }
    return;
  }
  if (s.scientific) {
    RenderScientific(v, s, rs, out);
  } else if (s.fraction) {
    RenderFraction(v, s, rs, out);
  } else {
    RenderPlain(v, s, rs, out);
  }
}

}  // namespace gridwell::numfmt
