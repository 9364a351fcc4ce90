// The text accumulator: gathers one page in a single preallocated string with reserve
// characters at its end, so that most appends copy only the new piece.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace gridwell {

class clsConcat {
 public:
  // How many reserve characters a growth adds when the new piece is not longer than the
  // text gathered so far.
  static constexpr int32_t kGrowStep = 15000;

  // `maxLength` bounds the gathered text (the largest 32-bit signed count unless a caller,
  // such as a test, wants a smaller page limit).
  explicit clsConcat(int32_t maxLength = std::numeric_limits<int32_t>::max())
      : max_(maxLength < 0 ? 0 : maxLength) {}

  // Empties the accumulator.
  void ReInit();
  // The gathered text. Gives up the buffer's memory; the accumulator is spent afterwards
  // until ReInit (UsedLength keeps its value).
  std::string GetString();
  // Replaces the buffer by `text` followed by kGrowStep reserve characters; `text` becomes
  // the gathered text (so no reserve character can ever be handed out).
  void SetString(std::string_view text);
  // Adds `text` after the gathered text. Returns false, changing nothing, when the result
  // would be longer than MaxLength().
  bool Append(std::string_view text) {
    // length_ never exceeds max_, so a piece that passes this test keeps within the limit.
    const int64_t n = static_cast<int64_t>(text.size());
    if (static_cast<int64_t>(used_) + n >= length_) return Grow(text);
    buffer_.append(text);
    used_ += static_cast<int32_t>(n);
    return true;
  }

  // Sets aside memory for about `bytes` characters so that growing does not move the text;
  // the buffer's length and the gathered text do not change.
  void Reserve(size_t bytes) {
    if (bytes > buffer_.capacity()) buffer_.reserve(bytes);
  }

  int32_t UsedLength() const { return used_; }
  int32_t MaxLength() const { return max_; }
  // Length of the buffer, gathered text plus reserve.
  size_t BufferLength() const { return static_cast<size_t>(length_); }

 private:
  bool Grow(std::string_view text);

  // The buffer is length_ characters long: the used_ characters of gathered text, held in
  // buffer_, then reserve. The reserve exists as capacity of buffer_ only, so it is never
  // filled with zeros that would be overwritten anyway, and no reserve character can reach
  // a caller. std::string's capacity doubling keeps the physical copies amortised while the
  // buffer's length grows by the fixed steps.
  std::string buffer_;
  int64_t length_ = 0;
  int32_t used_ = 0;
  int32_t max_;
};

}  // namespace gridwell
