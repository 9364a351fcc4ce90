// Hand-written packages for what writer libraries do not produce: shared formulas, error
// and ISO date cells, Strict namespaces, theme colours, and damaged or hostile input.
#include <gtest/gtest.h>

#include <string>

#include "package_builder.h"
#include "reader/reader.h"
#include "reader/xlsx/xlsx_reader.h"
#include "tests/support/colors.h"

namespace gridwell {
namespace {

using xlsx::testing::MinimalParts;
using xlsx::testing::Parts;
using xlsx::testing::RemovePart;
using xlsx::testing::SetPart;
using xlsx::testing::Sheet;
using xlsx::testing::Zip;

using test::NearColor;

ReadResult Read(const Parts& parts, const ReadLimits& limits = {}) {
  std::vector<uint8_t> bytes = Zip(parts);
  return xlsx::ReadMemory(bytes, limits);
}

ReaderWorksheet FirstSheet(const ReadResult& r) {
  EXPECT_EQ(r.status.Code(), StatusCode::Ok) << r.status.Detail();
  return ReaderWorkbook(r.workbook).Worksheets().Item(1);
}

TEST(XlsxPackage, SharedFormulasShiftPerDependentCell) {
  ReadResult r = Read(MinimalParts(
      Sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\"><f t=\"shared\" ref=\"B1:C3\" "
            "si=\"0\">A1*$A$1+SUM($A1:A$2)</f><v>2</v></c><c r=\"C1\"><f t=\"shared\" si=\"0\"/>"
            "<v>3</v></c></row>"
            "<row r=\"3\"><c r=\"B3\"><f t=\"shared\" si=\"0\"/><v>4</v></c>"
            "<c r=\"C3\"><f t=\"shared\" si=\"7\"/><v>5</v></c></row>")));
  ReaderWorksheet ws = FirstSheet(r);  // keeps the workbook alive
  ReaderCells cells = ws.Cells();
  EXPECT_EQ(cells.Cell(1, 2).Formula(), "=A1*$A$1+SUM($A1:A$2)");
  EXPECT_EQ(cells.Cell(1, 3).Formula(), "=B1*$A$1+SUM($A1:B$2)");
  EXPECT_EQ(cells.Cell(3, 2).Formula(), "=A3*$A$1+SUM($A3:A$2)");
  EXPECT_EQ(cells.Cell(3, 2).Value().number, 4);
  // A dependent whose group has no master keeps its value and gets no formula.
  EXPECT_EQ(cells.Cell(3, 3).Formula(), "");
  EXPECT_EQ(cells.Cell(3, 3).Value().number, 5);
}

TEST(XlsxPackage, CellTypes) {
  Parts parts = MinimalParts(
      Sheet("<row r=\"1\">"
            "<c r=\"A1\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c>"
            "<c r=\"B1\" t=\"e\"><v>#N/A</v></c>"
            "<c r=\"C1\" t=\"inlineStr\"><is><r><t>in</t></r><r><t xml:space=\"preserve\">line "
            "</t></r><rPh><t>xx</t></rPh></is></c>"
            "<c r=\"D1\" t=\"s\"><v>0</v></c>"
            "<c r=\"E1\" t=\"s\"><v>1</v></c>"
            "<c r=\"F1\" t=\"s\"><v>99</v></c>"
            "<c r=\"G1\" t=\"b\"><v>1</v></c>"
            "<c r=\"H1\" t=\"d\"><v>2024-02-29T12:00:00Z</v></c>"
            "<c r=\"I1\" t=\"str\"><f>\"a\"&amp;\"b\"</f><v>ab</v></c>"
            "<c r=\"J1\"><v> 1.5e3 </v></c>"
            "<c r=\"K1\"><v>not a number</v></c>"
            "</row>"));
  SetPart(parts, "xl/sharedStrings.xml",
          "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"2\" "
          "uniqueCount=\"999999999\"><si><t>a_x000D_b</t></si><si><r><t>東京</t></r><rPh sb=\"0\" "
          "eb=\"2\"><t>とうきょう</t></rPh><r><t>_x005F_x0041_ &amp; "
          "_xD83D__xDE00_</t></r></si></sst>");
  ReaderWorksheet ws = FirstSheet(Read(parts));
  ReaderCells cells = ws.Cells();
  EXPECT_EQ(cells.Cell(1, 1).Value().kind, ValueKind::Error);
  EXPECT_EQ(cells.Cell(1, 1).Value().error, ErrorCode::Div0);
  EXPECT_EQ(cells.Cell(1, 1).Formula(), "=1/0");
  EXPECT_EQ(cells.Cell(1, 2).Value().error, ErrorCode::NA);
  EXPECT_EQ(cells.Cell(1, 3).Value().text, "inline ");
  EXPECT_EQ(cells.Cell(1, 4).Value().text, "a\rb");
  EXPECT_EQ(cells.Cell(1, 5).Value().text, "東京_x0041_ & 😀");
  EXPECT_FALSE(cells.Cell(1, 6));  // shared string index past the table
  EXPECT_TRUE(cells.Cell(1, 7).Value().boolean);
  EXPECT_EQ(cells.Cell(1, 8).Value().kind, ValueKind::Date);
  EXPECT_DOUBLE_EQ(cells.Cell(1, 8).Value().number, 45351.5);
  EXPECT_EQ(cells.Cell(1, 9).Value().text, "ab");
  EXPECT_EQ(cells.Cell(1, 9).Formula(), "=\"a\"&\"b\"");
  EXPECT_EQ(cells.Cell(1, 10).Value().number, 1500);
  EXPECT_FALSE(cells.Cell(1, 11));
}

TEST(XlsxPackage, PositionsWithoutReferencesAndPastTheGrid) {
  ReadResult r = Read(MinimalParts(
      Sheet("<row><c><v>1</v></c><c><v>2</v></c><c r=\"E1\"><v>5</v></c><c><v>6</v></c></row>"
            "<row><c><v>7</v></c></row>"
            "<row r=\"1048577\"><c r=\"A1048577\"><v>8</v></c></row>"
            "<row r=\"9\"><c r=\"XFE9\"><v>9</v></c><c r=\"XFD9\"><v>10</v></c>"
            "<c r=\"B9\"><v>11</v></c><c r=\"B9\"><v>12</v></c><c r=\"c9\"><v>13</v></c>"
            "<c r=\"A+9\"><v>14</v></c></row>",
            "<dimension ref=\"A1:B2\"/>")));
  ReaderWorksheet ws = FirstSheet(r);  // keeps the workbook alive
  ReaderCells cells = ws.Cells();
  EXPECT_EQ(cells.Cell(1, 1).Value().number, 1);
  EXPECT_EQ(cells.Cell(1, 2).Value().number, 2);
  EXPECT_EQ(cells.Cell(1, 5).Value().number, 5);
  EXPECT_EQ(cells.Cell(1, 6).Value().number, 6);
  EXPECT_EQ(cells.Cell(2, 1).Value().number, 7);
  EXPECT_EQ(cells.Cell(9, 16384).Value().number, 10);
  EXPECT_EQ(cells.Cell(9, 2).Value().number, 12);  // a duplicate replaces the earlier cell
  EXPECT_EQ(cells.Cell(9, 3).Value().number, 13);  // lower-case letters
  EXPECT_EQ(cells.Cell(9, 4).Value().number, 14);  // a malformed reference: the next position
  EXPECT_EQ(cells.Count(), 9);
}

TEST(XlsxPackage, StylesThemeColoursAndDefaults) {
  Parts parts = MinimalParts(
      Sheet("<row r=\"1\" ht=\"12.75\" customHeight=\"1\"><c r=\"A1\" s=\"1\"><v>1</v></c>"
            "<c r=\"B1\" s=\"2\"><v>1</v></c><c r=\"C1\" s=\"4000000000\"><v>1</v></c>"
            "<c r=\"D1\" s=\"3\"/></row>",
            "<sheetFormatPr baseColWidth=\"10\" defaultRowHeight=\"16\"/>",
            "<sheetProtection sheet=\"1\"/>"));
  SetPart(parts, "xl/styles.xml",
          "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
          "<numFmts count=\"2\"><numFmt numFmtId=\"200\" formatCode=\"0.000\"/>"
          "<numFmt numFmtId=\"201\" formatCode=\"0.0_x0020_&quot;kg&quot;\"/></numFmts>"
          "<fonts><font><sz val=\"11\"/><name val=\"Calibri\"/></font>"
          "<font><b/><i val=\"0\"/><u val=\"doubleAccounting\"/><color theme=\"4\" "
          "tint=\"0.39997558519241921\"/><sz val=\"9\"/><name val=\"Arial\"/></font></fonts>"
          "<fills><fill><patternFill patternType=\"none\"/></fill><fill><patternFill "
          "patternType=\"gray125\"/></fill><fill><patternFill patternType=\"solid\"><fgColor "
          "theme=\"4\" tint=\"-0.249977111117893\"/></patternFill></fill><fill><patternFill "
          "patternType=\"darkUp\"><fgColor indexed=\"10\"/><bgColor indexed=\"64\"/></patternFill>"
          "</fill></fills>"
          "<borders><border/><border><left style=\"slantDashDot\"><color indexed=\"8\"/></left>"
          "<bottom style=\"mediumDashDotDot\"><color auto=\"1\"/></bottom></border></borders>"
          "<cellXfs><xf/><xf numFmtId=\"200\" fontId=\"1\" fillId=\"2\" borderId=\"1\"><alignment "
          "horizontal=\"centerContinuous\" vertical=\"top\" indent=\"2\" wrapText=\"true\"/></xf>"
          "<xf numFmtId=\"201\" fillId=\"3\" fontId=\"99\"/><xf fillId=\"2\"/></cellXfs>"
          "<colors><indexedColors><rgbColor rgb=\"FF000000\"/><rgbColor rgb=\"FF010203\"/>"
          "<rgbColor rgb=\"FF000000\"/><rgbColor rgb=\"FF000000\"/><rgbColor rgb=\"FF000000\"/>"
          "<rgbColor rgb=\"FF000000\"/><rgbColor rgb=\"FF000000\"/><rgbColor rgb=\"FF000000\"/>"
          "<rgbColor rgb=\"FFAABBCC\"/></indexedColors></colors></styleSheet>");
  ReaderWorksheet ws = FirstSheet(Read(parts));
  ReaderCell a = ws.Cells().Cell(1, 1);
  EXPECT_EQ(a.NumberFormatIndex(), 200);
  EXPECT_EQ(a.NumberFormat(), "0.000");
  EXPECT_TRUE(a.Bold());
  EXPECT_FALSE(a.Italic());
  EXPECT_EQ(a.Underline(), 34);
  EXPECT_EQ(a.FontSize(), 9);
  EXPECT_TRUE(NearColor(a.FontColor(), 0xDBA98Eu));  // accent 1 (4472C4) lighter 40%: 8EA9DB
  EXPECT_EQ(a.FillPattern(), 1);
  EXPECT_TRUE(NearColor(a.FillColor(), 0x97552Fu));  // accent 1 darker 25%: 2F5597
  EXPECT_EQ(a.HorizontalAlignment(), 6);
  EXPECT_EQ(a.VerticalAlignment(), 0);
  EXPECT_EQ(a.IndentLevel(), 2);
  EXPECT_TRUE(a.WrapText());
  EXPECT_EQ(a.BorderLineStyle(0), 13);
  EXPECT_EQ(a.BorderColor(0), 0xCCBBAAu);  // custom palette entry 8
  EXPECT_EQ(a.BorderLineStyle(3), 12);
  EXPECT_EQ(a.BorderColor(3), 0u);
  ReaderCell b = ws.Cells().Cell(1, 2);
  EXPECT_EQ(b.FillPattern(), 8);
  // Default palette 10 (red, past the custom entries) over the automatic background (white),
  // half and half.
  EXPECT_EQ(b.FillColor(), 0x8080FFu);
  EXPECT_EQ(b.FontName(), "Calibri");         // font index out of range: the default font
  EXPECT_EQ(b.NumberFormat(), "0.0 \"kg\"");  // "_x0020_" is an escaped space
  EXPECT_EQ(b.Text(), "1.0 kg");
  ReaderCell c = ws.Cells().Cell(1, 3);  // absurd style index: the default format
  EXPECT_EQ(c.FillPattern(), 58);
  EXPECT_TRUE(ws.Cells().Cell(1, 4));  // a formatted blank is kept
  EXPECT_EQ(ws.Cells().Cell(1, 4).Value().kind, ValueKind::Empty);
  EXPECT_DOUBLE_EQ(ws.Rows().Item(1).Height(), 255);
  EXPECT_DOUBLE_EQ(ws.Rows().Item(2).Height(), 320);
  EXPECT_DOUBLE_EQ(ws.Columns().Item(1).Width(), 10.71);
  EXPECT_TRUE(ws.IsProtected());
}

TEST(XlsxPackage, StrictNamespacesPrefixes1904AndProtection) {
  const std::string main = "http://purl.oclc.org/ooxml/spreadsheetml/main";
  const std::string rel = "http://purl.oclc.org/ooxml/officeDocument/relationships";
  Parts parts =
      MinimalParts("<x:worksheet xmlns:x=\"" + main +
                   "\"><x:sheetData><x:row r=\"2\"><x:c r=\"B2\" "
                   "t=\"d\"><x:v>1904-01-03</x:v></x:c><x:c r=\"C2\"><x:v>7</x:v></x:c></x:row>"
                   "</x:sheetData></x:worksheet>");
  SetPart(parts, "xl/workbook.xml",
          "<x:workbook xmlns:x=\"" + main + "\" xmlns:r=\"" + rel +
              "\"><x:workbookPr date1904=\"true\"/><x:workbookProtection lockStructure=\"1\"/>"
              "<x:sheets><x:sheet name=\"Strict\" sheetId=\"1\" r:id=\"rId1\" "
              "state=\"veryHidden\"/></x:sheets></x:workbook>");
  SetPart(parts, "xl/_rels/workbook.xml.rels",
          "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
          "<Relationship Id=\"rId1\" Type=\"" +
              rel + "/worksheet\" Target=\"/xl/worksheets/sheet1.xml\"/></Relationships>");
  ReadResult r = Read(parts);
  ReaderWorkbook wb(r.workbook);
  ASSERT_TRUE(wb) << r.status.Detail();
  EXPECT_TRUE(wb.Uses1904Dates());
  EXPECT_TRUE(wb.IsProtected());
  ReaderWorksheet ws = wb.Worksheets().Item(1);
  EXPECT_EQ(ws.Name(), "Strict");
  EXPECT_TRUE(ws.IsHidden());
  // A 1904 serial of 2 is 3 January 1904; dates are handed out in the 1900 system.
  EXPECT_DOUBLE_EQ(ws.Cells().Cell(2, 2).Value().number, 2 + 1462);
  EXPECT_EQ(ws.Cells().Cell(2, 3).Value().number, 7);
}

TEST(XlsxPackage, FindsPartsWhenRelationshipsAreMissingOrOdd) {
  const std::string sheet = Sheet("<row r=\"1\"><c r=\"A1\"><v>3</v></c></row>");
  struct Case {
    const char* name;
    Parts parts;
  };
  Parts noRels = MinimalParts(sheet);
  RemovePart(noRels, "xl/_rels/workbook.xml.rels");
  RemovePart(noRels, "_rels/.rels");
  Parts backslash = MinimalParts("");
  RemovePart(backslash, "xl/worksheets/sheet1.xml");
  SetPart(backslash, "xl\\worksheets\\sheet1.xml", sheet);
  Parts relative = MinimalParts("");
  RemovePart(relative, "xl/worksheets/sheet1.xml");
  SetPart(relative, "sheets/one.xml", sheet);
  SetPart(relative, "xl/_rels/workbook.xml.rels",
          "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
          "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
          "relationships/worksheet\" Target=\"../sheets/./one.xml\"/></Relationships>");
  Parts rootWorkbook = MinimalParts(sheet);
  RemovePart(rootWorkbook, "_rels/.rels");
  RemovePart(rootWorkbook, "[Content_Types].xml");
  Case cases[] = {{"no relationships", noRels},
                  {"backslash names", backslash},
                  {"relative target", relative},
                  {"no package rels", rootWorkbook}};
  for (const Case& c : cases) {
    ReadResult r = Read(c.parts);
    ASSERT_EQ(r.status.Code(), StatusCode::Ok) << c.name << ": " << r.status.Detail();
    ReaderWorksheet ws = ReaderWorkbook(r.workbook).Worksheets().Item(1);
    ReaderCell cell = ws.Cells().Cell(1, 1);
    ASSERT_TRUE(cell) << c.name;
    EXPECT_EQ(cell.Value().number, 3) << c.name;
  }
}

TEST(XlsxPackage, CommentsWithRichRuns) {
  Parts parts = MinimalParts(Sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"));
  SetPart(parts, "xl/worksheets/_rels/sheet1.xml.rels",
          "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
          "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
          "relationships/comments\" Target=\"../comments1.xml\"/></Relationships>");
  SetPart(parts, "xl/comments1.xml",
          "<comments xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><authors>"
          "<author>me</author></authors><commentList><comment ref=\"B3\" authorId=\"0\"><text><r>"
          "<rPr><b/></rPr><t>me:</t></r><r><t xml:space=\"preserve\"> look here</t></r></text>"
          "</comment><comment ref=\"ZZZZ1\"><text><t>bad ref</t></text></comment></commentList>"
          "</comments>");
  ReaderWorksheet ws = FirstSheet(Read(parts));
  ReaderComments comments = ws.Comments();
  EXPECT_EQ(comments.Item(3, 2).Text(), "me: look here");
  EXPECT_EQ(comments.Item(1, 1).Text(), "");
}

TEST(XlsxPackage, HostileAndDamagedInput) {
  const std::string bomb =
      "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\"><!ENTITY lol2 "
      "\"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">]>";
  struct Case {
    const char* name;
    Parts parts;
    ReadLimits limits;
    bool readable;              // the package still opens
    int cellsOfSheet;           // cells read from the first sheet when readable
    const char* errorHas = "";  // part of the error when unreadable
  };
  std::string spaces(16 << 20, ' ');
  Parts bigSheet = MinimalParts(Sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>" + spaces));
  Parts entitySheet = MinimalParts(bomb + Sheet("<row><c><v>&lol2;</v></c></row>"));
  Parts entityWorkbook = MinimalParts(Sheet(""));
  SetPart(entityWorkbook, "xl/workbook.xml", bomb + "<workbook/>");
  Parts truncated = MinimalParts(
      "<worksheet><sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c>"
      "<c r=\"B1\"><v>2</v></c></row><row r=\"2\"><c r=\"A2\"><v>");
  // Big parts are inflated on a second thread while they are parsed; a cut one still keeps
  // every cell before the cut.
  std::string manyRows = "<worksheet><sheetData>";
  for (int r = 1; r <= 60000; ++r) {
    const std::string n = std::to_string(r);
    manyRows += "<row r=\"" + n + "\"><c r=\"A" + n + "\"><v>" + n + "</v></c></row>";
  }
  Parts bigTruncated = MinimalParts(manyRows + "<row r=\"60001\"><c r=\"A6");
  Parts badWorkbook = MinimalParts(Sheet(""));
  SetPart(badWorkbook, "xl/workbook.xml", "<workbook><sheets><sheet name=");
  Parts noWorkbook = MinimalParts(Sheet(""));
  RemovePart(noWorkbook, "xl/workbook.xml");
  // Elements nested far deeper than any writer nests them, in every part read as a tree or
  // streamed: read without running out of stack.
  auto nested = [](int depth, const std::string& inner) {
    std::string x;
    x.reserve(size_t(depth) * 7 + inner.size());
    for (int i = 0; i < depth; ++i) x += "<r><a>";
    x += inner;
    for (int i = 0; i < depth; ++i) x += "</a></r>";
    return x;
  };
  constexpr int kDeep = 200000;
  Parts deepComment = MinimalParts(Sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"));
  SetPart(deepComment, "xl/worksheets/_rels/sheet1.xml.rels",
          "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
          "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
          "relationships/comments\" Target=\"../comments1.xml\"/></Relationships>");
  SetPart(deepComment, "xl/comments1.xml",
          "<comments><commentList><comment ref=\"A1\"><text>" + nested(kDeep, "<t>deep</t>") +
              "</text></comment></commentList></comments>");
  Parts deepStrings = MinimalParts(Sheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>"));
  SetPart(deepStrings, "xl/sharedStrings.xml",
          "<sst><si>" + nested(kDeep, "<t>deep</t>") + "</si></sst>");
  Parts deepSheet = MinimalParts(Sheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is>" +
                                       nested(kDeep, "<t>deep</t>") + "</is></c></row>"));
  Parts deepStyles = MinimalParts(Sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"));
  SetPart(deepStyles, "xl/styles.xml", "<styleSheet>" + nested(kDeep, "") + "</styleSheet>");
  Parts deepWorkbook = MinimalParts(Sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"));
  SetPart(deepWorkbook, "xl/workbook.xml",
          "<workbook xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/"
          "relationships\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets>" +
              nested(kDeep, "") + "</workbook>");

  ReadLimits small;
  small.maxInflatedBytes = 4 << 20;
  ReadLimits ratio;
  ratio.maxCompressionRatio = 50;
  ReadLimits loose;  // whitespace deflates at about 1000:1, the default bound
  loose.maxCompressionRatio = 5000;
  Case cases[] = {
      {"inflated size limit", bigSheet, small, false, 0, "exceeds the expansion limit"},
      {"compression ratio limit", bigSheet, ratio, false, 0, "exceeds the expansion limit"},
      {"within the limits", bigSheet, loose, true, 1},
      {"entity declarations in a sheet",
       entitySheet,
       {},
       false,
       0,
       "document type declarations are not accepted"},
      {"entity declarations in the workbook", entityWorkbook, {}, false, 0},
      // A sheet cut short is not shown as if it were whole.
      {"truncated sheet", truncated, {}, false, 0, "xl/worksheets/sheet1.xml: "},
      {"truncated big sheet", bigTruncated, {}, false, 0, "at line 1"},
      {"deep comment text", deepComment, {}, true, 1},
      {"deep shared string", deepStrings, {}, true, 1},
      {"deep inline string", deepSheet, {}, true, 1},
      {"deep styles", deepStyles, {}, true, 1},
      {"deep workbook part", deepWorkbook, {}, true, 1},
      {"malformed workbook part", badWorkbook, {}, false, 0, "xl/workbook.xml: "},
      {"no workbook part", noWorkbook, {}, false, 0},
  };
  for (const Case& c : cases) {
    ReadResult r = Read(c.parts, c.limits);
    EXPECT_EQ(r.status.Code() == StatusCode::Ok, c.readable) << c.name << ": " << r.status.Detail();
    if (r.status.Code() != StatusCode::Ok) {
      EXPECT_FALSE(r.workbook) << c.name;
      EXPECT_FALSE(r.status.Detail().empty()) << c.name;
      EXPECT_NE(r.status.Detail().find(c.errorHas), std::string::npos)
          << c.name << ": " << r.status.Detail();
      continue;
    }
    ReaderWorksheet ws = ReaderWorkbook(r.workbook).Worksheets().Item(1);
    ASSERT_TRUE(ws) << c.name;
    EXPECT_EQ(ws.Cells().Count(), c.cellsOfSheet) << c.name;
  }

  const uint8_t junk[] = {'P', 'K', 3, 4, 0, 0, 0, 0};
  EXPECT_EQ(xlsx::ReadMemory(junk).status.Code(), StatusCode::Unreadable);
  EXPECT_EQ(xlsx::ReadMemory({}).status.Code(), StatusCode::Unreadable);
}

// Every part the sheet's cells depend on fails the read when it is damaged, or missing
// though named, the way a damaged sheet does; a part whose absence loses nothing does not.
TEST(XlsxPackage, DamagedPartsAroundASoundSheet) {
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  auto rels = [&](const std::string& more) {
    return "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
           "<Relationship Id=\"rId1\" Type=\"" +
           rel + "/worksheet\" Target=\"worksheets/sheet1.xml\"/>" + more + "</Relationships>";
  };
  auto relTo = [&](const char* id, const char* type, const char* target) {
    return std::string("<Relationship Id=\"") + id + "\" Type=\"" + rel + "/" + type +
           "\" Target=\"" + target + "\"/>";
  };
  const std::string sheetRels = "xl/worksheets/_rels/sheet1.xml.rels";
  const std::string commentRels =
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
      relTo("rId1", "comments", "../comments1.xml") + "</Relationships>";
  const std::string comments =
      "<comments><commentList><comment ref=\"A1\"><text><t>note</t></text></comment>"
      "</commentList></comments>";
  const std::string styles =
      "<styleSheet><cellXfs count=\"2\"><xf/><xf numFmtId=\"14\"/></cellXfs></styleSheet>";
  const std::string strings = "<sst><si><t>one</t></si><si><t>two</t></si><si><t>three</t></si>";
  // A1..C1 take the three shared strings, D1 is a date by its format.
  const Parts sound = [&] {
    Parts p = MinimalParts(
        Sheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
              "<c r=\"C1\" t=\"s\"><v>2</v></c><c r=\"D1\" s=\"1\"><v>45000</v></c></row>"));
    SetPart(p, "xl/_rels/workbook.xml.rels",
            rels(relTo("rId2", "styles", "styles.xml") +
                 relTo("rId3", "sharedStrings", "sharedStrings.xml") +
                 relTo("rId4", "theme", "theme/theme1.xml")));
    SetPart(p, "xl/styles.xml", styles);
    SetPart(p, "xl/sharedStrings.xml", strings + "</sst>");
    SetPart(p, "xl/theme/theme1.xml", "<a:theme xmlns:a=\"a\"><a:themeElements/></a:theme>");
    SetPart(p, sheetRels, commentRels);
    SetPart(p, "xl/comments1.xml", comments);
    SetPart(p, "docProps/core.xml", "<cp:coreProperties xmlns:cp=\"c\">");
    return p;
  }();
  struct Case {
    const char* name;
    const char* part;
    std::string text;      // the part's damaged text; "-" removes the part
    const char* errorHas;  // "" when the workbook reads whole
  };
  const Case cases[] = {
      {"sound", "", "", ""},
      {"strings after the first cut", "xl/sharedStrings.xml", "<sst><si><t>one</t></si><si><t>tw",
       "xl/sharedStrings.xml: "},
      {"strings named but missing", "xl/sharedStrings.xml", "-",
       "xl/sharedStrings.xml: named by xl/_rels/workbook.xml.rels"},
      {"styles cut", "xl/styles.xml", "<styleSheet><cellXfs><xf/><xf numF", "xl/styles.xml: "},
      {"styles named but missing", "xl/styles.xml", "-", "xl/styles.xml: named by"},
      {"workbook relationships cut", "xl/_rels/workbook.xml.rels", rels("").substr(0, 120),
       "xl/_rels/workbook.xml.rels: "},
      {"sheet relationship unknown", "xl/_rels/workbook.xml.rels",
       rels("").replace(rels("").find("rId1"), 4, "rId7"), "relationship \"rId1\""},
      {"sheet part missing", "xl/worksheets/sheet1.xml", "-",
       "xl/worksheets/sheet1.xml is not in the package"},
      {"sheet entry damaged into text", "xl/workbook.xml",
       "<workbook><sheets><sheet name=\"S\" r:id=\"rId1\"/>4sheet name=\"T\"/></sheets></workbook>",
       "xl/workbook.xml: the sheet list holds text"},
      {"package relationships cut", "_rels/.rels", "<Relationships><Relati", "_rels/.rels: "},
      {"sheet relationships cut", sheetRels.c_str(), commentRels.substr(0, 100),
       "xl/worksheets/_rels/sheet1.xml.rels: "},
      {"comments cut", "xl/comments1.xml", comments.substr(0, 60), "xl/comments1.xml: "},
      {"comments named but missing", "xl/comments1.xml", "-", "xl/comments1.xml: named by"},
      {"theme cut", "xl/theme/theme1.xml", "<a:theme xmlns:a=\"a\"><a:theme",
       "xl/theme/theme1.xml: "},
      // Optional parts whose absence loses no cell, format or comment.
      {"theme missing", "xl/theme/theme1.xml", "-", ""},
      {"content types damaged", "[Content_Types].xml", "<Types><Overr", ""},
      {"document properties damaged", "docProps/core.xml", "<cp:", ""},
  };
  for (const Case& c : cases) {
    Parts parts = sound;
    if (c.text == "-") {
      RemovePart(parts, c.part);
    } else if (*c.part) {
      SetPart(parts, c.part, c.text);
    }
    ReadResult r = Read(parts);
    if (*c.errorHas) {
      EXPECT_EQ(r.status.Code(), StatusCode::Unreadable) << c.name;
      EXPECT_FALSE(r.workbook) << c.name;
      EXPECT_NE(r.status.Detail().find(c.errorHas), std::string::npos)
          << c.name << ": " << r.status.Detail();
      // A parse error tells where in the part it is.
      if (c.text != "-" && std::string(c.name).ends_with("cut")) {
        EXPECT_NE(r.status.Detail().find(" line "), std::string::npos) << r.status.Detail();
      }
      continue;
    }
    ReaderWorksheet ws = FirstSheet(r);
    ASSERT_TRUE(ws) << c.name;
    ReaderCells cells = ws.Cells();
    EXPECT_EQ(cells.Count(), 4) << c.name;
    EXPECT_EQ(cells.Cell(1, 3).Value().text, "three") << c.name;
    EXPECT_EQ(cells.Cell(1, 4).Value().kind, ValueKind::Date) << c.name;
    EXPECT_EQ(ws.Comments().Item(1, 1).Text(), "note") << c.name;
  }
}

// Big sheets are parsed in runs of rows on a second thread and replayed in order; lowering
// the size from which that happens must change nothing in what is read, whatever the sheet
// holds between its rows.
std::string SplitTestRows(int rows, const std::string& middle) {
  std::string x;
  for (int r = 1; r <= rows; ++r) {
    const std::string n = std::to_string(r);
    // Some rows and cells carry no reference and follow their predecessor.
    x += r % 7 == 0 ? "<row ht=\"21\">" : "<row r=\"" + n + "\" spans=\"1:6\">";
    x += "<c r=\"A" + n + "\"><v>" + n + ".25</v></c>";
    x += "<c t=\"inlineStr\"><is><r><t>in</t></r><r><t xml:space=\"preserve\"> line &amp; " + n +
         "</t></r><rPh><t>skip</t></rPh></is></c>";
    x += r == 1 ? "<c r=\"C1\"><f t=\"shared\" ref=\"C1:C9999\" si=\"0\">A1*2</f><v>2.5</v></c>"
                : "<c r=\"C" + n + "\"><f t=\"shared\" si=\"0\"/><v>1</v></c>";
    x += "<c r=\"D" + n + "\" t=\"b\"><v>" + std::to_string(r % 2) + "</v></c>";
    x += "<c r=\"E" + n + "\" t=\"str\"><f>\"&lt;\"&amp;A" + n + "</f><v><![CDATA[<" + n +
         ">]]></v></c>";
    x += "<c r=\"F" + n + "\" t=\"e\"><v>#N/A</v></c>";
    x += "</row>\n";
    if (r == rows / 2) x += middle;
  }
  return x;
}

std::string Latin1(std::string sheet) {
  const std::string utf8 = "encoding=\"UTF-8\"";
  return sheet.replace(sheet.find(utf8), utf8.size(), "encoding=\"ISO-8859-1\"");
}

void ExpectSameSheets(const ReadResult& a, const ReadResult& b, const char* what) {
  ASSERT_EQ(a.status.Code(), StatusCode::Ok) << what << ": " << a.status.Detail();
  ASSERT_EQ(b.status.Code(), StatusCode::Ok) << what << ": " << b.status.Detail();
  ReaderWorksheet wa = FirstSheet(a), wb = FirstSheet(b);
  ReaderCells ca = wa.Cells(), cb = wb.Cells();
  ASSERT_EQ(ca.Count(), cb.Count()) << what;
  for (int i = 1; i <= ca.Count(); ++i) {
    ReaderCell x = ca.Item(i), y = cb.Item(i);
    ASSERT_EQ(x.Row(), y.Row()) << what << " cell " << i;
    ASSERT_EQ(x.Column(), y.Column()) << what << " cell " << i;
    EXPECT_EQ(x.Value().kind, y.Value().kind) << what << " cell " << i;
    EXPECT_EQ(x.Value().number, y.Value().number) << what << " cell " << i;
    EXPECT_EQ(x.Value().text, y.Value().text) << what << " cell " << i;
    EXPECT_EQ(x.Formula(), y.Formula()) << what << " cell " << i;
    EXPECT_EQ(wa.Rows().Item(x.Row()).Height(), wb.Rows().Item(y.Row()).Height()) << what;
  }
}

TEST(XlsxPackage, SplitParsingReadsWhatOneParserReads) {
  ReadLimits split;
  split.splitSheetsFrom = 1;  // runs of about 4 KiB from the first byte on
  const struct {
    const char* name;
    std::string sheet;
    int cells;
  } cases[] = {
      {"rows only", Sheet(SplitTestRows(3000, "")), 18000},
      {"a comment and a processing instruction between rows",
       Sheet(SplitTestRows(3000, "<!-- <row r=\"1\"><c><v>9</v></c></row> --><?pi x?>\n")), 18000},
      {"a row end inside a comment", Sheet(SplitTestRows(3000, "<!-- x</row> -->\n")), 18000},
      {"a declared single-byte encoding",
       Latin1(Sheet(SplitTestRows(3000, "<row r=\"99999\"><c t=\"str\"><v>caf\xE9</v></c></row>"))),
       18001},
      // Unreadable either way, with the same line named.
      {"a cut sheet", Sheet(SplitTestRows(3000, "")).substr(0, 200000), -1},
      {"a malformed row in the middle", Sheet(SplitTestRows(3000, "<row><c></row>\n")), -1},
  };
  for (const auto& c : cases) {
    const ReadResult one = Read(MinimalParts(c.sheet));
    const ReadResult runs = Read(MinimalParts(c.sheet), split);
    if (c.cells < 0) {
      EXPECT_EQ(one.status.Code(), StatusCode::Unreadable) << c.name;
      EXPECT_EQ(runs.status.Code(), StatusCode::Unreadable) << c.name;
      EXPECT_EQ(one.status.Detail(), runs.status.Detail()) << c.name;
      EXPECT_NE(one.status.Detail().find("xl/worksheets/sheet1.xml: "), std::string::npos)
          << one.status.Detail();
      EXPECT_NE(one.status.Detail().find(" at line "), std::string::npos) << one.status.Detail();
      continue;
    }
    ExpectSameSheets(one, runs, c.name);
    if (c.cells > 0) {
      EXPECT_EQ(FirstSheet(runs).Cells().Count(), c.cells) << c.name;
    }
  }
  // Shared formulas shift across runs; inline rich text and CDATA read as text.
  const ReadResult r = Read(MinimalParts(Sheet(SplitTestRows(3000, ""))), split);
  ReaderCells cells = FirstSheet(r).Cells();
  EXPECT_EQ(cells.Cell(2999, 3).Formula(), "=A2999*2");
  EXPECT_EQ(cells.Cell(2999, 2).Value().text, "in line & 2999");
  EXPECT_EQ(cells.Cell(2999, 5).Value().text, "<2999>");
  EXPECT_EQ(cells.Cell(700, 1).Value().number, 700.25);  // a row without a reference
}

}  // namespace
}  // namespace gridwell
