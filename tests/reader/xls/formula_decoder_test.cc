// Formula text from hand-built BIFF token streams.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "reader/xls/formula_decoder.h"

namespace gridwell::xls {
namespace {

using Bytes = std::vector<uint8_t>;

// Token builders (BIFF8 layouts).
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) {
    for (uint8_t b : p) out.push_back(b);
  }
  return out;
}
Bytes U16(uint16_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
}
Bytes Int(uint16_t v) {
  return Cat({{0x1E}, U16(v)});
}
Bytes Num(double d) {
  uint8_t raw[8];
  std::memcpy(raw, &d, 8);
  Bytes b{0x1F};
  for (uint8_t r : raw) b.push_back(r);
  return b;
}
Bytes NumBody(double d) {
  Bytes b = Num(d);
  return Bytes(b.begin() + 1, b.end());
}
Bytes Str(const std::string& s) {
  Bytes b{0x17, static_cast<uint8_t>(s.size()), 0};
  for (char c : s) b.push_back(static_cast<uint8_t>(c));
  return b;
}
// Column field with the relative flags: bit 14 column relative, bit 15 row relative.
uint16_t ColField(int col, bool rowRel, bool colRel) {
  return static_cast<uint16_t>(col | (colRel ? 0x4000 : 0) | (rowRel ? 0x8000 : 0));
}
Bytes Ref(int row, int col, bool rowRel = true, bool colRel = true, uint8_t ptg = 0x44) {
  return Cat({{ptg}, U16(static_cast<uint16_t>(row)), U16(ColField(col, rowRel, colRel))});
}
Bytes Area(int r1, int c1, int r2, int c2, uint8_t ptg = 0x25) {
  return Cat({{ptg},
              U16(static_cast<uint16_t>(r1)),
              U16(static_cast<uint16_t>(r2)),
              U16(ColField(c1, true, true)),
              U16(ColField(c2, true, true))});
}
Bytes Ref3d(uint16_t ixti, int row, int col) {
  return Cat({{0x5A}, U16(ixti), U16(static_cast<uint16_t>(row)), U16(ColField(col, true, true))});
}
Bytes Area3d(uint16_t ixti, int r1, int c1, int r2, int c2) {
  return Cat({{0x3B},
              U16(ixti),
              U16(static_cast<uint16_t>(r1)),
              U16(static_cast<uint16_t>(r2)),
              U16(ColField(c1, true, true)),
              U16(ColField(c2, true, true))});
}
Bytes Func(uint16_t iftab) {
  return Cat({{0x41}, U16(iftab)});
}
Bytes FuncVar(uint8_t argc, uint16_t iftab) {
  return Cat({{0x42, argc}, U16(iftab)});
}
Bytes Attr(uint8_t kind, uint16_t data) {
  return Cat({{0x19, kind}, U16(data)});
}
const Bytes kAdd{0x03}, kSub{0x04}, kMul{0x05}, kPow{0x07}, kConcat{0x08}, kGt{0x0D}, kUnion{0x10},
    kRange{0x11}, kNeg{0x13}, kPercent{0x14}, kParen{0x15}, kMiss{0x16};

FormulaNames Names() {
  FormulaNames n;
  n.sheets = {"Sheet1", "My Sheet", "A1", "2024", "Bob's", "Sheet3"};
  FormulaNames::SupBook self;
  FormulaNames::SupBook addIn;
  addIn.kind = FormulaNames::SupBook::Kind::AddIn;
  addIn.externNames = {"EOMONTHX", "MYFUNC"};
  FormulaNames::SupBook ext;
  ext.kind = FormulaNames::SupBook::Kind::External;
  ext.file = "book2.xls";
  ext.sheets = {"Data"};
  n.supBooks = {self, addIn, ext};
  n.xti = {{0, 0, 0}, {0, 1, 1},   {0, 0, 5}, {0, 2, 2},  {0, 3, 3},
           {0, 4, 4}, {1, -1, -1}, {2, 0, 0}, {0, -1, -1}};
  n.names = {"MyRange", "Print_Area"};
  return n;
}

struct Case {
  const char* what;
  Bytes tokens;
  Bytes extra;
  int row, col;  // the formula's cell, 0-based
  bool shared;
  const char* expected;  // null: the stream must be refused
};

TEST(FormulaDecoder, Table) {
  FormulaNames names = Names();
  const Case cases[] = {
      // Operators, precedence and parentheses.
      {"precedence", Cat({Int(1), Int(2), Int(3), kMul, kAdd}), {}, 0, 0, false, "=1+2*3"},
      {"explicit paren",
       Cat({Int(1), Int(2), kAdd, kParen, Int(3), kMul}),
       {},
       0,
       0,
       false,
       "=(1+2)*3"},
      {"paren missing from the stream",
       Cat({Int(1), Int(2), kAdd, Int(3), kMul}),
       {},
       0,
       0,
       false,
       "=(1+2)*3"},
      {"left associative", Cat({Int(8), Int(2), kSub, Int(1), kSub}), {}, 0, 0, false, "=8-2-1"},
      {"right operand grouped",
       Cat({Int(8), Int(2), Int(1), kSub, kSub}),
       {},
       0,
       0,
       false,
       "=8-(2-1)"},
      {"negation binds tighter than power",
       Cat({Ref(0, 0), kNeg, Int(2), kPow}),
       {},
       0,
       0,
       false,
       "=-A1^2"},
      {"negated power", Cat({Ref(0, 0), Int(2), kPow, kNeg}), {}, 0, 0, false, "=-(A1^2)"},
      {"percent and concat",
       Cat({Int(50), kPercent, Str("x"), kConcat}),
       {},
       0,
       0,
       false,
       "=50%&\"x\""},
      {"comparison", Cat({Ref(0, 0), Int(0), kGt}), {}, 0, 0, false, "=A1>0"},
      {"range operator", Cat({Ref(0, 0), Ref(4, 1), kRange}), {}, 0, 0, false, "=A1:B5"},
      // Operands.
      {"string with quotes", Str("say \"hi\""), {}, 0, 0, false, "=\"say \"\"hi\"\"\""},
      {"number", Num(1.5), {}, 0, 0, false, "=1.5"},
      {"big number", Num(1e20), {}, 0, 0, false, "=1E+20"},
      {"boolean and error",
       Cat({{0x1D, 1}, {0x1C, 0x07}, kConcat}),
       {},
       0,
       0,
       false,
       "=TRUE&#DIV/0!"},
      {"absolute and mixed",
       Cat({Ref(0, 0, false, false), Ref(1, 1, false, true), kAdd, Ref(2, 2, true, false), kAdd}),
       {},
       0,
       0,
       false,
       "=$A$1+B$2+$C3"},
      {"column IV", Ref(0, 255), {}, 0, 0, false, "=IV1"},
      {"area", Area(0, 0, 9, 2), {}, 0, 0, false, "=A1:C10"},
      {"whole columns", Area(0, 0, 65535, 1), {}, 0, 0, false, "=A:B"},
      {"whole rows", Area(2, 0, 4, 255), {}, 0, 0, false, "=3:5"},
      {"ref error", Cat({{0x2A, 0, 0, 0, 0}, Int(1), kAdd}), {}, 0, 0, false, "=#REF!+1"},
      {"defined names",
       Cat({{0x23, 1, 0, 0, 0}, {0x23, 2, 0, 0, 0}, kAdd}),
       {},
       0,
       0,
       false,
       "=MyRange+Print_Area"},
      // 3-D references.
      {"plain sheet", Ref3d(0, 0, 0), {}, 0, 0, false, "=Sheet1!A1"},
      {"sheet with a space", Ref3d(1, 1, 1), {}, 0, 0, false, "='My Sheet'!B2"},
      {"sheet span", Area3d(2, 0, 0, 1, 1), {}, 0, 0, false, "=Sheet1:Sheet3!A1:B2"},
      {"sheet named like a cell", Ref3d(3, 0, 0), {}, 0, 0, false, "='A1'!A1"},
      {"sheet name starting with a digit", Ref3d(4, 0, 0), {}, 0, 0, false, "='2024'!A1"},
      {"apostrophe doubled", Ref3d(5, 0, 0), {}, 0, 0, false, "='Bob''s'!A1"},
      {"deleted sheet", Ref3d(8, 0, 0), {}, 0, 0, false, "=#REF!A1"},
      {"external workbook", Ref3d(7, 0, 0), {}, 0, 0, false, "='[book2.xls]Data'!A1"},
      // Shared formulas: offsets from the cell that uses them.
      {"refN shifted", Ref(0xFFFF, 1, true, true, 0x4C), {}, 4, 2, true, "=D4"},
      {"refN absolute part stays", Ref(3, 0x00FF, false, true, 0x4C), {}, 9, 3, true, "=C$4"},
      {"areaN", Area(0, 0, 2, 0, 0x2D), {}, 1, 1, true, "=B2:B4"},
      {"ref3d in a shared formula", Ref3d(1, 1, 0), {}, 5, 5, true, "='My Sheet'!F7"},
      // Functions.
      {"fixed args", Cat({Ref(0, 0), Int(2), Func(27)}), {}, 0, 0, false, "=ROUND(A1,2)"},
      {"no args", Func(74), {}, 0, 0, false, "=NOW()"},
      {"variable args",
       Cat({Ref(0, 0), Ref(0, 1), Ref(0, 2), FuncVar(3, 4)}),
       {},
       0,
       0,
       false,
       "=SUM(A1,B1,C1)"},
      {"missing argument",
       Cat({Ref(0, 0), kMiss, Int(1), FuncVar(3, 1)}),
       {},
       0,
       0,
       false,
       "=IF(A1,,1)"},
      {"union argument",
       Cat({Ref(0, 0), Ref(1, 1), kUnion, FuncVar(1, 4)}),
       {},
       0,
       0,
       false,
       "=SUM((A1,B2))"},
      {"attr sum", Cat({Area(0, 0, 2, 0), Attr(0x10, 0)}), {}, 0, 0, false, "=SUM(A1:A3)"},
      {"attr if and goto",
       Cat({Ref(0, 0), Int(0), kGt, Attr(0x02, 9), Str("yes"), Attr(0x08, 8), Str("no"),
            Attr(0x08, 3), FuncVar(3, 1)}),
       {},
       0,
       0,
       false,
       "=IF(A1>0,\"yes\",\"no\")"},
      {"attr choose",
       Cat({Int(2), Cat({{0x19, 0x04}, U16(2), U16(6), U16(9), U16(12)}), Int(10), Attr(0x08, 6),
            Int(20), Attr(0x08, 3), FuncVar(3, 100)}),
       {},
       0,
       0,
       false,
       "=CHOOSE(2,10,20)"},
      {"volatile attr", Cat({Attr(0x01, 0), Func(63)}), {}, 0, 0, false, "=RAND()"},
      {"spaces", Cat({Ref(0, 0), Int(2), Attr(0x40, 0x0100), kAdd}), {}, 0, 0, false, "=A1 +2"},
      {"add-in function",
       Cat({{0x39}, U16(6), U16(2), U16(0), Int(1), FuncVar(2, 255)}),
       {},
       0,
       0,
       false,
       "=MYFUNC(1)"},
      // Constant arrays keep their values after the tokens.
      {"constant array", Cat({{0x60, 0, 0, 0, 0, 0, 0, 0}, FuncVar(1, 4)}),
       Cat({{1},
            U16(1),
            {0x01},
            NumBody(1),
            {0x01},
            NumBody(2.5),
            {0x02},
            U16(1),
            {0, 'a'},
            {0x04, 1, 0, 0, 0, 0, 0, 0, 0}}),
       0, 0, false, "=SUM({1,2.5;\"a\",TRUE})"},
      {"mem func is transparent",
       Cat({{0x29}, U16(7), Ref(0, 0), Ref(0, 1), kRange}),
       {},
       0,
       0,
       false,
       "=A1:B1"},
      // Streams that must be refused.
      {"truncated number", Bytes{0x1F, 0, 0, 0}, {}, 0, 0, false, nullptr},
      {"operator without operands", kAdd, {}, 0, 0, false, nullptr},
      {"two results", Cat({Int(1), Int(2)}), {}, 0, 0, false, nullptr},
      {"unknown token", Bytes{0x00}, {}, 0, 0, false, nullptr},
      {"unknown function", Cat({Int(1), Func(2000)}), {}, 0, 0, false, nullptr},
      {"too many args for the stack", Cat({Int(1), FuncVar(5, 4)}), {}, 0, 0, false, nullptr},
      {"array without its values", Bytes{0x60, 0, 0, 0, 0, 0, 0, 0}, {}, 0, 0, false, nullptr},
      {"array larger than its values", Bytes{0x60, 0, 0, 0, 0, 0, 0, 0},
       Cat({{0xFF}, U16(0xFFFF), {0x01}}), 0, 0, false, nullptr},
      {"table token", Bytes{0x02, 0, 0, 0, 0}, {}, 0, 0, false, nullptr},
      {"empty", {}, {}, 0, 0, false, nullptr},
  };
  for (const Case& c : cases) {
    FormulaTokens t{c.tokens, c.extra, c.row, c.col, c.shared};
    std::string out;
    bool ok = DecodeFormula(names, t, out);
    if (c.expected) {
      EXPECT_TRUE(ok) << c.what;
      EXPECT_EQ(out, c.expected) << c.what;
    } else {
      EXPECT_FALSE(ok) << c.what << " gave " << out;
      EXPECT_EQ(out, "") << c.what;
    }
  }
}

TEST(FormulaDecoder, Biff5Layouts) {
  FormulaNames names = Names();
  names.biff5 = true;
  // BIFF5: the relative flags sit in the row field; the column is one byte.
  Bytes ref{0x44, 0x02, 0xC0, 0x03};     // row 3 relative, column D relative
  Bytes refAbs{0x44, 0x00, 0x00, 0x00};  // $A$1
  Bytes area{0x25, 0x00, 0xC0, 0x04, 0xC0, 0x00, 0x01};
  Bytes sum = FuncVar(1, 4);
  Bytes tokens = Cat({ref, refAbs, kAdd, area, sum, kAdd});
  std::string out;
  ASSERT_TRUE(DecodeFormula(names, {tokens, {}, 0, 0, false}, out));
  EXPECT_EQ(out, "=D3+$A$1+SUM(A1:B5)");
  // 3-D reference: ixals (negative: this workbook), 8 reserved bytes, sheet range.
  Bytes ref3d = Cat({{0x5A}, U16(0xFFFF), Bytes(8, 0), U16(1), U16(1), {0x00, 0xC0, 0x00}});
  out.clear();
  ASSERT_TRUE(DecodeFormula(names, {ref3d, {}, 0, 0, false}, out));
  EXPECT_EQ(out, "='My Sheet'!A1");
}

TEST(FormulaDecoder, HostileStreamsStayBounded) {
  FormulaNames names = Names();
  // Thousands of operands and nothing to combine them: refused without growing forever.
  Bytes many;
  for (int i = 0; i < 3000; ++i) {
    Bytes t = Int(7);
    many.insert(many.end(), t.begin(), t.end());
  }
  std::string out;
  EXPECT_FALSE(DecodeFormula(names, {many, {}, 0, 0, false}, out));
  // Deep nesting that a recursive decoder would overflow on.
  Bytes deep = Int(1);
  for (int i = 0; i < 8000; ++i) deep.push_back(0x15);
  out.clear();
  EXPECT_TRUE(DecodeFormula(names, {deep, {}, 0, 0, false}, out));
  EXPECT_EQ(out.size(), 1u + 1 + 16000);
  // Text that grows past any formula a spreadsheet can hold: refused.
  Bytes doubling = Str(std::string(250, 'y'));
  for (int i = 0; i < 300; ++i) {
    Bytes s = Str(std::string(250, 'z'));
    doubling.insert(doubling.end(), s.begin(), s.end());
    doubling.push_back(0x08);
  }
  out.clear();
  EXPECT_FALSE(DecodeFormula(names, {doubling, {}, 0, 0, false}, out));
}

TEST(FormulaDecoder, SheetNameQuoting) {
  struct {
    const char* name;
    const char* quoted;
  } cases[] = {
      {"Sheet1", "Sheet1"}, {"My Sheet", "'My Sheet'"}, {"R1C1", "'R1C1'"}, {"ABC12", "'ABC12'"},
      {"ABCD12", "ABCD12"}, {"1st", "'1st'"},           {"a-b", "'a-b'"},   {"Données", "Données"},
      {"", "''"},           {"It's", "'It''s'"},        {"R", "'R'"},       {"Rx", "Rx"}};
  for (const auto& c : cases) EXPECT_EQ(QuoteSheetName(c.name), c.quoted) << c.name;
}

TEST(FormulaDecoder, FunctionTable) {
  struct {
    uint16_t iftab;
    const char* name;
    int args;
  } cases[] = {
      {0, "COUNT", -1},     {1, "IF", -1},       {4, "SUM", -1},     {27, "ROUND", 2},
      {31, "MID", 3},       {65, "DATE", 3},     {74, "NOW", 0},     {100, "CHOOSE", -1},
      {102, "VLOOKUP", -1}, {119, "REPLACE", 4}, {221, "TODAY", 0},  {336, "CONCATENATE", -1},
      {337, "POWER", 2},    {346, "COUNTIF", 2}, {345, "SUMIF", -1}, {379, "RTD", -1}};
  for (const auto& c : cases) {
    FunctionInfo fi = BuiltinFunction(c.iftab);
    ASSERT_NE(fi.name, nullptr) << c.iftab;
    EXPECT_STREQ(fi.name, c.name);
    EXPECT_EQ(fi.fixedArgs, c.args) << c.name;
  }
  EXPECT_EQ(BuiltinFunction(202).name, nullptr);
  EXPECT_EQ(BuiltinFunction(60000).name, nullptr);
}

}  // namespace
}  // namespace gridwell::xls
