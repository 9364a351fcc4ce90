#include "reader/xlsx/xlsx_reader.h"

namespace gridwell::xlsx {

bool LooksLikeZip(std::span<const uint8_t> head) {
  return head.size() >= 4 && head[0] == 'P' && head[1] == 'K' && head[2] == 3 && head[3] == 4;
}
ReadResult ReadFile(const std::string&, const ReadLimits&) {
  return ReadResult::Fail(ReadStatus::Unreadable, "xlsx reader not built yet");
}
ReadResult ReadMemory(std::span<const uint8_t>, const ReadLimits&) {
  return ReadResult::Fail(ReadStatus::Unreadable, "xlsx reader not built yet");
}

}  // namespace gridwell::xlsx
