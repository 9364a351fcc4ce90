// Whole pages compared with committed expected pages. GRIDWELL_UPDATE_GOLDEN=1 rewrites the
// expected pages (review the difference before committing it).
//
// An expected page is a snapshot of our own output: it catches a change, not a fault. So the
// facts a person checked by hand in each one (what each cell shows, its classes and their
// rules, escaping, widths, merged areas) are asserted on the committed files too, and a page
// regenerated with a fault in it fails them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string_view>
#include <vector>

#include "showcase_book.h"
#include "tests/support/corpus.h"
#include "tests/support/files.h"

namespace gridwell {
namespace {

namespace fs = std::filesystem;

const fs::path kGoldenDir = fs::path(GRIDWELL_SOURCE_DIR) / "tests/converter/golden";

using test::ReadFile;

// Compares `page` with the golden page `name`, or rewrites it in update mode.
void CheckGolden(const std::string& name, const std::string& page) {
  const fs::path golden = kGoldenDir / name;
  if (std::getenv("GRIDWELL_UPDATE_GOLDEN")) {
    std::ofstream(golden, std::ios::binary) << page;
    return;
  }
  ASSERT_TRUE(fs::exists(golden)) << golden << " is missing; run with GRIDWELL_UPDATE_GOLDEN=1";
  const std::string want = ReadFile(golden);
  if (page == want) return;
  size_t i = 0;
  while (i < page.size() && i < want.size() && page[i] == want[i]) ++i;
  const size_t from = i > 80 ? i - 80 : 0;
  ADD_FAILURE() << name << " differs at byte " << i << "\n  want: " << want.substr(from, 160)
                << "\n  got:  " << page.substr(from, 160);
}

// By hand, in the plain and styled pages as Chromium shows them and in their text: every
// value as the spreadsheet shows it under its format (1,234.50 for #,##0.00; 12.50% for
// 0.00%; 3/14/2009 18:00 for serial 39886.75 under the built-in date and time format; ($5) in red
// for the [Red] section; #ERR for #DIV/0!), the header row's white bold text on dark blue with its
// borders, the link and mail addresses as links, the markup-like texts and the comment shown as
// text, not markup, the non-ASCII text intact, widths 110 and 85 pixels from 14 and 10.5
// characters, row 4 32 pixels high from 480 twips; and in the compact page, one class for
// cells that look alike.
TEST(Golden, ShowcaseWorkbook) {
  const testing::TestBook b = testing::ShowcaseBook();
  clsHTML s;
  CheckGolden("showcase.plain.htm", b.Page(s, false, {"Showcase", "Sales", "", "", "", ""}));
  s.ShowComments = kTrue;
  s.ShowFormulas = kTrue;
  s.ColLetters = kTrue;
  s.RowNumbers = kTrue;
  s.NewWindow = kTrue;
  CheckGolden("showcase.styled.htm",
              b.Page(s, true, {"Showcase", "Sales", "#FFFFE0", "", "", "paper.png"}));
  s.CompactStyles = kTrue;
  CheckGolden("showcase.compact.htm",
              b.Page(s, true, {"Showcase", "Sales", "#FFFFE0", "", "", "paper.png"}));
}

// Workbook files written by real programs, through the file path of the converter. By hand:
// each page's cells against `gridwell cells` of the same workbook (every stored cell of the
// first sheet present, with the reader's text and formula), and against the workbook's own
// parts for what the listing does not show: the link font's colour and underline, column
// widths, and the merged areas A1:B1, A2:A4 and B2:D4 with their alignments.
TEST(Golden, WorkbookFiles) {
  GRIDWELL_REQUIRE_CORPUS();
  const char* books[] = {"calamine/date.xls", "calamine/hyperlinks.xlsx", "calamine/issues.xlsx",
                         "calamine/merge_cells.xls", "xlsxwriter/comment04.xlsx"};
  const test::TempFolder folder;
  ASSERT_FALSE(folder.Dir().empty());
  const fs::path dir = folder.Dir();
  for (const char* book : books) {
    const std::string stem = fs::path(book).filename().string();
    for (bool styled : {false, true}) {
      clsHTML h;
      h.ExcelFile = test::CorpusPath(book);
      h.Worksheetnum = 1;
      h.ShowComments = styled ? kTrue : kFalse;
      h.ShowFormulas = kTrue;
      const fs::path out = dir / "page.htm";
      if (styled) {
        h.CreateStyledHtmlFile(out.string(), stem, stem, "", "", "", "");
      } else {
        h.CreateHtmlFile(out.string(), stem, stem, "", "", "", "");
      }
      ASSERT_EQ(h.LastStop(), ConvertStop::None) << book << ": " << h.LastStopDetail();
      CheckGolden(stem + (styled ? ".styled.htm" : ".plain.htm"), ReadFile(out));
    }
  }
}

// One data cell of a page: its markup from "<TD" to "</TD>", the text it shows (tags and
// comments left out, character references as written), and its class ("" for none).
struct PageCell {
  std::string markup, text, cls;
};

// The text between a cell's tags as a browser shows it: comments (the check mark's forms for
// old browsers) and tags left out.
std::string ShownText(std::string_view content) {
  std::string out;
  for (size_t i = 0; i < content.size();) {
    if (content.substr(i, 4) == "<!--") {
      const size_t end = content.find("-->", i);
      i = end == std::string_view::npos ? content.size() : end + 3;
    } else if (content[i] == '<') {
      const size_t end = content.find('>', i);
      i = end == std::string_view::npos ? content.size() : end + 1;
    } else {
      out += content[i++];
    }
  }
  return out;
}

// The data cells of a page by reference ("B3"): the column letter row names the columns, the
// number cell that starts each row its row. Each row of the table is one line of the page.
std::map<std::string, PageCell> ReadCells(const std::string& page) {
  std::map<std::string, PageCell> cells;
  std::vector<std::string> letters;
  std::istringstream in(page);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("<TR", 0) != 0) continue;
    const bool letterRow = line.rfind("<TR ALIGN='RIGHT' NOWRAP>", 0) == 0;
    std::string row;
    size_t col = 0;
    for (size_t at = line.find("<TD"); at != std::string::npos; at = line.find("<TD", at)) {
      const size_t end = line.find("</TD>", at) + 5;
      const std::string td = line.substr(at, end - at);
      at = end;
      const size_t open = td.find('>') + 1;
      const std::string text = ShownText(std::string_view(td).substr(open, td.size() - 5 - open));
      if (letterRow) {
        if (!text.empty() && cells.empty()) letters.push_back(text);
      } else if (td.rfind("<TD ALIGN='CENTER' HEIGHT=", 0) == 0) {
        if (row.empty()) row = text;
      } else if (col < letters.size()) {
        const size_t c = td.find("CLASS=");
        const std::string cls =
            c == std::string::npos ? "" : td.substr(c + 6, td.find_first_of(" >", c) - c - 6);
        cells[letters[col++] + row] = {td, text, cls};
      }
    }
  }
  return cells;
}

// The rule of class `cls` in a styled page's style sheet, from its brace to the closing one.
std::string RuleOf(const std::string& page, const std::string& cls) {
  const size_t at = page.find("\r\n." + cls + "\r\n");
  if (at == std::string::npos) return {};
  const size_t open = page.find('{', at), close = page.find('}', at);
  return page.substr(open, close + 1 - open);
}

// What a person checked in one cell of a committed page.
struct CellFact {
  const char* page;
  const char* cell;
  const char* text;                         // what the cell shows
  std::vector<std::string_view> markup;     // in the cell's markup
  std::vector<std::string_view> rule = {};  // in the rule of its class (styled pages)
};

const CellFact kCellFacts[] = {
    // The plain page carries each cell's look in its attributes and font wrapper.
    {"showcase.plain.htm",
     "A1",
     "Item",
     {"WIDTH='110'", "ALIGN='CENTER'", "VALIGN='MIDDLE'", "BGCOLOR='#003F7F'", "color:#FFFFFF",
      "<STRONG>Item</STRONG>"}},
    {"showcase.plain.htm", "B2", "1,234.50", {"WIDTH='85'", "ALIGN='RIGHT'"}},
    {"showcase.plain.htm", "C2", "12.50%", {}},
    {"showcase.plain.htm", "D2", "3/14/2009 18:00", {}},
    {"showcase.plain.htm", "E2", "TRUE", {"ALIGN='CENTER'"}},
    {"showcase.plain.htm", "F2", "#ERR", {"ALIGN='CENTER'"}},
    {"showcase.plain.htm", "B3", "($5)", {"color:red"}},
    {"showcase.plain.htm",
     "A4",
     "http://www.example.com/a?b=1&amp;c=2",
     {"HEIGHT='32'", "HREF = 'http://www.example.com/a?b=1&amp;c=2' TARGET='_parent'"}},
    {"showcase.plain.htm",
     "B4",
     "someone@example.com",
     {"font-family:\"Arial\";font-size:80%", "HREF = 'mailto:someone@example.com'"}},
    {"showcase.plain.htm", "C5", "Italic", {"<I><U>Italic</U></I>"}},
    {"showcase.plain.htm", "C4", "&lt;script&gt;alert(1)&lt;/script&gt;", {}},
    {"showcase.plain.htm",
     "D4",
     "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0",
     {}},
    {"showcase.plain.htm", "E4", "It&#39;s &quot;quoted&quot; &amp; &lt;b&gt;bold&lt;/b&gt;", {}},
    {"showcase.plain.htm", "A5", "struck", {"<S>", "<SUP>struck</SUP>"}},
    {"showcase.plain.htm", "B5", "H2O", {"font-family:\"Courier New\"", "<SUB>H2O</SUB>"}},
    // A wrapping cell has no NOWRAP: its opening tag ends right after the alignment.
    {"showcase.plain.htm", "D5", "A long text that wraps", {"VALIGN='TOP'>"}},
    // The styled page: one class a cell, its look in the class's rule.
    {"showcase.styled.htm",
     "A1",
     "Item",
     {"CLASS=xl1 "},
     {"color:#FFFFFF;", "font-weight:700;", "text-align:center;", "vertical-align:middle;",
      "border-top:.5pt solid #808080;", "border-bottom:1.0pt solid #000000;",
      "background:#003F7F;"}},
    {"showcase.styled.htm", "B3", "($5)", {"CLASS=xl14 "}, {"color:red;"}},
    {"showcase.styled.htm",
     "F3",
     "&#10003;6.50",
     {"TITLE='Tom&#39;s note: &lt;b&gt;check&lt;/b&gt; &amp; &quot;verify&quot;'"},
     {"text-align:right;"}},
    {"showcase.styled.htm", "A4", "http://www.example.com/a?b=1&amp;c=2", {"TARGET='_new'"}},
    {"showcase.styled.htm", "C3", "-1000", {"WIDTH='85'"}},
    {"showcase.styled.htm", "C4", "&lt;script&gt;alert(1)&lt;/script&gt;", {}},
    {"showcase.styled.htm",
     "C5",
     "Italic",
     {},
     {"color:#0000FF;", "font-size:14.0pt;", "font-style:italic;", "text-underline-style:double;"}},
    {"showcase.styled.htm",
     "D5",
     "A long text that wraps",
     {"CLASS=xl27>"},
     {"vertical-align:top;", "white-space:normal;", "padding-left:24px;"}},
    // The compact page: the header cells look alike and share the first class.
    {"showcase.compact.htm", "A1", "Item", {"CLASS=xl1 "}, {"font-weight:700;"}},
    {"showcase.compact.htm", "F1", "Check", {"CLASS=xl1 "}},
    {"showcase.compact.htm", "B3", "($5)", {"CLASS=xl5 "}, {"color:red;"}},
    // Real workbooks: the reader's text of each cell, as `gridwell cells` lists it.
    {"date.xls.plain.htm", "A1", "2021-01-01", {"WIDTH='92'"}},
    {"date.xls.plain.htm", "A3", "255:10:10", {"HEIGHT='20'"}},
    {"date.xls.plain.htm", "B1", "15", {"WIDTH='93'", "ALIGN='RIGHT'"}},
    {"date.xls.styled.htm", "A2", "2021-01-02", {"CLASS=xl3 "}, {"font-family:\"Arial\";"}},
    {"hyperlinks.xlsx.plain.htm", "A1", "calamine repo", {"color:#0563C1"}},
    {"hyperlinks.xlsx.styled.htm",
     "A1",
     "calamine repo",
     {},
     {"color:#0563C1;", "text-underline-style:single;"}},
    {"hyperlinks.xlsx.plain.htm", "A8", "sales data range", {}},
    {"issues.xlsx.plain.htm", "A2", "1.5", {"WIDTH='86'"}},
    {"issues.xlsx.plain.htm",
     "A3",
     "ab",
     {"TITLE='Formula: =CONCATENATE(&quot;a&quot;,&quot;b&quot;)'"}},
    {"issues.xlsx.styled.htm", "A4", "FALSE", {"TITLE='Formula: =A1&gt;A2'"}},
    {"issues.xlsx.plain.htm", "A6", "10/20/2016", {}},
    // A merged area shows its text in its first cell; the cells it covers stay empty.
    {"merge_cells.xls.plain.htm", "A1", "Row Merge", {"ALIGN='CENTER'"}},
    {"merge_cells.xls.plain.htm", "B1", "", {"<TD HEIGHT='20' WIDTH='70'></TD>"}},
    {"merge_cells.xls.styled.htm", "B2", "Chunk Merged", {}, {"vertical-align:middle;"}},
    {"merge_cells.xls.styled.htm", "B3", "", {}},
    {"comment04.xlsx.styled.htm", "A1", "Foo", {"CLASS=xl1 "}, {"font-family:\"Calibri\";"}},
};

TEST(Golden, FactsCheckedByHand) {
  std::map<std::string, std::map<std::string, PageCell>> read;
  std::map<std::string, std::string> pages;
  for (const CellFact& f : kCellFacts) {
    if (!pages.count(f.page)) {
      pages[f.page] = ReadFile(kGoldenDir / f.page);
      read[f.page] = ReadCells(pages[f.page]);
    }
    const auto it = read[f.page].find(f.cell);
    ASSERT_NE(it, read[f.page].end()) << f.page << " " << f.cell;
    const PageCell& c = it->second;
    EXPECT_EQ(c.text, f.text) << f.page << " " << f.cell;
    for (std::string_view m : f.markup) {
      EXPECT_NE(c.markup.find(m), std::string::npos) << f.page << " " << f.cell << ": " << m;
    }
    const std::string rule = RuleOf(pages[f.page], c.cls);
    for (std::string_view r : f.rule) {
      EXPECT_NE(rule.find(r), std::string::npos) << f.page << " " << f.cell << ": " << r;
    }
  }
  // Across whole pages: no workbook text reaches a page as markup, the host's decoration is
  // written as given, and a merged area is no spanning cell.
  for (const auto& [name, page] : pages) {
    EXPECT_EQ(page.find("<script>"), std::string::npos) << name;
    EXPECT_EQ(page.find("<b>"), std::string::npos) << name;
    EXPECT_EQ(page.find("SPAN="), std::string::npos) << name;
  }
  EXPECT_NE(pages["showcase.styled.htm"].find("<BODY BGCOLOR='#FFFFE0'>"), std::string::npos);
  EXPECT_NE(pages["showcase.styled.htm"].find("BACKGROUND='paper.png'"), std::string::npos);
}

}  // namespace
}  // namespace gridwell
