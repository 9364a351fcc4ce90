#include "reader/xlsx/conditional_formatting.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "reader/base/ascii.h"
#include "reader/base/cell_ref.h"
#include "reader/model/workbook.h"
#include "reader/xlsx/xml_util.h"

namespace gridwell::xlsx {

namespace {

// Areas one sqref may list, and all rules of a sheet together; more are dropped.
constexpr size_t kMaxAreasPerElement = size_t{1} << 16;
constexpr size_t kMaxAreas = size_t{1} << 20;

std::string_view Trim(std::string_view s) {
  while (!s.empty() &&
         (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r'))
    s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

bool ParseNumber(std::string_view s, double& v) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(v);
}

bool ParseInt(const char* v, int64_t& out) {
  if (!v) return false;
  std::string_view s = Trim(v);
  auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// A formula that is a constant: a number, a quoted text ("" stands for one quote) or
// TRUE/FALSE. False for anything that needs evaluating.
bool ConstantOperand(std::string_view f, model::RuleOperand& out) {
  f = Trim(f);
  if (!f.empty() && f.front() == '=') f = Trim(f.substr(1));
  if (f.size() >= 2 && f.front() == '"' && f.back() == '"') {
    std::string_view inner = f.substr(1, f.size() - 2);
    out.kind = model::RuleOperand::Kind::Text;
    out.text.clear();
    for (size_t i = 0; i < inner.size(); ++i) {
      if (inner[i] == '"') {
        if (i + 1 >= inner.size() || inner[i + 1] != '"') return false;
        ++i;
      }
      out.text.push_back(inner[i]);
    }
    return true;
  }
  if (base::EqualsNoCase(f, "TRUE") || base::EqualsNoCase(f, "FALSE")) {
    out.kind = model::RuleOperand::Kind::Boolean;
    out.number = base::EqualsNoCase(f, "TRUE") ? 1 : 0;
    return true;
  }
  out.kind = model::RuleOperand::Kind::Number;
  return ParseNumber(f, out.number);
}

// "A1:B4 D7" as areas; references that are not cells of the sheet are skipped.
std::vector<model::CellArea> ParseSqref(std::string_view text) {
  std::vector<model::CellArea> areas;
  size_t at = 0;
  while (at < text.size() && areas.size() < kMaxAreasPerElement) {
    size_t end = text.find(' ', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view ref = Trim(text.substr(at, end - at));
    at = end + 1;
    if (ref.empty()) continue;
    const size_t colon = ref.find(':');
    base::CellRef a, b;
    if (!base::ParseCellRef(ref.substr(0, colon), a)) continue;
    b = a;
    if (colon != std::string_view::npos && !base::ParseCellRef(ref.substr(colon + 1), b)) continue;
    areas.push_back({std::min(a.row, b.row), std::min(a.col, b.col), std::max(a.row, b.row),
                     std::max(a.col, b.col)});
  }
  return areas;
}

bool CompareOpOf(std::string_view op, model::CompareOp& out) {
  static constexpr std::pair<std::string_view, model::CompareOp> kOps[] = {
      {"between", model::CompareOp::Between},
      {"notBetween", model::CompareOp::NotBetween},
      {"equal", model::CompareOp::Equal},
      {"notEqual", model::CompareOp::NotEqual},
      {"greaterThan", model::CompareOp::Greater},
      {"lessThan", model::CompareOp::Less},
      {"greaterThanOrEqual", model::CompareOp::GreaterOrEqual},
      {"lessThanOrEqual", model::CompareOp::LessOrEqual}};
  const auto code = CodeOfName(kOps, op);
  if (code) out = *code;
  return code.has_value();
}

// The rule types that need nothing but the attributes of their cfRule.
bool SimpleRuleType(std::string_view type, model::RuleType& out) {
  static constexpr std::pair<std::string_view, model::RuleType> kTypes[] = {
      {"top10", model::RuleType::Top},
      {"aboveAverage", model::RuleType::Average},
      {"duplicateValues", model::RuleType::Duplicate},
      {"uniqueValues", model::RuleType::Unique},
      {"containsText", model::RuleType::ContainsText},
      {"notContainsText", model::RuleType::NotContainsText},
      {"beginsWith", model::RuleType::BeginsWith},
      {"endsWith", model::RuleType::EndsWith},
      {"containsBlanks", model::RuleType::Blanks},
      {"notContainsBlanks", model::RuleType::NoBlanks},
      {"containsErrors", model::RuleType::Errors},
      {"notContainsErrors", model::RuleType::NoErrors},
      {"expression", model::RuleType::NeedsFormula},
      {"timePeriod", model::RuleType::NeedsFormula}};
  const auto code = CodeOfName(kTypes, type);
  if (code) out = *code;
  return code.has_value();
}

}  // namespace

bool ConditionalFormattingReader::Start(std::string_view name, const XML_Char** attrs,
                                        const StyleMap& styles) {
  if (depth_ == 0) {
    if (name != "conditionalFormatting") {
      if (extDepth_ > 0 || name == "extLst") ++extDepth_;
      return false;
    }
    depth_ = 1;
    newer_ = extDepth_ > 0;
    const char* sqref = FindAttr(attrs, "sqref");
    sqref_ = sqref ? sqref : "";
    pending_.clear();
    return true;
  }
  ++depth_;
  text_ = nullptr;
  if (name == "cfRule") {
    StartRule(attrs, styles);
  } else if (name == "sqref" || name == "formula" || name == "f" || name == "id") {
    scratch_.clear();
    text_ = &scratch_;
  } else if (inRule_ && name == "cfvo") {
    StartPoint(attrs);
  } else if (inRule_ && name == "color") {
    StartColor(attrs, styles);
  } else if (inRule_ && name == "dataBar") {
    int64_t v;
    // Lengths in percent of the cell; the first form's bars run from 10% to 90%.
    rule_.barMin = ParseInt(FindAttr(attrs, "minLength"), v) ? double(v) / 100 : 0.1;
    rule_.barMax = ParseInt(FindAttr(attrs, "maxLength"), v) ? double(v) / 100 : 0.9;
  }
  return true;
}

bool ConditionalFormattingReader::End(std::string_view name) {
  if (depth_ == 0) {
    if (extDepth_ > 0) --extDepth_;
    return false;
  }
  if (text_) {
    if (name == "sqref") {
      sqref_ = scratch_;
    } else if (name == "id") {
      ruleId_ = Trim(scratch_);
    } else if (inRule_ && formulas_.size() < 3) {
      formulas_.push_back(scratch_);
    }
    text_ = nullptr;
  }
  if (name == "cfRule" && inRule_) EndRule();
  if (--depth_ == 0) EndElement();
  return true;
}

void ConditionalFormattingReader::StartRule(const XML_Char** attrs, const StyleMap& styles) {
  inRule_ = true;
  rule_ = model::ConditionalRule();
  op_ = true;
  formulas_.clear();
  points_.clear();
  colors_.clear();
  pointNeedsFormula_ = false;
  const char* type = FindAttr(attrs, "type");
  type_ = type ? type : "";
  const char* id = FindAttr(attrs, "id");
  ruleId_ = id ? id : "";
  int64_t v;
  if (ParseInt(FindAttr(attrs, "dxfId"), v) && v >= 0 && uint64_t(v) < styles.dxfs.size()) {
    rule_.format = styles.dxfs[size_t(v)];
  }
  if (ParseInt(FindAttr(attrs, "priority"), v)) rule_.priority = v;
  rule_.stopIfTrue = XmlBool(FindAttr(attrs, "stopIfTrue"));
  if (const char* op = FindAttr(attrs, "operator")) {
    if (!CompareOpOf(op, rule_.op)) op_ = false;
  }
  if (const char* text = FindAttr(attrs, "text")) {
    rule_.text = text;
    hasText_ = true;
  } else {
    hasText_ = false;
  }
  double rank;
  const char* r = FindAttr(attrs, "rank");
  if (r && ParseNumber(r, rank)) rule_.rank = rank;
  rule_.percent = XmlBool(FindAttr(attrs, "percent"));
  rule_.bottom = XmlBool(FindAttr(attrs, "bottom"));
  rule_.above = XmlBool(FindAttr(attrs, "aboveAverage"), true);
  rule_.orEqual = XmlBool(FindAttr(attrs, "equalAverage"));
  if (ParseInt(FindAttr(attrs, "stdDev"), v))
    rule_.stdDev = static_cast<int32_t>(std::clamp<int64_t>(v, 0, 100));
}

void ConditionalFormattingReader::StartPoint(const XML_Char** attrs) {
  const char* t = FindAttr(attrs, "type");
  const char* val = FindAttr(attrs, "val");
  std::string_view type = t ? t : "";
  model::ScalePoint p;
  double v = 0;
  const bool number = val && ParseNumber(val, v);
  p.value = v;
  if (type == "min" || type == "autoMin") {
    p.kind = model::ScalePoint::Kind::Min;
  } else if (type == "max" || type == "autoMax") {
    p.kind = model::ScalePoint::Kind::Max;
  } else if (type == "num" || type == "formula") {
    p.kind = model::ScalePoint::Kind::Number;
    if (!number) pointNeedsFormula_ = true;
  } else if (type == "percent" || type == "percentile") {
    p.kind =
        type == "percent" ? model::ScalePoint::Kind::Percent : model::ScalePoint::Kind::Percentile;
    if (!number) pointNeedsFormula_ = true;
  } else {
    pointNeedsFormula_ = true;
  }
  if (points_.size() < 3) points_.push_back(p);
}

void ConditionalFormattingReader::StartColor(const XML_Char** attrs, const StyleMap& styles) {
  ColorAttrs c{FindAttr(attrs, "auto"), FindAttr(attrs, "rgb"), FindAttr(attrs, "theme"),
               FindAttr(attrs, "indexed"), FindAttr(attrs, "tint")};
  if (colors_.size() < 3) colors_.push_back(styles.colors.Resolve(c, 0));
}

model::RuleType ConditionalFormattingReader::RuleType() {
  if (type_ == "cellIs") {
    if (!op_) return model::RuleType::Unsupported;
    const bool two =
        rule_.op == model::CompareOp::Between || rule_.op == model::CompareOp::NotBetween;
    const size_t need = two ? 2 : 1;
    if (formulas_.size() < need) return model::RuleType::Unsupported;
    rule_.operands.resize(need);
    for (size_t i = 0; i < need; ++i) {
      if (!ConstantOperand(formulas_[i], rule_.operands[i])) return model::RuleType::NeedsFormula;
    }
    return model::RuleType::CellValue;
  }
  const bool scale = type_ == "colorScale";
  if (scale || type_ == "dataBar") {
    if (pointNeedsFormula_) return model::RuleType::NeedsFormula;
    if (points_.size() < 2 || colors_.empty() || (scale && colors_.size() != points_.size())) {
      return model::RuleType::Unsupported;
    }
    if (!scale) points_.resize(2);
    for (size_t i = 0; i < points_.size() && i < colors_.size(); ++i) points_[i].color = colors_[i];
    rule_.points = points_;
    return scale ? model::RuleType::ColorScale : model::RuleType::DataBar;
  }
  model::RuleType type;
  if (!SimpleRuleType(type_, type)) return model::RuleType::Unsupported;
  // The text rules name their text in an attribute; without it only the formula has it.
  const bool textRule = type >= model::RuleType::ContainsText && type <= model::RuleType::EndsWith;
  return textRule && !hasText_ ? model::RuleType::NeedsFormula : type;
}

void ConditionalFormattingReader::EndRule() {
  inRule_ = false;
  if (newer_) {
    // A newer data bar extends one of the first form (linked by id) with its lengths. The
    // other newer rules are there because their operands refer to other sheets or use
    // newer functions: they need formulas.
    if (type_ == "dataBar") {
      auto it = barIds_.find(ruleId_);
      if (it != barIds_.end()) {
        rules_[it->second].barMin = rule_.barMin;
        rules_[it->second].barMax = rule_.barMax;
      }
    } else if (type_ != "iconSet") {
      rule_.type = model::RuleType::NeedsFormula;
      pending_.push_back({std::move(rule_), {}});
    }
    return;
  }
  rule_.type = RuleType();
  pending_.push_back({std::move(rule_), type_ == "dataBar" ? ruleId_ : std::string()});
}

void ConditionalFormattingReader::EndElement() {
  // Its areas serve each of its rules; all rules together keep a bounded number of areas.
  std::vector<model::CellArea> areas = ParseSqref(sqref_);
  for (auto& [rule, id] : pending_) {
    if (rules_.size() >= model::ConditionalFormats::kMaxRules) break;
    const size_t room = kMaxAreas - std::min(kMaxAreas, areaCount_);
    rule.areas.assign(areas.begin(), areas.begin() + long(std::min(room, areas.size())));
    areaCount_ += rule.areas.size();
    if (!id.empty()) barIds_[id] = rules_.size();
    rules_.push_back(std::move(rule));
  }
  pending_.clear();
}

void ConditionalFormattingReader::Finish(model::Sheet& sheet) {
  for (model::ConditionalRule& r : rules_) sheet.Conditional().AddRule(std::move(r));
  rules_.clear();
  sheet.Conditional().Evaluate(sheet);
}

}  // namespace gridwell::xlsx
