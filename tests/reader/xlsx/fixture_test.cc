// Workbooks written by libxlsxwriter (tests/tools/make_xlsx_fixtures.c), read back with
// the expectations a spreadsheet program shows for them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "reader/base/cell_ref.h"
#include "reader/reader.h"
#include "reader/xlsx/xlsx_reader.h"

namespace gridwell {
namespace {

ReaderWorkbook Open(const char* name) {
  ReadResult r = xlsx::ReadFile(std::string(GRIDWELL_SOURCE_DIR) + "/tests/data/xlsx/" + name);
  EXPECT_EQ(r.status.Code(), StatusCode::Ok) << name << ": " << r.status.Detail();
  return ReaderWorkbook(r.workbook);
}

ReaderCell At(const ReaderWorksheet& ws, const char* ref) {
  base::CellRef at;
  EXPECT_TRUE(base::ParseCellRef(ref, at)) << ref;
  return ws.Cells().Cell(at.row, at.col);
}

TEST(XlsxFixtures, ValuesOfEveryKind) {
  ReaderWorkbook wb = Open("values.xlsx");
  ReaderWorksheet ws = wb.Worksheets().Item(1);
  ASSERT_TRUE(ws);
  struct Case {
    const char* ref;
    ValueKind kind;
    double number;
    const char* text;
  } cases[] = {
      {"B1", ValueKind::Number, 42, nullptr},
      {"B2", ValueKind::Number, 3.14159, nullptr},
      {"B3", ValueKind::Number, 1234567.891, nullptr},
      {"B4", ValueKind::Number, 0.256, nullptr},
      {"B5", ValueKind::Number, -1234.5, nullptr},
      {"B6", ValueKind::Number, 12345678, nullptr},
      {"B7", ValueKind::Date, 45351, nullptr},  // 29 Feb 2024
      {"B8", ValueKind::Date, 45351 + (13 * 3600 + 45 * 60 + 30) / 86400.0, nullptr},
      {"B9", ValueKind::Date, 0.75, nullptr},
      {"B10", ValueKind::String, 0, "Hello, world"},
      {"B11", ValueKind::String, 0, "bold and italic"},
      {"B14", ValueKind::Number, 84, nullptr},
      {"B15", ValueKind::String, 0, "string!"},
      {"B18", ValueKind::String, 0, "日本語のテキスト"},
      {"B19", ValueKind::String, 0, "Crème brûlée à la française"},
      {"B20", ValueKind::Empty, 0, nullptr},
      {"B22", ValueKind::String, 0, "line one\nline two"},
  };
  for (const Case& c : cases) {
    ReaderCell cell = At(ws, c.ref);
    ASSERT_TRUE(cell) << c.ref;
    CellValue v = cell.Value();
    EXPECT_EQ(v.kind, c.kind) << c.ref;
    if (c.text) {
      EXPECT_EQ(v.text, c.text) << c.ref;
    }
    if (c.kind == ValueKind::Number || c.kind == ValueKind::Date) {
      EXPECT_NEAR(v.number, c.number, 1e-9) << c.ref;
    }
  }
  EXPECT_TRUE(At(ws, "B12").Value().boolean);
  EXPECT_EQ(At(ws, "B13").Value().kind, ValueKind::Boolean);
  EXPECT_FALSE(At(ws, "B13").Value().boolean);
  EXPECT_EQ(At(ws, "A1").Formula(), "");
}

TEST(XlsxFixtures, FormulasAndFormats) {
  ReaderWorkbook wb = Open("values.xlsx");
  ReaderWorksheet ws = wb.Worksheets().Item(1);
  EXPECT_EQ(At(ws, "B14").Formula(), "=B1*2");
  EXPECT_EQ(At(ws, "B15").Formula(), "=A10&\"!\"");
  // Every cell of an array formula's range shows the formula.
  EXPECT_EQ(At(ws, "B16").Formula(), "=B1:B2*2");
  EXPECT_EQ(At(ws, "B17").Formula(), "=B1:B2*2");
  EXPECT_EQ(At(ws, "B2").NumberFormat(), "0.00");
  EXPECT_EQ(At(ws, "B5").NumberFormat(), "$#,##0.00;[Red]($#,##0.00)");
  EXPECT_GE(At(ws, "B2").NumberFormatIndex(), 164);  // custom codes get ids from 164
  EXPECT_EQ(At(ws, "B21").NumberFormatIndex(), 10);  // built-in 0.00%
  EXPECT_EQ(At(ws, "B1").NumberFormatIndex(), 0);
  EXPECT_TRUE(At(ws, "B22").WrapText());
  EXPECT_EQ(At(ws, "B20").FillPattern(), 1);
  EXPECT_EQ(At(ws, "B20").FillColor(), 0x00FFFFu);  // yellow as 0x00BBGGRR
  EXPECT_EQ(At(ws, "B1").FillPattern(), 58);
  EXPECT_EQ(At(ws, "B1").FontName(), "Calibri");
  EXPECT_EQ(At(ws, "B1").FontSize(), 11);
}

TEST(XlsxFixtures, Fonts) {
  ReaderWorkbook wb = Open("styles.xlsx");
  ReaderWorksheet ws = wb.WorksheetByName("Fonts");
  ASSERT_TRUE(ws);
  EXPECT_TRUE(At(ws, "A1").Bold());
  EXPECT_FALSE(At(ws, "A2").Bold());
  EXPECT_TRUE(At(ws, "A2").Italic());
  const int underline[] = {1, 2, 33, 34};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(ws.Cells().Cell(3 + i, 1).Underline(), underline[i]) << "row " << 3 + i;
  }
  EXPECT_TRUE(At(ws, "A7").Strikethrough());
  EXPECT_EQ(At(ws, "A8").Escapement(), 1);
  EXPECT_EQ(At(ws, "A9").Escapement(), 2);
  EXPECT_EQ(At(ws, "A10").FontName(), "Times New Roman");
  EXPECT_EQ(At(ws, "A10").FontSize(), 14);
  EXPECT_EQ(At(ws, "A11").FontColor(), 0x0000FFu);
  EXPECT_EQ(At(ws, "A12").FontColor(), 0x996633u);
  EXPECT_EQ(At(ws, "A1").FontColor(), 0u);  // theme text colour: black
}

TEST(XlsxFixtures, FillsBordersAlignment) {
  ReaderWorkbook wb = Open("styles.xlsx");
  ReaderWorksheet fills = wb.WorksheetByName("Fills");
  EXPECT_EQ(At(fills, "A1").FillPattern(), 1);
  EXPECT_EQ(At(fills, "A1").FillColor(), 0x00FFFFu);
  // Green patterns on the default white background, shown mixed by the share of the tile
  // each paints: 1/2, 3/4, 1/4, four stripes and a grid of 1/2, a trellis of 3/4, four thin
  // stripes of 1/4, a thin grid of 7/16, a thin trellis of 3/8, 1/8 and 1/16.
  const uint32_t mixed[17] = {0x80C080, 0x40A040, 0xBFDFBF, 0x80C080, 0x80C080, 0x80C080,
                              0x80C080, 0x80C080, 0x40A040, 0xBFDFBF, 0xBFDFBF, 0xBFDFBF,
                              0xBFDFBF, 0x8FC78F, 0x9FCF9F, 0xDFEFDF, 0xEFF7EF};
  for (int p = 2; p <= 18; ++p) {
    ReaderCell c = fills.Cells().Cell(p, 1);
    EXPECT_EQ(c.FillPattern(), p);
    EXPECT_EQ(c.FillColor(), mixed[p - 2]) << p;
  }

  ReaderWorksheet borders = wb.WorksheetByName("Borders");
  for (int b = 1; b <= 13; ++b) {
    ReaderCell c = borders.Cells().Cell(b, 2);
    for (int side = 0; side < 4; ++side) EXPECT_EQ(c.BorderLineStyle(side), b) << b;
  }
  ReaderCell sides = At(borders, "B16");
  EXPECT_EQ(sides.BorderLineStyle(0), 1);
  EXPECT_EQ(sides.BorderLineStyle(1), 2);
  EXPECT_EQ(sides.BorderLineStyle(2), 3);
  EXPECT_EQ(sides.BorderLineStyle(3), 6);
  EXPECT_EQ(sides.BorderColor(0), 0x0000FFu);
  EXPECT_EQ(sides.BorderColor(1), 0x00FF00u);
  EXPECT_EQ(sides.BorderColor(2), 0xFF0000u);
  EXPECT_EQ(sides.BorderColor(3), 0x563412u);

  ReaderWorksheet align = wb.WorksheetByName("align");
  for (int i = 0; i < 7; ++i) EXPECT_EQ(align.Cells().Cell(i + 1, 1).HorizontalAlignment(), i + 1);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(align.Cells().Cell(i + 1, 2).VerticalAlignment(), i);
  EXPECT_EQ(At(align, "C1").IndentLevel(), 3);
  EXPECT_TRUE(At(align, "C2").WrapText());
  EXPECT_FALSE(At(align, "C1").WrapText());
}

TEST(XlsxFixtures, ColumnWidthsAndRowHeights) {
  ReaderWorkbook wb = Open("styles.xlsx");
  ReaderWorksheet ws = wb.WorksheetByName("Layout");
  // Widths as the file stores them: the characters set in the program plus the cell
  // padding of 5 pixels at 7 pixels per character (20 -> 20.7109375).
  ReaderColumns cols = ws.Columns();
  EXPECT_DOUBLE_EQ(cols.Item(1).Width(), 20.7109375);
  for (int c = 2; c <= 4; ++c) EXPECT_DOUBLE_EQ(cols.Item(c).Width(), 6.28515625);
  EXPECT_DOUBLE_EQ(cols.Item(5).Width(), 12.7109375);  // hidden: keeps its stored width
  EXPECT_DOUBLE_EQ(cols.Item(6).Width(), 8.43);
  ReaderRows rows = ws.Rows();
  EXPECT_DOUBLE_EQ(rows.Item(2).Height(), 600);
  EXPECT_DOUBLE_EQ(rows.Item(5).Height(), 150);
  EXPECT_DOUBLE_EQ(rows.Item(9).Height(), 400);  // the sheet's default of 20 points
  EXPECT_DOUBLE_EQ(wb.WorksheetByName("Fonts").Rows().Item(3).Height(), 300);
}

TEST(XlsxFixtures, SheetsVisibilityProtectionComments) {
  ReaderWorkbook wb = Open("sheets.xlsx");
  ReaderWorksheets sheets = wb.Worksheets();
  ASSERT_EQ(sheets.Count(), 5);
  const char* names[] = {"First", "Hidden", "Protected", "Notes", "Ünïcødé 表"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(sheets.Item(i + 1).Name(), names[i]);
    EXPECT_EQ(sheets.Item(i + 1).Index(), i + 1);
  }
  EXPECT_TRUE(sheets.Item(2).IsHidden());
  EXPECT_FALSE(sheets.Item(1).IsHidden());
  EXPECT_TRUE(sheets.Item(3).IsProtected());
  EXPECT_FALSE(sheets.Item(1).IsProtected());
  EXPECT_FALSE(wb.IsProtected());
  EXPECT_EQ(wb.WorksheetByName("NOTES").Index(), 4);
  EXPECT_FALSE(wb.WorksheetByName("Nope"));

  ReaderComments notes = wb.WorksheetByName("Notes").Comments();
  EXPECT_EQ(notes.Item(1, 1).Text(), "Plain note");
  EXPECT_EQ(notes.Item(4, 3).Text(), "Two lines\nof note, façade 注释");
  EXPECT_EQ(notes.Item(2, 2).Text(), "");
  EXPECT_EQ(At(sheets.Item(5), "A1").Value().text, "Ærøskøbing");
}

TEST(XlsxFixtures, SampleWorkbook) {
  ReaderWorkbook wb = Open("sample.xlsx");
  ASSERT_EQ(wb.Worksheets().Count(), 4);
  ReaderWorksheet sales = wb.WorksheetByName("Sales");
  EXPECT_EQ(At(sales, "A1").Value().text, "Region");
  EXPECT_TRUE(At(sales, "A1").Bold());
  EXPECT_EQ(At(sales, "C2").Value().kind, ValueKind::Date);
  EXPECT_EQ(At(sales, "G2").Formula(), "=D2*E2*(1-F2)");
  EXPECT_EQ(At(sales, "G26").Formula(), "=SUM(G2:G25)");
  EXPECT_EQ(At(sales, "G26").BorderLineStyle(2), 6);
  ReaderWorksheet contacts = wb.WorksheetByName("Contacts");
  EXPECT_EQ(At(contacts, "B2").Value().text, "ada@example.com");
  EXPECT_EQ(wb.WorksheetByName("Notes").Comments().Item(2, 1).Text(),
            "Checked against the ledger on 3 April.");
  EXPECT_EQ(At(wb.WorksheetByName("Styled"), "A1").FillColor(), 0x0000C0u);
}

}  // namespace
}  // namespace gridwell
