// The reader interface: the objects and operations the converter asks of a workbook
// reader. Nothing above this header knows whether a workbook came from .xls or .xlsx.
//
// Objects are small handles. A handle that refers to nothing is "null" (operator bool is
// false) and answers every operation with an empty result; no operation throws. Handles
// below the worksheet (cells, rows, columns, comments) stay valid while the workbook they
// came from is alive; workbooks and worksheets keep their workbook alive.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "reader/model/workbook.h"
#include "reader/read_result.h"
#include "reader/value.h"

namespace gridwell {

namespace numfmt {
class FormatCache;
}

// The look of a cell. A null format answers with the defaults of an unformatted cell.
class CellFormat {
 public:
  CellFormat() = default;

  int32_t HorizontalAlignment() const { return Style().hAlign; }
  int32_t VerticalAlignment() const { return Style().vAlign; }
  bool WrapText() const { return Style().wrap; }
  int32_t FillPattern() const { return Style().fillPattern; }
  uint32_t FillColor() const { return Style().fillColor; }
  int32_t NumberFormatIndex() const { return Style().numFmtId; }
  std::string_view NumberFormat() const;  // the format code itself
  bool Bold() const { return FontRef().bold; }
  bool Italic() const { return FontRef().italic; }
  bool Strikethrough() const { return FontRef().strike; }
  int32_t Underline() const { return FontRef().underline; }
  int32_t Escapement() const { return FontRef().escapement; }
  std::string_view FontName() const { return FontRef().name; }
  uint32_t FontColor() const { return FontRef().color; }
  double FontSize() const { return FontRef().size; }
  int32_t IndentLevel() const { return Style().indent; }
  // side: 0 left, 1 right, 2 top, 3 bottom. Other sides answer 0.
  int32_t BorderLineStyle(int side) const;
  uint32_t BorderColor(int side) const;
  // The format's entry in its workbook's table of cell formats: cells of one workbook with
  // the same entry look the same.
  uint32_t FormatId() const { return style_; }

 protected:
  friend class ReaderWorksheet;
  CellFormat(const model::Workbook* book, uint32_t style) : book_(book), style_(style) {}
  // Inline: the page writers read a dozen properties of every cell.
  const model::CellStyle& Style() const { return book_ ? book_->Style(style_) : DefaultStyle(); }
  const model::Font& FontRef() const { return book_ ? book_->FontOf(Style()) : DefaultFont(); }
  static const model::CellStyle& DefaultStyle();
  static const model::Font& DefaultFont();

  const model::Workbook* book_ = nullptr;
  uint32_t style_ = 0;
};

class ReaderCell : public CellFormat {
 public:
  ReaderCell() = default;
  explicit operator bool() const { return sheet_ != nullptr; }

  int32_t Row() const;
  int32_t Column() const;
  CellValue Value() const;
  std::string_view Formula() const;  // "" when the cell has none
  std::string Text() const;          // the value as its own number format shows it
  // Appends Text(); returns the colour of the format section that showed the value
  // (0x00BBGGRR, as a "[Red]" or "[Color10]" gives it), or -1 when that section has none.
  int64_t AppendText(std::string& out) const;
  // The colour AppendText returns, without making the text.
  int64_t TextColor() const;

 private:
  friend class ReaderCells;
  ReaderCell(const model::Sheet* sheet, uint32_t index);
  const model::Sheet* sheet_ = nullptr;
  uint32_t index_ = 0;
};

class ReaderCells {
 public:
  ReaderCells() = default;
  explicit operator bool() const { return sheet_ != nullptr; }
  int32_t Count() const;
  ReaderCell Item(int32_t i) const;                 // 1-based, storage order
  ReaderCell Cell(int32_t row, int32_t col) const;  // null when no cell is stored there

 private:
  friend class ReaderWorksheet;
  explicit ReaderCells(const model::Sheet* s) : sheet_(s) {}
  const model::Sheet* sheet_ = nullptr;
};

class ReaderColumn {
 public:
  explicit operator bool() const { return sheet_ != nullptr; }
  double Width() const;  // characters of the default font
 private:
  friend class ReaderColumns;
  ReaderColumn(const model::Sheet* s, int32_t c) : sheet_(s), col_(c) {}
  const model::Sheet* sheet_ = nullptr;
  int32_t col_ = 0;
};

class ReaderColumns {
 public:
  ReaderColumns() = default;
  ReaderColumn Item(int32_t col) const;  // null outside 1..16384
 private:
  friend class ReaderWorksheet;
  explicit ReaderColumns(const model::Sheet* s) : sheet_(s) {}
  const model::Sheet* sheet_ = nullptr;
};

class ReaderRow {
 public:
  explicit operator bool() const { return sheet_ != nullptr; }
  double Height() const;  // twips
 private:
  friend class ReaderRows;
  ReaderRow(const model::Sheet* s, int32_t r) : sheet_(s), row_(r) {}
  const model::Sheet* sheet_ = nullptr;
  int32_t row_ = 0;
};

class ReaderRows {
 public:
  ReaderRows() = default;
  ReaderRow Item(int32_t row) const;  // null outside 1..1048576
 private:
  friend class ReaderWorksheet;
  explicit ReaderRows(const model::Sheet* s) : sheet_(s) {}
  const model::Sheet* sheet_ = nullptr;
};

class ReaderComment {
 public:
  std::string_view Text() const { return text_; }  // "" when the cell has none
 private:
  friend class ReaderComments;
  explicit ReaderComment(std::string_view t) : text_(t) {}
  std::string_view text_;
};

class ReaderComments {
 public:
  ReaderComments() = default;
  ReaderComment Item(int32_t row, int32_t col) const;  // one for any cell
 private:
  friend class ReaderWorksheet;
  explicit ReaderComments(const model::Sheet* s) : sheet_(s) {}
  const model::Sheet* sheet_ = nullptr;
};

class ReaderWorksheet {
 public:
  ReaderWorksheet() = default;
  explicit operator bool() const { return book_ != nullptr; }

  std::string_view Name() const;
  int32_t Index() const { return book_ ? index_ + 1 : 0; }  // 1-based position
  bool IsProtected() const;
  void Unprotect();
  bool IsHidden() const;
  ReaderCells Cells() const { return ReaderCells(Sheet()); }
  ReaderColumns Columns() const { return ReaderColumns(Sheet()); }
  ReaderRows Rows() const { return ReaderRows(Sheet()); }
  ReaderComments Comments() const { return ReaderComments(Sheet()); }

  // The sheet as a spreadsheet program draws it, beyond its cells.
  bool ShowsGridlines() const;
  bool RowHidden(int32_t row) const;
  bool ColumnHidden(int32_t col) const;
  // The merged area covering the position, or null when it lies in none.
  const model::CellArea* MergedArea(int32_t row, int32_t col) const;
  // Every merged area of the sheet, for callers that walk the sheet in order and would
  // otherwise ask MergedArea of every position.
  std::span<const model::CellArea> MergedAreas() const;
  // The format a position without a stored cell shows: its row's, else its column's;
  // nothing when neither has one.
  std::optional<CellFormat> PositionFormat(int32_t row, int32_t col) const;
  // The format that holds a merged area's line on `side` (model::BorderSide): spreadsheet
  // programs keep it on the position along that edge (the right edge's first, the bottom
  // edge's first; the first position for the left and top). Its stored cell's format, else
  // its row's or column's.
  std::optional<CellFormat> MergedEdgeFormat(const model::CellArea& area, int side) const;
  // The look conditional formats give the position, or null; rules left unevaluated
  // because they need a formula are counted.
  const model::ConditionalLook* ConditionalLookAt(int32_t row, int32_t col) const;
  int32_t UnevaluatedConditionalRules() const;

 private:
  friend class ReaderWorksheets;
  friend class ReaderWorkbook;
  ReaderWorksheet(std::shared_ptr<model::Workbook> b, int32_t i) : book_(std::move(b)), index_(i) {}
  const model::Sheet* Sheet() const;
  std::shared_ptr<model::Workbook> book_;
  int32_t index_ = 0;  // 0-based
};

class ReaderWorksheets {
 public:
  ReaderWorksheets() = default;
  int32_t Count() const;
  ReaderWorksheet Item(int32_t n) const;  // 1-based; null when out of range

 private:
  friend class ReaderWorkbook;
  explicit ReaderWorksheets(std::shared_ptr<model::Workbook> b) : book_(std::move(b)) {}
  std::shared_ptr<model::Workbook> book_;
};

class ReaderWorkbook {
 public:
  ReaderWorkbook() = default;
  explicit ReaderWorkbook(std::shared_ptr<model::Workbook> b) : book_(std::move(b)) {}
  explicit operator bool() const { return book_ != nullptr; }

  bool IsProtected() const { return book_ && book_->isProtected; }
  void Unprotect() {
    if (book_) book_->isProtected = false;
  }
  ReaderWorksheets Worksheets() const { return ReaderWorksheets(book_); }
  // Finds a sheet by name without regard to letter case; null when there is none.
  ReaderWorksheet WorksheetByName(std::string_view name) const;
  bool Uses1904Dates() const { return book_ && book_->date1904; }
  // What the reader passed over in a workbook it could still read, one line each.
  std::vector<std::string> Warnings() const {
    return book_ ? book_->warnings : std::vector<std::string>();
  }
  const std::shared_ptr<model::Workbook>& Model() const { return book_; }

 private:
  std::shared_ptr<model::Workbook> book_;
};

class WorkbookLoader {
 public:
  // -1 not a readable workbook, 0 plain, positive when it needs a password to open.
  int IsPasswordProtected(const std::string& path);
  // True when the file can be read and starts as neither an .xlsx package nor an .xls compound
  // file: no workbook at all, rather than a damaged one.
  static bool IsNotAWorkbook(const std::string& path);
  // Each replaces the loader's workbook: the new one, or null when opening failed.
  bool Open(const std::string& path);
  bool OpenWithPassword(const std::string& path, const std::string& password);
  ReaderWorkbook Workbook() const { return workbook_; }

  // Why the last open failed (Ok after a success), with a detail for logs.
  const Status& LastStatus() const { return status_; }

 private:
  bool Load(const std::string& path, const std::string* password);
  ReaderWorkbook workbook_;
  Status status_;
};

class ReaderApplication {
 public:
  WorkbookLoader& Workbooks() { return loader_; }

 private:
  WorkbookLoader loader_;
};

// Reads any supported workbook file (detected by content, not by name). Never throws.
ReadResult ReadWorkbookFile(const std::string& path, const std::string* password,
                            const ReadLimits& limits = {});

}  // namespace gridwell
