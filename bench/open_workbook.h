// The read benchmarks' first step: open a workbook or stop the program with the reason.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "reader/reader.h"

namespace bench {

inline gridwell::ReaderWorkbook OpenOrExit(gridwell::ReaderApplication& app, const char* path) {
  if (!app.Workbooks().Open(path)) {
    std::fprintf(stderr, "cannot read %s: %s\n", path,
                 app.Workbooks().LastStatus().Detail().c_str());
    std::exit(1);
  }
  return app.Workbooks().Workbook();
}

}  // namespace bench
