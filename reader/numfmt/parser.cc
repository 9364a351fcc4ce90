// Parsing of number-format codes into sections of tokens.
//
// A code has up to four sections separated by ';' (positive; negative; zero; text). Each
// section is first split into tokens without knowing its kind; a section that holds a
// date or time token is a date section, and the tokens that mean something else in a
// date ('.', '0', '/', ',') are then resolved for that kind.
#include <charconv>
#include <cstring>

#include "reader/base/ascii.h"
#include "reader/numfmt/format_code.h"

namespace gridwell::numfmt {
namespace {

constexpr int kMaxScale = 400;

using base::StartsWithNoCase;

// Length of the UTF-8 sequence starting at s[i], kept inside s.
size_t CodePointLength(std::string_view s, size_t i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
  return len <= s.size() - i ? len : s.size() - i;
}

bool IsDateKind(TokKind k) {
  switch (k) {
    case TokKind::Year:
    case TokKind::Month:
    case TokKind::Day:
    case TokKind::Hour:
    case TokKind::Minute:
    case TokKind::Second:
    case TokKind::AmPm:
    case TokKind::AP:
    case TokKind::ElapsedHour:
    case TokKind::ElapsedMinute:
    case TokKind::ElapsedSecond:
      return true;
    default:
      return false;
  }
}

class SectionParser {
 public:
  SectionParser(std::string_view src, Section& s) : src_(src), s_(s) {}

  void Run() {
    Tokenize();
    Classify();
    if (s_.kind == SectionKind::Date) {
      ResolveDate();
    } else {
      ResolveNumber();
    }
  }

 private:
  void AddLiteral(std::string_view text) {
    if (text.empty()) return;
    auto& t = s_.tokens;
    if (!t.empty() && t.back().kind == TokKind::Literal) {
      t.back().text.append(text);
      return;
    }
    Token tok;
    tok.text = std::string(text);
    t.push_back(std::move(tok));
  }

  void Add(TokKind kind, uint8_t n = 0, char ch = 0) {
    Token tok;
    tok.kind = kind;
    tok.n = n;
    tok.ch = ch;
    s_.tokens.push_back(std::move(tok));
  }

  void Bracket(std::string_view in) {
    if (in.empty()) return;
    char c0 = in[0];
    if (c0 == '$') {
      // [$EUR-407]: the text before '-' is a currency string, the rest a locale id.
      std::string_view rest = in.substr(1);
      AddLiteral(rest.substr(0, rest.find('-')));
      return;
    }
    if (c0 == '<' || c0 == '>' || c0 == '=') {
      Condition(in);
      return;
    }
    char l = base::ToLowerAscii(c0);
    if (l == 'h' || l == 'm' || l == 's') {
      bool same = true;
      for (char c : in) same = same && base::ToLowerAscii(c) == l;
      if (same) {
        uint8_t n = static_cast<uint8_t>(in.size() > 9 ? 9 : in.size());
        Add(l == 'h'   ? TokKind::ElapsedHour
            : l == 'm' ? TokKind::ElapsedMinute
                       : TokKind::ElapsedSecond,
            n);
        return;
      }
    }
    int64_t color = ColorByName(in);
    if (color >= 0) {
      if (s_.color < 0) s_.color = color;
      return;
    }
    // Anything else ([DBNum1], [$-x-sysdate] variants, ...) changes nothing here.
  }

  void Condition(std::string_view in) {
    CondOp op;
    size_t k = 1;
    if (in.substr(0, 2) == "<=") {
      op = CondOp::Le, k = 2;
    } else if (in.substr(0, 2) == ">=") {
      op = CondOp::Ge, k = 2;
    } else if (in.substr(0, 2) == "<>") {
      op = CondOp::Ne, k = 2;
    } else if (in[0] == '<') {
      op = CondOp::Lt;
    } else if (in[0] == '>') {
      op = CondOp::Gt;
    } else {
      op = CondOp::Eq;
    }
    while (k < in.size() && in[k] == ' ') ++k;
    double v = 0;
    auto r = std::from_chars(in.data() + k, in.data() + in.size(), v);
    if (r.ec != std::errc()) return;
    if (s_.cond == CondOp::None) {
      s_.cond = op;
      s_.condValue = v;
    }
  }

  // Splits the section's code into tokens: each step below takes what it knows at `i`
  // and moves past it; anything else is one literal character.
  void Tokenize() {
    size_t i = 0;
    while (i < src_.size()) {
      if (Quoted(i) || Symbol(i) || Word(i) || DateTimeRun(i)) continue;
      const size_t len = CodePointLength(src_, i);
      AddLiteral(src_.substr(i, len));
      i += len;
    }
  }

  // Quoted text, escaped characters, spacing and fill characters, and bracketed parts.
  bool Quoted(size_t& i) {
    const std::string_view s = src_;
    // The character after a one-character escape, if any.
    const size_t next = i + 1 < s.size() ? CodePointLength(s, i + 1) : 0;
    switch (s[i]) {
      case '"': {
        size_t end = s.find('"', i + 1);
        if (end == s.npos) end = s.size();
        AddLiteral(s.substr(i + 1, end - i - 1));
        i = end + 1;
        return true;
      }
      case '\\':
      case '!':
        if (next) AddLiteral(s.substr(i + 1, next));
        i += 1 + next;
        return true;
      case '_':
        // A space as wide as the next character; one plain space here.
        AddLiteral(" ");
        i += 1 + next;
        return true;
      case '*':
        // Repeat the next character to fill the cell: a page has no cell width to fill,
        // so the fill shows nothing (as the worksheet TEXT function does).
        i += 1 + next;
        return true;
      case '[': {
        const size_t end = s.find(']', i + 1);
        if (end == s.npos) {
          AddLiteral(s.substr(i));  // the rest of the code is text
          i = s.size();
          return true;
        }
        Bracket(s.substr(i + 1, end - i - 1));
        i = end + 1;
        return true;
      }
      default:
        return false;
    }
  }

  // Digit placeholders and the one-character symbols of number formats.
  bool Symbol(size_t& i) {
    const char c = src_[i];
    switch (c) {
      case '0':
      case '#':
      case '?':
        Add(TokKind::Digit, 0, c);
        break;
      case '.':
        Add(TokKind::Point);
        break;
      case ',':
        Add(TokKind::Comma);
        break;
      case '%':
        Add(TokKind::Percent);
        break;
      case ':':
        Add(TokKind::TimeSep);
        break;
      case '@':
        Add(TokKind::At);
        break;
      case '/':
        Add(TokKind::Slash);
        ++i;
        FixedDenominator(i);
        return true;
      default:
        return false;
    }
    ++i;
    return true;
  }

  // A written denominator after the slash: "/100".
  void FixedDenominator(size_t& i) {
    const std::string_view s = src_;
    size_t k = i;
    if (k >= s.size() || s[k] < '1' || s[k] > '9') return;
    while (k < s.size() && s[k] >= '0' && s[k] <= '9') ++k;
    if (k - i > 6) return;
    Token tok;
    tok.kind = TokKind::FixedDen;
    tok.text = std::string(s.substr(i, k - i));
    s_.tokens.push_back(std::move(tok));
    i = k;
  }

  // Exponents, "General", AM/PM markers and the era runs of East Asian dates.
  bool Word(size_t& i) {
    const std::string_view s = src_;
    const char c = s[i];
    if ((c == 'E' || c == 'e') && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-')) {
      Token tok;
      tok.kind = TokKind::Exponent;
      tok.n = s[i + 1] == '+' ? 1 : 0;
      tok.text = std::string(1, c);
      s_.tokens.push_back(std::move(tok));
      i += 2;
      return true;
    }
    if ((c == 'G' || c == 'g') && StartsWithNoCase(s.substr(i), "general")) {
      Add(TokKind::General);
      i += 7;
      return true;
    }
    if (c == 'e' || c == 'g') {
      Era(c == 'e' ? TokKind::EraYear : TokKind::EraName, i);
      return true;
    }
    if ((c == 'A' || c == 'a') && StartsWithNoCase(s.substr(i), "am/pm")) {
      Add(TokKind::AmPm);
      i += 5;
      return true;
    }
    if ((c == 'A' || c == 'a') && StartsWithNoCase(s.substr(i), "a/p")) {
      Token tok;
      tok.kind = TokKind::AP;
      tok.text = {s[i], s[i + 2]};
      s_.tokens.push_back(std::move(tok));
      i += 3;
      return true;
    }
    return false;
  }

  // A run of one date or time letter (d, m, y, h, s in either case).
  bool DateTimeRun(size_t& i) {
    const std::string_view s = src_;
    const char l = base::ToLowerAscii(s[i]);
    if (l != 'd' && l != 'm' && l != 'y' && l != 'h' && l != 's') return false;
    size_t k = i;
    while (k < s.size() && base::ToLowerAscii(s[k]) == l) ++k;
    size_t n = k - i;
    const TokKind kind = l == 'd'   ? TokKind::Day
                         : l == 'm' ? TokKind::Month
                         : l == 'y' ? TokKind::Year
                         : l == 'h' ? TokKind::Hour
                                    : TokKind::Second;
    const size_t cap = l == 'd' ? 4 : l == 'm' ? 5 : l == 'y' ? 4 : 2;
    if (l == 'm' && n > 5) n = 4;  // longer runs show the full name
    if (n > cap) n = cap;
    if (l == 'y') n = n <= 2 ? 2 : 4;
    Add(kind, static_cast<uint8_t>(n));
    i = k;
    return true;
  }

  // A run of 'e' or 'g': the year and the era name of East Asian calendars.
  void Era(TokKind kind, size_t& i) {
    size_t k = i;
    while (k < src_.size() && src_[k] == src_[i]) ++k;
    Token tok;
    tok.kind = kind;
    tok.text = std::string(src_.substr(i, k - i));
    s_.tokens.push_back(std::move(tok));
    i = k;
  }

  void Classify() {
    bool date = false, digits = false, general = false, at = false;
    for (const Token& t : s_.tokens) {
      date = date || IsDateKind(t.kind);
      digits = digits || t.kind == TokKind::Digit;
      general = general || t.kind == TokKind::General;
      at = at || t.kind == TokKind::At;
    }
    if (date) {
      s_.kind = SectionKind::Date;
    } else if (general) {
      s_.kind = SectionKind::General;
    } else if (!digits && at) {
      s_.kind = SectionKind::Text;
    } else {
      s_.kind = SectionKind::Number;
    }
  }

  static void ToLiteral(Token& t, std::string_view text) {
    t.kind = TokKind::Literal;
    t.text = std::string(text);
  }

  // Turns tokens that have no meaning in the section's kind back into literal text.
  static void Demote(Token& t) {
    switch (t.kind) {
      case TokKind::Digit:
        ToLiteral(t, std::string_view(&t.ch, 1));
        break;
      case TokKind::Point:
        ToLiteral(t, ".");
        break;
      case TokKind::Comma:
        ToLiteral(t, ",");
        break;
      case TokKind::Percent:
        ToLiteral(t, "%");
        break;
      case TokKind::TimeSep:
        ToLiteral(t, ":");
        break;
      case TokKind::Slash:
        ToLiteral(t, "/");
        break;
      case TokKind::Exponent:
        ToLiteral(t, t.text + (t.n ? "+" : "-"));
        break;
      case TokKind::FixedDen:
      case TokKind::EraName:
      case TokKind::EraYear:
        t.kind = TokKind::Literal;
        break;
      default:
        break;
    }
  }

  // Neighbour tables, so that resolving stays linear in the length of the code.
  void Index() {
    const auto& t = s_.tokens;
    size_t n = t.size();
    prevDate_.assign(n, kNone);
    nextDate_.assign(n, kNone);
    nextNonComma_.assign(n + 1, n);
    firstDigit_ = lastDigit_ = kNone;
    for (size_t i = 0, last = kNone; i < n; ++i) {
      prevDate_[i] = last;
      if (IsDateKind(t[i].kind)) last = i;
      if (t[i].kind == TokKind::Digit) {
        if (firstDigit_ == kNone) firstDigit_ = i;
        lastDigit_ = i;
      }
    }
    for (size_t i = n, next = kNone; i-- > 0;) {
      nextDate_[i] = next;
      if (IsDateKind(t[i].kind)) next = i;
      nextNonComma_[i] = t[i].kind == TokKind::Comma ? nextNonComma_[i + 1] : i;
    }
  }

  const Token* DateNeighbour(size_t i, int step) const {
    size_t k = step < 0 ? prevDate_[i] : nextDate_[i];
    return k == kNone ? nullptr : &s_.tokens[k];
  }

  void ResolveDate() {
    auto& t = s_.tokens;
    Index();
    // "m" and "mm" are minutes after an hour or before a second.
    for (size_t i = 0; i < t.size(); ++i) {
      if (t[i].kind != TokKind::Month || t[i].n > 2) continue;
      const Token* prev = DateNeighbour(i, -1);
      const Token* next = DateNeighbour(i, 1);
      if ((prev && (prev->kind == TokKind::Hour || prev->kind == TokKind::ElapsedHour ||
                    prev->kind == TokKind::Second || prev->kind == TokKind::ElapsedSecond)) ||
          (next && (next->kind == TokKind::Second || next->kind == TokKind::ElapsedSecond))) {
        t[i].kind = TokKind::Minute;
      }
    }
    for (size_t i = 0; i < t.size(); ++i) {
      Token& tok = t[i];
      if (tok.kind == TokKind::Point) {
        const Token* prev = DateNeighbour(i, -1);
        bool afterSecond =
            prev && (prev->kind == TokKind::Second || prev->kind == TokKind::ElapsedSecond);
        size_t k = i + 1;
        while (k < t.size() && t[k].kind == TokKind::Digit && t[k].ch == '0') ++k;
        size_t zeros = k - i - 1;
        if (afterSecond && zeros > 0) {
          size_t keep = zeros > 3 ? 3 : zeros;
          tok.kind = TokKind::SubSecond;
          tok.n = static_cast<uint8_t>(keep);
          if (static_cast<int>(keep) > s_.subDigits) s_.subDigits = static_cast<int>(keep);
          for (size_t z = i + 1; z < i + 1 + keep; ++z) ToLiteral(t[z], "");
          i += keep;
          continue;
        }
      }
      if (tok.kind == TokKind::Slash) {
        tok.kind = TokKind::DateSep;
        continue;
      }
      // Without an East Asian calendar the era year is the Gregorian year and the era
      // name is empty.
      if (tok.kind == TokKind::EraYear) {
        tok.kind = TokKind::Year;
        tok.n = 4;
        continue;
      }
      if (tok.kind == TokKind::EraName) {
        ToLiteral(tok, "");
        continue;
      }
      if (tok.kind == TokKind::AmPm || tok.kind == TokKind::AP) s_.hasAmPm = true;
      s_.elapsedHours = s_.elapsedHours || tok.kind == TokKind::ElapsedHour;
      s_.elapsedMinutes = s_.elapsedMinutes || tok.kind == TokKind::ElapsedMinute;
      s_.elapsedSeconds = s_.elapsedSeconds || tok.kind == TokKind::ElapsedSecond;
      s_.elapsed = s_.elapsedHours || s_.elapsedMinutes || s_.elapsedSeconds;
      if (tok.kind != TokKind::TimeSep) Demote(tok);
    }
  }

  void ResolveNumber() {
    auto& t = s_.tokens;
    Index();
    for (Token& tok : t) {
      if (tok.kind == TokKind::TimeSep || tok.kind == TokKind::EraName ||
          tok.kind == TokKind::EraYear) {
        Demote(tok);
      }
    }
    // Fraction: a slash with digit placeholders before it and digit placeholders or a
    // written denominator after it; literals may stand in between ("0 0=/=0").
    size_t slash = t.size();
    for (size_t i = 0; i < t.size(); ++i) {
      if (t[i].kind == TokKind::Slash && HasDigitBefore(i) &&
          ((i + 1 < t.size() && t[i + 1].kind == TokKind::FixedDen) || HasDigitAfter(i))) {
        slash = i;
        break;
      }
    }
    bool seenPoint = false;
    for (size_t i = 0; i < slash && i < t.size(); ++i)
      seenPoint = seenPoint || t[i].kind == TokKind::Point;
    if (slash < t.size() && !seenPoint) {
      ResolveFraction(slash);
    } else {
      ResolveDecimal();
    }
    for (Token& tok : t) {
      if (tok.kind == TokKind::Percent) {
        s_.scale10 += 2;
        ToLiteral(tok, "%");
      }
    }
    // Past this a double has nothing left to show; it also bounds the digits rendered.
    if (s_.scale10 > kMaxScale) s_.scale10 = kMaxScale;
    if (s_.scale10 < -kMaxScale) s_.scale10 = -kMaxScale;
  }

  void ResolveFraction(size_t slash) {
    auto& t = s_.tokens;
    s_.fraction = true;
    // The numerator is the last run of placeholders before the slash; placeholders before
    // it show the whole number.
    size_t numEnd = slash;
    while (numEnd > 0 && t[numEnd - 1].kind != TokKind::Digit) --numEnd;
    size_t numStart = numEnd;
    while (numStart > 0 && t[numStart - 1].kind == TokKind::Digit) --numStart;
    size_t denEnd = slash + 1;
    for (size_t i = slash + 1; i < t.size(); ++i) {
      if (t[i].kind == TokKind::Digit || (t[i].kind == TokKind::FixedDen && i == slash + 1)) {
        denEnd = i + 1;
      }
    }
    size_t wholeEnd = numStart;  // one past the last whole-number placeholder
    while (wholeEnd > 0 && t[wholeEnd - 1].kind != TokKind::Digit) --wholeEnd;
    for (size_t i = 0; i < t.size(); ++i) {
      Token& tok = t[i];
      if (wholeEnd > 0 && i >= wholeEnd && i < numStart && tok.kind == TokKind::Literal) {
        tok.zone = Zone::Frac;  // text between the whole number and the fraction
        continue;
      }
      if (tok.kind == TokKind::Digit) {
        if (i < numStart) {
          tok.zone = Zone::Int;
          tok.idx = static_cast<uint32_t>(s_.nInt++);
        } else if (i < slash) {
          tok.zone = Zone::Num;
          tok.idx = static_cast<uint32_t>(s_.nNum++);
        } else {
          tok.zone = Zone::Den;
          tok.idx = static_cast<uint32_t>(s_.nDen++);
        }
      } else if (tok.kind == TokKind::FixedDen && i == slash + 1) {
        int v = 0;
        std::from_chars(tok.text.data(), tok.text.data() + tok.text.size(), v);
        s_.fixedDen = v;
        tok.zone = Zone::Den;
      } else if (tok.kind == TokKind::Comma && i < numStart) {
        ResolveComma(i, Zone::Int);
      } else if (i >= numEnd && i < denEnd) {
        tok.zone = Zone::Num;  // the bar, and text inside the fraction: blanked with it
      }
    }
    // Only the fraction's own bar and denominator keep their meaning.
    for (size_t i = 0; i < t.size(); ++i) {
      TokKind k = t[i].kind;
      if ((k == TokKind::Slash && i != slash) || (k == TokKind::FixedDen && i != slash + 1) ||
          k == TokKind::Point || k == TokKind::Exponent || k == TokKind::Comma) {
        Demote(t[i]);
      }
    }
  }

  void ResolveDecimal() {
    auto& t = s_.tokens;
    Zone zone = Zone::Int;
    for (size_t i = 0; i < t.size(); ++i) {
      Token& tok = t[i];
      switch (tok.kind) {
        case TokKind::Point:
          if (zone == Zone::Int) {
            zone = Zone::Frac;
            s_.hasPoint = true;
            tok.zone = Zone::Frac;
          } else {
            Demote(tok);
          }
          break;
        case TokKind::Exponent:
          if (zone != Zone::Exp && !s_.scientific && HasDigitBefore(i)) {
            zone = Zone::Exp;
            s_.scientific = true;
          } else {
            Demote(tok);
          }
          break;
        case TokKind::Digit:
          tok.zone = zone;
          tok.idx = static_cast<uint32_t>(zone == Zone::Int    ? s_.nInt++
                                          : zone == Zone::Frac ? s_.nFrac++
                                                               : s_.nExp++);
          if (zone == Zone::Exp && tok.ch == '0') ++s_.expDigits;
          break;
        case TokKind::Comma:
          ResolveComma(i, zone);
          break;
        case TokKind::At:
          s_.hasAt = true;
          break;
        case TokKind::Slash:
        case TokKind::FixedDen:
          Demote(tok);
          break;
        default:
          break;
      }
    }
  }

  bool HasDigitBefore(size_t i) const { return firstDigit_ != kNone && firstDigit_ < i; }

  // A comma between digit placeholders of the integer part asks for thousands grouping;
  // commas that end the run of digit placeholders divide the value by 1000 each.
  void ResolveComma(size_t i, Zone zone) {
    auto& t = s_.tokens;
    bool digitBefore = HasDigitBefore(i);
    size_t k = nextNonComma_[i + 1];
    bool digitNext = k < t.size() && t[k].kind == TokKind::Digit;
    bool pointNext = k < t.size() && t[k].kind == TokKind::Point;
    if (zone == Zone::Int && digitBefore && digitNext) {
      s_.grouping = true;
      ToLiteral(t[i], "");
      return;
    }
    bool adjacent = i > 0 && (t[i - 1].kind == TokKind::Digit || t[i - 1].kind == TokKind::Comma ||
                              (t[i - 1].kind == TokKind::Literal && t[i - 1].text.empty()));
    if (digitBefore && adjacent && !digitNext && (zone == Zone::Int || zone == Zone::Frac) &&
        (pointNext || !HasDigitAfter(i))) {
      s_.scale10 -= 3;
      ToLiteral(t[i], "");
      return;
    }
    ToLiteral(t[i], ",");
  }

  bool HasDigitAfter(size_t i) const { return lastDigit_ != kNone && lastDigit_ > i; }

  static constexpr size_t kNone = static_cast<size_t>(-1);
  std::string_view src_;
  Section& s_;
  std::vector<size_t> prevDate_, nextDate_, nextNonComma_;
  size_t firstDigit_ = kNone, lastDigit_ = kNone;
};

// Splits at ';' outside quotes, brackets and escapes.
size_t SectionEnd(std::string_view code, size_t start) {
  for (size_t i = start; i < code.size(); ++i) {
    char c = code[i];
    if (c == '"') {
      size_t e = code.find('"', i + 1);
      if (e == code.npos) return code.size();
      i = e;
    } else if (c == '\\' || c == '!' || c == '_' || c == '*') {
      ++i;
    } else if (c == '[') {
      size_t e = code.find(']', i + 1);
      if (e == code.npos) return code.size();
      i = e;
    } else if (c == ';') {
      return i;
    }
  }
  return code.size();
}

}  // namespace

bool Section::Matches(double v) const {
  switch (cond) {
    case CondOp::None:
      return true;
    case CondOp::Lt:
      return v < condValue;
    case CondOp::Le:
      return v <= condValue;
    case CondOp::Gt:
      return v > condValue;
    case CondOp::Ge:
      return v >= condValue;
    case CondOp::Eq:
      return v == condValue;
    case CondOp::Ne:
      return v != condValue;
  }
  return true;
}

void Parse(std::string_view code, Format& f) {
  f.code = std::string(code);
  f.sections.clear();
  size_t start = 0;
  while (f.sections.size() < 4) {
    size_t end = SectionEnd(code, start);
    Section s;
    SectionParser(code.substr(start, end - start), s).Run();
    f.sections.push_back(std::move(s));
    if (end >= code.size()) break;
    start = end + 1;
  }
  // An empty code, or "General", is the General format.
  if (f.sections.size() == 1 && f.sections[0].tokens.empty()) {
    f.sections[0].kind = SectionKind::General;
    f.sections[0].tokens.resize(1);
    f.sections[0].tokens[0].kind = TokKind::General;
  }
  size_t count = f.sections.size();
  f.numericCount = static_cast<int>(count > 3 ? 3 : count);
  f.textSection = -1;
  if (count == 4) {
    f.textSection = 3;
    f.sections[3].kind = SectionKind::Text;
  } else if (f.sections.back().kind == SectionKind::Text) {
    f.textSection = static_cast<int>(count - 1);
    if (count > 1) f.numericCount = static_cast<int>(count - 1);
  }
  f.isDate = f.sections[0].kind == SectionKind::Date;
}

}  // namespace gridwell::numfmt
