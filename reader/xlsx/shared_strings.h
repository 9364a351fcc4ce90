// The shared string table (xl/sharedStrings.xml), streamed into the workbook's string pool.
#pragma once

#include <cstdint>
#include <string>

#include "reader/model/string_pool.h"
#include "reader/xlsx/zip_package.h"

namespace gridwell::xlsx {

struct SharedStrings {
  uint32_t firstId = 0;  // pool id of item 0
  uint32_t count = 0;    // items read

  bool Valid(uint64_t index) const { return index < count; }
  uint32_t Id(uint64_t index) const { return firstId + static_cast<uint32_t>(index); }
};

// Appends every item (rich-text runs joined, phonetic runs left out, escapes decoded) to
// `pool`. A damaged part keeps the items read before the damage.
PartStatus ReadSharedStrings(ZipPackage& pkg, const std::string& partName, uint64_t maxBytes,
                             model::StringPool& pool, SharedStrings& out, std::string& error);

}  // namespace gridwell::xlsx
