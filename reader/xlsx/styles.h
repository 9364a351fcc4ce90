// The styles part (xl/styles.xml): number formats, fonts, fills, borders and the cell
// formats (cellXfs) that cells refer to by their "s" attribute.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reader/model/workbook.h"
#include "reader/xlsx/theme.h"

namespace gridwell::xlsx {

// The attribute values of a CT_Color element; null when absent.
struct ColorAttrs {
  const char* autoColor = nullptr;
  const char* rgb = nullptr;
  const char* theme = nullptr;
  const char* indexed = nullptr;
  const char* tint = nullptr;
};

// The colours a workbook's CT_Color elements name: its indexed colours (custom or the
// default palette) and its theme's, each with an optional tint.
struct ColorTable {
  std::vector<uint32_t> indexed;  // custom indexedColors, empty for the default
  Theme theme;

  uint32_t Indexed(uint64_t i) const;
  // 0x00BBGGRR; `automatic` is what "auto" and an element without a colour stand for.
  uint32_t Resolve(const ColorAttrs& c, uint32_t automatic) const;
};

// Maps the cellXfs index of a cell to the model's style index. Index 0 is the workbook's
// default format, which also becomes model style 0.
struct StyleMap {
  std::vector<uint32_t> xfToStyle;
  // The differential formats (dxfs) that conditional formats refer to by index.
  std::vector<model::DifferentialFormat> dxfs;
  ColorTable colors;
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
