// The in-memory workbook that the file readers fill and the reader interface reads.
// Cells refer to a shared table of cell formats; strings live once in a string pool.
// Mutating methods double as the builder that tests use to make workbooks without files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "reader/model/cell_store.h"
#include "reader/model/conditional_format.h"
#include "reader/model/sheet_layout.h"
#include "reader/model/string_pool.h"
#include "reader/value.h"

namespace gridwell::model {

// Colours are 0x00BBGGRR (red in the lowest byte).
struct Font {
  std::string name = "Arial";
  double size = 10;  // points
  bool bold = false;
  bool italic = false;
  bool strike = false;
  uint8_t underline = 0;   // 0 none, 1 single, 2 double, 33 single accounting, 34 double accounting
  uint8_t escapement = 0;  // 0 none, 1 superscript, 2 subscript
  uint32_t color = 0;

  bool operator==(const Font&) const = default;
};

inline constexpr uint8_t kFillNone = 58;

enum BorderSide : int { kLeft = 0, kRight = 1, kTop = 2, kBottom = 3 };

// One cell format (an XF): everything a cell's look needs, fonts by index.
struct CellStyle {
  uint16_t numFmtId = 0;
  uint8_t hAlign = 0;  // 0 general, 1 left, 2 center, 3 right, 4 fill, 5 justify,
                       // 6 center across selection, 7 distributed
  uint8_t vAlign = 2;  // 0 top, 1 center, 2 bottom, 3 justify, 4 distributed
  uint8_t indent = 0;
  bool wrap = false;
  bool locked = true;
  bool hidden = false;
  uint8_t fillPattern = kFillNone;  // workbook numbering: 1 solid, 2.. patterns; 58 none
  uint32_t fillColor = 0;           // 0 when there is no fill
  uint32_t fontIndex = 0;
  uint8_t borderStyle[4] = {0, 0, 0, 0};  // by BorderSide; codes 0..13
  uint32_t borderColor[4] = {0, 0, 0, 0};

  bool operator==(const CellStyle&) const = default;
};

class Workbook;

class Sheet {
 public:
  Sheet(Workbook* book, std::string name) : book_(book), name_(std::move(name)) {}

  const std::string& Name() const { return name_; }
  bool hidden = false;
  bool isProtected = false;

  // Builder: each replaces any earlier cell at the position. Rows and columns are 1-based;
  // positions outside the grid are ignored (the call returns false).
  bool SetNumber(int32_t row, int32_t col, double v, uint32_t style = 0);
  bool SetDate(int32_t row, int32_t col, double serial, uint32_t style = 0);
  bool SetString(int32_t row, int32_t col, std::string_view s, uint32_t style = 0);
  bool SetSharedString(int32_t row, int32_t col, uint32_t stringId, uint32_t style = 0);
  bool SetBool(int32_t row, int32_t col, bool b, uint32_t style = 0);
  bool SetError(int32_t row, int32_t col, ErrorCode e, uint32_t style = 0);
  bool SetBlank(int32_t row, int32_t col, uint32_t style = 0);
  bool SetFormula(int32_t row, int32_t col, std::string_view formula);  // text with leading "="
  void SetComment(int32_t row, int32_t col, std::string_view text);
  void SetColumnWidth(int32_t firstCol, int32_t lastCol, double widthChars);
  void SetRowHeight(int32_t row, double twips);
  double defaultColumnWidth = 8.43;  // characters
  double defaultRowHeight = 255;     // twips

  // Reading.
  const CellStore& Cells() const { return cells_; }
  CellStore& MutableCells() { return cells_; }
  std::string_view Formula(uint32_t cellIndex) const;
  std::string_view Comment(int32_t row, int32_t col) const;
  double ColumnWidth(int32_t col) const;
  double RowHeight(int32_t row) const;
  Workbook& Book() const { return *book_; }

  // Merged areas, hidden rows and columns, gridlines, row and column formats.
  SheetLayout& Layout() { return layout_; }
  const SheetLayout& Layout() const { return layout_; }
  ConditionalFormats& Conditional() { return conditional_; }
  const ConditionalFormats& Conditional() const { return conditional_; }

  void ShrinkToFit() { cells_.ShrinkToFit(); }
  size_t MemoryUsage() const;

 private:
  bool Put(int32_t row, int32_t col, StoredKind kind, uint32_t style, const uint32_t payload[2]);
  static uint64_t PosKey(int32_t row, int32_t col) {
    return (uint64_t(uint32_t(row)) << 16) | uint32_t(col);
  }

  Workbook* book_;
  std::string name_;
  CellStore cells_;
  std::unordered_map<uint32_t, uint32_t> formulas_;  // cell index -> string id
  std::unordered_map<uint64_t, uint32_t> comments_;  // position -> string id
  std::vector<double> columnWidths_;                 // by column; < 0 means default
  std::unordered_map<int32_t, double> rowHeights_;   // twips
  SheetLayout layout_;
  ConditionalFormats conditional_;
};

class Workbook {
 public:
  Workbook();
  Workbook(const Workbook&) = delete;
  Workbook& operator=(const Workbook&) = delete;

  bool date1904 = false;
  bool isProtected = false;
  // Damage or content the reader passed over while reading a workbook it could still read,
  // one line each, for the user and for logs.
  std::vector<std::string> warnings;

  Sheet& AddSheet(std::string name);
  size_t SheetCount() const { return sheets_.size(); }
  Sheet& SheetAt(size_t i) { return *sheets_[i]; }
  const Sheet& SheetAt(size_t i) const { return *sheets_[i]; }
  // Index of the sheet whose name equals `name` without regard to letter case, or -1.
  int64_t FindSheet(std::string_view name) const;

  StringPool& Strings() { return strings_; }
  const StringPool& Strings() const { return strings_; }

  // Formats. Index 0 of fonts and styles always exists (the workbook's default).
  uint32_t AddFont(const Font& f);
  uint32_t AddStyle(const CellStyle& s);  // returns the index; equal styles share one entry
  std::vector<Font>& Fonts() { return fonts_; }
  const std::vector<Font>& Fonts() const { return fonts_; }
  std::vector<CellStyle>& Styles() { return styles_; }
  const std::vector<CellStyle>& Styles() const { return styles_; }
  const CellStyle& Style(uint32_t i) const { return i < styles_.size() ? styles_[i] : styles_[0]; }
  const Font& FontOf(const CellStyle& s) const {
    return s.fontIndex < fonts_.size() ? fonts_[s.fontIndex] : fonts_[0];
  }

  // Number format codes: custom codes by id, else the built-in table.
  void SetNumberFormat(uint16_t id, std::string_view code);
  std::string_view NumberFormatCode(uint16_t id) const;
  // True when the style's number format shows dates or times (cached per style).
  bool IsDateStyle(uint32_t style) const;

  // Call once the file is read: fixes the per-style date flags and trims spare capacity.
  void Finish();

  size_t MemoryUsage() const;

 private:
  std::vector<std::unique_ptr<Sheet>> sheets_;
  StringPool strings_;
  std::vector<Font> fonts_;
  std::vector<CellStyle> styles_;
  std::unordered_map<uint16_t, std::string> numberFormats_;
  std::vector<int8_t> dateStyle_;  // per cell format, 1 for a date format; filled by Finish
};

}  // namespace gridwell::model
