// Times reading the .xls benchmark workbook: open (compound file, records, the whole
// in-memory workbook) and a visit of every cell's value, text and format, as the page
// writers do. Prints peak memory (max RSS).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "bench/open_workbook.h"
#include "reader/reader.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: xls_read_bench <file.xls> [repeats]\n");
    return 2;
  }
  int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
  using clock = std::chrono::steady_clock;
  double best = 1e9, bestOpen = 1e9;
  unsigned long long cells = 0, strings = 0, dates = 0, formats = 0;
  double sum = 0;
  for (int rep = 0; rep < repeats; ++rep) {
    cells = strings = dates = formats = 0;
    sum = 0;
    auto t0 = clock::now();
    gridwell::ReaderApplication app;
    gridwell::ReaderWorkbook wb = bench::OpenOrExit(app, argv[1]);
    auto t1 = clock::now();
    for (int s = 1; s <= wb.Worksheets().Count(); ++s) {
      gridwell::ReaderCells all = wb.Worksheets().Item(s).Cells();
      for (int i = 1; i <= all.Count(); ++i) {
        gridwell::ReaderCell c = all.Item(i);
        gridwell::CellValue v = c.Value();
        ++cells;
        if (v.kind == gridwell::ValueKind::Date) ++dates;
        if (v.kind == gridwell::ValueKind::String) strings += !v.text.empty();
        sum += v.number;
        formats +=
            c.Bold() + (c.FillColor() != 0) + c.NumberFormatIndex() + c.HorizontalAlignment();
      }
    }
    auto t2 = clock::now();
    double open = std::chrono::duration<double>(t1 - t0).count();
    double total = std::chrono::duration<double>(t2 - t0).count();
    if (total < best) best = total;
    if (open < bestOpen) bestOpen = open;
  }
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  std::printf("cells %llu (strings %llu, dates %llu), checksum %.3f/%llu\n", cells, strings, dates,
              sum, formats);
  std::printf("open_seconds %.3f\n", bestOpen);
  std::printf("gridwell_seconds %.3f\n", best);
  std::printf("peak_kb %ld\n", ru.ru_maxrss);
  return 0;
}
