// The theme part (xl/theme/theme1.xml): the colour scheme that theme colours index.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace gridwell::xlsx {

// Theme colours as 0x00BBGGRR, in the order cell formats index them: light 1, dark 1,
// light 2, dark 2, accent 1 to 6, hyperlink, followed hyperlink. (The scheme lists dark 1
// before light 1; the indexes used by styles swap each of the first two pairs.)
struct Theme {
  std::array<uint32_t, 12> colors = DefaultColors();
  static std::array<uint32_t, 12> DefaultColors();
};

// Reads the colour scheme from the theme part's text; colours it lacks keep the defaults.
// False with `error` set when the text is not well-formed XML.
bool ParseTheme(const std::string& text, Theme& theme, std::string& error);

// Applies a tint (-1..1) to a colour by the DrawingML HSL rule: negative tints darken
// (L * (1 + tint)), positive ones lighten (L * (1 - tint) + tint).
uint32_t ApplyTint(uint32_t bgr, double tint);

// "FFRRGGBB" or "RRGGBB" to 0x00BBGGRR; false when the text is not hexadecimal.
bool ParseRgb(std::string_view text, uint32_t& bgr);

}  // namespace gridwell::xlsx
