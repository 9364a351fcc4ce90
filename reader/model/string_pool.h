// Strings of one workbook stored back to back in one buffer: a string costs its bytes
// plus one 8-byte offset, and cells refer to it by a 32-bit id.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gridwell::model {

class StringPool {
 public:
  StringPool() { starts_.push_back(0); }

  uint32_t Add(std::string_view s) {
    bytes_.append(s);
    starts_.push_back(bytes_.size());
    return static_cast<uint32_t>(starts_.size() - 2);
  }
  std::string_view Get(uint32_t id) const {
    if (id + 1 >= starts_.size()) return {};
    return std::string_view(bytes_).substr(starts_[id], starts_[id + 1] - starts_[id]);
  }
  size_t Count() const { return starts_.size() - 1; }
  size_t ByteSize() const { return bytes_.size(); }
  size_t MemoryUsage() const { return bytes_.capacity() + starts_.capacity() * sizeof(uint64_t); }
  void Reserve(size_t strings, size_t bytes) {
    starts_.reserve(strings + 1);
    bytes_.reserve(bytes);
  }
  void ShrinkToFit() {
    bytes_.shrink_to_fit();
    starts_.shrink_to_fit();
  }

 private:
  std::string bytes_;
  std::vector<uint64_t> starts_;
};

}  // namespace gridwell::model
