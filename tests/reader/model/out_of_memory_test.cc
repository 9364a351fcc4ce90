// Memory running out anywhere in a read is reported, never thrown: every boundary of the
// reader turns std::bad_alloc into the out-of-memory status. Each case makes one
// allocation after another fail (a sample of them) and checks that the read then reports
// that status or, where the reader has a fallback, still gives the whole workbook.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>

#include "reader/reader.h"
#include "reader/xls/xls_reader.h"
#include "reader/xlsx/xlsx_reader.h"

namespace {
std::atomic<long> g_allocations{0};
std::atomic<long> g_failAt{0};  // the number of the allocation that fails; 0 for none
}  // namespace

void* operator new(std::size_t n) {
  if (++g_allocations == g_failAt.load(std::memory_order_relaxed)) throw std::bad_alloc();
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
// Not inlined: GCC would take the free() for a mismatch with the new of its callers.
__attribute__((noinline)) void operator delete(void* p) noexcept {
  std::free(p);
}
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace gridwell {
namespace {

std::string Fixture(const std::string& rel) {
  return std::string(GRIDWELL_SOURCE_DIR) + "/tests/data/" + rel;
}

// Sheet names and the text of every stored cell.
std::string Fingerprint(const std::shared_ptr<model::Workbook>& model) {
  std::string out;
  const ReaderWorksheets sheets = ReaderWorkbook(model).Worksheets();
  for (int s = 1; s <= sheets.Count(); ++s) {
    const ReaderCells cells = sheets.Item(s).Cells();
    out.append(sheets.Item(s).Name()).append("\n");
    for (int i = 1; i <= cells.Count(); ++i) out.append(cells.Item(i).Text()).append("\t");
  }
  return out;
}

TEST(ReaderOutOfMemory, EveryEntryPointReportsItAsAStatus) {
  const std::string password = "quorin";
  const std::string values = Fixture("xlsx/values.xlsx"), sheets = Fixture("xlsx/sheets.xlsx"),
                    xls = Fixture("xls/values.xls"), styles = Fixture("xls/styles.xls"),
                    rc4 = Fixture("encrypted/values_rc4cryptoapi.xls"),
                    agile = Fixture("encrypted/values_agile.xlsx");
  ReadLimits inRuns;
  inRuns.splitSheetsFrom = 1;  // rows parsed in runs on a second thread
  const auto load = [](const std::string& path, const std::string* pw) {
    WorkbookLoader loader;
    if (pw) {
      loader.OpenWithPassword(path, *pw);
    } else {
      loader.Open(path);
    }
    g_failAt = 0;  // what follows is the test's own copy of the outcome
    return ReadResult(loader.LastStatus(), loader.Workbook().Model());
  };
  struct Case {
    const char* name;
    std::function<ReadResult()> read;
  };
  const Case cases[] = {
      {".xlsx", [&] { return xlsx::ReadFile(values); }},
      {".xlsx in runs", [&] { return xlsx::ReadFile(sheets, inRuns); }},
      {".xls", [&] { return xls::ReadFile(xls, nullptr); }},
      {"loader, .xls", [&] { return load(styles, nullptr); }},
      {"loader, encrypted .xls", [&] { return load(rc4, &password); }},
      {"loader, encrypted .xlsx", [&] { return load(agile, &password); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const long before = g_allocations.load();
    const ReadResult clean = c.read();
    const long total = g_allocations.load() - before;
    ASSERT_TRUE(clean.status.Ok()) << clean.status.Detail();
    const std::string whole = Fingerprint(clean.workbook);
    int reported = 0;
    for (long k = 1; k <= total; k += std::max(1L, total / 100)) {
      g_failAt = g_allocations.load() + k;
      const ReadResult r = c.read();
      g_failAt = 0;
      if (r.status.Ok()) {
        EXPECT_EQ(Fingerprint(r.workbook), whole) << "allocation " << k;
      } else {
        EXPECT_EQ(r.status.Code(), StatusCode::OutOfMemory) << k << ": " << r.status.Detail();
        ++reported;
      }
    }
    EXPECT_GT(reported, 0);
  }
}

}  // namespace
}  // namespace gridwell
