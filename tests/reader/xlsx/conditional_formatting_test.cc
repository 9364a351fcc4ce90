// Conditional formats read from hand-written worksheet parts: which cells each rule type
// picks, the differential formats, the order rules apply in, colour scales and data bars.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "package_builder.h"
#include "reader/reader.h"
#include "reader/xlsx/xlsx_reader.h"

namespace gridwell {
namespace {

using xlsx::testing::MinimalParts;
using xlsx::testing::Parts;
using xlsx::testing::SetPart;
using xlsx::testing::Sheet;
using xlsx::testing::Zip;

// Column A: 1, 5, 10, "apple pie", "Banana", a formatted blank, #DIV/0!, "  ", 5.
// Column B: 0, 50, 100. Column C: 0, 5, 10.
const char* kCells =
    "<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\"><v>0</v></c><c r=\"C1\"><v>0</v></c></row>"
    "<row r=\"2\"><c r=\"A2\"><v>5</v></c><c r=\"B2\"><v>50</v></c><c r=\"C2\"><v>5</v></c></row>"
    "<row r=\"3\"><c r=\"A3\"><v>10</v></c><c r=\"B3\"><v>100</v></c><c "
    "r=\"C3\"><v>10</v></c></row>"
    "<row r=\"4\"><c r=\"A4\" t=\"inlineStr\"><is><t>apple pie</t></is></c></row>"
    "<row r=\"5\"><c r=\"A5\" t=\"inlineStr\"><is><t>Banana</t></is></c></row>"
    "<row r=\"6\"><c r=\"A6\" s=\"1\"/></row>"
    "<row r=\"7\"><c r=\"A7\" t=\"e\"><v>#DIV/0!</v></c></row>"
    "<row r=\"8\"><c r=\"A8\" t=\"inlineStr\"><is><t xml:space=\"preserve\">  </t></is></c></row>"
    "<row r=\"9\"><c r=\"A9\"><v>5</v></c></row>";

// dxf 0: red bold font; 1: fill without a pattern type (solid, colour in bgColor); 2: solid
// fill given in fgColor alone; 3: dark grey pattern, black over white; 4: blue font and a
// thin red left border.
const char* kStyles =
    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<fonts><font/></fonts><fills><fill/></fills><borders><border/></borders>"
    "<cellXfs><xf/><xf fontId=\"0\"/></cellXfs><dxfs>"
    "<dxf><font><b/><color rgb=\"FFFF0000\"/></font></dxf>"
    "<dxf><fill><patternFill><bgColor rgb=\"FF00FF00\"/></patternFill></fill></dxf>"
    "<dxf><fill><patternFill patternType=\"solid\"><fgColor rgb=\"FF0000FF\"/></patternFill>"
    "</fill></dxf>"
    "<dxf><fill><patternFill patternType=\"darkGray\"><fgColor rgb=\"FF000000\"/>"
    "<bgColor rgb=\"FFFFFFFF\"/></patternFill></fill></dxf>"
    "<dxf><font><color rgb=\"FF0000FF\"/></font><border><left style=\"thin\">"
    "<color rgb=\"FFFF0000\"/></left><right/></border></dxf>"
    "</dxfs></styleSheet>";

ReaderWorksheet Read(const std::string& formats, std::shared_ptr<model::Workbook>& keep) {
  Parts parts = MinimalParts(Sheet(kCells, "", formats));
  SetPart(parts, "xl/styles.xml", kStyles);
  std::vector<uint8_t> bytes = Zip(parts);
  ReadResult r = xlsx::ReadMemory(bytes, {});
  EXPECT_EQ(r.status.Code(), StatusCode::Ok) << r.status.Detail();
  keep = r.workbook;
  return ReaderWorkbook(r.workbook).Worksheets().Item(1);
}

std::string Rule(const std::string& sqref, const std::string& rule) {
  return "<conditionalFormatting sqref=\"" + sqref + "\">" + rule + "</conditionalFormatting>";
}

TEST(XlsxConditionalFormats, EachRuleTypePicksTheCellsASpreadsheetHighlights) {
  struct Case {
    const char* rule;
    std::set<int> rows;  // rows of column A the rule formats
    int unevaluated = 0;
  };
  const Case cases[] = {
      // Texts sort after every number, so they are greater than 4.
      {"type=\"cellIs\" operator=\"greaterThan\"><formula>4</formula>", {2, 3, 4, 5, 8, 9}},
      {"type=\"cellIs\" operator=\"between\"><formula>10</formula><formula>2</formula>", {2, 3, 9}},
      {"type=\"cellIs\" operator=\"notBetween\"><formula>2</formula><formula>6</formula>",
       {1, 3, 4, 5, 8}},
      {"type=\"cellIs\" operator=\"equal\"><formula>\"banana\"</formula>", {5}},
      {"type=\"cellIs\" operator=\"equal\"><formula>5</formula>", {2, 9}},
      {"type=\"cellIs\" operator=\"notEqual\"><formula>5</formula>", {1, 3, 4, 5, 8}},
      {"type=\"cellIs\" operator=\"lessThanOrEqual\"><formula>-1.5E+1</formula>", {}},
      {"type=\"cellIs\" operator=\"lessThan\"><formula>$B$1</formula>", {}, 1},
      {"type=\"top10\" rank=\"2\">", {2, 3, 9}},
      {"type=\"top10\" rank=\"1\" bottom=\"1\">", {1}},
      {"type=\"top10\" rank=\"50\" percent=\"1\">", {2, 3, 9}},
      {"type=\"aboveAverage\">", {3}},
      {"type=\"aboveAverage\" aboveAverage=\"0\">", {1, 2, 9}},
      {"type=\"aboveAverage\" stdDev=\"1\">", {3}},
      {"type=\"duplicateValues\">", {2, 9}},
      {"type=\"uniqueValues\">", {1, 3, 4, 5}},
      {"type=\"containsText\" operator=\"containsText\" text=\"AN\">", {5}},
      {"type=\"containsText\" operator=\"containsText\" text=\"1\">", {1, 3}},
      {"type=\"notContainsText\" operator=\"notContains\" text=\"a\">", {1, 2, 3, 8, 9}},
      {"type=\"beginsWith\" operator=\"beginsWith\" text=\"APP\">", {4}},
      {"type=\"endsWith\" operator=\"endsWith\" text=\"pie\">", {4}},
      {"type=\"containsBlanks\">", {6, 8}},
      {"type=\"notContainsBlanks\">", {1, 2, 3, 4, 5, 9}},
      {"type=\"containsErrors\">", {7}},
      {"type=\"notContainsErrors\">", {1, 2, 3, 4, 5, 6, 8, 9}},
      {"type=\"expression\"><formula>A1&gt;3</formula>", {}, 1},
      {"type=\"timePeriod\" timePeriod=\"today\"><formula>FLOOR(A1,1)=TODAY()</formula>", {}, 1},
      {"type=\"containsText\" operator=\"containsText\"><formula>1</formula>", {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    std::shared_ptr<model::Workbook> keep;
    const std::string rule =
        std::string("<cfRule dxfId=\"0\" priority=\"1\" ") + c.rule + "</cfRule>";
    ReaderWorksheet ws = Read(Rule("A1:A9", rule), keep);
    std::set<int> rows;
    for (int row = 1; row <= 9; ++row) {
      const model::ConditionalLook* look = ws.ConditionalLookAt(row, 1);
      if (!look) continue;
      rows.insert(row);
      EXPECT_EQ(look->format.fontColor, 0x0000FFu);
      EXPECT_EQ(look->format.bold, true);
    }
    EXPECT_EQ(rows, c.rows);
    EXPECT_EQ(ws.UnevaluatedConditionalRules(), c.unevaluated);
  }
}

TEST(XlsxConditionalFormats, FormatsMergeInPriorityOrderAndStopWhereAsked) {
  std::shared_ptr<model::Workbook> keep;
  ReaderWorksheet ws = Read(
      // Listed out of order: priority decides.
      Rule("A1:A9",
           "<cfRule type=\"cellIs\" dxfId=\"0\" priority=\"3\" operator=\"greaterThan\">"
           "<formula>4</formula></cfRule>") +
          Rule("A3",
               "<cfRule type=\"cellIs\" dxfId=\"4\" priority=\"2\" operator=\"equal\">"
               "<formula>10</formula></cfRule>") +
          Rule("A2 A9",
               "<cfRule type=\"cellIs\" dxfId=\"1\" priority=\"1\" stopIfTrue=\"1\" "
               "operator=\"equal\"><formula>5</formula></cfRule>") +
          Rule("B1:B3",
               "<cfRule type=\"cellIs\" dxfId=\"2\" priority=\"4\" operator=\"equal\">"
               "<formula>0</formula></cfRule>"
               "<cfRule type=\"cellIs\" dxfId=\"3\" priority=\"5\" operator=\"equal\">"
               "<formula>50</formula></cfRule>"),
      keep);
  // A2: green fill, and nothing of the lower rules after the rule that stops.
  const model::ConditionalLook* a2 = ws.ConditionalLookAt(2, 1);
  ASSERT_NE(a2, nullptr);
  EXPECT_EQ(a2->format.fillColor, 0x00FF00u);
  EXPECT_FALSE(a2->format.fontColor.has_value());
  EXPECT_FALSE(a2->format.bold.has_value());
  // A3: the blue font and left border win over red; bold comes from the later rule.
  const model::ConditionalLook* a3 = ws.ConditionalLookAt(3, 1);
  ASSERT_NE(a3, nullptr);
  EXPECT_EQ(a3->format.fontColor, 0xFF0000u);
  EXPECT_EQ(a3->format.bold, true);
  EXPECT_EQ(a3->format.borderStyle[model::kLeft], 1);
  EXPECT_EQ(a3->format.borderColor[model::kLeft], 0x0000FFu);
  EXPECT_FALSE(a3->format.borderStyle[model::kRight].has_value());
  // Solid in fgColor alone, and a 75% black pattern over white seen from afar.
  ASSERT_NE(ws.ConditionalLookAt(1, 2), nullptr);
  EXPECT_EQ(ws.ConditionalLookAt(1, 2)->format.fillColor, 0xFF0000u);
  ASSERT_NE(ws.ConditionalLookAt(2, 2), nullptr);
  EXPECT_EQ(ws.ConditionalLookAt(2, 2)->format.fillColor, 0x404040u);
  EXPECT_EQ(ws.ConditionalLookAt(1, 1), nullptr);
}

TEST(XlsxConditionalFormats, ColourScalesAndDataBarsFollowTheNumbers) {
  std::shared_ptr<model::Workbook> keep;
  ReaderWorksheet ws = Read(
      // The scale's range covers the whole column: only stored cells cost anything.
      Rule("B1:B1048576",
           "<cfRule type=\"colorScale\" priority=\"1\"><colorScale><cfvo type=\"min\"/>"
           "<cfvo type=\"percentile\" val=\"50\"/><cfvo type=\"max\"/><color rgb=\"FFF8696B\"/>"
           "<color rgb=\"FFFFEB84\"/><color rgb=\"FF63BE7B\"/></colorScale></cfRule>") +
          Rule("A1:A3",
               "<cfRule type=\"colorScale\" priority=\"2\"><colorScale>"
               "<cfvo type=\"num\" val=\"0\"/><cfvo type=\"num\" val=\"20\"/>"
               "<color rgb=\"FF000000\"/><color rgb=\"FFFFFFFF\"/></colorScale></cfRule>") +
          Rule("C1:C3",
               "<cfRule type=\"dataBar\" priority=\"3\"><dataBar><cfvo type=\"min\"/>"
               "<cfvo type=\"max\"/><color rgb=\"FF638EC6\"/></dataBar></cfRule>"),
      keep);
  auto fill = [&](int row, int col) {
    const model::ConditionalLook* l = ws.ConditionalLookAt(row, col);
    return l && l->format.fillColor ? *l->format.fillColor : 0xFFFFFFFFu;
  };
  EXPECT_EQ(fill(1, 2), 0x6B69F8u);
  EXPECT_EQ(fill(2, 2), 0x84EBFFu);  // the median takes the middle colour
  EXPECT_EQ(fill(3, 2), 0x7BBE63u);
  EXPECT_EQ(fill(1, 1), 0x0D0D0Du);  // 1 of 0..20, interpolated per channel
  EXPECT_EQ(fill(3, 1), 0x808080u);
  const double bars[] = {0.1, 0.5, 0.9};  // the first form draws 10% to 90% of the cell
  for (int row = 1; row <= 3; ++row) {
    const model::ConditionalLook* l = ws.ConditionalLookAt(row, 3);
    ASSERT_NE(l, nullptr);
    EXPECT_TRUE(l->hasBar);
    EXPECT_DOUBLE_EQ(l->barFraction, bars[row - 1]);
    EXPECT_EQ(l->barColor, 0xC68E63u);
  }
  EXPECT_EQ(ws.UnevaluatedConditionalRules(), 0);
}

TEST(XlsxConditionalFormats, MalformedRulesAreIgnored) {
  std::shared_ptr<model::Workbook> keep;
  ReaderWorksheet ws =
      Read(Rule("A1:A9 ZZZ9999999 :",
                "<cfRule type=\"cellIs\" dxfId=\"99\" operator=\"nonsense\">"
                "<formula>1</formula></cfRule><cfRule type=\"cellIs\" "
                "operator=\"between\"><formula>1</formula></cfRule>"
                "<cfRule type=\"colorScale\"><colorScale><cfvo type=\"min\"/>"
                "</colorScale></cfRule><cfRule type=\"bogus\"/>") +
               "<conditionalFormatting><cfRule type=\"top10\" rank=\"-5\" dxfId=\"0\"/>"
               "</conditionalFormatting>",
           keep);
  for (int row = 1; row <= 9; ++row) EXPECT_EQ(ws.ConditionalLookAt(row, 1), nullptr);
  EXPECT_EQ(ws.UnevaluatedConditionalRules(), 0);
}

}  // namespace
}  // namespace gridwell
