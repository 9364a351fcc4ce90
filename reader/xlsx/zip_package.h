// The ZIP container of an .xlsx package: part lookup by name and bounded reads.
#pragma once

#include <expat.h>

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "reader/read_result.h"

typedef struct zip zip_t;

namespace gridwell::xlsx {

enum class PartStatus { Ok, Missing, Damaged, OverLimit };

class ZipPackage {
 public:
  explicit ZipPackage(const ReadLimits& limits) : limits_(limits) {}
  ~ZipPackage();
  ZipPackage(const ZipPackage&) = delete;
  ZipPackage& operator=(const ZipPackage&) = delete;

  // Unreadable when the archive cannot be opened or holds no entries.
  Status OpenFile(const std::string& path);
  // The bytes must outlive the package.
  Status OpenMemory(std::span<const uint8_t> bytes);

  // Part names are matched without regard to case, a leading "/" or backslash separators
  // (some writers store "xl\worksheets\sheet1.xml").
  bool Has(std::string_view partName) const;
  // Every entry name as normalised, for fallbacks that search the package.
  const std::unordered_map<std::string, uint64_t>& Entries() const { return entries_; }

  // Reads a whole part (small parts: workbook, styles, relationships).
  PartStatus Read(std::string_view partName, std::string& out, std::string& error);
  // Streams a part through an expat parser in large chunks without holding it whole.
  // Returns Ok also when the parser stopped on its own; `xmlError` tells a parse error.
  PartStatus Parse(std::string_view partName, XML_Parser parser, std::string& error);

  // Hands a part's bytes to `sink` piece by piece, as they are inflated; stops early when
  // the sink returns false.
  PartStatus Stream(std::string_view partName,
                    const std::function<bool(const char* data, size_t size)>& sink,
                    std::string& error);

  const ReadLimits& Limits() const { return limits_; }

  // A plausible upper bound of a part's uncompressed size, for sizing buffers ahead: the
  // size its header declares, capped by a realistic ratio over its compressed size and
  // by the package limit. 0 for a missing part.
  uint64_t SizeHint(std::string_view partName) const;

  static std::string Normalize(std::string_view name);

 private:
  struct Reader;
  Status Index();
  // Parse with the inflating on a second thread.
  PartStatus ParsePipelined(Reader& r, XML_Parser parser, std::string& error);

  ReadLimits limits_;
  zip_t* zip_ = nullptr;
  uint64_t fileSize_ = 0;
  uint64_t inflated_ = 0;  // uncompressed bytes read so far, over all parts
  std::unordered_map<std::string, uint64_t> entries_;  // normalised name -> entry index
};

}  // namespace gridwell::xlsx
