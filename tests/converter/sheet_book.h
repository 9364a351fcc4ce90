// A workbook for the sheet-look tests, built in memory: what a sheet shows beyond its cells.
#pragma once

#include "test_book.h"
#include "tests/support/conditional_looks.h"

namespace gridwell::testing {

// A sheet with a merged title, a bordered and filled table with empty cells, a hidden row and
// column, a row and a column formatted as a whole, conditional looks (a fill, a bar), and
// long texts.
inline TestBook SheetBook() {
  TestBook b;
  model::CellStyle boxed;
  for (int side = 0; side < 4; ++side) {
    boxed.borderStyle[side] = 1;
    boxed.borderColor[side] = 0x0000FF;
  }
  const uint32_t box = b.Style(boxed);
  model::CellStyle banded;
  banded.fillPattern = 1;
  banded.fillColor = 0xCCFFFF;
  const uint32_t band = b.Style(banded);
  model::CellStyle dashedBottom;
  dashedBottom.borderStyle[model::kBottom] = 3;
  const uint32_t dashed = b.Style(dashedBottom);
  b.sheet->SetString(1, 1, "Title");
  b.sheet->Layout().AddMerge({1, 1, 2, 3});
  for (int32_t r = 3; r <= 12; ++r) {
    for (int32_t c = 1; c <= 5; ++c) {
      if ((r + c) % 3 == 0) {
        b.sheet->SetBlank(r, c, box);
      } else {
        b.sheet->SetNumber(r, c, r * 10 + c, r == 6 ? dashed : box);
      }
    }
  }
  b.sheet->Layout().AddMerge({8, 2, 10, 3});  // crosses block boundaries below
  b.sheet->Layout().HideRows(5, 5);
  b.sheet->Layout().HideColumns(4, 4);
  b.sheet->Layout().SetRowStyle(13, band);
  b.sheet->Layout().SetColumnStyle(6, 6, band);
  b.sheet->SetNumber(13, 6, 1);  // a stored cell keeps its own look
  model::ConditionalLook red;
  red.format.fillColor = 0x0000FF;
  red.format.bold = true;
  model::ConditionalLooksForTests::Set(b.sheet->Conditional(), 3, 1, red);
  model::ConditionalLook bar;
  bar.hasBar = true;
  bar.barFraction = 0.425;
  bar.barColor = 0xC68E63;
  model::ConditionalLooksForTests::Set(b.sheet->Conditional(), 4, 2, bar);
  model::ConditionalLook marked;
  marked.format.fontColor = 0x008000;
  marked.format.italic = true;
  marked.format.underline = 1;
  marked.format.borderStyle[model::kLeft] = 5;
  marked.format.borderColor[model::kLeft] = 0x800000;
  model::ConditionalLooksForTests::Set(b.sheet->Conditional(), 9, 5, marked);
  model::ConditionalLooksForTests::SetUnevaluated(b.sheet->Conditional(), 2);
  // Text longer than its column: beside an empty position, and beside a value.
  b.sheet->SetString(14, 1, "a text that spills into the empty position beside it");
  b.sheet->SetNumber(14, 3, 7);
  b.sheet->SetString(15, 1, "a text cut at the value beside it");
  b.sheet->SetNumber(15, 2, 8);
  b.book->Finish();
  return b;
}

}  // namespace gridwell::testing
