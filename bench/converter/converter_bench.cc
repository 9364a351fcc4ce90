// Cell value formatting (display text and colour override) for the common formats, and
// whole pages written from an in-memory sheet, in cells per second.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "converter/cell_value.h"
#include "converter/cls_concat.h"
#include "converter/page_writer.h"
#include "reader/reader.h"

namespace gridwell {
namespace {

constexpr int kRows = 10000;

// One column of kRows cells with format `index`, values spread over signs and magnitudes.
struct Column {
  std::shared_ptr<model::Workbook> book = std::make_shared<model::Workbook>();
  std::vector<ReaderCell> cells;
  std::vector<CellValue> values;

  Column(uint16_t index, bool dates) {
    model::Sheet& s = book->AddSheet("S");
    model::CellStyle st;
    st.numFmtId = index;
    const uint32_t style = book->AddStyle(st);
    for (int r = 1; r <= kRows; ++r) {
      const double v = dates ? 36000 + r * 0.37 : (r % 2 ? -1 : 1) * (r * 12.345 + r % 7 * 1e5);
      if (dates) {
        s.SetDate(r, 1, v, style);
      } else {
        s.SetNumber(r, 1, v, style);
      }
    }
    book->Finish();
    ReaderCells rc = ReaderWorkbook(book).Worksheets().Item(1).Cells();
    for (int r = 1; r <= kRows; ++r) {
      cells.push_back(rc.Cell(r, 1));
      values.push_back(cells.back().Value());
    }
  }
};

void Format(benchmark::State& state, uint16_t index, bool dates) {
  Column col(index, dates);
  conv::CellValueFormatter f;
  std::string display;
  for (auto _ : state) {
    for (int i = 0; i < kRows; ++i) {
      benchmark::DoNotOptimize(f.Format(col.cells[i], col.values[i], display));
      benchmark::DoNotOptimize(display.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_General(benchmark::State& s) {
  Format(s, 0, false);
}  // the reader text
void BM_Fixed2(benchmark::State& s) {
  Format(s, 3, false);
}  // "0.00"
void BM_Grouped(benchmark::State& s) {
  Format(s, 4, false);
}  // "#,##0"
void BM_ShortDate(benchmark::State& s) {
  Format(s, 14, true);
}  // m/d/yyyy
void BM_CurrencyRed(benchmark::State& s) {
  Format(s, 8, false);
}  // red negatives
BENCHMARK(BM_General);
BENCHMARK(BM_Fixed2);
BENCHMARK(BM_Grouped);
BENCHMARK(BM_ShortDate);
BENCHMARK(BM_CurrencyRed);

// A whole page of rows x 10 cells of mixed kinds, formats and fonts: plain, styled, and styled
// with one class per distinct look.
void Page(benchmark::State& state, bool styled, bool compact = false, bool sheetLook = false) {
  const int rows = static_cast<int>(state.range(0));
  auto book = std::make_shared<model::Workbook>();
  model::Sheet& s = book->AddSheet("S");
  model::CellStyle money;
  money.numFmtId = 8;
  model::CellStyle filled;
  filled.fillPattern = 1;
  filled.fillColor = 0xF7EBDD;
  filled.borderStyle[0] = filled.borderStyle[1] = filled.borderStyle[2] = filled.borderStyle[3] = 1;
  const uint32_t m = book->AddStyle(money), fl = book->AddStyle(filled);
  model::CellStyle date;
  date.numFmtId = 14;
  const uint32_t d = book->AddStyle(date);
  for (int r = 1; r <= rows; ++r) {
    s.SetNumber(r, 1, r);
    s.SetString(r, 2, r % 2 ? "North" : "South");
    s.SetString(r, 3, "Item " + std::to_string(r % 5000), fl);
    s.SetDate(r, 4, 36000 + r % 9000, d);
    s.SetNumber(r, 5, (r % 1000) * 1.25 + 0.99, m);
    s.SetNumber(r, 6, (r % 97) / 97.0);
    s.SetNumber(r, 7, r * 3.14159);
    s.SetString(r, 8, "shipped");
    s.SetNumber(r, 9, -(r % 333), fl);
    s.SetBool(r, 10, r & 1);
  }
  book->Finish();
  const ReaderWorksheet sheet = ReaderWorkbook(book).Worksheets().Item(1);
  clsHTML settings;
  settings.CompactStyles = compact ? kTrue : kFalse;
  settings.SheetLook = sheetLook ? kTrue : kFalse;
  size_t bytes = 0;
  for (auto _ : state) {
    clsConcat page;
    conv::AppendPage(page, settings, sheet, {}, styled);
    const std::string text = page.GetString();
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetItemsProcessed(state.iterations() * rows * 10);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
void BM_PlainPage(benchmark::State& s) {
  Page(s, false);
}
void BM_StyledPage(benchmark::State& s) {
  Page(s, true);
}
void BM_CompactPage(benchmark::State& s) {
  Page(s, true, true);
}
// The same pages drawn as the sheet.
void BM_PlainSheetLook(benchmark::State& s) {
  Page(s, false, false, true);
}
void BM_StyledSheetLook(benchmark::State& s) {
  Page(s, true, false, true);
}
void BM_CompactSheetLook(benchmark::State& s) {
  Page(s, true, true, true);
}
BENCHMARK(BM_PlainPage)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StyledPage)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompactPage)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainSheetLook)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StyledSheetLook)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompactSheetLook)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace gridwell

BENCHMARK_MAIN();
