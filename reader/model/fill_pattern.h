// Cell fill patterns. Both workbook formats number them alike: 1 solid, 2 to 18 the
// two-colour patterns (.xls codes, .xlsx patternType names). A page cannot draw them, so a
// patterned cell is shown in the one colour the pattern looks like: its pattern colour
// over its background colour, mixed by the share of the tile the pattern paints.
#pragma once

#include <bit>
#include <cstdint>

namespace gridwell::model {

// Each pattern's 8 x 8 tile, one byte a row; a set bit is painted in the pattern colour,
// a clear bit in the background colour.
inline constexpr uint8_t kFillPatternTiles[18][8] = {
    {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},  // 1 solid
    {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55},  // 2 50% grey (mediumGray)
    {0x77, 0xDD, 0x77, 0xDD, 0x77, 0xDD, 0x77, 0xDD},  // 3 75% grey (darkGray)
    {0x88, 0x22, 0x88, 0x22, 0x88, 0x22, 0x88, 0x22},  // 4 25% grey (lightGray)
    {0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00},  // 5 horizontal stripe
    {0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33},  // 6 vertical stripe
    {0xCC, 0x66, 0x33, 0x99, 0xCC, 0x66, 0x33, 0x99},  // 7 reverse diagonal stripe
    {0x33, 0x66, 0xCC, 0x99, 0x33, 0x66, 0xCC, 0x99},  // 8 diagonal stripe
    {0x99, 0x66, 0x66, 0x99, 0x99, 0x66, 0x66, 0x99},  // 9 diagonal crosshatch
    {0x99, 0xFF, 0x66, 0xFF, 0x99, 0xFF, 0x66, 0xFF},  // 10 thick diagonal crosshatch
    {0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00},  // 11 thin horizontal stripe
    {0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22},  // 12 thin vertical stripe
    {0x88, 0x44, 0x22, 0x11, 0x88, 0x44, 0x22, 0x11},  // 13 thin reverse diagonal stripe
    {0x11, 0x22, 0x44, 0x88, 0x11, 0x22, 0x44, 0x88},  // 14 thin diagonal stripe
    {0xFF, 0x22, 0x22, 0x22, 0xFF, 0x22, 0x22, 0x22},  // 15 thin horizontal crosshatch
    {0x88, 0x55, 0x22, 0x55, 0x88, 0x55, 0x22, 0x55},  // 16 thin diagonal crosshatch
    {0x88, 0x00, 0x22, 0x00, 0x88, 0x00, 0x22, 0x00},  // 17 12.5% grey (gray125)
    {0x80, 0x00, 0x08, 0x00, 0x80, 0x00, 0x08, 0x00},  // 18 6.25% grey (gray0625)
};

// How many of the tile's 64 pixels pattern `code` (1 to 18) paints; 0 for other codes.
constexpr int FillPatternCoverage(uint32_t code) {
  if (code < 1 || code > 18) return 0;
  int n = 0;
  for (uint8_t row : kFillPatternTiles[code - 1]) n += std::popcount(row);
  return n;
}

// The colour a cell with pattern `code` shows (colours 0x00BBGGRR): each channel of the
// pattern colour weighted by the pattern's coverage, the background's by the rest.
constexpr uint32_t FillPatternColor(uint32_t code, uint32_t patternColor,
                                    uint32_t backgroundColor) {
  const uint32_t k = static_cast<uint32_t>(FillPatternCoverage(code));
  uint32_t mixed = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t p = (patternColor >> shift) & 0xFF, b = (backgroundColor >> shift) & 0xFF;
    mixed |= ((p * k + b * (64 - k) + 32) / 64) << shift;
  }
  return mixed;
}

}  // namespace gridwell::model
