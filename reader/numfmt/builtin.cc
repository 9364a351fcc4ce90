// Built-in number formats by id, as English (United States) settings show them, and the
// colour names of format codes.
#include "reader/model/palette.h"
#include "reader/numfmt/format_code.h"

namespace gridwell::numfmt {

std::string_view BuiltinFormatCode(int id) {
  switch (id) {
    case 0:
      return "General";
    case 1:
      return "0";
    case 2:
      return "0.00";
    case 3:
      return "#,##0";
    case 4:
      return "#,##0.00";
    case 5:
      return "$#,##0_);($#,##0)";
    case 6:
      return "$#,##0_);[Red]($#,##0)";
    case 7:
      return "$#,##0.00_);($#,##0.00)";
    case 8:
      return "$#,##0.00_);[Red]($#,##0.00)";
    case 9:
      return "0%";
    case 10:
      return "0.00%";
    case 11:
      return "0.00E+00";
    case 12:
      return "# ?/?";
    case 13:
      return "# ?\?/?\?";
    case 14:
      return "m/d/yyyy";
    case 15:
      return "d-mmm-yy";
    case 16:
      return "d-mmm";
    case 17:
      return "mmm-yy";
    case 18:
      return "h:mm AM/PM";
    case 19:
      return "h:mm:ss AM/PM";
    case 20:
      return "h:mm";
    case 21:
      return "h:mm:ss";
    case 22:
      return "m/d/yyyy h:mm";
    case 37:
      return "#,##0_);(#,##0)";
    case 38:
      return "#,##0_);[Red](#,##0)";
    case 39:
      return "#,##0.00_);(#,##0.00)";
    case 40:
      return "#,##0.00_);[Red](#,##0.00)";
    case 41:
      return "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)";
    case 42:
      return "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)";
    case 43:
      return "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)";
    case 44:
      return "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)";
    case 45:
      return "mm:ss";
    case 46:
      return "[h]:mm:ss";
    case 47:
      return "mm:ss.0";
    case 48:
      return "##0.0E+0";
    case 49:
      return "@";
    // East Asian ids: their own locales give them era and kanji dates and times; English
    // (United States) settings show the matching plain date or time.
    case 32:
      return "h:mm";
    case 33:
      return "h:mm:ss";
    default:
      if ((id >= 27 && id <= 36) || (id >= 50 && id <= 58)) return "m/d/yyyy";
      if (id >= 23 && id <= 26) return "General";
      return "";
  }
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
