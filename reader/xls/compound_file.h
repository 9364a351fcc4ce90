// Access to the OLE2 compound file that holds a .xls workbook (its "Workbook" or, in
// BIFF5 files, "Book" stream) or an encrypted .xlsx package (the "EncryptionInfo" and
// "EncryptedPackage" streams).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "reader/read_result.h"

namespace gridwell::xls {

struct CompoundStreams {
  enum class Kind { Workbook, EncryptedPackage };
  Kind kind = Kind::Workbook;
  std::vector<uint8_t> workbook;  // the BIFF record stream
  std::vector<uint8_t> encryptionInfo;
  std::vector<uint8_t> encryptedPackage;
  // What the container library said of damage it read past, one line; "" when nothing.
  std::string damage;
};

// Reads the streams a reader needs, from a file or from memory. Streams are read up to
// the bytes the container really holds and never beyond `limits.maxInflatedBytes`.
// Unreadable when the container is damaged or holds no workbook; the library's own words on
// the damage are in the status detail, or in `out.damage` when the read went on.
Status ReadCompoundFile(const std::string& path, const ReadLimits& limits, CompoundStreams& out);
Status ReadCompoundMemory(std::span<const uint8_t> bytes, const ReadLimits& limits,
                          CompoundStreams& out);

}  // namespace gridwell::xls
