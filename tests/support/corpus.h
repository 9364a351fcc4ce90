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
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

// One workbook of MANIFEST.tsv: its path in the corpus, its format ("xls", "xlsx", ...),
// whether it is encrypted ("yes" or "no"), its password (empty or "(unknown)" when none is
// known) and the notes on what it holds.
struct ManifestEntry {
  std::string path, format, encrypted, password, notes;
  bool KnownPassword() const { return !password.empty() && password != "(unknown)"; }
};

// The manifest's workbooks in its order; none when there is no corpus.
inline std::vector<ManifestEntry> Manifest() {
  std::ifstream in(CorpusPath("MANIFEST.tsv"));
  std::vector<ManifestEntry> out;
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    std::string field;
    while (std::getline(ss, field, '\t')) f.push_back(field);
    if (f.size() < 5) continue;
    out.push_back({f[0], f[2], f[3], f[4], f.size() > 5 ? f[5] : std::string()});
  }
  return out;
}

// The manifest's encrypted workbooks, each password empty where the manifest does not know it.
inline std::vector<ManifestEntry> EncryptedManifest() {
  std::vector<ManifestEntry> out;
  for (ManifestEntry& e : Manifest()) {
    if (e.encrypted != "yes") continue;
    if (!e.KnownPassword()) e.password.clear();
    out.push_back(std::move(e));
  }
  return out;
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
