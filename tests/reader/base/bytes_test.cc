#include <gtest/gtest.h>

#include <vector>

#include "reader/base/ascii.h"
#include "reader/base/bytes.h"

namespace gridwell::base {
namespace {

TEST(Bytes, LittleEndianFieldsRoundTripAndStopAtTheEnd) {
  uint8_t raw[6] = {};
  PutLe16(raw, 0xBEEF);
  PutLe32(raw + 2, 0x12345678);
  EXPECT_EQ((std::vector<uint8_t>(raw, raw + 6)),
            (std::vector<uint8_t>{0xEF, 0xBE, 0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(ReadLe16(raw), 0xBEEF);
  EXPECT_EQ(ReadLe32(raw + 2), 0x12345678u);

  const std::span<const uint8_t> body(raw, 6);
  const struct {
    size_t at;
    uint16_t le16;
    uint32_t le32;
  } cases[] = {{0, 0xBEEF, 0x5678BEEF},
               {2, 0x5678, 0x12345678},
               {3, 0x3456, 0},
               {4, 0x1234, 0},
               {5, 0, 0},
               {6, 0, 0},
               {SIZE_MAX - 1, 0, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(Le16(body, c.at), c.le16) << c.at;
    EXPECT_EQ(Le32(body, c.at), c.le32) << c.at;
  }
}

TEST(Bytes, HexDigits) {
  const struct {
    char c;
    int value;
  } cases[] = {{'0', 0},  {'9', 9},  {'a', 10}, {'f', 15}, {'A', 10}, {'F', 15},  {'g', -1},
               {'G', -1}, {'/', -1}, {':', -1}, {'@', -1}, {'`', -1}, {'\0', -1}, {'\xC3', -1}};
  for (const auto& c : cases) EXPECT_EQ(HexDigitValue(c.c), c.value) << c.c;
  std::string out;
  AppendHexByte(out, 0x0A);
  AppendHexByte(out, 0xF7, kHexLower);
  EXPECT_EQ(out, "0Af7");
}

TEST(Ascii, OnlyAsciiLettersChangeCase) {
  EXPECT_EQ(LowerAscii("Sheet1 \xC3\x84 XFD"), "sheet1 \xC3\x84 xfd");
  EXPECT_EQ(UpperAscii("am/pm \xC3\xA4 z"), "AM/PM \xC3\xA4 Z");
  const struct {
    const char *a, *b;
    bool equal, starts, ends;
  } cases[] = {
      {"Book.XLSX", "book.xlsx", true, true, true},
      {"HTTP://host", "http://", false, true, false},
      {"report.Xls", ".xls", false, false, true},
      {"\xC3\x84", "\xC3\xA4", false, false, false},  // Ä and ä: not ASCII, so not folded
      {"a", "", false, true, true},
      {"", "a", false, false, false},
      {"[", "{", false, false, false},  // differ by the case bit but are not letters
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EqualsNoCase(c.a, c.b), c.equal) << c.a << " " << c.b;
    EXPECT_EQ(StartsWithNoCase(c.a, c.b), c.starts) << c.a << " " << c.b;
    EXPECT_EQ(EndsWithNoCase(c.a, c.b), c.ends) << c.a << " " << c.b;
  }
}

}  // namespace
}  // namespace gridwell::base
