// Runs a command line through the shell for the CLI tests: standard output and exit code.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace gridwell::cli {

struct ShellRun {
  int code = -1;  // exit status, or -1 when the command did not run or did not exit
  std::string out;
};

inline ShellRun RunShell(const std::string& command) {
  ShellRun r;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  const int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace gridwell::cli
