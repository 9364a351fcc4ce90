#include "converter/cell_value.h"

#include <gtest/gtest.h>

#include "test_book.h"

namespace gridwell::conv {
namespace {

using gridwell::testing::TestBook;

TEST(CellValue, DecimalPlaces) {
  const struct {
    const char* text;
    int16_t want;
  } cases[] = {{"1,234.00", 2}, {"1,234.50", 0}, {"1,234.05", 1}, {"0", 1},
               {"007", 2},      {"12", 0},       {"", 0},         {"1.000.00", 3}};
  for (const auto& c : cases) EXPECT_EQ(DecimalPlaces(c.text), c.want) << c.text;
}

TEST(CellValue, GeneralNumber) {
  const struct {
    double v;
    const char* want;
  } cases[] = {{0, "0"},
               {-0.0, "0"},
               {2, "2"},
               {-1234.5, "-1234.5"},
               {0.1 + 0.2, "0.3"},
               {123456789012345.0, "123456789012345"},
               {1234567890123456789.0, "1.23456789012346E+18"},
               {0.00001, "1E-05"},
               {1.0 / 3, "0.333333333333333"}};
  for (const auto& c : cases) {
    std::string s;
    AppendGeneralNumber(s, c.v);
    EXPECT_EQ(s, c.want) << c.v;
  }
}

TEST(CellValue, GeneralDate) {
  const struct {
    double serial;
    const char* want;
  } cases[] = {{39886, "3/14/2009"},
               {39886.75, "3/14/2009 6:00:00 PM"},
               {0.5, "12:00:00 PM"},
               {0.25 + 1.0 / 86400, "6:00:01 AM"},
               {1, "1/1/1900"},
               {59, "2/28/1900"},
               {60, "2/29/1900"},
               {61, "3/1/1900"},
               {2958465, "12/31/9999"},
               {45000.999994, "3/15/2023 11:59:59 PM"},
               {45000.99999999, "3/16/2023"}};
  for (const auto& c : cases) {
    std::string s;
    AppendGeneralDate(s, c.serial);
    EXPECT_EQ(s, c.want) << c.serial;
  }
}

struct Row {
  uint16_t index;
  double value;
  const char* want;
  bool red;
};

// Formats a number stored with the built-in format `index`, or with `code` as the cell's
// own format code when one is given.
std::pair<std::string, bool> FormatNumberCell(uint16_t index, double v,
                                              const char* code = nullptr) {
  TestBook b;
  if (code) b.book->SetNumberFormat(index, code);
  b.sheet->SetNumber(1, 1, v, b.NumFmt(index));
  CellValueFormatter f;
  const ReaderCell cell = b.Cell(1, 1);
  std::string out;
  const bool red = f.Format(cell, cell.Value(), out);
  return {out, red};
}

TEST(CellValue, KindsOtherThanNumbers) {
  TestBook b;
  b.sheet->SetString(1, 1, "plain <text>", b.NumFmt(3));
  b.sheet->SetError(1, 2, ErrorCode::Div0, b.NumFmt(3));
  b.sheet->SetBool(1, 3, true, b.NumFmt(9));
  b.sheet->SetDate(1, 4, 39886.5, b.NumFmt(99));
  b.sheet->SetDate(1, 5, 39886, b.NumFmt(14));
  CellValueFormatter f;
  const char* want[] = {"plain <text>", "#ERR", "TRUE", "3/14/2009 12:00:00 PM", "3/14/2009"};
  for (int c = 1; c <= 5; ++c) {
    std::string out;
    const ReaderCell cell = b.Cell(1, c);
    EXPECT_FALSE(f.Format(cell, cell.Value(), out));
    EXPECT_EQ(out, want[c - 1]) << c;
  }
}

TEST(CellValue, GeneralAndReaderTextRows) {
  // Rows that need no pattern: G, and the reader text (T) with sign handling. The cell's
  // own format code is "0" so that T is the plain number.
  const struct {
    uint16_t index;
    double v;
    const char* want;
    bool red;
  } cases[] = {
      {1, 2.5, "2.5", false}, {12, -3, "-3", false},  {49, 1e20, "1E+20", false},
      {27, -7, "-7", false},  {41, -7, "7", true},    {41, 7, "7", false},
      {37, -7, "7", true},    {38, 7, "7", false},    {39, -7, "(7)", false},
      {44, -7, "(7)", true},  {45, -7, "(7)", false}, {43, -7, "7", true},
      {0, -7, "-7", false},   {100, 5, "5", false},   {46, -7, "-7", false},
  };
  for (const auto& c : cases) {
    auto [text, red] = FormatNumberCell(c.index, c.v, "0");
    EXPECT_EQ(text, c.want) << "index " << c.index;
    EXPECT_EQ(red, c.red) << "index " << c.index;
  }
}

TEST(CellValue, PatternRows) {
  const Row cases[] = {
      {2, 2.5, "3", false},
      {3, 2, "2.00", false},
      {4, 1234567, "1,234,567", false},
      {5, -1234, "($1,234)", false},
      {6, -5, "($5)", true},
      {8, -5, "($5.00)", true},
      {9, 0.25, "25%", false},
      {10, 0.125, "12.50%", false},
      {11, 12345, "1.23E+04", false},
      {23, -1000, "($1,000)", false},
      {23, 1000, "$1,000", false},
      {24, -1000, "(1,000)", false},
      {24, 1000, "1,000", false},
      {29, -5, "(5)", true},
  };
  for (const auto& c : cases) {
    // The cell's own code is a plain number format: some of these ids are locale date
    // formats in the built-in table, and only the number table is under test here.
    auto [text, red] = FormatNumberCell(c.index, c.value, "0");
    EXPECT_FALSE(FormatNumberCell(c.index, -c.value, "0").second && c.value < 0)
        << "positive is never red";
    EXPECT_EQ(text, c.want) << "index " << c.index << " value " << c.value;
    EXPECT_EQ(red, c.red) << "index " << c.index;
  }
}

TEST(CellValue, DecimalsFromReaderText) {
  const struct {
    const char* code;  // makes the reader text
    double v;
    const char* want25;
    const char* want26;
  } cases[] = {
      {"#,##0.00", 1234.5, "$1,234.50", "1,234.50"},
      {"#,##0.0", 1234.25, "$1,234.25", "1,234.25"},  // T 1,234.3: d = 0, two decimals
      {"#,##0.00", -1234.5, "($1,234.50)", "(1,234.50)"},
      {"0.000", 1, "$1.000", "1.000"},   // T 1.000: d = 3
      {"0.0000", 1.5, "$1.50", "1.50"},  // T 1.5000: d = 0
      {"0", 0, "$0.0", "0.0"},           // T "0": d = 1
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatNumberCell(25, c.v, c.code).first, c.want25) << c.code << " " << c.v;
    EXPECT_EQ(FormatNumberCell(26, c.v, c.code).first, c.want26) << c.code << " " << c.v;
  }
}

TEST(CellValue, RowsThatLookForDateTokensInTheReaderText) {
  // A quoted literal makes the reader text contain the token the row looks for.
  const double march = 39886;  // 14 March 2009
  const struct {
    uint16_t index;
    const char* code;
    double v;
    const char* want;
  } cases[] = {
      {50, "\"mmm\"", march, "M"},
      {51, "\"mmm\"", march, "M-09"},
      {40, "\"d-mmm\"", march, "14-Mar-2009"},
      {42, "\"mmm\"", march, "14-Mar"},
      {42, "\"m/\"", march + 0.75, "3/14/09 6:00 PM"},
      {43, "\"mmm\"", march, "14-Mar-09"},
      {43, "\"[<=\"0", 5551234567, "(555) 123-4567"},
      {44, "\"mmm\"", march, "14-Mar-09"},
      {46, "\"mmm\"", march, "March-09"},
      {47, "\"mmm\"", march, "March 14, 2009"},
      {48, "\"m/d\"", march, "3/14/09 12:00 AM"},
      {53, "\"mmm\"", march, "14-Mar-2009"},
      {37, "\"dddd\"", march, "Saturday, March 14, 2009"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatNumberCell(c.index, c.v, c.code).first, c.want) << "index " << c.index;
  }
}

TEST(CellValue, DateRows) {
  const double t = 39886.75;  // 14 March 2009, 6 PM
  const struct {
    uint16_t index;
    double v;
    const char* want;
  } cases[] = {
      {15, t, "14-Mar-09"},
      {16, t, "14-Mar"},
      {17, t, "Mar-09"},
      {18, 0.5, "12:00 PM"},
      {19, t, "6:00:00 PM"},
      {20, t, "18:00"},
      {21, t, "18:00:00"},
      {22, t, "3/14/2009 18:00"},
      {32, 0.5 + 90.0 / 86400, "01:30"},
      {14, t, "3/14/2009 6:00:00 PM"},
  };
  for (const auto& c : cases) {
    TestBook b;
    b.sheet->SetDate(1, 1, c.v, b.NumFmt(c.index));
    CellValueFormatter f;
    const ReaderCell cell = b.Cell(1, 1);
    std::string out;
    EXPECT_FALSE(f.Format(cell, cell.Value(), out));
    EXPECT_EQ(out, c.want) << "index " << c.index;
  }
}

}  // namespace
}  // namespace gridwell::conv
