#include "converter/cls_concat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace gridwell {
namespace {

TEST(Concat, EmptyWhenNewAndAfterReInit) {
  clsConcat c;
  EXPECT_EQ(c.GetString(), "");
  clsConcat d;
  d.Append("abc");
  d.ReInit();
  EXPECT_EQ(d.GetString(), "");
  EXPECT_EQ(d.UsedLength(), 0);
}

TEST(Concat, GrowthRule) {
  clsConcat c;
  c.Append("hello");
  EXPECT_EQ(c.BufferLength(), 5u) << "first append leaves no reserve";
  c.Append("abc");
  EXPECT_EQ(c.BufferLength(), 5u + clsConcat::kGrowStep);
  EXPECT_EQ(c.UsedLength(), 8);
  // Exactly filling the remaining reserve still grows first (by the fixed step once the
  // piece is not longer than the text gathered).
  const std::string big1(20000, 'z');
  c.Append(big1);
  const size_t grown = c.BufferLength();
  EXPECT_EQ(grown, 5u + clsConcat::kGrowStep + big1.size()) << "a long piece grows by its length";
  const std::string fill(grown - c.UsedLength(), 'x');
  c.Append(fill);
  EXPECT_EQ(c.BufferLength(), grown + clsConcat::kGrowStep);
  // A piece longer than everything gathered grows the buffer by its own length.
  const size_t before = c.BufferLength();
  const std::string big(40000, 'y');
  c.Append(big);
  EXPECT_EQ(c.BufferLength(), before + big.size());
  EXPECT_EQ(c.GetString(), "helloabc" + big1 + fill + big);
}

TEST(Concat, EmptyAppendWithoutReserveAddsReserveOnly) {
  clsConcat c;
  c.Append("");
  EXPECT_EQ(c.BufferLength(), size_t(clsConcat::kGrowStep));
  EXPECT_EQ(c.UsedLength(), 0);
  EXPECT_EQ(c.GetString(), "");
}

TEST(Concat, LongPieceAfterLargerTextStoredWhole) {
  clsConcat c;
  const std::string a(50000, 'a'), b(20000, 'b');
  c.Append(a);
  c.Append(b);
  const std::string s = c.GetString();
  EXPECT_EQ(s, a + b);
  EXPECT_EQ(s.find('\0'), std::string::npos);
}

TEST(Concat, GetStringGivesUpBufferAndNeverReserve) {
  clsConcat c;
  for (int i = 0; i < 1000; ++i) c.Append("0123456789");
  const std::string s = c.GetString();
  EXPECT_EQ(s.size(), 10000u);
  EXPECT_EQ(s.find('\0'), std::string::npos);
  EXPECT_EQ(c.BufferLength(), 0u);
}

TEST(Concat, SetStringMakesTextTheGatheredText) {
  clsConcat c;
  c.Append("0123456789");
  c.SetString("abc");
  EXPECT_EQ(c.BufferLength(), 3u + clsConcat::kGrowStep);
  c.Append("d");
  EXPECT_EQ(c.GetString(), "abcd");
}

// The limit holds whatever reserve is left: pieces that would carry the text past it are
// refused and change nothing, pieces that reach it exactly are taken.
TEST(Concat, LimitHoldsAtTheBoundary) {
  constexpr int32_t kLimit = 20000;
  struct Case {
    const char* what;
    std::vector<size_t> pieces;  // appended in order
    size_t refusedFrom;          // index of the first refused piece (pieces.size(): none)
  };
  const Case cases[] = {
      {"reserve left after a growth", {19990, 5, 10}, 2},
      {"exactly at the limit", {19990, 5, 5}, 3},
      {"one past the limit", {19990, 5, 6}, 2},
      {"first piece too long", {20001}, 0},
      {"small pieces up to the limit", {10000, 9999, 1, 1}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    clsConcat acc(kLimit);
    std::string expected;
    for (size_t i = 0; i < c.pieces.size(); ++i) {
      const std::string piece(c.pieces[i], char('a' + i));
      const bool ok = acc.Append(piece);
      EXPECT_EQ(ok, i < c.refusedFrom) << "piece " << i;
      if (ok) expected += piece;
      EXPECT_EQ(acc.UsedLength(), int32_t(expected.size()));
      EXPECT_LE(acc.UsedLength(), kLimit);
    }
    EXPECT_EQ(acc.GetString(), expected);
  }
}

}  // namespace
}  // namespace gridwell
