// Draws the area of a worksheet as a spreadsheet program shows it: gridlines, fills, cell
// texts in their fonts and colours, and borders, with cairo and Pango.
#pragma once

#include <cairo.h>

#include "reader/reader.h"
#include "thumbnailer/sheet_area.h"

namespace gridwell::thumbnail {

// `cr`'s user space is the sheet's pixels; `deviceScale` is how many device pixels one of
// them covers, so that lines keep at least one device pixel however small the picture.
void PaintSheet(cairo_t* cr, const ReaderWorksheet& sheet, const SheetArea& area,
                double deviceScale);

}  // namespace gridwell::thumbnail
