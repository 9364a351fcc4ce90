// Regional settings: English (United States) defaults, or the POSIX locale's.
#include <langinfo.h>
#include <locale.h>

#include <cstring>

#include "reader/numfmt/numfmt.h"

namespace gridwell::numfmt {
namespace {

bool IsAsciiOrUtf8(locale_t loc, const char* s) {
  static const char* utf8 = "UTF-8";
  const char* codeset = nl_langinfo_l(CODESET, loc);
  if (codeset && std::strcmp(codeset, utf8) == 0) return true;
  for (; *s; ++s) {
    if (static_cast<unsigned char>(*s) >= 0x80) return false;
  }
  return true;
}

// Sets `field` from the locale item when the locale gives a usable text.
void Take(locale_t loc, nl_item item, std::string& field) {
  const char* s = nl_langinfo_l(item, loc);
  if (s && *s && IsAsciiOrUtf8(loc, s)) field = s;
}

// A strftime date form ("%d.%m.%Y") as a format code ("dd.mm.yyyy"); false when it uses
// conversions a format code cannot say.
bool ShortDateFromStrftime(const char* f, std::string& code, std::string& separator) {
  std::string out;
  std::string sep;
  for (; *f; ++f) {
    if (*f != '%') {
      out.push_back(*f);
      if (sep.empty() && (*f == '/' || *f == '.' || *f == '-')) sep = std::string(1, *f);
      continue;
    }
    ++f;
    switch (*f) {
      case 'd':
        out += "dd";
        break;
      case 'e':
        out += "d";
        break;
      case 'm':
        out += "mm";
        break;
      case 'y':
        out += "yy";
        break;
      case 'Y':
        out += "yyyy";
        break;
      case 'b':
        out += "mmm";
        break;
      default:
        return false;
    }
  }
  if (out.empty()) return false;
  code = out;
  if (!sep.empty()) separator = sep;
  return true;
}

}  // namespace

const RegionalSettings& RegionalSettings::EnglishUS() {
  static const RegionalSettings rs;
  return rs;
}

RegionalSettings RegionalSettings::FromPosixLocale() {
  RegionalSettings rs;
  locale_t loc = newlocale(LC_NUMERIC_MASK | LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) return rs;
  // The C and POSIX locales carry no regional choices: keep the defaults.
  const char* dfmt = nl_langinfo_l(D_FMT, loc);
  const char* mon1 = nl_langinfo_l(MON_1, loc);
  const char* radix = nl_langinfo_l(RADIXCHAR, loc);
  bool plainC = dfmt && std::strcmp(dfmt, "%m/%d/%y") == 0 && mon1 &&
                std::strcmp(mon1, "January") == 0 && radix && std::strcmp(radix, ".") == 0 &&
                std::strlen(nl_langinfo_l(AM_STR, loc)) == 2 &&
                nl_langinfo_l(THOUSEP, loc)[0] == '\0';
  if (!plainC) {
    Take(loc, RADIXCHAR, rs.decimalSeparator);
    std::string thousands;
    Take(loc, THOUSEP, thousands);
    if (!thousands.empty()) rs.thousandsSeparator = thousands;
    static const nl_item kMon[12] = {MON_1, MON_2, MON_3, MON_4,  MON_5,  MON_6,
                                     MON_7, MON_8, MON_9, MON_10, MON_11, MON_12};
    static const nl_item kAbMon[12] = {ABMON_1, ABMON_2, ABMON_3, ABMON_4,  ABMON_5,  ABMON_6,
                                       ABMON_7, ABMON_8, ABMON_9, ABMON_10, ABMON_11, ABMON_12};
    static const nl_item kDay[7] = {DAY_1, DAY_2, DAY_3, DAY_4, DAY_5, DAY_6, DAY_7};
    static const nl_item kAbDay[7] = {ABDAY_1, ABDAY_2, ABDAY_3, ABDAY_4,
                                      ABDAY_5, ABDAY_6, ABDAY_7};
    for (int i = 0; i < 12; ++i) {
      Take(loc, kMon[i], rs.monthNames[i]);
      Take(loc, kAbMon[i], rs.monthAbbrevs[i]);
    }
    for (int i = 0; i < 7; ++i) {
      Take(loc, kDay[i], rs.dayNames[i]);
      Take(loc, kAbDay[i], rs.dayAbbrevs[i]);
    }
    Take(loc, AM_STR, rs.am);
    Take(loc, PM_STR, rs.pm);
    if (dfmt) ShortDateFromStrftime(dfmt, rs.shortDate, rs.dateSeparator);
    const char* tfmt = nl_langinfo_l(T_FMT, loc);
    // "%H:%M:%S" or "%H.%M.%S": the character after the hour is the time separator.
    if (tfmt && tfmt[0] == '%' && tfmt[1] && tfmt[2] && tfmt[2] != '%') {
      rs.timeSeparator = std::string(1, tfmt[2]);
    }
  }
  freelocale(loc);
  return rs;
}

}  // namespace gridwell::numfmt
