#include "reader/model/cell_store.h"

namespace gridwell::model {

void CellStore::Insert(size_t index) const {
  size_t h = Hash(Key(records_[index].row, records_[index].col)) & mask_;
  while (slots_[h] != 0) h = (h + 1) & mask_;
  slots_[h] = static_cast<uint32_t>(index + 1);
}

void CellStore::Rehash(size_t slotCount) const {
  slots_.assign(slotCount, 0);
  mask_ = slotCount - 1;
  for (size_t i = 0; i < records_.size(); ++i) Insert(i);
  indexed_ = records_.size();
}

void CellStore::IndexAll() const {
  if (indexed_ == records_.size()) return;
  // Keep the load factor at or below 3/4 so that probes stay short.
  size_t want = slots_.empty() ? 16 : slots_.size();
  while (want * 3 < records_.size() * 4) want *= 2;
  if (want != slots_.size()) {
    Rehash(want);
    return;
  }
  for (size_t i = indexed_; i < records_.size(); ++i) Insert(i);
  indexed_ = records_.size();
}

int64_t CellStore::Find(uint32_t row, uint32_t col) const {
  if (row == 0 || Key(row, col) > lastKey_ || records_.empty()) return -1;
  IndexAll();
  size_t h = Hash(Key(row, col)) & mask_;
  while (uint32_t s = slots_[h]) {
    const CellRecord& r = records_[s - 1];
    if (r.row == row && r.col == col) return s - 1;
    h = (h + 1) & mask_;
  }
  return -1;
}

uint32_t CellStore::Put(const CellRecord& rec) {
  const uint64_t key = Key(rec.row, rec.col);
  if (records_.empty() || key > lastKey_) {
    // Past every stored cell: nothing to replace, the index catches up later.
    records_.push_back(rec);
    lastKey_ = key;
    return static_cast<uint32_t>(records_.size() - 1);
  }
  IndexAll();
  size_t h = Hash(key) & mask_;
  while (uint32_t s = slots_[h]) {
    CellRecord& r = records_[s - 1];
    if (r.row == rec.row && r.col == rec.col) {
      r = rec;
      return s - 1;
    }
    h = (h + 1) & mask_;
  }
  records_.push_back(rec);
  if ((records_.size()) * 4 > slots_.size() * 3) {
    Rehash(slots_.size() * 2);
  } else {
    slots_[h] = static_cast<uint32_t>(records_.size());
    indexed_ = records_.size();
  }
  return static_cast<uint32_t>(records_.size() - 1);
}

void CellStore::Reserve(size_t n) {
  records_.reserve(n);
  size_t want = 16;
  while (want * 3 < n * 4) want *= 2;
  if (want > slots_.size()) Rehash(want);
}

void CellStore::ShrinkToFit() {
  records_.shrink_to_fit();
  size_t want = 16;
  while (want * 3 < records_.size() * 4) want *= 2;
  if (want < slots_.size()) {
    Rehash(want);
  } else {
    IndexAll();
  }
}

}  // namespace gridwell::model
