#include "reader/model/workbook.h"

#include <algorithm>

#include "reader/base/ascii.h"
#include "reader/numfmt/numfmt.h"

namespace gridwell::model {

namespace {
bool OnGrid(int32_t row, int32_t col) {
  return row >= 1 && row <= kMaxRows && col >= 1 && col <= kMaxColumns;
}
}  // namespace

bool Sheet::Put(int32_t row, int32_t col, StoredKind kind, uint32_t style,
                const uint32_t payload[2]) {
  if (!OnGrid(row, col)) return false;
  CellRecord rec{static_cast<uint32_t>(row), static_cast<uint16_t>(col), kind, 0, style,
                 {payload[0], payload[1]}};
  int64_t existing = cells_.Find(rec.row, rec.col);
  if (existing >= 0) formulas_.erase(static_cast<uint32_t>(existing));
  cells_.Put(rec);
  return true;
}

bool Sheet::SetNumber(int32_t row, int32_t col, double v, uint32_t style) {
  CellRecord tmp{};
  tmp.SetNumber(v);
  return Put(row, col, StoredKind::Number, style, tmp.payload);
}
bool Sheet::SetDate(int32_t row, int32_t col, double serial, uint32_t style) {
  CellRecord tmp{};
  tmp.SetNumber(serial);
  return Put(row, col, StoredKind::Date, style, tmp.payload);
}
bool Sheet::SetString(int32_t row, int32_t col, std::string_view s, uint32_t style) {
  if (!OnGrid(row, col)) return false;
  return SetSharedString(row, col, book_->Strings().Add(s), style);
}
bool Sheet::SetSharedString(int32_t row, int32_t col, uint32_t stringId, uint32_t style) {
  const uint32_t p[2] = {stringId, 0};
  return Put(row, col, StoredKind::String, style, p);
}
bool Sheet::SetBool(int32_t row, int32_t col, bool b, uint32_t style) {
  const uint32_t p[2] = {b ? 1u : 0u, 0};
  return Put(row, col, StoredKind::Boolean, style, p);
}
bool Sheet::SetError(int32_t row, int32_t col, ErrorCode e, uint32_t style) {
  const uint32_t p[2] = {static_cast<uint32_t>(e), 0};
  return Put(row, col, StoredKind::Error, style, p);
}
bool Sheet::SetBlank(int32_t row, int32_t col, uint32_t style) {
  const uint32_t p[2] = {0, 0};
  return Put(row, col, StoredKind::Empty, style, p);
}

bool Sheet::SetFormula(int32_t row, int32_t col, std::string_view formula) {
  if (!OnGrid(row, col)) return false;
  int64_t i = cells_.Find(static_cast<uint32_t>(row), static_cast<uint32_t>(col));
  if (i < 0) {
    SetBlank(row, col);
    i = cells_.Find(static_cast<uint32_t>(row), static_cast<uint32_t>(col));
  }
  formulas_[static_cast<uint32_t>(i)] = book_->Strings().Add(formula);
  cells_.At(static_cast<size_t>(i)).flags |= CellRecord::kHasFormula;
  return true;
}

std::string_view Sheet::Formula(uint32_t cellIndex) const {
  auto it = formulas_.find(cellIndex);
  return it == formulas_.end() ? std::string_view{} : book_->Strings().Get(it->second);
}

void Sheet::SetComment(int32_t row, int32_t col, std::string_view text) {
  if (!OnGrid(row, col)) return;
  comments_[PosKey(row, col)] = book_->Strings().Add(text);
}

std::string_view Sheet::Comment(int32_t row, int32_t col) const {
  if (comments_.empty()) return {};
  auto it = comments_.find(PosKey(row, col));
  return it == comments_.end() ? std::string_view{} : book_->Strings().Get(it->second);
}

void Sheet::SetColumnWidth(int32_t firstCol, int32_t lastCol, double widthChars) {
  firstCol = std::max(firstCol, 1);
  lastCol = std::min(lastCol, kMaxColumns);
  if (firstCol > lastCol) return;
  if (columnWidths_.size() <= static_cast<size_t>(lastCol)) columnWidths_.resize(lastCol + 1, -1.0);
  std::fill(columnWidths_.begin() + firstCol, columnWidths_.begin() + lastCol + 1, widthChars);
}

double Sheet::ColumnWidth(int32_t col) const {
  if (col >= 1 && static_cast<size_t>(col) < columnWidths_.size() && columnWidths_[col] >= 0)
    return columnWidths_[col];
  return defaultColumnWidth;
}

void Sheet::SetRowHeight(int32_t row, double twips) {
  if (row < 1 || row > kMaxRows) return;
  rowHeights_[row] = twips;
}

double Sheet::RowHeight(int32_t row) const {
  if (rowHeights_.empty()) return defaultRowHeight;
  auto it = rowHeights_.find(row);
  return it == rowHeights_.end() ? defaultRowHeight : it->second;
}

size_t Sheet::MemoryUsage() const {
  return cells_.MemoryUsage() + formulas_.size() * 32 + comments_.size() * 40 +
         columnWidths_.capacity() * sizeof(double) + rowHeights_.size() * 32;
}

Workbook::Workbook() {
  fonts_.emplace_back();
  styles_.emplace_back();
}

Sheet& Workbook::AddSheet(std::string name) {
  sheets_.push_back(std::make_unique<Sheet>(this, std::move(name)));
  return *sheets_.back();
}

int64_t Workbook::FindSheet(std::string_view name) const {
  for (size_t i = 0; i < sheets_.size(); ++i) {
    if (base::EqualsNoCase(sheets_[i]->Name(), name)) return static_cast<int64_t>(i);
  }
  return -1;
}

uint32_t Workbook::AddFont(const Font& f) {
  fonts_.push_back(f);
  return static_cast<uint32_t>(fonts_.size() - 1);
}

uint32_t Workbook::AddStyle(const CellStyle& s) {
  for (size_t i = 0; i < styles_.size(); ++i) {
    if (styles_[i] == s) return static_cast<uint32_t>(i);
  }
  styles_.push_back(s);
  return static_cast<uint32_t>(styles_.size() - 1);
}

void Workbook::SetNumberFormat(uint16_t id, std::string_view code) {
  numberFormats_[id] = std::string(code);
  dateStyle_.clear();
}

std::string_view Workbook::NumberFormatCode(uint16_t id) const {
  auto it = numberFormats_.find(id);
  if (it != numberFormats_.end()) return it->second;
  return numfmt::BuiltinFormatCode(id);
}

bool Workbook::IsDateStyle(uint32_t style) const {
  if (style >= styles_.size()) style = 0;
  if (dateStyle_.size() == styles_.size()) return dateStyle_[style] != 0;
  return numfmt::IsDateFormat(NumberFormatCode(styles_[style].numFmtId));
}

void Workbook::Finish() {
  // The flags are filled here once, never on a lookup, so that a finished workbook is only
  // read and several threads can write pages from it at the same time.
  dateStyle_.clear();
  std::vector<int8_t> flags(styles_.size());
  for (uint32_t i = 0; i < styles_.size(); ++i) flags[i] = IsDateStyle(i) ? 1 : 0;
  dateStyle_ = std::move(flags);
  for (auto& s : sheets_) {
    s->ShrinkToFit();
    s->Layout().Finish();
  }
  strings_.ShrinkToFit();
}

size_t Workbook::MemoryUsage() const {
  size_t total = strings_.MemoryUsage() + styles_.capacity() * sizeof(CellStyle) +
                 fonts_.capacity() * sizeof(Font);
  for (const auto& s : sheets_) total += s->MemoryUsage();
  return total;
}

}  // namespace gridwell::model
