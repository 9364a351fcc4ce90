// The page text of both writers, built from in-memory workbooks.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "converter/page_writer.h"
#include "showcase_book.h"

namespace gridwell::conv {
namespace {

using gridwell::testing::TestBook;

size_t Count(const std::string& text, std::string_view part) {
  size_t n = 0;
  for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
  return n;
}

// The small workbook of the whole-page tests: a text, a number, an empty cell, a Boolean.
TestBook SmallBook() {
  TestBook b;
  b.sheet->SetString(1, 1, "Name");
  b.sheet->SetNumber(1, 2, 1.5);
  b.sheet->SetBool(2, 2, true);
  return b;
}

TEST(Page, PlainPageText) {
  const TestBook b = SmallBook();
  clsHTML s;
  EXPECT_EQ(b.Page(s, false, {"Head", "Title", "", "", "", ""}),
            "<HTML>\r\n<HEAD>\r\n"
            "<META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=utf-8'>\r\n"
            "<CENTER><STRONG>Head</STRONG></CENTER>\r\n<TITLE>Title</TITLE><BR>\r\n"
            "</HEAD>\r\n<BODY BGCOLOR='silver'>\r\n"
            "<DIV ID='XL' ALIGN='CENTER' x:publishsource='Brindleworks'>\r\n"
            "<TABLE ALIGN='CENTER' BORDER='1' CELLSPACING='2' CELLPADDING='2' BGCOLOR='lightgrey' "
            "BORDERCOLOR='black' BORDERCOLORDARK='silver' BORDERCOLORLIGHT='white'>\r\n<TBODY>\r\n"
            "<TR ALIGN='RIGHT' NOWRAP><TD></TD><TD ALIGN='CENTER'>A</TD><TD ALIGN='CENTER'>B</TD>"
            "</TR>\r\n"
            "<TR ALIGN='RIGHT'><TD ALIGN='CENTER' HEIGHT='17'>1</TD>"
            "<TD HEIGHT='17' WIDTH='70' ALIGN='LEFT' VALIGN='BOTTOM' NOWRAP>"
            "<P STYLE='font-family:\"Arial\";font-size:80%;color:#000000'>Name</P></TD>"
            "<TD HEIGHT='17' WIDTH='70' ALIGN='RIGHT' VALIGN='BOTTOM' NOWRAP>"
            "<P STYLE='font-family:\"Arial\";font-size:80%;color:#000000'>1.5</P></TD></TR>\r\n"
            "<TR ALIGN='RIGHT'><TD ALIGN='CENTER' HEIGHT='17'>2</TD>"
            "<TD HEIGHT='17' WIDTH='70'></TD>"
            "<TD HEIGHT='17' WIDTH='70' ALIGN='CENTER' VALIGN='BOTTOM' NOWRAP>"
            "<P STYLE='font-family:\"Arial\";font-size:80%;color:#000000'>TRUE</P></TD></TR>\r\n"
            "</TBODY>\r\n</TABLE>\r\n</DIV>\r\n</BODY>\r\n</HTML>\r\n");
}

TEST(Page, StyledPageText) {
  const TestBook b = SmallBook();
  clsHTML s;
  s.HideColLetters = kTrue;
  s.HideRowNumbers = kTrue;
  const std::string rule =
      "\t{padding:0px;\r\n\tmso-ignore:padding;\r\n\tcolor:#000000;\r\n\tfont-size:10.0pt;\r\n"
      "\tfont-weight:400;\r\n\tfont-style:normal;\r\n\ttext-decoration:none;\r\n"
      "\tfont-family:\"Arial\";\r\n\tmso-generic-font-family:auto;\r\n\tmso-font-charset:0;\r\n";
  const std::string tail =
      ";\r\n\tvertical-align:bottom;\r\n\tmso-pattern:auto none;\r\n\twhite-space:nowrap;}\r\n";
  EXPECT_EQ(
      b.Page(s, true, {"", "", "navy", "", "", "t.png"}),
      "<HTML>\r\n<HEAD>\r\n"
      "<META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=utf-8'>\r\n"
      "<CENTER><STRONG></STRONG></CENTER>\r\n<TITLE></TITLE><BR>\r\n"
      "<!--[if !mso]>\r\n<STYLE>\r\n"
      "v\\\\:* {behavior:url(#default#VML);}\r\n"
      "o\\\\:* {behavior:url(#default#VML);}\r\n"
      "x\\\\:* {behavior:url(#default#VML);}\r\n"
      ".shape {behavior:url(#default#VML);}\r\n"
      "</STYLE>\r\n<![endif]-->\r\n"
      "<STYLE ID='XL_Styles'>\r\n<!--table\r\n"
      "\\t{mso-displayed-decimal-separator:'\\\\.';\r\n"
      "\\tmso-displayed-thousand-separator:'\\\\,';}\r\n" +
          (".xl1\r\n" + rule + "\ttext-align:left" + tail) +
          (".xl2\r\n" + rule + "\ttext-align:right" + tail) +
          (".xl3\r\n" + rule + "\ttext-align:center" + tail) +
          "-->\r\n</STYLE>\r\n"
          "</HEAD>\r\n<BODY BGCOLOR='navy'>\r\n"
          "<DIV ID='XL' ALIGN='CENTER' x:publishsource='Brindleworks'>\r\n"
          "<TABLE ALIGN='CENTER' BORDER='1' CELLSPACING='2' CELLPADDING='2' BACKGROUND='t.png' "
          "BORDERCOLOR='black' BORDERCOLORDARK='silver' BORDERCOLORLIGHT='white'>\r\n<TBODY>\r\n"
          "<TR ALIGN='RIGHT'><TD HEIGHT='17' WIDTH='70' CLASS=xl1 NOWRAP>Name</TD>"
          "<TD HEIGHT='17' WIDTH='70' CLASS=xl2 NOWRAP>1.5</TD></TR>\r\n"
          "<TR ALIGN='RIGHT'><TD HEIGHT='17' WIDTH='70'></TD>"
          "<TD HEIGHT='17' WIDTH='70' CLASS=xl3 NOWRAP>TRUE</TD></TR>\r\n"
          "</TBODY>\r\n</TABLE>\r\n</DIV>\r\n</BODY>\r\n</HTML>\r\n");
}

TEST(Page, Decorations) {
  const TestBook b = SmallBook();
  clsHTML s;
  const struct {
    PageDecoration d;
    const char* body;
    const char* table;
  } cases[] = {
      {{"", "", "", "", "", ""}, "<BODY BGCOLOR='silver'>", "BGCOLOR='lightgrey'"},
      {{"", "", "#FF0000", "bg.gif", "yellow", "t.gif"},
       "<BODY BGCOLOR='#FF0000'>",
       "BGCOLOR='yellow'"},
      {{"", "", "  ", "bg.gif", " ", "t.gif"}, "<BODY BACKGROUND='bg.gif'>", "BACKGROUND='t.gif'"},
      {{"<b>H&amp;</b>", "T'", "", "", "", ""}, "<BODY BGCOLOR='silver'>", "BGCOLOR='lightgrey'"},
  };
  for (const auto& c : cases) {
    const std::string page = b.Page(s, false, c.d);
    EXPECT_NE(page.find(std::string(c.body) + "\r\n"), std::string::npos) << c.body;
    EXPECT_NE(page.find(std::string("CELLPADDING='2' ") + c.table + " BORDERCOLOR"),
              std::string::npos)
        << c.table;
  }
  // The host's own texts are written as they are.
  const std::string page = b.Page(s, false, cases[3].d);
  EXPECT_NE(page.find("<CENTER><STRONG><b>H&amp;</b></STRONG></CENTER>\r\n<TITLE>T'</TITLE>"),
            std::string::npos);
}

TEST(Page, LetterRowsAndRowNumbers) {
  const TestBook b = SmallBook();
  const std::string letters = "<TR ALIGN='RIGHT' NOWRAP><TD></TD><TD ALIGN='CENTER'>A</TD>";
  const std::string number = "<TD ALIGN='CENTER' HEIGHT='17'>1</TD>";
  const struct {
    VbBool hideLetters, below, hideNumbers, right;
    size_t letterRows, corner, numberCells;
  } cases[] = {
      {kFalse, kFalse, kFalse, kFalse, 1, 1, 1},
      {kFalse, kTrue, kFalse, kTrue, 2, 2, 2},
      {kTrue, kTrue, kFalse, kTrue, 1, 1, 2},
      {kFalse, 1, kFalse, 1, 1, 1, 1},  // only -1 counts as True for these two
      {1, kFalse, 1, kFalse, 0, 0, 0},  // any non-zero value counts for the others
      {kFalse, kFalse, kTrue, kTrue, 1, 0, 1},
  };
  for (const auto& c : cases) {
    clsHTML s;
    s.HideColLetters = c.hideLetters;
    s.ColLetters = c.below;
    s.HideRowNumbers = c.hideNumbers;
    s.RowNumbers = c.right;
    const std::string page = b.Page(s, false);
    EXPECT_EQ(Count(page, "<TR ALIGN='RIGHT' NOWRAP>"), c.letterRows);
    EXPECT_EQ(Count(page, "NOWRAP><TD></TD>"), c.corner);
    EXPECT_EQ(Count(page, number), c.numberCells);
    if (c.right == kTrue) {
      EXPECT_NE(page.find("</TD><TD ALIGN='CENTER' HEIGHT='17'>2</TD></TR>\r\n"),
                std::string::npos);
    }
    (void)letters;
  }
}

TEST(Page, RangeText) {
  TestBook b;
  b.sheet->SetNumber(9, 6, 1);  // used range ends at F9
  const struct {
    const char* range;
    PageRange want;
  } cases[] = {
      {"b2:d5", {2, 2, 5, 4}},
      {"  B2:D5  ", {2, 2, 5, 4}},
      {"C7", {1, 1, 7, 3}},
      {"$A$1:$C$3", {1, 1, 3, 3}},
      {"A1:IW3", {1, 1, 3, 257}},
      {"A1:XFD2", {1, 1, 2, 16384}},
      {"A1:XFE3", {1, 1, 3, 6}},  // past the last column: the used column
      {"A:C", {1, 1, 9, 3}},      // no row parts: the used row
      {"B2:D99999999999", {2, 2, 9, 4}},
      {"A1:B1048577", {1, 1, 1048576, 2}},
  };
  for (const auto& c : cases) {
    clsHTML s;
    s.Range = c.range;
    const PageRange r = ResolveRange(RequestedRange(s), b.Worksheet());
    EXPECT_EQ(r.startRow, c.want.startRow) << c.range;
    EXPECT_EQ(r.startCol, c.want.startCol) << c.range;
    EXPECT_EQ(r.endRow, c.want.endRow) << c.range;
    EXPECT_EQ(r.endCol, c.want.endCol) << c.range;
  }
}

TEST(Page, RangeNumbers) {
  TestBook b;
  b.sheet->SetNumber(9, 6, 1);
  b.sheet->SetBlank(12, 2);  // a stored blank cell counts as used
  const struct {
    int32_t sr, sc, er, ec;
    PageRange want;
  } cases[] = {
      {0, 0, 0, 0, {1, 1, 12, 6}},
      {-5, -5, 3, 2, {1, 1, 3, 2}},
      {2, 3, 0, 4, {2, 3, 12, 4}},
      {4, 2, 5, 0, {4, 2, 5, 6}},
  };
  for (const auto& c : cases) {
    clsHTML s;
    s.Range = " ";
    s.StartRow = c.sr;
    s.StartCol = static_cast<int16_t>(c.sc);
    s.EndRow = c.er;
    s.EndCol = static_cast<int16_t>(c.ec);
    const PageRange r = ResolveRange(RequestedRange(s), b.Worksheet());
    EXPECT_EQ(r.startRow, c.want.startRow);
    EXPECT_EQ(r.startCol, c.want.startCol);
    EXPECT_EQ(r.endRow, c.want.endRow);
    EXPECT_EQ(r.endCol, c.want.endCol);
  }
}

TEST(Page, EmptySheetHasNoDataRows) {
  TestBook b;
  clsHTML s;
  const std::string page = b.Page(s, true);
  EXPECT_EQ(Count(page, "<TR ALIGN='RIGHT'>"), 0u);
  EXPECT_EQ(Count(page, ".xl"), 0u);
  EXPECT_NE(
      page.find("\\tmso-displayed-thousand-separator:'\\\\,';}\r\n-->\r\n</STYLE>\r\n</HEAD>"),
      std::string::npos);
}

TEST(Page, WidthsAndHeights) {
  TestBook b;
  b.sheet->SetColumnWidth(1, 1, 10);     // 81.36 -> 81
  b.sheet->SetColumnWidth(2, 2, 0);      // 10
  b.sheet->SetColumnWidth(3, 3, 1.332);  // 19.505 -> 20
  b.sheet->SetRowHeight(1, 262.5);       // 17.5 -> 18
  b.sheet->SetRowHeight(2, 247.5);       // 16.5 -> 16
  b.sheet->SetNumber(2, 3, 1);
  clsHTML s;
  s.HideColLetters = kTrue;
  s.HideRowNumbers = kTrue;
  const std::string page = b.Page(s, false);
  EXPECT_NE(
      page.find("<TR ALIGN='RIGHT'><TD HEIGHT='18' WIDTH='81'></TD><TD HEIGHT='18' WIDTH='10'></TD>"
                "<TD HEIGHT='18' WIDTH='20'></TD></TR>\r\n"),
      std::string::npos)
      << page;
  EXPECT_NE(
      page.find("<TR ALIGN='RIGHT'><TD HEIGHT='16' WIDTH='81'></TD><TD HEIGHT='16' WIDTH='10'></TD>"
                "<TD HEIGHT='16' WIDTH='20' ALIGN='RIGHT'"),
      std::string::npos)
      << page;
}

TEST(Page, PlainCellAttributes) {
  TestBook b;
  const struct {
    uint8_t h, v;
    uint32_t fill;
    bool wrap;
    const char* want;
  } cases[] = {
      {1, 0, 0, false, " ALIGN='LEFT' VALIGN='TOP' NOWRAP>"},
      {2, 1, 0xFF, true, " ALIGN='CENTER' VALIGN='MIDDLE' BGCOLOR='#FF0000'>"},
      {3, 3, 0, false, " ALIGN='RIGHT' VALIGN='TOP' NOWRAP>"},
      {5, 4, 0, false, " ALIGN='JUSTIFY' VALIGN='MIDDLE' NOWRAP>"},
      {4, 2, 0, false, " ALIGN='LEFT' VALIGN='BOTTOM' NOWRAP>"},    // fill
      {6, 2, 0, false, " ALIGN='CENTER' VALIGN='BOTTOM' NOWRAP>"},  // centre across selection
      {3, 7, 0, false, " ALIGN='RIGHT' NOWRAP>"},
  };
  int col = 1;
  for (const auto& c : cases) {
    model::CellStyle st;
    st.hAlign = c.h;
    st.vAlign = c.v;
    st.fillColor = c.fill;
    st.fillPattern = c.fill ? 1 : model::kFillNone;
    st.wrap = c.wrap;
    b.sheet->SetNumber(1, col++, 1, b.Style(st));
  }
  b.sheet->SetDate(2, 1, 40000);
  b.sheet->SetError(2, 2, ErrorCode::NA);
  clsHTML s;
  const std::string page = b.Page(s, false);
  for (const auto& c : cases) {
    EXPECT_NE(page.find(std::string("WIDTH='70'") + c.want + "<P STYLE"), std::string::npos)
        << c.want;
  }
  // Under general alignment dates take the row's right alignment; errors are centred.
  EXPECT_NE(page.find("WIDTH='70' VALIGN='BOTTOM' NOWRAP><P STYLE"), std::string::npos);
  EXPECT_NE(page.find("WIDTH='70' ALIGN='CENTER' VALIGN='BOTTOM' NOWRAP><P STYLE='font-family:"
                      "\"Arial\";font-size:80%;color:#000000'>#ERR</P>"),
            std::string::npos);
}

TEST(Page, ToolTips) {
  TestBook b;
  b.sheet->SetNumber(1, 1, 3);
  b.sheet->SetFormula(1, 1, "=IF(A2<>\"x\",1,2)");
  b.sheet->SetComment(1, 1, "Bob's <note>");
  b.sheet->SetNumber(1, 2, 4);
  b.sheet->SetFormula(1, 2, "=A1+1");
  clsHTML s;
  s.HideColLetters = kTrue;
  s.HideRowNumbers = kTrue;
  s.ShowFormulas = kTrue;
  s.ShowComments = kTrue;
  for (bool styled : {false, true}) {
    const std::string page = b.Page(s, styled);
    EXPECT_NE(page.find(" TITLE='Bob&#39;s &lt;note&gt;'><![if !IE]>&#10003;<![endif]>"
                        "<!--[if IE 7]>&#10003;<![endif]--><!--[if lt IE 7]>"
                        "<input type='checkbox' disabled='disabled' checked='checked' />"
                        "<![endif]-->"),
              std::string::npos)
        << page;
    EXPECT_EQ(page.find("IF(A2"), std::string::npos) << "a comment wins over the formula";
    EXPECT_NE(page.find(" TITLE='Formula: =A1+1' NOWRAP>"), std::string::npos);
  }
  s.ShowComments = kFalse;
  EXPECT_NE(b.Page(s, false).find(" TITLE='Formula: =IF(A2&lt;&gt;&quot;x&quot;,1,2)' NOWRAP>"),
            std::string::npos);
  s.ShowFormulas = kFalse;
  EXPECT_EQ(b.Page(s, false).find(" TITLE='"), std::string::npos);
}

TEST(Page, StyledClassNumbering) {
  TestBook b;
  model::Font bold;
  bold.bold = true;
  const uint32_t boldStyle = b.Style({}, &bold);
  b.sheet->SetString(1, 1, "a", boldStyle);
  b.sheet->SetString(1, 3, "b", boldStyle);
  b.sheet->SetNumber(2, 2, -5, b.NumFmt(6));
  clsHTML s;
  for (int pass = 0; pass < 2; ++pass) {
    const std::string page = b.Page(s, true);
    EXPECT_NE(page.find("WIDTH='70' CLASS=xl1 NOWRAP>a</TD><TD HEIGHT='17' WIDTH='70'></TD>"
                        "<TD HEIGHT='17' WIDTH='70' CLASS=xl2 NOWRAP>b</TD>"),
              std::string::npos);
    EXPECT_NE(page.find("CLASS=xl3 NOWRAP>"), std::string::npos);
    EXPECT_EQ(Count(page, "CLASS=xl"), 3u);
    EXPECT_EQ(page.find("<STRONG>a"), std::string::npos);
    EXPECT_EQ(page.find("<P STYLE"), std::string::npos);
    // Same format, identical bodies under two class names.
    const size_t r1 = page.find(".xl1\r\n"), r2 = page.find(".xl2\r\n"), r3 = page.find(".xl3\r\n");
    ASSERT_TRUE(r1 != std::string::npos && r2 != std::string::npos && r3 != std::string::npos);
    EXPECT_EQ(page.substr(r1 + 6, r2 - r1 - 6), page.substr(r2 + 6, r3 - r2 - 6));
    EXPECT_NE(page.find("\tfont-weight:700;"), std::string::npos);
    EXPECT_NE(page.find(".xl3\r\n\t{padding:0px;\r\n\tmso-ignore:padding;\r\n\tcolor:red;"),
              std::string::npos);
  }
}

TEST(Page, ColumnsPastIVCarryTheirLetters) {
  TestBook b;
  b.sheet->SetNumber(1, 300, 1);
  clsHTML s;
  const std::string page = b.Page(s, false);
  EXPECT_NE(page.find("<TD ALIGN='CENTER'>IV</TD><TD ALIGN='CENTER'>IW</TD>"), std::string::npos);
  EXPECT_NE(page.find("<TD ALIGN='CENTER'>KN</TD></TR>"), std::string::npos);
  EXPECT_EQ(page.find("ERR"), std::string::npos);
}

TEST(Page, CellTextCannotInjectMarkup) {
  TestBook b;
  b.sheet->SetString(1, 1, "<script>alert(1)</script>");
  b.sheet->SetString(1, 2, "<img src=x onerror=alert(2)>");
  b.sheet->SetString(1, 3, "http://x.org/'><script>alert(3)</script>");
  b.sheet->SetString(1, 4, "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC");
  clsHTML s;
  for (bool styled : {false, true}) {
    const std::string page = b.Page(s, styled);
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(page.find("<A HREF = 'http://x.org/&#39;&gt;&lt;script&gt;alert(3)&lt;/script&gt;'"),
              std::string::npos);
    EXPECT_NE(page.find("caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC"), std::string::npos);
  }
}

TEST(Page, EveryLineEndsWithCrLf) {
  TestBook b = SmallBook();
  clsHTML s;
  s.ColLetters = kTrue;
  for (bool styled : {false, true}) {
    const std::string page = b.Page(s, styled);
    for (size_t p = page.find('\n'); p != std::string::npos; p = page.find('\n', p + 1)) {
      ASSERT_TRUE(p > 0 && page[p - 1] == '\r') << p;
    }
    EXPECT_EQ(page.substr(page.size() - 9), "</HTML>\r\n");
  }
}

}  // namespace
}  // namespace gridwell::conv

namespace gridwell::conv {
namespace {

// Cells stored out of row-major order (as a file may list them) give the same page.
TEST(Page, StorageOrderDoesNotMatter) {
  TestBook sorted, shuffled;
  const struct {
    int32_t r, c;
    double v;
  } cells[] = {{1, 1, 1}, {1, 3, 2}, {2, 2, 3}, {4, 1, 4}, {4, 4, 5}};
  for (const auto& c : cells) sorted.sheet->SetNumber(c.r, c.c, c.v);
  for (int i = 4; i >= 0; --i) shuffled.sheet->SetNumber(cells[i].r, cells[i].c, cells[i].v);
  clsHTML s;
  s.HideRowNumbers = kTrue;
  s.HideColLetters = kTrue;
  s.Range = "B1:D4";  // stored cells outside the columns of the range are passed over
  for (bool styled : {false, true}) {
    const std::string page = sorted.Page(s, styled);
    EXPECT_EQ(page, shuffled.Page(s, styled));
    EXPECT_NE(page.find(">2<"), std::string::npos);
    EXPECT_NE(page.find(">3<"), std::string::npos);
    EXPECT_NE(page.find(">5<"), std::string::npos);
    EXPECT_EQ(page.find(">1<"), std::string::npos);
    EXPECT_EQ(page.find(">4<"), std::string::npos);
  }
}

}  // namespace
}  // namespace gridwell::conv

namespace gridwell::conv {
namespace {

// A page written in blocks by two threads is the page one thread writes: blocks reach the
// accumulator in page order and class numbers carry on across blocks.
TEST(Page, BlocksAndThreadsGiveTheSamePage) {
  TestBook b;
  model::Font bold;
  bold.bold = true;
  const uint32_t boldStyle = b.Style({}, &bold);
  const uint32_t red = b.NumFmt(6), date = b.NumFmt(14);
  for (int32_t r = 1; r <= 300; ++r) {
    if (r % 7 == 0) continue;  // rows without cells
    for (int32_t c = 1; c <= 9; ++c) {
      switch ((r + c) % 6) {
        case 0:
          b.sheet->SetString(r, c, "t<" + std::to_string(r * c) + ">", boldStyle);
          break;
        case 1:
          b.sheet->SetNumber(r, c, -r * 1.25, red);
          break;
        case 2:
          b.sheet->SetDate(r, c, 40000 + r, date);
          break;
        case 3:
          b.sheet->SetBlank(r, c, boldStyle);  // stored, but empty: no class number
          break;
        case 4:
          b.sheet->SetNumber(r, c, r + c);
          b.sheet->SetFormula(r, c, "=A1+" + std::to_string(c));
          break;
        default:
          break;
      }
    }
    if (r % 11 == 0) b.sheet->SetComment(r, 2, "note " + std::to_string(r));
  }
  b.book->Finish();

  const auto page = [&](const clsHTML& s, bool styled, const PageThreading& t) {
    clsConcat c;
    EXPECT_TRUE(AppendPage(c, s, b.Worksheet(), {}, styled, t));
    return c.GetString();
  };
  const PageThreading one{size_t{1} << 40, 1, 1};
  const PageThreading tiny{0, 1, 2};       // a block per row
  const PageThreading blocks{0, 4000, 2};  // several rows per block
  const PageThreading serial{0, 4000, 1};  // blocks, one thread
  clsHTML s;
  s.ShowFormulas = kTrue;
  s.ShowComments = kTrue;
  for (const char* range : {"", "B3:H290", "C1:C300", "A5:I5"}) {
    s.Range = range;
    s.RowNumbers = std::string_view(range).empty() ? kTrue : kFalse;
    for (const VbBool compact : {kFalse, kTrue}) {
      s.CompactStyles = compact;
      for (bool styled : {false, true}) {
        const std::string expected = page(s, styled, one);
        EXPECT_EQ(page(s, styled, tiny), expected) << range << " styled " << styled << compact;
        EXPECT_EQ(page(s, styled, blocks), expected) << range << " styled " << styled << compact;
        EXPECT_EQ(page(s, styled, serial), expected) << range << " styled " << styled << compact;
      }
    }
    s.CompactStyles = kFalse;
  }
  s.Range = "";
  const std::string styled = page(s, true, blocks);
  EXPECT_NE(styled.find("CLASS=xl1 "), std::string::npos);
  EXPECT_EQ(Count(styled, "CLASS=xl"), Count(styled, "\r\n\t{padding:0px;"));
}

}  // namespace
}  // namespace gridwell::conv

namespace gridwell::conv {
namespace {

// A styled page with every class attribute replaced by its rule's body and the style sheet
// taken out: what each table cell looks like, whatever its class is called. `bodies`
// receives the rule bodies in class order.
std::string ResolveClasses(const std::string& page, std::vector<std::string>* bodies) {
  std::map<std::string, std::string> rules;
  const size_t sheetFrom = page.find("<STYLE ID='XL_Styles'>");
  const size_t sheetTo = page.find("</STYLE>", sheetFrom);
  if (sheetFrom == std::string::npos || sheetTo == std::string::npos) return "no style sheet";
  for (size_t p = page.find("\r\n.xl", sheetFrom); p < sheetTo; p = page.find("\r\n.xl", p + 1)) {
    const size_t name = p + 3, line = page.find("\r\n", name), end = page.find("}\r\n", line);
    const std::string body = page.substr(line + 2, end + 3 - line - 2);
    rules[page.substr(name, line - name)] = body;
    if (bodies) bodies->push_back(body);
  }
  std::string out = page.substr(0, sheetFrom) + page.substr(sheetTo);
  for (size_t p = out.find(" CLASS="); p != std::string::npos; p = out.find(" CLASS=", p + 1)) {
    const size_t name = p + 7, end = out.find_first_of(" >", name);
    const auto rule = rules.find(out.substr(name, end - name));
    out.replace(name, end - name, rule == rules.end() ? "{missing}" : rule->second);
  }
  return out;
}

// The compact page shows every cell with the rule the styled page gives it, holds each
// distinct rule once, and numbers the classes in the order the table first uses them.
TEST(Page, CompactStylesShareOneClassPerLook) {
  TestBook mixed;
  model::Font bold;
  bold.bold = true;
  const uint32_t boldA = mixed.Style({}, &bold), boldB = mixed.Style({}, &bold);  // same look
  const uint32_t red = mixed.NumFmt(6);
  mixed.sheet->SetString(1, 1, "a", boldA);
  mixed.sheet->SetString(1, 3, "b", boldB);
  mixed.sheet->SetNumber(2, 1, 5, red);
  mixed.sheet->SetNumber(2, 2, -5, red);   // red: a look of its own
  mixed.sheet->SetNumber(2, 3, 7, boldA);  // a number in general alignment: right
  mixed.sheet->SetBool(3, 2, true, boldB);
  mixed.sheet->SetString(3, 3, "c", boldB);
  mixed.book->Finish();
  TestBook empty;
  empty.sheet->SetBlank(2, 2, 0);
  const struct {
    const char* name;
    TestBook book;
    size_t rules;
    const char* range;
  } cases[] = {{"mixed", mixed, 5, ""},
               {"mixed range", mixed, 4, "B2:C3"},
               {"showcase", testing::ShowcaseBook(), 0, ""},
               {"no value", empty, 0, ""}};
  for (const auto& c : cases) {
    clsHTML s;
    s.Range = c.range;
    s.ShowComments = kTrue;
    const std::string styled = c.book.Page(s, true);
    s.CompactStyles = kTrue;
    const std::string compact = c.book.Page(s, true);
    const std::string plainCompact = c.book.Page(s, false);
    s.CompactStyles = kFalse;
    EXPECT_EQ(plainCompact, c.book.Page(s, false)) << c.name << ": a plain page has no classes";
    std::vector<std::string> bodies, styledBodies;
    EXPECT_EQ(ResolveClasses(compact, &bodies), ResolveClasses(styled, &styledBodies)) << c.name;
    const std::set<std::string> distinct(styledBodies.begin(), styledBodies.end());
    EXPECT_EQ(bodies.size(), distinct.size()) << c.name;
    EXPECT_EQ(std::set<std::string>(bodies.begin(), bodies.end()), distinct) << c.name;
    if (c.rules) {
      EXPECT_EQ(bodies.size(), c.rules) << c.name;
    }
    // The first use of each class, in class order.
    std::vector<std::string> order;
    for (size_t p = compact.find(" CLASS=xl"); p != std::string::npos;
         p = compact.find(" CLASS=xl", p + 1)) {
      const std::string name = compact.substr(p + 9, compact.find_first_of(" >", p + 1) - p - 9);
      if (std::find(order.begin(), order.end(), name) == order.end()) order.push_back(name);
    }
    ASSERT_EQ(order.size(), bodies.size()) << c.name;
    for (size_t k = 0; k < order.size(); ++k) EXPECT_EQ(order[k], std::to_string(k + 1));
    EXPECT_EQ(compact.size() <= styled.size(), true) << c.name;
  }
}

}  // namespace
}  // namespace gridwell::conv
