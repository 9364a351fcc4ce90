// What a sheet shows beyond its stored cells: merged areas, hidden rows and columns,
// whether gridlines are drawn, and the formats given to whole rows and columns. The file
// readers fill it; the reader interface answers from it.
//
// The page writers ask about every position of a page, so each question costs about the
// same on a sheet with fifty thousand merged areas or a million hidden rows as on an empty
// one. As with the cell store, a layout still being filled out of order puts itself in
// order on its first question; a finished one (Finish) is only read, by any number of
// threads.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace gridwell::model {

// A rectangle of the sheet, 1-based and inclusive.
struct CellArea {
  int32_t firstRow = 0;
  int32_t firstCol = 0;
  int32_t lastRow = 0;
  int32_t lastCol = 0;

  bool Contains(int32_t row, int32_t col) const {
    return row >= firstRow && row <= lastRow && col >= firstCol && col <= lastCol;
  }
  bool operator==(const CellArea&) const = default;
};

// A set of rows kept as sorted, disjoint runs, so a run of a million rows is one entry.
class RowRuns {
 public:
  struct Run {
    int32_t first, last;
  };
  // Adds rows first..last (clipped to the grid). Rows that come in order cost O(1).
  void Add(int32_t first, int32_t last);
  bool Contains(int32_t row) const;
  // The runs in order; empty gaps between them.
  const std::vector<Run>& Runs() const {
    Normalize();
    return runs_;
  }
  bool Empty() const { return runs_.empty(); }
  void Normalize() const;

 private:
  mutable std::vector<Run> runs_;
  mutable bool sorted_ = true;
};

class SheetLayout {
 public:
  bool showGridlines = true;

  // Adds a merged area. Single cells, areas off the grid or reversed, and areas that
  // overlap an earlier one are ignored (false), as spreadsheet programs drop them. A
  // sheet whose merged areas would take unbounded work to check keeps the first ones.
  bool AddMerge(const CellArea& area);
  const std::vector<CellArea>& Merges() const { return merges_; }
  // The merged area covering the position, or null.
  const CellArea* MergeAt(int32_t row, int32_t col) const;

  void HideRows(int32_t first, int32_t last);
  // Hides every row of the grid that `shown` leaves out: a sheet whose rows are hidden by
  // default lists the rows it shows.
  void HideRowsOutside(const RowRuns& shown);
  void HideColumns(int32_t first, int32_t last);
  bool RowHidden(int32_t row) const;
  bool ColumnHidden(int32_t col) const;

  // Formats of whole rows and columns (indexes into the workbook's cell formats); a
  // position with no stored cell shows its row's format, else its column's.
  void SetRowStyle(int32_t row, uint32_t style);
  void SetColumnStyle(int32_t first, int32_t last, uint32_t style);
  // -1 when the row (column) has no format of its own.
  int64_t RowStyle(int32_t row) const;
  int64_t ColumnStyle(int32_t col) const;
  bool HasRowOrColumnStyles() const { return !rowStyles_.empty() || !columnStyles_.empty(); }

  // Puts everything in order once reading is done, so lookups only read.
  void Finish() const { hiddenRows_.Normalize(); }

 private:
  bool OverlapsEarlier(const CellArea& a);
  void IndexMerge(uint32_t index);

  std::vector<CellArea> merges_;
  // Merged areas by the highest row bit in which their first and last rows differ (the
  // level) and the row bits above it: every area of one such bucket spans the same row,
  // so its areas do not share columns and are kept sorted by first column.
  std::unordered_map<uint64_t, std::vector<uint32_t>> mergeBuckets_;
  uint32_t mergeLevels_ = 0;                 // bit k: some bucket of level k exists
  std::vector<uint64_t> rowsWithMerges_;     // bit per row
  std::vector<uint64_t> columnsWithMerges_;  // bit per column
  uint64_t mergeWork_ = 0;                   // steps spent checking overlaps

  std::unordered_map<int32_t, uint32_t> rowStyles_;
  std::vector<int64_t> columnStyles_;  // by column; -1 none
  std::vector<bool> hiddenColumns_;
  RowRuns hiddenRows_;
};

}  // namespace gridwell::model
