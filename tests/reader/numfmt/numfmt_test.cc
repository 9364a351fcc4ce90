// The number-format engine, group by group. Expected texts are what a spreadsheet program
// shows for the value and code (English (United States) settings).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "reader/numfmt/numfmt.h"

namespace gridwell::numfmt {
namespace {

struct Case {
  double value;
  const char* code;
  const char* expected;
};

void Check(const std::vector<Case>& cases, bool date1904 = false) {
  for (const Case& c : cases) {
    EXPECT_EQ(FormatNumber(c.value, c.code, RegionalSettings::EnglishUS(), date1904), c.expected)
        << "value " << c.value << " code " << c.code;
  }
}

constexpr int64_t kRed = 0x0000FF;
constexpr int64_t kBlue = 0xFF0000;

TEST(NumFmt, ExamplesOfThePageWriters) {
  Check({
      {1234.5, "#,##0.00", "1,234.50"},
      {39886, "d-mmm-yy", "14-Mar-09"},
      {0.5, "h:mm AM/PM", "12:00 PM"},
      {2.5, "0", "3"},
      {2, "0.00", "2.00"},
      {5551234567, "(###) ###-####", "(555) 123-4567"},
      {-5, "($#,##0_);[Red]($#,##0)", "($5)"},
      {5, "($#,##0_);[Red]($#,##0)", "($5 "},
      {-1000, "#,##0", "-1,000"},
  });
  std::string out;
  EXPECT_EQ(FormatNumber(-5, *Compile("($#,##0_);[Red]($#,##0)"), out), kRed);
  out.clear();
  EXPECT_EQ(FormatNumber(5, *Compile("($#,##0_);[Red]($#,##0)"), out), -1);
}

TEST(NumFmt, SectionsAndConditions) {
  Check({
      {-5, "0", "-5"},
      {-5, "0;0", "5"},
      {-5, "0;(0)", "(5)"},
      {0, "0;(0)", "0"},
      {0, "0;(0);\"zero\"", "zero"},
      {7, "0;(0);\"zero\"", "7"},
      {-7, "0;;", ""},
      {0, "0;;", ""},
      {-7, ";;;", ""},
      // The section goes by the value, not by what it rounds to.
      {-0.001, "0.00;(0.00)", "(0.00)"},
      {-0.001, "0.00", "-0.00"},
      {0.001, "0.0;-0.0;\"zero\"", "0.0"},
      // Conditions.
      {5551234, "[<=9999999]###-####;(###) ###-####", "555-1234"},
      {5551234567, "[<=9999999]###-####;(###) ###-####", "(555) 123-4567"},
      {150, "[>100]\"big\";[<-100]\"small\";0", "big"},
      {-150, "[>100]\"big\";[<-100]\"small\";0", "small"},
      {50, "[>100]\"big\";[<-100]\"small\";0", "50"},
      {-50, "[>100]\"big\";[<-100]\"small\";0", "-50"},
      {100, "[=100]\"hundred\";0", "hundred"},
      {99, "[=100]\"hundred\";0", "99"},
  });
}

TEST(NumFmt, ColourTags) {
  struct ColourCase {
    double value;
    const char* code;
    int64_t colour;
  } cases[] = {
      {-1, "0;[Red]0", kRed},
      {1, "0;[Red]0", -1},
      {1, "[Blue]0", kBlue},
      {1, "[BLUE]0", kBlue},
      {0, "0;0;[Green]0", 0x00FF00},
      {1, "[Color10]0", 0x008000},  // palette green, 0x00BBGGRR
      {1, "[Color3]0", kRed},
      {1, "[Color53]0", 0x003399},  // 0x993300 as RGB
      {1, "[Color57]0", -1},
      {150, "[>100][Magenta]0;[Cyan]0", 0xFF00FF},
      {50, "[>100][Magenta]0;[Cyan]0", 0xFFFF00},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(FormatNumber(c.value, *Compile(c.code), out), c.colour) << c.code;
  }
}

TEST(NumFmt, Placeholders) {
  Check({
      {5, "000", "005"},
      {1234, "00", "1234"},
      {0.5, "#.##", ".5"},
      {1, "#.##", "1."},
      {0.5, "0.##", "0.5"},
      {0, "#,###", ""},
      {0, "#,##0", "0"},
      {12, "0.0#", "12.0"},
      {12.345, "0.0#", "12.35"},
      {3, "?.??", "3.  "},
      {3.5, "??0.0?", "  3.5 "},
      {1.5, ".00", "1.50"},
      {0.25, ".00", ".25"},
      {5, "\"Total: \"0", "Total: 5"},
      {5, "\"yes\"", "yes"},
      {-5, "\"yes\"", "-yes"},
      {1234, "(###) ###-####", "() -1234"},
      {15551234567, "(###) ###-####", "(1555) 123-4567"},
      {1e20, "0", "100000000000000000000"},
  });
}

TEST(NumFmt, GroupingAndScaling) {
  Check({
      {1234567.891, "#,##0.00", "1,234,567.89"},
      {-1234567, "#,##0", "-1,234,567"},
      {123, "#,##0", "123"},
      {1000, "#,##0", "1,000"},
      {5, "0,000", "0,005"},
      {12345678, "#,##0,", "12,346"},
      {12345678, "0.0,,", "12.3"},
      {12345678, "#,##0.0,,\" M\"", "12.3 M"},
      {1500, "0,\"K\"", "2K"},
      {999, "0,", "1"},
      {499, "0,", "0"},
  });
}

TEST(NumFmt, Percent) {
  Check({
      {0.25, "0%", "25%"},
      {0.1234, "0.00%", "12.34%"},
      {-0.5, "0%", "-50%"},
      {0.07, "0%", "7%"},
      {0.005, "0%", "1%"},
      {1, "0%%", "10000%%"},
      {0.5, "0\"%\"", "1%"},  // a quoted percent sign does not scale
  });
}

TEST(NumFmt, Scientific) {
  Check({
      {12345, "0.00E+00", "1.23E+04"},
      {0.00012, "0.00E+00", "1.20E-04"},
      {0, "0.00E+00", "0.00E+00"},
      {-12345, "0.00E+00", "-1.23E+04"},
      {99999, "0.00E+00", "1.00E+05"},
      {12345, "0.00E-00", "1.23E04"},
      {0.00012, "0.00E-00", "1.20E-04"},
      {12345, "0.00e+00", "1.23e+04"},
      {1e100, "0.0E+0", "1.0E+100"},
      {12345, "##0.0E+0", "12.3E+3"},
      {1234, "##0.0E+0", "1.2E+3"},
      {123456, "##0.0E+0", "123.5E+3"},
      {0.001, "##0.0E+0", "1.0E-3"},
      {0.0001, "##0.0E+0", "100.0E-6"},
      {999999, "##0.0E+0", "1.0E+6"},
      {0, "##0.0E+0", "0.0E+0"},
      {12345, "0.0E+#", "1.2E+4"},
      {1e-300, "0.00E+00", "1.00E-300"},
  });
}

TEST(NumFmt, Fractions) {
  Check({
      {1.5, "# ?/?", "1 1/2"},
      {0.5, "# ?/?", " 1/2"},
      {0.5, "0 ?/?", "0 1/2"},
      {2, "# ?/?", "2    "},
      {1.97, "# ?/?", "2    "},
      {-1.25, "# ?/?", "-1 1/4"},
      {0.333, "# ?\?/??", "  1/3 "},
      {3.14159, "# ?\?/??", "3 14/99"},
      {0.7, "# ?\?/??", "  7/10"},
      {1.25, "# ?\?/100", "1 25/100"},
      {0.5, "# ?/8", " 4/8"},
      {0.3, "# ?/4", " 1/4"},
      {1.5, "?/?", "3/2"},
      {0, "?/?", "0/1"},
      {0, "# ?/?", "0    "},
      {1e20, "?/?", "100000000000000000000/1"},
      {3.14159, "# ??\?/???", "3  16/113"},
  });
}

// Cases seen in real workbooks where a spreadsheet's text is easy to get wrong.
TEST(NumFmt, ShownAsSpreadsheetsShowThem) {
  Check({
      // Fractions: an integer keeps the width of the fraction it does not show.
      {2, "# ?\?/??", "2      "},
      {-3, "# ?/?", "-3    "},
      {2, "?/8", "16/8"},
      {2.5, "?/8", "20/8"},
      {2.5, "# ?/?;-# ?/?;0;@", "2 1/2"},
      {-2.5, "# ?/?;-# ?/?;0;@", "-2 1/2"},
      {0, "# ?/?;-# ?/?;0;@", "0"},
      // Sub-seconds round, and the carry runs into seconds, minutes, hours and the day.
      {59.96 / 86400, "ss.0", "00.0"},
      {(59 * 60 + 59.96) / 86400, "mm:ss.0", "00:00.0"},
      {(3600 - 0.004) / 86400, "h:mm:ss.00", "1:00:00.00"},
      {1 - 1e-8, "m/d/yyyy h:mm:ss.00", "1/1/1900 0:00:00.00"},
      {(3600 + 59.996) / 86400, "[mm]:ss.00", "61:00.00"},
      // Conditions, and a fourth section for texts only.
      {5551234, "[<=9999999]###-####;(###) ###-####", "555-1234"},
      {5551234567, "[<=9999999]###-####;(###) ###-####", "(555) 123-4567"},
      {150, "[>100]\"big\";[<0]\"neg\";0", "big"},
      {-5, "[>100]\"big\";[<0]\"neg\";0", "neg"},
      {50, "[>100]\"big\";[<0]\"neg\";0", "50"},
      {0, "0;-0;\"zero\";\"text \"@", "zero"},
      // A negative that rounds to zero keeps its sign or its negative section.
      {-0.4, "0\" kg\"", "-0 kg"},
      {-0.4, "\"$\"0", "-$0"},
      {-0.001, "0.00;(0.00)", "(0.00)"},
      {-0.4, "#,##0_);(#,##0)", "(0)"},
      // A control character that a format code held escaped is a literal.
      {1, "0.0\x0B", "1.0\x0B"},
  });
}

TEST(NumFmt, LiteralsUnderscoreFillAndCurrency) {
  Check({
      {5, "0_)", "5 "},
      {5, "\\$0", "$5"},
      {5, "0\\%", "5%"},
      {5, "0 \"m\"", "5 m"},
      {5, "0\\h", "5h"},
      {5, "$0", "$5"},
      {5, "+0;-0", "+5"},
      {0.5, "_(* #,##0.00_)", " 0.50 "},
      {1234, "**#,##0", "1,234"},
      {1234, "[$EUR-407] #,##0.00", "EUR 1,234.00"},
      {1234, "[$€-2] #,##0.00", "€ 1,234.00"},
      {1234, "#,##0.00 [$€-407]", "1,234.00 €"},
      {1234, "[$-409]#,##0", "1,234"},
      {1234, "[$$-409]#,##0", "$1,234"},
      {-1234, "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)", " $(1,234)"},
      {0, "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)", " $- "},
  });
}

TEST(NumFmt, TextSection) {
  struct TextCase {
    const char* text;
    const char* code;
    const char* expected;
  } cases[] = {
      {"abc", "@", "abc"},    {"abc", "0;-0;0;\"[\"@\"]\"", "[abc]"},
      {"abc", "0.00", "abc"}, {"abc", "\"Name: \"@", "Name: abc"},
      {"abc", ";;;", ""},     {"abc", "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)", " abc "},
      {"abc", "0;@", "abc"},
  };
  for (const auto& c : cases) {
    std::string out;
    FormatText(c.text, *Compile(c.code), out);
    EXPECT_EQ(out, c.expected) << c.code;
  }
  // A number by a text format shows as General.
  Check({{1234.5, "@", "1234.5"}, {-2, "@", "-2"}, {3, "0;@", "3"}});
}

TEST(NumFmt, Dates) {
  Check({
      {39886, "m/d/yyyy", "3/14/2009"},
      {39886, "mm/dd/yy", "03/14/09"},
      {39886, "d-mmm", "14-Mar"},
      {39886, "mmm-yy", "Mar-09"},
      {39886, "mmmm d, yyyy", "March 14, 2009"},
      {39886, "dddd, mmmm dd, yyyy", "Saturday, March 14, 2009"},
      {39886, "ddd", "Sat"},
      {39886, "mmmmm", "M"},
      {39886, "yyyy-mm-dd", "2009-03-14"},
      {39886, "dd.mm.yyyy", "14.03.2009"},
      {39886, "d\\/m", "14/3"},
      {39886, "D/M/YYYY", "14/3/2009"},
      {39886, "yy", "09"},
      {39886, "y", "09"},
      {39886, "yyy", "2009"},
      {1, "m/d/yyyy", "1/1/1900"},
      {36526, "m/d/yyyy", "1/1/2000"},
      {2958465, "m/d/yyyy", "12/31/9999"},
      {45658, "dddd m/d/yyyy", "Wednesday 1/1/2025"},
      {40602, "m/d/yyyy", "2/28/2011"},
      {40603, "m/d/yyyy", "3/1/2011"},
      {40968, "m/d/yyyy", "2/29/2012"},
      {39886.75, "m/d/yyyy h:mm", "3/14/2009 18:00"},
      {39886, "[$-409]mmmm d, yyyy;@", "March 14, 2009"},
      {39886, "[$-411]ggge\"年\"m\"月\"d\"日\"", "2009年3月14日"},
      {5, "0 \"g\"e", "5 ge"},
      {39886, "[$-F800]dddd\\,\\ mmmm\\ dd\\,\\ yyyy", "Saturday, March 14, 2009"},
  });
}

TEST(NumFmt, Times) {
  Check({
      {0.75, "h:mm", "18:00"},
      {0.75, "hh:mm:ss", "18:00:00"},
      {0.0625, "h:mm", "1:30"},
      {0.0625, "hh:mm", "01:30"},
      {0.5 + 1.0 / 1440 * 5 + 7.0 / 86400, "h:mm:ss", "12:05:07"},
      {1.0 / 86400 * 61, "m:ss", "1:01"},
      {1.0 / 86400 * 61, "mm:ss", "01:01"},
      {0.000694, "mmss.0", "0100.0"},
      {1.0 / 86400 * 1.25, "ss.00", "01.25"},
      {1.0 / 86400 * 1.2346, "s.000", "1.235"},
      {1.0 / 86400 * 1.2345, "h:mm:ss.0", "0:00:01.2"},
      {0.5, "mm", "01"},  // alone, m is the month (0.5 is in January 1900)
      {0.5, "h \"h\" m \"m\"", "12 h 0 m"},
      // Minutes are not rounded: 10:29:40 shows 10:29 by "h:mm".
      {(10 * 3600 + 29 * 60 + 40) / 86400.0, "h:mm", "10:29"},
      // Seconds are: 10:29:59.6 is 10:30:00.
      {(10 * 3600 + 29 * 60 + 59.6) / 86400.0, "h:mm", "10:30"},
      {(10 * 3600 + 29 * 60 + 59.6) / 86400.0, "h:mm:ss.0", "10:29:59.6"},
  });
}

TEST(NumFmt, AmPm) {
  Check({
      {0, "h:mm AM/PM", "12:00 AM"},
      {0.5, "h:mm AM/PM", "12:00 PM"},
      {0.75, "h:mm AM/PM", "6:00 PM"},
      {0.25, "hh:mm AM/PM", "06:00 AM"},
      {0.75, "h:mm:ss AM/PM", "6:00:00 PM"},
      {0.75, "h:mm am/pm", "6:00 PM"},
      {0.75, "h A/P", "6 P"},
      {0.25, "h a/p", "6 a"},
      {0.999, "h:mm AM/PM", "11:58 PM"},
      {39886.75, "m/d/yy h:mm AM/PM", "3/14/09 6:00 PM"},
  });
}

TEST(NumFmt, ElapsedTime) {
  Check({
      {1.5, "[h]:mm:ss", "36:00:00"},
      {2.0 / 24, "[h]:mm", "2:00"},
      {2.0 / 24, "[hh]:mm", "02:00"},
      {1.5, "[m]", "2160"},
      {1.0 / 24 + 30.0 / 86400, "[mm]:ss", "60:30"},
      {1.0 / 1440, "[s]", "60"},
      {0.0416666666, "[h]:mm:ss", "1:00:00"},
      {30, "[h]", "720"},
      {0.75, "[h]:mm:ss.00", "18:00:00.00"},
  });
}

TEST(NumFmt, DateSystemsAndLimits) {
  Check({
      {0, "m/d/yyyy", "1/0/1900"},
      {0, "dddd", "Saturday"},
      {1, "dddd", "Sunday"},
      {59, "m/d/yyyy", "2/28/1900"},
      {60, "m/d/yyyy", "2/29/1900"},
      {60, "mmmm d, yyyy", "February 29, 1900"},
      {61, "m/d/yyyy", "3/1/1900"},
      {61, "dddd", "Thursday"},
      {-1, "m/d/yyyy", "########"},
      {2958466, "m/d/yyyy", "########"},
      {1e300, "m/d/yyyy", "########"},
      {-0.5, "h:mm", "########"},
      // TEXT(serial, "YYYY-MM-DD") as a spreadsheet program computed it.
      {11, "YYYY-MM-DD", "1900-01-11"},
      {111, "YYYY-MM-DD", "1900-04-20"},
      {1111, "YYYY-MM-DD", "1903-01-15"},
      {11111, "YYYY-MM-DD", "1930-06-02"},
      // A negative section takes the magnitude.
      {-0.5, "h:mm;-h:mm", "-12:00"},
  });
  Check(
      {
          {0, "m/d/yyyy", "1/1/1904"},
          {0, "dddd", "Friday"},
          {1, "m/d/yyyy", "1/2/1904"},
          {11, "YYYY-MM-DD", "1904-01-12"},
          {111, "YYYY-MM-DD", "1904-04-21"},
          {1111, "YYYY-MM-DD", "1907-01-16"},
          {11111, "YYYY-MM-DD", "1934-06-03"},
          {38424, "m/d/yyyy", "3/14/2009"},
          {2957003, "m/d/yyyy", "12/31/9999"},
          // The 1904 system shows negative times and dates with a sign.
          {-0.5, "h:mm", "-12:00"},
          {-1, "m/d/yyyy", "-1/2/1904"},
      },
      true);
}

TEST(NumFmt, SerialToDateTime) {
  DateTime dt;
  ASSERT_TRUE(SerialToDateTime(39886.5 + 1.0 / 86400 * 3723.25, false, dt));
  EXPECT_EQ(dt.year, 2009);
  EXPECT_EQ(dt.month, 3);
  EXPECT_EQ(dt.day, 14);
  EXPECT_EQ(dt.weekday, 6);
  EXPECT_EQ(dt.hour, 13);
  EXPECT_EQ(dt.minute, 2);
  EXPECT_EQ(dt.second, 3);
  EXPECT_NEAR(dt.subsecond, 0.25, 1e-9);
  ASSERT_TRUE(SerialToDateTime(0, true, dt));
  EXPECT_EQ(dt.year, 1904);
  EXPECT_EQ(dt.day, 1);
  EXPECT_FALSE(SerialToDateTime(-1, false, dt));
  EXPECT_FALSE(SerialToDateTime(NAN, false, dt));
}

TEST(NumFmt, RoundingEdges) {
  Check({
      {2.675, "0.00", "2.68"},
      {1.005, "0.00", "1.01"},
      {0.125, "0.00", "0.13"},
      {-2.5, "0", "-3"},
      {-0.4, "0", "-0"},
      {0.5, "0", "1"},
      {1.45, "0.0", "1.5"},
      {9.995, "0.00", "10.00"},
      {999.5, "#,##0", "1,000"},
      {0.1 + 0.2, "0.0000000000000000", "0.3000000000000000"},
      {1e-20, "0.00", "0.00"},
      {123456789012345680.0, "0", "123456789012346000"},
      {0.99999999, "h:mm:ss", "0:00:00"},
      {0.99999999, "m/d/yyyy h:mm:ss", "1/1/1900 0:00:00"},
      {0.99999999, "[h]:mm:ss", "24:00:00"},
      {1.0 / 86400 * 59.6, "h:mm:ss", "0:01:00"},
      {1.0 / 86400 * 59.96, "mm:ss.0", "01:00.0"},
  });
}

TEST(NumFmt, General) {
  struct GeneralCase {
    double value;
    const char* expected;
  } cases[] = {
      {0, "0"},
      {1, "1"},
      {-1, "-1"},
      {1234.5, "1234.5"},
      {1234567890.1, "1234567890"},
      {12345678901, "12345678901"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333"},
      {-1.0 / 3, "-0.333333333"},
      {2.0 / 3, "0.666666667"},
      {123456789012, "1.23457E+11"},
      {1e-10, "1E-10"},
      {0.0001234, "0.0001234"},
      {0.000012345678, "1.23457E-05"},
      {1e15, "1E+15"},
      {1e100, "1E+100"},
      {1.5e300, "1.5E+300"},
      {1.23456789012345, "1.23456789"},
      {99999999999.6, "1E+11"},
      {9.9999999999, "10"},
      {100, "100"},
      {0.001, "0.001"},
      {1e-5, "0.00001"},
      {1.234e-5, "0.00001234"},
      {1e-300, "1E-300"},
  };
  for (const auto& c : cases) EXPECT_EQ(GeneralNumber(c.value), c.expected) << c.value;
  Check({
      {1234.5, "General", "1234.5"},
      {1234.5, "", "1234.5"},
      {1234.5, "general", "1234.5"},
      {-1234.5, "General;(General)", "(1234.5)"},
      {5, "\"Qty \"General", "Qty 5"},
  });
}

TEST(NumFmt, IsDateFormat) {
  struct DateCase {
    const char* code;
    bool date;
  } cases[] = {
      {"m/d/yyyy", true},
      {"d-mmm-yy", true},
      {"h:mm", true},
      {"[h]:mm:ss", true},
      {"[mm]:ss", true},
      {"[s]", true},
      {"mmss.0", true},
      {"yyyy", true},
      {"[$-409]mmmm d, yyyy", true},
      {"[Red]dd/mm/yyyy", true},
      {"0.00E+00", false},
      {"#,##0", false},
      {"General", false},
      {"", false},
      {"@", false},
      {"0.00\"m\"", false},
      {"0\\h", false},
      {"[Red]0.00", false},
      {"[$-409]#,##0", false},
      {"[$USD-409] #,##0.00", false},
      {"_(\"$\"* #,##0_)", false},
      {"#,##0_);[Red](#,##0)", false},
      {"0;d", false},  // only the first section counts
      {"\"day\"0", false},
      {"[Color10]0", false},
      {"[<=9999999]###-####", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsDateFormat(std::string_view(c.code)), c.date) << c.code;
    EXPECT_EQ(IsDateFormat(*Compile(c.code)), c.date) << c.code;
  }
}

TEST(NumFmt, BuiltinTable) {
  struct BuiltinCase {
    int id;
    double value;
    const char* expected;
  } cases[] = {
      {0, 1234.5, "1234.5"},
      {1, 1234.5, "1235"},
      {2, 1234.5, "1234.50"},
      {3, 1234.5, "1,235"},
      {4, 1234.5, "1,234.50"},
      {5, -1234.5, "($1,235)"},
      {6, 1234.5, "$1,235 "},
      {7, -1234.5, "($1,234.50)"},
      {8, 1234.5, "$1,234.50 "},
      {9, 0.5, "50%"},
      {10, 0.5, "50.00%"},
      {11, 1234.5, "1.23E+03"},
      {12, 1.5, "1 1/2"},
      {13, 1.5, "1  1/2 "},
      {14, 39886, "3/14/2009"},
      {15, 39886, "14-Mar-09"},
      {16, 39886, "14-Mar"},
      {17, 39886, "Mar-09"},
      {18, 0.75, "6:00 PM"},
      {19, 0.75, "6:00:00 PM"},
      {20, 0.75, "18:00"},
      {21, 0.75, "18:00:00"},
      {22, 39886.75, "3/14/2009 18:00"},
      {37, -1234, "(1,234)"},
      {38, 1234, "1,234 "},
      {39, -1234, "(1,234.00)"},
      {40, 1234, "1,234.00 "},
      {41, 1234, " 1,234 "},
      {41, 0, " - "},
      {42, -1234, " $(1,234)"},
      {43, 0, " -   "},
      {44, 1234, " $1,234.00 "},
      {45, 0.75 + 61.0 / 86400, "01:01"},
      {46, 1.5, "36:00:00"},
      {47, 61.0 / 86400, "01:01.0"},
      {47, 119.96 / 86400, "02:00.0"},
      {48, 12345, "12.3E+3"},
      {49, 1234.5, "1234.5"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatNumber(c.value, BuiltinFormatCode(c.id)), c.expected) << c.id;
  }
  std::string out;
  EXPECT_EQ(FormatNumber(-1, *Compile(BuiltinFormatCode(6)), out), kRed);
  // The locale-dependent ids show dates; unknown ids have no code.
  for (int id : {27, 30, 36, 50, 57, 58}) EXPECT_TRUE(IsDateFormat(BuiltinFormatCode(id))) << id;
  EXPECT_EQ(BuiltinFormatCode(59), "");
  EXPECT_EQ(BuiltinFormatCode(-1), "");
}

TEST(NumFmt, RegionalSettings) {
  RegionalSettings rs;
  rs.decimalSeparator = ",";
  rs.thousandsSeparator = ".";
  rs.dateSeparator = ".";
  rs.monthAbbrevs[2] = "Mär";
  EXPECT_EQ(FormatNumber(1234.5, "#,##0.00", rs), "1.234,50");
  EXPECT_EQ(FormatNumber(39886, "d/mmm/yyyy", rs), "14.Mär.2009");
  EXPECT_EQ(FormatNumber(0.5, "General", rs), "0,5");
}

TEST(NumFmt, PlainPosixLocaleKeepsEnglishDefaults) {
  // The C locale has no thousands separator and a two-digit-year date form; neither is a
  // regional choice, so the English (United States) settings stay.
  const char* old = std::getenv("LC_ALL");
  std::string saved = old ? old : "";
  setenv("LC_ALL", "C", 1);
  RegionalSettings posix = RegionalSettings::FromPosixLocale();
  if (old) {
    setenv("LC_ALL", saved.c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
  const RegionalSettings& us = RegionalSettings::EnglishUS();
  EXPECT_EQ(posix.decimalSeparator, us.decimalSeparator);
  EXPECT_EQ(posix.thousandsSeparator, us.thousandsSeparator);
  EXPECT_EQ(posix.shortDate, us.shortDate);
  EXPECT_EQ(posix.monthNames, us.monthNames);
  EXPECT_EQ(posix.dayAbbrevs, us.dayAbbrevs);
  EXPECT_EQ(posix.am, us.am);
  EXPECT_EQ(FormatNumber(1234.5, "#,##0.00", posix), "1,234.50");
}

TEST(NumFmt, CacheReturnsOneCompiledFormatPerCode) {
  FormatCache cache;
  const Format& a = cache.Get("0.00");
  const Format& b = cache.Get("#,##0");
  EXPECT_EQ(&cache.Get("0.00"), &a);
  EXPECT_EQ(&cache.Get("#,##0"), &b);
  EXPECT_NE(&a, &b);
  std::string out;
  FormatNumber(2, cache.Get("0.00"), out);
  EXPECT_EQ(out, "2.00");
}

TEST(NumFmt, OddCodesNeverFail) {
  const std::string codes[] = {"[",
                               "\"",
                               "\\",
                               "_",
                               "*",
                               "[<]0",
                               "0.0.0",
                               "E+",
                               "0E+",
                               "[h",
                               "/",
                               "#/",
                               "?/0",
                               "0/1000000000",
                               "[Color999]0",
                               ";;;;;;",
                               "[>1e400]0",
                               "[$",
                               "?/?",
                               "# ?/?",
                               "# ???\?/???\?",
                               "mmmmmmmm",
                               "ddddddd",
                               "yyyyyyy",
                               "AM/PM",
                               "[Red]",
                               std::string(40, '0') + "E+0",
                               "0" + std::string(3000, '%'),
                               "0" + std::string(3000, ','),
                               std::string(3000, '[')};
  for (const std::string& code : codes) {
    const double values[] = {0.0, -1.0, 1.5, 1e300, -1e300, 1e-300, std::nan(""), HUGE_VAL};
    for (double v : values) {
      std::string out;
      FormatNumber(v, *Compile(code), out);
      FormatText("x", *Compile(code), out);
      // The text stays within a bound set by the code, whatever the value.
      EXPECT_LT(out.size(), 1000 + 2 * code.size()) << code;
    }
  }
}

}  // namespace
}  // namespace gridwell::numfmt
