// Where the demo window's controls sit, in twips (15 twips = 1 pixel), and how they follow the
// window when it is resized. Toolkit-free so the arithmetic can be checked on its own.
#pragma once

namespace demo {

inline constexpr int kTwipsPerPixel = 15;

// Client area the window was designed for.
inline constexpr int kDesignClientWidth = 9945;
inline constexpr int kDesignClientHeight = 8475;

// The resize rule is stated for the window's outer size, frame and caption included. GTK gives
// us the client area, so the rule adds the frame of the window the layout was drawn on: this
// allowance keeps every control at its design place when the client area has its design size.
inline constexpr int kFrameWidth = 120;
inline constexpr int kFrameHeight = 565;

// The controls of the window, in the order of the layout table.
enum class Item {
  Gridwell1,
  Command1,
  Command2,
  Command8,
  Command10,
  Command11,
  Command12,
  Command13,
  Command6,
  Command14,
  Label1,
  Combo1,
  Command5,
};
inline constexpr int kItemCount = 13;

struct TwipsRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const TwipsRect&) const = default;
};

// A control's place in the designed window.
TwipsRect DesignRect(Item item);

// The control's place after the window got the outer size given (twips). The viewer keeps 500
// twips narrower and 1400 twips shorter than the window; the buttons, the box and the label keep
// their tops 1000 twips above the window's bottom edge. A width or height that would come out
// negative is refused and the control keeps the one it had (`current`).
TwipsRect Resized(Item item, const TwipsRect& current, int outerWidth, int outerHeight);

int PixelsFromTwips(int twips);
int TwipsFromPixels(int pixels);

}  // namespace demo
