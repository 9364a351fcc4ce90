// The compact styled page looks like the styled page: headless Chromium computes the style of
// every table cell of both pages and finds no difference, for the fixture workbooks, generated
// workbooks and a slice of the real-workbook corpus.
//
// One browser run serves the whole suite: a harness page holds each pair of pages in two
// frames and, once every frame has loaded, compares them cell by cell and writes what it found
// into a <pre> element, which --dump-dom prints.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "chromium.h"
#include "showcase_book.h"
#include "tests/support/corpus.h"

namespace gridwell {
namespace {

namespace fs = std::filesystem;

// For pair i (frames 2i and 2i+1): "pair i cells=<styled>/<compact> looks=<distinct styles>",
// then up to three "diff i ..." lines naming a cell whose computed style differs.
constexpr const char* kHarnessScript = R"JS(
window.addEventListener('load', function () {
  var sides = ['Top', 'Right', 'Bottom', 'Left'], props = ['fontFamily', 'fontSize',
      'fontWeight', 'fontStyle', 'color', 'backgroundColor', 'textAlign', 'verticalAlign',
      'whiteSpace', 'textDecorationLine', 'textDecorationStyle'];
  sides.forEach(function (s) {
    props.push('border' + s + 'Style', 'border' + s + 'Width', 'border' + s + 'Color',
               'padding' + s);
  });
  function looks(frame) {
    var d = frame.contentDocument, t = d && d.querySelector('table');
    if (!t) return [];
    return Array.prototype.map.call(t.querySelectorAll('td'), function (td) {
      var cs = frame.contentWindow.getComputedStyle(td);
      return props.map(function (p) { return p + ':' + cs[p]; }).join(';');
    });
  }
  var frames = document.querySelectorAll('iframe'), out = [];
  for (var i = 0; 2 * i + 1 < frames.length; i++) {
    var a = looks(frames[2 * i]), b = looks(frames[2 * i + 1]), seen = {}, n = 0, shown = 0;
    a.forEach(function (x) { if (!seen[x]) { seen[x] = 1; n++; } });
    out.push('pair ' + i + ' cells=' + a.length + '/' + b.length + ' looks=' + n);
    for (var k = 0; k < a.length && k < b.length && shown < 3; k++) {
      if (a[k] !== b[k]) {
        shown++;
        out.push('diff ' + i + ' cell ' + k + ': styled ' + a[k] + ' | compact ' + b[k]);
      }
    }
  }
  writeProbe(out);
});
</script>
)JS";

// A workbook with many looks: fonts, sizes, underlines, colours, every alignment code,
// borders of every code on every side, fills, wrapping, indentation and red negatives, over
// texts, numbers, Booleans and dates. Some formats differ only where no rule looks (the
// locked flag), so their cells share a class on the compact page.
testing::TestBook LooksBook() {
  testing::TestBook b;
  std::vector<uint32_t> styles;
  const char* names[] = {"Arial", "Times New Roman", "Courier New", "DejaVu Sans"};
  for (int i = 0; i < 48; ++i) {
    model::Font f;
    f.name = names[i % 4];
    f.size = 8 + (i % 5) * 2;
    f.bold = i % 3 == 0;
    f.italic = i % 7 == 1;
    const uint8_t underlines[] = {0, 1, 2, 33, 34, 0};
    f.underline = underlines[i % 6];
    f.color = (i % 4 == 2) ? 0x0000C0 : (i % 5 == 3 ? 0x808080 : 0);
    model::CellStyle s;
    s.numFmtId = (i % 4 == 1) ? 6 : (i % 4 == 3 ? 8 : 0);
    s.hAlign = static_cast<uint8_t>(i % 8);
    s.vAlign = static_cast<uint8_t>(i % 5);
    s.indent = static_cast<uint8_t>(i % 9 == 4 ? 2 : 0);
    s.wrap = i % 6 == 5;
    if (i % 3 == 1) {
      s.fillPattern = 1;
      s.fillColor = 0xDDEBF7 + static_cast<uint32_t>(i % 3);
    }
    for (int side = 0; side < 4; ++side) {
      s.borderStyle[side] = static_cast<uint8_t>((i + side * 5) % 15);
      s.borderColor[side] = side == 2 ? 0x0000FF : 0x404040;
    }
    styles.push_back(b.Style(s, &f));
    s.locked = false;  // the same look under another format
    styles.push_back(b.book->AddStyle(s));
  }
  for (int32_t r = 1; r <= 40; ++r) {
    for (int32_t c = 1; c <= 8; ++c) {
      const uint32_t st = styles[static_cast<size_t>(r * 8 + c) % styles.size()];
      switch ((r + c) % 5) {
        case 0:
          b.sheet->SetString(r, c, "text " + std::to_string(r * c), st);
          break;
        case 1:
          b.sheet->SetNumber(r, c, r * 1.5, st);
          break;
        case 2:
          b.sheet->SetNumber(r, c, -r * 2.25, st);
          break;
        case 3:
          b.sheet->SetBool(r, c, c % 2 == 0, st);
          break;
        default:
          b.sheet->SetDate(r, c, 40000 + r, st);
      }
    }
  }
  b.sheet->SetColumnWidth(2, 2, 30);
  b.sheet->SetRowHeight(3, 600);
  b.book->Finish();
  return b;
}

struct Pair {
  std::string group = {}, name = {};
  std::string styled = {}, compact = {};  // the page files, in the suite's folder
  // What the browser saw.
  bool probed = false;
  int styledCells = -1, compactCells = -1, looks = 0;
  std::vector<std::string> diffs = {};
};

class CompactLook : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    chromium_ = testing::FindChromium();
    if (chromium_.empty()) return;
    char tmpl[] = "/tmp/gridwell-compact-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return;
    dir_ = tmpl;
    AddFixtures();
    AddGenerated();
    if (test::HaveCorpus()) AddCorpusSlice();
    RunBrowser();
  }
  static void TearDownTestSuite() {
    if (!dir_.empty()) fs::remove_all(dir_);
    pairs_.clear();
  }
  void SetUp() override {
    if (chromium_.empty()) GTEST_SKIP() << "chromium is not installed";
    ASSERT_FALSE(dir_.empty()) << "no temporary folder";
  }

  // Both pages of one workbook sheet, written by the file path of the converter.
  static void AddFile(const std::string& group, const std::string& book, int sheet,
                      const std::string& range) {
    Pair p{group, fs::path(book).filename().string() + " sheet " + std::to_string(sheet)};
    for (const bool compact : {false, true}) {
      clsHTML h;
      h.ExcelFile = book;
      h.Worksheetnum = sheet;
      h.Range = range;
      h.ShowComments = kTrue;
      h.CompactStyles = compact ? kTrue : kFalse;
      const std::string file = "p" + std::to_string(pairs_.size()) + (compact ? "c" : "s") + ".htm";
      h.CreateStyledHtmlFile((dir_ / file).string(), p.name, p.name, "", "", "", "");
      if (h.LastStop() != ConvertStop::None) return;  // not a readable sheet: no pair
      (compact ? p.compact : p.styled) = file;
    }
    pairs_.push_back(p);
  }

  static void AddPage(const std::string& group, const std::string& name,
                      const testing::TestBook& book) {
    Pair p{group, name};
    for (const bool compact : {false, true}) {
      clsHTML s;
      s.ShowComments = kTrue;
      s.CompactStyles = compact ? kTrue : kFalse;
      const std::string file = "p" + std::to_string(pairs_.size()) + (compact ? "c" : "s") + ".htm";
      std::ofstream(dir_ / file, std::ios::binary) << book.Page(s, true);
      (compact ? p.compact : p.styled) = file;
    }
    pairs_.push_back(p);
  }

  static void AddFixtures() {
    for (const char* folder : {"xlsx", "xls"}) {
      const fs::path data = fs::path(GRIDWELL_SOURCE_DIR) / "tests/data" / folder;
      std::vector<fs::path> books;
      for (const auto& e : fs::directory_iterator(data)) {
        if (e.path().extension() == ".xlsx" || e.path().extension() == ".xls") {
          books.push_back(e.path());
        }
      }
      std::sort(books.begin(), books.end());
      for (const fs::path& book : books) {
        for (int sheet = 1; sheet <= 4; ++sheet) AddFile("fixture", book.string(), sheet, "");
      }
    }
  }

  static void AddGenerated() {
    AddPage("generated", "showcase", testing::ShowcaseBook());
    AddPage("generated", "looks", LooksBook());
  }

  // Every sixth unencrypted workbook of the manifest, its first sheet's top-left corner.
  static void AddCorpusSlice() {
    int n = 0;
    for (const test::ManifestEntry& e : test::Manifest()) {
      if (e.encrypted == "no" && n % 6 == 0)
        AddFile("corpus", test::CorpusPath(e.path), 1, "A1:T60");
      ++n;
    }
  }

  static void RunBrowser() {
    std::ofstream harness(dir_ / "harness.htm", std::ios::binary);
    harness << "<html><body>\n";
    for (const Pair& p : pairs_) {
      harness << "<iframe src='" << p.styled << "'></iframe><iframe src='" << p.compact
              << "'></iframe>\n";
    }
    harness << "<script>" << testing::kWriteProbe << kHarnessScript << "</body></html>\n";
    harness.close();
    const std::string dom = testing::DumpDom(chromium_, dir_ / "harness.htm", dir_ / "profile", 240,
                                             "--allow-file-access-from-files");
    const std::optional<std::vector<std::string>> lines = testing::ProbeLines(dom);
    if (!lines) return;
    for (const std::string& l : *lines) {
      size_t i = 0;
      int a = 0, b = 0, looks = 0;
      if (std::sscanf(l.c_str(), "pair %zu cells=%d/%d looks=%d", &i, &a, &b, &looks) == 4 &&
          i < pairs_.size()) {
        pairs_[i].probed = true;
        pairs_[i].styledCells = a;
        pairs_[i].compactCells = b;
        pairs_[i].looks = looks;
      } else if (std::sscanf(l.c_str(), "diff %zu", &i) == 1 && i < pairs_.size()) {
        pairs_[i].diffs.push_back(l);
      }
    }
  }

  // Every pair of the group was compared in the browser and no cell differs. Returns the
  // number of pairs and of distinct looks seen.
  static void Check(const std::string& group, size_t minPairs, int minLooks) {
    size_t pairs = 0;
    int looks = 0;
    for (const Pair& p : pairs_) {
      if (p.group != group) continue;
      ++pairs;
      looks = std::max(looks, p.looks);
      EXPECT_TRUE(p.probed) << p.name << ": the browser reported nothing for this page";
      EXPECT_EQ(p.styledCells, p.compactCells) << p.name;
      EXPECT_TRUE(p.diffs.empty()) << p.name << ":\n" << ::testing::PrintToString(p.diffs);
    }
    EXPECT_GE(pairs, minPairs) << "too few " << group << " pages";
    EXPECT_GE(looks, minLooks) << "the " << group << " pages show too few looks to prove much";
  }

  static inline std::string chromium_;
  static inline fs::path dir_;
  static inline std::vector<Pair> pairs_;
};

TEST_F(CompactLook, FixtureWorkbooks) {
  Check("fixture", 8, 5);
}

TEST_F(CompactLook, GeneratedWorkbooks) {
  Check("generated", 2, 40);
}

TEST_F(CompactLook, CorpusSlice) {
  GRIDWELL_REQUIRE_CORPUS();
  Check("corpus", 30, 5);
}

}  // namespace
}  // namespace gridwell
