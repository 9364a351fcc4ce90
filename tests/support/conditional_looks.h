// Tests give positions of an in-memory sheet the look conditional formats would give them,
// without rules to evaluate: what the page writers do with a look, apart from how a file's
// rules produce it.
#pragma once

#include <cstdint>

#include "reader/model/conditional_format.h"

namespace gridwell::model {

struct ConditionalLooksForTests {
  static void Set(ConditionalFormats& formats, int32_t row, int32_t col,
                  const ConditionalLook& look) {
    formats.looks_[(uint64_t(uint32_t(row)) << 16) | uint32_t(col)] = look;
  }
  static void SetUnevaluated(ConditionalFormats& formats, int32_t count) {
    formats.unevaluated_ = count;
  }
};

}  // namespace gridwell::model
