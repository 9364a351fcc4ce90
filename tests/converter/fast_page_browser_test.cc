// The fast page of a big sheet (rows in blocks the browser lays out only when they come into
// view, the later ones kept as text until then) looks exactly like the same page written as
// one table: headless Chromium computes the style, text and position of every cell of both
// and finds no difference. A search reveals the block that holds the term, and a printout
// holds every row, so nothing is lost to the blocks. The sheet-look page, always in blocks,
// is held to the same on each of its page kinds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "chromium.h"
#include "test_book.h"

namespace gridwell {
namespace {

namespace fs = std::filesystem;

// Compares the cells of a blocked page's frame with those of the same page as one table, once
// every block is laid out (out of view they keep only an estimate of their height): text,
// spans, position, size and computed style of each. Adds "cells=<a>/<b>" and up to five
// "diff ..." lines to `out`.
constexpr const char* kCompareScript = R"JS(
function compareCells(blocked, whole, out) {
  var props = ['fontFamily', 'fontSize', 'fontWeight', 'color', 'backgroundColor', 'textAlign',
               'verticalAlign', 'whiteSpace', 'overflow', 'paddingTop', 'borderTopStyle',
               'borderTopColor', 'borderBottomStyle', 'borderLeftStyle', 'borderLeftWidth',
               'borderRightStyle'];
  function cells(frame) {
    var d = frame.contentDocument, origin = d.getElementById('XL').getBoundingClientRect();
    return Array.prototype.map.call(d.querySelectorAll('td'), function (td) {
      var cs = frame.contentWindow.getComputedStyle(td), r = td.getBoundingClientRect();
      return [td.textContent, td.rowSpan, td.colSpan, Math.round(r.left - origin.left),
              Math.round(r.top - origin.top), Math.round(r.width), Math.round(r.height)].concat(
                  props.map(function (p) { return cs[p]; })).join('|');
    });
  }
  blocked.contentWindow.gridwellShowAll();
  var a = cells(blocked), b = cells(whole), diffs = 0;
  out.push('cells=' + a.length + '/' + b.length);
  for (var k = 0; k < a.length && k < b.length && diffs < 5; k++) {
    if (a[k] !== b[k]) { diffs++; out.push('diff cell ' + k + ': ' + a[k] + ' || ' + b[k]); }
  }
}
)JS";

// Finds terms in the blocked page with its own find, one line a step: the result and the row
// and text of the current match ("find=2 row 1 first"), then compares the cells of the two
// frames.
constexpr const char* kHarnessScript = R"JS(
window.addEventListener('load', function () {
  var frames = document.querySelectorAll('iframe'), fast = frames[0].contentWindow, out = [];
  function step(name, result) {
    var h = fast.CSS.highlights.get('gw-match'), r = h && h.values().next().value;
    out.push(name + '=' + result + (r ? ' row ' + r.startContainer.parentElement.closest('tr')
        .firstElementChild.textContent + ' ' + r.toString() : ''));
  }
  ['row TEXT', 'fish & CHIPS'].forEach(function (term) {
    step('find', fast.gridwellFind(term));
    step('next', fast.gridwellFindNext(false));
    step('next', fast.gridwellFindNext(false));
    step('back', fast.gridwellFindNext(true));
  });
  step('none', fast.gridwellFind('no such text'));
  compareCells(frames[0], frames[1], out);
  writeProbe(out);
});
)JS";

// 1,300 rows in several looks: bold, filled, bordered and wrapping cells, texts longer than
// their column, taller rows here and there.
testing::TestBook BigBook() {
  testing::TestBook b;
  model::Font bold;
  bold.bold = true;
  model::CellStyle filled;
  filled.fillPattern = 1;
  filled.fillColor = 0xDDEBF7;
  filled.borderStyle[model::kBottom] = 2;
  model::CellStyle wrapped;
  wrapped.wrap = true;
  const uint32_t looks[] = {0, b.Style({}, &bold), b.Style(filled), b.Style(wrapped)};
  for (int32_t r = 1; r <= 1300; ++r) {
    for (int32_t c = 1; c <= 6; ++c) {
      const uint32_t st = looks[(r + c) % 4];
      if (c == 3) {
        b.sheet->SetString(r, c, "a text much longer than its column " + std::to_string(r), st);
      } else if ((r * c) % 7 != 0) {
        b.sheet->SetNumber(r, c, r * 100 + c, st);
      }
    }
    if (r % 97 == 0) b.sheet->SetRowHeight(r, 600);
  }
  b.sheet->SetString(1, 2, "first row text");
  b.sheet->SetString(1300, 2, "last row text");
  b.sheet->SetString(3, 5, "Fish & chips");
  b.sheet->SetString(1250, 5, "<b>fish &amp; chips</b>: fish & chips");
  b.sheet->SetColumnWidth(2, 2, 20);
  b.book->Finish();
  return b;
}

// The page as one table: the seams between blocks taken out.
std::string WholePage(const std::string& page) {
  const std::regex seam(
      "(</TBODY></TABLE>|</SCRIPT>)</DIV>\r\n<DIV CLASS='gw-rows[^\n]*\n(<TBODY>\r\n)?");
  std::string whole = std::regex_replace(page, seam, "");
  const size_t end = whole.rfind("</SCRIPT></DIV>");
  if (end != std::string::npos) whole.replace(end, 9, "</TBODY></TABLE>");
  return whole;
}

class FastPage : public ::testing::Test {
 protected:
  void SetUp() override {
    chromium_ = testing::FindChromium();
    if (chromium_.empty()) GTEST_SKIP() << "chromium is not installed";
    ASSERT_FALSE(dir_.Path().empty());
    clsHTML s;
    s.FastPagesFrom = 1;
    s.ColLetters = kTrue;
    page_ = BigBook().Page(s, false);
  }
  std::string chromium_;
  const testing::ScratchDir dir_{"gridwell-fast"};
  std::string page_;
};

TEST_F(FastPage, LooksLikeOneTableAndKeepsEveryRowFindableAndPrinted) {
  ASSERT_NE(page_.rfind("</SCRIPT></DIV>"), std::string::npos)
      << "the last rows are not kept as text";
  const std::string whole = WholePage(page_);
  ASSERT_GE(page_.size() - whole.size(), 6 * 200u) << "the page is not in blocks";
  const auto lines =
      testing::ProbeFrames(chromium_, dir_.Path(), {{"fast.htm", page_}, {"whole.htm", whole}},
                           std::string(kCompareScript) + kHarnessScript, 900, 600, 120);
  ASSERT_TRUE(lines.has_value()) << "the browser reported nothing";
  ASSERT_GE(lines->size(), 3u);
  // Each term once in the rows shown from the start and once in rows still kept as text,
  // where markup-like text and entities must count as the cell shows them (the probe writes
  // its lines as HTML, hence "&amp;").
  const std::vector<std::string> expected = {
      "find=2 row 1 row text",
      "next=2 row 1300 row text",
      "next=1 row 1 row text",
      "back=2 row 1300 row text",
      "find=2 row 3 Fish &amp; chips",
      "next=2 row 1250 fish &amp; chips",
      "next=1 row 3 Fish &amp; chips",
      "back=2 row 1250 fish &amp; chips",
      "none=0",
      "cells=" + std::to_string(1302 * 7) + "/" + std::to_string(1302 * 7)};
  EXPECT_EQ(*lines, expected);

  // Printed, every block is laid out: the first and the last row are in the PDF.
  const fs::path pdf = dir_.Path() / "fast.pdf";
  const std::string print = "timeout 120 '" + chromium_ +
                            "' --headless --no-sandbox --disable-gpu --no-first-run"
                            " --disable-background-networking --user-data-dir='" +
                            (dir_.Path() / "profile").string() + "' --print-to-pdf='" +
                            pdf.string() + "' 'file://" + (dir_.Path() / "fast.htm").string() +
                            "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(print.c_str()), 0);
  std::string text;
  if (FILE* p = popen(("pdftotext '" + pdf.string() + "' -").c_str(), "r")) {
    char buf[65536];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
    pclose(p);
  }
  EXPECT_NE(text.find("first row text"), std::string::npos);
  EXPECT_NE(text.find("last row text"), std::string::npos);
}

// Pairs of frames, each the blocked sheet-look page and the same page as one table: per pair,
// "blocks=<n>", "cells=<a>/<b>" and up to five "diff ..." lines.
constexpr const char* kSheetHarnessScript = R"JS(
window.addEventListener('load', function () {
  var frames = document.querySelectorAll('iframe'), out = [];
  for (var f = 0; f + 1 < frames.length; f += 2) {
    out.push('blocks=' + frames[f].contentDocument.querySelectorAll('div.gw-rows').length);
    compareCells(frames[f], frames[f + 1], out);
  }
  writeProbe(out);
});
)JS";

// 1,300 rows with merged areas across the 200-row marks (one whose first row is hidden),
// hidden rows and a hidden column, own borders on the rows where blocks meet (a bottom
// border, a box), texts longer than their column that wrap or are cut, taller rows.
testing::TestBook BigSheetLookBook() {
  testing::TestBook b;
  model::CellStyle under, boxed, wrapped, filled;
  under.borderStyle[model::kBottom] = 1;
  under.borderColor[model::kBottom] = 0x0000FF;
  for (int side = 0; side < 4; ++side) boxed.borderStyle[side] = 1;
  wrapped.wrap = true;
  filled.fillPattern = 1;
  filled.fillColor = 0xDDEBF7;
  model::Font bold;
  bold.bold = true;
  const uint32_t looks[] = {b.Style(under),        0, b.Style(wrapped), 0, b.Style(boxed),
                            b.Style(filled, &bold)};
  for (int32_t r = 1; r <= 1300; ++r) {
    for (int32_t c = 1; c <= 6; ++c) {
      const uint32_t st = looks[c - 1];
      if (c == 2 || (c == 3 && r % 5 == 0)) {
        b.sheet->SetString(r, c, "a text much longer than its column " + std::to_string(r), st);
      } else if ((r * c) % 7 != 0 || st != 0) {
        b.sheet->SetNumber(r, c, r * 10 + c, st);
      }
    }
    if (r % 97 == 0) b.sheet->SetRowHeight(r, 600);
  }
  b.sheet->SetColumnWidth(2, 2, 14);
  model::SheetLayout& layout = b.sheet->Layout();
  for (const model::CellArea& a :
       {model::CellArea{195, 2, 210, 3}, model::CellArea{398, 1, 404, 2},
        model::CellArea{590, 5, 615, 6}, model::CellArea{800, 3, 800, 6}}) {
    layout.AddMerge(a);
  }
  layout.HideRows(150, 160);
  layout.HideRows(398, 399);
  layout.HideRows(1000, 1010);
  layout.HideColumns(4, 4);
  b.book->Finish();
  return b;
}

TEST(SheetLookFastPage, EveryPageKindLooksLikeOneTable) {
  const std::string chromium = testing::FindChromium();
  if (chromium.empty()) GTEST_SKIP() << "chromium is not installed";
  const testing::ScratchDir dir("gridwell-sheet-fast");
  ASSERT_FALSE(dir.Path().empty());
  const testing::TestBook book = BigSheetLookBook();
  const struct {
    bool styled, compact, hideRowNumbers;
  } kinds[] = {
      {false, false, false}, {true, false, false}, {true, true, false}, {false, false, true}};
  std::vector<std::pair<std::string, std::string>> pages;
  for (size_t n = 0; n < std::size(kinds); ++n) {
    clsHTML s;
    s.SheetLook = kTrue;
    s.CompactStyles = kinds[n].compact ? kTrue : kFalse;
    s.HideRowNumbers = kinds[n].hideRowNumbers ? kTrue : kFalse;
    const std::string page = book.Page(s, kinds[n].styled);
    // Two threads that start their rows inside blocks write the same page.
    clsConcat threaded;
    ASSERT_TRUE(conv::AppendPage(threaded, s, book.Worksheet(), {}, kinds[n].styled, {0, 4096, 2}));
    EXPECT_EQ(threaded.GetString(), page) << n;
    pages.emplace_back(std::to_string(n) + "b.htm", page);
    pages.emplace_back(std::to_string(n) + "w.htm", WholePage(page));
  }
  const auto lines =
      testing::ProbeFrames(chromium, dir.Path(), pages,
                           std::string(kCompareScript) + kSheetHarnessScript, 900, 600, 240);
  ASSERT_TRUE(lines.has_value()) << "the browser reported nothing";
  std::vector<std::string> expected;
  for (const auto& kind : kinds) {
    // Every shown position but those merged cells cover: 1,276 shown rows of five shown
    // columns, less 31 + 9 + 51 + 2 covered, and the row numbers and letters.
    const int cells = 1276 * 5 - 93 + (kind.hideRowNumbers ? 5 : 1 + 5 + 1276);
    expected.push_back("blocks=7");
    expected.push_back("cells=" + std::to_string(cells) + "/" + std::to_string(cells));
  }
  EXPECT_EQ(*lines, expected);
}

}  // namespace
}  // namespace gridwell
