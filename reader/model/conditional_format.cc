#include "reader/model/conditional_format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <string_view>
#include <unordered_set>

#include "reader/base/ascii.h"
#include "reader/model/workbook.h"

namespace gridwell::model {

bool DifferentialFormat::Empty() const {
  if (fontColor || bold || italic || strike || underline || fillColor) return false;
  for (int side = 0; side < 4; ++side)
    if (borderStyle[side] || borderColor[side]) return false;
  return true;
}

void DifferentialFormat::MergeUnset(const DifferentialFormat& later) {
  auto take = [](auto& mine, const auto& theirs) {
    if (!mine && theirs) mine = theirs;
  };
  take(fontColor, later.fontColor);
  take(bold, later.bold);
  take(italic, later.italic);
  take(strike, later.strike);
  take(underline, later.underline);
  take(fillColor, later.fillColor);
  for (int side = 0; side < 4; ++side) {
    // A side's style and colour come from the same rule.
    if (!borderStyle[side] && later.borderStyle[side]) {
      borderStyle[side] = later.borderStyle[side];
      borderColor[side] = later.borderColor[side];
    }
  }
}

namespace {

// Areas kept for all rules of a sheet together; a hostile sqref could list millions.
constexpr size_t kMaxAreas = size_t{1} << 20;

uint64_t Key(uint32_t row, uint32_t col) {
  return (uint64_t{row} << 16) | col;
}

// A stored cell's value as the rules see it.
struct Value {
  uint32_t row;
  uint16_t col;
  StoredKind kind;
  double number;          // numbers, dates, Booleans (0 or 1)
  std::string_view text;  // strings
};

bool IsNumber(const Value& v) {
  return v.kind == StoredKind::Number || v.kind == StoredKind::Date;
}

bool IsBlank(const Value& v) {
  if (v.kind == StoredKind::Empty) return true;
  // A text of spaces alone counts as blank, as LEN(TRIM(cell))=0 has it.
  return v.kind == StoredKind::String && v.text.find_first_not_of(' ') == std::string_view::npos;
}

// The stored cells inside the areas, each once. False when gathering them would cost more
// than `budget` (which then is spent).
bool Gather(const Sheet& sheet, const std::vector<CellArea>& areas, uint64_t& budget,
            std::vector<Value>& out) {
  const CellStore& cells = sheet.Cells();
  const uint64_t n = cells.Count();
  std::vector<uint32_t> found;
  for (const CellArea& a : areas) {
    const int64_t r1 = std::max(a.firstRow, 1), r2 = std::min<int64_t>(a.lastRow, kMaxRows);
    const int64_t c1 = std::max(a.firstCol, 1), c2 = std::min<int64_t>(a.lastCol, kMaxColumns);
    const uint64_t size = r1 > r2 || c1 > c2 ? 0 : uint64_t(r2 - r1 + 1) * uint64_t(c2 - c1 + 1);
    const uint64_t cost = std::min(size, n) + 1;
    if (cost > budget) {
      budget = 0;
      return false;
    }
    budget -= cost;
    if (size == 0) continue;
    if (size <= n) {
      for (int64_t r = r1; r <= r2; ++r) {
        for (int64_t c = c1; c <= c2; ++c) {
          int64_t i = cells.Find(uint32_t(r), uint32_t(c));
          if (i >= 0) found.push_back(uint32_t(i));
        }
      }
    } else {
      for (uint32_t i = 0; i < n; ++i) {
        const CellRecord& rec = cells.At(i);
        if (rec.row >= r1 && rec.row <= r2 && rec.col >= c1 && rec.col <= c2) found.push_back(i);
      }
    }
  }
  if (areas.size() > 1) {
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
  }
  const StringPool& strings = sheet.Book().Strings();
  out.clear();
  out.reserve(found.size());
  for (uint32_t i : found) {
    const CellRecord& rec = cells.At(i);
    Value v{rec.row, rec.col, rec.kind, 0, {}};
    if (IsNumber(v)) v.number = rec.Number();
    if (rec.kind == StoredKind::Boolean) v.number = rec.payload[0] ? 1 : 0;
    if (rec.kind == StoredKind::String) v.text = strings.Get(rec.payload[0]);
    out.push_back(v);
  }
  return true;
}

int CompareText(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char x = base::ToLowerAscii(a[i]), y = base::ToLowerAscii(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Spreadsheet order: numbers before texts before Booleans; texts without regard to case.
int TypeRank(StoredKind k) {
  return k == StoredKind::String ? 1 : k == StoredKind::Boolean ? 2 : 0;
}
int TypeRank(RuleOperand::Kind k) {
  return k == RuleOperand::Kind::Text ? 1 : k == RuleOperand::Kind::Boolean ? 2 : 0;
}

int Compare(const Value& v, const RuleOperand& o) {
  const int rv = TypeRank(v.kind), ro = TypeRank(o.kind);
  if (rv != ro) return rv < ro ? -1 : 1;
  if (rv == 1) return CompareText(v.text, o.text);
  return v.number < o.number ? -1 : v.number > o.number ? 1 : 0;
}

int CompareOperands(const RuleOperand& a, const RuleOperand& b) {
  Value v{0, 0,
          a.kind == RuleOperand::Kind::Text      ? StoredKind::String
          : a.kind == RuleOperand::Kind::Boolean ? StoredKind::Boolean
                                                 : StoredKind::Number,
          a.number, a.text};
  return Compare(v, b);
}

bool CellValueMatches(const ConditionalRule& rule, const Value& v) {
  if (v.kind == StoredKind::Empty || v.kind == StoredKind::Error) return false;
  const RuleOperand& a = rule.operands[0];
  if (rule.op == CompareOp::Between || rule.op == CompareOp::NotBetween) {
    // The two bounds may come in either order.
    const RuleOperand& b = rule.operands.size() > 1 ? rule.operands[1] : a;
    const bool aLow = CompareOperands(a, b) <= 0;
    const RuleOperand& lo = aLow ? a : b;
    const RuleOperand& hi = aLow ? b : a;
    const bool inside = Compare(v, lo) >= 0 && Compare(v, hi) <= 0;
    return rule.op == CompareOp::Between ? inside : !inside;
  }
  const int c = Compare(v, a);
  switch (rule.op) {
    case CompareOp::Equal:
      return c == 0;
    case CompareOp::NotEqual:
      return c != 0;
    case CompareOp::Greater:
      return c > 0;
    case CompareOp::Less:
      return c < 0;
    case CompareOp::GreaterOrEqual:
      return c >= 0;
    case CompareOp::LessOrEqual:
      return c <= 0;
    default:
      return false;
  }
}

// The text a value shows to SEARCH and LEFT/RIGHT: numbers with 15 significant digits.
std::string_view ValueText(const Value& v, std::string& scratch) {
  if (v.kind == StoredKind::String) return v.text;
  if (v.kind == StoredKind::Boolean) return v.number != 0 ? "TRUE" : "FALSE";
  char buf[32];
  int len = std::snprintf(buf, sizeof buf, "%.15g", v.number);
  scratch.assign(buf, len > 0 ? static_cast<size_t>(len) : 0);
  return scratch;
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
  if (part.empty()) return true;
  for (size_t i = 0; i + part.size() <= text.size(); ++i) {
    if (base::EqualsNoCase(text.substr(i, part.size()), part)) return true;
  }
  return false;
}

bool TextMatches(const ConditionalRule& rule, const Value& v, std::string& scratch) {
  if (v.kind == StoredKind::Empty || v.kind == StoredKind::Error) return false;
  std::string_view t = ValueText(v, scratch);
  switch (rule.type) {
    case RuleType::ContainsText:
      return ContainsNoCase(t, rule.text);
    case RuleType::NotContainsText:
      return !ContainsNoCase(t, rule.text);
    case RuleType::BeginsWith:
      return base::StartsWithNoCase(t, rule.text);
    case RuleType::EndsWith:
      return base::EndsWithNoCase(t, rule.text);
    default:
      return false;
  }
}

bool BlankOrErrorMatches(RuleType type, const Value& v) {
  switch (type) {
    case RuleType::Blanks:
      return IsBlank(v);
    case RuleType::NoBlanks:
      return !IsBlank(v) && v.kind != StoredKind::Error;
    case RuleType::Errors:
      return v.kind == StoredKind::Error;
    case RuleType::NoErrors:
      return v.kind != StoredKind::Error;
    default:
      return false;
  }
}

std::vector<double> Numbers(const std::vector<Value>& values) {
  std::vector<double> out;
  for (const Value& v : values)
    if (IsNumber(v)) out.push_back(v.number);
  return out;
}

// The value at fraction p (0..1) of the sorted numbers, interpolated as PERCENTILE does.
double Percentile(const std::vector<double>& sorted, double p) {
  p = std::clamp(p, 0.0, 1.0);
  const double at = p * static_cast<double>(sorted.size() - 1);
  const size_t lo = static_cast<size_t>(at);
  if (lo + 1 >= sorted.size()) return sorted.back();
  return sorted[lo] + (at - static_cast<double>(lo)) * (sorted[lo + 1] - sorted[lo]);
}

// Which of the values a top/bottom rule picks: those at or beyond the N-th.
std::vector<bool> TopMatches(const ConditionalRule& rule, const std::vector<Value>& values) {
  std::vector<bool> hit(values.size(), false);
  std::vector<double> nums = Numbers(values);
  if (nums.empty() || !(rule.rank >= 1 || (rule.percent && rule.rank > 0))) return hit;
  double want = rule.percent ? std::floor(static_cast<double>(nums.size()) * rule.rank / 100)
                             : std::floor(rule.rank);
  const size_t count = static_cast<size_t>(std::clamp(want, 1.0, double(nums.size())));
  if (rule.bottom) {
    std::nth_element(nums.begin(), nums.begin() + long(count - 1), nums.end());
  } else {
    std::nth_element(nums.begin(), nums.begin() + long(count - 1), nums.end(), std::greater<>());
  }
  const double edge = nums[count - 1];
  for (size_t i = 0; i < values.size(); ++i) {
    if (IsNumber(values[i]))
      hit[i] = rule.bottom ? values[i].number <= edge : values[i].number >= edge;
  }
  return hit;
}

std::vector<bool> AverageMatches(const ConditionalRule& rule, const std::vector<Value>& values) {
  std::vector<bool> hit(values.size(), false);
  const std::vector<double> nums = Numbers(values);
  if (nums.empty()) return hit;
  const double n = static_cast<double>(nums.size());
  const double mean = std::accumulate(nums.begin(), nums.end(), 0.0) / n;
  double limit = mean;
  if (rule.stdDev > 0) {
    double squares = 0;
    for (double x : nums) squares += (x - mean) * (x - mean);
    const double sd = std::sqrt(squares / n);
    limit = rule.above ? mean + rule.stdDev * sd : mean - rule.stdDev * sd;
  }
  for (size_t i = 0; i < values.size(); ++i) {
    if (!IsNumber(values[i])) continue;
    const double x = values[i].number;
    hit[i] = rule.above ? (x > limit || (rule.orEqual && x == limit))
                        : (x < limit || (rule.orEqual && x == limit));
  }
  return hit;
}

// A value's identity for duplicate and unique rules: texts without regard to case.
std::string DuplicateKey(const Value& v) {
  if (v.kind == StoredKind::String) return "s" + base::LowerAscii(v.text);
  std::string key(1 + sizeof(double), v.kind == StoredKind::Boolean ? 'b' : 'n');
  const double number = v.number == 0 ? 0.0 : v.number;  // -0 and 0 are one value
  std::memcpy(key.data() + 1, &number, sizeof(double));
  return key;
}

std::vector<bool> DuplicateMatches(const ConditionalRule& rule, const std::vector<Value>& values) {
  std::vector<bool> hit(values.size(), false);
  std::unordered_map<std::string, uint32_t> counts;
  std::vector<std::string> keys(values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    if (IsBlank(values[i]) || values[i].kind == StoredKind::Error) continue;
    keys[i] = DuplicateKey(values[i]);
    ++counts[keys[i]];
  }
  for (size_t i = 0; i < values.size(); ++i) {
    if (keys[i].empty()) continue;
    const bool repeated = counts[keys[i]] > 1;
    hit[i] = rule.type == RuleType::Duplicate ? repeated : !repeated;
  }
  return hit;
}

// Where each point of a colour scale or data bar sits among the range's numbers.
std::vector<double> PointValues(const ConditionalRule& rule, std::vector<double>& sorted) {
  std::sort(sorted.begin(), sorted.end());
  const double lo = sorted.front(), hi = sorted.back();
  std::vector<double> at;
  for (const ScalePoint& p : rule.points) {
    switch (p.kind) {
      case ScalePoint::Kind::Min:
        at.push_back(lo);
        break;
      case ScalePoint::Kind::Max:
        at.push_back(hi);
        break;
      case ScalePoint::Kind::Number:
        at.push_back(p.value);
        break;
      case ScalePoint::Kind::Percent:
        at.push_back(lo + (hi - lo) * p.value / 100);
        break;
      case ScalePoint::Kind::Percentile:
        at.push_back(Percentile(sorted, p.value / 100));
        break;
    }
  }
  return at;
}

uint32_t Mix(uint32_t a, uint32_t b, double t) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const double x = (a >> shift) & 0xFF, y = (b >> shift) & 0xFF;
    out |= static_cast<uint32_t>(std::lround(x + (y - x) * t)) << shift;
  }
  return out;
}

uint32_t ScaleColor(const ConditionalRule& rule, const std::vector<double>& at, double x) {
  if (x <= at[0]) return rule.points[0].color;
  for (size_t i = 1; i < at.size(); ++i) {
    if (x <= at[i] || i + 1 == at.size()) {
      const double span = at[i] - at[i - 1];
      const double t = span > 0 ? std::clamp((x - at[i - 1]) / span, 0.0, 1.0) : 1.0;
      return Mix(rule.points[i - 1].color, rule.points[i].color, t);
    }
  }
  return rule.points.back().color;
}

double BarFraction(const ConditionalRule& rule, const std::vector<double>& at, double x) {
  const double lo = std::min(at[0], at[1]), hi = std::max(at[0], at[1]);
  const double t = hi > lo ? std::clamp((x - lo) / (hi - lo), 0.0, 1.0) : (x >= hi ? 1.0 : 0.0);
  const double shortest = std::clamp(rule.barMin, 0.0, 1.0);
  const double longest = std::clamp(rule.barMax, shortest, 1.0);
  return shortest + t * (longest - shortest);
}

// Which values a rule with a differential format picks.
std::vector<bool> FormatMatches(const ConditionalRule& rule, const std::vector<Value>& values) {
  switch (rule.type) {
    case RuleType::Top:
      return TopMatches(rule, values);
    case RuleType::Average:
      return AverageMatches(rule, values);
    case RuleType::Duplicate:
    case RuleType::Unique:
      return DuplicateMatches(rule, values);
    default:
      break;
  }
  std::vector<bool> hit(values.size(), false);
  std::string scratch;
  for (size_t i = 0; i < values.size(); ++i) {
    if (rule.type == RuleType::CellValue) {
      hit[i] = !rule.operands.empty() && CellValueMatches(rule, values[i]);
    } else if (rule.type >= RuleType::ContainsText && rule.type <= RuleType::EndsWith) {
      hit[i] = TextMatches(rule, values[i], scratch);
    } else {
      hit[i] = BlankOrErrorMatches(rule.type, values[i]);
    }
  }
  return hit;
}

}  // namespace

void ConditionalFormats::AddRule(ConditionalRule rule) {
  if (rules_.size() >= kMaxRules || areaCount_ >= kMaxAreas) return;
  if (rule.areas.size() > kMaxAreas - areaCount_) rule.areas.resize(kMaxAreas - areaCount_);
  areaCount_ += rule.areas.size();
  rules_.push_back(std::move(rule));
}

void ConditionalFormats::Evaluate(const Sheet& sheet) {
  looks_.clear();
  unevaluated_ = 0;
  if (rules_.empty()) return;
  std::vector<size_t> order(rules_.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return rules_[a].priority < rules_[b].priority; });
  // The work stays within a few passes over the stored cells per rule that a real sheet
  // has; a hostile file's rules past that are left alone.
  uint64_t budget = 16 * uint64_t{sheet.Cells().Count()} + (uint64_t{1} << 22);
  std::unordered_set<uint64_t> stopped;
  std::vector<Value> values;
  for (size_t index : order) {
    const ConditionalRule& rule = rules_[index];
    if (rule.type == RuleType::Unsupported) continue;
    if (rule.type == RuleType::NeedsFormula || !Gather(sheet, rule.areas, budget, values)) {
      ++unevaluated_;
      continue;
    }
    const bool scale = rule.type == RuleType::ColorScale || rule.type == RuleType::DataBar;
    std::vector<double> at;
    std::vector<bool> hit;
    if (scale) {
      std::vector<double> nums = Numbers(values);
      if (nums.empty() || rule.points.size() < 2) continue;
      at = PointValues(rule, nums);
    } else {
      hit = FormatMatches(rule, values);
    }
    for (size_t i = 0; i < values.size(); ++i) {
      const Value& v = values[i];
      const uint64_t key = Key(v.row, v.col);
      if ((scale ? !IsNumber(v) : !hit[i]) || stopped.count(key)) continue;
      if (rule.stopIfTrue) stopped.insert(key);
      if (!scale && rule.format.Empty()) continue;
      ConditionalLook& look = looks_[key];
      if (rule.type == RuleType::ColorScale) {
        if (!look.format.fillColor) look.format.fillColor = ScaleColor(rule, at, v.number);
      } else if (rule.type == RuleType::DataBar) {
        if (!look.hasBar) {
          look.hasBar = true;
          look.barFraction = BarFraction(rule, at, v.number);
          look.barColor = rule.points[0].color;
        }
      } else {
        look.format.MergeUnset(rule.format);
      }
    }
  }
}

const ConditionalLook* ConditionalFormats::LookAt(int32_t row, int32_t col) const {
  if (looks_.empty()) return nullptr;
  auto it = looks_.find((uint64_t(uint32_t(row)) << 16) | uint32_t(col));
  return it == looks_.end() ? nullptr : &it->second;
}

}  // namespace gridwell::model
