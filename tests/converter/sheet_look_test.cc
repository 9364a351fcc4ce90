// The sheet-look page from in-memory workbooks: merged areas, hidden rows and columns, the
// looks of empty positions, gridlines and conditional looks, on every page kind, and the
// same page whatever the blocks and threads that write it.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "converter/page_writer.h"
#include "sheet_book.h"

namespace gridwell::conv {
namespace {

using gridwell::testing::SheetBook;
using gridwell::testing::TestBook;

enum class Kind { Plain, Styled, Compact };

std::string SheetPage(const TestBook& b, Kind kind, const PageThreading& t = {},
                      const std::string& range = "", int32_t fastFrom = 0) {
  clsHTML s;
  s.SheetLook = kTrue;
  s.FastPagesFrom = fastFrom;
  s.CompactStyles = kind == Kind::Compact ? kTrue : kFalse;
  s.Range = range;
  clsConcat c;
  EXPECT_TRUE(AppendPage(c, s, b.Worksheet(), {}, kind != Kind::Plain, t));
  return c.GetString();
}

// The data row of `row` (by its row number cell), or "" when the page has none.
std::string RowOf(const std::string& page, int32_t row) {
  const std::string start = "HEIGHT='17'>" + std::to_string(row) + "</TD>";
  const size_t at = page.find(start);
  if (at == std::string::npos) return {};
  return page.substr(at, page.find("</TR>", at) - at);
}

TEST(SheetLook, WhatEachPageKindWrites) {
  const TestBook b = SheetBook();
  struct Case {
    Kind kind;
    int32_t row;          // the data row looked at, 0 for the whole page
    std::string present;  // must be there
    std::string absent;   // must not be
  };
  const std::vector<Case> cases = {
      // The table drawn as a sheet, with gridlines and a note of rules left out; its fixed
      // widths: the row numbers' and the shown columns' (D is hidden), and no more.
      {Kind::Plain, 0,
       "BORDER='0' CELLSPACING='0' CELLPADDING='2' BGCOLOR='white' STYLE='width:378px'>"
       "<COLGROUP><COL WIDTH='28'><COL WIDTH='70'><COL WIDTH='70'><COL WIDTH='70'>"
       "<COL WIDTH='70'><COL WIDTH='70'></COLGROUP>",
       "BORDERCOLOR"},
      {Kind::Styled, 0, "TD {border-left:1px solid #D4D4D4;border-top:1px solid #D4D4D4;}", ""},
      {Kind::Compact, 0, "<!-- 2 conditional format rules need a formula", ""},
      // The merged title: one cell over three columns and two rows, nothing for the rest. The
      // row number says the row's height and the column group the widths.
      {Kind::Plain, 1, "<TD COLSPAN='3' ROWSPAN='2' HEIGHT='34' ALIGN", "WIDTH='210'"},
      {Kind::Styled, 2, "HEIGHT='17'>2</TD><TD></TD><TD CLASS=xe2></TD>", ""},
      // Hidden rows and columns are left out; column D's cells are not written.
      {Kind::Styled, 5, "", "<TD"},
      {Kind::Plain, 0, "<TD ALIGN='CENTER'>C</TD><TD ALIGN='CENTER'>E</TD>", ">D</TD>"},
      {Kind::Plain, 3, "", ">34<"},
      // Empty positions keep their fill and borders: attributes, a class, a shared class.
      {Kind::Plain, 3,
       "<TD STYLE='border-top:.5pt solid #FF0000;border-right:.5pt solid "
       "#FF0000;border-bottom:.5pt solid #FF0000;border-left:.5pt solid #FF0000;'></TD>",
       ""},
      {Kind::Styled, 3, "<TD CLASS=xe", ""},
      // Text that does not wrap stays on one line: the plain page says so per cell, the
      // classes of the others say it.
      {Kind::Plain, 3, "background:#FF0000;' NOWRAP>", ""},
      {Kind::Compact, 3, "", "NOWRAP"},
      {Kind::Compact, 13, "CLASS=xe", "BGCOLOR"},
      // Positions formatted through their row or column only.
      {Kind::Plain, 13, "<TD BGCOLOR='#FFFFCC'", ""},
      {Kind::Styled, 12, "CLASS=xe", ""},
      // Plain-page borders and font sizes in points.
      {Kind::Plain, 4, "font-size:10.0pt", "font-size:80%"},
      // Conditional looks: the fill and weight, a data bar.
      {Kind::Styled, 3, "STYLE='font-weight:700;background:#FF0000;'", ""},
      {Kind::Plain, 4,
       "background-image:linear-gradient(to right,#638EC6 0,#638EC6 42.5%,transparent 42.5%);", ""},
      // Below an own border (here across a hidden row) the gridline gives way to it.
      {Kind::Plain, 6, "border-bottom:.5pt dashed #000000;border-top:none;", ""},
  };
  for (const Case& c : cases) {
    const std::string page = SheetPage(b, c.kind);
    const std::string text = c.row ? RowOf(page, c.row) : page;
    const std::string where =
        "kind " + std::to_string(int(c.kind)) + " row " + std::to_string(c.row) + ": " + text;
    if (c.row != 5 && c.kind != Kind::Compact) {
      EXPECT_FALSE(text.empty()) << where;
    }
    if (!c.present.empty()) {
      EXPECT_NE(text.find(c.present), std::string::npos) << where;
    }
    if (!c.absent.empty()) {
      EXPECT_EQ(text.find(c.absent), std::string::npos) << where;
    }
  }
  EXPECT_EQ(RowOf(SheetPage(b, Kind::Plain), 5), "");
  // A host that asks for fast pages gets the compact sheet look whichever kind it opens.
  for (Kind kind : {Kind::Plain, Kind::Styled}) {
    EXPECT_EQ(SheetPage(b, kind, {}, "", 1), SheetPage(b, Kind::Compact));
  }
  // Without gridlines on the sheet the page draws none.
  TestBook bare = SheetBook();
  bare.sheet->Layout().showGridlines = false;
  EXPECT_EQ(SheetPage(bare, Kind::Styled).find("#D4D4D4"), std::string::npos);
}

// Every class a cell uses has its rule, and the styled page keeps its numbering over the
// cells it leaves out.
TEST(SheetLook, ClassesHaveRules) {
  const TestBook b = SheetBook();
  for (Kind kind : {Kind::Styled, Kind::Compact}) {
    const std::string page = SheetPage(b, kind);
    const std::regex used("CLASS=(x[le][0-9]+)");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), used);
         it != std::sregex_iterator(); ++it) {
      EXPECT_NE(page.find("." + (*it)[1].str() + "\r\n"), std::string::npos) << (*it)[1];
    }
  }
  // Row 12's cells come after the hidden row's and the merged areas' cells: their classes
  // still show their own values' looks (numbers right-aligned, not the title's left).
  const std::string styled = SheetPage(b, Kind::Styled);
  const std::string row = RowOf(styled, 12);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(row, m, std::regex("CLASS=(xl[0-9]+)")));
  const size_t rule = styled.find("." + m[1].str() + "\r\n");
  ASSERT_NE(rule, std::string::npos);
  EXPECT_NE(styled.substr(rule, styled.find('}', rule) - rule).find("text-align:right"),
            std::string::npos);
}

TEST(SheetLook, BlocksAndThreadsGiveTheSamePage) {
  const TestBook b = SheetBook();
  const PageThreading one{size_t{1} << 40, 1, 1};
  for (Kind kind : {Kind::Plain, Kind::Styled, Kind::Compact}) {
    for (const char* range : {"", "B2:F11", "A4:F13"}) {
      const std::string expected = SheetPage(b, kind, one, range);
      for (const PageThreading& t :
           {PageThreading{0, 1, 2}, PageThreading{0, 700, 2}, PageThreading{0, 700, 1}}) {
        EXPECT_EQ(SheetPage(b, kind, t, range), expected)
            << int(kind) << " " << range << " " << t.blockBytes;
      }
    }
  }
}

}  // namespace
}  // namespace gridwell::conv
