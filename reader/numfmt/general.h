// General-format rendering with a chosen decimal point, for sections that embed General.
#pragma once

#include <string>
#include <string_view>

namespace gridwell::numfmt {

void AppendGeneral(double value, std::string_view point, std::string& out);

}  // namespace gridwell::numfmt
