// Conditional formats of a sheet: the rules the file readers found, and the looks those
// rules give each position once evaluated against the sheet's stored values. Rules whose
// condition is a formula are kept but not evaluated; they are counted instead.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "reader/model/sheet_layout.h"

namespace gridwell::model {

class Sheet;

// The parts of a cell's look a rule may change; unset parts keep the cell's own look.
// Colours are 0x00BBGGRR.
struct DifferentialFormat {
  std::optional<uint32_t> fontColor;
  std::optional<bool> bold;
  std::optional<bool> italic;
  std::optional<bool> strike;
  std::optional<uint8_t> underline;  // as Font::underline
  std::optional<uint32_t> fillColor;
  std::optional<uint8_t> borderStyle[4];  // by BorderSide; codes as CellStyle
  std::optional<uint32_t> borderColor[4];

  bool Empty() const;
  // Sets the parts this format leaves unset from `later`, a rule of lower priority.
  void MergeUnset(const DifferentialFormat& later);
};

// What the rules that apply at one position give it, merged in priority order.
struct ConditionalLook {
  DifferentialFormat format;
  // A data bar: the bar covers `barFraction` (0..1) of the cell's width from the left.
  bool hasBar = false;
  double barFraction = 0;
  uint32_t barColor = 0;
};

// A constant a rule compares with. A rule whose operand is a reference or an expression
// has no constant and is not evaluated.
struct RuleOperand {
  enum class Kind : uint8_t { Number, Text, Boolean };
  Kind kind = Kind::Number;
  double number = 0;  // also the Boolean, 0 or 1
  std::string text;
};

// One point of a colour scale or one end of a data bar: where it sits among the range's
// numbers, and its colour.
struct ScalePoint {
  enum class Kind : uint8_t { Min, Max, Number, Percent, Percentile };
  Kind kind = Kind::Min;
  double value = 0;
  uint32_t color = 0;
};

enum class RuleType : uint8_t {
  CellValue,  // compares each value with one or two constants
  Top,        // top or bottom N, or N percent
  Average,    // above or below the range's average
  Duplicate,
  Unique,
  ContainsText,
  NotContainsText,
  BeginsWith,
  EndsWith,
  Blanks,
  NoBlanks,
  Errors,
  NoErrors,
  ColorScale,
  DataBar,
  NeedsFormula,  // expressions, time periods, operands that are not constants
  Unsupported,   // kept only so that priorities stay in order (icon sets)
};

enum class CompareOp : uint8_t {
  Between,
  NotBetween,
  Equal,
  NotEqual,
  Greater,
  Less,
  GreaterOrEqual,
  LessOrEqual
};

struct ConditionalRule {
  RuleType type = RuleType::Unsupported;
  int64_t priority = INT32_MAX;  // smaller applies first; equal ones keep file order
  bool stopIfTrue = false;
  std::vector<CellArea> areas;
  DifferentialFormat format;

  CompareOp op = CompareOp::Equal;  // CellValue
  std::vector<RuleOperand> operands;
  double rank = 10;  // Top: N, or N percent
  bool percent = false;
  bool bottom = false;
  bool above = true;  // Average
  bool orEqual = false;
  int32_t stdDev = 0;
  std::string text;                   // ContainsText, NotContainsText, BeginsWith, EndsWith
  std::vector<ScalePoint> points;     // ColorScale: 2 or 3; DataBar: 2 (bar colour in the first)
  double barMin = 0.1, barMax = 0.9;  // DataBar: shortest and longest bar, fractions of the cell
};

class ConditionalFormats {
 public:
  // Rules past this many are dropped: a sheet never needs more, a hostile file could.
  static constexpr size_t kMaxRules = 65536;

  void AddRule(ConditionalRule rule);
  const std::vector<ConditionalRule>& Rules() const { return rules_; }

  // Working out the looks of every covered position; call once the sheet's cells are read.
  // Only stored cells are looked at, so a rule over a whole sheet costs what the sheet's
  // cells cost; the work of all rules together is bounded.
  void Evaluate(const Sheet& sheet);
  // The look the rules give the position, or null when none applies.
  const ConditionalLook* LookAt(int32_t row, int32_t col) const;
  // Rules left alone because they need a formula evaluated (and, in a hostile file, those
  // past the work the sheet's size allows).
  int32_t UnevaluatedRules() const { return unevaluated_; }
  bool Empty() const { return looks_.empty(); }

 private:
  std::vector<ConditionalRule> rules_;
  size_t areaCount_ = 0;                                 // areas of all rules together
  // Tests give positions looks directly (tests/support/conditional_looks.h).
  friend struct ConditionalLooksForTests;
  std::unordered_map<uint64_t, ConditionalLook> looks_;  // (row << 16 | col) -> look
  int32_t unevaluated_ = 0;
};

}  // namespace gridwell::model
