// Rules of the format that the part readers apply: moving shared-formula references,
// theme tints, ISO 8601 dates, cell references, relationship targets, text escapes.
#include <gtest/gtest.h>

#include <string>

#include "reader/xlsx/cell_values.h"
#include "reader/xlsx/formula_shift.h"
#include "reader/xlsx/relationships.h"
#include "reader/xlsx/theme.h"
#include "reader/xlsx/xml_util.h"
#include "tests/support/colors.h"

namespace gridwell::xlsx {
namespace {

TEST(FormulaShift, MovesRelativeReferencesOnly) {
  struct Case {
    const char* formula;
    int dRow, dCol;
    const char* expected;
  } cases[] = {
      {"A1+B2", 1, 1, "B2+C3"},
      {"$A$1+A$1+$A1", 2, 3, "$A$1+D$1+$A3"},
      {"SUM(A1:B2)", 1, 0, "SUM(A2:B3)"},
      {"Sheet2!A1", 1, 0, "Sheet2!A2"},
      {"'My Sheet'!B2*'It''s'!C3", 0, 1, "'My Sheet'!C2*'It''s'!D3"},
      {"\"A1\"&A1", 1, 0, "\"A1\"&A2"},
      {"\"say \"\"B2\"\"\"&B2", 1, 0, "\"say \"\"B2\"\"\"&B3"},
      {"LOG10(A1)+ATAN2(A1,B1)", 1, 0, "LOG10(A2)+ATAN2(A2,B2)"},
      {"A1", -1, 0, "#REF!"},
      {"XFD1+A1", 0, 1, "#REF!+B1"},
      {"SUM(A:A)+SUM($B:C)", 0, 1, "SUM(B:B)+SUM($B:D)"},
      {"SUM(1:1)+SUM(2:$3)", 1, 0, "SUM(2:2)+SUM(3:$3)"},
      {"Table1[Col A1]+A1", 1, 1, "Table1[Col A1]+B2"},
      {"1E+5*A1+0.5", 1, 0, "1E+5*A2+0.5"},
      {"AB12!A1", 1, 0, "AB12!A2"},
      {"IF(A1>0,TRUE,FALSE)", 1, 0, "IF(A2>0,TRUE,FALSE)"},
      {"#REF!+A1+#N/A", 1, 0, "#REF!+A2+#N/A"},
      {"[1]Sheet1!A1", 1, 0, "[1]Sheet1!A2"},
      {"my_name+Sales2024+A1", 1, 0, "my_name+Sales2024+A2"},
      {"a1+b2", 1, 0, "A2+B3"},
  };
  for (const Case& c : cases) {
    std::string out;
    ShiftFormula(c.formula, c.dRow, c.dCol, out);
    EXPECT_EQ(out, c.expected) << c.formula;
  }
}

using test::NearColor;

TEST(ThemeTint, FollowsTheHslRule) {
  // Expected colours are what a spreadsheet's palette shows for the default theme.
  struct Case {
    uint32_t rgb;
    double tint;
    uint32_t expectedRgb;
  } cases[] = {
      {0x4472C4, 0.39997558519241921, 0x8EA9DB},  // accent 1, lighter 40%
      {0x4472C4, -0.249977111117893, 0x2F5597},   // accent 1, darker 25%
      {0xFFFFFF, -0.499984740745262, 0x808080},   // background 1, darker 50%
      {0x000000, 0.499984740745262, 0x808080},    // text 1, lighter 50%
      {0xED7D31, 0.79998168889431442, 0xFBE5D6},  // accent 2, lighter 80%
      {0x123456, 0, 0x123456},
  };
  auto bgr = [](uint32_t rgb) {
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(NearColor(ApplyTint(bgr(c.rgb), c.tint), bgr(c.expectedRgb)))
        << std::hex << c.rgb << " " << c.tint << " gave " << ApplyTint(bgr(c.rgb), c.tint);
  }
}

TEST(IsoDates, SerialsInBothDateSystems) {
  struct Case {
    const char* text;
    bool date1904;
    bool ok;
    double serial;
  } cases[] = {
      {"2024-02-29T12:00:00Z", false, true, 45351.5},
      {"1900-01-01", false, true, 1},
      {"1900-02-28", false, true, 59},
      {"1900-03-01", false, true, 61},
      {"1904-01-02T00:00:00", true, true, 1},
      {"2024-02-29T06:00:00.5", false, true, 45351.25 + 0.5 / 86400},
      {"12:00:00", false, true, 0.5},
      {"2024-13-01", false, false, 0},
      {"1899-01-01", false, false, 0},
      {"yesterday", false, false, 0},
      {"", false, false, 0},
  };
  for (const Case& c : cases) {
    double serial = -1;
    EXPECT_EQ(ParseIsoDate(c.text, c.date1904, serial), c.ok) << c.text;
    if (c.ok) {
      EXPECT_NEAR(serial, c.serial, 1e-9) << c.text;
    }
  }
}

TEST(CellRefs, LettersAndDigits) {
  int64_t row = 0, col = 0;
  EXPECT_TRUE(ParseCellRef("XFD1048576", row, col));
  EXPECT_EQ(row, 1048576);
  EXPECT_EQ(col, 16384);
  EXPECT_TRUE(ParseCellRef("ab12", row, col));
  EXPECT_EQ(col, 28);
  for (const char* bad : {"", "A", "12", "A1B", "ABCDE1", "A-1"}) {
    EXPECT_FALSE(ParseCellRef(bad, row, col)) << bad;
  }
}

TEST(RelationshipTargets, ResolveAgainstTheSourcePart) {
  struct Case {
    const char* source;
    const char* target;
    const char* expected;
  } cases[] = {
      {"xl/workbook.xml", "worksheets/sheet1.xml", "xl/worksheets/sheet1.xml"},
      {"xl/workbook.xml", "/xl/styles.xml", "xl/styles.xml"},
      {"xl/worksheets/sheet1.xml", "../comments1.xml", "xl/comments1.xml"},
      {"xl/worksheets/sheet1.xml", "../../../x.xml", "x.xml"},
      {"workbook.xml", "sheet%201.xml", "sheet 1.xml"},
      {"", "xl/workbook.xml", "xl/workbook.xml"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Relationships::ResolveTarget(c.source, c.target), c.expected) << c.target;
  }
  EXPECT_EQ(Relationships::RelsPartName("xl/workbook.xml"), "xl/_rels/workbook.xml.rels");
  EXPECT_EQ(Relationships::RelsPartName(""), "_rels/.rels");
}

TEST(TextEscapes, DecodeUtf16Units) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"a_x000D_b", "a\rb"},   {"_x005F_x000D_", "_x000D_"},
      {"_xD83D__xDE00_", "😀"}, {"_xD83D_", "\xEF\xBF\xBD"},  // a lone surrogate becomes U+FFFD
      {"_x00e9_", "é"},        {"_x12_ and _xZZZZ_", "_x12_ and _xZZZZ_"},
  };
  for (const Case& c : cases) {
    std::string s = c.in;
    DecodeEscapes(s);
    EXPECT_EQ(s, c.out) << c.in;
  }
}

}  // namespace
}  // namespace gridwell::xlsx
