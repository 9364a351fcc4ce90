// The default colour palette of the workbook formats. Files name colours by index into it:
// indexes 0 to 7 are the eight basic colours, 8 to 63 the 56 colours a workbook may
// redefine (.xls PALETTE records, .xlsx indexedColors); number formats name the same 56 as
// [Color1] to [Color56].
#pragma once

#include <cstdint>

namespace gridwell::model {

// Indexes 8 to 63, as 0xRRGGBB (the way the formats' documentation writes them).
inline constexpr uint32_t kDefaultPalette[56] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333};

// 0xRRGGBB -> 0x00BBGGRR, the order colours are handed out in.
constexpr uint32_t RgbToBgr(uint32_t rgb) {
  return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

// Default colour of palette index 0 to 63 as 0x00BBGGRR (0-7 repeat the first eight of
// kDefaultPalette).
constexpr uint32_t DefaultPaletteColor(uint32_t index) {
  return RgbToBgr(kDefaultPalette[index < 8 ? index : index - 8]);
}

}  // namespace gridwell::model
