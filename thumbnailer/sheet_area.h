// The top-left area of a worksheet that a thumbnail shows: which rows and columns, and where
// each lies, in pixels of the sheet at 100% zoom. Hidden rows and columns take no room.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "reader/reader.h"

namespace gridwell::thumbnail {

// Rows and columns looked at from the top left, shown or hidden: a sheet whose rows or
// columns are nearly all hidden is not walked to its end.
inline constexpr int32_t kMostPositionsLookedAt = 4096;

struct Rect {
  double x = 0, y = 0, width = 0, height = 0;
};

// One run of positions along an axis: the numbers shown and their leading edges, with one
// more edge where the last ends.
struct Axis {
  std::vector<int32_t> numbers;
  std::vector<double> edges;

  // Index of a row or column number in `numbers`, or -1 when it is not shown.
  int IndexOf(int32_t number) const;
};

class SheetArea {
 public:
  // Takes rows and columns from the top left until `width` x `height` pixels are covered.
  SheetArea(const ReaderWorksheet& sheet, double width, double height);

  const Axis& Rows() const { return rows_; }
  const Axis& Columns() const { return cols_; }
  double Width() const { return width_; }
  double Height() const { return height_; }
  // The rectangle of a position, or of the shown part of the merged area it anchors.
  // Nothing when the position is not shown or lies inside a merged area it does not anchor.
  std::optional<Rect> CellRect(int32_t row, int32_t col) const;

 private:
  ReaderWorksheet sheet_;
  Axis rows_, cols_;
  double width_, height_;
};

// Pixel sizes of the sheet at 100% zoom (96 dots per inch).
double ColumnPixels(double widthChars);
double RowPixels(double heightTwips);

}  // namespace gridwell::thumbnail
