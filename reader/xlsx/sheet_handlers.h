// The expat handlers that build a sheet from the events of its worksheet part: cells of
// every type, formulas (shared and array ones included), column widths, row heights, the
// sheet's defaults and its protection, merged areas, hidden rows and columns, gridlines,
// and the formats of rows and columns. A parser drives them, or the replay of events
// recorded on another thread (split_parse.h).
#pragma once

#include <expat.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "reader/model/workbook.h"
#include "reader/xlsx/worksheet.h"
#include "reader/xlsx/xml_util.h"

namespace gridwell::xlsx {

enum class CellType : uint8_t { Number, Shared, Str, Inline, Bool, Error, Date };

enum class FormulaKind : uint8_t { None, Normal, Shared, Array, DataTable };

struct SharedFormula {
  int64_t row, col;
  std::string text;
};

struct ArrayRange {
  int64_t firstRow, firstCol, lastRow, lastCol;
  uint32_t formulaCell;  // cell index of the master
};

// What the handlers know while a part is parsed. The parser's user data.
struct SheetState : XmlHandlerBase {
  const SheetContext* ctx = nullptr;
  model::Sheet* sheet = nullptr;
  model::Workbook* book = nullptr;

  int depth = 0;
  int sheetDataDepth = -1;  // depth of <sheetData>, -1 outside
  bool inCell = false;
  int inlineDepth = 0;  // > 0 inside <is>
  int phonetic = 0;     // > 0 inside <rPh>
  std::string* collect = nullptr;

  int64_t row = 0;  // current row, 1-based
  int64_t col = 0;  // column of the last cell in the row

  // The cell being read.
  int64_t cellRow = 0, cellCol = 0;
  CellType type = CellType::Number;
  uint32_t style = 0;
  bool hasStyle = false;
  bool hasValue = false;
  bool hasInline = false;
  FormulaKind fkind = FormulaKind::None;
  bool hasSi = false;
  uint64_t si = 0;
  std::string fref;
  std::string value, formula, inlineText, scratch;

  // The format of the current row (its `s` when customFormat is set), -1 when it has none:
  // cells without a format of their own take it, else their column's.
  int64_t rowStyle = -1;
  bool columnStyles = false;  // some column has a format
  bool sawSheetView = false;
  // Rows hidden by default (sheetFormatPr zeroHeight): the rows the part lists as shown.
  bool rowsHiddenByDefault = false;
  model::RowRuns shownRows;

  uint64_t partSizeHint = 0;
  // Split parsing: where the main parser's last row of sheetData ended (bytes of its own
  // input), and whether the document declared an encoding other than UTF-8.
  bool trackRowEnds = false;
  int64_t lastRowEnd = -1;
  bool foreignEncoding = false;
  std::unordered_map<uint64_t, SharedFormula> shared;
  std::vector<ArrayRange> arrays;
};

void XMLCALL OnSheetStart(void* state, const XML_Char* name, const XML_Char** attrs);
void XMLCALL OnSheetEnd(void* state, const XML_Char* name);
void XMLCALL OnSheetChars(void* state, const XML_Char* text, int len);
// The XML declaration: notes an encoding other than UTF-8, whose parts are never split.
void XMLCALL NoteSheetEncoding(void* state, const XML_Char* version, const XML_Char* encoding,
                               int standalone);

// After the parse: cells of an array formula's range other than the master show the same
// formula.
void SpreadArrayFormulas(SheetState& s);
// After the parse: in a sheet whose rows are hidden by default, every row not listed as
// shown is hidden.
void HideUnlistedRows(SheetState& s);

}  // namespace gridwell::xlsx
