// The styles part (xl/styles.xml): number formats, fonts, fills, borders and the cell
// formats (cellXfs) that cells refer to by their "s" attribute.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reader/model/workbook.h"
#include "reader/xlsx/theme.h"

namespace gridwell::xlsx {

// Maps the cellXfs index of a cell to the model's style index. Index 0 is the workbook's
// default format, which also becomes model style 0.
struct StyleMap {
  std::vector<uint32_t> xfToStyle;
  uint32_t Style(uint64_t xf) const {
    return xf < xfToStyle.size() ? xfToStyle[xf] : 0;  // absurd indexes fall back to 0
  }
};

// Reads the styles part's text into the workbook's fonts, styles and number formats.
// False with `error` set when the text is not well-formed XML (the defaults stay then).
bool ParseStyles(const std::string& text, const Theme& theme, model::Workbook& book, StyleMap& map,
                 std::string& error);

// An indexed colour of the default 64-colour palette (64: system foreground, 65: system
// background) as 0x00BBGGRR.
uint32_t DefaultIndexedColor(uint32_t index);

}  // namespace gridwell::xlsx
