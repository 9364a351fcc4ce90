// Feeds arbitrary bytes to the .xls reader as a compound file and walks what it gives.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "reader/reader.h"
#include "reader/xls/xls_reader.h"

// libgsf leaks a directory entry or two when it gives up on some malformed compound file
// directories (inside gsf_infile_msole_new, beyond the caller's reach). The fast unwinder
// stops in GLib's allocator, so the suppression names GLib; the reader itself allocates
// nothing through GLib.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libgsf-1.so\nleak:libglib-2.0.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace gridwell;
  ReadLimits limits;
  limits.maxInflatedBytes = 64u << 20;
  ReadResult r = xls::ReadMemory(std::span<const uint8_t>(data, size), nullptr, limits);
  if (r.status.Code() != StatusCode::Ok) return 0;
  ReaderWorkbook wb(r.workbook);
  std::string sink;
  for (int i = 1; i <= wb.Worksheets().Count(); ++i) {
    ReaderWorksheet ws = wb.Worksheets().Item(i);
    ReaderCells cells = ws.Cells();
    for (int k = 1; k <= cells.Count() && k <= 5000; ++k) {
      ReaderCell c = cells.Item(k);
      c.AppendText(sink);
      sink += c.Formula();
      sink += ws.Comments().Item(c.Row(), c.Column()).Text();
      sink.clear();
    }
  }
  return 0;
}
