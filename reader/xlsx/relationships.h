// Package relationships (_rels/*.rels): which part a workbook, sheet or comment refers to.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "reader/xlsx/zip_package.h"

namespace gridwell::xlsx {

struct Relationship {
  std::string id;
  std::string type;    // the last segment of the type URI ("worksheet", "styles", ...)
  std::string target;  // resolved part name without a leading "/"; "" for external targets
};

class Relationships {
 public:
  // Reads the relationships of `sourcePart` ("" for the package itself). A missing
  // relationships part (Missing) leaves the list empty; a damaged one (Damaged, with
  // `error` naming the part and the place) too, and the caller must not go on as if the
  // part had named nothing.
  PartStatus Load(ZipPackage& pkg, std::string_view sourcePart, std::string& error);

  const Relationship* ById(std::string_view id) const;
  const Relationship* FirstOfType(std::string_view type) const;
  const std::vector<Relationship>& All() const { return rels_; }

  // The name of the relationships part of `sourcePart`.
  static std::string RelsPartName(std::string_view sourcePart);
  // Resolves a target relative to the folder of `sourcePart`; "/x" is absolute.
  static std::string ResolveTarget(std::string_view sourcePart, std::string_view target);

 private:
  std::vector<Relationship> rels_;
};

// The folder of a part name including its trailing "/" ("xl/workbook.xml" -> "xl/").
std::string_view PartFolder(std::string_view partName);

}  // namespace gridwell::xlsx
