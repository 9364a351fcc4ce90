// The sheet layout: which merged areas are kept and found, and hidden rows kept as runs.
#include <gtest/gtest.h>

#include "reader/model/cell_store.h"
#include "reader/model/sheet_layout.h"

namespace gridwell::model {
namespace {

TEST(SheetLayout, KeepsMergedAreasThatDoNotOverlapAndFindsThemFromEveryPosition) {
  SheetLayout layout;
  struct Add {
    CellArea area;
    bool kept;
  } adds[] = {
      {{1, 8, 2, 8}, true},        // H1:H2, given before areas to its left
      {{1, 1, 2, 1}, true},        // A1:A2
      {{1, 3, 2, 4}, true},        // C1:D2
      {{3, 3, 3, 4}, true},        // C3:D3
      {{2, 4, 3, 5}, false},       // D2:E3 overlaps C1:D2
      {{5, 1, 5, 1}, false},       // a single cell
      {{6, 3, 6, 2}, false},       // reversed
      {{0, 1, 1, 2}, false},       // off the grid
      {{10, 2, 900000, 3}, true},  // tall: B10:C900000
      {{4, 1, 500000, 2}, false},  // crosses the tall one
      {{20, 1, 20, 1}, false},     // single
      {{20, 4, 21, 16384}, true},  // wide, beside the tall one
      {{kMaxRows - 1, 1, kMaxRows, 2}, true},
  };
  for (const Add& a : adds) {
    SCOPED_TRACE(testing::Message() << a.area.firstRow << "," << a.area.firstCol);
    EXPECT_EQ(layout.AddMerge(a.area), a.kept);
  }
  EXPECT_EQ(layout.Merges().size(), 7u);
  struct Probe {
    int32_t row, col;
    CellArea expect;  // all zero: none
  } probes[] = {
      {1, 8, {1, 8, 2, 8}},
      {2, 8, {1, 8, 2, 8}},
      {2, 1, {1, 1, 2, 1}},
      {2, 4, {1, 3, 2, 4}},
      {3, 4, {3, 3, 3, 4}},
      {3, 5, {}},
      {1, 2, {}},
      {4, 4, {}},
      {10, 2, {10, 2, 900000, 3}},
      {654321, 3, {10, 2, 900000, 3}},
      {900001, 3, {}},
      {654321, 4, {}},
      {21, 9999, {20, 4, 21, 16384}},
      {22, 9999, {}},
      {kMaxRows, 2, {kMaxRows - 1, 1, kMaxRows, 2}},
      {0, 0, {}},
      {-5, 3, {}},
  };
  for (const Probe& p : probes) {
    SCOPED_TRACE(testing::Message() << p.row << "," << p.col);
    const CellArea* m = layout.MergeAt(p.row, p.col);
    if (p.expect.firstRow == 0) {
      EXPECT_EQ(m, nullptr);
    } else {
      ASSERT_NE(m, nullptr);
      EXPECT_EQ(*m, p.expect);
    }
  }
}

TEST(SheetLayout, AHostileSheetOfHugeAreasKeepsTheFirstOnesAndFinishes) {
  // Every full-height column merged: checking each against all before would be quadratic.
  SheetLayout layout;
  int kept = 0;
  for (int32_t c = 1; c <= kMaxColumns; ++c) kept += layout.AddMerge({1, c, kMaxRows, c});
  EXPECT_GT(kept, 100);
  ASSERT_NE(layout.MergeAt(kMaxRows, 1), nullptr);
  EXPECT_EQ(layout.MergeAt(kMaxRows, 1)->firstCol, 1);
}

TEST(SheetLayout, HiddenRowsAreRunsInAnyOrderAndHugeRangesCostOneEntry) {
  SheetLayout layout;
  layout.HideRows(30, 40);
  layout.HideRows(41, 41);  // joins the run before it
  layout.HideRows(5, 6);    // out of order
  layout.HideRows(35, 50);  // overlaps
  layout.HideRows(-3, 1);   // clipped to the grid
  layout.Finish();
  struct Probe {
    int32_t row;
    bool hidden;
  } probes[] = {{1, true},  {2, false}, {5, true},  {6, true},   {7, false}, {29, false},
                {30, true}, {41, true}, {50, true}, {51, false}, {0, false}};
  for (const Probe& p : probes) EXPECT_EQ(layout.RowHidden(p.row), p.hidden) << p.row;

  // Rows hidden by default: everything but the rows listed as shown.
  SheetLayout byDefault;
  RowRuns shown;
  for (int32_t r : {1, 2, 3, 7, 220}) shown.Add(r, r);
  byDefault.HideRowsOutside(shown);
  byDefault.Finish();
  for (int32_t r : {1, 3, 7, 220}) EXPECT_FALSE(byDefault.RowHidden(r)) << r;
  for (int32_t r : {4, 6, 8, 219, 221, kMaxRows}) EXPECT_TRUE(byDefault.RowHidden(r)) << r;
}

}  // namespace
}  // namespace gridwell::model
