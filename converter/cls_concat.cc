#include "converter/cls_concat.h"

#include <algorithm>
#include <limits>

namespace gridwell {

void clsConcat::ReInit() {
  buffer_ = std::string();
  length_ = 0;
  used_ = 0;
}

std::string clsConcat::GetString() {
  std::string out = std::move(buffer_);
  buffer_ = std::string();
  length_ = 0;
  return out;
}

void clsConcat::SetString(std::string_view text) {
  const size_t n = std::min<size_t>(text.size(), static_cast<size_t>(max_));
  std::string b;
  b.reserve(n + kGrowStep);
  b.append(text.substr(0, n));
  buffer_ = std::move(b);
  length_ = std::min<int64_t>(static_cast<int64_t>(n) + kGrowStep, max_);
  used_ = static_cast<int32_t>(n);
}

bool clsConcat::Grow(std::string_view text) {
  const int64_t n = static_cast<int64_t>(text.size());
  const int64_t u = used_;
  if (u + n > max_) return false;
  int64_t grow = n > u ? n : kGrowStep;
  if (length_ + grow < u + n) grow = u + n - length_;
  // The buffer never reaches past the limit, so that Append's test against the buffer's
  // length (its fast path) is also the test against the limit.
  length_ = std::min<int64_t>(length_ + grow, max_);
  if (static_cast<size_t>(length_) > buffer_.capacity()) {
    // At least double, so that a page of many steps is copied only a few times.
    buffer_.reserve(std::max(static_cast<size_t>(length_), buffer_.capacity() * 2));
  }
  buffer_.append(text);
  used_ = static_cast<int32_t>(u + n);
  return true;
}

}  // namespace gridwell
