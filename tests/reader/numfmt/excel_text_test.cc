// Format codes against what a spreadsheet program itself made of them: workbooks whose
// rows hold an expected text (the cached result of the program's TEXT function), a format
// code and a value. The expectations come from the program, not from this engine.
#include <gtest/gtest.h>

#include <string>

#include "reader/base/date_serial.h"
#include "reader/numfmt/numfmt.h"
#include "reader/reader.h"
#include "tests/support/corpus.h"

namespace gridwell::numfmt {
namespace {

constexpr double k1904Offset = static_cast<double>(base::k1904Offset);

class ExcelText : public ::testing::TestWithParam<const char*> {};

TEST_P(ExcelText, EveryRowMatches) {
  GRIDWELL_REQUIRE_CORPUS();
  std::string path = test::CorpusPath(std::string("poi/spreadsheet/") + GetParam());
  WorkbookLoader loader;
  ASSERT_TRUE(loader.Open(path)) << loader.LastStatus().Detail();
  ReaderWorkbook book = loader.Workbook();
  bool date1904 = book.Uses1904Dates();
  ReaderCells cells = book.Worksheets().Item(2).Cells();
  int checked = 0;
  for (int32_t row = 2; row <= 1000; ++row) {
    ReaderCell expected = cells.Cell(row, 1), code = cells.Cell(row, 2), value = cells.Cell(row, 3);
    if (!expected || !code || !value) continue;
    CellValue e = expected.Value(), c = code.Value(), v = value.Value();
    if (e.kind != ValueKind::String || e.text.empty() || c.kind != ValueKind::String) continue;
    if (v.kind != ValueKind::Number && v.kind != ValueKind::Date) continue;
    double number = v.number;
    // Dates come out in the 1900 system; the codes apply to the workbook's own serials.
    if (v.kind == ValueKind::Date && date1904) number -= k1904Offset;
    EXPECT_EQ(FormatNumber(number, c.text, RegionalSettings::EnglishUS(), date1904), e.text)
        << GetParam() << " row " << row << ": " << number << " by " << c.text;
    ++checked;
  }
  EXPECT_GT(checked, 10);
}

INSTANTIATE_TEST_SUITE_P(Workbooks, ExcelText,
                         ::testing::Values("NumberFormatTests.xlsx", "GeneralFormatTests.xlsx",
                                           "ElapsedFormatTests.xlsx", "FormatChoiceTests.xlsx",
                                           "DateFormatTests.xlsx"));

}  // namespace
}  // namespace gridwell::numfmt
