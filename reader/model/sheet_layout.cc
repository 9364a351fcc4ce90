#include "reader/model/sheet_layout.h"

#include "reader/model/cell_store.h"

namespace gridwell::model {

namespace {
bool Overlap(const CellArea& a, const CellArea& b) {
  return a.firstRow <= b.lastRow && b.firstRow <= a.lastRow && a.firstCol <= b.lastCol &&
         b.firstCol <= a.lastCol;
}
}  // namespace

bool SheetLayout::AddMerge(const CellArea& a) {
  if (a.firstRow < 1 || a.firstCol < 1 || a.lastRow > kMaxRows || a.lastCol > kMaxColumns ||
      a.firstRow > a.lastRow || a.firstCol > a.lastCol)
    return false;
  if (a.firstRow == a.lastRow && a.firstCol == a.lastCol) return false;
  for (const CellArea& m : merges_)
    if (Overlap(m, a)) return false;
  merges_.push_back(a);
  return true;
}

const CellArea* SheetLayout::MergeAt(int32_t row, int32_t col) const {
  for (const CellArea& m : merges_)
    if (m.Contains(row, col)) return &m;
  return nullptr;
}

void SheetLayout::HideRows(int32_t first, int32_t last) {
  if (first < 1) first = 1;
  if (last > kMaxRows) last = kMaxRows;
  for (int32_t r = first; r <= last; ++r) hiddenRows_[r] = true;
}

void SheetLayout::HideColumns(int32_t first, int32_t last) {
  if (first < 1) first = 1;
  if (last > kMaxColumns) last = kMaxColumns;
  if (first > last) return;
  if (hiddenColumns_.size() <= static_cast<size_t>(last)) hiddenColumns_.resize(last + 1, false);
  for (int32_t c = first; c <= last; ++c) hiddenColumns_[c] = true;
}

bool SheetLayout::RowHidden(int32_t row) const {
  return hiddenRows_.count(row) != 0;
}

bool SheetLayout::ColumnHidden(int32_t col) const {
  return col >= 0 && static_cast<size_t>(col) < hiddenColumns_.size() && hiddenColumns_[col];
}

void SheetLayout::SetRowStyle(int32_t row, uint32_t style) {
  if (row >= 1 && row <= kMaxRows) rowStyles_[row] = style;
}

void SheetLayout::SetColumnStyle(int32_t first, int32_t last, uint32_t style) {
  if (first < 1) first = 1;
  if (last > kMaxColumns) last = kMaxColumns;
  if (first > last) return;
  if (columnStyles_.size() <= static_cast<size_t>(last)) columnStyles_.resize(last + 1, -1);
  for (int32_t c = first; c <= last; ++c) columnStyles_[c] = style;
}

int64_t SheetLayout::RowStyle(int32_t row) const {
  auto it = rowStyles_.find(row);
  return it == rowStyles_.end() ? -1 : static_cast<int64_t>(it->second);
}

int64_t SheetLayout::ColumnStyle(int32_t col) const {
  return col >= 0 && static_cast<size_t>(col) < columnStyles_.size() ? columnStyles_[col] : -1;
}

}  // namespace gridwell::model
