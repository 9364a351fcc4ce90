// Compiling, caching and applying format codes: the choice of section for a value.
#include <cmath>
#include <unordered_map>

#include "reader/numfmt/format_code.h"
#include "reader/numfmt/general.h"

namespace gridwell::numfmt {
namespace {

// Shown where a date cannot be: negative or past 31 December 9999. Spreadsheets fill the
// cell with '#'; a page has no cell width, so this is the width of a default column.
constexpr std::string_view kNoDate = "########";

struct Choice {
  const Section* section;
  bool dropSign;  // the section stands for negative numbers and shows them without '-'
};

// Sections without conditions: positive and zero; negative; zero. With conditions, the
// first two sections apply when their condition holds (a first section without one takes
// what the implied pos/neg split gives it) and the third, or else the last, takes the rest.
Choice ChooseSection(const Format& f, double v) {
  const auto& s = f.sections;
  int n = f.numericCount;
  bool conditions = false;
  for (int i = 0; i < n; ++i) conditions = conditions || s[i].cond != CondOp::None;
  if (!conditions) {
    if (n == 1 || v > 0 || (v == 0 && n == 2)) return {&s[0], false};
    if (v < 0) return {&s[1], true};
    return {&s[2], false};
  }
  bool first = s[0].cond != CondOp::None ? s[0].Matches(v) : (n >= 3 ? v > 0 : v >= 0);
  if (first) return {&s[0], false};
  if (n >= 2) {
    const Section& second = s[1];
    bool takes = second.cond != CondOp::None ? second.Matches(v) : (n == 2 || v < 0);
    if (takes) {
      // A condition that admits only negative numbers makes it a negative section.
      bool negOnly = second.cond == CondOp::None
                         ? s[0].cond == CondOp::None
                         : (second.cond == CondOp::Lt && second.condValue <= 0) ||
                               (second.cond == CondOp::Le && second.condValue < 0);
      return {&second, negOnly};
    }
  }
  if (n >= 3) return {&s[2], false};
  return {nullptr, false};  // no section applies: General
}

}  // namespace

std::shared_ptr<const Format> Compile(std::string_view code) {
  auto f = std::make_shared<Format>();
  Parse(code, *f);
  return f;
}

int64_t FormatNumber(double value, const Format& format, std::string& out,
                     const RegionalSettings& rs, bool date1904) {
  if (!std::isfinite(value)) {
    out.append("#NUM!");
    return -1;
  }
  Choice c = ChooseSection(format, value);
  if (!c.section) {
    AppendGeneral(value, rs.decimalSeparator, out);
    return -1;
  }
  const Section& s = *c.section;
  bool negative = value < 0;
  double magnitude = negative ? -value : value;
  if (s.tokens.empty()) return s.color;  // an empty section hides the value
  if (s.kind == SectionKind::Date) {
    // A negative elapsed time is a duration and shows with its sign, and so does any
    // negative time in the 1904 date system; in the 1900 system a negative date has no
    // calendar day.
    if (negative && !c.dropSign && !s.elapsed && !date1904) {
      out.append(kNoDate);
      return s.color;
    }
    size_t mark = out.size();
    if (negative && !c.dropSign) out.push_back('-');
    if (!RenderDate(magnitude, s, rs, date1904, out)) {
      out.resize(mark);
      out.append(kNoDate);
    }
    return s.color;
  }
  if (negative && !c.dropSign) out.push_back('-');
  RenderNumber(magnitude, s, rs, out);
  return s.color;
}

int64_t NumberColor(double value, const Format& format) {
  if (!std::isfinite(value)) return -1;
  const Choice c = ChooseSection(format, value);
  return c.section ? c.section->color : -1;
}

int64_t TextColor(const Format& format) {
  return format.textSection < 0 ? -1
                                : format.sections[static_cast<size_t>(format.textSection)].color;
}

std::string FormatNumber(double value, std::string_view code, const RegionalSettings& rs,
                         bool date1904) {
  std::string out;
  FormatNumber(value, *Compile(code), out, rs, date1904);
  return out;
}

void RenderText(std::string_view text, const Section& s, std::string& out) {
  for (const Token& tok : s.tokens) {
    if (tok.kind == TokKind::Literal) {
      out.append(tok.text);
    } else if (tok.kind == TokKind::At) {
      out.append(text);
    }
  }
}

int64_t FormatText(std::string_view text, const Format& format, std::string& out) {
  if (format.textSection < 0) {
    out.append(text);
    return -1;
  }
  const Section& s = format.sections[static_cast<size_t>(format.textSection)];
  RenderText(text, s, out);
  return s.color;
}

bool IsDateFormat(const Format& format) {
  return format.isDate;
}

bool IsDateFormat(std::string_view code) {
  // Scans the first section only, without compiling it.
  for (size_t i = 0; i < code.size(); ++i) {
    char c = code[i];
    switch (c) {
      case ';':
        return false;
      case '"': {
        size_t e = code.find('"', i + 1);
        if (e == code.npos) return false;
        i = e;
        continue;
      }
      case '\\':
      case '!':
      case '_':
      case '*':
        ++i;
        continue;
      case '[': {
        size_t e = code.find(']', i + 1);
        if (e == code.npos) return false;
        // [h], [mm], [ss]: elapsed time. Anything else (colour, condition, locale) is not.
        char l = e > i + 1 ? static_cast<char>(code[i + 1] | 0x20) : 0;
        bool elapsed = l == 'h' || l == 'm' || l == 's';
        for (size_t k = i + 1; k < e && elapsed; ++k) elapsed = (code[k] | 0x20) == l;
        if (elapsed) return true;
        i = e;
        continue;
      }
      default:
        break;
    }
    char l = static_cast<char>(c | 0x20);
    if (l == 'g' && code.size() - i >= 7) {
      bool general = true;
      for (size_t k = 0; k < 7 && general; ++k) general = (code[i + k] | 0x20) == "general"[k];
      if (general) {
        i += 6;
        continue;
      }
    }
    if (l == 'a' && i + 2 < code.size() && code[i + 1] == '/' && (code[i + 2] | 0x20) == 'p') {
      return true;
    }
    if (l == 'd' || l == 'm' || l == 'y' || l == 'h' || l == 's') return true;
  }
  return false;
}

struct FormatCache::Impl {
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, std::shared_ptr<const Format>, Hash, std::equal_to<>> map;
  const Format* last = nullptr;  // most cells repeat the previous cell's format
};

FormatCache::FormatCache() : impl_(std::make_unique<Impl>()) {}
FormatCache::~FormatCache() = default;

const Format& FormatCache::Get(std::string_view code) {
  if (impl_->last && impl_->last->code == code) return *impl_->last;
  auto it = impl_->map.find(code);
  if (it == impl_->map.end()) it = impl_->map.emplace(std::string(code), Compile(code)).first;
  impl_->last = it->second.get();
  return *impl_->last;
}

}  // namespace gridwell::numfmt
