// A workbook that uses every feature the pages show: fonts, fills, borders, alignment,
// indentation, number formats, dates, links, comments, formulas, non-ASCII text and texts
// that look like markup.
#pragma once

#include "test_book.h"

namespace gridwell::testing {

inline TestBook ShowcaseBook() {
  TestBook b;
  model::Sheet& s = *b.sheet;
  s.SetColumnWidth(1, 1, 14);
  s.SetColumnWidth(2, 3, 10.5);
  s.SetRowHeight(1, 300);
  s.SetRowHeight(4, 480);

  model::Font bold;
  bold.bold = true;
  bold.size = 12;
  bold.color = 0xFFFFFF;
  model::CellStyle header;
  header.hAlign = 2;
  header.vAlign = 1;
  header.fillPattern = 1;
  header.fillColor = 0x7F3F00;
  header.borderStyle[model::kBottom] = 2;
  header.borderColor[model::kBottom] = 0x000000;
  header.borderStyle[model::kTop] = 1;
  header.borderColor[model::kTop] = 0x808080;
  const uint32_t h = b.Style(header, &bold);
  const char* titles[] = {"Item", "Amount", "Share", "When", "Done", "Check"};
  for (int c = 0; c < 6; ++c) s.SetString(1, c + 1, titles[c], h);

  s.SetString(2, 1, "Widgets");
  s.SetNumber(2, 2, 1234.5, b.NumFmt(4));
  s.SetNumber(2, 3, 0.125, b.NumFmt(10));
  s.SetDate(2, 4, 39886.75, b.NumFmt(22));
  s.SetBool(2, 5, true);
  s.SetError(2, 6, ErrorCode::Div0);

  s.SetString(3, 1, "Refunds");
  s.SetNumber(3, 2, -5, b.NumFmt(6));
  s.SetNumber(3, 3, -1000, b.NumFmt(23));
  s.SetDate(3, 4, 39886, b.NumFmt(14));
  s.SetBool(3, 5, false);
  s.SetNumber(3, 6, 6.5, b.NumFmt(2));
  s.SetFormula(3, 6, "=B3+11.5");
  s.SetComment(3, 6, "Tom's note: <b>check</b> & \"verify\"");

  s.SetString(4, 1, "http://www.example.com/a?b=1&c=2");
  s.SetString(4, 2, "someone@example.com");
  s.SetString(4, 3, "<script>alert(1)</script>");
  s.SetString(
      4, 4,
      "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0");
  s.SetString(4, 5, "It's \"quoted\" & <b>bold</b>");

  model::Font strikeSup;
  strikeSup.strike = true;
  strikeSup.escapement = 1;
  model::Font sub;
  sub.escapement = 2;
  sub.name = "Courier New";
  model::Font italic;
  italic.italic = true;
  italic.underline = 2;
  italic.size = 14;
  italic.color = 0xFF0000;
  model::CellStyle wrapped;
  wrapped.wrap = true;
  wrapped.indent = 2;
  wrapped.vAlign = 0;
  wrapped.hAlign = 1;
  model::CellStyle boxed;
  for (int side = 0; side < 4; ++side) {
    boxed.borderStyle[side] = static_cast<uint8_t>(side * 4 + 1);
    boxed.borderColor[side] = 0x0000FF;
  }
  s.SetString(5, 1, "struck", b.Style({}, &strikeSup));
  s.SetString(5, 2, "H2O", b.Style({}, &sub));
  s.SetString(5, 3, "Italic", b.Style({}, &italic));
  s.SetString(5, 4, "A long text that wraps", b.Style(wrapped));
  s.SetNumber(5, 5, 42, b.Style(boxed));
  s.SetNumber(5, 6, 1e-7, b.NumFmt(49));  // the general text
  return b;
}

}  // namespace gridwell::testing
