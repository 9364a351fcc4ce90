#include "converter/cls_concat.h"

#include <algorithm>
#include <limits>

namespace gridwell {

void clsConcat::ReInit() {
  buffer_.clear();
  used_ = 0;
}

std::string clsConcat::GetString() {
  std::string out = std::move(buffer_);
  if (out.size() > static_cast<size_t>(used_)) out.resize(static_cast<size_t>(used_));
  buffer_ = std::string();
  return out;
}

void clsConcat::SetString(std::string_view text) {
  std::string b;
  b.reserve(text.size() + kGrowStep);
  b.append(text);
  b.append(kGrowStep, '\0');
  buffer_ = std::move(b);
  used_ = static_cast<int32_t>(std::min<size_t>(text.size(), std::numeric_limits<int32_t>::max()));
}

bool clsConcat::Grow(std::string_view text) {
  const int64_t n = static_cast<int64_t>(text.size());
  const int64_t u = used_;
  if (u + n > std::numeric_limits<int32_t>::max()) return false;
  int64_t grow = n > u ? n : kGrowStep;
  const int64_t have = static_cast<int64_t>(buffer_.size());
  if (have + grow < u + n) grow = u + n - have;
  buffer_.resize(static_cast<size_t>(have + grow), '\0');
  if (n != 0) text.copy(buffer_.data() + u, text.size());
  used_ = static_cast<int32_t>(u + n);
  return true;
}

}  // namespace gridwell
