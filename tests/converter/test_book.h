// Small in-memory workbooks for the converter tests.
#pragma once

#include <memory>
#include <string>

#include "converter/cls_concat.h"
#include "converter/cls_html.h"
#include "converter/page_writer.h"
#include "reader/reader.h"

namespace gridwell::testing {

struct TestBook {
  std::shared_ptr<model::Workbook> book = std::make_shared<model::Workbook>();
  model::Sheet* sheet = &book->AddSheet("Sheet1");

  // A style with the given number format id and font (added as a new font).
  uint32_t Style(model::CellStyle s = {}, const model::Font* font = nullptr) {
    if (font) s.fontIndex = book->AddFont(*font);
    return book->AddStyle(s);
  }
  uint32_t NumFmt(uint16_t id) {
    model::CellStyle s;
    s.numFmtId = id;
    return book->AddStyle(s);
  }
  ReaderWorksheet Worksheet(int n = 1) const { return ReaderWorkbook(book).Worksheets().Item(n); }
  ReaderCell Cell(int32_t row, int32_t col) const { return Worksheet().Cells().Cell(row, col); }

  std::string Page(const clsHTML& settings, bool styled, const conv::PageDecoration& d = {}) const {
    clsConcat c;
    conv::AppendPage(c, settings, Worksheet(), d, styled);
    return c.GetString();
  }
};

}  // namespace gridwell::testing
