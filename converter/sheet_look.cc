#include "converter/sheet_look.h"

#include <algorithm>
#include <cmath>

#include "converter/cell_markup.h"
#include "converter/style_sheet.h"

namespace gridwell::conv {

namespace {

constexpr std::string_view kBorderProperty[4] = {
    "border-left:", "border-right:", "border-top:", "border-bottom:"};  // by model::BorderSide

// A data bar's length as a percentage of the cell's width with one decimal, "0" to "100".
void AppendPercent(std::string& out, double fraction) {
  if (!(fraction > 0)) fraction = 0;
  if (fraction > 1) fraction = 1;
  const auto tenths = static_cast<int64_t>(std::lround(fraction * 1000));
  AppendInt(out, tenths / 10);
  if (tenths % 10 != 0) {
    out += '.';
    AppendInt(out, tenths % 10);
  }
  out += '%';
}

}  // namespace

SheetGrid::SheetGrid(const ReaderWorksheet& sheet, int32_t startRow, int32_t startCol,
                     int32_t endRow, int32_t endCol)
    : sheet_(sheet), startRow_(startRow), startCol_(startCol) {
  for (int32_t col = startCol; col <= endCol; ++col) shown_.push_back(!sheet.ColumnHidden(col));
  for (const model::CellArea& a : sheet.MergedAreas()) {
    const int32_t fr = std::max(a.firstRow, startRow), lr = std::min(a.lastRow, endRow);
    const int32_t fc = std::max(a.firstCol, startCol), lc = std::min(a.lastCol, endCol);
    if (fr > lr || fc > lc) continue;
    MergedSpan s;
    s.lastRow = lr;
    s.lastK = lc - startCol;
    s.rowSpan = s.colSpan = 0;
    for (int32_t row = fr; row <= lr; ++row) {
      if (!RowShown(row)) continue;
      if (s.rowSpan++ == 0) s.row = row;
      s.lastShownRow = row;
    }
    for (int32_t k = fc - startCol; k <= s.lastK; ++k) {
      if (!ColumnShown(k)) continue;
      if (s.colSpan++ == 0) s.firstK = k;
    }
    if (s.rowSpan > 0 && s.colSpan > 0) spans_.push_back(s);
  }
  std::sort(spans_.begin(), spans_.end(), [](const MergedSpan& a, const MergedSpan& b) {
    return a.row != b.row ? a.row < b.row : a.firstK < b.firstK;
  });
}

int32_t SheetGrid::ShownRowBefore(int32_t row) const {
  for (int32_t r = row - 1; r >= startRow_; --r) {
    if (RowShown(r)) return r;
  }
  return 0;
}

size_t SheetGrid::FirstSpanFrom(int32_t row) const {
  const auto it = std::lower_bound(spans_.begin(), spans_.end(), row,
                                   [](const MergedSpan& s, int32_t r) { return s.row < r; });
  return static_cast<size_t>(it - spans_.begin());
}

int32_t PositionLook::Border(int side) const {
  if (conditional && conditional->format.borderStyle[side]) {
    return *conditional->format.borderStyle[side];
  }
  const int32_t own = format ? format->BorderLineStyle(side) : 0;
  return own > 0 ? own : edgeStyle[side];
}

uint32_t PositionLook::BorderColor(int side) const {
  if (conditional && conditional->format.borderColor[side]) {
    return *conditional->format.borderColor[side];
  }
  if (format && format->BorderLineStyle(side) > 0) return format->BorderColor(side);
  return edgeStyle[side] > 0 ? edgeColor[side] : (format ? format->BorderColor(side) : 0);
}

bool ShowsWithoutValue(const CellFormat& format) {
  if (format.FillPattern() != model::kFillNone) return true;
  for (int side = 0; side < 4; ++side) {
    if (format.BorderLineStyle(side) > 0) return true;
  }
  return false;
}

void AppendSheetLookStyle(std::string& out, bool gridlines) {
  out.append("<STYLE>\r\nTABLE {border-collapse:collapse;");
  if (gridlines) out.append("border-right:1px solid #D4D4D4;border-bottom:1px solid #D4D4D4;");
  out.append("}\r\n");
  if (gridlines) out.append("TD {border-left:1px solid #D4D4D4;border-top:1px solid #D4D4D4;}\r\n");
  out.append("</STYLE>\r\n");
}

void AppendConditionalCss(std::string& out, const model::ConditionalLook& look,
                          const CellFormat& format, bool fontColor) {
  const model::DifferentialFormat& f = look.format;
  if (fontColor && f.fontColor) {
    out.append("color:");
    AppendHtmlColor(out, *f.fontColor);
    out += ';';
  }
  if (f.bold) out.append(*f.bold ? "font-weight:700;" : "font-weight:400;");
  if (f.italic) out.append(*f.italic ? "font-style:italic;" : "font-style:normal;");
  if (f.underline || f.strike) {
    const bool under = f.underline ? *f.underline != 0 : format.Underline() != 0;
    const bool strike = f.strike ? *f.strike : format.Strikethrough();
    out.append(under && strike ? "text-decoration:underline line-through;"
               : under         ? "text-decoration:underline;"
               : strike        ? "text-decoration:line-through;"
                               : "text-decoration:none;");
  }
  if (f.fillColor) {
    out.append("background:");
    AppendHtmlColor(out, *f.fillColor);
    out += ';';
  }
  for (int side = 0; side < 4; ++side) {
    if (!f.borderStyle[side]) continue;
    const uint32_t color = f.borderColor[side] ? *f.borderColor[side] : format.BorderColor(side);
    AppendBorderDeclaration(out, kBorderProperty[side], *f.borderStyle[side], color, {}, ";");
  }
  if (look.hasBar) {
    out.append("background-image:linear-gradient(to right,");
    AppendHtmlColor(out, look.barColor);
    out.append(" 0,");
    AppendHtmlColor(out, look.barColor);
    out += ' ';
    AppendPercent(out, look.barFraction);
    out.append(",transparent ");
    AppendPercent(out, look.barFraction);
    out.append(");");
  }
}

}  // namespace gridwell::conv
