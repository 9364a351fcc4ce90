// What a browser shows for each cell: the text of every table cell of the plain and of the
// styled page, read through the DOM (innerText) in headless Chromium, against the reader's
// text of the cell, which is what `gridwell cells` prints. Error values are left out: the
// pages show them as "#ERR".
//
// One browser run serves many pages: they are written into one driver page as script
// strings, and its script loads each in turn into a frame (document.write, which builds
// and lays out the page at once) and records what the frame shows.
#include <gtest/gtest.h>
#include <xlsxwriter.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "chromium.h"
#include "converter/cell_markup.h"
#include "converter/cls_concat.h"
#include "converter/cls_html.h"
#include "converter/page_writer.h"
#include "reader/base/bytes.h"
#include "reader/reader.h"
#include "tests/support/corpus.h"
#include "tests/support/files.h"

namespace gridwell {
namespace {

namespace fs = std::filesystem;

// The driver's script: for each page, each table cell's text (non-breaking spaces read as
// the spaces they stand for) and whether its text is raised or lowered by an inline
// ancestor, which is what vertical-align does; a block in between stops it.
constexpr const char* kDriver = R"JS(
var out = [], f = document.getElementById('f');
for (var p = 0; p < pages.length; p++) {
  var d = f.contentDocument;
  d.open(); d.write(pages[p]); d.close();
  var w = f.contentWindow, t = d.querySelector('table');
  if (!t) { out.push(p + ' notable'); continue; }
  for (var r = 0; r < t.rows.length; r++) {
    var cells = t.rows[r].cells;
    for (var c = 0; c < cells.length; c++) {
      var td = cells[c], text = td.innerText.replace(/\u00a0/g, ' '), shift = '-';
      if (td.querySelector('sup,sub')) {
        var tw = d.createTreeWalker(td, NodeFilter.SHOW_TEXT);
        for (var n = tw.nextNode(); n; n = tw.nextNode()) {
          for (var e = n.parentElement; e && e !== td; e = e.parentElement) {
            var cs = w.getComputedStyle(e);
            if (cs.display !== 'inline') break;
            if (cs.verticalAlign === 'super' || cs.verticalAlign === 'sub') shift = cs.verticalAlign;
          }
        }
      }
      if (text !== '' || shift !== '-')
        out.push(p + ' ' + r + ' ' + c + ' ' + shift + ' _' + encodeURIComponent(text));
    }
  }
}
f.remove();
document.currentScript.remove();
writeProbe(out);
)JS";

// Appends `s` as a double-quoted script string that cannot end the script element.
void AppendScriptString(std::string& out, const std::string& s) {
  out += '"';
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '<':
        out += "\\x3c";
        break;
      default:
        // U+2028 and U+2029 end a line inside a script string.
        if (c == '\xE2' && i + 2 < s.size() && s[i + 1] == '\x80' &&
            (s[i + 2] == '\xA8' || s[i + 2] == '\xA9')) {
          out += s[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
          i += 2;
        } else if (static_cast<unsigned char>(c) < 0x20) {
          out += "\\x";
          base::AppendHexByte(out, static_cast<uint8_t>(c), base::kHexLower);
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

// One page of one sheet, and where its table cells come from.
struct PageJob {
  std::string label;  // workbook, sheet and page kind, for messages
  ReaderWorksheet sheet;
  conv::PageRange range;
  bool styled = false;
};

struct Shown {
  std::string text;
  std::string shift;  // "super", "sub" or "-"
};

// What the browser showed: (page, table row, table column) -> cell.
using ShownCells = std::map<std::tuple<int, int, int>, Shown>;

// The pages as the converter writes them, without row numbers or column letters, so that
// table row r and column c are the range's r-th row and c-th column.
std::string PageOf(const PageJob& job) {
  clsHTML s;
  s.HideRowNumbers = kTrue;
  s.HideColLetters = kTrue;
  s.StartRow = job.range.startRow;
  s.StartCol = static_cast<int16_t>(job.range.startCol);
  s.EndRow = job.range.endRow;
  s.EndCol = static_cast<int16_t>(job.range.endCol);
  clsConcat page;
  conv::AppendPage(page, s, job.sheet, {}, job.styled);
  return page.GetString();
}

// Shows pages [from, to) of `jobs` in one browser run; false when the browser gave nothing.
bool ShowPages(const std::string& chromium, const fs::path& dir, const std::vector<PageJob>& jobs,
               size_t from, size_t to, ShownCells& shown) {
  std::string driver = "<html><head><meta charset='utf-8'></head><body><iframe id='f'></iframe>\n";
  driver += "<script>";
  driver += testing::kWriteProbe;
  driver += "var pages = [\n";
  for (size_t k = from; k < to; ++k) {
    AppendScriptString(driver, PageOf(jobs[k]));
    driver += ",\n";
  }
  driver += "];\n";
  driver += kDriver;
  driver += "</script></body></html>\n";
  const fs::path file = dir / "driver.htm";
  std::ofstream(file, std::ios::binary) << driver;
  const std::string dom = testing::DumpDom(chromium, file, dir / "profile", 600);
  const std::optional<std::vector<std::string>> lines = testing::ProbeLines(dom);
  if (!lines) return false;
  for (const std::string& line : *lines) {
    std::stringstream fields(line);
    int p = 0, r = 0, c = 0;
    Shown cell;
    std::string text;
    if (!(fields >> p >> r >> c >> cell.shift >> text)) continue;
    cell.text = testing::DecodeProbeField(text);
    shown[{static_cast<int>(from) + p, r, c}] = cell;
  }
  return true;
}

// Shows every page, in runs of pages of at most about `batchBytes` of page text.
bool ShowAll(const std::string& chromium, const fs::path& dir, const std::vector<PageJob>& jobs,
             ShownCells& shown, size_t batchBytes = size_t{48} << 20) {
  size_t from = 0, bytes = 0;
  for (size_t k = 0; k < jobs.size(); ++k) {
    bytes += static_cast<size_t>(jobs[k].range.endRow - jobs[k].range.startRow + 1) *
             static_cast<size_t>(jobs[k].range.endCol - jobs[k].range.startCol + 1) * 200;
    if (bytes >= batchBytes || k + 1 == jobs.size()) {
      if (!ShowPages(chromium, dir, jobs, from, k + 1, shown)) return false;
      from = k + 1;
      bytes = 0;
    }
  }
  return true;
}

// A text as the browser's text is compared with it: one line break whichever characters
// end a line, and a non-breaking space read as a space (the page writes spaces as "&nbsp;"
// where they would collapse).
std::string AsShown(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r') {
      out += '\n';
      if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
    } else if (s[i] == '\xC2' && i + 1 < s.size() && s[i + 1] == '\xA0') {
      out += ' ';
      ++i;
    } else {
      out += s[i];
    }
  }
  return out;
}

// A text for a message: control characters written as escapes, long texts cut.
std::string Printable(const std::string& s) {
  std::string out;
  for (char c : s.substr(0, 120)) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (static_cast<unsigned char>(c) < 0x20) {
      out += '?';
    } else {
      out += c;
    }
  }
  return s.size() > 120 ? out + "..." : out;
}

// A tab or another control character other than a line break.
bool HasControl(const std::string& s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\n') return true;
  }
  return false;
}

struct Mismatch {
  std::string where, want, got;
};

struct Agreement {
  int64_t cells = 0, equal = 0;
  std::vector<Mismatch> mismatches;
};

// Compares every stored, non-empty, non-error cell of each page with what the browser showed.
Agreement Compare(const std::vector<PageJob>& jobs, const ShownCells& shown) {
  Agreement a;
  for (size_t k = 0; k < jobs.size(); ++k) {
    const PageJob& job = jobs[k];
    const ReaderCells cells = job.sheet.Cells();
    for (int32_t i = 1; i <= cells.Count(); ++i) {
      const ReaderCell cell = cells.Item(i);
      const int32_t row = cell.Row(), col = cell.Column();
      if (row < job.range.startRow || row > job.range.endRow || col < job.range.startCol ||
          col > job.range.endCol) {
        continue;
      }
      const CellValue v = cell.Value();
      if (v.kind == ValueKind::Empty || v.kind == ValueKind::Error) continue;
      const std::string want = AsShown(cell.Text());
      if (want.empty()) continue;
      ++a.cells;
      const auto it =
          shown.find({static_cast<int>(k), row - job.range.startRow, col - job.range.startCol});
      const std::string got = it == shown.end() ? std::string() : it->second.text;
      if (got == want) {
        ++a.equal;
      } else {
        std::string ref;
        conv::AppendColumnLetters(ref, col);
        a.mismatches.push_back({job.label + " " + ref + std::to_string(row) + " (" +
                                    std::string(cell.NumberFormat()) + ")",
                                want, got});
      }
    }
  }
  return a;
}

// Pages of both kinds for the used range of every sheet, at most `maxPositions` cell
// positions each.
void AddSheetPages(std::vector<PageJob>& jobs, const std::string& label, const ReaderWorkbook& book,
                   int64_t maxPositions) {
  for (int32_t n = 1; n <= book.Worksheets().Count(); ++n) {
    const ReaderWorksheet sheet = book.Worksheets().Item(n);
    conv::PageRange r = conv::ResolveRange({}, sheet);
    if (r.endRow < 1 || r.endCol < 1) continue;
    r.endCol = std::min<int32_t>(r.endCol, 256);
    const int64_t cols = r.endCol;
    r.endRow = static_cast<int32_t>(
        std::max<int64_t>(1, std::min<int64_t>(r.endRow, maxPositions / cols)));
    for (bool styled : {false, true}) {
      jobs.push_back({label + " sheet " + std::to_string(n) + (styled ? " styled" : " plain"),
                      sheet, r, styled});
    }
  }
}

class BrowserText : public test::TempFolderTest {
 protected:
  static void SetUpTestSuite() { chromium_ = testing::FindChromium(); }
  void SetUp() override {
    if (chromium_.empty()) GTEST_SKIP() << "chromium is not installed";
    test::TempFolderTest::SetUp();
  }

  static std::string chromium_;
};
std::string BrowserText::chromium_;

// Values that bring out each part of a format: signs, zero, fractions, dates and times,
// durations, big and small magnitudes.
constexpr double kValues[] = {1234.5,        -1234.5,    0,    0.5,       -0.4,   39886.75,
                              61.25 / 86400, 5551234567, 1e-7, 2.9999999, 1.0 / 3};

// Custom codes: sections, conditions, colours, text sections, fractions, scientific,
// scaling, literals, padding and fill, dates, times, sub-seconds and durations.
constexpr const char* kCodes[] = {
    "0.000",
    "#,##0.0",
    "0.0%",
    "0.0E+00",
    "##0.0E+0",
    "# ?/?",
    "# ?\?/??",
    "?/8",
    "# ?/4;-# ?/4;\"nil\";\"t:\"@",
    "$#,##0.00;[Red]($#,##0.00)",
    "[Blue]0;[Red]-0;[Green]0;[Magenta]@",
    "[<=9999999]###-####;(###) ###-####",
    "0.00;(0.00);\"zero\"",
    "\"Total: \"@",
    "0.0\" kg\"",
    "#,##0,\"K\"",
    "#,##0,,\"M\"",
    "_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)",
    "[$\xE2\x82\xAC-407] #,##0.00",
    "0000",
    "00-000",
    "#.##",
    "0.0#",
    "@",
    "General",
    "\"pos\";\"neg\";\"zero\";\"text\"",
    "0;-0;;@",
    "[Color10]0.00",
    "[>100]\"big\";[<0]\"neg\";0",
    "#,##0.00_);\\(#,##0.00\\)",
    "**0.00",
    "yyyy-mm-dd",
    "dddd, mmmm dd, yyyy",
    "ddd d-mmm-yy",
    "mmm-yy",
    "mmmmm",
    "h:mm AM/PM",
    "h:mm:ss.00",
    "[h]:mm:ss",
    "[mm]:ss.0",
    "ss.00",
    "[s]",
    "m/d/yy h:mm",
    "yyyy-mm-dd hh:mm:ss.000",
    "d/m/yyyy h:mm:ss AM/PM",
};

// Texts whose spaces and line breaks must keep their shape.
constexpr const char* kTexts[] = {
    "plain",         "  two leading", "inner   run", "trailing ",    "line\nbreak",
    "two\n\nbreaks", " \n ",          "tab\tinside", "<b>&amp;</b>", "caf\xC3\xA9",
};

// A workbook of every built-in format id (0 to 49) and the custom codes above, each over
// every value, written by libxlsxwriter; plus texts, Booleans and raised and lowered runs.
bool WriteFixture(const fs::path& path) {
  lxw_workbook* wb = workbook_new(path.c_str());
  if (!wb) return false;
  lxw_worksheet* builtin = workbook_add_worksheet(wb, "Builtin");
  for (uint8_t id = 0; id <= 49; ++id) {
    lxw_format* f = workbook_add_format(wb);
    format_set_num_format_index(f, id);
    int col = 0;
    for (double v : kValues) worksheet_write_number(builtin, id, col++, v, f);
    worksheet_write_string(builtin, id, col++, "text", f);
    worksheet_write_boolean(builtin, id, col++, id % 2, f);
  }
  lxw_worksheet* custom = workbook_add_worksheet(wb, "Custom");
  lxw_row_t row = 0;
  for (const char* code : kCodes) {
    lxw_format* f = workbook_add_format(wb);
    format_set_num_format(f, code);
    int col = 0;
    for (double v : kValues) worksheet_write_number(custom, row, col++, v, f);
    worksheet_write_string(custom, row, col++, "text", f);
    ++row;
  }
  lxw_worksheet* texts = workbook_add_worksheet(wb, "Texts");
  lxw_format* wrap = workbook_add_format(wb);
  format_set_text_wrap(wrap);
  lxw_format* sup = workbook_add_format(wb);
  format_set_font_script(sup, LXW_FONT_SUPERSCRIPT);
  lxw_format* sub = workbook_add_format(wb);
  format_set_font_script(sub, LXW_FONT_SUBSCRIPT);
  lxw_format* struckSup = workbook_add_format(wb);
  format_set_font_script(struckSup, LXW_FONT_SUPERSCRIPT);
  format_set_font_strikeout(struckSup);
  format_set_bold(struckSup);
  row = 0;
  for (const char* text : kTexts) {
    worksheet_write_string(texts, row, 0, text, nullptr);
    worksheet_write_string(texts, row++, 1, text, wrap);
  }
  worksheet_write_string(texts, row, 0, "raised", sup);
  worksheet_write_string(texts, row, 1, "lowered", sub);
  worksheet_write_string(texts, row, 2, "struck", struckSup);
  worksheet_write_number(texts, row, 3, -2.5, sup);
  return workbook_close(wb) == LXW_NO_ERROR;
}

std::string Report(const Agreement& a, size_t limit) {
  std::ostringstream s;
  for (size_t i = 0; i < a.mismatches.size() && i < limit; ++i) {
    s << "\n  " << a.mismatches[i].where << ": want [" << Printable(a.mismatches[i].want)
      << "] shown [" << Printable(a.mismatches[i].got) << "]";
  }
  return s.str();
}

TEST_F(BrowserText, EveryFormatShowsTheReadersText) {
  const fs::path book = dir_ / "formats.xlsx";
  ASSERT_TRUE(WriteFixture(book));
  WorkbookLoader loader;
  ASSERT_TRUE(loader.Open(book.string())) << loader.LastStatus().Detail();
  std::vector<PageJob> jobs;
  AddSheetPages(jobs, "formats.xlsx", loader.Workbook(), 1 << 20);
  ShownCells shown;
  ASSERT_TRUE(ShowAll(chromium_, dir_, jobs, shown)) << "the browser produced no probe output";
  const Agreement a = Compare(jobs, shown);
  std::cout << "[ fixture  ] " << jobs.size() << " pages, " << a.cells << " non-empty cells, "
            << a.equal << " shown as the reader's text" << Report(a, 20) << "\n";
  EXPECT_GT(a.cells, 2 * (50 * 13 + 45 * 12));
  // Tabs are the one known difference: a browser shows a tab as a space.
  std::vector<Mismatch> unexplained;
  for (const Mismatch& m : a.mismatches) {
    if (!HasControl(m.want)) unexplained.push_back(m);
  }
  EXPECT_TRUE(unexplained.empty())
      << unexplained.size() << " cells differ:" << Report({0, 0, unexplained}, 60);

  // The raised and lowered runs really are raised and lowered, on both pages.
  const int textsRow = static_cast<int>(std::size(kTexts));
  for (size_t k = 0; k < jobs.size(); ++k) {
    if (jobs[k].label.find("sheet 3") == std::string::npos) continue;
    const std::string kinds[] = {"super", "sub", "super", "super"};
    for (int c = 0; c < 4; ++c) {
      const auto it = shown.find({static_cast<int>(k), textsRow, c});
      ASSERT_NE(it, shown.end()) << jobs[k].label << " column " << c;
      EXPECT_EQ(it->second.shift, kinds[c]) << jobs[k].label << " column " << c;
    }
  }
}

// Every workbook of the shared corpus that the reader opens: at least 99.5 per cent of the
// non-empty cells show the reader's text; the differences are printed.
TEST_F(BrowserText, CorpusCellsShowTheReadersText) {
  GRIDWELL_REQUIRE_CORPUS();
  std::vector<ReaderWorkbook> books;  // kept open while their sheets are shown
  std::vector<PageJob> jobs;
  for (const test::ManifestEntry& e : test::Manifest()) {
    const std::string path = test::CorpusPath(e.path);
    WorkbookLoader loader;
    const int protection = loader.IsPasswordProtected(path);
    if (protection < 0) continue;
    if (protection > 0 && e.KnownPassword()) {
      loader.OpenWithPassword(path, e.password);
    } else {
      loader.Open(path);
    }
    if (!loader.Workbook()) continue;
    books.push_back(loader.Workbook());
    AddSheetPages(jobs, e.path, books.back(), 20000);
  }
  ASSERT_FALSE(jobs.empty());
  ShownCells shown;
  ASSERT_TRUE(ShowAll(chromium_, dir_, jobs, shown)) << "the browser produced no probe output";
  const Agreement a = Compare(jobs, shown);
  ASSERT_GT(a.cells, 0);
  const double share = double(a.equal) / double(a.cells);
  // Tabs and other control characters are the known difference: a browser shows a tab as
  // a space (or nothing at a line's end), and the page leaves the others out.
  Agreement other;
  for (const Mismatch& m : a.mismatches) {
    if (!HasControl(m.want)) other.mismatches.push_back(m);
  }
  std::cout << "[ corpus   ] " << jobs.size() << " pages, " << a.cells << " non-empty cells, "
            << a.equal << " shown as the reader's text (" << share * 100 << "%); of "
            << a.mismatches.size() << " others, " << other.mismatches.size()
            << " hold no tab or control character" << Report(other, 100) << Report(a, 100) << "\n";
  EXPECT_GE(share, 0.995) << Report(a, 50);
}

}  // namespace
}  // namespace gridwell
