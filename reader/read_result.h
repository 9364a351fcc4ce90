// What a file reader hands back to the loader.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "reader/model/workbook.h"
#include "reader/status.h"

namespace gridwell {

struct ReadResult {
  ReadResult(Status s) : status(std::move(s)) {}  // NOLINT: a failure converts implicitly
  ReadResult(Status s, std::shared_ptr<model::Workbook> book)
      : status(std::move(s)), workbook(std::move(book)) {}

  Status status;
  std::shared_ptr<model::Workbook> workbook;  // set when the status is Ok
};

// Limits that keep hostile files from exhausting memory.
struct ReadLimits {
  uint64_t maxInflatedBytes = uint64_t{4} << 30;  // total uncompressed size of parts read
  uint64_t maxCompressionRatio = 1000;            // per part, above a 1 MiB floor
  uint64_t maxStringBytes = uint64_t{2} << 30;
  // Worksheet parts from this size on are parsed in pieces on a second thread. Not a
  // limit: tests and fuzzing lower it to run that path on small sheets.
  uint64_t splitSheetsFrom = uint64_t{8} << 20;
  // Sheets past this many (in workbook order) are listed by name without reading their
  // cells: a reader that shows only the first sheet pays for no other.
  uint32_t sheetsWithCells = UINT32_MAX;
  // An .xlsx sheet's reading stops at its first row past this one: a reader that shows only
  // the top of a sheet pays nothing for the rest. What a sheet part keeps after its cells
  // (merged areas, conditional formats) is then not read either.
  int64_t rowsWithCells = INT64_MAX;
};

}  // namespace gridwell
