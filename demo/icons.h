// The seven 16 x 16 pictures of the demo's buttons, drawn with cairo so that the program needs
// no icon theme and no image files of its own.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

namespace demo {

enum class Picture { Open, Home, SaveWorkbook, SavePage, PrintPreview, PageSetup, Find };

inline constexpr int kPictureSize = 16;

// A new 16 x 16 picture (the caller owns the reference).
GdkPixbuf* DrawPicture(Picture picture);

}  // namespace demo
