// The in-memory workbook: cell store, strings, styles, widths and heights.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "reader/model/workbook.h"

namespace gridwell::model {
namespace {

TEST(CellStore, FindsEveryCellAfterManyRehashes) {
  CellStore store;
  std::mt19937 rng(7);
  std::set<std::pair<uint32_t, uint32_t>> placed;
  while (placed.size() < 50000) {
    uint32_t r = rng() % kMaxRows + 1, c = rng() % kMaxColumns + 1;
    if (!placed.emplace(r, c).second) continue;
    CellRecord rec{r, static_cast<uint16_t>(c), StoredKind::Number, 0, 0, {r, c}};
    store.Put(rec);
  }
  ASSERT_EQ(store.Count(), placed.size());
  for (const auto& [r, c] : placed) {
    int64_t i = store.Find(r, c);
    ASSERT_GE(i, 0);
    EXPECT_EQ(store.At(i).payload[0], r);
    EXPECT_EQ(store.At(i).payload[1], c);
  }
  EXPECT_EQ(store.Find(1, 1) >= 0, placed.count({1, 1}) == 1);
}

TEST(CellStore, KeepsStorageOrderAndReplacesDuplicatesInPlace) {
  CellStore store;
  const uint32_t cells[][2] = {{5, 1}, {1, 3}, {2, 2}};
  for (auto& rc : cells)
    store.Put({rc[0], static_cast<uint16_t>(rc[1]), StoredKind::Number, 0, 0, {0, 0}});
  store.Put({1, 3, StoredKind::Boolean, 0, 9, {1, 0}});
  ASSERT_EQ(store.Count(), 3u);
  EXPECT_EQ(store.At(0).row, 5u);
  EXPECT_EQ(store.At(1).kind, StoredKind::Boolean);
  EXPECT_EQ(store.At(1).style, 9u);
  EXPECT_EQ(store.At(2).col, 2);
  EXPECT_EQ(store.Find(9, 9), -1);
}

TEST(CellStore, RowMajorRunsThenStragglersAndDuplicates) {
  // Cells in row-major order are appended without an index; the index must still know
  // every one of them when an out-of-order cell or a lookup comes.
  CellStore store;
  store.Reserve(40);
  auto put = [&](uint32_t r, uint32_t c, uint32_t tag) {
    return store.Put({r, static_cast<uint16_t>(c), StoredKind::Number, 0, 0, {tag, 0}});
  };
  for (uint32_t r = 1; r <= 30; ++r)
    for (uint32_t c = 1; c <= 3; ++c) put(r, c, r * 10 + c);
  EXPECT_EQ(put(7, 2, 999), store.Find(7, 2));  // an earlier position replaces in place
  EXPECT_EQ(store.Count(), 90u);
  put(2, 5, 25);                                              // a new cell out of order
  for (uint32_t r = 31; r <= 60; ++r) put(r, 1, r * 10 + 1);  // a run again, past a rehash
  put(60, 1, 601);
  EXPECT_EQ(store.Count(), 121u);
  EXPECT_EQ(store.At(store.Find(7, 2)).payload[0], 999u);
  EXPECT_EQ(store.At(store.Find(2, 5)).payload[0], 25u);
  EXPECT_EQ(store.At(store.Find(45, 1)).payload[0], 451u);
  EXPECT_EQ(store.At(store.Find(60, 1)).payload[0], 601u);
  EXPECT_EQ(store.Find(61, 1), -1);
  EXPECT_EQ(store.Find(30, 4), -1);
  EXPECT_EQ(store.Find(0, 1), -1);
}

TEST(CellStore, StaysWithinItsMemoryBudget) {
  Workbook book;
  Sheet& s = book.AddSheet("S");
  for (int r = 1; r <= 100000; ++r)
    for (int c = 1; c <= 10; ++c) s.SetNumber(r, c, r * c);
  book.Finish();
  double perCell = double(s.Cells().MemoryUsage()) / double(s.Cells().Count());
  EXPECT_LE(perCell, 32.0);
}

TEST(Sheet, IgnoresPositionsOutsideTheGrid) {
  Workbook book;
  Sheet& s = book.AddSheet("S");
  EXPECT_FALSE(s.SetNumber(0, 1, 1));
  EXPECT_FALSE(s.SetNumber(1, 0, 1));
  EXPECT_FALSE(s.SetNumber(kMaxRows + 1, 1, 1));
  EXPECT_FALSE(s.SetString(1, kMaxColumns + 1, "x"));
  EXPECT_TRUE(s.SetNumber(kMaxRows, kMaxColumns, 1));
  EXPECT_EQ(s.Cells().Count(), 1u);
}

TEST(Sheet, FormulaFollowsItsCellAndDiesWithAReplacedValue) {
  Workbook book;
  Sheet& s = book.AddSheet("S");
  s.SetNumber(2, 3, 6);
  s.SetFormula(2, 3, "=A1*2");
  int64_t i = s.Cells().Find(2, 3);
  ASSERT_GE(i, 0);
  EXPECT_EQ(s.Formula(static_cast<uint32_t>(i)), "=A1*2");
  // A second record for the same cell (duplicate in a damaged file) replaces the first whole.
  s.SetNumber(2, 3, 7);
  EXPECT_EQ(s.Formula(static_cast<uint32_t>(i)), "");
  EXPECT_FALSE(s.Cells().At(i).flags & CellRecord::kHasFormula);
}

TEST(Sheet, WidthsHeightsAndCommentsFallBackToDefaults) {
  Workbook book;
  Sheet& s = book.AddSheet("S");
  s.defaultColumnWidth = 9.5;
  s.defaultRowHeight = 300;
  s.SetColumnWidth(2, 4, 20);
  s.SetColumnWidth(16000, 99999, 3);  // clipped to the last column
  s.SetRowHeight(7, 600);
  s.SetComment(3, 3, "note");
  EXPECT_DOUBLE_EQ(s.ColumnWidth(1), 9.5);
  EXPECT_DOUBLE_EQ(s.ColumnWidth(4), 20);
  EXPECT_DOUBLE_EQ(s.ColumnWidth(5), 9.5);
  EXPECT_DOUBLE_EQ(s.ColumnWidth(kMaxColumns), 3);
  EXPECT_DOUBLE_EQ(s.RowHeight(7), 600);
  EXPECT_DOUBLE_EQ(s.RowHeight(8), 300);
  EXPECT_EQ(s.Comment(3, 3), "note");
  EXPECT_EQ(s.Comment(3, 4), "");
}

TEST(Workbook, SheetsAreFoundByNameWithoutRegardToCase) {
  Workbook book;
  book.AddSheet("Sales");
  book.AddSheet("Notes");
  EXPECT_EQ(book.FindSheet("sales"), 0);
  EXPECT_EQ(book.FindSheet("NOTES"), 1);
  EXPECT_EQ(book.FindSheet("Note"), -1);
}

TEST(Workbook, EqualStylesShareOneEntry) {
  Workbook book;
  CellStyle bold;
  bold.fontIndex = book.AddFont(Font{.name = "Arial", .bold = true});
  uint32_t a = book.AddStyle(bold);
  uint32_t b = book.AddStyle(bold);
  CellStyle wrapped = bold;
  wrapped.wrap = true;
  EXPECT_EQ(a, b);
  EXPECT_NE(book.AddStyle(wrapped), a);
  EXPECT_EQ(book.AddStyle(CellStyle{}), 0u);
}

TEST(StringPool, KeepsEmptyAndBinaryStrings) {
  StringPool pool;
  uint32_t a = pool.Add("");
  uint32_t b = pool.Add(std::string_view("a\0b", 3));
  uint32_t c = pool.Add("xyz");
  EXPECT_EQ(pool.Get(a), "");
  EXPECT_EQ(pool.Get(b), std::string_view("a\0b", 3));
  EXPECT_EQ(pool.Get(c), "xyz");
  EXPECT_EQ(pool.Get(99), "");
}

}  // namespace
}  // namespace gridwell::model
