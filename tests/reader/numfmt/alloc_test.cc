// Formatting a cell by a compiled format allocates nothing beyond the output text.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "reader/numfmt/numfmt.h"

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t n) {
  ++g_allocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace gridwell::numfmt {
namespace {

TEST(NumFmtAllocations, CommonFormatsRenderWithoutAllocating) {
  const char* codes[] = {
      "General",  "0.00",  "#,##0",     "m/d/yyyy",   "$#,##0.00_);[Red]($#,##0.00)",
      "0.00E+00", "# ?/?", "[h]:mm:ss", "h:mm AM/PM", "0%"};
  const double values[] = {0, 1234.5, -1234.5, 39886.75, 1e-7, 123456789012.0};
  for (const char* code : codes) {
    auto format = Compile(code);
    std::string out;
    out.reserve(256);
    for (double v : values) {
      out.clear();
      long before = g_allocations.load();
      FormatNumber(v, *format, out);
      EXPECT_EQ(g_allocations.load(), before) << code << " with " << v;
    }
  }
  FormatCache cache;
  cache.Get("0.00");
  long before = g_allocations.load();
  cache.Get("0.00");
  EXPECT_EQ(g_allocations.load(), before) << "a cached code is looked up without allocating";
}

}  // namespace
}  // namespace gridwell::numfmt
