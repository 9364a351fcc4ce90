// Built-in number formats by id, as English (United States) settings show them, and the
// colour names of format codes.
#include <iterator>

#include "reader/model/palette.h"
#include "reader/numfmt/format_code.h"

namespace gridwell::numfmt {

namespace {

// Ids 0-58. Ids 23-26 have no code of their own: they show as General. The East Asian ids
// (27-36, 50-58) have era and kanji dates and times in their own locales; English (United
// States) settings show the matching plain date or time.
constexpr std::string_view kBuiltinCodes[] = {
    "General",                                                               // 0
    "0",                                                                     // 1
    "0.00",                                                                  // 2
    "#,##0",                                                                 // 3
    "#,##0.00",                                                              // 4
    "$#,##0_);($#,##0)",                                                     // 5
    "$#,##0_);[Red]($#,##0)",                                                // 6
    "$#,##0.00_);($#,##0.00)",                                               // 7
    "$#,##0.00_);[Red]($#,##0.00)",                                          // 8
    "0%",                                                                    // 9
    "0.00%",                                                                 // 10
    "0.00E+00",                                                              // 11
    "# ?/?",                                                                 // 12
    "# ?\?/?\?",                                                             // 13
    "m/d/yyyy",                                                              // 14
    "d-mmm-yy",                                                              // 15
    "d-mmm",                                                                 // 16
    "mmm-yy",                                                                // 17
    "h:mm AM/PM",                                                            // 18
    "h:mm:ss AM/PM",                                                         // 19
    "h:mm",                                                                  // 20
    "h:mm:ss",                                                               // 21
    "m/d/yyyy h:mm",                                                         // 22
    "General",                                                               // 23
    "General",                                                               // 24
    "General",                                                               // 25
    "General",                                                               // 26
    "m/d/yyyy",                                                              // 27
    "m/d/yyyy",                                                              // 28
    "m/d/yyyy",                                                              // 29
    "m/d/yyyy",                                                              // 30
    "m/d/yyyy",                                                              // 31
    "h:mm",                                                                  // 32
    "h:mm:ss",                                                               // 33
    "m/d/yyyy",                                                              // 34
    "m/d/yyyy",                                                              // 35
    "m/d/yyyy",                                                              // 36
    "#,##0_);(#,##0)",                                                       // 37
    "#,##0_);[Red](#,##0)",                                                  // 38
    "#,##0.00_);(#,##0.00)",                                                 // 39
    "#,##0.00_);[Red](#,##0.00)",                                            // 40
    "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)",                         // 41
    "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)",          // 42
    "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)",                 // 43
    "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)",  // 44
    "mm:ss",                                                                 // 45
    "[h]:mm:ss",                                                             // 46
    "mm:ss.0",                                                               // 47
    "##0.0E+0",                                                              // 48
    "@",                                                                     // 49
    "m/d/yyyy",                                                              // 50
    "m/d/yyyy",                                                              // 51
    "m/d/yyyy",                                                              // 52
    "m/d/yyyy",                                                              // 53
    "m/d/yyyy",                                                              // 54
    "m/d/yyyy",                                                              // 55
    "m/d/yyyy",                                                              // 56
    "m/d/yyyy",                                                              // 57
    "m/d/yyyy",                                                              // 58
};

}  // namespace

std::string_view BuiltinFormatCode(int id) {
  if (id < 0 || id >= static_cast<int>(std::size(kBuiltinCodes))) return "";
  return kBuiltinCodes[id];
}

int64_t ColorByName(std::string_view name) {
  auto eq = [](std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if ((a[i] | 0x20) != b[i]) return false;
    }
    return true;
  };
  // 0x00BBGGRR
  static constexpr struct {
    std::string_view name;
    int64_t color;
  } kNamed[] = {{"black", 0x000000},   {"white", 0xFFFFFF}, {"red", 0x0000FF},
                {"green", 0x00FF00},   {"blue", 0xFF0000},  {"yellow", 0x00FFFF},
                {"magenta", 0xFF00FF}, {"cyan", 0xFFFF00}};
  for (const auto& c : kNamed) {
    if (eq(name, c.name)) return c.color;
  }
  if (name.size() > 5 && name.size() <= 7 && eq(name.substr(0, 5), "color")) {
    int n = 0;
    for (char ch : name.substr(5)) {
      if (ch < '0' || ch > '9') return -1;
      n = n * 10 + (ch - '0');
    }
    if (n < 1 || n > 56) return -1;
    return static_cast<int64_t>(model::RgbToBgr(model::kDefaultPalette[n - 1]));
  }
  return -1;
}

}  // namespace gridwell::numfmt
