#include "reader/model/sheet_layout.h"

#include <algorithm>
#include <bit>

#include "reader/model/cell_store.h"

namespace gridwell::model {

namespace {

// Overlap checks of all merged areas together stop here (steps of about a lookup each): far
// beyond any real sheet, and a fraction of a second for a hostile one.
constexpr uint64_t kMergeWorkLimit = uint64_t{1} << 25;

int Level(int32_t firstRow, int32_t lastRow) {
  return std::bit_width(static_cast<uint32_t>(firstRow ^ lastRow));
}

uint64_t BucketKey(int level, int32_t row) {
  return (uint64_t(level) << 32) | (static_cast<uint32_t>(row) >> level);
}

bool TestBit(const std::vector<uint64_t>& bits, int32_t i) {
  const auto word = static_cast<size_t>(i) >> 6;
  return word < bits.size() && ((bits[word] >> (i & 63)) & 1);
}

// Sets bits first..last; the cost is a word per 64 bits.
void SetBits(std::vector<uint64_t>& bits, int32_t first, int32_t last) {
  const auto lastWord = static_cast<size_t>(last) >> 6;
  if (bits.size() <= lastWord) bits.resize(lastWord + 1, 0);
  for (int32_t i = first; i <= last;) {
    const size_t word = static_cast<size_t>(i) >> 6;
    const int from = i & 63;
    const int to = static_cast<size_t>(last) >> 6 == word ? last & 63 : 63;
    const uint64_t mask = (to - from == 63 ? ~uint64_t{0} : ((uint64_t{1} << (to - from + 1)) - 1))
                          << from;
    bits[word] |= mask;
    i += to - from + 1;
  }
}

}  // namespace

void RowRuns::Add(int32_t first, int32_t last) {
  first = std::max(first, 1);
  last = std::min(last, kMaxRows);
  if (first > last) return;
  if (!runs_.empty() && sorted_) {
    Run& back = runs_.back();
    if (first >= back.first && first <= back.last + 1) {
      back.last = std::max(back.last, last);
      return;
    }
    if (first <= back.last + 1) sorted_ = false;
  }
  runs_.push_back({first, last});
}

void RowRuns::Normalize() const {
  if (sorted_) return;
  std::sort(runs_.begin(), runs_.end(),
            [](const Run& a, const Run& b) { return a.first < b.first; });
  size_t out = 0;
  for (size_t i = 1; i < runs_.size(); ++i) {
    if (runs_[i].first <= runs_[out].last + 1) {
      runs_[out].last = std::max(runs_[out].last, runs_[i].last);
    } else {
      runs_[++out] = runs_[i];
    }
  }
  runs_.resize(runs_.empty() ? 0 : out + 1);
  sorted_ = true;
}

bool RowRuns::Contains(int32_t row) const {
  Normalize();
  auto it = std::upper_bound(runs_.begin(), runs_.end(), row,
                             [](int32_t r, const Run& run) { return r < run.first; });
  return it != runs_.begin() && row <= (it - 1)->last;
}

bool SheetLayout::AddMerge(const CellArea& a) {
  if (a.firstRow < 1 || a.firstCol < 1 || a.lastRow > kMaxRows || a.lastCol > kMaxColumns ||
      a.firstRow > a.lastRow || a.firstCol > a.lastCol)
    return false;
  if (a.firstRow == a.lastRow && a.firstCol == a.lastCol) return false;
  if (OverlapsEarlier(a)) return false;
  merges_.push_back(a);
  IndexMerge(static_cast<uint32_t>(merges_.size() - 1));
  return true;
}

// An area overlaps an earlier one when one of its positions lies in one: small areas are
// checked position by position, big ones against every earlier area, whichever is less work.
bool SheetLayout::OverlapsEarlier(const CellArea& a) {
  const uint64_t area = uint64_t(a.lastRow - a.firstRow + 1) * uint64_t(a.lastCol - a.firstCol + 1);
  const uint64_t pointCost = area * static_cast<uint64_t>(std::popcount(mergeLevels_) + 1);
  const uint64_t cost = std::min<uint64_t>(pointCost, merges_.size()) +
                        static_cast<uint64_t>(a.lastRow - a.firstRow) / 64 + 1;
  if (mergeWork_ + cost > kMergeWorkLimit) return true;
  mergeWork_ += cost;
  if (merges_.empty()) return false;
  if (pointCost <= merges_.size()) {
    for (int32_t r = a.firstRow; r <= a.lastRow; ++r) {
      if (!TestBit(rowsWithMerges_, r)) continue;
      for (int32_t c = a.firstCol; c <= a.lastCol; ++c) {
        if (MergeAt(r, c)) return true;
      }
    }
    return false;
  }
  for (const CellArea& m : merges_) {
    if (m.firstRow <= a.lastRow && a.firstRow <= m.lastRow && m.firstCol <= a.lastCol &&
        a.firstCol <= m.lastCol)
      return true;
  }
  return false;
}

void SheetLayout::IndexMerge(uint32_t index) {
  const CellArea& a = merges_[index];
  const int level = Level(a.firstRow, a.lastRow);
  mergeLevels_ |= uint32_t{1} << level;
  std::vector<uint32_t>& bucket = mergeBuckets_[BucketKey(level, a.firstRow)];
  // Areas mostly come left to right, so the new one usually goes last.
  auto at = bucket.end();
  while (at != bucket.begin() && merges_[*(at - 1)].firstCol > a.firstCol) --at;
  bucket.insert(at, index);
  SetBits(rowsWithMerges_, a.firstRow, a.lastRow);
  SetBits(columnsWithMerges_, a.firstCol, a.lastCol);
}

const CellArea* SheetLayout::MergeAt(int32_t row, int32_t col) const {
  if (!TestBit(rowsWithMerges_, row) || !TestBit(columnsWithMerges_, col)) return nullptr;
  for (uint32_t levels = mergeLevels_; levels != 0; levels &= levels - 1) {
    const int level = std::countr_zero(levels);
    auto it = mergeBuckets_.find(BucketKey(level, row));
    if (it == mergeBuckets_.end()) continue;
    const std::vector<uint32_t>& bucket = it->second;
    auto after = std::upper_bound(bucket.begin(), bucket.end(), col,
                                  [&](int32_t c, uint32_t i) { return c < merges_[i].firstCol; });
    if (after == bucket.begin()) continue;
    const CellArea& m = merges_[*(after - 1)];
    if (m.Contains(row, col)) return &m;
  }
  return nullptr;
}

void SheetLayout::HideRows(int32_t first, int32_t last) {
  hiddenRows_.Add(first, last);
}

void SheetLayout::HideRowsOutside(const RowRuns& shown) {
  int32_t next = 1;
  for (const RowRuns::Run& run : shown.Runs()) {
    if (run.first > next) hiddenRows_.Add(next, run.first - 1);
    next = run.last + 1;
  }
  if (next <= kMaxRows) hiddenRows_.Add(next, kMaxRows);
}

void SheetLayout::HideColumns(int32_t first, int32_t last) {
  if (first < 1) first = 1;
  if (last > kMaxColumns) last = kMaxColumns;
  if (first > last) return;
  if (hiddenColumns_.size() <= static_cast<size_t>(last)) hiddenColumns_.resize(last + 1, false);
  for (int32_t c = first; c <= last; ++c) hiddenColumns_[c] = true;
}

bool SheetLayout::RowHidden(int32_t row) const {
  return hiddenRows_.Contains(row);
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
  if (rowStyles_.empty()) return -1;
  auto it = rowStyles_.find(row);
  return it == rowStyles_.end() ? -1 : static_cast<int64_t>(it->second);
}

int64_t SheetLayout::ColumnStyle(int32_t col) const {
  return col >= 0 && static_cast<size_t>(col) < columnStyles_.size() ? columnStyles_[col] : -1;
}

}  // namespace gridwell::model
