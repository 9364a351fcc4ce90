// Times reading the benchmark workbook: open (the whole package into the in-memory
// workbook) and a visit of every cell's value and format, as the page writers do. Also
// measures the floor: inflating the sheet XML alone. Prints peak memory (max RSS).
#include <sys/resource.h>
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/open_workbook.h"
#include "reader/reader.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// Processor time (user + system) of this process so far: on a shared, loaded machine it
// says more than the wall clock.
double CpuSeconds() {
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec +
         ru.ru_stime.tv_usec / 1e6;
}

// Inflates every worksheet part; returns the uncompressed bytes.
uint64_t InflateSheets(const char* path) {
  int err = 0;
  zip_t* z = zip_open(path, ZIP_RDONLY, &err);
  if (!z) return 0;
  uint64_t total = 0;
  std::vector<char> buf(1 << 18);
  for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
    std::string name = zip_get_name(z, static_cast<zip_uint64_t>(i), 0);
    if (name.find("worksheets/sheet") == std::string::npos) continue;
    zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
    zip_int64_t n;
    while ((n = zip_fread(f, buf.data(), buf.size())) > 0) total += static_cast<uint64_t>(n);
    zip_fclose(f);
  }
  zip_close(z);
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: xlsx_read_bench <file.xlsx>\n");
    return 2;
  }
  using clock = std::chrono::steady_clock;
  double cpu0 = CpuSeconds();
  auto t0 = clock::now();
  gridwell::ReaderApplication app;
  gridwell::ReaderWorkbook wb = bench::OpenOrExit(app, argv[1]);
  auto t1 = clock::now();
  uint64_t cells = 0, dates = 0, strings = 0, bold = 0;
  double sum = 0;
  for (int s = 1; s <= wb.Worksheets().Count(); ++s) {
    gridwell::ReaderWorksheet ws = wb.Worksheets().Item(s);
    gridwell::ReaderCells all = ws.Cells();
    for (int i = 1; i <= all.Count(); ++i) {
      gridwell::ReaderCell c = all.Item(i);
      gridwell::ReaderCell same = all.Cell(c.Row(), c.Column());  // lookup by position
      gridwell::CellValue v = same.Value();
      ++cells;
      if (v.kind == gridwell::ValueKind::Date) ++dates;
      if (v.kind == gridwell::ValueKind::String) strings += v.text.size() > 0;
      sum += v.number;
      bold += c.Bold() + (c.FillColor() != 0) + c.NumberFormatIndex() + c.HorizontalAlignment();
    }
  }
  auto t2 = clock::now();
  double cpu = CpuSeconds() - cpu0;
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  long peakKb = ru.ru_maxrss;
  auto t3 = clock::now();
  uint64_t xmlBytes = InflateSheets(argv[1]);
  auto t4 = clock::now();
  std::printf("cells %llu (dates %llu, strings %llu), checksum %.3f/%llu\n",
              static_cast<unsigned long long>(cells), static_cast<unsigned long long>(dates),
              static_cast<unsigned long long>(strings), sum, static_cast<unsigned long long>(bold));
  std::printf("open %.3f s, visit %.3f s, total %.3f s\n", Seconds(t0, t1), Seconds(t1, t2),
              Seconds(t0, t2));
  std::printf("processor time %.3f s\n", cpu);
  std::printf("inflate floor %.3f s for %.1f MB of sheet XML\n", Seconds(t3, t4), xmlBytes / 1e6);
  std::printf("peak memory %.1f MB = %.2f x the sheet XML\n", peakKb / 1024.0,
              peakKb * 1024.0 / static_cast<double>(xmlBytes ? xmlBytes : 1));
  std::printf("gridwell_cpu_seconds %.3f\n", cpu);
  std::printf("gridwell_seconds %.3f\ngridwell_peak_kb %ld\nsheet_xml_bytes %llu\n",
              Seconds(t0, t2), peakKb, static_cast<unsigned long long>(xmlBytes));
  return 0;
}
