// Records of BIFF workbooks built in memory: what each record gives the workbook, and
// broken streams that must fail cleanly.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "biff_builder.h"
#include "reader/reader.h"
#include "reader/xls/xls_reader.h"

namespace gridwell::xls::test {
namespace {

ReadResult ReadStream(const Bytes& stream, const char* streamName = "Workbook",
                      const std::string* password = nullptr) {
  Bytes file = CompoundFile(stream, streamName);
  return ReadMemory(file, password);
}

ReaderWorkbook Open(const Bytes& stream, const char* streamName = "Workbook") {
  ReadResult r = ReadStream(stream, streamName);
  EXPECT_EQ(r.status.Code(), StatusCode::Ok) << r.status.Detail();
  return ReaderWorkbook(r.workbook);
}

Bytes Cell(uint16_t type, uint16_t row, uint16_t col, uint16_t xf, const Body& rest) {
  Body b;
  b.u16(row).u16(col).u16(xf).bytes(rest.b);
  return Record(type, b);
}

uint32_t RkInt(int32_t v, bool times100 = false) {
  return (static_cast<uint32_t>(v) << 2) | 2u | (times100 ? 1u : 0u);
}

// FORMULA: the cached value (8 bytes), options, then the tokens.
Bytes Formula(uint16_t row, uint16_t col, const Body& value, const Bytes& tokens) {
  Body b;
  b.bytes(value.b).u16(0).u32(0).u16(static_cast<uint16_t>(tokens.size())).bytes(tokens);
  return Cell(0x0006, row, col, 15, b);
}
Body SpecialResult(uint8_t type, uint8_t value) {
  Body b;
  b.u8(type).u8(0).u8(value).u8(0).u8(0).u8(0).u16(0xFFFF);
  return b;
}

std::vector<Bytes> Plus(std::vector<Bytes> a, const std::vector<Bytes>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

CellValue ValueAt(const ReaderWorkbook& wb, int row, int col, int sheet = 1) {
  return wb.Worksheets().Item(sheet).Cells().Cell(row, col).Value();
}

TEST(XlsRecords, CellValuesOfEveryRecord) {
  std::vector<Bytes> cells = {
      Cell(0x0203, 0, 0, 15, Body().f64(3.25)),
      Cell(0x027E, 0, 1, 15, Body().u32(RkInt(42))),
      Cell(0x027E, 0, 2, 15, Body().u32(RkInt(1234, true))),
      Cell(0x027E, 0, 3, 15, Body().u32(0x3FF80000)),  // the high half of 1.5
      Record(0x00BD, Body().u16(1).u16(0).u16(15).u32(RkInt(5)).u16(15).u32(RkInt(-6)).u16(1)),
      Cell(0x0205, 2, 0, 15, Body().u8(1).u8(0)),
      Cell(0x0205, 2, 1, 15, Body().u8(0x07).u8(1)),
      Cell(0x0204, 3, 0, 15, Body().str16("label")),
      Cell(0x0201, 4, 0, 15, Body()),
      Record(0x00BE, Body().u16(4).u16(1).u16(15).u16(15).u16(15).u16(3)),
      Formula(5, 0, SpecialResult(0, 0), {0x17, 3, 0, 'a', 'b', 'c'}),
      Record(0x0207, Body().str16("computed")),
      Formula(5, 1, SpecialResult(1, 1), {0x1D, 1}),
      Formula(5, 2, SpecialResult(2, 0x2A), {0x1C, 0x2A}),
      Formula(5, 3, SpecialResult(3, 0), {0x17, 0, 0}),
      Formula(5, 4, Body().f64(4.25), {0x44, 0, 0, 0, 0xC0, 0x1E, 1, 0, 0x03}),
  };
  ReaderWorkbook wb = Open(Biff8Stream(DefaultFormats(), {{"Data", cells}}));
  ASSERT_TRUE(wb);
  struct Case {
    int row, col;
    ValueKind kind;
    double number;
    const char* text;
    const char* formula;
  } cases[] = {
      {1, 1, ValueKind::Number, 3.25, "3.25", ""},
      {1, 2, ValueKind::Number, 42, "42", ""},
      {1, 3, ValueKind::Number, 12.34, "12.34", ""},
      {1, 4, ValueKind::Number, 1.5, "1.5", ""},
      {2, 1, ValueKind::Number, 5, "5", ""},
      {2, 2, ValueKind::Number, -6, "-6", ""},
      {3, 1, ValueKind::Boolean, 0, "TRUE", ""},
      {3, 2, ValueKind::Error, 0, "#DIV/0!", ""},
      {4, 1, ValueKind::String, 0, "label", ""},
      {5, 1, ValueKind::Empty, 0, "", ""},
      {5, 3, ValueKind::Empty, 0, "", ""},
      {6, 1, ValueKind::String, 0, "computed", "=\"abc\""},
      {6, 2, ValueKind::Boolean, 0, "TRUE", "=TRUE"},
      {6, 3, ValueKind::Error, 0, "#N/A", "=#N/A"},
      {6, 4, ValueKind::String, 0, "", "=\"\""},
      {6, 5, ValueKind::Number, 4.25, "4.25", "=A1+1"},
  };
  ReaderCells c = wb.Worksheets().Item(1).Cells();
  for (const Case& k : cases) {
    ReaderCell cell = c.Cell(k.row, k.col);
    ASSERT_TRUE(cell) << k.row << "," << k.col;
    EXPECT_EQ(cell.Value().kind, k.kind) << k.row << "," << k.col;
    if (k.kind == ValueKind::Number) {
      EXPECT_DOUBLE_EQ(cell.Value().number, k.number);
    }
    EXPECT_EQ(cell.Text(), k.text) << k.row << "," << k.col;
    EXPECT_EQ(cell.Formula(), k.formula) << k.row << "," << k.col;
  }
  EXPECT_FALSE(c.Cell(5, 5));
}

TEST(XlsRecords, SharedStringsAcrossContinue) {
  Body sst;
  sst.u32(5).u32(1000000);  // a unique count that lies
  sst.str16("plain");
  sst.u16(4).u8(0x08).u16(2).raw("rich").u32(0).u32(0x00010002);  // two formatting runs
  sst.u16(3).u8(0x04).u32(6).raw("ext").bytes(Bytes(6, 0xEE));    // a phonetic block
  sst.u16(10).u8(0).raw("abcde");                                 // split at the boundary
  Body cont;
  cont.u8(0x01);  // the rest is 16-bit
  for (char ch : std::string("fghij")) cont.u16(static_cast<uint8_t>(ch));
  cont.u16(3).u8(0x01).u16(0xDC).u16('n').u16(0xEF);  // "Ünï" in UTF-16
  std::vector<Bytes> globals = Plus(DefaultFormats(), {Record(0x00FC, sst), Record(0x003C, cont)});
  std::vector<Bytes> cells;
  for (uint16_t i = 0; i < 6; ++i) {
    cells.push_back(Cell(0x00FD, i, 0, 15, Body().u32(i == 5 ? 99 : i)));
  }
  ReaderWorkbook wb = Open(Biff8Stream(globals, {{"S", cells}}));
  ASSERT_TRUE(wb);
  const char* expected[] = {"plain", "rich", "ext", "abcdefghij", "\xC3\x9Cn\xC3\xAF", ""};
  for (int i = 0; i < 6; ++i) {
    CellValue v = ValueAt(wb, i + 1, 1);
    EXPECT_EQ(v.kind, ValueKind::String) << i;
    EXPECT_EQ(v.text, expected[i]) << i;
  }
}

TEST(XlsRecords, FontsFillsBordersOfCellXfs) {
  std::vector<Bytes> globals;
  auto font = [](uint16_t height, uint16_t grbit, uint16_t icv, uint16_t weight, uint16_t sss,
                 uint8_t uls, const char* name) {
    Body f;
    f.u16(height).u16(grbit).u16(icv).u16(weight).u16(sss).u8(uls).u8(0).u8(0).u8(0).str8(name);
    return Record(0x0031, f);
  };
  globals.push_back(font(200, 0, 0x7FFF, 400, 0, 0, "Arial"));
  globals.push_back(font(200, 0x02, 0x7FFF, 700, 0, 0, "Arial"));       // bold italic
  globals.push_back(font(240, 0x08, 10, 400, 0, 0x22, "Courier New"));  // red, struck
  globals.push_back(font(200, 0, 0x7FFF, 400, 0, 0, "Arial"));
  globals.push_back(font(280, 0, 0x7FFF, 400, 1, 1, "Times New Roman"));  // referred to as 5
  // PALETTE: index 10 becomes #123456.
  Body pal;
  pal.u16(56);
  // PALETTE replaces all 56 colours: 10 (#123456), 12 (blue) and 13 (yellow) matter here.
  for (int i = 0; i < 56; ++i) {
    uint32_t rgb = i == 2 ? 0x123456 : i == 4 ? 0x0000FF : i == 5 ? 0xFFFF00 : 0;
    pal.u8(static_cast<uint8_t>(rgb >> 16))
        .u8(static_cast<uint8_t>(rgb >> 8))
        .u8(static_cast<uint8_t>(rgb))
        .u8(0);
  }
  globals.push_back(Record(0x0092, pal));
  globals.push_back(Record(0x041E, Body().u16(164).str16("0.000")));
  for (int i = 0; i < 15; ++i) {
    // Style XF 1 carries a percent format; a cell XF shows its own all the same.
    Body x;
    x.u16(0).u16(i == 1 ? 10 : 0).u16(0xFFF5).u8(0x20).u8(0).u8(0).u8(0).u32(0).u32(0).u16(0x20C0);
    globals.push_back(Record(0x00E0, x));
  }
  globals.push_back(CellXf(0, 0));  // 15: plain
  uint32_t lines = 1u | (2u << 4) | (5u << 8) | (13u << 12) | (10u << 16) | (64u << 23);
  uint32_t more = 12u | (8u << 7) | (1u << 26);
  globals.push_back(
      CellXf(5, 164, 0x1B, 0xFC, lines, more, static_cast<uint16_t>(13 | (64 << 7))));  // 16
  {
    // 17: under parent style XF 1, its used-attribute flags claiming only its font.
    Body x;
    x.u16(2).u16(0).u16(0x0001 | (1 << 4)).u8(0x20).u8(0).u8(0).u8(0x08).u32(0).u32(0).u16(0x20C0);
    globals.push_back(Record(0x00E0, x));
  }
  // Pattern fills, shown in their mixed colour: 12.5% grey in the system colours (black dots
  // on white), 50% grey of blue on yellow.
  globals.push_back(CellXf(0, 0, 0x20, 0xFC, 0, 17u << 26, 64 | (65 << 7)));  // 18
  globals.push_back(CellXf(0, 0, 0x20, 0xFC, 0, 2u << 26, 12 | (13 << 7)));   // 19
  std::vector<Bytes> cells = {
      Cell(0x0203, 0, 0, 16, Body().f64(1.5)), Cell(0x0203, 1, 0, 17, Body().f64(0.25)),
      Cell(0x0203, 2, 0, 15, Body().f64(2)),   Cell(0x0203, 3, 0, 999, Body().f64(3)),
      Cell(0x0203, 4, 0, 18, Body().f64(4)),   Cell(0x0203, 5, 0, 19, Body().f64(5))};
  ReaderWorkbook wb = Open(Biff8Stream(globals, {{"S", cells}}));
  ASSERT_TRUE(wb);
  ReaderCells c = wb.Worksheets().Item(1).Cells();
  ReaderCell a1 = c.Cell(1, 1), a2 = c.Cell(2, 1), a3 = c.Cell(3, 1), a4 = c.Cell(4, 1);
  EXPECT_EQ(a1.NumberFormat(), "0.000");
  EXPECT_EQ(a1.Text(), "1.500");
  EXPECT_EQ(a1.FontName(), "Times New Roman");
  EXPECT_DOUBLE_EQ(a1.FontSize(), 14);
  EXPECT_EQ(a1.Escapement(), 1);
  EXPECT_EQ(a1.Underline(), 1);
  EXPECT_EQ(a1.HorizontalAlignment(), 3);
  EXPECT_EQ(a1.VerticalAlignment(), 1);
  EXPECT_TRUE(a1.WrapText());
  EXPECT_EQ(a1.FillPattern(), 1);
  EXPECT_EQ(a1.FillColor(), 0x00FFFFu);  // yellow as 0x00BBGGRR
  const int styles[4] = {1, 2, 5, 13};
  const uint32_t colors[4] = {0x563412, 0, 0xFF0000, 0};
  for (int side = 0; side < 4; ++side) {
    EXPECT_EQ(a1.BorderLineStyle(side), styles[side]) << side;
    EXPECT_EQ(a1.BorderColor(side), colors[side]) << side;
  }
  EXPECT_EQ(a2.NumberFormat(), "General");  // its own, not the parent style's
  EXPECT_EQ(a2.Text(), "0.25");
  EXPECT_EQ(a2.FontName(), "Courier New");
  EXPECT_TRUE(a2.Strikethrough());
  EXPECT_EQ(a2.Underline(), 34);
  EXPECT_EQ(a2.FontColor(), 0x563412u);  // palette entry replaced by PALETTE
  EXPECT_EQ(a3.FillPattern(), 58);
  EXPECT_EQ(a3.FillColor(), 0u);
  EXPECT_EQ(a3.FontColor(), 0u);  // automatic
  EXPECT_FALSE(a3.Bold());
  EXPECT_EQ(a3.BorderLineStyle(0), 0);
  EXPECT_EQ(a4.Text(), "3");  // an XF index past the table falls back to the default
  EXPECT_EQ(c.Cell(5, 1).FillPattern(), 17);
  EXPECT_EQ(c.Cell(5, 1).FillColor(), 0xDFDFDFu);
  EXPECT_EQ(c.Cell(6, 1).FillPattern(), 2);
  EXPECT_EQ(c.Cell(6, 1).FillColor(), 0x808080u);
}

TEST(XlsRecords, LayoutProtectionAndSheets) {
  std::vector<Bytes> globals =
      Plus(DefaultFormats(), {Record(0x0022, Body().u16(1)), Record(0x0012, Body().u16(1))});
  std::vector<Bytes> first = {
      Record(0x0055, Body().u16(10)),
      Record(0x007D, Body().u16(0).u16(1).u16(12 * 256).u16(15).u16(0).u16(0)),
      Record(0x007D, Body().u16(3).u16(3).u16(20 * 256).u16(15).u16(1).u16(0)),  // hidden
      Record(0x0225, Body().u16(0).u16(300)),
      Record(0x0208, Body().u16(2).u16(0).u16(1).u16(600).u16(0).u16(0).u32(0x40)),
      Record(0x0208, Body().u16(3).u16(0).u16(1).u16(600).u16(0).u16(0).u32(0x60)),  // hidden
      Record(0x0012, Body().u16(1)),
      Cell(0x0203, 0, 0, 15, Body().f64(1)),
  };
  std::vector<Bytes> second = {Record(0x0099, Body().u16(15 * 256)),
                               Record(0x0055, Body().u16(10))};
  SheetSpec hidden{"Hidden one", {}, 1};
  ReaderWorkbook wb = Open(Biff8Stream(globals, {{"First", first}, {"Second", second}, hidden}));
  ASSERT_TRUE(wb);
  EXPECT_TRUE(wb.Uses1904Dates());
  EXPECT_TRUE(wb.IsProtected());
  ASSERT_EQ(wb.Worksheets().Count(), 3);
  ReaderWorksheet s1 = wb.Worksheets().Item(1), s2 = wb.Worksheets().Item(2),
                  s3 = wb.Worksheets().Item(3);
  EXPECT_EQ(s1.Name(), "First");
  EXPECT_TRUE(s1.IsProtected());
  EXPECT_FALSE(s2.IsProtected());
  EXPECT_FALSE(s1.IsHidden());
  EXPECT_TRUE(s3.IsHidden());
  EXPECT_DOUBLE_EQ(s1.Columns().Item(1).Width(), 12);
  EXPECT_DOUBLE_EQ(s1.Columns().Item(2).Width(), 12);
  EXPECT_DOUBLE_EQ(s1.Columns().Item(3).Width(), 10.71);  // DEFCOLWIDTH 10 plus the margin
  EXPECT_DOUBLE_EQ(s1.Columns().Item(4).Width(), 20);     // hidden, its width kept
  EXPECT_DOUBLE_EQ(s2.Columns().Item(1).Width(), 15);     // STANDARDWIDTH wins over DEFCOLWIDTH
  EXPECT_DOUBLE_EQ(s1.Rows().Item(1).Height(), 300);
  EXPECT_DOUBLE_EQ(s1.Rows().Item(3).Height(), 600);
  EXPECT_DOUBLE_EQ(s1.Rows().Item(4).Height(), 600);  // hidden, its height kept
  EXPECT_EQ(wb.WorksheetByName("second").Index(), 2);
}

TEST(XlsRecords, CommentsFromNoteObjAndTxo) {
  Body obj;
  obj.u16(0x15).u16(0x12).u16(0x19).u16(7).u16(0).bytes(Bytes(12, 0)).u16(0).u16(0);
  Body txo;
  txo.u16(0x0212).u16(0).bytes(Bytes(6, 0)).u16(11).u16(16).u32(0);
  Body text1, text2;
  text1.u8(0).raw("Hello ");
  text2.u8(1);
  for (uint16_t ch : {uint16_t{'w'}, uint16_t{0xF6}, uint16_t{'r'}, uint16_t{'l'}, uint16_t{'d'}})
    text2.u16(ch);
  std::vector<Bytes> cells = {
      Cell(0x0203, 0, 1, 15, Body().f64(1)),
      Record(0x005D, obj),
      Record(0x01B6, txo),
      Record(0x003C, text1),
      Record(0x003C, text2),
      Record(0x003C, Body().bytes(Bytes(16, 0))),
      Record(0x001C, Body().u16(0).u16(1).u16(0).u16(7).str16("me").u8(0)),
  };
  ReaderWorkbook wb = Open(Biff8Stream(DefaultFormats(), {{"S", cells}}));
  ASSERT_TRUE(wb);
  ReaderWorksheet ws = wb.Worksheets().Item(1);
  EXPECT_EQ(ws.Comments().Item(1, 2).Text(), "Hello w\xC3\xB6rld");
  EXPECT_EQ(ws.Comments().Item(1, 1).Text(), "");
}

TEST(XlsRecords, SharedAndArrayFormulasShiftToTheirCells) {
  Bytes exp = {0x01, 0, 0, 1, 0};  // ptgExp: master B1
  // Shared tokens: the cell one column to the left, plus 1.
  Bytes shared = {0x4C, 0, 0, 0xFF, 0xC0, 0x1E, 1, 0, 0x03};
  Body shr;
  shr.u16(0).u16(2).u8(1).u8(1).u8(0).u8(3).u16(static_cast<uint16_t>(shared.size())).bytes(shared);
  Bytes arrayExp = {0x01, 0, 0, 3, 0};  // master D1
  Bytes arrayTokens = {0x25, 0, 0, 1, 0, 0, 0xC0, 0, 0xC0, 0x42, 1, 4, 0};
  Body arr;
  arr.u16(0)
      .u16(1)
      .u8(3)
      .u8(3)
      .u16(0)
      .u32(0)
      .u16(static_cast<uint16_t>(arrayTokens.size()))
      .bytes(arrayTokens);
  std::vector<Bytes> cells = {
      Formula(0, 1, Body().f64(2), exp),
      Record(0x04BC, shr),
      Formula(1, 1, Body().f64(3), exp),
      Formula(2, 1, Body().f64(4), exp),
      Formula(0, 3, Body().f64(3), arrayExp),
      Record(0x0221, arr),
      Formula(1, 3, Body().f64(3), arrayExp),
      Formula(5, 5, Body().f64(9), {0x01, 50, 0, 50, 0}),  // no such master: the value stays
  };
  ReaderWorkbook wb = Open(Biff8Stream(DefaultFormats(), {{"S", cells}}));
  ASSERT_TRUE(wb);
  ReaderCells c = wb.Worksheets().Item(1).Cells();
  EXPECT_EQ(c.Cell(1, 2).Formula(), "=A1+1");
  EXPECT_EQ(c.Cell(2, 2).Formula(), "=A2+1");
  EXPECT_EQ(c.Cell(3, 2).Formula(), "=A3+1");
  EXPECT_EQ(c.Cell(1, 4).Formula(), "=SUM(A1:A2)");
  EXPECT_EQ(c.Cell(2, 4).Formula(), "=SUM(A1:A2)");
  EXPECT_EQ(c.Cell(6, 6).Formula(), "");
  EXPECT_EQ(c.Cell(6, 6).Text(), "9");
}

// A formula's cached text comes in the STRING record after it, also when the shared or
// array formula it belongs to, or a data table, is recorded in between.
TEST(XlsRecords, CachedFormulaResultsAfterTheirFormula) {
  const Bytes exp = {0x01, 0, 0, 0, 0};  // ptgExp: master A1
  const Bytes text = {0x17, 1, 0, 'x'};
  Body shr;
  shr.u16(0).u16(1).u8(0).u8(0).u8(0).u8(2).u16(static_cast<uint16_t>(text.size())).bytes(text);
  Body arr;
  arr.u16(0).u16(1).u8(0).u8(0).u16(0).u32(0).u16(static_cast<uint16_t>(text.size())).bytes(text);
  Body table;  // TABLE: the range, options, the two input cells
  table.u16(0).u16(1).u8(0).u8(0).u16(0).u16(0).u16(0).u16(0).u16(0);
  const struct {
    const char* what;
    std::vector<Bytes> records;
    ValueKind kind;
    const char* text;
  } cases[] = {
      {"string",
       {Formula(0, 0, SpecialResult(0, 0), text), Record(0x0207, Body().str16("s"))},
       ValueKind::String,
       "s"},
      {"string, SHRFMLA between",
       {Formula(0, 0, SpecialResult(0, 0), exp), Record(0x04BC, shr),
        Record(0x0207, Body().str16("shared"))},
       ValueKind::String,
       "shared"},
      {"string, ARRAY between",
       {Formula(0, 0, SpecialResult(0, 0), exp), Record(0x0221, arr),
        Record(0x0207, Body().str16("array"))},
       ValueKind::String,
       "array"},
      {"string, TABLE between",
       {Formula(0, 0, SpecialResult(0, 0), exp), Record(0x0236, table),
        Record(0x0207, Body().str16("table"))},
       ValueKind::String,
       "table"},
      {"Boolean", {Formula(0, 0, SpecialResult(1, 0), exp)}, ValueKind::Boolean, "FALSE"},
      {"error", {Formula(0, 0, SpecialResult(2, 0x07), exp)}, ValueKind::Error, "#DIV/0!"},
      {"empty string", {Formula(0, 0, SpecialResult(3, 0), exp)}, ValueKind::String, ""},
      // A STRING that follows another record belongs to no formula.
      {"string record too late",
       {Formula(0, 0, SpecialResult(0, 0), text), Cell(0x0203, 3, 3, 15, Body().f64(1)),
        Record(0x0207, Body().str16("stray"))},
       ValueKind::Empty,
       ""},
  };
  for (const auto& c : cases) {
    ReaderWorkbook wb = Open(Biff8Stream(DefaultFormats(), {{"S", c.records}}));
    ASSERT_TRUE(wb) << c.what;
    const ReaderCell cell = wb.Worksheets().Item(1).Cells().Cell(1, 1);
    ASSERT_TRUE(cell) << c.what;
    EXPECT_EQ(cell.Value().kind, c.kind) << c.what;
    EXPECT_EQ(cell.Text(), c.text) << c.what;
  }
}

TEST(XlsRecords, Biff5TextInItsCodePage) {
  Body label;
  label.u16(0).u16(0).u16(0).u16(2).u8(0xCF).u8(0xF0);  // "Пр" in windows-1251
  Body font;
  font.u16(200).u16(0).u16(0x7FFF).u16(400).u16(0).u8(0).u8(0).u8(0).u8(0).u8(5).raw("Arial");
  std::vector<Bytes> globals = {Record(0x0042, Body().u16(1251)), Record(0x0031, font)};
  Bytes stream = Biff8Stream(globals, {{"Sheet", {Record(0x0204, label)}}}, 0x0500);
  ReaderWorkbook wb = Open(stream, "Book");
  ASSERT_TRUE(wb);
  EXPECT_EQ(ValueAt(wb, 1, 1).text, "\xD0\x9F\xD1\x80");
  EXPECT_EQ(wb.Worksheets().Item(1).Name(), "Sheet");
}

Bytes SampleStream() {
  Body sst;
  sst.u32(2).u32(2).str16("one").str16("two");
  std::vector<Bytes> globals = Plus(DefaultFormats(), {Record(0x00FC, sst)});
  std::vector<Bytes> cells = {
      Cell(0x00FD, 0, 0, 15, Body().u32(0)), Cell(0x00FD, 0, 1, 15, Body().u32(1)),
      Cell(0x0203, 1, 0, 15, Body().f64(2)),
      Formula(1, 1, Body().f64(3), {0x44, 0, 0, 0, 0xC0, 0x1E, 1, 0, 0x03})};
  return Biff8Stream(globals, {{"S", cells}, {"T", cells}});
}

TEST(XlsHostile, TruncatedAndCorruptedStreamsFailCleanly) {
  Bytes good = SampleStream();
  for (size_t n = 0; n < good.size(); n += 5) {
    Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    ReadResult r = ReadStream(cut);
    EXPECT_TRUE(r.status.Code() == StatusCode::Ok || r.status.Code() == StatusCode::Unreadable)
        << n;
  }
  std::mt19937 rng(12345);
  for (int i = 0; i < 300; ++i) {
    Bytes bad = good;
    for (int k = 0; k < 8; ++k) bad[rng() % bad.size()] = static_cast<uint8_t>(rng());
    ReadResult r = ReadStream(bad);
    if (r.status.Code() == StatusCode::Ok) {
      ReaderWorkbook wb(r.workbook);
      for (int s = 1; s <= wb.Worksheets().Count(); ++s) {
        ReaderCells c = wb.Worksheets().Item(s).Cells();
        for (int k = 1; k <= c.Count(); ++k) c.Item(k).Text();
      }
    }
  }
}

TEST(XlsHostile, LyingLengthsAndPointers) {
  // A record header that claims more bytes than the stream holds.
  Bytes stream = SampleStream();
  Bytes lie = Record(0x0203, Bytes(6, 0));
  lie[2] = 0x40;
  lie[3] = 0x1F;
  stream.insert(stream.end(), lie.begin(), lie.end());
  EXPECT_EQ(ReadStream(stream).status.Code(), StatusCode::Ok);

  // Sheets that point past the end, and thousands that point at one substream: each
  // substream is read once.
  std::vector<Bytes> cells(2000, Cell(0x0201, 0, 0, 15, Body()));
  std::vector<SheetSpec> sheets = {{"Real", cells}};
  Bytes s = Biff8Stream(DefaultFormats(), sheets);
  Bytes bof = Record(0x0809, Body().u16(0x0600).u16(0x0005).u16(0).u16(0).u32(0).u32(0).b);
  Bytes extra;
  for (int i = 0; i < 3000; ++i) {
    Body bs;
    bs.u32(i == 0 ? 0x7FFFFFFF : 0).u8(0).u8(0).str8("x" + std::to_string(i));
    Bytes r = Record(0x0085, bs);
    extra.insert(extra.end(), r.begin(), r.end());
  }
  // Insert the extra BOUNDSHEETs right after the first BOF; they point at offset 0 (the
  // globals BOF) or past the end.
  Bytes hostile(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(bof.size()));
  hostile.insert(hostile.end(), extra.begin(), extra.end());
  hostile.insert(hostile.end(), s.begin() + static_cast<std::ptrdiff_t>(bof.size()), s.end());
  ReadResult r = ReadStream(hostile);
  ASSERT_EQ(r.status.Code(), StatusCode::Ok) << r.status.Detail();
  EXPECT_EQ(ReaderWorkbook(r.workbook).Worksheets().Count(), 3001);
}

TEST(XlsHostile, OverlappingSubstreamsStayLinear) {
  // 500 sheets whose substreams begin at consecutive BOF records and share one long
  // tail of cells without an EOF: read one after another, each would walk the whole tail.
  constexpr int kSheets = 500;
  Bytes out = Record(0x0809, Body().u16(0x0600).u16(0x0005).u16(0).u16(0).u32(0).u32(0).b);
  for (const Bytes& r : DefaultFormats()) out.insert(out.end(), r.begin(), r.end());
  std::vector<size_t> patch;
  for (int i = 0; i < kSheets; ++i) {
    patch.push_back(out.size() + 4);
    Bytes r = Record(0x0085, Body().u32(0).u8(0).u8(0).str8("s" + std::to_string(i)));
    out.insert(out.end(), r.begin(), r.end());
  }
  Bytes eof = Record(0x000A, Bytes{});
  out.insert(out.end(), eof.begin(), eof.end());
  for (int i = 0; i < kSheets; ++i) {
    uint32_t pos = static_cast<uint32_t>(out.size());
    std::memcpy(&out[patch[i]], &pos, 4);
    Bytes bof = Record(0x0809, Body().u16(0x0600).u16(0x0010).u16(0).u16(0).u32(0).u32(0).b);
    out.insert(out.end(), bof.begin(), bof.end());
  }
  for (int i = 0; i < 20000; ++i) {
    Bytes r = Cell(0x0201, static_cast<uint16_t>(i), 0, 15, Body());
    out.insert(out.end(), r.begin(), r.end());
  }
  ReadResult r = ReadStream(out);
  ASSERT_EQ(r.status.Code(), StatusCode::Ok) << r.status.Detail();
  EXPECT_EQ(ReaderWorkbook(r.workbook).Worksheets().Count(), kSheets);
}

// A .xls row holds 256 columns: a cell record past IV is passed over, as spreadsheet
// programs do, and counted in the workbook's warnings, so that one stray record cannot
// stretch the sheet (and its page) to thousands of columns.
TEST(XlsHostile, CellsPastColumnIVAreIgnoredAndCounted) {
  Body mulBlank;
  mulBlank.u16(0).u16(254).u16(15).u16(15).u16(15).u16(15).u16(15).u16(258);  // IU1 to IY1
  const std::vector<SheetSpec> sheets = {
      {"S",
       {Cell(0x0203, 0, 0, 15, Body().f64(1)), Cell(0x0203, 0, 1023, 15, Body().f64(2)),
        Cell(0x027E, 1, 300, 15, Body().u32(RkInt(3))), Record(0x00BE, mulBlank),
        Formula(2, 256, Body().f64(4), {0x1E, 4, 0})}}};
  const ReaderWorkbook wb = Open(Biff8Stream(DefaultFormats(), sheets));
  const ReaderCells cells = wb.Worksheets().Item(1).Cells();
  ASSERT_EQ(cells.Count(), 3);  // A1, IU1, IV1
  for (int32_t i = 1; i <= cells.Count(); ++i) EXPECT_LE(cells.Item(i).Column(), 256);
  EXPECT_EQ(wb.Warnings(),
            std::vector<std::string>{"sheet \"S\": 6 cell record(s) past column IV ignored"});
  EXPECT_TRUE(Open(SampleStream()).Warnings().empty());
}

TEST(XlsHostile, NotAWorkbook) {
  struct Case {
    const char* what;
    Bytes file;
  } cases[] = {
      {"empty", {}},
      {"text", Bytes{'h', 'e', 'l', 'l', 'o'}},
      {"compound file without a workbook stream", CompoundFile(SampleStream(), "Other")},
      {"BIFF4 stream", CompoundFile(Record(0x0409, Body().u16(0).u16(0x10).b), "Book")},
      {"globals without BOF", CompoundFile(Record(0x0203, Bytes(14, 0)))},
      {"damaged FILEPASS",
       CompoundFile(Biff8Stream({Record(0x002F, Body().u16(1).u16(1).u16(1).b)}, {}))},
  };
  for (const Case& c : cases) {
    ReadResult r = ReadMemory(c.file, nullptr);
    EXPECT_EQ(r.status.Code(), StatusCode::Unreadable) << c.what;
    EXPECT_FALSE(r.workbook) << c.what;
    EXPECT_FALSE(r.status.Detail().empty()) << c.what;
  }
}

}  // namespace
}  // namespace gridwell::xls::test
