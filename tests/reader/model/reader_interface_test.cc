// The reader interface over a workbook built in memory: null handles, values, dates,
// formats and protection.
#include <gtest/gtest.h>

#include <memory>

#include "reader/reader.h"

namespace gridwell {
namespace {

std::shared_ptr<model::Workbook> MakeBook() {
  auto book = std::make_shared<model::Workbook>();
  model::Sheet& s = book->AddSheet("Data");
  model::CellStyle dateStyle;
  dateStyle.numFmtId = 14;
  uint32_t date = book->AddStyle(dateStyle);
  model::CellStyle fancy;
  fancy.fontIndex = book->AddFont(model::Font{.name = "Courier New",
                                              .size = 12,
                                              .bold = true,
                                              .underline = 34,
                                              .escapement = 1,
                                              .color = 0x0000FF});
  fancy.hAlign = 3;
  fancy.fillPattern = 1;
  fancy.fillColor = 0x00FFFF;
  fancy.borderStyle[model::kTop] = 6;
  fancy.borderColor[model::kTop] = 0xFF0000;
  uint32_t f = book->AddStyle(fancy);
  s.SetNumber(1, 1, 42.5);
  s.SetNumber(1, 2, 39886, date);
  s.SetString(2, 1, "héllo", f);
  s.SetBool(2, 2, true);
  s.SetError(3, 1, ErrorCode::Div0);
  s.SetBlank(3, 2, f);
  s.SetNumber(4, 1, 3);
  s.SetFormula(4, 1, "=1+2");
  s.SetComment(2, 1, "a note");
  s.isProtected = true;
  book->isProtected = true;
  book->AddSheet("Second");
  book->Finish();
  return book;
}

TEST(ReaderInterface, NullHandlesAnswerEmptily) {
  ReaderWorkbook none;
  EXPECT_FALSE(none);
  EXPECT_EQ(none.Worksheets().Count(), 0);
  EXPECT_FALSE(none.Worksheets().Item(1));
  EXPECT_FALSE(none.WorksheetByName("x"));
  ReaderWorksheet sheet;
  EXPECT_EQ(sheet.Cells().Count(), 0);
  EXPECT_FALSE(sheet.Cells().Cell(1, 1));
  ReaderCell cell;
  EXPECT_TRUE(cell.Value().IsEmpty());
  EXPECT_EQ(cell.Text(), "");
  EXPECT_EQ(cell.FillPattern(), 58);
  EXPECT_EQ(sheet.Comments().Item(1, 1).Text(), "");
}

TEST(ReaderInterface, ValuesOfEveryKind) {
  ReaderWorkbook book(MakeBook());
  ReaderWorksheets sheets = book.Worksheets();
  ASSERT_EQ(sheets.Count(), 2);
  EXPECT_FALSE(sheets.Item(0));
  EXPECT_FALSE(sheets.Item(3));
  ReaderWorksheet s = sheets.Item(1);
  EXPECT_EQ(s.Name(), "Data");
  EXPECT_EQ(s.Index(), 1);
  ReaderCells cells = s.Cells();
  EXPECT_EQ(cells.Count(), 7);

  EXPECT_EQ(cells.Cell(1, 1).Value().kind, ValueKind::Number);
  EXPECT_DOUBLE_EQ(cells.Cell(1, 1).Value().number, 42.5);
  // A number in a date format is a date.
  EXPECT_EQ(cells.Cell(1, 2).Value().kind, ValueKind::Date);
  EXPECT_EQ(cells.Cell(2, 1).Value().text, "héllo");
  EXPECT_EQ(cells.Cell(2, 2).Value().kind, ValueKind::Boolean);
  EXPECT_EQ(cells.Cell(2, 2).Text(), "TRUE");
  EXPECT_EQ(cells.Cell(3, 1).Value().error, ErrorCode::Div0);
  EXPECT_EQ(cells.Cell(3, 1).Text(), "#DIV/0!");
  EXPECT_TRUE(cells.Cell(3, 2).Value().IsEmpty());
  EXPECT_EQ(cells.Cell(4, 1).Formula(), "=1+2");
  EXPECT_EQ(cells.Cell(1, 1).Formula(), "");
  EXPECT_FALSE(cells.Cell(9, 9));
  EXPECT_FALSE(cells.Cell(0, 1));
  EXPECT_EQ(cells.Item(1).Row(), 1);
  EXPECT_FALSE(cells.Item(0));
  EXPECT_FALSE(cells.Item(8));
  EXPECT_EQ(s.Comments().Item(2, 1).Text(), "a note");
}

TEST(ReaderInterface, DatesOf1904WorkbooksAreHandedOutIn1900Serials) {
  auto model = MakeBook();
  model->date1904 = true;
  ReaderWorkbook book(model);
  CellValue v = book.Worksheets().Item(1).Cells().Cell(1, 2).Value();
  EXPECT_EQ(v.kind, ValueKind::Date);
  EXPECT_DOUBLE_EQ(v.number, 39886 + 1462);
}

TEST(ReaderInterface, CellFormatProperties) {
  ReaderWorkbook book(MakeBook());
  ReaderCell c = book.Worksheets().Item(1).Cells().Cell(2, 1);
  EXPECT_EQ(c.FontName(), "Courier New");
  EXPECT_DOUBLE_EQ(c.FontSize(), 12);
  EXPECT_TRUE(c.Bold());
  EXPECT_FALSE(c.Italic());
  EXPECT_EQ(c.Underline(), 34);
  EXPECT_EQ(c.Escapement(), 1);
  EXPECT_EQ(c.FontColor(), 0x0000FFu);
  EXPECT_EQ(c.HorizontalAlignment(), 3);
  EXPECT_EQ(c.VerticalAlignment(), 2);
  EXPECT_EQ(c.FillPattern(), 1);
  EXPECT_EQ(c.FillColor(), 0x00FFFFu);
  EXPECT_EQ(c.BorderLineStyle(2), 6);
  EXPECT_EQ(c.BorderColor(2), 0xFF0000u);
  EXPECT_EQ(c.BorderLineStyle(0), 0);
  EXPECT_EQ(c.BorderLineStyle(7), 0);
  EXPECT_EQ(c.BorderLineStyle(-1), 0);
}

TEST(ReaderInterface, ProtectionAndUnprotect) {
  ReaderWorkbook book(MakeBook());
  EXPECT_TRUE(book.IsProtected());
  book.Unprotect();
  EXPECT_FALSE(book.IsProtected());
  ReaderWorksheet s = book.WorksheetByName("DATA");
  ASSERT_TRUE(s);
  EXPECT_TRUE(s.IsProtected());
  s.Unprotect();
  EXPECT_FALSE(book.Worksheets().Item(1).IsProtected());
}

TEST(ReaderInterface, LoaderReportsMissingAndNonWorkbookFiles) {
  ReaderApplication app;
  WorkbookLoader& loader = app.Workbooks();
  EXPECT_EQ(loader.IsPasswordProtected("/nonexistent/file.xls"), -1);
  EXPECT_FALSE(loader.Open("/nonexistent/file.xls"));
  EXPECT_FALSE(loader.Workbook());
  EXPECT_EQ(loader.LastStatus().Code(), StatusCode::Unreadable);
  EXPECT_EQ(loader.IsPasswordProtected(GRIDWELL_SOURCE_DIR "/CMakeLists.txt"), -1);
}

}  // namespace
}  // namespace gridwell
