// The sheet look: the page drawn as a spreadsheet program draws the sheet. Which rows and
// columns show, which positions a merged area joins into one table cell, what borders a
// position has of its own (its format and its conditional look), and the CSS of the looks
// the default pages do not write.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reader/reader.h"

namespace gridwell::conv {

// A merged area as the page writes it: one table cell at the area's first shown position,
// spanning the shown rows and columns of the area that lie in the page's range. Columns are
// counted from the range's first column (0-based).
struct MergedSpan {
  int32_t row = 0;           // the first shown row: where the table cell is written
  int32_t firstK = 0;        // the first shown column
  int32_t lastK = 0;         // the area's last column inside the range
  int32_t lastRow = 0;       // the area's last row inside the range
  int32_t lastShownRow = 0;  // the last shown row of the area
  int32_t rowSpan = 1, colSpan = 1;
};

// The rows, columns and merged areas of a page's range, worked out once per page.
class SheetGrid {
 public:
  SheetGrid(const ReaderWorksheet& sheet, int32_t startRow, int32_t startCol, int32_t endRow,
            int32_t endCol);

  bool ColumnShown(int32_t k) const { return shown_[static_cast<size_t>(k)]; }
  int32_t ColumnCount() const { return static_cast<int32_t>(shown_.size()); }
  bool RowShown(int32_t row) const { return !sheet_.RowHidden(row); }
  // The last shown row before `row` inside the range, or 0.
  int32_t ShownRowBefore(int32_t row) const;
  // In the order the page meets them: by row, then by column.
  const std::vector<MergedSpan>& Spans() const { return spans_; }
  // The first span whose table cell is in `row` or a later row.
  size_t FirstSpanFrom(int32_t row) const;

 private:
  const ReaderWorksheet& sheet_;
  int32_t startRow_, startCol_;
  std::vector<bool> shown_;  // by column of the range
  std::vector<MergedSpan> spans_;
};

// What a position looks like on the sheet-look page beyond the default pages: its format
// (a stored cell's, else its row's or column's) and the look conditional formats give it.
struct PositionLook {
  std::optional<CellFormat> format;
  const model::ConditionalLook* conditional = nullptr;
  // A merged area's lines on the sides where its first position has none: spreadsheet
  // programs keep them on the positions along that edge (the right edge's first, the bottom
  // edge's first). Line style code 0 for none.
  int32_t edgeStyle[4] = {0, 0, 0, 0};
  uint32_t edgeColor[4] = {0, 0, 0, 0};

  // The line style code of the position's own border on `side` (0 none).
  int32_t Border(int side) const;
  uint32_t BorderColor(int side) const;
};

// True when a format shows something on a position without a value: a fill or a border.
bool ShowsWithoutValue(const CellFormat& format);

// The style element of the sheet look: collapsed borders and, when the sheet shows them,
// gridlines on the left and top of every cell and on the right and bottom of the table; a
// cell's own borders, written by its class or its STYLE, take their place.
void AppendSheetLookStyle(std::string& out, bool gridlines);

// The declarations (each ending ";") a conditional look adds to a cell whose own look is
// `format`: font colour, weight, style and lines, fill, borders, and a data bar drawn as a
// background gradient. `fontColor` false leaves the colour out (the plain page puts it on
// the font wrapper instead).
void AppendConditionalCss(std::string& out, const model::ConditionalLook& look,
                          const CellFormat& format, bool fontColor);

}  // namespace gridwell::conv
