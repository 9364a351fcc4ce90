#include "reader/xlsx/theme.h"

#include <algorithm>
#include <cmath>

#include "reader/base/bytes.h"
#include "reader/xlsx/xml_util.h"

namespace gridwell::xlsx {

namespace {
constexpr uint32_t Bgr(uint32_t rgb) {
  return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}
}  // namespace

std::array<uint32_t, 12> Theme::DefaultColors() {
  // The default Office theme.
  return {Bgr(0xFFFFFF), Bgr(0x000000), Bgr(0xE7E6E6), Bgr(0x44546A), Bgr(0x4472C4), Bgr(0xED7D31),
          Bgr(0xA5A5A5), Bgr(0xFFC000), Bgr(0x5B9BD5), Bgr(0x70AD47), Bgr(0x0563C1), Bgr(0x954F72)};
}

bool ParseRgb(std::string_view text, uint32_t& bgr) {
  if (text.size() == 8) text.remove_prefix(2);  // alpha is ignored
  if (text.size() != 6) return false;
  uint32_t rgb = 0;
  for (char c : text) {
    const int h = base::HexDigitValue(c);
    if (h < 0) return false;
    rgb = rgb * 16 + static_cast<uint32_t>(h);
  }
  bgr = Bgr(rgb);
  return true;
}

bool ParseTheme(const std::string& text, Theme& theme, std::string& error) {
  pugi::xml_document doc;
  if (!LoadDom(text, doc, error)) return false;
  pugi::xml_node scheme = Child(Child(doc.document_element(), "themeElements"), "clrScheme");
  if (!scheme) return true;
  static constexpr std::string_view kNames[12] = {"lt1",     "dk1",     "lt2",     "dk2",
                                                  "accent1", "accent2", "accent3", "accent4",
                                                  "accent5", "accent6", "hlink",   "folHlink"};
  for (size_t i = 0; i < 12; ++i) {
    pugi::xml_node slot = Child(scheme, kNames[i]);
    if (!slot) continue;
    uint32_t bgr;
    if (pugi::xml_node srgb = Child(slot, "srgbClr")) {
      if (ParseRgb(Attr(srgb, "val").value(), bgr)) theme.colors[i] = bgr;
    } else if (pugi::xml_node sys = Child(slot, "sysClr")) {
      // System colours carry the value last seen as lastClr.
      if (ParseRgb(Attr(sys, "lastClr").value(), bgr)) {
        theme.colors[i] = bgr;
      } else {
        std::string_view v = Attr(sys, "val").value();
        if (v == "windowText")
          theme.colors[i] = 0;
        else if (v == "window")
          theme.colors[i] = 0xFFFFFF;
      }
    }
  }
  return true;
}

uint32_t ApplyTint(uint32_t bgr, double tint) {
  if (!(tint != 0) || !std::isfinite(tint)) return bgr;
  tint = std::clamp(tint, -1.0, 1.0);
  double r = (bgr & 0xFF) / 255.0, g = ((bgr >> 8) & 0xFF) / 255.0,
         b = ((bgr >> 16) & 0xFF) / 255.0;
  double mx = std::max({r, g, b}), mn = std::min({r, g, b});
  double l = (mx + mn) / 2, h = 0, s = 0;
  if (mx != mn) {
    double d = mx - mn;
    s = l > 0.5 ? d / (2 - mx - mn) : d / (mx + mn);
    if (mx == r)
      h = (g - b) / d + (g < b ? 6 : 0);
    else if (mx == g)
      h = (b - r) / d + 2;
    else
      h = (r - g) / d + 4;
    h /= 6;
  }
  l = tint < 0 ? l * (1 + tint) : l * (1 - tint) + tint;
  auto hue = [](double p, double q, double t) {
    if (t < 0) t += 1;
    if (t > 1) t -= 1;
    if (t < 1.0 / 6) return p + (q - p) * 6 * t;
    if (t < 0.5) return q;
    if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
    return p;
  };
  double r2, g2, b2;
  if (s == 0) {
    r2 = g2 = b2 = l;
  } else {
    double q = l < 0.5 ? l * (1 + s) : l + s - l * s;
    double p = 2 * l - q;
    r2 = hue(p, q, h + 1.0 / 3);
    g2 = hue(p, q, h);
    b2 = hue(p, q, h - 1.0 / 3);
  }
  auto byte = [](double v) {
    return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
  };
  return byte(r2) | (byte(g2) << 8) | (byte(b2) << 16);
}

}  // namespace gridwell::xlsx
