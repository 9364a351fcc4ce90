// Every unencrypted .xlsx/.xlsm of the shared corpus of real workbooks: it opens (or is
// refused cleanly when it is not a workbook or a part its cells depend on is damaged),
// every cell's value, text and format can be read, and the facts the manifest documents
// (sheets, hidden sheets, date system, protection) come out as documented.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "reader/reader.h"
#include "reader/xlsx/xlsx_reader.h"
#include "tests/support/colors.h"
#include "tests/support/corpus.h"

namespace gridwell {
namespace {

struct Entry {
  std::string path, notes;
};

std::vector<Entry> ManifestEntries() {
  std::vector<Entry> out;
  for (const test::ManifestEntry& e : test::Manifest()) {
    // Encrypted packages are compound files for the decryption path, not zip packages.
    if ((e.format == "xlsx" || e.format == "xlsm") && e.encrypted == "no") {
      out.push_back({e.path, e.notes});
    }
  }
  return out;
}

using test::NearColor;

int NoteNumber(const std::string& notes, const std::string& pattern) {
  std::smatch m;
  if (std::regex_search(notes, m, std::regex(pattern))) return std::stoi(m[1]);
  return -1;
}

// Files the corpus documents as not being workbooks at all.
const std::set<std::string> kNotWorkbooks = {
    "openpyxl/null_file.xlsx", "openpyxl/null_archive.xlsx", "exceldatareader/EmptyZipFile.xlsx",
    "poi/openxml4j/invalid.xlsx"};
// Packages with a damaged part that the cells depend on, and the part the refusal names.
const std::map<std::string, std::string> kDamaged = {
    {"calamine/issue252.xlsx", "xl/_rels/workbook.xml.rels: CRC error"},
    {"poi/spreadsheet/clusterfuzz-testcase-minimized-POIXSSFFuzzer-5265527465181184.xlsx",
     "_rels/.rels: CRC error"},
    {"poi/spreadsheet/poc-xmlbomb.xlsx", "xl/sharedStrings.xml: document type declarations"},
    {"poi/spreadsheet/xlsx-corrupted.xlsx", "_rels/.rels: "}};
const std::set<std::string> kWorkbookProtected = {
    "poi/spreadsheet/workbookProtection_workbook_structure_protected.xlsx",
    "poi/spreadsheet/workbookProtection_workbook_revision_protected.xlsx",
    "poi/spreadsheet/workbookProtection-workbook_password-2013.xlsx",
    "poi/spreadsheet/workbookProtection-workbook_password_user_range-2010.xlsx"};
const std::set<std::string> kSheetProtected = {
    "xlsxwriter/protect02.xlsx",
    "xlsxwriter/protect03.xlsx",
    "xlsxwriter/protect05.xlsx",
    "xlsxwriter/protect08.xlsx",
    "poi/spreadsheet/sheetProtection_allLocked.xlsx",
    "poi/spreadsheet/workbookProtection_worksheet_protected.xlsx",
    "poi/spreadsheet/workbookProtection-sheet_password-2013.xlsx"};

TEST(XlsxCorpus, EveryPackageReadsAsDocumented) {
  GRIDWELL_REQUIRE_CORPUS();
  std::vector<Entry> entries = ManifestEntries();
  ASSERT_GT(entries.size(), 150u) << "the corpus manifest lists too few packages";
  int opened = 0;
  for (const Entry& e : entries) {
    SCOPED_TRACE(e.path);
    ReadResult r = xlsx::ReadFile(test::CorpusPath(e.path));
    if (kNotWorkbooks.count(e.path)) {
      EXPECT_EQ(r.status.Code(), StatusCode::Unreadable);
      continue;
    }
    if (auto damaged = kDamaged.find(e.path); damaged != kDamaged.end()) {
      EXPECT_EQ(r.status.Code(), StatusCode::Unreadable);
      EXPECT_NE(r.status.Detail().find(damaged->second), std::string::npos) << r.status.Detail();
      continue;
    }
    ASSERT_EQ(r.status.Code(), StatusCode::Ok) << r.status.Detail();
    ++opened;
    ReaderWorkbook wb(r.workbook);
    ReaderWorksheets sheets = wb.Worksheets();
    int sheetCount = NoteNumber(e.notes, R"((?:^|; )(\d+) sheets?(?:;|$))");
    if (sheetCount >= 0) {
      EXPECT_EQ(sheets.Count(), sheetCount);
    }
    int hiddenExpected = std::max(0, NoteNumber(e.notes, R"((\d+) hidden sheet)"));
    EXPECT_EQ(wb.Uses1904Dates(), e.notes.find("1904 date system") != std::string::npos);
    EXPECT_EQ(wb.IsProtected(), kWorkbookProtected.count(e.path) != 0);

    int hidden = 0;
    bool anySheetProtected = false;
    std::string text;
    for (int i = 1; i <= sheets.Count(); ++i) {
      ReaderWorksheet ws = sheets.Item(i);
      hidden += ws.IsHidden();
      anySheetProtected |= ws.IsProtected();
      ReaderCells cells = ws.Cells();
      for (int k = 1; k <= cells.Count(); ++k) {
        ReaderCell c = cells.Item(k);
        (void)c.Value();
        text.clear();
        c.AppendText(text);
        (void)c.Formula();
        (void)(c.FontName().size() + c.NumberFormat().size() + c.FillColor() + c.BorderColor(3));
        EXPECT_EQ(cells.Cell(c.Row(), c.Column()).Row(), c.Row());
      }
    }
    EXPECT_EQ(hidden, hiddenExpected);
    if (kSheetProtected.count(e.path)) {
      EXPECT_TRUE(anySheetProtected);
    }
    if (e.notes.find("sheetProtection element without sheet=1") != std::string::npos) {
      EXPECT_FALSE(anySheetProtected);
    }
  }
  EXPECT_GT(opened, 150);
}

// Sheets read in runs of rows (scanned or parsed on a second thread and replayed) hold
// exactly what one parser reads, on the XML real programs write.
TEST(XlsxCorpus, SplitReadingReadsWhatOneParserReads) {
  GRIDWELL_REQUIRE_CORPUS();
  ReadLimits split;
  split.splitSheetsFrom = 1;
  int compared = 0;
  for (const Entry& e : ManifestEntries()) {
    SCOPED_TRACE(e.path);
    const std::string path = test::CorpusPath(e.path);
    const ReadResult one = xlsx::ReadFile(path);
    const ReadResult runs = xlsx::ReadFile(path, split);
    ASSERT_EQ(one.status.Code(), runs.status.Code());
    if (one.status.Code() != StatusCode::Ok) continue;
    const ReaderWorksheets a = ReaderWorkbook(one.workbook).Worksheets();
    const ReaderWorksheets b = ReaderWorkbook(runs.workbook).Worksheets();
    ASSERT_EQ(a.Count(), b.Count());
    for (int i = 1; i <= a.Count(); ++i) {
      const ReaderCells ca = a.Item(i).Cells(), cb = b.Item(i).Cells();
      ASSERT_EQ(ca.Count(), cb.Count()) << "sheet " << i;
      for (int k = 1; k <= ca.Count(); ++k) {
        const ReaderCell x = ca.Item(k), y = cb.Item(k);
        ASSERT_EQ(x.Row(), y.Row());
        ASSERT_EQ(x.Column(), y.Column());
        const CellValue vx = x.Value(), vy = y.Value();
        EXPECT_EQ(vx.kind, vy.kind);
        EXPECT_EQ(vx.text, vy.text);
        if (vx.number == vx.number) {
          EXPECT_EQ(vx.number, vy.number);
        }
        EXPECT_EQ(x.Formula(), y.Formula());
        EXPECT_EQ(x.NumberFormat(), y.NumberFormat());
        EXPECT_EQ(x.FontName(), y.FontName());
        const model::ConditionalLook* lx = a.Item(i).ConditionalLookAt(x.Row(), x.Column());
        const model::ConditionalLook* ly = b.Item(i).ConditionalLookAt(y.Row(), y.Column());
        ASSERT_EQ(lx == nullptr, ly == nullptr);
        if (lx) {
          EXPECT_EQ(lx->format.fillColor, ly->format.fillColor);
        }
      }
      EXPECT_EQ(a.Item(i).UnevaluatedConditionalRules(), b.Item(i).UnevaluatedConditionalRules());
      ++compared;
    }
  }
  EXPECT_GT(compared, 150);
}

// Pattern fills in theme colours come out as LibreOffice Calc paints them (its PDF of the
// sheet, one step of rounding per channel): stripes, greys and grids of both weights.
TEST(XlsxCorpus, PatternFillsLookAsASpreadsheetShowsThem) {
  GRIDWELL_REQUIRE_CORPUS();
  const ReadResult r = xlsx::ReadFile(test::CorpusPath("sheetjs/cell_style_simple.xlsx"));
  ASSERT_EQ(r.status.Code(), StatusCode::Ok);
  const ReaderCells cells = ReaderWorkbook(r.workbook).Worksheets().Item(1).Cells();
  const struct {
    int row, col, pattern;
    uint32_t rgb;
  } cases[] = {{1, 1, 5, 0xDE814F},  {2, 1, 8, 0x656D93},  {3, 1, 3, 0x17365D},
               {3, 2, 4, 0x9F9D65},  {1, 5, 13, 0x564F80}, {6, 6, 15, 0xB57D1F},
               {1, 8, 15, 0x4C5F6A}, {10, 8, 12, 0x9C9DCA}};
  for (const auto& c : cases) {
    const ReaderCell cell = cells.Cell(c.row, c.col);
    EXPECT_EQ(cell.FillPattern(), c.pattern) << c.row << "," << c.col;
    const uint32_t bgr = (c.rgb & 0xFF) << 16 | (c.rgb & 0xFF00) | c.rgb >> 16;
    EXPECT_TRUE(NearColor(cell.FillColor(), bgr))
        << c.row << "," << c.col << ": " << std::hex << cell.FillColor();
  }
}

}  // namespace
}  // namespace gridwell
