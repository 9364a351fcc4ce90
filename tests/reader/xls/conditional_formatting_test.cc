// Conditional formats of BIFF8 sheets built record by record: the comparisons a CF record
// makes, its differential format, and the first-true rule of a CONDFMT's conditions.
#include <gtest/gtest.h>

#include <set>

#include "biff_builder.h"
#include "reader/reader.h"
#include "reader/xls/xls_reader.h"

namespace gridwell::xls::test {
namespace {

// DXFN flags: bits 0-21 leave alignment, borders and fill unchanged; bit 26 adds a font,
// 28 borders, 29 a fill.
constexpr uint32_t kAllUnchanged = 0x3FFFFF, kFont = 1u << 26, kBorder = 1u << 28;
constexpr uint32_t kPattern = 1u << 29;

// A font part: red (palette 10), bold and italic, strikeout left as it is.
Bytes FontDxfn() {
  Body b;
  b.u32(kAllUnchanged | kFont).u16(0);
  Bytes font(118, 0);
  auto put32 = [&font](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) font[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(68, 0x02);  // italic
  font[72] = 700 & 0xFF;
  font[73] = 700 >> 8;
  put32(80, 10);    // colour
  put32(88, 0x80);  // strikeout unchanged
  put32(92, 1);
  put32(96, 1);  // underline unchanged
  return b.bytes(font).b;
}

// A solid fill in palette colour 44 (light blue), given as the background colour.
Bytes FillDxfn() {
  return Body().u32(0xFFFF | (1u << 17) | kPattern).u16(0).u16(1 << 10).u16(44 << 7).b;
}

// A medium left border in palette colour 12 (blue); the other sides unchanged.
Bytes BorderDxfn() {
  const uint32_t unchanged = 0x3FF | (0x1Fu << 11) | (0x7u << 16);
  return Body().u32(unchanged | kBorder).u16(0).u32(2 | (12u << 16)).u32(0).b;
}

Bytes Cf(uint8_t ct, uint8_t cp, const Bytes& dxfn, const Bytes& f1, const Bytes& f2 = {}) {
  Body b;
  b.u8(ct).u8(cp).u16(uint16_t(f1.size())).u16(uint16_t(f2.size())).bytes(dxfn).bytes(f1).bytes(f2);
  return Record(0x01B1, b);
}

// CONDFMT over A1:A3 announcing `count` CF records.
Bytes CondFmt(uint16_t count) {
  return Record(
      0x01B0,
      Body().u16(count).u16(0).u16(0).u16(2).u16(0).u16(0).u16(1).u16(0).u16(2).u16(0).u16(0));
}

Bytes Int(uint16_t v) {
  return Body().u8(0x1E).u16(v).b;
}
Bytes Num(double v) {
  return Body().u8(0x1F).f64(v).b;
}

ReaderWorksheet Sheet(const std::vector<Bytes>& formats, std::shared_ptr<model::Workbook>& keep) {
  // A1 = 1, A2 = 5, A3 = "x".
  std::vector<Bytes> records = {
      Record(0x0203, Body().u16(0).u16(0).u16(15).f64(1)),
      Record(0x0203, Body().u16(1).u16(0).u16(15).f64(5)),
      Record(0x0204, Body().u16(2).u16(0).u16(15).str16("x")),
  };
  records.insert(records.end(), formats.begin(), formats.end());
  Bytes file = CompoundFile(Biff8Stream(DefaultFormats(), {{"S", records}}));
  ReadResult r = ReadMemory(file, nullptr);
  EXPECT_EQ(r.status.Code(), StatusCode::Ok) << r.status.Detail();
  keep = r.workbook;
  return ReaderWorkbook(r.workbook).Worksheets().Item(1);
}

TEST(XlsConditionalFormats, ComparisonsWithConstantOperands) {
  struct Case {
    const char* what;
    uint8_t ct, cp;
    Bytes f1, f2;
    std::set<int> rows;
    int unevaluated = 0;
  };
  const Bytes text = Body().u8(0x17).u8(1).u8(0).raw("X").b;
  const Case cases[] = {
      {"greater than 4: texts sort after numbers", 1, 5, Int(4), {}, {2, 3}},
      {"between 6 and 0", 1, 1, Num(6), Int(0), {1, 2}},
      {"equal to \"X\", case aside", 1, 3, text, {}, {3}},
      {"at most 1", 1, 8, Int(1), {}, {1}},
      {"not equal to -1", 1, 4, Body().bytes(Int(1)).u8(0x13).b, {}, {1, 2, 3}},
      {"less than (1.5)", 1, 6, Body().bytes(Num(1.5)).u8(0x15).b, {}, {1}},
      {"greater than a cell", 1, 5, Body().u8(0x44).u16(0).u16(0xC001).b, {}, {}, 1},
      {"a formula condition", 2, 0, Body().u8(0x1D).u8(1).b, {}, {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::shared_ptr<model::Workbook> keep;
    ReaderWorksheet ws = Sheet({CondFmt(1), Cf(c.ct, c.cp, FontDxfn(), c.f1, c.f2)}, keep);
    std::set<int> rows;
    for (int row = 1; row <= 3; ++row) {
      const model::ConditionalLook* look = ws.ConditionalLookAt(row, 1);
      if (!look) continue;
      rows.insert(row);
      EXPECT_EQ(look->format.fontColor, 0x0000FFu);
      EXPECT_EQ(look->format.bold, true);
      EXPECT_EQ(look->format.italic, true);
      EXPECT_FALSE(look->format.strike.has_value());
      EXPECT_FALSE(look->format.underline.has_value());
    }
    EXPECT_EQ(rows, c.rows);
    EXPECT_EQ(ws.UnevaluatedConditionalRules(), c.unevaluated);
  }
}

TEST(XlsConditionalFormats, FillsBordersAndTheFirstConditionThatHolds) {
  std::shared_ptr<model::Workbook> keep;
  // Greater than 4: fill; greater than 0: border. A2 takes the first only.
  ReaderWorksheet ws =
      Sheet({CondFmt(2), Cf(1, 5, FillDxfn(), Int(4)), Cf(1, 5, BorderDxfn(), Int(0)),
             // A CF past the count its CONDFMT announced belongs to none.
             Cf(1, 5, FontDxfn(), Int(0))},
            keep);
  const model::ConditionalLook* a2 = ws.ConditionalLookAt(2, 1);
  ASSERT_NE(a2, nullptr);
  EXPECT_EQ(a2->format.fillColor, 0xFFCC99u);
  EXPECT_FALSE(a2->format.borderStyle[model::kLeft].has_value());
  const model::ConditionalLook* a1 = ws.ConditionalLookAt(1, 1);
  ASSERT_NE(a1, nullptr);
  EXPECT_FALSE(a1->format.fillColor.has_value());
  EXPECT_FALSE(a1->format.fontColor.has_value());
  EXPECT_EQ(a1->format.borderStyle[model::kLeft], 2);
  EXPECT_EQ(a1->format.borderColor[model::kLeft], 0xFF0000u);
  EXPECT_FALSE(a1->format.borderStyle[model::kTop].has_value());
}

TEST(XlsConditionalFormats, NewerProgramsGivePrioritiesAndStopFlags) {
  // CFEX for CONDFMT 0's second rule: priority 1, applies on without stopping.
  auto cfex = [](uint16_t index, uint16_t priority, uint8_t flags) {
    Body b;
    b.u16(0x087B).u16(1).u16(0).u16(2).u16(0).u16(0).u32(0).u16(0);
    return Record(0x087B, b.u16(index).u8(5).u8(0).u16(priority).u8(flags).u8(0));
  };
  std::shared_ptr<model::Workbook> keep;
  ReaderWorksheet ws = Sheet({CondFmt(2), Cf(1, 5, FillDxfn(), Int(4)),
                              Cf(1, 5, BorderDxfn(), Int(0)), cfex(1, 1, 0x01), cfex(0, 2, 0x03)},
                             keep);
  const model::ConditionalLook* a2 = ws.ConditionalLookAt(2, 1);
  ASSERT_NE(a2, nullptr);
  EXPECT_EQ(a2->format.fillColor, 0xFFCC99u);
  EXPECT_EQ(a2->format.borderStyle[model::kLeft], 2);
}

TEST(XlsConditionalFormats, TruncatedRecordsAreIgnored) {
  const Bytes full = Cf(1, 5, FontDxfn(), Int(0));
  for (size_t cut = 4; cut < full.size(); cut += 7) {
    SCOPED_TRACE(cut);
    Bytes body(full.begin() + 4, full.begin() + long(cut));
    std::shared_ptr<model::Workbook> keep;
    ReaderWorksheet ws = Sheet({CondFmt(1), Record(0x01B1, body)}, keep);
    for (int row = 1; row <= 3; ++row) EXPECT_EQ(ws.ConditionalLookAt(row, 1), nullptr);
  }
}

}  // namespace
}  // namespace gridwell::xls::test
