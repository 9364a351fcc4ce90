// The sheet-look page in headless Chromium says what the reader says: for every table cell of
// the plain, styled and compact pages, its position (found by the column letters above it and
// the row number beside it), spans, text, fill, data bar, font colour, weight, style, lines
// and own borders are those the reader gives the position; hidden and covered positions have
// no cell, and gridlines are drawn where no own border takes their place.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "chromium.h"
#include "converter/cell_markup.h"
#include "converter/page_writer.h"
#include "converter/style_sheet.h"
#include "sheet_book.h"

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

// What the reader says one position shows, in the probe's fields after the position.
std::vector<std::string> Expected(const ReaderWorksheet& sheet, int32_t row, int32_t col) {
  int32_t rowSpan = 1, colSpan = 1;
  if (const model::CellArea* a = sheet.MergedArea(row, col)) {
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
  const bool under = d.underline ? *d.underline != 0 : false;
  std::vector<std::string> e = {
      std::to_string(colSpan),
      std::to_string(rowSpan),
      filled ? cell.Text() : "",
      fill,
      cf && cf->hasBar ? "true" : "false",
      filled ? Rgb(d.fontColor.value_or(format.FontColor())) : "",
      filled ? (d.bold.value_or(format.Bold()) ? "700" : "400") : "",
      filled ? (d.italic.value_or(format.Italic()) ? "italic" : "normal") : "",
      under ? "underline" : "none"};
  for (int side : {model::kTop, model::kRight, model::kBottom, model::kLeft}) {
    const int32_t code = d.borderStyle[side] ? *d.borderStyle[side] : format.BorderLineStyle(side);
    const uint32_t color = d.borderColor[side] ? *d.borderColor[side] : format.BorderColor(side);
    if (code <= 0) {
      e.push_back("");  // a gridline, or nothing where a neighbour's border takes its place
      continue;
    }
    const std::string_view css = conv::BorderStyleCss(static_cast<int16_t>(code));
    e.push_back(std::string(css.substr(css.find(' ') + 1)) + " " + Rgb(color));
  }
  return e;
}

TEST(SheetLookBrowser, EveryCellShowsWhatTheReaderSays) {
  const std::string chromium = testing::FindChromium();
  if (chromium.empty()) GTEST_SKIP() << "chromium is not installed";
  char tmpl[] = "/tmp/gridwell-sheet-look-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const fs::path dir = tmpl;
  const testing::TestBook book = testing::SheetBook();
  const ReaderWorksheet sheet = book.Worksheet();
  std::ofstream harness(dir / "harness.htm", std::ios::binary);
  harness << "<html><body>\n";
  for (int kind = 0; kind < 3; ++kind) {
    clsHTML s;
    s.SheetLook = kTrue;
    s.CompactStyles = kind == 2 ? kTrue : kFalse;
    const std::string file = "k" + std::to_string(kind) + ".htm";
    std::ofstream(dir / file, std::ios::binary) << book.Page(s, kind != 0);
    harness << "<iframe width=1200 height=800 src='" << file << "'></iframe>\n";
  }
  harness << "<script>" << testing::kWriteProbe << kProbe << "</body></html>\n";
  harness.close();
  const auto lines = testing::ProbeLines(testing::DumpDom(
      chromium, dir / "harness.htm", dir / "profile", 120, "--allow-file-access-from-files"));
  fs::remove_all(dir);
  ASSERT_TRUE(lines) << "the probe did not run";

  // The positions each page should have a cell for: shown, and not covered by a merged area
  // whose first shown position is elsewhere.
  std::set<std::string> expected;
  for (int32_t row = 1; row <= 13; ++row) {
    for (int32_t col = 1; col <= 6; ++col) {
      if (sheet.RowHidden(row) || sheet.ColumnHidden(col)) continue;
      const model::CellArea* a = sheet.MergedArea(row, col);
      if (a && (row != a->firstRow || col != a->firstCol)) continue;
      expected.insert(conv::ColumnLetters(int16_t(col)) + std::to_string(row));
    }
  }
  std::map<int, std::set<std::string>> seen;
  for (const std::string& line : *lines) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    for (std::string x; std::getline(ss, x, '|');) f.push_back(x);
    while (f.size() < 16) f.push_back("");
    const int frame = std::stoi(f[0]);
    const int32_t row = std::stoi(f[1]);
    const int16_t col = conv::ColumnNumber(f[2]);
    seen[frame].insert(f[2] + f[1]);
    const std::vector<std::string> want = Expected(sheet, row, col);
    const std::string where = "page " + std::to_string(frame) + " " + f[2] + f[1] + ": " + line;
    for (size_t i = 0; i < want.size(); ++i) {
      const std::string& got = f[3 + i];
      if (i >= 9 && want[i].empty()) {
        // No own border: a left or top gridline, or none; nothing on the right or bottom.
        const bool leftOrTop = i == 9 || i == 12;
        EXPECT_TRUE(got.rfind("none", 0) == 0 || (leftOrTop && got == "solid rgb(212, 212, 212)"))
            << where << " side " << i - 9;
      } else if (!want[i].empty() || i < 3) {
        EXPECT_EQ(got, want[i]) << where << " field " << i;
      }
    }
  }
  for (int frame = 0; frame < 3; ++frame) EXPECT_EQ(seen[frame], expected) << "page " << frame;
}

}  // namespace
}  // namespace gridwell
