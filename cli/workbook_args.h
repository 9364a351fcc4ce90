// Shared pieces of the subcommands: opening a workbook with its password, choosing a sheet,
// parsing a cell range.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "reader/reader.h"

namespace gridwell::cli {

// Opens `path` (with `password` when given) and prints one line on stderr on failure.
// Returns kOk or the exit code for the failure.
int OpenWorkbook(const std::string& path, const std::string* password, ReaderWorkbook& out);

// A sheet by 1-based number ("2") or by name (without regard to case); null when absent.
ReaderWorksheet ChooseSheet(const ReaderWorkbook& book, const std::string& sheet);

struct CellRange {
  int32_t firstRow = 1, firstCol = 1, lastRow = INT32_MAX, lastCol = INT32_MAX;
  bool Contains(int32_t r, int32_t c) const {
    return r >= firstRow && r <= lastRow && c >= firstCol && c <= lastCol;
  }
};
// "B2:D5", "$A$1:$C$3" or a single "C7"; false when the text is not a reference.
bool ParseRange(std::string_view text, CellRange& out);

}  // namespace gridwell::cli
