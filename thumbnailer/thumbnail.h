// A square picture of the top-left area of a worksheet, and its PNG bytes.
#pragma once

#include <cairo.h>

#include <memory>
#include <string>

#include "reader/reader.h"
#include "thumbnailer/sheet_area.h"

namespace gridwell::thumbnail {

// Sheet pixels the picture covers each way: about seven default columns and 24 rows, the
// part of a sheet a person takes in at a glance.
inline constexpr double kViewPixels = 480;
inline constexpr int kSmallestSize = 8;
inline constexpr int kLargestSize = 1024;

struct SurfaceRelease {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceRelease>;

struct Picture {
  Surface surface;  // null when cairo could not make one
  SheetArea area;   // what it shows, in sheet pixels
  double scale;     // picture pixels per sheet pixel
};

// Reads what a thumbnail draws, the first sheet's cells as far down as it looks, within
// limits that keep memory bounded: the other sheets are listed without their cells, and
// one thread parses.
ReadResult ReadFirstSheet(const std::string& path);

// Draws a `size` x `size` picture (size clamped to kSmallestSize..kLargestSize).
Picture DrawThumbnail(const ReaderWorksheet& sheet, int size);

// The picture as PNG bytes; false when cairo fails.
bool EncodePng(cairo_surface_t* surface, std::string& png);

}  // namespace gridwell::thumbnail
