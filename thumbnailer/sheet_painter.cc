#include "thumbnailer/sheet_painter.h"

#include <glib.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

namespace gridwell::thumbnail {

namespace {

constexpr uint32_t kGridlineColour = 0xD4D4D4;
constexpr double kPadding = 2;          // pixels between a cell's edge and its text
constexpr size_t kMostTextBytes = 400;  // more than a thumbnail's widest cell can show
constexpr int kMostOverflowColumns = 16;

void SetColour(cairo_t* cr, uint32_t bgr) {
  cairo_set_source_rgb(cr, (bgr & 0xFF) / 255.0, (bgr >> 8 & 0xFF) / 255.0,
                       (bgr >> 16 & 0xFF) / 255.0);
}

// What one shown position looks like: its stored cell (maybe null), the format it shows
// and what conditional formats change of it.
struct Position {
  ReaderCell cell;
  std::optional<CellFormat> format;
  const model::ConditionalLook* conditional = nullptr;
  Rect box;
  int32_t row = 0, col = 0;
  bool merged = false;  // anchors a merged area
  // A merged area's right and bottom edges: the formats of the positions along them, where
  // spreadsheet programs keep the area's lines on those sides.
  std::optional<CellFormat> edge[4];
};

std::optional<Position> PositionAt(const ReaderWorksheet& sheet, const ReaderCells& cells,
                                   const SheetArea& area, int32_t row, int32_t col) {
  std::optional<Rect> box = area.CellRect(row, col);
  if (!box) return std::nullopt;
  Position p;
  p.box = *box;
  p.row = row;
  p.col = col;
  p.cell = cells.Cell(row, col);
  p.format = p.cell ? std::optional<CellFormat>(p.cell) : sheet.PositionFormat(row, col);
  p.conditional = sheet.ConditionalLookAt(row, col);
  if (const model::CellArea* a = sheet.MergedArea(row, col)) {
    p.merged = true;
    for (int side : {model::kRight, model::kBottom})
      p.edge[side] = sheet.MergedEdgeFormat(*a, side);
  }
  return p;
}

template <class Visit>
void EachPosition(const ReaderWorksheet& sheet, const SheetArea& area, Visit visit) {
  const ReaderCells cells = sheet.Cells();
  for (int32_t row : area.Rows().numbers) {
    for (int32_t col : area.Columns().numbers) {
      if (std::optional<Position> p = PositionAt(sheet, cells, area, row, col)) visit(*p);
    }
  }
}

// A line of `pixels` sheet pixels, never thinner than one device pixel.
void SetLineWidth(cairo_t* cr, double pixels, double deviceScale) {
  cairo_set_line_width(cr, std::max(pixels, 1 / deviceScale));
}

void PaintGridlines(cairo_t* cr, const SheetArea& area, double deviceScale) {
  SetColour(cr, kGridlineColour);
  SetLineWidth(cr, 1, deviceScale);
  for (double x : area.Columns().edges) {
    cairo_move_to(cr, x, 0);
    cairo_line_to(cr, x, area.Height());
  }
  for (double y : area.Rows().edges) {
    cairo_move_to(cr, 0, y);
    cairo_line_to(cr, area.Width(), y);
  }
  cairo_stroke(cr);
}

std::optional<uint32_t> FillOf(const Position& p) {
  if (p.conditional && p.conditional->format.fillColor) return *p.conditional->format.fillColor;
  if (p.format && p.format->FillPattern() != model::kFillNone) return p.format->FillColor();
  return std::nullopt;
}

void PaintFill(cairo_t* cr, const Position& p) {
  std::optional<uint32_t> fill = FillOf(p);
  // A merged area without a fill still hides the gridlines inside it.
  if (!fill && !p.merged) return;
  SetColour(cr, fill.value_or(0xFFFFFF));
  cairo_rectangle(cr, p.box.x, p.box.y, p.box.width, p.box.height);
  cairo_fill(cr);
  if (p.conditional && p.conditional->hasBar) {
    SetColour(cr, p.conditional->barColor);
    const double fraction = std::clamp(p.conditional->barFraction, 0.0, 1.0);
    cairo_rectangle(cr, p.box.x + 1, p.box.y + 2, (p.box.width - 2) * fraction, p.box.height - 4);
    cairo_fill(cr);
  }
}

// Width in pixels and dash pattern of a border line style (the workbook's numbering).
struct LineLook {
  double width;
  double dash[4];
  int dashes;
  bool twin;  // double: two thin lines
};

LineLook LineLookOf(int32_t code) {
  switch (code) {
    case 2:  // medium
      return {2, {}, 0, false};
    case 3:  // dashed
      return {1, {3, 1}, 2, false};
    case 4:  // dotted
      return {1, {1, 1}, 2, false};
    case 5:  // thick
      return {3, {}, 0, false};
    case 6:  // double
      return {1, {}, 0, true};
    case 7:  // hair
      return {1, {1, 1}, 2, false};
    case 8:  // medium dashed
      return {2, {6, 2}, 2, false};
    case 9:   // dash-dot
    case 11:  // dash-dot-dot
      return {1, {4, 1, 1, 1}, 4, false};
    case 10:  // medium dash-dot
    case 12:  // medium dash-dot-dot
    case 13:  // slanted dash-dot
      return {2, {6, 2, 2, 2}, 4, false};
    default:  // thin, and codes a damaged file invents
      return {1, {}, 0, false};
  }
}

void StrokeSide(cairo_t* cr, const Rect& b, int side, const LineLook& look, double offset) {
  const double x0 = b.x, y0 = b.y, x1 = b.x + b.width, y1 = b.y + b.height;
  switch (side) {
    case model::kLeft:
      cairo_move_to(cr, x0 + offset, y0);
      cairo_line_to(cr, x0 + offset, y1);
      break;
    case model::kRight:
      cairo_move_to(cr, x1 - offset, y0);
      cairo_line_to(cr, x1 - offset, y1);
      break;
    case model::kTop:
      cairo_move_to(cr, x0, y0 + offset);
      cairo_line_to(cr, x1, y0 + offset);
      break;
    default:
      cairo_move_to(cr, x0, y1 - offset);
      cairo_line_to(cr, x1, y1 - offset);
  }
  cairo_stroke(cr);
}

void PaintBorders(cairo_t* cr, const Position& p, double deviceScale) {
  for (int side = 0; side < 4; ++side) {
    std::optional<uint8_t> ruled;
    std::optional<uint32_t> ruledColour;
    if (p.conditional) {
      ruled = p.conditional->format.borderStyle[side];
      ruledColour = p.conditional->format.borderColor[side];
    }
    // A merged area without its own line on a side takes the one of the position on that edge.
    const std::optional<CellFormat>& own =
        p.format && p.format->BorderLineStyle(side) > 0 ? p.format : p.edge[side];
    const int32_t code = ruled ? *ruled : own ? own->BorderLineStyle(side) : 0;
    if (code < 1) continue;
    SetColour(cr, ruledColour ? *ruledColour : own ? own->BorderColor(side) : 0);
    const LineLook look = LineLookOf(code);
    SetLineWidth(cr, look.width, deviceScale);
    cairo_set_dash(cr, look.dash, look.dashes, 0);
    if (look.twin) {
      StrokeSide(cr, p.box, side, look, -1);
      StrokeSide(cr, p.box, side, look, 1);
    } else {
      StrokeSide(cr, p.box, side, look, 0);
    }
    cairo_set_dash(cr, nullptr, 0, 0);
  }
}

// ---- cell texts ----

PangoLayout* NewLayout(cairo_t* cr) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoContext* context = pango_layout_get_context(layout);
  pango_cairo_context_set_resolution(context, 96);  // points to sheet pixels
  // Hinted metrics would snap glyph advances to whole sheet pixels, not device pixels, and
  // so misplace text that is drawn smaller or larger than the sheet.
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  pango_cairo_context_set_font_options(context, options);
  cairo_font_options_destroy(options);
  pango_layout_context_changed(layout);
  return layout;
}

// The text a cell shows, as valid UTF-8 and no longer than a thumbnail can show; a cell
// that does not wrap shows its line breaks as spaces.
std::string ShownText(const ReaderCell& cell, int64_t& sectionColour, bool wrap) {
  std::string text;
  sectionColour = cell.AppendText(text);
  if (text.size() > kMostTextBytes) text.resize(kMostTextBytes);
  const char* end = nullptr;
  g_utf8_validate(text.data(), static_cast<gssize>(text.size()), &end);
  text.resize(static_cast<size_t>(end - text.data()));
  if (!wrap)
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  return text;
}

void SetFont(PangoLayout* layout, const CellFormat& f, const model::ConditionalLook* cond) {
  const model::DifferentialFormat* d = cond ? &cond->format : nullptr;
  PangoFontDescription* desc = pango_font_description_new();
  const std::string family = f.FontName().empty() ? "Calibri" : std::string(f.FontName());
  pango_font_description_set_family(desc, family.c_str());
  const double size = f.FontSize() >= 1 && f.FontSize() <= 409 ? f.FontSize() : 11;
  pango_font_description_set_size(desc, static_cast<int>(size * PANGO_SCALE));
  const bool bold = d && d->bold ? *d->bold : f.Bold();
  const bool italic = d && d->italic ? *d->italic : f.Italic();
  pango_font_description_set_weight(desc, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(desc, italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);

  PangoAttrList* attrs = pango_attr_list_new();
  const int32_t underline = d && d->underline ? *d->underline : f.Underline();
  if (underline >= 1) {
    const bool twin = underline == 2 || underline == 34;
    pango_attr_list_insert(
        attrs, pango_attr_underline_new(twin ? PANGO_UNDERLINE_DOUBLE : PANGO_UNDERLINE_SINGLE));
  }
  if (d && d->strike ? *d->strike : f.Strikethrough())
    pango_attr_list_insert(attrs, pango_attr_strikethrough_new(TRUE));
  if (f.Escapement() == 1 || f.Escapement() == 2) {
    const int rise = static_cast<int>(size * PANGO_SCALE / 3);
    pango_attr_list_insert(attrs, pango_attr_rise_new(f.Escapement() == 1 ? rise : -rise));
    pango_attr_list_insert(attrs, pango_attr_scale_new(PANGO_SCALE_SMALL));
  }
  pango_layout_set_attributes(layout, attrs);
  pango_attr_list_unref(attrs);
}

enum class Align { Left, Center, Right };

// Horizontal place of a cell's text; general alignment puts texts left, numbers and dates
// right, Booleans and errors in the middle.
Align HorizontalOf(const CellFormat& f, ValueKind kind) {
  switch (f.HorizontalAlignment()) {
    case 0:
      if (kind == ValueKind::String) return Align::Left;
      return kind == ValueKind::Number || kind == ValueKind::Date ? Align::Right : Align::Center;
    case 2:
    case 6:  // centred across the selection
      return Align::Center;
    case 3:
      return Align::Right;
    default:
      return Align::Left;
  }
}

bool Blank(const ReaderWorksheet& sheet, const ReaderCells& cells, int32_t row, int32_t col) {
  const ReaderCell c = cells.Cell(row, col);
  return (!c || c.Value().IsEmpty()) && !sheet.MergedArea(row, col);
}

// A text that does not fit runs on over blank neighbours, as in a spreadsheet.
Rect OverflowClip(const ReaderWorksheet& sheet, const SheetArea& area, const Position& p,
                  Align align) {
  Rect clip = p.box;
  const Axis& cols = area.Columns();
  const ReaderCells cells = sheet.Cells();
  const int first = cols.IndexOf(p.col);
  const auto right = std::lower_bound(cols.edges.begin(), cols.edges.end(), p.box.x + p.box.width);
  const int last = static_cast<int>(right - cols.edges.begin()) - 1;
  if (first < 0 || last < first) return clip;
  const int count = static_cast<int>(cols.numbers.size());
  for (int i = last + 1; align != Align::Right && i < count && i <= last + kMostOverflowColumns &&
                         Blank(sheet, cells, p.row, cols.numbers[i]);
       ++i) {
    clip.width = cols.edges[i + 1] - clip.x;
  }
  for (int i = first - 1; align != Align::Left && i >= 0 && i >= first - kMostOverflowColumns &&
                          Blank(sheet, cells, p.row, cols.numbers[i]);
       --i) {
    clip.width += clip.x - cols.edges[i];
    clip.x = cols.edges[i];
  }
  return clip;
}

// "Centre across selection" centres a text over the blank cells to its right that are
// formatted the same way.
Rect AcrossSelection(const ReaderWorksheet& sheet, const SheetArea& area, const Position& p) {
  Rect box = p.box;
  const Axis& cols = area.Columns();
  const ReaderCells cells = sheet.Cells();
  const int first = cols.IndexOf(p.col);
  for (int i = first + 1; first >= 0 && i < static_cast<int>(cols.numbers.size()); ++i) {
    const int32_t col = cols.numbers[i];
    if (!Blank(sheet, cells, p.row, col)) break;
    const ReaderCell c = cells.Cell(p.row, col);
    const std::optional<CellFormat> f =
        c ? std::optional<CellFormat>(c) : sheet.PositionFormat(p.row, col);
    if (!f || f->HorizontalAlignment() != 6) break;
    box.width = cols.edges[i + 1] - box.x;
  }
  return box;
}

struct Extent {
  double width, height;
};

Extent SetText(PangoLayout* layout, const std::string& text) {
  pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  return {static_cast<double>(logical.width) / PANGO_SCALE,
          static_cast<double>(logical.height) / PANGO_SCALE};
}

double TopOf(const CellFormat& f, const Rect& box, double textHeight) {
  switch (f.VerticalAlignment()) {
    case 0:  // top
    case 3:  // justified
      return box.y + 1;
    case 1:
      return box.y + (box.height - textHeight) / 2;
    default:
      return box.y + box.height - textHeight - 1;
  }
}

void PaintText(cairo_t* cr, PangoLayout* layout, const ReaderWorksheet& sheet,
               const SheetArea& area, const Position& p) {
  const CellFormat& f = p.cell;
  const ValueKind kind = p.cell.Value().kind;
  if (kind == ValueKind::Empty) return;
  const bool wrap = f.WrapText() || f.HorizontalAlignment() == 5 || f.VerticalAlignment() == 3;
  int64_t sectionColour = -1;
  std::string text = ShownText(p.cell, sectionColour, wrap);
  if (text.empty()) return;
  SetFont(layout, f, p.conditional);
  const Align align = HorizontalOf(f, kind);
  const Rect box = f.HorizontalAlignment() == 6 ? AcrossSelection(sheet, area, p) : p.box;
  const double indent = align == Align::Left ? std::clamp(f.IndentLevel(), 0, 15) * 9.0 : 0;
  const double inner = std::max(1.0, box.width - 2 * kPadding - indent);
  pango_layout_set_width(layout, wrap ? static_cast<int>(inner * PANGO_SCALE) : -1);
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  pango_layout_set_alignment(layout, !wrap || align == Align::Left ? PANGO_ALIGN_LEFT
                                     : align == Align::Center      ? PANGO_ALIGN_CENTER
                                                                   : PANGO_ALIGN_RIGHT);
  Extent extent = SetText(layout, text);
  const bool numeric = kind == ValueKind::Number || kind == ValueKind::Date;
  if (numeric && !wrap && extent.width > inner) {
    // A number too wide for its column shows as a row of hashes.
    const double hash = SetText(layout, "#").width;
    text.assign(static_cast<size_t>(std::clamp(inner / std::max(hash, 1.0), 1.0, 64.0)), '#');
    extent = SetText(layout, text);
  }
  double x = box.x + kPadding + indent;
  if (!wrap && align == Align::Right) x = box.x + box.width - kPadding - extent.width;
  if (!wrap && align == Align::Center) x = box.x + (box.width - extent.width) / 2;
  const Rect clip = !wrap && kind == ValueKind::String ? OverflowClip(sheet, area, p, align) : box;
  const model::DifferentialFormat* d = p.conditional ? &p.conditional->format : nullptr;
  cairo_save(cr);
  cairo_rectangle(cr, clip.x, clip.y, clip.width, clip.height);
  cairo_clip(cr);
  SetColour(cr, sectionColour >= 0  ? static_cast<uint32_t>(sectionColour)
                : d && d->fontColor ? *d->fontColor
                                    : f.FontColor());
  cairo_move_to(cr, x, TopOf(f, p.box, extent.height));
  pango_cairo_show_layout(cr, layout);
  cairo_restore(cr);
}

}  // namespace

void PaintSheet(cairo_t* cr, const ReaderWorksheet& sheet, const SheetArea& area,
                double deviceScale) {
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  if (sheet.ShowsGridlines()) PaintGridlines(cr, area, deviceScale);
  EachPosition(sheet, area, [&](const Position& p) { PaintFill(cr, p); });
  PangoLayout* layout = NewLayout(cr);
  EachPosition(sheet, area, [&](const Position& p) {
    if (p.cell) PaintText(cr, layout, sheet, area, p);
  });
  g_object_unref(layout);
  EachPosition(sheet, area, [&](const Position& p) { PaintBorders(cr, p, deviceScale); });
}

}  // namespace gridwell::thumbnail
