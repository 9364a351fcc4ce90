#include "converter/cell_markup.h"

#include <gtest/gtest.h>

#include "test_book.h"

namespace gridwell::conv {
namespace {

TEST(Markup, HtmlColor) {
  const struct {
    uint32_t v;
    const char* want;
  } cases[] = {
      {255, "#FF0000"},        {0, "#000000"},         {0x123456, "#563412"},
      {0xFFFFFF, "#FFFFFF"},   {0x00FF00, "#00FF00"},  {0xFF0000, "#0000FF"},
      {0x7, "#070000"},        {0x1ABCDEF, "#DEBC1A"},  // seven digits: cut from the first six
      {0xFFFFFFFF, "#FFFFFF"},
  };
  for (const auto& c : cases) EXPECT_EQ(HtmlColor(c.v), c.want) << c.v;
}

TEST(Markup, IsUrl) {
  const struct {
    const char* text;
    bool want;
  } cases[] = {
      {"HTTP://www.example.com", true}, {"https://a.b", true},
      {"ftp://x.org/f", true},          {"ftp://.org", false},
      {"http://localhost", false},      {"www.example.com", false},
      {"http:/x.com", false},           {"", false},
      {"mailto:a@b.com", false},        {"javascript://x.com", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsUrl(c.text), c.want) << c.text;
}

TEST(Markup, IsEmailAddress) {
  const struct {
    const char* text;
    bool want;
  } cases[] = {
      {"john.doe@example.com", true},
      {"a@example.c", false},
      {"a@example.abcde", false},
      {"a@ex", true},
      {"@example.com", false},
      {"a@ex_ample.com", false},
      {"a@example..com", true},
      {"a@example.com..", false},
      {"a b@example.com", false},
      {"a\\b@example.com", true},
      {"jos\xC3\xA9@example.com", false},
      {"a@b@c.com", false},
      {"", false},
      {"plain text", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsEmailAddress(c.text), c.want) << c.text;
}

TEST(Markup, ReferenceParts) {
  EXPECT_EQ(RowPart("B12"), "12");
  EXPECT_EQ(ColumnPart("B12"), "B");
  EXPECT_EQ(RowPart("AB"), "");
  EXPECT_EQ(ColumnPart("1A2B3"), "AB");
}

TEST(Markup, ColumnNumberAndLetters) {
  const struct {
    const char* name;
    int16_t number;
  } names[] = {{"A", 1},    {"Z", 26},   {"AA", 27},  {"AZ", 52},   {"BA", 53},
               {"IV", 256}, {"IW", 257}, {"ZZ", 702}, {"AAA", 703}, {"XFD", 16384},
               {"XFE", -1}, {"ZZZ", -1}, {"", 0},     {"ABCD", 0},  {"A1B", 0}};
  for (const auto& c : names) EXPECT_EQ(ColumnNumber(c.name), c.number) << c.name;
  for (const auto& c : names) {
    if (c.number >= 1) {
      EXPECT_EQ(ColumnLetters(c.number), c.name);
    }
  }
  for (int16_t n : {0, -1, -300, 16385, 32767}) EXPECT_EQ(ColumnLetters(n), "ERR") << n;
  // Every column name reads back to its number.
  for (int16_t n = 1; n <= 16384; ++n) ASSERT_EQ(ColumnNumber(ColumnLetters(n)), n);
}

// Workbook texts and font names from hostile workbooks: nothing in them may end the
// attribute, the declaration, the rule or the style element, open a comment, or bring a
// control character a page cannot carry.
TEST(Markup, Escaping) {
  const struct {
    std::string_view in;
    const char* text;  // AppendEscaped
    const char* font;  // AppendCssFontName
  } cases[] = {
      {"<a href=\"x\">Tom's & Jerry</a>",
       "&lt;a href=&quot;x&quot;&gt;Tom&#39;s &amp; Jerry&lt;/a&gt;",
       "\"\\3C a href\\3D \\22 x\\22 \\3E Tom\\27 s \\26  Jerry\\3C \\2F a\\3E \""},
      {"Arial;background:url(http://host/x)", "Arial;background:url(http://host/x)",
       "\"Arial\\3B background\\3A url\\28 http\\3A \\2F \\2F host\\2F x\\29 \""},
      {"A/*x*/B", "A/*x*/B", "\"A\\2F \\2A x\\2A \\2F B\""},
      {"Times New Roman", "Times New Roman", "\"Times New Roman\""},
      {"Noto Sans CJK \xE6\x97\xA5", "Noto Sans CJK \xE6\x97\xA5",
       "\"Noto Sans CJK \xE6\x97\xA5\""},
      {"a\tb\nc\r\nd", "a\tb\nc\r\nd", "\"abcd\""},
      {std::string_view("n\0u\x01l\fl\x1B[31m\re", 14), "null[31me", "\"null\\5B 31me\""},
      // DEL and C1 controls (U+0085, U+009B) go; U+00A0 and U+4E05 (whose last byte is 0x85)
      // stay.
      {"a\x7F"
       "b\xC2\x85"
       "c\xC2\x9B"
       "d\xC2\xA0"
       "e\xE4\xB8\x85",
       "abcd\xC2\xA0"
       "e\xE4\xB8\x85",
       "\"abcd\xC2\xA0"
       "e\xE4\xB8\x85\""},
  };
  for (const auto& c : cases) {
    std::string text, font;
    AppendEscaped(text, c.in);
    AppendCssFontName(font, c.in);
    EXPECT_EQ(text, c.text) << c.in;
    EXPECT_EQ(font, c.font) << c.in;
  }
}

TEST(Markup, WholePointsRoundsHalvesToEven) {
  EXPECT_EQ(WholePoints(10.5), 10);
  EXPECT_EQ(WholePoints(11.5), 12);
  EXPECT_EQ(WholePoints(10.4), 10);
  EXPECT_EQ(WholePoints(1e300), INT32_MAX);
}

constexpr int64_t kNone = -1, kRed = 0x0000FF;

class CellContent : public ::testing::Test {
 protected:
  std::string Content(std::string_view display, int64_t color, model::Font font,
                      bool newWindow = false, bool wrapper = true) {
    testing::TestBook b;
    b.sheet->SetString(1, 1, "x", b.Style({}, &font));
    std::string out;
    AppendCellContent(out, display, color, b.Cell(1, 1), newWindow, wrapper);
    return out;
  }
};

// A link stands in the cell's font on the plain page and bare on the styled page.
TEST_F(CellContent, LinksKeepTheCellsFont) {
  model::Font bold;
  bold.bold = true;
  bold.name = "Times New Roman";
  bold.size = 12;
  const std::string open =
      "<P STYLE='font-family:\"Times New Roman\";font-size:96%;color:#000000'>";
  EXPECT_EQ(Content("http://www.example.com", kNone, bold),
            open + "<STRONG><A HREF = 'http://www.example.com' TARGET='_parent'>" +
                "http://www.example.com</A></STRONG></P>");
  EXPECT_EQ(Content("http://www.example.com", kNone, bold, true, false),
            "<A HREF = 'http://www.example.com' TARGET='_new'>http://www.example.com</A>");
  EXPECT_EQ(Content("a@b.com", kNone, bold),
            open + "<STRONG><A HREF = 'mailto:a@b.com'>a@b.com</A></STRONG></P>");
}

TEST_F(CellContent, FontWrapper) {
  model::Font f;
  f.bold = true;
  f.size = 10;
  f.color = 0x123456;
  EXPECT_EQ(
      Content("Total", kNone, f),
      "<P STYLE='font-family:\"Arial\";font-size:80%;color:#563412'><STRONG>Total</STRONG></P>");
  f.bold = false;
  EXPECT_EQ(Content("-5", kRed, f),
            "<P STYLE='font-family:\"Arial\";font-size:80%;color:red'>-5</P>");
  // Italic and underline alone, and with bold.
  const std::string open = "<P STYLE='font-family:\"Arial\";font-size:80%;color:#563412'>";
  f.italic = true;
  EXPECT_EQ(Content("x", kNone, f), open + "<I>x</I></P>");
  f.italic = false;
  for (uint8_t u : {1, 2, 33, 34}) {
    f.underline = u;
    EXPECT_EQ(Content("x", kNone, f), open + "<U>x</U></P>") << int(u);
  }
  f.bold = f.italic = true;
  EXPECT_EQ(Content("x", kNone, f), open + "<STRONG><I><U>x</U></I></STRONG></P>");
  EXPECT_EQ(Content("-5", kRed, f, false, false), "-5") << "styled page: no wrapper";
}

TEST_F(CellContent, StrikeAndPosition) {
  model::Font f;
  f.strike = true;
  f.escapement = 1;
  EXPECT_EQ(Content("x", kNone, f, false, false), "<S><SUP>x</SUP></S>");
  f.escapement = 2;
  EXPECT_EQ(Content("x", kNone, f, false, false), "<S><SUB>x</SUB></S>");
  f.escapement = 3;
  EXPECT_EQ(Content("x", kNone, f, false, false), "<S>x</S>");
  f.strike = false;
  f.escapement = 1;
  EXPECT_EQ(Content("x", kNone, f, false, false), "<SUP>x</SUP>");
  f.escapement = 0;
  EXPECT_EQ(Content("x", kNone, f, false, false), "x");
  // Inside the font wrapper the raise goes around the text, where a browser applies it.
  f.strike = true;
  f.escapement = 1;
  EXPECT_EQ(Content("x", kNone, f),
            "<S><P STYLE='font-family:\"Arial\";font-size:80%;color:#000000'><SUP>x</SUP></P></S>");
  EXPECT_EQ(Content("http://a.com", kNone, f),
            "<S><P STYLE='font-family:\"Arial\";font-size:80%;color:#000000'><SUP>"
            "<A HREF = 'http://a.com' TARGET='_parent'>http://a.com</A></SUP></P></S>");
}

TEST_F(CellContent, SectionColourOverridesTheFontColour) {
  model::Font f;
  f.color = 0x123456;
  const struct {
    int64_t color;
    const char* css;
  } cases[] = {{kNone, "#563412"},
               {kRed, "red"},
               {0xFF0000, "#0000FF"},
               {0x008000, "#008000"},
               {0, "#000000"}};
  for (const auto& c : cases) {
    EXPECT_EQ(
        Content("5", c.color, f),
        std::string("<P STYLE='font-family:\"Arial\";font-size:80%;color:") + c.css + "'>5</P>")
        << c.color;
  }
}

TEST(Markup, DisplayTextKeepsLineBreaksAndSpaces) {
  const struct {
    const char* text;
    const char* html;
  } cases[] = {
      {"a b", "a b"},
      {"a\nb", "a<BR>b"},
      {"a\r\nb\rc", "a<BR>b<BR>c"},
      {"  two", "&nbsp;&nbsp;two"},
      {"a   b", "a &nbsp;&nbsp;b"},
      {"$5 ", "$5&nbsp;"},
      {" x \n y", "&nbsp;x&nbsp;<BR>&nbsp;y"},
      {"<a> & 'b'\n", "&lt;a&gt; &amp; &#39;b&#39;<BR>"},
      {"", ""},
  };
  for (const auto& c : cases) {
    std::string out;
    AppendDisplayText(out, c.text);
    EXPECT_EQ(out, c.html) << c.text;
  }
}

TEST_F(CellContent, WorkbookTextIsEscaped) {
  model::Font f;
  f.name = "Ari'al";
  EXPECT_EQ(Content("<script>alert(1)</script>", kNone, f),
            "<P STYLE='font-family:\"Ari\\27 al\";font-size:80%;color:#000000'>"
            "&lt;script&gt;alert(1)&lt;/script&gt;</P>");
  EXPECT_EQ(Content("http://x.com/?a=1&b='2'", kNone, f, false, false),
            "<A HREF = 'http://x.com/?a=1&amp;b=&#39;2&#39;' TARGET='_parent'>"
            "http://x.com/?a=1&amp;b=&#39;2&#39;</A>");
}

}  // namespace
}  // namespace gridwell::conv
