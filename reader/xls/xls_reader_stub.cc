#include <cstring>
#include <fstream>

#include "reader/xls/xls_reader.h"

namespace gridwell::xls {

bool LooksLikeCompoundFile(std::span<const uint8_t> head) {
  static const uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  return head.size() >= 8 && std::memcmp(head.data(), sig, 8) == 0;
}
int ProbeProtection(const std::string&) { return -1; }
ReadResult ReadFile(const std::string&, const std::string*, const ReadLimits&) {
  return ReadResult::Fail(ReadStatus::Unreadable, "xls reader not built yet");
}
ReadResult ReadMemory(std::span<const uint8_t>, const std::string*, const ReadLimits&) {
  return ReadResult::Fail(ReadStatus::Unreadable, "xls reader not built yet");
}

}  // namespace gridwell::xls
