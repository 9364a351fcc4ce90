// Reads a worksheet part: one parser over the whole part, or, for big parts, runs of rows
// parsed on a second thread.
#include "reader/xlsx/worksheet.h"

#include <algorithm>

#include "reader/xlsx/sheet_handlers.h"
#include "reader/xlsx/split_parse.h"

namespace gridwell::xlsx {

PartStatus ReadWorksheet(ZipPackage& pkg, const std::string& partName, const SheetContext& ctx,
                         model::Sheet& sheet, std::string& error) {
  SheetState st;
  st.ctx = &ctx;
  st.sheet = &sheet;
  st.book = &sheet.Book();
  st.partSizeHint = pkg.SizeHint(partName);
  st.value.reserve(64);
  st.formula.reserve(64);
  XmlParser parser = NewHardenedParser(&st);
  XML_Parser p = parser.get();
  XML_SetElementHandler(p, OnSheetStart, OnSheetEnd);
  XML_SetCharacterDataHandler(p, OnSheetChars);
  PartStatus status;
  const uint64_t splitFrom = pkg.Limits().splitSheetsFrom;
  // Runs parsed ahead on the second thread could not stop at a row limit.
  if (st.partSizeHint >= splitFrom && ctx.rowsWithCells == INT64_MAX) {
    const size_t runBytes = static_cast<size_t>(
        std::clamp<uint64_t>(splitFrom / 8, uint64_t{4} << 10, uint64_t{1} << 20));
    status = ParseInRuns(pkg, partName, st, p, runBytes, error);
  } else {
    status = pkg.Parse(partName, p, error);
  }
  parser.reset();
  if (st.refused) {
    error = partName + ": document type declarations are not accepted";
    status = PartStatus::Damaged;
  }
  SpreadArrayFormulas(st);
  st.conditional.Finish(sheet);
  HideUnlistedRows(st);
  return status;
}

}  // namespace gridwell::xlsx
