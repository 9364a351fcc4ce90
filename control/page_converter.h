// The seam between the control and the page writers: the control drives the converter through
// this interface, so tests can watch the settings it assigns and the pages it asks for.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "converter/cls_html.h"

namespace gridwell {

class PageConverter {
 public:
  virtual ~PageConverter() = default;
  // The converter's public settings, assigned by the control before a page writer runs.
  virtual clsHTML& Fields() = 0;
  virtual void CreateHtmlFile(const std::string& HTMLfile, const std::string& Heading,
                              const std::string& Title, const std::string& BackgroundColor,
                              const std::string& BackgroundImageFile, const std::string& TableColor,
                              const std::string& TableImageFile) = 0;
  virtual void CreateStyledHtmlFile(const std::string& HTMLfile, const std::string& Heading,
                                    const std::string& Title, const std::string& BackgroundColor,
                                    const std::string& BackgroundImageFile,
                                    const std::string& TableColor,
                                    const std::string& TableImageFile) = 0;
  virtual int32_t SheetTotal() = 0;
  virtual std::vector<std::string> SheetNames() = 0;
  // Why the last page writer wrote no page (None when it wrote one), and a detail for the user:
  // which part or record of the workbook failed, which sheet is missing.
  virtual ConvertStop LastStop() { return ConvertStop::None; }
  virtual std::string LastStopDetail() { return {}; }
};

// The real converter, clsHTML.
std::unique_ptr<PageConverter> MakeHtmlConverter();

// True when the file at `path` can be read and is no workbook at all (neither an .xlsx package
// nor an .xls compound file), as opposed to a damaged one.
bool IsNotAWorkbookFile(const std::string& path);

}  // namespace gridwell
