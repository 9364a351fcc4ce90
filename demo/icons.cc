#include "demo/icons.h"

#include <cairo.h>
#include <gdk/gdk.h>

#include <cmath>
#include <initializer_list>

namespace demo {

namespace {

void Rgb(cairo_t* cr, int rgb) {
  cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                       (rgb & 0xFF) / 255.0);
}

struct Point {
  double x, y;
};

// Adds the lines through `points` to the current path, closing them into a shape when
// `closed`.
void Lines(cairo_t* cr, std::initializer_list<Point> points, bool closed) {
  bool first = true;
  for (Point p : points) {
    if (first) {
      cairo_move_to(cr, p.x, p.y);
    } else {
      cairo_line_to(cr, p.x, p.y);
    }
    first = false;
  }
  if (closed) cairo_close_path(cr);
}

// Fills the current path with `fill` and strokes it with `line`, one pixel wide.
void FillStroke(cairo_t* cr, int fill, int line) {
  Rgb(cr, fill);
  cairo_fill_preserve(cr);
  Rgb(cr, line);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
}

// A sheet of paper with a folded corner, on the half-pixel grid so its edges are crisp.
void Page(cairo_t* cr, double x, double y, double w, double h) {
  Lines(cr,
        {{x + 0.5, y + 0.5},
         {x + w - 3.5, y + 0.5},
         {x + w - 0.5, y + 3.5},
         {x + w - 0.5, y + h - 0.5},
         {x + 0.5, y + h - 0.5}},
        true);
  FillStroke(cr, 0xFFFFFF, 0x5A6B7D);
}

// A floppy disk whose label carries a small mark, drawn in the body's colour, that tells the
// two save buttons apart.
void Disk(cairo_t* cr, int body, std::initializer_list<std::initializer_list<Point>> mark) {
  Lines(cr, {{1.5, 1.5}, {12.5, 1.5}, {14.5, 3.5}, {14.5, 14.5}, {1.5, 14.5}}, true);
  FillStroke(cr, body, 0x23303D);
  cairo_rectangle(cr, 4, 2, 7, 4);  // shutter
  Rgb(cr, 0xD9DEE3);
  cairo_fill(cr);
  cairo_rectangle(cr, 8, 2.5, 2, 3);
  Rgb(cr, 0x23303D);
  cairo_fill(cr);
  cairo_rectangle(cr, 3.5, 8.5, 9, 6);  // label
  FillStroke(cr, 0xFFFFFF, 0x23303D);
  Rgb(cr, body);
  cairo_set_line_width(cr, 1);
  for (auto stroke : mark) Lines(cr, stroke, false);
  cairo_stroke(cr);
}

void Magnifier(cairo_t* cr, double cx, double cy, double r) {
  cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
  Rgb(cr, 0xCFE8FF);
  cairo_fill_preserve(cr);
  Rgb(cr, 0x2B3A4A);
  cairo_set_line_width(cr, 1.5);
  cairo_stroke(cr);
  const double d = r / std::sqrt(2.0);
  cairo_move_to(cr, cx + d, cy + d);
  cairo_line_to(cr, cx + d + 4, cy + d + 4);
  cairo_set_line_width(cr, 2.5);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  Rgb(cr, 0x8A5A2B);
  cairo_stroke(cr);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

void DrawOpen(cairo_t* cr) {
  // Folder back, then its front flap tilted open.
  Lines(cr, {{0.5, 3.5}, {5.5, 3.5}, {7.5, 5.5}, {13.5, 5.5}, {13.5, 13.5}, {0.5, 13.5}}, true);
  FillStroke(cr, 0xE0A83A, 0x7A5410);
  Lines(cr, {{3.5, 7.5}, {15.5, 7.5}, {13.5, 13.5}, {0.5, 13.5}}, true);
  FillStroke(cr, 0xF6CD6B, 0x7A5410);
}

void DrawHome(cairo_t* cr) {
  Lines(cr, {{8, 1.5}, {15, 8}, {1, 8}}, true);
  FillStroke(cr, 0xC0392B, 0x6E1F17);
  cairo_rectangle(cr, 3.5, 8.5, 9, 6);
  FillStroke(cr, 0xF2E6CF, 0x6B5B3E);
  cairo_rectangle(cr, 7, 10, 2.5, 5);  // door
  Rgb(cr, 0x6B4423);
  cairo_fill(cr);
}

void DrawSaveWorkbook(cairo_t* cr) {
  // A tiny grid on the label: a workbook.
  Disk(cr, 0x2E7D32, {{{4, 11.5}, {12, 11.5}}, {{7.5, 9}, {7.5, 14}}});
}

void DrawSavePage(cairo_t* cr) {
  // Angle brackets on the label: a web page.
  Disk(cr, 0x1F5FA8, {{{7, 9.5}, {5, 11.5}, {7, 13.5}}, {{9, 9.5}, {11, 11.5}, {9, 13.5}}});
}

void DrawPrintPreview(cairo_t* cr) {
  Page(cr, 1, 0, 11, 14);
  Rgb(cr, 0x9AA8B6);
  cairo_set_line_width(cr, 1);
  for (double y = 3.5; y < 11; y += 2) {
    cairo_move_to(cr, 3, y);
    cairo_line_to(cr, 9, y);
  }
  cairo_stroke(cr);
  Magnifier(cr, 10, 10, 3);
}

void DrawPageSetup(cairo_t* cr) {
  Page(cr, 2, 0, 12, 16);
  // Dashed margins around the printable area.
  static const double dash[] = {1.0, 1.0};
  cairo_set_dash(cr, dash, 2, 0);
  cairo_rectangle(cr, 4.5, 3.5, 7, 10);
  Rgb(cr, 0x1F5FA8);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  cairo_set_dash(cr, nullptr, 0, 0);
  // A ruler along the bottom.
  cairo_rectangle(cr, 0.5, 12.5, 15, 3);
  FillStroke(cr, 0xF3D36B, 0x7A5E10);
  Rgb(cr, 0x7A5E10);
  for (double x = 3.5; x < 15; x += 3) {
    cairo_move_to(cr, x, 12.5);
    cairo_line_to(cr, x, 14);
  }
  cairo_stroke(cr);
}

void DrawFind(cairo_t* cr) {
  Magnifier(cr, 6.5, 6.5, 5);
}

}  // namespace

GdkPixbuf* DrawPicture(Picture picture) {
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kPictureSize, kPictureSize);
  cairo_t* cr = cairo_create(surface);
  switch (picture) {
    case Picture::Open:
      DrawOpen(cr);
      break;
    case Picture::Home:
      DrawHome(cr);
      break;
    case Picture::SaveWorkbook:
      DrawSaveWorkbook(cr);
      break;
    case Picture::SavePage:
      DrawSavePage(cr);
      break;
    case Picture::PrintPreview:
      DrawPrintPreview(cr);
      break;
    case Picture::PageSetup:
      DrawPageSetup(cr);
      break;
    case Picture::Find:
      DrawFind(cr);
      break;
  }
  cairo_destroy(cr);
  GdkPixbuf* pixbuf = gdk_pixbuf_get_from_surface(surface, 0, 0, kPictureSize, kPictureSize);
  cairo_surface_destroy(surface);
  return pixbuf;
}

}  // namespace demo
