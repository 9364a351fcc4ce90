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
  Probe Load(const std::string& name, const std::string& page) {
    const fs::path file = dir_ / name;
    std::ofstream(file, std::ios::binary) << page << "<script>" << testing::kWriteProbe << kProbe;
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

}  // namespace
}  // namespace gridwell
