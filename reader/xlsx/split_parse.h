// Big worksheet parts parsed in runs of rows on a second thread (see split_parse.cc).
#pragma once

#include <expat.h>

#include <cstddef>
#include <string>

#include "reader/xlsx/sheet_handlers.h"
#include "reader/xlsx/zip_package.h"

namespace gridwell::xlsx {

// Streams the part through `parser`, whose handlers build the sheet from `state`, and once
// inside sheetData hands runs of about `runBytes` of rows to a second thread. The sheet is
// the one a single parser would build; errors are those it would report.
PartStatus ParseInRuns(ZipPackage& pkg, const std::string& partName, SheetState& state,
                       XML_Parser parser, size_t runBytes, std::string& error);

}  // namespace gridwell::xlsx
