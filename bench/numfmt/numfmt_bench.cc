// Cells per second for the number formats that most workbooks use. Each iteration renders
// one cell into a reused buffer, as the reader's Text and the page writers do.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "reader/numfmt/numfmt.h"

namespace {

using gridwell::numfmt::Compile;
using gridwell::numfmt::FormatCache;
using gridwell::numfmt::FormatNumber;

// Values of the kinds a sheet holds: amounts with cents, counts, negatives, dates.
std::vector<double> Values(bool dates) {
  std::mt19937_64 rng(42);
  std::vector<double> v(4096);
  std::uniform_real_distribution<double> amount(-100000, 100000);
  std::uniform_int_distribution<int> day(30000, 50000);
  for (size_t i = 0; i < v.size(); ++i) {
    if (dates) {
      v[i] = day(rng) + (i % 4 == 0 ? 0.5 : 0);
    } else if (i % 3 == 0) {
      v[i] = static_cast<double>(static_cast<int64_t>(amount(rng)));
    } else {
      v[i] = static_cast<int64_t>(amount(rng) * 100) / 100.0;
    }
  }
  return v;
}

void Run(benchmark::State& state, const char* code, bool dates) {
  auto format = Compile(code);
  std::vector<double> values = Values(dates);
  std::string out;
  out.reserve(64);
  size_t i = 0;
  for (auto _ : state) {
    out.clear();
    FormatNumber(values[i++ & 4095], *format, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void BM_General(benchmark::State& s) {
  Run(s, "General", false);
}
void BM_TwoDecimals(benchmark::State& s) {
  Run(s, "0.00", false);
}
void BM_Grouped(benchmark::State& s) {
  Run(s, "#,##0", false);
}
void BM_ShortDate(benchmark::State& s) {
  Run(s, "m/d/yyyy", true);
}
void BM_CurrencyRedNegative(benchmark::State& s) {
  Run(s, "$#,##0.00_);[Red]($#,##0.00)", false);
}
void BM_DateTime(benchmark::State& s) {
  Run(s, "m/d/yyyy h:mm", true);
}

// The reader's path: look the code up in the cache for every cell, then format.
void BM_CachedLookupAndFormat(benchmark::State& state) {
  FormatCache cache;
  const std::string codes[] = {"General", "0.00", "#,##0", "$#,##0.00_);[Red]($#,##0.00)"};
  std::vector<double> values = Values(false);
  std::string out;
  out.reserve(64);
  size_t i = 0;
  for (auto _ : state) {
    out.clear();
    // Runs of cells in one column share a format; switch every 16 cells.
    const std::string& code = codes[(i >> 4) & 3];
    FormatNumber(values[i++ & 4095], cache.Get(code), out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void BM_IsDateFormat(benchmark::State& state) {
  const char* codes[] = {"#,##0.00", "m/d/yyyy", "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\)",
                         "[$-409]dddd, mmmm dd, yyyy"};
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(gridwell::numfmt::IsDateFormat(codes[i++ & 3]));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

BENCHMARK(BM_General);
BENCHMARK(BM_TwoDecimals);
BENCHMARK(BM_Grouped);
BENCHMARK(BM_ShortDate);
BENCHMARK(BM_CurrencyRedNegative);
BENCHMARK(BM_DateTime);
BENCHMARK(BM_CachedLookupAndFormat);
BENCHMARK(BM_IsDateFormat);

}  // namespace

BENCHMARK_MAIN();
