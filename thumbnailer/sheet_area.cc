#include "thumbnailer/sheet_area.h"

#include <algorithm>
#include <cmath>

namespace gridwell::thumbnail {

namespace {

template <class IsHidden, class Size>
Axis Lay(double length, int32_t last, IsHidden hidden, Size size) {
  Axis axis;
  double at = 0;
  axis.edges.push_back(0);
  for (int32_t n = 1; n <= std::min(last, kMostPositionsLookedAt) && at < length; ++n) {
    if (hidden(n)) continue;
    const double pixels = size(n);
    if (!(pixels >= 1)) continue;  // zero wide, or a damaged size
    at += pixels;
    axis.numbers.push_back(n);
    axis.edges.push_back(at);
  }
  return axis;
}

}  // namespace

int Axis::IndexOf(int32_t number) const {
  auto it = std::lower_bound(numbers.begin(), numbers.end(), number);
  return it != numbers.end() && *it == number ? static_cast<int>(it - numbers.begin()) : -1;
}

double ColumnPixels(double widthChars) {
  // Seven pixels per character of the default font's digits, and five of padding, as a
  // spreadsheet lays out an 11-point Calibri sheet: 8.43 characters are 64 pixels.
  if (!(widthChars > 0)) return 0;
  return std::floor(std::min(widthChars, 255.0) * 7 + 5 + 0.5);
}

double RowPixels(double heightTwips) {
  if (!(heightTwips > 0)) return 0;
  return std::floor(std::min(heightTwips, 8190.0) / 15 + 0.5);  // 15 twips a pixel
}

SheetArea::SheetArea(const ReaderWorksheet& sheet, double width, double height)
    : sheet_(sheet), width_(width), height_(height) {
  ReaderRows rows = sheet.Rows();
  ReaderColumns cols = sheet.Columns();
  rows_ = Lay(
      height, model::kMaxRows, [&](int32_t r) { return sheet.RowHidden(r); },
      [&](int32_t r) { return RowPixels(rows.Item(r).Height()); });
  cols_ = Lay(
      width, model::kMaxColumns, [&](int32_t c) { return sheet.ColumnHidden(c); },
      [&](int32_t c) { return ColumnPixels(cols.Item(c).Width()); });
}

std::optional<Rect> SheetArea::CellRect(int32_t row, int32_t col) const {
  int r0 = rows_.IndexOf(row), c0 = cols_.IndexOf(col);
  if (r0 < 0 || c0 < 0) return std::nullopt;
  int r1 = r0, c1 = c0;
  if (const model::CellArea* merged = sheet_.MergedArea(row, col)) {
    if (merged->firstRow != row || merged->firstCol != col) return std::nullopt;
    // The last shown row and column inside the area.
    auto lastShown = [](const Axis& axis, int from, int32_t lastNumber) {
      int i = from;
      while (i + 1 < static_cast<int>(axis.numbers.size()) && axis.numbers[i + 1] <= lastNumber)
        ++i;
      return i;
    };
    r1 = lastShown(rows_, r0, merged->lastRow);
    c1 = lastShown(cols_, c0, merged->lastCol);
  }
  return Rect{cols_.edges[c0], rows_.edges[r0], cols_.edges[c1 + 1] - cols_.edges[c0],
              rows_.edges[r1 + 1] - rows_.edges[r0]};
}

}  // namespace gridwell::thumbnail
