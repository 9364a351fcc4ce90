// The plain-form scanner of worksheet rows against expat: whatever the scanner takes, it
// must report exactly what expat reports, and it must refuse whatever expat refuses.
#include "reader/xlsx/row_events.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/reader/xlsx/row_event_lines.h"

namespace gridwell::xlsx {
namespace {

// Scans `run` both ways; returns whether the scanner took it.
bool ScannedLikeExpat(const std::string& run) {
  std::string byExpat, byScanner;
  const bool expat = RecordRowEvents(run, byExpat);
  const bool scanned = ScanPlainRowEvents(run, byScanner);
  if (scanned) {
    EXPECT_TRUE(expat) << "scanner took what expat refuses: " << run;
    if (expat) {
      EXPECT_EQ(RowEventLines(byScanner), RowEventLines(byExpat)) << run;
    }
  }
  return scanned;
}

TEST(RowEvents, PlainRowsAreScannedAsExpatReadsThem) {
  const char* cases[] = {
      "",
      "<row r=\"1\"><c r=\"A1\" s=\"3\" t=\"s\"><v>12</v></c><c r=\"B1\"><v>-1.5E-3</v></c></row>",
      "\n  <row r='2' spans=\"1:2\" x14ac:dyDescent=\"0.25\">\n\t<c r=\"A2\"/><c r=\"B2\" />"
      "</row>\n",
      "<row><c t=\"inlineStr\"><is><r><t xml:space=\"preserve\"> a  b </t></r></is></c></row>",
      "<row><c><f>IF(A1&lt;&gt;&quot;x&quot;,A1&amp;B1,&apos;y&apos;)</f><v>1</v></c></row>",
      "<row><c t=\"str\"><f ref=\"A1:B2\" t=\"shared\" "
      "si=\"0\">A1&lt;2</f><v>x]&gt;y</v></c></row>",
      "<row><c t=\"str\"><v>caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xEF\xBF\xBD</v></c></row>",
      "<row a=\"\xC3\xA9&amp;&lt;&gt;\" b='\"' c=\"'\"><c/></row>",
      "<row   r = \"3\"   ><c\nr=\"A3\"\t/></row >",
      "<row><c><v>]]</v><v>]></v><v>a]]b</v></c></row>",
      "text before <row/> text after",
  };
  for (const char* run : cases) EXPECT_TRUE(ScannedLikeExpat(run)) << run;
}

TEST(RowEvents, AnythingElseIsLeftToExpat) {
  const char* cases[] = {
      // Forms a parser rewrites or that need a full parser.
      "<row><c><v>a\r\nb</v></c></row>",
      "<row a=\"x\ty\"><c/></row>",
      "<row a=\"x\ny\"><c/></row>",
      "<row><c><v>&#65;</v></c></row>",
      "<row><c><v>&#x41;</v></c></row>",
      "<row><!-- note --><c/></row>",
      "<row><?pi data?><c/></row>",
      "<row><c><v><![CDATA[1]]></v></c></row>",
      // Not well-formed: expat refuses these too.
      "<row><c></row></c>",
      "<row><c>",
      "</row>",
      "<row a=\"1\" a=\"2\"/>",
      "<row a=\"1\"b=\"2\"/>",
      "<row a=1/>",
      "<row a=\"<\"/>",
      "<row><v>a]]>b</v></row>",
      "<row><v>&nbsp;</v></row>",
      "<row><v>&amp</v></row>",
      "<row><v>a & b</v></row>",
      "<row><v>\x01</v></row>",
      "<row><v>\xC3</v></row>",
      "<row><v>\xC0\xAF</v></row>",
      "<row><v>\xED\xA0\x80</v></row>",
      "<row><v>\xEF\xBF\xBE</v></row>",
      "<row><v>\xF4\x90\x80\x80</v></row>",
      "<row><v>\xFF</v></row>",
      "<1row/>",
      "<row/ >",
      "< row/>",
      "<row></ row>",
      "<row>",
      "<row><c/></row><",
  };
  for (const char* run : cases) EXPECT_FALSE(ScannedLikeExpat(run)) << run;
  // A NUL byte inside the run.
  EXPECT_FALSE(ScannedLikeExpat(std::string("<row><v>a\0b</v></row>", 22)));
  // A tag with a great many attributes, whose pairwise check would take quadratic time.
  std::string many = "<row";
  for (int i = 0; i < 200000; ++i) many += " a" + std::to_string(i) + "=\"\"";
  many += "/>";
  std::string events;
  EXPECT_FALSE(ScanPlainRowEvents(many, events));
}

}  // namespace
}  // namespace gridwell::xlsx
