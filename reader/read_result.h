// What a file reader hands back to the loader.
#pragma once

#include <memory>
#include <string>

#include "reader/model/workbook.h"

namespace gridwell {

enum class ReadStatus {
  Ok,
  Unreadable,     // not a workbook we can read, or damaged beyond use
  NeedPassword,   // encrypted and no password (nor the default one) opens it
  WrongPassword,  // encrypted and the given password does not open it
};

struct ReadResult {
  ReadStatus status = ReadStatus::Unreadable;
  std::shared_ptr<model::Workbook> workbook;  // set when status is Ok
  std::string error;                          // for logs: which part, record, offset

  static ReadResult Fail(ReadStatus s, std::string why) { return {s, nullptr, std::move(why)}; }
};

// Limits that keep hostile files from exhausting memory.
struct ReadLimits {
  uint64_t maxInflatedBytes = uint64_t{4} << 30;  // total uncompressed size of parts read
  uint64_t maxCompressionRatio = 1000;            // per part, above a 1 MiB floor
  uint64_t maxStringBytes = uint64_t{2} << 30;
  // Worksheet parts from this size on are parsed in pieces on a second thread. Not a
  // limit: tests and fuzzing lower it to run that path on small sheets.
  uint64_t splitSheetsFrom = uint64_t{8} << 20;
};

}  // namespace gridwell
