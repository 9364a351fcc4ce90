// What a sheet shows beyond its stored cells: merged areas, hidden rows and columns,
// whether gridlines are drawn, and the formats given to whole rows and columns. The file
// readers fill it; the reader interface answers from it.
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

class SheetLayout {
 public:
  bool showGridlines = true;

  // Adds a merged area. Single cells, areas off the grid or reversed, and areas that
  // overlap an earlier one are ignored (false), as spreadsheet programs drop them.
  bool AddMerge(const CellArea& area);
  const std::vector<CellArea>& Merges() const { return merges_; }
  // The merged area covering the position, or null.
  const CellArea* MergeAt(int32_t row, int32_t col) const;

  void HideRows(int32_t first, int32_t last);
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

 private:
  std::vector<CellArea> merges_;
  std::unordered_map<int32_t, uint32_t> rowStyles_;
  std::vector<int64_t> columnStyles_;  // by column; -1 none
  std::vector<bool> hiddenColumns_;
  std::unordered_map<int32_t, bool> hiddenRows_;
};

}  // namespace gridwell::model
