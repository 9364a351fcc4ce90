// [Content_Types].xml: the content type of each part, used to find the workbook part
// when the package relationships do not name it.
#pragma once

#include <string>
#include <vector>

#include "reader/xlsx/zip_package.h"

namespace gridwell::xlsx {

class ContentTypes {
 public:
  void Load(ZipPackage& pkg);
  // Part names (normalised) whose override names a spreadsheet workbook type (plain,
  // macro-enabled or template), in document order.
  const std::vector<std::string>& WorkbookParts() const { return workbookParts_; }

 private:
  std::vector<std::string> workbookParts_;
};

}  // namespace gridwell::xlsx
