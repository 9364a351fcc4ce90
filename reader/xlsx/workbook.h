// The workbook part (xl/workbook.xml): sheets in order, their visibility, the date system
// and workbook protection.
#pragma once

#include <string>
#include <vector>

namespace gridwell::xlsx {

struct SheetEntry {
  std::string name;
  std::string relId;    // r:id of the sheet's part
  bool hidden = false;  // state "hidden" or "veryHidden"
};

struct WorkbookInfo {
  std::vector<SheetEntry> sheets;
  bool date1904 = false;
  bool isProtected = false;  // structure or windows locked
};

// Parses the workbook part's text. False when it is not a readable workbook part.
bool ParseWorkbookPart(const std::string& text, WorkbookInfo& out, std::string& error);

}  // namespace gridwell::xlsx
