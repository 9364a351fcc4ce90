// `gridwell sheets` and `gridwell cells`: argument handling, exit codes and output format.
#include <gtest/gtest.h>

#include <string>

#include "cli/commands.h"
#include "cli/workbook_args.h"
#include "tests/cli/shell_run.h"

namespace gridwell::cli {
namespace {

// Runs the built CLI; stderr is dropped so output comparisons stay exact.
ShellRun RunCli(const std::string& args) {
  return RunShell(std::string(GRIDWELL_CLI) + " " + args + " 2>/dev/null");
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

// The same workbook as .xlsx (written by libxlsxwriter) and as .xls (saved by Gnumeric), and
// encrypted copies: the listing is what the reader sees, whatever the file format.
TEST(Cli, ListsWorkbooksOfBothFormats) {
  const std::string data = std::string(GRIDWELL_SOURCE_DIR) + "/tests/data/";
  const auto sheets = RunCli("sheets " + data + "xlsx/sheets.xlsx");
  EXPECT_EQ(sheets.code, kOk);
  EXPECT_EQ(sheets.out,
            "First\nHidden\nProtected\nNotes\n\xC3\x9Cn\xC3\xAF"
            "c\xC3\xB8"
            "d\xC3\xA9 \xE8\xA1\xA8\n");
  EXPECT_EQ(RunCli("sheets " + data + "xls/sheets.xls").out, sheets.out);
  EXPECT_EQ(RunCli("sheets " + data + "encrypted/sheets_rc4cryptoapi.xls --password quorin").out,
            sheets.out);
  EXPECT_EQ(RunCli("sheets " + data + "encrypted/sheets_rc4cryptoapi.xls --password wrong").code,
            kPassword);

  const std::string header = "ref\tkind\tvalue\ttext\tformat_index\tformula\n";
  EXPECT_EQ(RunCli("cells " + data + "xlsx/values.xlsx --range A1:B2").out,
            header +
                "A1\ts\tinteger\tinteger\t0\t\n"
                "B1\tn\t42\t42\t0\t\n"
                "A2\ts\tdecimal\tdecimal\t0\t\n"
                "B2\tn\t3.1415899999999999\t3.14\t164\t\n");
  // Dates, Booleans and a line break escaped inside its field; the .xls copy agrees except
  // for the format index (Gnumeric stores these formats under built-in ids).
  for (const char* book : {"xlsx/values.xlsx", "xls/values.xls"}) {
    const auto cells = RunCli("cells " + data + book + " --range B7:B22");
    EXPECT_EQ(cells.code, kOk) << book;
    EXPECT_NE(cells.out.find("B7\td\t45351\t2024-02-29\t"), std::string::npos) << book;
    EXPECT_NE(cells.out.find("B9\td\t0.75\t6:00 PM\t"), std::string::npos) << book;
    EXPECT_NE(cells.out.find("B12\tb\tTRUE\tTRUE\t"), std::string::npos) << book;
    EXPECT_NE(cells.out.find("B22\ts\tline one\\nline two\tline one\\nline two\t"),
              std::string::npos)
        << book;
  }
  EXPECT_EQ(RunCli("cells " + data + "xlsx/values.xlsx --sheet 9").code, kNoSheet);
  EXPECT_EQ(RunCli("cells " + data + "xls/sheets.xls --sheet nosuch").code, kNoSheet);
}

}  // namespace
}  // namespace gridwell::cli
