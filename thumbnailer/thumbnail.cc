#include "thumbnailer/thumbnail.h"

#include <algorithm>

#include "thumbnailer/sheet_painter.h"

namespace gridwell::thumbnail {

ReadResult ReadFirstSheet(const std::string& path) {
  ReadLimits limits;
  limits.sheetsWithCells = 1;
  limits.rowsWithCells = kMostPositionsLookedAt;
  limits.maxInflatedBytes = uint64_t{160} << 20;
  limits.maxStringBytes = uint64_t{64} << 20;
  limits.splitSheetsFrom = UINT64_MAX;
  return ReadWorkbookFile(path, nullptr, limits);
}

Picture DrawThumbnail(const ReaderWorksheet& sheet, int size) {
  size = std::clamp(size, kSmallestSize, kLargestSize);
  const double scale = size / kViewPixels;
  Picture picture{Surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, size, size)),
                  SheetArea(sheet, kViewPixels, kViewPixels), scale};
  if (cairo_surface_status(picture.surface.get()) != CAIRO_STATUS_SUCCESS) {
    picture.surface.reset();
    return picture;
  }
  cairo_t* cr = cairo_create(picture.surface.get());
  cairo_scale(cr, scale, scale);
  PaintSheet(cr, sheet, picture.area, scale);
  const bool drawn = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(cr);
  if (!drawn) picture.surface.reset();
  return picture;
}

bool EncodePng(cairo_surface_t* surface, std::string& png) {
  png.clear();
  auto append = [](void* out, const unsigned char* data, unsigned int length) {
    try {
      static_cast<std::string*>(out)->append(reinterpret_cast<const char*>(data), length);
      return CAIRO_STATUS_SUCCESS;
    } catch (...) {  // nothing may be thrown through cairo's frames
      return CAIRO_STATUS_WRITE_ERROR;
    }
  };
  return surface &&
         cairo_surface_write_to_png_stream(surface, append, &png) == CAIRO_STATUS_SUCCESS;
}

}  // namespace gridwell::thumbnail
