// Conditional formats of a sheet: the rules the file readers found, and the looks those
// rules give each position once evaluated against the sheet's stored values. Rules whose
// condition is a formula are kept but not evaluated; they are counted instead.
#pragma once

#include <cstdint>
#include <optional>
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
};

// What the rules that apply at one position give it, merged in priority order.
struct ConditionalLook {
  DifferentialFormat format;
  // A data bar: the bar covers `barFraction` (0..1) of the cell's width from the left.
  bool hasBar = false;
  double barFraction = 0;
  uint32_t barColor = 0;
};

class ConditionalFormats {
 public:
  // Working out the looks of every covered position; call once the sheet's cells are read.
  void Evaluate(const Sheet& sheet);
  // The look the rules give the position, or null when none applies.
  const ConditionalLook* LookAt(int32_t row, int32_t col) const;
  // Rules left alone because they need a formula evaluated.
  int32_t UnevaluatedRules() const { return unevaluated_; }
  bool Empty() const { return looks_.empty(); }

 private:
  // Tests give positions looks directly (tests/support/conditional_looks.h).
  friend struct ConditionalLooksForTests;
  std::unordered_map<uint64_t, ConditionalLook> looks_;  // (row << 16 | col) -> look
  int32_t unevaluated_ = 0;
};

}  // namespace gridwell::model
