// Turns BIFF8 (and BIFF5) parsed formulas, the reverse Polish token streams of FORMULA,
// SHRFMLA and ARRAY records, into the text a spreadsheet shows ("=SUM(A1:B2)*2").
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace gridwell::xls {

// What formula text needs from the workbook globals: sheet names, the EXTERNSHEET
// table with its SUPBOOK records, defined names and add-in function names.
struct FormulaNames {
  struct SupBook {
    enum class Kind { Self, AddIn, External };
    Kind kind = Kind::Self;
    std::string file;                      // external workbooks: the file name
    std::vector<std::string> sheets;       // external workbooks: their sheet names
    std::vector<std::string> externNames;  // EXTERNNAME records, in order
  };
  struct Xti {
    uint16_t supBook = 0;
    int32_t first = 0;  // sheet indexes; negative when the reference is broken
    int32_t last = 0;
  };
  bool biff5 = false;
  std::vector<std::string> sheets;  // every BOUNDSHEET, in order
  std::vector<SupBook> supBooks;
  std::vector<Xti> xti;
  std::vector<std::string> names;  // NAME records, in order (ptgName counts from 1)
};

// One parsed formula. `row` and `col` (0-based) are the cell the formula belongs to:
// relative tokens (ptgRefN, ptgAreaN, and the 3-D ones of shared formulas) are offsets
// from it.
struct FormulaTokens {
  std::span<const uint8_t> tokens;  // rgce
  std::span<const uint8_t> extra;   // rgcb: constant arrays and ptgMemArea data
  int32_t row = 0;
  int32_t col = 0;
  bool shared = false;  // 3-D references carry offsets (shared formulas)
};

// Appends "=" and the formula text to `out`. False (and `out` unchanged) when the token
// stream is malformed, too deep or uses a token this reader does not show (data tables).
bool DecodeFormula(const FormulaNames& names, const FormulaTokens& f, std::string& out);

// The built-in functions by number (ptgFunc/ptgFuncVar iftab): name and the fixed
// argument count of ptgFunc (-1 when the count varies). Null name when unknown.
struct FunctionInfo {
  const char* name;
  int8_t fixedArgs;
};
FunctionInfo BuiltinFunction(uint16_t iftab);

// A sheet name as formulas write it: quoted ('My Sheet') when it needs quoting.
std::string QuoteSheetName(std::string_view name);
// The text of a built-in defined name by its NAME record code (6 -> "Print_Area").
const char* BuiltinDefinedName(uint8_t code);

}  // namespace gridwell::xls
