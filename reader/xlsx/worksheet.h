// A worksheet part (xl/worksheets/sheetN.xml), streamed: cells of every type, formulas
// (shared and array ones included), column widths, row heights, the sheet's defaults,
// its protection, and its look beyond the cells (merged areas, hidden rows and columns,
// gridlines, row and column formats). Memory does not grow with the part's size, only
// with the cells.
#pragma once

#include <cstdint>
#include <string>

#include "reader/model/workbook.h"
#include "reader/xlsx/shared_strings.h"
#include "reader/xlsx/styles.h"
#include "reader/xlsx/zip_package.h"

namespace gridwell::xlsx {

struct SheetContext {
  const SharedStrings* strings = nullptr;
  const StyleMap* styles = nullptr;
  bool date1904 = false;
  int64_t rowsWithCells = INT64_MAX;  // ReadLimits::rowsWithCells
};

// Reads the part into `sheet`. A part damaged midway keeps the cells read before the
// damage and reports Damaged; OverLimit means a package limit was hit.
PartStatus ReadWorksheet(ZipPackage& pkg, const std::string& partName, const SheetContext& ctx,
                         model::Sheet& sheet, std::string& error);

}  // namespace gridwell::xlsx
