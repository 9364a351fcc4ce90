#include "converter/style_sheet.h"

#include "converter/cell_markup.h"

namespace gridwell::conv {

namespace {

std::string_view HorizontalWord(int32_t code, ValueKind kind) {
  switch (code) {
    case 0:
      // General alignment: texts left, numbers and dates right, Booleans and errors centred,
      // as spreadsheets show them.
      switch (kind) {
        case ValueKind::String:
          return "left";
        case ValueKind::Number:
        case ValueKind::Date:
          return "right";
        default:
          return "center";
      }
    case 1:
      return "left";
    case 2:
      return "center";
    case 3:
      return "right";
    case 5:
      return "justify";
    case 6:
      return "center";
    default:
      // Fill (4) repeats the text across the cell, which CSS cannot do; it starts at the
      // left edge, as left alignment does.
      return "left";
  }
}

// Justified text spreads its lines from the top edge down, distributed text evenly over
// the height; CSS has neither, and a single line of them stands at the top and in the
// middle.
std::string_view VerticalWord(int32_t code) {
  switch (code) {
    case 0:
    case 3:
      return "top";
    case 1:
    case 4:
      return "middle";
    default:
      return "bottom";
  }
}

}  // namespace

std::string_view BorderStyleCss(int16_t code) {
  switch (code) {
    case 0:
      return "none";
    case 1:
      return ".5pt solid";
    case 2:
      return "1.0pt solid";
    case 3:
      return ".5pt dashed";
    case 4:
      return ".5pt dotted";
    case 5:
      return "1.5pt solid";
    case 6:
      return "2.0pt double";
    case 7:
      return ".5pt solid";
    case 8:
      return "1.0pt dashed";
    // CSS has no dash-dot lines: the nearest is a dashed line of the same weight.
    case 9:
      return ".5pt dashed";
    case 10:
      return "1.0pt dashed";
    case 11:
      return ".5pt dashed";
    case 12:
    case 13:
      return "1.0pt dashed";
    default:
      return "none";
  }
}

void AppendBorderDeclarations(std::string& out, const CellFormat& format, std::string_view before,
                              std::string_view after) {
  static constexpr struct {
    int side;
    std::string_view property;
  } kSides[] = {{model::kTop, "border-top:"},
                {model::kRight, "border-right:"},
                {model::kBottom, "border-bottom:"},
                {model::kLeft, "border-left:"}};
  for (const auto& s : kSides) {
    const int32_t code = format.BorderLineStyle(s.side);
    if (code <= 0) continue;
    AppendBorderDeclaration(out, s.property, code, format.BorderColor(s.side), before, after);
  }
}

void AppendBorderDeclaration(std::string& out, std::string_view property, int32_t code,
                             uint32_t color, std::string_view before, std::string_view after) {
  out.append(before);
  out.append(property);
  const std::string_view css = BorderStyleCss(static_cast<int16_t>(code));
  out.append(css);
  if (css != "none") {
    out += ' ';
    AppendHtmlColor(out, color);
  }
  out.append(after);
}

void AppendStyleSheetOpening(std::string& out) {
  // Fixed text: a backslash and "t" (not a tab), and doubled backslashes before the
  // separators.
  out.append(
      "<STYLE ID='XL_Styles'>\r\n"
      "<!--table\r\n"
      "\\t{mso-displayed-decimal-separator:'\\\\.';\r\n"
      "\\tmso-displayed-thousand-separator:'\\\\,';}\r\n");
}

void AppendEmptyPositionRule(std::string& out, const CellFormat& format) {
  out.append(".xe");
  AppendInt(out, format.FormatId());
  out.append("\r\n\t{");
  if (format.FillPattern() != model::kFillNone) {
    out.append("background:");
    AppendHtmlColor(out, format.FillColor());
    out.append(";\r\n\t");
  }
  AppendBorderDeclarations(out, format, {}, ";\r\n\t");
  out.append("}\r\n");
}

void AppendStyleSheetClosing(std::string& out) {
  out.append("-->\r\n</STYLE>\r\n");
}

void AppendClassRule(std::string& out, int32_t n, const ReaderCell& cell, const CellValue& value) {
  out.append(".xl");
  AppendInt(out, n);
  out.append("\r\n");
  AppendClassRuleBody(out, cell, value);
}

uint64_t ClassRuleVariant(const ReaderCell& cell, const CellValue& value) {
  // The value decides the word of general alignment (by its kind) and, through the format
  // section that shows it, the colour.
  uint64_t kind;
  switch (value.kind) {
    case ValueKind::String:
      kind = 0;
      break;
    case ValueKind::Number:
    case ValueKind::Date:
      kind = 1;
      break;
    default:
      kind = 2;
  }
  const int64_t section = cell.TextColor();
  const uint64_t colour = section >= 0 ? (uint64_t{1} << 24 | uint64_t(section & 0xFFFFFF)) : 0;
  return kind << 25 | colour;
}

void AppendClassRuleBody(std::string& out, const ReaderCell& cell, const CellValue& value) {
  const CellFormat& format = cell;
  out.append("\t{padding:0px;\r\n\tmso-ignore:padding;\r\n\tcolor:");
  const int64_t section = cell.TextColor();
  if (section == 0x0000FF) {
    out.append("red");
  } else {
    AppendHtmlColor(out, section >= 0 ? static_cast<uint32_t>(section) : format.FontColor());
  }
  out.append(";\r\n\tfont-size:");
  AppendInt(out, WholePoints(format.FontSize()));
  out.append(".0pt;\r\n\tfont-weight:");
  out.append(format.Bold() ? std::string_view("700") : std::string_view("400"));
  out.append(format.Italic() ? std::string_view(";\r\n\tfont-style:italic;\r\n")
                             : std::string_view(";\r\n\tfont-style:normal;\r\n"));
  const int32_t underline = format.Underline();
  if (underline >= 1) {
    out.append("\ttext-decoration:underline;\r\n\ttext-underline-style:");
    out.append(underline == 2 || underline == 34 ? std::string_view("double")
                                                 : std::string_view("single"));
    out.append(";\r\n");
  } else {
    out.append("\ttext-decoration:none;\r\n");
  }
  out.append("\tfont-family:");
  AppendCssFontName(out, format.FontName());
  out.append(";\r\n\tmso-generic-font-family:auto;\r\n\tmso-font-charset:0;\r\n\ttext-align:");
  out.append(HorizontalWord(format.HorizontalAlignment(), value.kind));
  out.append(";\r\n\tvertical-align:");
  out.append(VerticalWord(format.VerticalAlignment()));
  out.append(";\r\n");

  AppendBorderDeclarations(out, format, "\t", ";\r\n");

  if (format.FillPattern() != model::kFillNone) {
    out.append("\tbackground:");
    AppendHtmlColor(out, format.FillColor());
    out.append(";\r\n");
  }
  out.append("\tmso-pattern:auto none;\r\n");
  out.append(format.WrapText() ? std::string_view("\twhite-space:normal;")
                               : std::string_view("\twhite-space:nowrap;"));
  const int32_t indent = format.IndentLevel();
  if (indent >= 1) {
    out.append("\r\n\tpadding-left:");
    AppendInt(out, static_cast<int64_t>(indent) * 12);
    out.append("px;\r\n\tmso-char-indent-count:");
    AppendInt(out, indent);
    out += ';';
  }
  out.append("}\r\n");
}

}  // namespace gridwell::conv
