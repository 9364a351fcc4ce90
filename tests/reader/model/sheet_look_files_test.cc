// The sheet's look beyond its cells, read from real workbooks and the fixtures: merged
// areas, hidden rows and columns, gridlines, the formats of rows and columns, and cells that
// carry a format without a value or a value without a format. Where the corpus has the same
// sheet saved as .xls and .xlsx, both files must give the same answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "reader/base/cell_ref.h"
#include "reader/reader.h"
#include "tests/support/corpus.h"

namespace gridwell {
namespace {

ReaderWorkbook Open(ReaderApplication& app, const std::string& path) {
  if (!app.Workbooks().Open(path)) return {};
  return app.Workbooks().Workbook();
}

bool Has(const std::string& notes, const char* what) {
  return notes.find(what) != std::string::npos;
}

// The manifest notes merged cells (for .xls files), hidden rows and hidden columns; what the
// reader finds must agree both ways.
TEST(SheetLookFiles, CorpusAgreesWithTheManifest) {
  GRIDWELL_REQUIRE_CORPUS();
  int checked = 0;
  for (const test::ManifestEntry& e : test::Manifest()) {
    if (e.encrypted != "no") continue;
    ReaderApplication app;
    ReaderWorkbook wb = Open(app, test::CorpusPath(e.path));
    if (!wb) continue;
    SCOPED_TRACE(e.path);
    bool merges = false, hiddenRows = false, hiddenColumns = false;
    for (int i = 1; i <= wb.Worksheets().Count(); ++i) {
      ReaderWorksheet ws = wb.Worksheets().Item(i);
      ReaderCells cells = ws.Cells();
      int32_t maxRow = 0;
      for (int32_t k = 1; k <= cells.Count(); ++k) maxRow = std::max(maxRow, cells.Item(k).Row());
      for (int32_t r = 1; r <= std::max(maxRow + 1, 65536); ++r) {
        hiddenRows = hiddenRows || ws.RowHidden(r);
        for (int32_t c = 1; c <= 256 && !merges && r <= maxRow; ++c) merges = ws.MergedArea(r, c);
      }
      for (int32_t c = 1; c <= base::kMaxColumns; ++c) hiddenColumns |= ws.ColumnHidden(c);
    }
    if (e.format == "xls") {
      EXPECT_EQ(merges, Has(e.notes, "merged cells"));
    }
    EXPECT_EQ(hiddenRows, Has(e.notes, "hidden rows"));
    EXPECT_EQ(hiddenColumns, Has(e.notes, "hidden cols"));
    ++checked;
  }
  EXPECT_GT(checked, 300);
}

enum class Ask {
  Merge,      // the merged area over the position ("" none)
  RowHidden,  // "1" or "0"
  ColHidden,
  Gridlines,
  LooksLike,  // the position's row or column format is that of the cell named ("" none)
  BlankLike,  // a stored cell without a value, with the format of the cell named
  Look,       // the cell's font, size and alignments: "Calibri 11 left middle"
};

struct Probe {
  const char* path;  // in the corpus; "fixture:" for tests/data
  int sheet;
  const char* ref;
  Ask ask;
  const char* expect;
};

std::string AreaText(const model::CellArea* a) {
  if (!a) return "";
  return base::ColumnLetters(a->firstCol) + std::to_string(a->firstRow) + ":" +
         base::ColumnLetters(a->lastCol) + std::to_string(a->lastRow);
}

std::string LookText(const CellFormat& f) {
  static const char* const kH[] = {"general", "left",    "center", "right",
                                   "fill",    "justify", "across", "distributed"};
  static const char* const kV[] = {"top", "middle", "bottom", "justify", "distributed"};
  char size[16];
  std::snprintf(size, sizeof size, "%g", f.FontSize());
  return std::string(f.FontName()) + " " + size + " " + kH[f.HorizontalAlignment() & 7] + " " +
         kV[std::min(f.VerticalAlignment(), 4)];
}

std::optional<uint32_t> FormatOfCell(const ReaderWorksheet& ws, const std::string& ref) {
  base::CellRef at;
  if (!base::ParseCellRef(ref, at)) return std::nullopt;
  ReaderCell c = ws.Cells().Cell(at.row, at.col);
  if (!c) return std::nullopt;
  return c.FormatId();
}

std::string Answer(const ReaderWorksheet& ws, const base::CellRef& at, Ask ask,
                   const std::string& expect) {
  switch (ask) {
    case Ask::Merge:
      return AreaText(ws.MergedArea(at.row, at.col));
    case Ask::RowHidden:
      return ws.RowHidden(at.row) ? "1" : "0";
    case Ask::ColHidden:
      return ws.ColumnHidden(at.col) ? "1" : "0";
    case Ask::Gridlines:
      return ws.ShowsGridlines() ? "1" : "0";
    case Ask::LooksLike: {
      std::optional<CellFormat> f = ws.PositionFormat(at.row, at.col);
      if (!f) return "";
      return f->FormatId() == FormatOfCell(ws, expect) ? expect : "another format";
    }
    case Ask::BlankLike: {
      ReaderCell c = ws.Cells().Cell(at.row, at.col);
      if (!c) return "not stored";
      if (!c.Value().IsEmpty()) return "has a value";
      return c.FormatId() == FormatOfCell(ws, expect) ? expect : "another format";
    }
    case Ask::Look: {
      ReaderCell c = ws.Cells().Cell(at.row, at.col);
      return c ? LookText(c) : "not stored";
    }
  }
  return "";
}

// Expectations are what a spreadsheet program shows for these sheets.
const Probe kProbes[] = {
    // Merged areas, also given out of column order (H1:H2 first), and cells beside them.
    {"calamine/merged_range.xlsx", 1, "A2", Ask::Merge, "A1:A2"},
    {"calamine/merged_range.xls", 1, "A2", Ask::Merge, "A1:A2"},
    {"calamine/merged_range.xlsx", 1, "H2", Ask::Merge, "H1:H2"},
    {"calamine/merged_range.xls", 1, "H2", Ask::Merge, "H1:H2"},
    {"calamine/merged_range.xlsx", 1, "D3", Ask::Merge, "C3:D3"},
    {"calamine/merged_range.xls", 1, "D3", Ask::Merge, "C3:D3"},
    {"calamine/merged_range.xlsx", 1, "E3", Ask::Merge, ""},
    {"calamine/merged_range.xls", 1, "E3", Ask::Merge, ""},
    {"sheetjs/merge_cells.xlsx", 1, "B2", Ask::Merge, "A1:B2"},
    {"sheetjs/merge_cells.xls", 1, "B2", Ask::Merge, "A1:B2"},
    {"poi/spreadsheet/WORKBOOK_in_capitals.xls", 1, "H2", Ask::Merge, "B2:H2"},
    {"calamine/OOM_alloc.xls", 1, "N8", Ask::Merge, "I8:N8"},
    // 50,000 areas, every one kept.
    {"poi/spreadsheet/57893-many-merges.xlsx", 1, "B1", Ask::Merge, "A1:B1"},
    {"poi/spreadsheet/57893-many-merges.xlsx", 1, "C9976", Ask::Merge, "B9976:C9976"},
    {"poi/spreadsheet/57893-many-merges.xlsx", 1, "C9977", Ask::Merge, ""},
    {"poi/spreadsheet/57893-many-merges.xlsx", 1, "C50000", Ask::Merge, "B50000:C50000"},
    // Covered cells of a merged area are stored blanks with the area's format.
    {"sheetjs/merge_cells.xlsx", 1, "B2", Ask::BlankLike, "A1"},
    {"sheetjs/merge_cells.xls", 1, "B2", Ask::BlankLike, "A1"},
    {"exceldatareader/Test_Issue_11573_BlankValues.xlsx", 1, "C1", Ask::BlankLike, "B1"},
    // Hidden rows and columns, also empty rows past the last cell.
    {"exceldatareader/CollapsedHide.xlsx", 1, "A4", Ask::RowHidden, "1"},
    {"exceldatareader/CollapsedHide.xls", 1, "A4", Ask::RowHidden, "1"},
    {"exceldatareader/CollapsedHide.xlsx", 1, "A3", Ask::RowHidden, "0"},
    {"exceldatareader/CollapsedHide.xls", 1, "A3", Ask::RowHidden, "0"},
    {"exceldatareader/CollapsedHide.xlsx", 1, "A1", Ask::ColHidden, "1"},
    {"exceldatareader/CollapsedHide.xls", 1, "A1", Ask::ColHidden, "1"},
    {"exceldatareader/CollapsedHide.xlsx", 1, "B1", Ask::ColHidden, "0"},
    {"exceldatareader/CollapsedHide.xls", 1, "B1", Ask::ColHidden, "0"},
    {"sheetjs/comments_stress_test.xlsx", 1, "A3", Ask::RowHidden, "1"},
    {"sheetjs/comments_stress_test.xls", 1, "A3", Ask::RowHidden, "1"},
    {"sheetjs/comments_stress_test.xlsx", 1, "B1", Ask::ColHidden, "1"},
    {"sheetjs/comments_stress_test.xls", 1, "B1", Ask::ColHidden, "1"},
    {"xlsxwriter/set_column06.xlsx", 1, "F13", Ask::RowHidden, "1"},
    {"xlsxwriter/set_column06.xlsx", 1, "F13", Ask::ColHidden, "1"},
    {"calamine/errors.xlsx", 1, "A20", Ask::RowHidden, "1"},
    {"fixture:xlsx/styles.xlsx", 5, "E1", Ask::ColHidden, "1"},
    {"fixture:xlsx/styles.xlsx", 5, "D1", Ask::ColHidden, "0"},
    // Rows hidden by default: only the rows the sheet lists are shown.
    {"exceldatareader/Test_Issue_11573_BlankValues.xlsx", 1, "B1", Ask::RowHidden, "0"},
    {"exceldatareader/Test_Issue_11573_BlankValues.xlsx", 1, "B39", Ask::RowHidden, "1"},
    {"exceldatareader/Test_Issue_11573_BlankValues.xlsx", 1, "B38", Ask::RowHidden, "0"},
    {"exceldatareader/Test_Issue_11573_BlankValues.xlsx", 1, "B220", Ask::RowHidden, "1"},
    {"exceldatareader/Test_Issue_11573_BlankValues.xlsx", 1, "B221", Ask::RowHidden, "1"},
    {"exceldatareader/Test_Issue_11573_BlankValues.xlsx", 1, "G1", Ask::ColHidden, "0"},
    {"exceldatareader/Test_Issue_11573_BlankValues.xlsx", 1, "H1", Ask::ColHidden, "1"},
    // Gridlines.
    {"exceldatareader/Test_Issue_11573_BlankValues.xlsx", 1, "A1", Ask::Gridlines, "0"},
    {"calamine/issue_174.xlsx", 1, "A1", Ask::Gridlines, "0"},
    {"calamine/optional_records.xls", 1, "A1", Ask::Gridlines, "0"},
    {"calamine/optional_records.xls", 2, "A1", Ask::Gridlines, "1"},
    {"poi/spreadsheet/WORKBOOK_in_capitals.xls", 1, "A1", Ask::Gridlines, "0"},
    {"calamine/merged_range.xlsx", 1, "A1", Ask::Gridlines, "1"},
    // Row formats (rows 1-3) come before column formats (A, B, E).
    {"sheetjs/cell_style_simple.xlsx", 1, "K1", Ask::LooksLike, "A1"},
    {"sheetjs/cell_style_simple.xls", 1, "K1", Ask::LooksLike, "A1"},
    {"sheetjs/cell_style_simple.xlsx", 1, "K2", Ask::LooksLike, "A2"},
    {"sheetjs/cell_style_simple.xls", 1, "K2", Ask::LooksLike, "A2"},
    {"sheetjs/cell_style_simple.xlsx", 1, "A11", Ask::LooksLike, "A4"},
    {"sheetjs/cell_style_simple.xls", 1, "A11", Ask::LooksLike, "A4"},
    {"sheetjs/cell_style_simple.xlsx", 1, "E11", Ask::LooksLike, "E4"},
    {"sheetjs/cell_style_simple.xls", 1, "E11", Ask::LooksLike, "E4"},
    {"sheetjs/cell_style_simple.xlsx", 1, "C11", Ask::LooksLike, ""},
    {"sheetjs/cell_style_simple.xls", 1, "C11", Ask::LooksLike, ""},
    // BIFF5 and BIFF8 row formats.
    {"sheetjs/biff5/number_format_greek.xls", 3, "K3", Ask::LooksLike, "A3"},
    {"sheetjs/number_format.xls", 3, "K3", Ask::LooksLike, "A3"},
    // A cell stored without a format shows its column's.
    {"calamine/issue_174.xlsx", 1, "A2", Ask::Look, "Calibri 11 left middle"},
    {"calamine/issue_174.xlsx", 1, "L5", Ask::LooksLike, "A2"},
};

TEST(SheetLookFiles, ProbesOfRealSheets) {
  GRIDWELL_REQUIRE_CORPUS();
  for (const Probe& p : kProbes) {
    const std::string path = p.path;
    SCOPED_TRACE(path + " sheet " + std::to_string(p.sheet) + " " + p.ref);
    ReaderApplication app;
    ReaderWorkbook wb =
        Open(app, path.rfind("fixture:", 0) == 0
                      ? std::string(GRIDWELL_SOURCE_DIR) + "/tests/data/" + path.substr(8)
                      : test::CorpusPath(path));
    ASSERT_TRUE(wb);
    ReaderWorksheet ws = wb.Worksheets().Item(p.sheet);
    ASSERT_TRUE(ws);
    base::CellRef at;
    ASSERT_TRUE(base::ParseCellRef(p.ref, at));
    EXPECT_EQ(Answer(ws, at, p.ask, p.expect), p.expect);
  }
}

}  // namespace
}  // namespace gridwell
