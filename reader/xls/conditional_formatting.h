// The conditional formats of a worksheet substream: each CONDFMT record's areas and the CF
// records that follow it, with their differential formats (DXFN) and constant operands,
// and the priorities and stop flags that CFEX records (written by newer programs) add.
#pragma once

#include <unordered_map>
#include <vector>

#include "reader/model/conditional_format.h"
#include "reader/xls/record_stream.h"

namespace gridwell::xls {

struct Globals;

class ConditionalFormatRecords {
 public:
  explicit ConditionalFormatRecords(const Globals& g) : g_(g) {}
  // A CONDFMT, CF or CFEX record of the sheet.
  void Add(const Record& r);
  // Hands the rules to the sheet and works out their looks; call once the cells are read.
  void Finish(model::Sheet& sheet);

 private:
  void CondFmt(std::span<const uint8_t> b);
  void Cf(std::span<const uint8_t> b);
  void CfEx(std::span<const uint8_t> b);

  const Globals& g_;
  std::vector<model::CellArea> areas_;         // of the last CONDFMT
  int32_t rulesLeft_ = 0;                      // CF records it announced and not yet seen
  uint32_t id_ = 0;                            // its id, which CFEX records name
  uint32_t next_ = 0;                          // index of its next CF record
  std::unordered_map<uint32_t, size_t> byId_;  // (CONDFMT id << 16 | CF index) -> rule
  std::vector<model::ConditionalRule> rules_;
  size_t areaCount_ = 0;
};

}  // namespace gridwell::xls
