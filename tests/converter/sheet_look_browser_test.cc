// The sheet-look page in headless Chromium says what the reader says: for every table cell of
// the plain, styled and compact pages of an in-memory sheet and of a corpus slice (workbooks
// with merged cells, hidden rows or columns, or conditional formats), its position (found by the
// column letters above it and the row number beside it), spans, text, fill, data bar, font colour,
// weight, style, lines and own borders are those the reader gives the position; hidden and covered
// positions have no cell, and gridlines are drawn where no own border takes their place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "chromium.h"
#include "converter/cell_markup.h"
#include "converter/page_writer.h"
#include "converter/style_sheet.h"
#include "sheet_book.h"
#include "tests/support/corpus.h"

namespace gridwell {
namespace {

namespace fs = std::filesystem;

// One line per data cell of each frame: frame, row, column letters, then the fields below,
// separated by "|".
constexpr const char* kProbe = R"JS(
window.addEventListener('load', function () {
  var out = [];
  Array.prototype.forEach.call(document.querySelectorAll('iframe'), function (frame, f) {
    var d = frame.contentDocument, w = frame.contentWindow, rows = d.querySelectorAll('tr');
    var letters = {};
    Array.prototype.forEach.call(rows[0].cells, function (td) {
      letters[Math.round(td.getBoundingClientRect().left)] = td.textContent;
    });
    for (var r = 1; r < rows.length; r++) {
      var cells = rows[r].cells, row = cells[0].textContent;
      for (var c = 1; c < cells.length; c++) {
        var td = cells[c], cs = w.getComputedStyle(td), inner = td;
        while (inner.firstElementChild) inner = inner.firstElementChild;
        var is = w.getComputedStyle(inner), fields = [f, row,
          letters[Math.round(td.getBoundingClientRect().left)], td.colSpan, td.rowSpan,
          td.textContent, cs.backgroundColor, cs.backgroundImage.indexOf('gradient') >= 0,
          is.color, is.fontWeight, is.fontStyle, cs.textDecorationLine];
        ['Top', 'Right', 'Bottom', 'Left'].forEach(function (s) {
          fields.push(cs['border' + s + 'Style'] + ' ' + cs['border' + s + 'Color']);
        });
        out.push(fields.join('|'));
      }
    }
  });
  writeProbe(out);
});
</script>
)JS";

std::string Rgb(uint32_t bgr) {
  return "rgb(" + std::to_string(bgr & 0xFF) + ", " + std::to_string(bgr >> 8 & 0xFF) + ", " +
         std::to_string(bgr >> 16 & 0xFF) + ")";
}

// The part of the merged area at a position that lies in the page's range, if any.
std::optional<model::CellArea> MergedInRange(const ReaderWorksheet& sheet, int32_t row, int32_t col,
                                             const model::CellArea& range) {
  const model::CellArea* a = sheet.MergedArea(row, col);
  if (!a) return std::nullopt;
  return model::CellArea{std::max(a->firstRow, range.firstRow),
                         std::max(a->firstCol, range.firstCol), std::min(a->lastRow, range.lastRow),
                         std::min(a->lastCol, range.lastCol)};
}

// Where the page writes the table cell of a position: itself, or the first shown position of
// its merged area.
std::pair<int32_t, int32_t> CellOf(const ReaderWorksheet& sheet, int32_t row, int32_t col,
                                   const model::CellArea& range) {
  const auto a = MergedInRange(sheet, row, col, range);
  if (!a) return {row, col};
  int32_t r = a->firstRow, c = a->firstCol;
  while (r < a->lastRow && sheet.RowHidden(r)) ++r;
  while (c < a->lastCol && sheet.ColumnHidden(c)) ++c;
  return {r, c};
}

// What the reader says one position shows, in the probe's fields after the position.
std::vector<std::string> Expected(const ReaderWorksheet& sheet, int32_t row, int32_t col,
                                  const model::CellArea& range) {
  int32_t rowSpan = 1, colSpan = 1;
  const auto merged = MergedInRange(sheet, row, col, range);
  if (const auto& a = merged) {
    rowSpan = colSpan = 0;
    for (int32_t r = a->firstRow; r <= a->lastRow; ++r) rowSpan += !sheet.RowHidden(r);
    for (int32_t c = a->firstCol; c <= a->lastCol; ++c) colSpan += !sheet.ColumnHidden(c);
  }
  const ReaderCell cell = sheet.Cells().Cell(row, col);
  const bool filled = cell && !cell.Value().IsEmpty();
  const CellFormat format =
      cell ? CellFormat(cell) : sheet.PositionFormat(row, col).value_or(CellFormat());
  const model::ConditionalLook* cf = sheet.ConditionalLookAt(row, col);
  const model::DifferentialFormat d = cf ? cf->format : model::DifferentialFormat();
  std::string fill = "rgba(0, 0, 0, 0)";
  if (d.fillColor) {
    fill = Rgb(*d.fillColor);
  } else if (format.FillPattern() != model::kFillNone) {
    fill = Rgb(format.FillColor());
  }
  // The format's own italic and underline are the page kinds' business, checked elsewhere
  // (the plain page leaves some out): here only what a conditional look changes.
  const std::string under = d.underline               ? (*d.underline != 0 ? "underline" : "none")
                            : format.Underline() != 0 ? ""
                                                      : "none";
  const std::string italic = d.italic          ? (*d.italic ? "italic" : "normal")
                             : format.Italic() ? ""
                                               : "normal";
  // A link shows the browser's link colour; a format section such as [Red] its own colour.
  const bool link = filled && (conv::IsUrl(cell.Text()) || conv::IsEmailAddress(cell.Text()));
  const int64_t section = filled ? cell.TextColor() : -1;
  const uint32_t textColor =
      d.fontColor.value_or(section >= 0 ? static_cast<uint32_t>(section) : format.FontColor());
  std::vector<std::string> e = {std::to_string(colSpan),
                                std::to_string(rowSpan),
                                filled ? cell.Text() : "",
                                fill,
                                cf && cf->hasBar ? "true" : "false",
                                filled && !link ? Rgb(textColor) : "",
                                filled ? (d.bold.value_or(format.Bold()) ? "700" : "400") : "",
                                filled ? italic : "",
                                under};
  for (int side : {model::kTop, model::kRight, model::kBottom, model::kLeft}) {
    int32_t code = d.borderStyle[side] ? *d.borderStyle[side] : format.BorderLineStyle(side);
    uint32_t color = d.borderColor[side] ? *d.borderColor[side] : format.BorderColor(side);
    // A merged area without its own right or bottom line takes the one of the position on
    // that edge, where spreadsheet programs keep it.
    if (code <= 0 && merged && (side == model::kRight || side == model::kBottom)) {
      const int32_t r = side == model::kRight ? row : merged->lastRow;
      const int32_t c = side == model::kRight ? merged->lastCol : col;
      const ReaderCell edge = sheet.Cells().Cell(r, c);
      const CellFormat f =
          edge ? CellFormat(edge) : sheet.PositionFormat(r, c).value_or(CellFormat());
      code = f.BorderLineStyle(side);
      color = f.BorderColor(side);
    }
    if (code <= 0) {
      e.push_back("");  // a gridline, or nothing where a neighbour's border takes its place
      continue;
    }
    const std::string_view css = conv::BorderStyleCss(static_cast<int16_t>(code));
    e.push_back(std::string(css.substr(css.find(' ') + 1)) + " " + Rgb(color));
  }
  return e;
}

// One sheet whose three sheet-look pages are compared: an in-memory workbook, or a corpus
// workbook read by the reader.
struct Subject {
  std::string name;
  ReaderWorksheet sheet;
  model::CellArea range;
  bool compareText;  // the corpus's texts are compared cell by cell elsewhere
};

std::vector<Subject> Subjects(const testing::TestBook& book) {
  std::vector<Subject> out = {{"in-memory sheet", book.Worksheet(), {1, 1, 13, 6}, true}};
  if (!test::HaveCorpus()) return out;
  for (const test::ManifestEntry& e : test::Manifest()) {
    if (e.encrypted != "no" || out.size() > 8) continue;
    if (e.notes.find("merged") == std::string::npos &&
        e.notes.find("hidden rows") == std::string::npos &&
        e.notes.find("hidden cols") == std::string::npos &&
        e.notes.find("conditional") == std::string::npos) {
      continue;
    }
    ReaderApplication app;
    if (!app.Workbooks().Open(test::CorpusPath(e.path))) continue;
    const ReaderWorksheet sheet = app.Workbooks().Workbook().Worksheets().Item(1);
    const ReaderCells cells = sheet.Cells();
    int32_t lastRow = 0, lastCol = 0;
    for (int32_t i = 1; i <= cells.Count(); ++i) {
      lastRow = std::max(lastRow, cells.Item(i).Row());
      lastCol = std::max(lastCol, cells.Item(i).Column());
    }
    if (lastRow == 0) continue;
    out.push_back({e.path, sheet, {1, 1, std::min(lastRow, 40), std::min(lastCol, 12)}, false});
  }
  return out;
}

TEST(SheetLookBrowser, EveryCellShowsWhatTheReaderSays) {
  const std::string chromium = testing::FindChromium();
  if (chromium.empty()) GTEST_SKIP() << "chromium is not installed";
  const testing::ScratchDir dir("gridwell-sheet-look");
  ASSERT_FALSE(dir.Path().empty());
  const testing::TestBook book = testing::SheetBook();
  const std::vector<Subject> subjects = Subjects(book);
  std::vector<std::pair<std::string, std::string>> pages;
  for (size_t n = 0; n < subjects.size(); ++n) {
    const Subject& subject = subjects[n];
    for (int kind = 0; kind < 3; ++kind) {
      clsHTML s;
      s.SheetLook = kTrue;
      s.CompactStyles = kind == 2 ? kTrue : kFalse;
      s.StartRow = subject.range.firstRow;
      s.StartCol = int16_t(subject.range.firstCol);
      s.EndRow = subject.range.lastRow;
      s.EndCol = int16_t(subject.range.lastCol);
      clsConcat page;
      ASSERT_TRUE(conv::AppendPage(page, s, subject.sheet, {}, kind != 0));
      pages.emplace_back("k" + std::to_string(3 * n + kind) + ".htm", page.GetString());
    }
  }
  const auto lines = testing::ProbeFrames(chromium, dir.Path(), pages, kProbe, 2400, 1600, 240);
  ASSERT_TRUE(lines) << "the probe did not run";

  std::map<int, std::set<std::string>> seen;
  for (const std::string& line : *lines) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    for (std::string x; std::getline(ss, x, '|');) f.push_back(x);
    while (f.size() < 16) f.push_back("");
    const int frame = std::stoi(f[0]);
    const Subject& subject = subjects[size_t(frame / 3)];
    const int32_t row = std::stoi(f[1]);
    const int16_t col = conv::ColumnNumber(f[2]);
    seen[frame].insert(f[2] + f[1]);
    const std::vector<std::string> want = Expected(subject.sheet, row, col, subject.range);
    const std::string where =
        subject.name + " page " + std::to_string(frame % 3) + " " + f[2] + f[1] + ": " + line;
    for (size_t i = 0; i < want.size(); ++i) {
      const std::string& got = f[3 + i];
      if (i >= 9 && want[i].empty()) {
        // No own border: a left or top gridline, or none; nothing on the right or bottom.
        const bool leftOrTop = i == 9 || i == 12;
        EXPECT_TRUE(got.rfind("none", 0) == 0 || (leftOrTop && got == "solid rgb(212, 212, 212)"))
            << where << " side " << i - 9;
      } else if ((i != 2 || subject.compareText) && (!want[i].empty() || i < 3)) {
        EXPECT_EQ(got, want[i]) << where << " field " << i;
      }
    }
  }
  // Every shown position that is not covered by a merged cell written elsewhere has a cell.
  for (size_t n = 0; n < subjects.size(); ++n) {
    const Subject& subject = subjects[n];
    std::set<std::string> expected;
    for (int32_t row = subject.range.firstRow; row <= subject.range.lastRow; ++row) {
      for (int32_t col = subject.range.firstCol; col <= subject.range.lastCol; ++col) {
        if (subject.sheet.RowHidden(row) || subject.sheet.ColumnHidden(col)) continue;
        if (CellOf(subject.sheet, row, col, subject.range) != std::make_pair(row, col)) continue;
        expected.insert(conv::ColumnLetters(int16_t(col)) + std::to_string(row));
      }
    }
    for (int kind = 0; kind < 3; ++kind) {
      EXPECT_EQ(seen[int(3 * n) + kind], expected) << subject.name << " page " << kind;
    }
  }
}

// Where the long texts of rows 14 and 15 end on screen, per frame: "<row>:spills" when the
// text shows past its cell, else "<row>:cut", then ":stops" when it ends before the next cell
// with a value, else ":overlaps".
constexpr const char* kSpillProbe = R"JS(
window.addEventListener('load', function () {
  var out = [];
  Array.prototype.forEach.call(document.querySelectorAll('iframe'), function (frame) {
    var d = frame.contentDocument, rows = d.querySelectorAll('tr');
    [14, 15].forEach(function (number) {
      var tr = Array.prototype.find.call(rows, function (t) {
        return t.cells[0].textContent === String(number);
      });
      var a = tr.cells[1], text = d.createRange();
      text.selectNodeContents(a);
      var clip = (a.querySelector('div') || a).getBoundingClientRect();
      var shown = Math.min(text.getBoundingClientRect().right, clip.right);
      var next = Array.prototype.find.call(tr.cells, function (c, i) {
        return i > 1 && c.textContent;
      });
      out.push(number + (shown > a.getBoundingClientRect().right + 20 ? ':spills' : ':cut') +
               (shown <= next.getBoundingClientRect().left ? ':stops' : ':overlaps'));
    });
  });
  writeProbe(out);
});
)JS";

TEST(SheetLookBrowser, LongTextSpillsIntoEmptyNeighboursOnly) {
  const std::string chromium = testing::FindChromium();
  if (chromium.empty()) GTEST_SKIP() << "chromium is not installed";
  const testing::ScratchDir dir("gridwell-spill");
  ASSERT_FALSE(dir.Path().empty());
  const testing::TestBook book = testing::SheetBook();
  std::vector<std::pair<std::string, std::string>> pages;
  for (int kind = 0; kind < 3; ++kind) {
    clsHTML s;
    s.SheetLook = kTrue;
    s.CompactStyles = kind == 2 ? kTrue : kFalse;
    pages.emplace_back("k" + std::to_string(kind) + ".htm", book.Page(s, kind != 0));
  }
  const auto lines = testing::ProbeFrames(chromium, dir.Path(), pages, kSpillProbe, 1200, 800, 120);
  ASSERT_TRUE(lines) << "the probe did not run";
  std::vector<std::string> expected;
  for (int kind = 0; kind < 3; ++kind) {
    expected.insert(expected.end(), {"14:spills:stops", "15:cut:stops"});
  }
  EXPECT_EQ(*lines, expected);
}

}  // namespace
}  // namespace gridwell
