#include "converter/style_sheet.h"

#include <gtest/gtest.h>

#include "test_book.h"

namespace gridwell::conv {
namespace {

using gridwell::testing::TestBook;

std::string Rule(const model::CellStyle& style, const model::Font& font, double value = 1.5,
                 int32_t n = 1) {
  TestBook b;
  b.sheet->SetNumber(1, 1, value, b.Style(style, &font));
  const ReaderCell cell = b.Cell(1, 1);
  std::string out;
  AppendClassRule(out, n, cell, cell.Value());
  return out;
}

TEST(StyleSheet, PlainCellRuleHasFifteenLines) {
  EXPECT_EQ(Rule({}, {}),
            ".xl1\r\n"
            "\t{padding:0px;\r\n"
            "\tmso-ignore:padding;\r\n"
            "\tcolor:#000000;\r\n"
            "\tfont-size:10.0pt;\r\n"
            "\tfont-weight:400;\r\n"
            "\tfont-style:normal;\r\n"
            "\ttext-decoration:none;\r\n"
            "\tfont-family:\"Arial\";\r\n"
            "\tmso-generic-font-family:auto;\r\n"
            "\tmso-font-charset:0;\r\n"
            "\ttext-align:right;\r\n"
            "\tvertical-align:bottom;\r\n"
            "\tmso-pattern:auto none;\r\n"
            "\twhite-space:nowrap;}\r\n");
}

TEST(StyleSheet, OpeningAndClosingAreFixedText) {
  std::string out;
  AppendStyleSheetOpening(out);
  AppendStyleSheetClosing(out);
  EXPECT_EQ(out,
            "<STYLE ID='XL_Styles'>\r\n<!--table\r\n"
            "\\t{mso-displayed-decimal-separator:'\\\\.';\r\n"
            "\\tmso-displayed-thousand-separator:'\\\\,';}\r\n-->\r\n</STYLE>\r\n");
}

TEST(StyleSheet, BorderStyleCss) {
  const char* want[] = {"none",         ".5pt solid",  "1.0pt solid",  ".5pt dashed",
                        ".5pt dotted",  "1.5pt solid", "2.0pt double", ".5pt solid",
                        "1.0pt dashed",
                        ".5pt dashed",  // the dash-dot family: CSS has only dashes
                        "1.0pt dashed", ".5pt dashed", "1.0pt dashed", "1.0pt dashed"};
  for (int16_t c = 0; c <= 13; ++c) EXPECT_EQ(BorderStyleCss(c), want[c]) << c;
  EXPECT_EQ(BorderStyleCss(14), "none");
  EXPECT_EQ(BorderStyleCss(-1), "none");
}

TEST(StyleSheet, Borders) {
  model::CellStyle s;
  s.borderStyle[model::kTop] = 7;
  s.borderColor[model::kTop] = 0xFF;
  s.borderStyle[model::kRight] = 14;
  s.borderStyle[model::kBottom] = 0;
  s.borderStyle[model::kLeft] = 2;
  s.borderColor[model::kLeft] = 0xFF0000;
  const std::string r = Rule(s, {});
  EXPECT_NE(r.find("\tvertical-align:bottom;\r\n"
                   "\tborder-top:.5pt solid #FF0000;\r\n"
                   "\tborder-right:none;\r\n"
                   "\tborder-left:1.0pt solid #0000FF;\r\n"
                   "\tmso-pattern"),
            std::string::npos)
      << r;
}

TEST(StyleSheet, FontDeclarations) {
  const struct {
    uint8_t underline;
    const char* want;
  } underlines[] = {{0, "\ttext-decoration:none;\r\n"},
                    {1, "\ttext-decoration:underline;\r\n\ttext-underline-style:single;\r\n"},
                    {2, "\ttext-decoration:underline;\r\n\ttext-underline-style:double;\r\n"},
                    {3, "\ttext-decoration:underline;\r\n\ttext-underline-style:single;\r\n"},
                    {33, "\ttext-decoration:underline;\r\n\ttext-underline-style:single;\r\n"},
                    {34, "\ttext-decoration:underline;\r\n\ttext-underline-style:double;\r\n"}};
  for (const auto& u : underlines) {
    model::Font f;
    f.underline = u.underline;
    EXPECT_NE(Rule({}, f).find(std::string("\tfont-style:normal;\r\n") + u.want + "\tfont-family:"),
              std::string::npos)
        << int(u.underline);
  }
  model::Font f;
  f.bold = true;
  f.italic = true;
  f.size = 12.5;
  f.name = "Times New Roman";
  const std::string r = Rule({}, f);
  EXPECT_NE(r.find("\tfont-size:12.0pt;\r\n\tfont-weight:700;\r\n\tfont-style:italic;\r\n"),
            std::string::npos);
  EXPECT_NE(r.find("\tfont-family:\"Times New Roman\";\r\n"), std::string::npos);
}

TEST(StyleSheet, Alignment) {
  const struct {
    uint8_t h, v;
    const char* want;
  } cases[] = {{7, 4, "left;\r\n\tvertical-align:middle;"},
               {6, 0, "center;\r\n\tvertical-align:top;"},
               {4, 1, "left;\r\n\tvertical-align:middle;"},
               {5, 3, "justify;\r\n\tvertical-align:top;"},
               {3, 9, "right;\r\n\tvertical-align:bottom;"}};
  for (const auto& c : cases) {
    model::CellStyle s;
    s.hAlign = c.h;
    s.vAlign = c.v;
    EXPECT_NE(Rule(s, {}).find(std::string("\ttext-align:") + c.want), std::string::npos)
        << int(c.h);
  }
}

TEST(StyleSheet, GeneralAlignmentFollowsTheValue) {
  TestBook b;
  b.sheet->SetString(1, 1, "t");
  b.sheet->SetBool(1, 2, true);
  b.sheet->SetDate(1, 3, 40000);
  const char* want[] = {"left", "center", "right"};
  for (int c = 1; c <= 3; ++c) {
    std::string out;
    const ReaderCell cell = b.Cell(1, c);
    AppendClassRule(out, c, cell, cell.Value());
    EXPECT_NE(out.find(std::string("\ttext-align:") + want[c - 1] + ";"), std::string::npos) << c;
  }
}

TEST(StyleSheet, FillWrapAndIndent) {
  model::CellStyle s;
  s.fillPattern = 1;
  s.fillColor = 0x00FFFF;
  s.wrap = true;
  s.indent = 2;
  const std::string r = Rule(s, {});
  EXPECT_NE(r.find("\tbackground:#FFFF00;\r\n\tmso-pattern:auto none;\r\n\twhite-space:normal;\r\n"
                   "\tpadding-left:24px;\r\n\tmso-char-indent-count:2;}\r\n"),
            std::string::npos)
      << r;
  EXPECT_EQ(Rule({}, {}).find("background"), std::string::npos);
}

// The colour is the one of the format section that shows the value, as the spreadsheet
// paints it; without one, the font colour.
TEST(StyleSheet, ColourOfTheAppliedFormatSection) {
  model::Font f;
  f.color = 0x00FF00;
  const struct {
    uint16_t index;
    const char* code;  // the workbook's own code, or nullptr for the built-in one
    double v;
    const char* color;
  } cases[] = {
      {6, nullptr, -5, "red"},
      {5, nullptr, -5, "#00FF00"},
      {6, nullptr, 0, "#00FF00"},
      {8, nullptr, -1, "red"},
      {38, nullptr, -1, "red"},
      {40, nullptr, -1, "red"},
      {37, nullptr, -1, "#00FF00"},  // "#,##0_);(#,##0)" has no colour
      {39, nullptr, -1, "#00FF00"},
      {44, nullptr, -1, "#00FF00"},
      {0, nullptr, -1, "#00FF00"},
      {164, "[Blue]0;[Red]-0", 1, "#0000FF"},
      {164, "[Blue]0;[Red]-0", -1, "red"},
      {165, "[>100][Color10]0;0", 200, "#008000"},
      {165, "[>100][Color10]0;0", 50, "#00FF00"},
  };
  for (const auto& c : cases) {
    TestBook b;
    if (c.code) b.book->SetNumberFormat(c.index, c.code);
    model::CellStyle s;
    s.numFmtId = c.index;
    b.sheet->SetNumber(1, 1, c.v, b.Style(s, &f));
    const ReaderCell cell = b.Cell(1, 1);
    std::string out;
    AppendClassRule(out, 1, cell, cell.Value());
    EXPECT_NE(out.find(std::string("\tcolor:") + c.color + ";\r\n"), std::string::npos)
        << c.index << " " << c.v;
  }
}

}  // namespace
}  // namespace gridwell::conv
