// Every .xls of the shared corpus opens (or fails with a clear status) without a crash,
// leak or hang, and shows what the programs that wrote the files show.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reader/reader.h"
#include "reader/xls/xls_reader.h"
#include "tests/support/corpus.h"

namespace gridwell {
namespace {

std::string Corpus(const std::string& rel) {
  return test::CorpusPath(rel);
}

using Entry = test::ManifestEntry;
using test::Manifest;

// Reads every property the converter asks of every stored cell.
size_t Walk(const ReaderWorkbook& wb) {
  size_t n = 0;
  std::string sink;
  for (int i = 1; i <= wb.Worksheets().Count(); ++i) {
    ReaderWorksheet ws = wb.Worksheets().Item(i);
    sink += ws.Name();
    ReaderCells cells = ws.Cells();
    for (int k = 1; k <= cells.Count(); ++k, ++n) {
      ReaderCell c = cells.Item(k);
      c.Value();
      sink += c.Text();
      sink += c.Formula();
      sink += c.NumberFormat();
      sink += c.FontName();
      sink += ws.Comments().Item(c.Row(), c.Column()).Text();
      (void)(c.FillColor() + c.FontColor() + c.BorderColor(3) + c.BorderLineStyle(0));
      (void)(ws.Columns().Item(c.Column()).Width() + ws.Rows().Item(c.Row()).Height());
    }
    sink.clear();
  }
  return n;
}

TEST(XlsCorpus, EveryFileOpensOrFailsCleanly) {
  GRIDWELL_REQUIRE_CORPUS();
  size_t files = 0, opened = 0;
  for (const Entry& e : Manifest()) {
    if (e.format != "xls") continue;
    ++files;
    SCOPED_TRACE(e.path);
    bool known = e.encrypted == "yes" && e.KnownPassword();
    // libgsf refuses some damaged compound files that other readers patch up.
    bool damaged = e.notes.find("CFB problems") != std::string::npos;
    ReadResult r = xls::ReadFile(Corpus(e.path), known ? &e.password : nullptr);
    if (r.status.Code() == StatusCode::Ok) {
      ++opened;
      ASSERT_TRUE(r.workbook);
      Walk(ReaderWorkbook(r.workbook));
    } else {
      EXPECT_FALSE(r.workbook);
      EXPECT_FALSE(r.status.Detail().empty());
    }
    if (known && !damaged) {
      EXPECT_EQ(r.status.Code(), StatusCode::Ok) << r.status.Detail();
      std::string wrong = "not-the-password";
      ReadResult w = xls::ReadFile(Corpus(e.path), &wrong);
      if (e.password != "VelvetSweatshop") {
        EXPECT_EQ(w.status.Code(), StatusCode::WrongPassword);
      }
    }
    if (e.encrypted == "no" && !damaged && e.notes.find("BIFF8") != std::string::npos &&
        e.path.find("clusterfuzz") == std::string::npos) {
      EXPECT_EQ(r.status.Code(), StatusCode::Ok) << r.status.Detail();
    }
  }
  EXPECT_GT(files, 100u);
  EXPECT_GT(opened, 120u);
}

TEST(XlsCorpus, EncryptedWithoutPasswordAskForOne) {
  GRIDWELL_REQUIRE_CORPUS();
  struct Case {
    const char* path;
    StatusCode status;
    int probe;
  } cases[] = {
      {"sheetjs/password_2002_40_xor.xls", StatusCode::NeedPassword, 1},
      {"sheetjs/password_2002_128_strong.xls", StatusCode::NeedPassword, 1},
      {"poi/spreadsheet/51832.xls", StatusCode::NeedPassword, 1},
      // Opened by the default password: shown as plain workbooks.
      {"poi/spreadsheet/50833.xls", StatusCode::Ok, 0},
      {"calamine/issue_385.xls", StatusCode::Ok, 0},
      {"calamine/date.xls", StatusCode::Ok, 0},
      {"calamine/too_small.xls", StatusCode::Unreadable, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(xls::ReadFile(Corpus(c.path), nullptr).status.Code(), c.status) << c.path;
    EXPECT_EQ(xls::ProbeProtection(Corpus(c.path)), c.probe) << c.path;
  }
}

ReaderCell At(const ReaderWorkbook& wb, int sheet, int row, int col) {
  return wb.Worksheets().Item(sheet).Cells().Cell(row, col);
}

TEST(XlsCorpus, ValuesTheWritersShow) {
  GRIDWELL_REQUIRE_CORPUS();
  std::string password = "password";
  for (const char* path :
       {"sheetjs/password_2002_40_basecrypto.xls", "sheetjs/password_2002_40_xor.xls",
        "sheetjs/password_2002_128_strong.xls"}) {
    ReadResult r = xls::ReadFile(Corpus(path), &password);
    ASSERT_EQ(r.status.Code(), StatusCode::Ok) << path;
    ReaderWorkbook wb(r.workbook);
    ASSERT_EQ(wb.Worksheets().Count(), 3) << path;
    for (int row = 1; row <= 4; ++row) EXPECT_EQ(At(wb, 1, row, 1).Value().number, row) << path;
    EXPECT_EQ(At(wb, 1, 2, 2).Text(), "10") << path;
    EXPECT_EQ(At(wb, 1, 2, 2).Formula(), "=SUM(A1:A4)") << path;
  }

  ReadResult r = xls::ReadFile(Corpus("poi/spreadsheet/50833.xls"), nullptr);
  ASSERT_EQ(r.status.Code(), StatusCode::Ok);
  ReaderWorkbook wb(r.workbook);
  EXPECT_EQ(At(wb, 1, 1, 1).Value().text, "test cell value");
  EXPECT_FALSE(wb.Worksheets().Item(1).IsProtected());

  r = xls::ReadFile(Corpus("calamine/xls_formula.xls"), nullptr);
  ASSERT_EQ(r.status.Code(), StatusCode::Ok);
  wb = ReaderWorkbook(r.workbook);
  EXPECT_EQ(At(wb, 1, 2, 1).Formula(), "=A1*2");
  EXPECT_EQ(At(wb, 1, 3, 1).Formula(), "=2*Sheet2!A1");
  EXPECT_EQ(At(wb, 1, 4, 1).Text(), "65");

  // Dates: the 1900 and 1904 systems show the same day.
  for (const char* path : {"calamine/date.xls", "calamine/date_1904.xls"}) {
    r = xls::ReadFile(Corpus(path), nullptr);
    ASSERT_EQ(r.status.Code(), StatusCode::Ok) << path;
    wb = ReaderWorkbook(r.workbook);
    CellValue v = At(wb, 1, 1, 1).Value();
    EXPECT_EQ(v.kind, ValueKind::Date) << path;
    EXPECT_EQ(v.number, 44197) << path;  // 1 January 2021
  }

  // Workbook streams under other names, sheets hidden, and an SST split over CONTINUE.
  r = xls::ReadFile(Corpus("calamine/capitalized_wbook_stream.xls"), nullptr);
  EXPECT_EQ(r.status.Code(), StatusCode::Ok);
  r = xls::ReadFile(Corpus("calamine/any_sheets.xls"), nullptr);
  ASSERT_EQ(r.status.Code(), StatusCode::Ok);
  wb = ReaderWorkbook(r.workbook);
  int hidden = 0;
  for (int i = 1; i <= wb.Worksheets().Count(); ++i) hidden += wb.Worksheets().Item(i).IsHidden();
  EXPECT_EQ(hidden, 2);
  r = xls::ReadFile(Corpus("calamine/sst_continue.xls"), nullptr);
  ASSERT_EQ(r.status.Code(), StatusCode::Ok);
  EXPECT_EQ(ReaderWorkbook(r.workbook).Worksheets().Item(1).Cells().Count(), 136);
}

// Cell looks as a spreadsheet program shows them: pattern fills in the colour they look like,
// and the alignment and fonts of cell XFs whose used-attribute flags are clear.
TEST(XlsCorpus, LooksTheWritersShow) {
  GRIDWELL_REQUIRE_CORPUS();
  const struct {
    const char* path;
    int row, col;
    int hAlign, vAlign;
    uint32_t fill;  // 0x00BBGGRR; 0 for none
    const char* font;
    double size;
    bool bold;
    uint32_t color;
  } cases[] = {
      // 12.5% and 6.25% grey: black dots on white.
      {"calamine/optional_records.xls", 39, 1, 1, 2, 0xDFDFDF, "Times New Roman", 10, true, 0},
      {"poi/spreadsheet/StringContinueRecords.xls", 5, 19, 0, 0, 0xEFEFEF, "Arial", 8, false, 0},
      {"poi/spreadsheet/StringContinueRecords.xls", 5, 20, 0, 0, 0xEFEFEF, "Arial", 8, false, 0},
      {"xlrd/corrupted_error.xls", 1, 1, 2, 1, 0xCFCFCF, "Times New Roman", 20, true, 0},
      {"xlrd/corrupted_error.xls", 5, 5, 2, 2, 0, "Arial", 8, false, 0},
      // Bold Arial 15 in teal, then Arial 9 and 8.25: fonts past the skipped index 4.
      {"poi/spreadsheet/BOOK_in_capitals.xls", 1, 1, 1, 1, 0, "Arial", 15, true, 0x808000},
      {"poi/spreadsheet/BOOK_in_capitals.xls", 3, 1, 1, 1, 0, "Arial", 9, true, 0},
      {"poi/spreadsheet/BOOK_in_capitals.xls", 14, 1, 1, 1, 0, "Arial", 8.25, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " " + std::to_string(c.row) + "," + std::to_string(c.col));
    ReadResult r = xls::ReadFile(Corpus(c.path), nullptr);
    ASSERT_EQ(r.status.Code(), StatusCode::Ok);
    const ReaderCell cell = At(ReaderWorkbook(r.workbook), 1, c.row, c.col);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell.HorizontalAlignment(), c.hAlign);
    EXPECT_EQ(cell.VerticalAlignment(), c.vAlign);
    EXPECT_EQ(cell.FillColor(), c.fill);
    EXPECT_EQ(cell.FontName(), c.font);
    EXPECT_DOUBLE_EQ(cell.FontSize(), c.size);
    EXPECT_EQ(cell.Bold(), c.bold);
    EXPECT_EQ(cell.FontColor(), c.color);
  }
  // Every cell of that workbook is centred.
  ReadResult r = xls::ReadFile(Corpus("xlrd/corrupted_error.xls"), nullptr);
  ASSERT_EQ(r.status.Code(), StatusCode::Ok);
  const ReaderCells cells = ReaderWorkbook(r.workbook).Worksheets().Item(1).Cells();
  int centred = 0;
  for (int i = 1; i <= cells.Count(); ++i) centred += cells.Item(i).HorizontalAlignment() == 2;
  EXPECT_EQ(centred, cells.Count());
}

}  // namespace
}  // namespace gridwell
