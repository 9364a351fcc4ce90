#include "reader/xlsx/styles.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "reader/model/fill_pattern.h"
#include "reader/model/palette.h"
#include "reader/xlsx/xml_util.h"

namespace gridwell::xlsx {

namespace {

template <typename T>
bool ParseNum(std::string_view s, T& out) {
  auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

uint64_t UIntAttr(const pugi::xml_node& n, std::string_view name, uint64_t absent) {
  pugi::xml_attribute a = Attr(n, name);
  uint64_t v;
  return a && ParseNum(std::string_view(a.value()), v) ? v : absent;
}

double DoubleAttr(const pugi::xml_node& n, std::string_view name, double absent) {
  pugi::xml_attribute a = Attr(n, name);
  double v;
  return a && ParseNum(std::string_view(a.value()), v) && std::isfinite(v) ? v : absent;
}

// Resolves the CT_Color elements of the styles part through the workbook's colour table.
struct Palette {
  const ColorTable* table;

  // `automatic` is what "auto" (and an element without a colour) stands for.
  uint32_t Resolve(const pugi::xml_node& c, uint32_t automatic) const {
    if (!c) return automatic;
    auto value = [&c](std::string_view name) -> const char* {
      pugi::xml_attribute a = Attr(c, name);
      return a ? a.value() : nullptr;
    };
    return table->Resolve(
        {value("auto"), value("rgb"), value("theme"), value("indexed"), value("tint")}, automatic);
  }
};

bool ValBool(const pugi::xml_node& n) {
  // <b/> means bold; <b val="0"/> means not.
  return n && XmlBool(Attr(n, "val"), true);
}

// The underline of a <u> element, as model::Font::underline; <u/> alone is single.
uint8_t UnderlineCode(const pugi::xml_node& u) {
  const pugi::xml_attribute v = Attr(u, "val");
  const std::string_view kind = v ? v.value() : "single";
  return kind == "single"             ? 1
         : kind == "double"           ? 2
         : kind == "singleAccounting" ? 33
         : kind == "doubleAccounting" ? 34
                                      : 0;
}

model::Font ParseFont(const pugi::xml_node& f, const Palette& pal) {
  model::Font font;
  font.name = "Calibri";
  font.size = 11;
  for (pugi::xml_node c = f.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element) continue;
    std::string_view n = LocalName(c.name());
    if (n == "b")
      font.bold = ValBool(c);
    else if (n == "i")
      font.italic = ValBool(c);
    else if (n == "strike")
      font.strike = ValBool(c);
    else if (n == "sz")
      font.size = DoubleAttr(c, "val", font.size);
    else if (n == "name" || n == "rFont")
      font.name = Attr(c, "val").value();
    else if (n == "color")
      font.color = pal.Resolve(c, 0);
    else if (n == "u") {
      font.underline = UnderlineCode(c);
    } else if (n == "vertAlign") {
      std::string_view v = Attr(c, "val").value();
      font.escapement = v == "superscript" ? 1 : v == "subscript" ? 2 : 0;
    }
  }
  return font;
}

struct FillInfo {
  uint8_t pattern = model::kFillNone;
  uint32_t color = 0;
};

uint8_t PatternCode(std::string_view p) {
  static constexpr std::pair<std::string_view, uint8_t> kPatterns[] = {
      {"solid", 1},          {"mediumGray", 2},   {"darkGray", 3},         {"lightGray", 4},
      {"darkHorizontal", 5}, {"darkVertical", 6}, {"darkDown", 7},         {"darkUp", 8},
      {"darkGrid", 9},       {"darkTrellis", 10}, {"lightHorizontal", 11}, {"lightVertical", 12},
      {"lightDown", 13},     {"lightUp", 14},     {"lightGrid", 15},       {"lightTrellis", 16},
      {"gray125", 17},       {"gray0625", 18}};
  return CodeOfName(kPatterns, p).value_or(model::kFillNone);
}

// The colour a pattern fill shows. A missing or automatic pattern colour is the system
// foreground (black); a missing or automatic background, or the system colours 64 and 65
// given for it, the window background (white).
FillInfo ParseFill(const pugi::xml_node& f, const Palette& pal) {
  FillInfo fill;
  if (pugi::xml_node p = Child(f, "patternFill")) {
    fill.pattern = PatternCode(Attr(p, "patternType").value());
    if (fill.pattern == model::kFillNone) return fill;
    const uint32_t pattern = pal.Resolve(Child(p, "fgColor"), 0);
    const pugi::xml_node bg = Child(p, "bgColor");
    const uint64_t indexed = UIntAttr(bg, "indexed", 0);
    const uint32_t background =
        indexed == 64 || indexed == 65 ? 0xFFFFFF : pal.Resolve(bg, 0xFFFFFF);
    fill.color = model::FillPatternColor(fill.pattern, pattern, background);
  } else if (pugi::xml_node g = Child(f, "gradientFill")) {
    // A gradient is shown as a solid fill in its first stop's colour.
    if (pugi::xml_node stop = Child(g, "stop")) {
      fill.pattern = 1;
      fill.color = pal.Resolve(Child(stop, "color"), 0);
    }
  }
  return fill;
}

uint8_t BorderCode(std::string_view s) {
  static constexpr std::string_view kStyles[] = {"none",
                                                 "thin",
                                                 "medium",
                                                 "dashed",
                                                 "dotted",
                                                 "thick",
                                                 "double",
                                                 "hair",
                                                 "mediumDashed",
                                                 "dashDot",
                                                 "mediumDashDot",
                                                 "dashDotDot",
                                                 "mediumDashDotDot",
                                                 "slantDashDot"};
  for (uint8_t i = 0; i < 14; ++i) {
    if (kStyles[i] == s) return i;
  }
  return 0;
}

struct BorderInfo {
  uint8_t style[4] = {0, 0, 0, 0};
  uint32_t color[4] = {0, 0, 0, 0};
};

BorderInfo ParseBorder(const pugi::xml_node& b, const Palette& pal) {
  BorderInfo info;
  for (pugi::xml_node c = b.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element) continue;
    std::string_view n = LocalName(c.name());
    int side = n == "left" || n == "start"  ? model::kLeft
               : n == "right" || n == "end" ? model::kRight
               : n == "top"                 ? model::kTop
               : n == "bottom"              ? model::kBottom
                                            : -1;
    if (side < 0) continue;
    info.style[side] = BorderCode(Attr(c, "style").value());
    info.color[side] = info.style[side] ? pal.Resolve(Child(c, "color"), 0) : 0;
  }
  return info;
}

uint8_t HAlignCode(std::string_view h) {
  if (h == "left") return 1;
  if (h == "center") return 2;
  if (h == "right") return 3;
  if (h == "fill") return 4;
  if (h == "justify") return 5;
  if (h == "centerContinuous") return 6;
  if (h == "distributed") return 7;
  return 0;
}

uint8_t VAlignCode(std::string_view v) {
  if (v == "top") return 0;
  if (v == "center") return 1;
  if (v == "justify") return 3;
  if (v == "distributed") return 4;
  return 2;  // bottom, the default
}

template <typename Fn>
void ForEachChild(const pugi::xml_node& parent, std::string_view local, Fn fn) {
  for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element && LocalName(c.name()) == local) fn(c);
  }
}

struct StyleHash {
  size_t operator()(const model::CellStyle& s) const {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](uint64_t v) { h = (h ^ v) * 1099511628211ull; };
    mix(s.numFmtId);
    mix(s.hAlign | (s.vAlign << 8) | (s.indent << 16) | (uint64_t{s.wrap} << 24) |
        (uint64_t{s.locked} << 25) | (uint64_t{s.hidden} << 26));
    mix(s.fillPattern);
    mix(s.fillColor);
    mix(s.fontIndex);
    for (int i = 0; i < 4; ++i) {
      mix(s.borderStyle[i]);
      mix(s.borderColor[i]);
    }
    return static_cast<size_t>(h);
  }
};

// The parts of the style sheet that cell formats refer to by index.
struct StyleParts {
  std::vector<uint32_t> fontIndex;  // file font -> model font
  std::vector<FillInfo> fills;
  std::vector<BorderInfo> borders;
};

// The number formats, fonts, fills and borders; the first font is the workbook's default.
StyleParts ReadStyleParts(const pugi::xml_node& root, const Palette& pal, model::Workbook& book) {
  ForEachChild(Child(root, "numFmts"), "numFmt", [&](const pugi::xml_node& n) {
    uint64_t id = UIntAttr(n, "numFmtId", UINT64_MAX);
    if (id > 0xFFFF) return;
    // The code is an escaped string of the format: "_x000B_" stands for one character.
    std::string code = Attr(n, "formatCode").value();
    DecodeEscapes(code);
    book.SetNumberFormat(static_cast<uint16_t>(id), code);
  });
  StyleParts parts;
  ForEachChild(Child(root, "fonts"), "font", [&](const pugi::xml_node& f) {
    model::Font font = ParseFont(f, pal);
    if (parts.fontIndex.empty()) {
      book.Fonts()[0] = font;  // the workbook's default font
      parts.fontIndex.push_back(0);
    } else {
      parts.fontIndex.push_back(book.AddFont(font));
    }
  });
  ForEachChild(Child(root, "fills"), "fill",
               [&](const pugi::xml_node& f) { parts.fills.push_back(ParseFill(f, pal)); });
  ForEachChild(Child(root, "borders"), "border",
               [&](const pugi::xml_node& b) { parts.borders.push_back(ParseBorder(b, pal)); });
  return parts;
}

// One cell format (an xf of cellXfs) as a model style.
model::CellStyle CellStyleOf(const pugi::xml_node& xf, const StyleParts& parts) {
  model::CellStyle s;
  uint64_t numFmt = UIntAttr(xf, "numFmtId", 0);
  s.numFmtId = numFmt <= 0xFFFF ? static_cast<uint16_t>(numFmt) : 0;
  uint64_t font = UIntAttr(xf, "fontId", 0);
  s.fontIndex = font < parts.fontIndex.size() ? parts.fontIndex[font] : 0;
  uint64_t fill = UIntAttr(xf, "fillId", 0);
  if (fill < parts.fills.size()) {
    s.fillPattern = parts.fills[fill].pattern;
    s.fillColor = parts.fills[fill].color;
  }
  uint64_t border = UIntAttr(xf, "borderId", 0);
  if (border < parts.borders.size()) {
    std::memcpy(s.borderStyle, parts.borders[border].style, sizeof s.borderStyle);
    std::memcpy(s.borderColor, parts.borders[border].color, sizeof s.borderColor);
  }
  if (pugi::xml_node a = Child(xf, "alignment")) {
    s.hAlign = HAlignCode(Attr(a, "horizontal").value());
    s.vAlign = VAlignCode(Attr(a, "vertical").value());
    s.wrap = XmlBool(Attr(a, "wrapText"));
    s.indent = static_cast<uint8_t>(std::min<uint64_t>(UIntAttr(a, "indent", 0), 250));
  }
  if (pugi::xml_node p = Child(xf, "protection")) {
    s.locked = XmlBool(Attr(p, "locked"), true);
    s.hidden = XmlBool(Attr(p, "hidden"));
  }
  return s;
}

// The font parts of a differential format: only the elements present change the look.
void ParseDxfFont(const pugi::xml_node& f, const Palette& pal, model::DifferentialFormat& d) {
  for (pugi::xml_node c = f.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element) continue;
    std::string_view n = LocalName(c.name());
    if (n == "b") {
      d.bold = ValBool(c);
    } else if (n == "i") {
      d.italic = ValBool(c);
    } else if (n == "strike") {
      d.strike = ValBool(c);
    } else if (n == "color" && !XmlBool(Attr(c, "auto"))) {
      d.fontColor = pal.Resolve(c, 0);
    } else if (n == "u") {
      d.underline = UnderlineCode(c);
    }
  }
}

// A differential fill. Unlike a cell's fill, a solid one (and one without a pattern type,
// which means solid here) keeps its colour in bgColor; writers that put it in fgColor alone
// are read too. Other patterns show their colour blended over the background.
void ParseDxfFill(const pugi::xml_node& f, const Palette& pal, model::DifferentialFormat& d) {
  if (pugi::xml_node g = Child(f, "gradientFill")) {
    if (pugi::xml_node stop = Child(g, "stop")) d.fillColor = pal.Resolve(Child(stop, "color"), 0);
    return;
  }
  pugi::xml_node p = Child(f, "patternFill");
  if (!p) return;
  pugi::xml_attribute type = Attr(p, "patternType");
  const uint8_t pattern = type ? PatternCode(type.value()) : 1;
  if (pattern == model::kFillNone) return;
  pugi::xml_node fg = Child(p, "fgColor"), bg = Child(p, "bgColor");
  if (pattern == 1) {
    if (bg || fg) d.fillColor = pal.Resolve(bg ? bg : fg, 0xFFFFFF);
    return;
  }
  d.fillColor = model::FillPatternColor(pattern, pal.Resolve(fg, 0), pal.Resolve(bg, 0xFFFFFF));
}

model::DifferentialFormat ParseDxf(const pugi::xml_node& dxf, const Palette& pal) {
  model::DifferentialFormat d;
  if (pugi::xml_node f = Child(dxf, "font")) ParseDxfFont(f, pal, d);
  if (pugi::xml_node f = Child(dxf, "fill")) ParseDxfFill(f, pal, d);
  if (pugi::xml_node b = Child(dxf, "border")) {
    const BorderInfo info = ParseBorder(b, pal);
    for (int side = 0; side < 4; ++side) {
      // A side without a style leaves the cell's own border.
      if (!info.style[side]) continue;
      d.borderStyle[side] = info.style[side];
      d.borderColor[side] = info.color[side];
    }
  }
  return d;
}

}  // namespace

uint32_t ColorTable::Indexed(uint64_t i) const {
  if (i < indexed.size()) return indexed[i];
  return DefaultIndexedColor(static_cast<uint32_t>(std::min<uint64_t>(i, 0xFFFF)));
}

uint32_t ColorTable::Resolve(const ColorAttrs& c, uint32_t automatic) const {
  if (c.autoColor && XmlBool(c.autoColor)) return automatic;
  uint32_t bgr = automatic;
  uint64_t i;
  if (c.rgb) {
    if (!ParseRgb(c.rgb, bgr)) bgr = automatic;
  } else if (c.theme) {
    if (ParseNum(std::string_view(c.theme), i) && i < theme.colors.size()) bgr = theme.colors[i];
  } else if (c.indexed) {
    if (ParseNum(std::string_view(c.indexed), i)) bgr = Indexed(i);
  }
  double tint;
  if (c.tint && ParseNum(std::string_view(c.tint), tint) && std::isfinite(tint) && tint != 0) {
    return ApplyTint(bgr, tint);
  }
  return bgr;
}

uint32_t DefaultIndexedColor(uint32_t index) {
  if (index < 64) return model::DefaultPaletteColor(index);
  if (index == 65) return 0xFFFFFF;  // system background
  return 0;                          // system foreground and anything unknown: black
}

bool ParseStyles(const std::string& text, const Theme& theme, model::Workbook& book, StyleMap& map,
                 std::string& error) {
  map.xfToStyle.assign(1, 0);
  pugi::xml_document doc;
  if (!LoadDom(text, doc, error)) return false;
  pugi::xml_node root = doc.document_element();

  map.colors.theme = theme;
  Palette pal{&map.colors};
  if (pugi::xml_node colors = Child(root, "colors")) {
    ForEachChild(Child(colors, "indexedColors"), "rgbColor", [&](const pugi::xml_node& c) {
      uint32_t bgr = 0;
      ParseRgb(Attr(c, "rgb").value(), bgr);
      map.colors.indexed.push_back(bgr);
    });
  }
  const StyleParts parts = ReadStyleParts(root, pal, book);

  // Cell formats that look the same share one model style; the first is model style 0.
  std::unordered_map<model::CellStyle, uint32_t, StyleHash> seen;
  std::vector<model::CellStyle>& styles = book.Styles();
  map.xfToStyle.clear();
  ForEachChild(Child(root, "cellXfs"), "xf", [&](const pugi::xml_node& xf) {
    const model::CellStyle s = CellStyleOf(xf, parts);
    if (map.xfToStyle.empty()) {
      styles[0] = s;  // the default format is model style 0
      seen.emplace(s, 0);
      map.xfToStyle.push_back(0);
      return;
    }
    auto [it, added] = seen.emplace(s, static_cast<uint32_t>(styles.size()));
    if (added) styles.push_back(s);
    map.xfToStyle.push_back(it->second);
  });
  if (map.xfToStyle.empty()) map.xfToStyle.push_back(0);
  ForEachChild(Child(root, "dxfs"), "dxf",
               [&](const pugi::xml_node& d) { map.dxfs.push_back(ParseDxf(d, pal)); });
  return true;
}

}  // namespace gridwell::xlsx
