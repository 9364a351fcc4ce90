// Sparse store of the cells of one worksheet: records in storage order (the order the
// file gave them), with an open-addressing index for O(1) lookup by (row, column).
// A stored cell costs 20 bytes of record plus at most about 11 bytes of index.
//
// Files almost always give their cells in row-major order. While they do, a new cell lies
// past every stored one and cannot replace any, so Put only appends and the index is built
// later in one pass, when a lookup or an out-of-order cell needs it. Lookups are therefore
// not safe to run from several threads while cells are still being added.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "reader/base/cell_ref.h"
#include "reader/value.h"

namespace gridwell::model {

using base::kMaxColumns;
using base::kMaxRows;

// Kind of a stored record. Numbers become dates at read time when their format is a
// date format, so the store keeps only what the file said.
enum class StoredKind : uint8_t { Empty = 0, Number, Date, String, Error, Boolean };

struct CellRecord {
  uint32_t row;  // 1-based
  uint16_t col;  // 1-based
  StoredKind kind;
  uint8_t flags;        // kHasFormula
  uint32_t style;       // index into the workbook's cell formats
  uint32_t payload[2];  // double bits, string id, Boolean or error code

  static constexpr uint8_t kHasFormula = 1;

  double Number() const {
    double d;
    std::memcpy(&d, payload, sizeof d);
    return d;
  }
  void SetNumber(double d) { std::memcpy(payload, &d, sizeof d); }
};
static_assert(sizeof(CellRecord) == 20);

class CellStore {
 public:
  // Inserts or replaces the cell at (row, col); returns its index in storage order.
  // A later record for the same position replaces the earlier one in place.
  uint32_t Put(const CellRecord& rec);
  // Index of the cell at (row, col), or -1.
  int64_t Find(uint32_t row, uint32_t col) const;
  // Brings the index up to date with every stored cell.
  void IndexAll() const;

  size_t Count() const { return records_.size(); }
  const CellRecord& At(size_t i) const { return records_[i]; }
  CellRecord& At(size_t i) { return records_[i]; }
  void Reserve(size_t n);
  void ShrinkToFit();
  size_t MemoryUsage() const {
    return records_.capacity() * sizeof(CellRecord) + slots_.capacity() * sizeof(uint32_t);
  }

 private:
  static uint64_t Key(uint32_t row, uint32_t col) { return (uint64_t{row} << 16) | col; }
  static size_t Hash(uint64_t key) {
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 29);
  }
  void Rehash(size_t slotCount) const;

  void Insert(size_t index) const;

  std::vector<CellRecord> records_;
  // The index: record index + 1; 0 is a free slot. Records from `indexed_` on are not in
  // it yet; they were all appended in increasing (row, column) order.
  mutable std::vector<uint32_t> slots_;
  mutable size_t mask_ = 0;
  mutable size_t indexed_ = 0;
  uint64_t lastKey_ = 0;  // the largest key stored so far
};

}  // namespace gridwell::model
