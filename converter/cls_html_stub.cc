// Temporary stand-in until the page writers land.
#include "converter/cls_html.h"

namespace gridwell {
void clsHTML::CreateHtmlFile(const std::string&, const std::string&, const std::string&,
                             const std::string&, const std::string&, const std::string&,
                             const std::string&) {}
void clsHTML::CreateStyledHtmlFile(const std::string&, const std::string&, const std::string&,
                                   const std::string&, const std::string&, const std::string&,
                                   const std::string&) {}
}  // namespace gridwell
