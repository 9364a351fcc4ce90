// Where the tests find the real-workbook corpus (workbooks written by real spreadsheet
// programs, with a MANIFEST.tsv that documents each file). It is not part of the project:
// a clone of the project alone has none, and the tests that need it skip with one line.
//
// The folder is $GRIDWELL_CORPUS_DIR when set, else the one the build was configured with
// (CMake's GRIDWELL_CORPUS_DIR, by default ../shared/corpus beside the source tree).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace gridwell::test {

inline const std::string& CorpusDir() {
  static const std::string dir = [] {
    const char* env = std::getenv("GRIDWELL_CORPUS_DIR");
    return std::string(env != nullptr && *env != '\0' ? env : GRIDWELL_CORPUS_DIR);
  }();
  return dir;
}

// The corpus is there when its manifest is.
inline bool HaveCorpus() {
  std::error_code ec;
  return std::filesystem::is_regular_file(CorpusDir() + "/MANIFEST.tsv", ec);
}

inline std::string CorpusPath(const std::string& rel) {
  return CorpusDir() + "/" + rel;
}

// Whether the corpus was asked for by name ($GRIDWELL_CORPUS_DIR set): then a missing corpus
// is a failure, not a skip, so that a run that means to read it cannot pass without it.
inline bool CorpusRequired() {
  const char* env = std::getenv("GRIDWELL_CORPUS_DIR");
  return env != nullptr && *env != '\0';
}

}  // namespace gridwell::test

// First statement of every test that reads the corpus: skips the test when it is absent.
#define GRIDWELL_REQUIRE_CORPUS()                                                           \
  do {                                                                                      \
    if (!::gridwell::test::HaveCorpus()) {                                                  \
      if (::gridwell::test::CorpusRequired()) {                                             \
        FAIL() << "real-workbook corpus not found at " << ::gridwell::test::CorpusDir()     \
               << " (named by GRIDWELL_CORPUS_DIR)";                                        \
      }                                                                                     \
      GTEST_SKIP() << "real-workbook corpus not found at " << ::gridwell::test::CorpusDir() \
                   << ": skipped; set GRIDWELL_CORPUS_DIR";                                 \
    }                                                                                       \
  } while (0)
