// Differential fuzzing of the plain-form scanner of worksheet rows: whatever it takes must
// be well-formed for expat and give exactly expat's events.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "reader/xlsx/row_events.h"
#include "tests/reader/xlsx/row_event_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace gridwell::xlsx;
  const std::string run(reinterpret_cast<const char*>(data), size);
  std::string scanned;
  if (!ScanPlainRowEvents(run, scanned)) return 0;
  std::string parsed;
  if (!RecordRowEvents(run, parsed)) std::abort();
  if (RowEventLines(scanned) != RowEventLines(parsed)) std::abort();
  return 0;
}
