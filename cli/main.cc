// gridwell: the converter and the reader on the command line.
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/scratch.h"
#include "cli/terminal_text.h"

namespace {

const char kUsage[] =
    "usage: gridwell COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  convert BOOK [-o PAGE|-] [options]   write a worksheet as an HTML page\n"
    "  sheets BOOK [--password PW]          list the sheet names\n"
    "  cells BOOK [--sheet S] [--range R]   list the stored cells, tab-separated\n"
    "\n"
    "BOOK is an .xls or .xlsx file (convert also takes http://, https:// and ftp:// addresses).\n"
    "`gridwell COMMAND --help` describes each command.\n"
    "exit codes: 0 ok, 2 usage, 3 unreadable workbook, 4 wrong or missing password,\n"
    "5 no such sheet, 6 cannot write, 7 download failed\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << kUsage;
    return gridwell::cli::kUsage;
  }
  std::string cmd = args.front();
  args.erase(args.begin());
  if (cmd == "-h" || cmd == "--help" || cmd == "help") {
    std::cout << kUsage;
    return gridwell::cli::kOk;
  }
  gridwell::cli::CleanUpOnSignals();
  try {
    if (cmd == "sheets") return gridwell::cli::RunSheets(args);
    if (cmd == "cells") return gridwell::cli::RunCells(args);
    if (cmd == "convert") return gridwell::cli::RunConvert(args);
  } catch (const std::bad_alloc&) {
    // The workbook is counted unreadable: it needs more memory than this process may use.
    gridwell::cli::PrintLine("gridwell " + cmd + ": out of memory reading the workbook");
    return gridwell::cli::kUnreadable;
  }
  gridwell::cli::PrintLine("gridwell: unknown command " + cmd + " (see gridwell --help)");
  return gridwell::cli::kUsage;
}
