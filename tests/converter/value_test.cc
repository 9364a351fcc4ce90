#include "converter/cell_value.h"

#include <gtest/gtest.h>

#include "test_book.h"

namespace gridwell::conv {
namespace {

using gridwell::testing::TestBook;

constexpr int64_t kNone = kNoColorOverride;

// The display text is the cell's text as the spreadsheet shows it, by built-in ids and by
// the workbook's own codes alike, and the colour is the one of the section that showed it.
TEST(CellValue, DisplayTextFollowsTheCellsFormat) {
  const double march = 39886.75;  // 14 March 2009, 6 PM
  const struct {
    uint16_t id;
    const char* code;  // the workbook's own code for the id, or nullptr for the built-in
    double value;
    const char* want;
    int64_t color;
  } cases[] = {
      {0, nullptr, 1234.5, "1234.5", kNone},
      {1, nullptr, 0.5, "1", kNone},
      {2, nullptr, 1234.5, "1234.50", kNone},
      {3, nullptr, 120000, "120,000", kNone},
      {4, nullptr, 1234.56, "1,234.56", kNone},
      {5, nullptr, 1234.5, "$1,235 ", kNone},
      {6, nullptr, -1234.5, "($1,235)", 0x0000FF},
      {6, nullptr, 1234.5, "$1,235 ", kNone},
      {8, nullptr, -5, "($5.00)", 0x0000FF},
      {12, nullptr, 1.5, "1 1/2", kNone},
      {13, nullptr, 1.5, "1  1/2 ", kNone},
      {14, nullptr, march, "3/14/2009", kNone},
      {22, nullptr, march, "3/14/2009 18:00", kNone},
      {38, nullptr, -7, "(7)", 0x0000FF},
      {39, nullptr, -7, "(7.00)", kNone},
      {44, nullptr, -7, " $(7.00)", kNone},
      {45, nullptr, 61.0 / 86400, "01:01", kNone},
      {46, nullptr, 1.5, "36:00:00", kNone},
      {47, nullptr, 61.25 / 86400, "01:01.3", kNone},
      {49, nullptr, 2.5, "2.5", kNone},
      {164, "yyyy-mm-dd", march, "2009-03-14", kNone},
      {165, "[h]:mm:ss", 1.25, "30:00:00", kNone},
      {166, "[Blue]0.0;[Color10]-0.0", -2, "-2.0", 0x008000},
      {166, "[Blue]0.0;[Color10]-0.0", 2, "2.0", 0xFF0000},
      {167, "[<=9999999]###-####;(###) ###-####", 5551234567, "(555) 123-4567", kNone},
      {168, "# ?/8", 2.5, "2 4/8", kNone},
  };
  for (const auto& c : cases) {
    TestBook b;
    if (c.code) b.book->SetNumberFormat(c.id, c.code);
    b.sheet->SetNumber(1, 1, c.value, b.NumFmt(c.id));
    const ReaderCell cell = b.Cell(1, 1);
    std::string out;
    EXPECT_EQ(CellValueFormatter().Format(cell, cell.Value(), out), c.color) << c.id;
    EXPECT_EQ(out, c.want) << "id " << c.id << " value " << c.value;
    EXPECT_EQ(out, cell.Text()) << c.id;
  }
}

TEST(CellValue, KindsOtherThanNumbers) {
  TestBook b;
  b.book->SetNumberFormat(164, "\"Total: \"@");
  b.book->SetNumberFormat(165, "0;0;0;[Red]@");
  b.sheet->SetString(1, 1, "plain <text>", b.NumFmt(3));
  b.sheet->SetError(1, 2, ErrorCode::Div0, b.NumFmt(3));
  b.sheet->SetBool(1, 3, true, b.NumFmt(9));
  b.sheet->SetString(1, 4, "sum", b.NumFmt(164));
  b.sheet->SetString(1, 5, "late", b.NumFmt(165));
  const struct {
    const char* want;
    int64_t color;
  } want[] = {{"plain <text>", kNone},
              {"#ERR", kNone},
              {"TRUE", kNone},
              {"Total: sum", kNone},
              {"late", 0x0000FF}};
  for (int c = 1; c <= 5; ++c) {
    std::string out;
    const ReaderCell cell = b.Cell(1, c);
    EXPECT_EQ(CellValueFormatter().Format(cell, cell.Value(), out), want[c - 1].color) << c;
    EXPECT_EQ(out, want[c - 1].want) << c;
  }
}

}  // namespace
}  // namespace gridwell::conv
