// `gridwell sheets` and `gridwell cells`: argument handling, exit codes and output format.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/workbook_args.h"

namespace gridwell::cli {
namespace {

struct Run {
  int code;
  std::string out;
};

// Runs the built CLI through the shell; stderr is dropped so output comparisons stay exact.
Run RunCli(const std::string& args) {
  std::string cmd = std::string(GRIDWELL_CLI) + " " + args + " 2>/dev/null";
  Run r{-1, {}};
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

TEST(CellReferences, ParseAndName) {
  struct Case {
    const char* text;
    bool ok;
    int32_t row, col;
  } cases[] = {
      {"A1", true, 1, 1},    {"b12", true, 12, 2},
      {"$C$7", true, 7, 3},  {"XFD1048576", true, 1048576, 16384},
      {"XFE1", false, 0, 0}, {"A1048577", false, 0, 0},
      {"A0", false, 0, 0},   {"1A", false, 0, 0},
      {"", false, 0, 0},     {"ABCD1", false, 0, 0},
      {"A1B", false, 0, 0},
  };
  for (const Case& c : cases) {
    int32_t r = 0, col = 0;
    EXPECT_EQ(ParseCellRef(c.text, r, col), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(r, c.row) << c.text;
      EXPECT_EQ(col, c.col) << c.text;
    }
  }
  EXPECT_EQ(ColumnName(1), "A");
  EXPECT_EQ(ColumnName(26), "Z");
  EXPECT_EQ(ColumnName(27), "AA");
  EXPECT_EQ(ColumnName(256), "IV");
  EXPECT_EQ(ColumnName(257), "IW");
  EXPECT_EQ(ColumnName(16384), "XFD");
}

TEST(CellReferences, Ranges) {
  CellRange r;
  ASSERT_TRUE(ParseRange("$B$2:D5", r));
  EXPECT_EQ(r.firstRow, 2);
  EXPECT_EQ(r.firstCol, 2);
  EXPECT_EQ(r.lastRow, 5);
  EXPECT_EQ(r.lastCol, 4);
  ASSERT_TRUE(ParseRange("D5:B2", r));  // reversed corners mean the same cells
  EXPECT_EQ(r.firstRow, 2);
  EXPECT_EQ(r.lastCol, 4);
  ASSERT_TRUE(ParseRange("C7", r));
  EXPECT_TRUE(r.Contains(7, 3));
  EXPECT_FALSE(r.Contains(7, 4));
  EXPECT_FALSE(ParseRange("A1:", r));
  EXPECT_FALSE(ParseRange("A1:B2:C3", r));
}

TEST(Cli, UsageErrorsAndExitCodes) {
  EXPECT_EQ(RunCli("").code, kUsage);
  EXPECT_EQ(RunCli("frobnicate").code, kUsage);
  EXPECT_EQ(RunCli("--help").code, kOk);
  EXPECT_EQ(RunCli("sheets --help").code, kOk);
  EXPECT_EQ(RunCli("cells --help").code, kOk);
  EXPECT_EQ(RunCli("sheets").code, kUsage);
  EXPECT_EQ(RunCli("cells book.xlsx --bogus").code, kUsage);
  EXPECT_EQ(RunCli("cells book.xlsx --sheet").code, kUsage);
  EXPECT_EQ(RunCli("cells book.xlsx --range nonsense").code, kUsage);
  EXPECT_EQ(RunCli("sheets /nonexistent/book.xlsx").code, kUnreadable);
  EXPECT_EQ(RunCli(std::string("sheets ") + GRIDWELL_SOURCE_DIR + "/CMakeLists.txt").code,
            kUnreadable);
}

}  // namespace
}  // namespace gridwell::cli
