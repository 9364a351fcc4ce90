// Conditional formats of real workbooks: the looks a spreadsheet program gives their cells,
// worked out by hand from each file's rules and values.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "reader/reader.h"
#include "tests/support/corpus.h"

namespace gridwell {
namespace {

// What one cell shows; unset parts are not checked, `none` means no rule applies.
struct Expect {
  const char* ref;
  bool none;
  std::optional<uint32_t> fill, font;  // 0x00BBGGRR
  std::optional<double> bar;
};
Expect None(const char* ref) {
  return {ref, true, {}, {}, {}};
}
Expect Fill(const char* ref, uint32_t fill) {
  return {ref, false, fill, {}, {}};
}
Expect Font(const char* ref, uint32_t font) {
  return {ref, false, {}, font, {}};
}
Expect FillFont(const char* ref, uint32_t fill, uint32_t font) {
  return {ref, false, fill, font, {}};
}
Expect Bar(const char* ref, double bar) {
  return {ref, false, {}, {}, bar};
}

void Check(const std::string& path, const std::vector<Expect>& cells, int unevaluated) {
  SCOPED_TRACE(path);
  ReaderApplication app;
  ASSERT_TRUE(app.Workbooks().Open(test::CorpusPath(path)));
  ReaderWorksheet ws = app.Workbooks().Workbook().Worksheets().Item(1);
  EXPECT_EQ(ws.UnevaluatedConditionalRules(), unevaluated);
  for (const Expect& e : cells) {
    SCOPED_TRACE(e.ref);
    base::CellRef ref;
    ASSERT_TRUE(base::ParseCellRef(e.ref, ref));
    const model::ConditionalLook* look = ws.ConditionalLookAt(ref.row, ref.col);
    if (e.none) {
      EXPECT_EQ(look, nullptr);
      continue;
    }
    ASSERT_NE(look, nullptr);
    if (e.fill) {
      EXPECT_EQ(look->format.fillColor, e.fill);
    }
    if (e.font) {
      EXPECT_EQ(look->format.fontColor, e.font);
    }
    if (e.bar) {
      EXPECT_NEAR(look->barFraction, *e.bar, 1e-9);
    }
  }
}

// One rule of each kind over columns of 1..10 (with a few values changed).
TEST(ConditionalFormatCorpus, OpenpyxlRuleGallery) {
  GRIDWELL_REQUIRE_CORPUS();
  const uint32_t pinkFill = 0xCEC7FF, redFont = 0x06009C;
  Check("openpyxl/conditional-formatting.xlsx",
        {
            Fill("A1", 0x2871FF),   // 2-colour scale over the whole column: min
            Fill("A15", 0x9CEFFF),  // max
            Fill("B1", 0x59BB9B),   // below the first point (3): accent 3
            Fill("B10", 0xBD814F),  // past the last point (7): accent 1
            Fill("D1", 0x59BB9B),   // points given as constant formulas
            None("R1"),             // between 2 and 7
            FillFont("R2", 0x9CEBFF, 0x00659C),
            FillFont("R7", 0x9CEBFF, 0x00659C),
            None("R8"),
            FillFont("S10", 0xCEEFC6, 0x006100),  // top 10 percent of ten cells: one
            None("S9"),
            Fill("T4", pinkFill),  // bottom 4
            None("T5"),
            Font("U6", redFont),  // above the average of 1..10
            None("U5"),
            Font("AB3", redFont),  // duplicates: 3, 3, 3 and 7, 7
            Font("AB8", redFont),
            None("AB6"),
            Fill("AC1", pinkFill),  // unique: all but the three 5s
            None("AC6"),
            FillFont("Q3", pinkFill, redFont),  // contains "3"
            None("Q2"),
            Bar("K1", 0.0),  // data bar lengths from its newer extension: 0-100%
            Bar("K10", 1.0),
            None("N1"),   // icon sets are not drawn
            None("AD5"),  // an expression: left alone
        },
        1);
}

// Rules of real programs that hide zeros: the font turns white where a value is zero (in
// the .xlsx, where it lies between -0.005 and 0.005, the bounds given in reverse).
TEST(ConditionalFormatCorpus, ZerosWrittenInWhite) {
  GRIDWELL_REQUIRE_CORPUS();
  const uint32_t white = 0xFFFFFF;
  Check("poi/integration/stress020.xlsx", {Font("C16", white), None("C15"), None("C17")}, 0);
  Check("exceldatareader/Test_Issue_11642_ValuesNotLoaded.xls",
        {Font("G16", white), Font("G29", white), None("G30")}, 0);
}

// .xls rules: texts compared with constants; a solid fill shows its background colour (the
// palette's light blue); rules whose condition is a formula are counted.
TEST(ConditionalFormatCorpus, XlsTextComparisons) {
  GRIDWELL_REQUIRE_CORPUS();
  Check("poi/spreadsheet/StringContinueRecords.xls",
        {Font("J4", 0x0000FF), Fill("T5", 0xFFCC99), None("A1")}, 27);
}

}  // namespace
}  // namespace gridwell
