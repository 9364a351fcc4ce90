// Builds small .xlsx packages in memory for tests: hand-written parts zipped with libzip,
// for the cases a writer library does not produce (shared formulas, Strict namespaces,
// error cells, damaged or hostile parts).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace gridwell::xlsx::testing {

using Parts = std::vector<std::pair<std::string, std::string>>;

// Zips the parts in the order given (stored deflated).
std::vector<uint8_t> Zip(const Parts& parts);

// A one-sheet package around `sheetXml` (the whole worksheet part), with the given extra
// parts added or replacing the defaults by name. `sheetRels` is the worksheet's own
// relationships part, if any.
Parts MinimalParts(const std::string& sheetXml);
void SetPart(Parts& parts, const std::string& name, const std::string& text);
void RemovePart(Parts& parts, const std::string& name);

// Wraps sheetData content in a Transitional worksheet element.
std::string Sheet(const std::string& sheetData, const std::string& before = "",
                  const std::string& after = "");

}  // namespace gridwell::xlsx::testing
