#include "demo/layout.h"

#include <cmath>

namespace demo {

namespace {

// Buttons share one top and height; the label and the box have their own heights.
constexpr int kButtonTop = 8040;
constexpr int kButtonHeight = 375;

}  // namespace

TwipsRect DesignRect(Item item) {
  switch (item) {
    case Item::Gridwell1:
      return {120, 120, 7455, 6255};
    case Item::Command1:
      return {120, kButtonTop, 375, kButtonHeight};
    case Item::Command2:
      return {480, kButtonTop, 375, kButtonHeight};
    case Item::Command8:
      return {840, kButtonTop, 375, kButtonHeight};
    case Item::Command10:
      return {1200, kButtonTop, 375, kButtonHeight};
    case Item::Command11:
      return {1560, kButtonTop, 375, kButtonHeight};
    case Item::Command12:
      return {1920, kButtonTop, 375, kButtonHeight};
    case Item::Command13:
      return {2280, kButtonTop, 375, kButtonHeight};
    case Item::Command6:
      return {2640, kButtonTop, 1695, kButtonHeight};
    case Item::Command14:
      return {4320, kButtonTop, 1215, kButtonHeight};
    case Item::Label1:
      return {5760, kButtonTop, 855, 255};
    case Item::Combo1:
      return {6480, kButtonTop, 1335, 315};
    case Item::Command5:
      return {9120, kButtonTop, 615, kButtonHeight};
  }
  return {};
}

TwipsRect Resized(Item item, const TwipsRect& current, int outerWidth, int outerHeight) {
  TwipsRect r = current;
  if (item == Item::Gridwell1) {
    if (outerWidth - 500 >= 0) r.width = outerWidth - 500;
    if (outerHeight - 1400 >= 0) r.height = outerHeight - 1400;
  } else {
    r.top = outerHeight - 1000;  // a position may be negative; only sizes cannot
  }
  return r;
}

int PixelsFromTwips(int twips) {
  return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

int TwipsFromPixels(int pixels) {
  return pixels * kTwipsPerPixel;
}

}  // namespace demo
