#include "reader/model/conditional_format.h"

namespace gridwell::model {

bool DifferentialFormat::Empty() const {
  if (fontColor || bold || italic || strike || underline || fillColor) return false;
  for (int side = 0; side < 4; ++side)
    if (borderStyle[side] || borderColor[side]) return false;
  return true;
}

void ConditionalFormats::Evaluate(const Sheet&) {}

const ConditionalLook* ConditionalFormats::LookAt(int32_t row, int32_t col) const {
  if (looks_.empty()) return nullptr;
  auto it = looks_.find((uint64_t(uint32_t(row)) << 16) | uint32_t(col));
  return it == looks_.end() ? nullptr : &it->second;
}

}  // namespace gridwell::model
