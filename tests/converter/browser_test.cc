// Pages loaded by a real browser (headless Chromium): the table's shape, non-ASCII text,
// the style sheet's classes, and that workbook texts shaped like markup stay text.
//
// Each page gets a copy with a probe script appended; the probe writes what the browser
// made of the page into a <pre> element, which --dump-dom prints.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "chromium.h"
#include "reader/model/fill_pattern.h"
#include "showcase_book.h"
#include "tests/support/files.h"

namespace gridwell {
namespace {

namespace fs = std::filesystem;

constexpr const char* kProbe = R"JS(
(function () {
  var t = document.querySelector('table'), out = [];
  out.push('rows=' + t.rows.length);
  for (var r = 0; r < t.rows.length; r++) {
    var row = t.rows[r];
    out.push('cells ' + r + '=' + row.cells.length);
    for (var c = 0; c < row.cells.length; c++) {
      var td = row.cells[c], cs = getComputedStyle(td);
      out.push('cell ' + r + ' ' + c + '=' + [td.textContent, td.getAttribute('title') || '',
          cs.fontWeight, cs.color, cs.backgroundColor].map(function (x) {
            return '_' + encodeURIComponent(x);  // never an empty field
          }).join(' '));
    }
  }
  out.push('scripts=' + document.scripts.length);
  out.push('pwned=' + (window.pwned || 0));
  var n = 0;
  document.querySelectorAll('*').forEach(function (e) {
    for (var i = 0; i < e.attributes.length; i++) if (/^on/i.test(e.attributes[i].name)) n++;
  });
  out.push('onattrs=' + n);
  var fixed = 0, images = 0;
  document.querySelectorAll('*').forEach(function (e) {
    var cs = getComputedStyle(e);
    if (cs.position === 'fixed') fixed++;
    if (cs.backgroundImage !== 'none') images++;
  });
  out.push('fixed=' + fixed);
  out.push('bgimages=' + images);
  out.push('charset=' + document.characterSet);
  writeProbe(out);
})();
</script>
)JS";

struct Cell {
  std::string text, title, weight, color, background;
};

struct Probe {
  bool ok = false;
  std::map<std::string, std::string> values;
  std::map<std::pair<int, int>, Cell> cells;
  const Cell& At(int r, int c) { return cells[{r, c}]; }
  int Number(const std::string& key) { return values.count(key) ? std::stoi(values[key]) : -1; }
};

class Browser : public test::TempFolderTest {
 protected:
  void SetUp() override {
    chromium_ = testing::FindChromium();
    if (chromium_.empty()) GTEST_SKIP() << "chromium is not installed";
    test::TempFolderTest::SetUp();
  }

  // Loads `page` (with the probe appended) and returns what the probe saw.
  Probe Load(const std::string& name, const std::string& page, const char* probeScript = kProbe) {
    const fs::path file = dir_ / name;
    std::ofstream(file, std::ios::binary)
        << page << "<script>" << testing::kWriteProbe << probeScript;
    const std::string dom = testing::DumpDom(chromium_, file, dir_ / "profile");
    Probe probe;
    const std::optional<std::vector<std::string>> lines = testing::ProbeLines(dom);
    if (!lines) return probe;
    for (const std::string& line : *lines) {
      const size_t eq = line.find('=');
      if (eq == std::string::npos) continue;
      const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
      int r = 0, c = 0;
      if (std::sscanf(key.c_str(), "cell %d %d", &r, &c) == 2) {
        std::stringstream parts(value);
        Cell cell;
        parts >> cell.text >> cell.title >> cell.weight >> cell.color >> cell.background;
        cell = {testing::DecodeProbeField(cell.text), testing::DecodeProbeField(cell.title),
                testing::DecodeProbeField(cell.weight), testing::DecodeProbeField(cell.color),
                testing::DecodeProbeField(cell.background)};
        probe.cells[{r, c}] = cell;
      } else {
        probe.values[key] = value;
      }
    }
    probe.ok = true;
    return probe;
  }

  std::string chromium_;
};

TEST_F(Browser, PlainPageTableAndText) {
  const testing::TestBook b = testing::ShowcaseBook();
  clsHTML s;
  Probe p = Load("plain.htm", b.Page(s, false, {"Showcase", "Sales", "", "", "", ""}));
  ASSERT_TRUE(p.ok) << "the browser produced no probe output";
  EXPECT_EQ(p.values["charset"], "UTF-8");
  EXPECT_EQ(p.Number("rows"), 6);  // the letter row and five data rows
  for (int r = 0; r < 6; ++r) EXPECT_EQ(p.Number("cells " + std::to_string(r)), 7) << r;
  EXPECT_EQ(p.At(0, 6).text, "F");
  EXPECT_EQ(p.At(3, 0).text, "3");
  EXPECT_EQ(p.At(2, 2).text, "1,234.50");
  EXPECT_EQ(
      p.At(4, 4).text,
      "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0");
  EXPECT_EQ(p.At(4, 3).text, "<script>alert(1)</script>");
  EXPECT_EQ(p.At(4, 5).text, "It's \"quoted\" & <b>bold</b>");
  EXPECT_EQ(p.At(4, 1).text, "http://www.example.com/a?b=1&c=2");
  EXPECT_EQ(p.Number("scripts"), 1) << "only the probe";
}

TEST_F(Browser, StyledPageClassesApply) {
  const testing::TestBook b = testing::ShowcaseBook();
  clsHTML s;
  s.ShowComments = kTrue;
  Probe p = Load("styled.htm", b.Page(s, true));
  ASSERT_TRUE(p.ok) << "the browser produced no probe output";
  const Cell& header = p.At(1, 1);  // bold white text on #003F7F
  EXPECT_EQ(header.weight, "700");
  EXPECT_EQ(header.color, "rgb(255, 255, 255)");
  EXPECT_EQ(header.background, "rgb(0, 63, 127)");
  EXPECT_EQ(p.At(3, 2).color, "rgb(255, 0, 0)") << "a negative value in a red format";
  EXPECT_EQ(p.At(3, 2).text, "($5)");
  EXPECT_EQ(p.At(2, 1).weight, "400");
  EXPECT_EQ(p.At(2, 1).color, "rgb(0, 0, 0)");
  // The comment stays whole inside its tool-tip.
  EXPECT_EQ(p.At(3, 6).title, "Tom's note: <b>check</b> & \"verify\"");
  EXPECT_EQ(p.At(3, 6).text,
            "\xE2\x9C\x93"
            "6.50");  // 6.5 by built-in format 2, "0.00"
}

TEST_F(Browser, InjectionAttemptsStayText) {
  testing::TestBook b;
  const char* payloads[] = {
      "<script>window.pwned=1</script>",
      "<img src=x onerror=\"window.pwned=2\">",
      "\"><svg onload=window.pwned=3>",
      "'><img src=x onerror=window.pwned=4>",
      "http://x.org/'onmouseover='window.pwned=5'.htm",
      "</TD></TR></TABLE><script>window.pwned=6</script>",
  };
  int col = 1;
  for (const char* text : payloads) b.sheet->SetString(1, col++, text);
  b.sheet->SetNumber(2, 1, 1);
  b.sheet->SetComment(2, 1, "' onmouseover='window.pwned=7' x='");
  b.sheet->SetNumber(2, 2, 2);
  b.sheet->SetFormula(2, 2, "=\"'><script>window.pwned=8</script>\"");
  model::Font font;
  font.name = "x;}</style><script>window.pwned=9</script><style>";
  b.sheet->SetString(2, 3, "font", b.Style({}, &font));
  clsHTML s;
  s.ShowComments = kTrue;
  s.ShowFormulas = kTrue;
  for (bool styled : {false, true}) {
    Probe p = Load(styled ? "inject-styled.htm" : "inject-plain.htm", b.Page(s, styled));
    ASSERT_TRUE(p.ok) << "the browser produced no probe output";
    EXPECT_EQ(p.values["pwned"], "0");
    EXPECT_EQ(p.Number("scripts"), 1) << "only the probe";
    EXPECT_EQ(p.Number("onattrs"), 0);
    EXPECT_EQ(p.Number("rows"), 3);
    for (int c = 0; c < 6; ++c) EXPECT_EQ(p.At(1, c + 1).text, payloads[c]) << styled << " " << c;
    EXPECT_EQ(p.At(2, 1).title, "' onmouseover='window.pwned=7' x='");
    EXPECT_EQ(p.At(2, 2).title, "Formula: =\"'><script>window.pwned=8</script>\"");
    EXPECT_EQ(p.At(2, 3).text, "font");
  }
}

// Font names and texts from a hostile workbook: a font name adds no declarations (no
// fetched background, no covering layer) and opens no comment that would swallow the next
// class; control characters do not reach the page.
TEST_F(Browser, HostileFontNamesAndControlCharacters) {
  testing::TestBook b;
  model::Font css, comment, bold;
  css.name = "Arial;background:url(http://127.0.0.1:9/x);position:fixed;top:0";
  comment.name = "Arial/*";
  bold.bold = true;
  b.sheet->SetString(1, 1, "css", b.Style({}, &css));
  b.sheet->SetString(1, 2, "comment", b.Style({}, &comment));
  b.sheet->SetString(1, 3, "bold", b.Style({}, &bold));
  b.sheet->SetString(1, 4,
                     std::string("a\x01"
                                 "b\x0c"
                                 "c\x1b"
                                 "d\r"
                                 "e\x00"
                                 "f",
                                 11));
  clsHTML s;
  for (bool styled : {false, true}) {
    Probe p = Load(styled ? "fonts-styled.htm" : "fonts-plain.htm", b.Page(s, styled));
    ASSERT_TRUE(p.ok) << "the browser produced no probe output";
    EXPECT_EQ(p.Number("fixed"), 0) << styled;
    EXPECT_EQ(p.Number("bgimages"), 0) << styled;
    EXPECT_EQ(p.At(1, 1).text, "css");
    EXPECT_EQ(p.At(1, 4).text, "abcdef") << styled;
    if (styled) {
      EXPECT_EQ(p.At(1, 3).weight, "700") << "the class after the comment opener";
    }
  }
}

// For each data cell of the first data row: "look C=" and the computed look of the cell
// and of the element around its text, as a user sees them: italic, underlined (by the
// element or any element up to the cell), font, alignment, top and bottom border style,
// background.
constexpr const char* kLookProbe = R"JS(
(function () {
  var row = document.querySelector('table').rows[1], out = [];
  for (var c = 1; c < row.cells.length; c++) {
    var td = row.cells[c], inner = td, underline = false;
    while (inner.firstElementChild) inner = inner.firstElementChild;
    for (var e = inner; e && e !== td.parentNode; e = e.parentNode) {
      if (getComputedStyle(e).textDecorationLine.indexOf('underline') >= 0) underline = true;
    }
    var cs = getComputedStyle(td), is = getComputedStyle(inner);
    out.push('look ' + c + '=' + [is.fontStyle, underline ? 'underline' : 'none',
        is.fontFamily.replace(/ /g, '_'), is.fontSize, cs.textAlign, cs.verticalAlign,
        cs.borderTopStyle, cs.borderBottomStyle, cs.backgroundColor.replace(/ /g, '')].join(' '));
  }
  writeProbe(out);
})();
</script>
)JS";

// Cell looks that a browser dropped or got wrong, on both pages: italic and underline alone,
// errors and centre-across-selection centred, fill alignment at the left, a link in its
// cell's font, vertical centre, justify and distributed, dash-dot borders drawn dashed, and
// a pattern's mixed colour as the background.
TEST_F(Browser, CellLooksBothPages) {
  testing::TestBook b;
  model::Font italic, underline, dejavu;
  italic.italic = true;
  underline.underline = 1;
  dejavu.name = "DejaVu Serif";
  dejavu.size = 12;
  model::CellStyle centreAcross, fill, middle, justify, distributed, dashDot, grey;
  centreAcross.hAlign = 6;
  fill.hAlign = 4;
  middle.vAlign = 1;
  justify.vAlign = 3;
  distributed.vAlign = 4;
  dashDot.borderStyle[model::kTop] = 9;
  dashDot.borderStyle[model::kBottom] = 13;
  grey.fillPattern = 17;
  grey.fillColor = model::FillPatternColor(17, 0, 0xFFFFFF);
  model::Sheet& s = *b.sheet;
  s.SetString(1, 1, "italic", b.Style({}, &italic));
  s.SetString(1, 2, "underline", b.Style({}, &underline));
  s.SetError(1, 3, ErrorCode::NA);
  s.SetString(1, 4, "across", b.Style(centreAcross));
  s.SetNumber(1, 5, 7, b.Style(fill));
  s.SetString(1, 6, "http://www.example.com", b.Style({}, &dejavu));
  s.SetString(1, 7, "serif", b.Style({}, &dejavu));
  s.SetString(1, 8, "middle", b.Style(middle));
  s.SetString(1, 9, "justify", b.Style(justify));
  s.SetString(1, 10, "distributed", b.Style(distributed));
  s.SetString(1, 11, "dash-dot", b.Style(dashDot));
  s.SetString(1, 12, "grey", b.Style(grey));
  // Column, field of the look (0 italic, 1 underline, 2 font, 4 text-align, 5
  // vertical-align, 6 and 7 top and bottom border, 8 background), plain and styled value
  // (null: not looked at).
  const struct {
    int col, field;
    const char *plain, *styled;
  } cases[] = {
      {1, 0, "italic", "italic"},
      {2, 1, "underline", "underline"},
      {3, 4, "-webkit-center", "center"},
      {4, 4, "-webkit-center", "center"},
      {5, 4, "-webkit-left", "left"},
      {8, 5, "middle", "middle"},
      {9, 5, "top", "top"},
      {10, 5, "middle", "middle"},
      {11, 6, nullptr, "dashed"},  // the plain page draws no cell borders of its own
      {11, 7, nullptr, "dashed"},
      {12, 8, "rgb(223,223,223)", "rgb(223,223,223)"},
  };
  clsHTML settings;
  for (bool styled : {false, true}) {
    Probe p =
        Load(styled ? "looks-styled.htm" : "looks-plain.htm", b.Page(settings, styled), kLookProbe);
    ASSERT_TRUE(p.ok) << "the browser produced no probe output";
    auto field = [&](int col, int k) {
      std::stringstream look(p.values["look " + std::to_string(col)]);
      std::string f;
      for (int i = 0; i <= k; ++i) look >> f;
      return f;
    };
    for (const auto& c : cases) {
      const char* want = styled ? c.styled : c.plain;
      if (want) {
        EXPECT_EQ(field(c.col, c.field), want) << styled << " column " << c.col;
      }
    }
    // The link shows the font of the text cell beside it.
    EXPECT_EQ(field(6, 2), field(7, 2)) << styled;
    EXPECT_EQ(field(6, 3), field(7, 3)) << styled;
    EXPECT_NE(field(6, 2).find("DejaVu"), std::string::npos) << styled;
  }
}

}  // namespace
}  // namespace gridwell
