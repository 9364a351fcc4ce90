// Feeds arbitrary bytes to the .xlsx reader as a package held in memory and walks what it
// returns, so that every value, text and format path runs on whatever the reader built.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "reader/reader.h"
#include "reader/xlsx/xlsx_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace gridwell;
  // Small bounds so that one input cannot make the reader hold more than a few hundred
  // megabytes: inflated bytes bound the cells and strings that can be stored.
  ReadLimits limits;
  limits.maxInflatedBytes = 16 << 20;
  limits.maxCompressionRatio = 200;
  limits.maxStringBytes = 8 << 20;
  // Half of the inputs read their sheets in runs of rows on a second thread.
  if (size % 2 == 1) limits.splitSheetsFrom = 1;
  ReadResult r = xlsx::ReadMemory(std::span<const uint8_t>(data, size), limits);
  if (r.status.Code() != StatusCode::Ok) return 0;
  ReaderWorkbook wb(r.workbook);
  ReaderWorksheets sheets = wb.Worksheets();
  std::string text;
  for (int i = 1; i <= sheets.Count(); ++i) {
    ReaderWorksheet ws = sheets.Item(i);
    (void)wb.WorksheetByName(ws.Name());
    ReaderCells cells = ws.Cells();
    for (int k = 1; k <= cells.Count(); ++k) {
      ReaderCell c = cells.Item(k);
      CellValue v = c.Value();
      text.clear();
      c.AppendText(text);
      size_t sink = text.size() + v.text.size() + c.Formula().size() + c.FontName().size() +
                    c.NumberFormat().size();
      sink += static_cast<size_t>(c.BorderLineStyle(k & 3)) + c.FillColor() + c.FontColor();
      sink += ws.Comments().Item(c.Row(), c.Column()).Text().size();
      sink += static_cast<size_t>(ws.Columns().Item(c.Column()).Width());
      sink += static_cast<size_t>(ws.Rows().Item(c.Row()).Height());
      if (sink == 1) text.push_back('x');  // keeps the reads from being optimised away
    }
  }
  return 0;
}
