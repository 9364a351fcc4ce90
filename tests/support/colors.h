// Colour comparisons for tests that check a colour against what a spreadsheet program
// shows: its own arithmetic (tints, pattern mixing) may round each channel the other way.
#pragma once

#include <cstdint>

namespace gridwell::test {

// True when every channel of the two 0x00BBGGRR colours differs by at most one step.
inline bool NearColor(uint32_t a, uint32_t b) {
  for (int shift = 0; shift < 24; shift += 8) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (d < -1 || d > 1) return false;
  }
  return true;
}

}  // namespace gridwell::test
