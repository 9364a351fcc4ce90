// Memory and speed of the cell store: bytes per stored cell (beside the string bytes),
// build rate and lookup rate.
#include <benchmark/benchmark.h>

#include <string>

#include "reader/model/workbook.h"

namespace {

using gridwell::model::Sheet;
using gridwell::model::Workbook;

// 100,000 rows by 10 columns: numbers, shared strings (one in ten distinct), Booleans.
void Fill(Workbook& book, Sheet& s, int rows) {
  std::vector<uint32_t> ids;
  for (int i = 0; i < rows / 10 + 1; ++i)
    ids.push_back(book.Strings().Add("item " + std::to_string(i)));
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= 10; ++c) {
      if (c % 3 == 0)
        s.SetSharedString(r, c, ids[r / 10], 1);
      else if (c == 10)
        s.SetBool(r, c, r & 1);
      else
        s.SetNumber(r, c, r * 0.5 + c, 2);
    }
  }
}

void BM_StoreMemory(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  double perCell = 0, stringBytes = 0;
  for (auto _ : state) {
    Workbook book;
    Sheet& s = book.AddSheet("S");
    Fill(book, s, rows);
    book.Finish();
    perCell = double(s.Cells().MemoryUsage()) / double(s.Cells().Count());
    stringBytes = double(book.Strings().MemoryUsage());
    benchmark::DoNotOptimize(s.Cells().Count());
  }
  state.counters["bytes_per_cell"] = perCell;
  state.counters["string_pool_bytes"] = stringBytes;
  state.SetItemsProcessed(state.iterations() * rows * 10);
}
BENCHMARK(BM_StoreMemory)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_Lookup(benchmark::State& state) {
  Workbook book;
  Sheet& s = book.AddSheet("S");
  Fill(book, s, 100000);
  book.Finish();
  uint32_t r = 1, c = 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(s.Cells().Find(r, c));
    if (++c > 10) {
      c = 1;
      if (++r > 100000) r = 1;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Lookup);

}  // namespace

BENCHMARK_MAIN();
