// The text accumulator: gathers one page in a single preallocated string with reserve
// characters at its end, so that most appends copy only the new piece.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace gridwell {

class clsConcat {
 public:
  // How many reserve characters a growth adds when the new piece is not longer than the
  // text gathered so far.
  static constexpr int32_t kGrowStep = 15000;

  // Empties the accumulator.
  void ReInit();
  // The gathered text. Gives up the buffer's memory; the accumulator is spent afterwards
  // until ReInit (UsedLength keeps its value).
  std::string GetString();
  // Replaces the buffer by `text` followed by kGrowStep reserve characters; `text` becomes
  // the gathered text (so no reserve character can ever be handed out).
  void SetString(std::string_view text);
  // Adds `text` after the gathered text. Returns false, changing nothing, when the result
  // would be longer than the largest 32-bit signed count.
  bool Append(std::string_view text) {
    const int64_t n = static_cast<int64_t>(text.size());
    if (static_cast<int64_t>(used_) + n >= static_cast<int64_t>(buffer_.size())) return Grow(text);
    if (n != 0) text.copy(buffer_.data() + used_, text.size());
    used_ += static_cast<int32_t>(n);
    return true;
  }
  bool Append(char c) { return Append(std::string_view(&c, 1)); }

  // Sets aside memory for about `bytes` characters so that growing does not move the text;
  // the buffer's length and the gathered text do not change.
  void Reserve(size_t bytes) {
    if (bytes > buffer_.capacity()) buffer_.reserve(bytes);
  }

  int32_t UsedLength() const { return used_; }
  // Length of the buffer, gathered text plus reserve.
  size_t BufferLength() const { return buffer_.size(); }

 private:
  bool Grow(std::string_view text);

  // The first used_ characters are the text; the rest is reserve ('\0'). The buffer's
  // logical length grows by the fixed steps; std::string's own capacity doubling keeps the
  // physical copies amortised.
  std::string buffer_;
  int32_t used_ = 0;
};

}  // namespace gridwell
