#include <iostream>

#include "cli/commands.h"

namespace gridwell::cli {
int RunConvert(const std::vector<std::string>&) {
  std::cerr << "gridwell convert: not available in this build\n";
  return kUsage;
}
}  // namespace gridwell::cli
