// Draws the demo's table background picture: a pale comic-book halftone (dots that grow from
// one corner to the other over a warm paper tone), light enough that the table's text stays
// readable on it. Saved as JPEG with gdk-pixbuf.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_image OUT.jpg\n");
    return 2;
  }
  const int width = 256, height = 160, cell = 8;
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
  if (pixbuf == nullptr) return 1;
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      // Paper: a faint warm gradient from top-left to bottom-right.
      const double t = (static_cast<double>(x) / width + static_cast<double>(y) / height) / 2;
      double r = 255, g = 250 - 8 * t, b = 232 - 20 * t;
      // Halftone: dots on a grid whose rows are offset by half a cell, growing with t.
      const int row = y / cell;
      const double cx = (x + (row % 2 ? cell / 2 : 0)) % cell - cell / 2.0 + 0.5;
      const double cy = y % cell - cell / 2.0 + 0.5;
      const double radius = 0.6 + 2.6 * t;
      const double d = std::sqrt(cx * cx + cy * cy);
      double ink = std::clamp(radius - d + 0.5, 0.0, 1.0);  // anti-aliased edge
      // Dot ink: a pale sky blue.
      r = r * (1 - ink) + 200 * ink;
      g = g * (1 - ink) + 226 * ink;
      b = b * (1 - ink) + 246 * ink;
      guchar* p = pixels + y * stride + x * 3;
      p[0] = static_cast<guchar>(r);
      p[1] = static_cast<guchar>(g);
      p[2] = static_cast<guchar>(b);
    }
  }
  GError* error = nullptr;
  const gboolean ok = gdk_pixbuf_save(pixbuf, argv[1], "jpeg", &error, "quality", "85", nullptr);
  if (!ok) {
    std::fprintf(stderr, "make_image: %s\n", error != nullptr ? error->message : "cannot save");
    if (error != nullptr) g_error_free(error);
  }
  g_object_unref(pixbuf);
  return ok ? 0 : 1;
}
