#include "reader/base/cell_ref.h"

#include <gtest/gtest.h>

namespace gridwell::base {
namespace {

TEST(ColumnLetters, NamesEveryColumnOnceAndReadsItBack) {
  const struct {
    int32_t column;
    const char* letters;
  } cases[] = {{1, "A"},    {26, "Z"},    {27, "AA"},   {52, "AZ"},    {53, "BA"},
               {702, "ZZ"}, {703, "AAA"}, {728, "AAZ"}, {16384, "XFD"}};
  for (const auto& c : cases) {
    EXPECT_EQ(ColumnLetters(c.column), c.letters) << c.column;
    EXPECT_EQ(ColumnFromLetters(c.letters), c.column) << c.letters;
  }
  for (int32_t n = 1; n <= kMaxColumns; ++n) ASSERT_EQ(ColumnFromLetters(ColumnLetters(n)), n);
  EXPECT_EQ(ColumnFromLetters("xfd"), 16384);
  EXPECT_EQ(ColumnFromLetters("aB"), 28);
}

TEST(ColumnLetters, RefusesWhatNamesNoColumn) {
  for (int32_t n : {0, -1, kMaxColumns + 1, INT32_MAX, INT32_MIN}) {
    std::string out = "x";
    EXPECT_FALSE(AppendColumnLetters(out, n)) << n;
    EXPECT_EQ(out, "x") << n;
  }
  for (const char* text : {"", "XFE", "ZZZ", "AAAA", "A1", "$A", "@", "[", "`", "{", "\xC3\x84"}) {
    EXPECT_EQ(ColumnFromLetters(text), 0) << text;
  }
}

TEST(CellRef, ParsesReferencesOfTheSheetOnly) {
  const struct {
    const char* text;
    int32_t row, col;
    bool absRow, absCol;
  } cases[] = {
      {"A1", 1, 1, false, false},
      {"$B$2", 2, 2, true, true},
      {"b$7", 7, 2, true, false},
      {"$c3", 3, 3, false, true},
      {"XFD1048576", 1048576, 16384, false, false},
      {"xfd1048576", 1048576, 16384, false, false},
      {"A01", 1, 1, false, false},
  };
  for (const auto& c : cases) {
    CellRef ref;
    ASSERT_TRUE(ParseCellRef(c.text, ref)) << c.text;
    EXPECT_EQ(ref.row, c.row) << c.text;
    EXPECT_EQ(ref.col, c.col) << c.text;
    EXPECT_EQ(ref.absRow, c.absRow) << c.text;
    EXPECT_EQ(ref.absCol, c.absCol) << c.text;
  }
  for (const char* text : {"XFE1", "A0", "A1048577", "A99999999999999999999999", "A", "1", "1A", "",
                           "$", "A$", "$$A1", "A$$1", "AAAA1", "A1B", "A 1", " A1", "A1:B2", "A-1",
                           "\xC3\x84"
                           "1"}) {
    CellRef ref;
    EXPECT_FALSE(ParseCellRef(text, ref)) << text;
  }
}

TEST(CellRef, ScansOnePartAndSaysHowFarItRead) {
  int32_t n = -5;
  bool absolute = true;
  EXPECT_EQ(ScanColumnPart("$AB12", n, absolute), 3u);
  EXPECT_EQ(n, 28);
  EXPECT_TRUE(absolute);
  EXPECT_EQ(ScanRowPart("12:", n, absolute), 2u);
  EXPECT_EQ(n, 12);
  EXPECT_FALSE(absolute);
  // A part that cannot be read leaves the outputs as they were.
  EXPECT_EQ(ScanColumnPart("ABCD", n, absolute), 0u);
  EXPECT_EQ(ScanRowPart("$0", n, absolute), 0u);
  EXPECT_EQ(n, 12);
  EXPECT_FALSE(absolute);
}

}  // namespace
}  // namespace gridwell::base
