// Subcommands of the `gridwell` command-line tool.
#pragma once

#include <string>
#include <vector>

namespace gridwell::cli {

// Exit codes, distinct per kind of failure; scripts rely on them.
enum Exit : int {
  kOk = 0,
  kUsage = 2,
  kUnreadable = 3,
  kPassword = 4,  // wrong or missing password
  kNoSheet = 5,
  kCannotWrite = 6,
  kDownloadFailed = 7,
};

// Each takes the arguments after the subcommand name and returns an exit code. Errors are
// one line on stderr.
int RunSheets(const std::vector<std::string>& args);
int RunCells(const std::vector<std::string>& args);
int RunConvert(const std::vector<std::string>& args);

}  // namespace gridwell::cli
