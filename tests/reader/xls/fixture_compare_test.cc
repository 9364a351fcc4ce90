// The .xlsx fixtures and their .xls copies written by Gnumeric (tests/tools/
// convert_xls_fixtures.sh) must read the same through both readers: values, shown text,
// formulas and every format property both file formats carry.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "reader/reader.h"
#include "reader/xls/xls_reader.h"
#include "reader/xlsx/xlsx_reader.h"

namespace gridwell {
namespace {

std::string Data(const std::string& rel) {
  return std::string(GRIDWELL_SOURCE_DIR) + "/tests/data/" + rel;
}

std::string Where(const ReaderWorksheet& ws, const ReaderCell& c) {
  return std::string(ws.Name()) + " R" + std::to_string(c.Row()) + "C" + std::to_string(c.Column());
}

// Where Gnumeric reads the .xlsx differently from us, the .xls it writes says something
// else; these are the known cases, each with its reason.
struct KnownDifference {
  const char* fixture;
  const char* sheet;
  const char* property;
};
constexpr KnownDifference kKnown[] = {
    // Cells of the Hyperlink style say applyAlignment="1" with no alignment of their own;
    // Gnumeric takes the style's top alignment, Excel and our .xlsx reader the default.
    {"sample", "Contacts", "VerticalAlignment"},
};

bool Known(const std::string& fixture, std::string_view sheet, std::string_view property) {
  for (const KnownDifference& k : kKnown) {
    if (fixture == k.fixture && sheet == k.sheet && property == k.property) return true;
  }
  return false;
}

void CompareFormats(const std::string& at, const CellFormat& a, const CellFormat& b,
                    bool skipVertical) {
  EXPECT_EQ(a.HorizontalAlignment(), b.HorizontalAlignment()) << at;
  if (!skipVertical) {
    EXPECT_EQ(a.VerticalAlignment(), b.VerticalAlignment()) << at;
  }
  EXPECT_EQ(a.WrapText(), b.WrapText()) << at;
  EXPECT_EQ(a.IndentLevel(), b.IndentLevel()) << at;
  EXPECT_EQ(a.FillPattern(), b.FillPattern()) << at;
  // Gnumeric writes the two colours of a patterned (not solid) fill the other way round,
  // so only solid fills have a colour both files agree on.
  if (a.FillPattern() == 1) {
    EXPECT_EQ(a.FillColor(), b.FillColor()) << at;
  }
  EXPECT_EQ(a.NumberFormat(), b.NumberFormat()) << at;
  EXPECT_EQ(a.Bold(), b.Bold()) << at;
  EXPECT_EQ(a.Italic(), b.Italic()) << at;
  EXPECT_EQ(a.Strikethrough(), b.Strikethrough()) << at;
  EXPECT_EQ(a.Underline(), b.Underline()) << at;
  EXPECT_EQ(a.Escapement(), b.Escapement()) << at;
  EXPECT_EQ(a.FontName(), b.FontName()) << at;
  EXPECT_EQ(a.FontColor(), b.FontColor()) << at;
  EXPECT_DOUBLE_EQ(a.FontSize(), b.FontSize()) << at;
  for (int side = 0; side < 4; ++side) {
    EXPECT_EQ(a.BorderLineStyle(side), b.BorderLineStyle(side)) << at << " side " << side;
    EXPECT_EQ(a.BorderColor(side), b.BorderColor(side)) << at << " side " << side;
  }
}

class ConvertedFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(ConvertedFixture, BothReadersAgree) {
  std::string name = GetParam();
  ReadResult rx = xlsx::ReadFile(Data("xlsx/" + name + ".xlsx"));
  ReadResult rb = xls::ReadFile(Data("xls/" + name + ".xls"), nullptr);
  ASSERT_EQ(rx.status.Code(), StatusCode::Ok) << rx.status.Detail();
  ASSERT_EQ(rb.status.Code(), StatusCode::Ok) << rb.status.Detail();
  ReaderWorkbook x(rx.workbook), b(rb.workbook);
  EXPECT_EQ(x.Uses1904Dates(), b.Uses1904Dates());
  ASSERT_EQ(x.Worksheets().Count(), b.Worksheets().Count());
  for (int i = 1; i <= x.Worksheets().Count(); ++i) {
    ReaderWorksheet xs = x.Worksheets().Item(i), bs = b.Worksheets().Item(i);
    EXPECT_EQ(xs.Name(), bs.Name());
    EXPECT_EQ(xs.IsHidden(), bs.IsHidden()) << xs.Name();
    EXPECT_EQ(xs.IsProtected(), bs.IsProtected()) << xs.Name();
    // Every cell of the .xlsx with a value, a formula or a format is in the .xls, and
    // the .xls has no value the .xlsx lacks.
    ReaderCells xc = xs.Cells(), bc = bs.Cells();
    for (int k = 1; k <= xc.Count(); ++k) {
      ReaderCell c = xc.Item(k);
      std::string at = Where(xs, c);
      ReaderCell d = bc.Cell(c.Row(), c.Column());
      CellValue v = c.Value();
      if (!d) {
        EXPECT_TRUE(v.IsEmpty()) << at << " missing from the .xls";
        continue;
      }
      CellValue w = d.Value();
      EXPECT_EQ(v.kind, w.kind) << at;
      if (v.kind == ValueKind::Number || v.kind == ValueKind::Date) {
        EXPECT_NEAR(v.number, w.number, 1e-9 * std::max(1.0, std::fabs(v.number))) << at;
      }
      EXPECT_EQ(v.text, w.text) << at;
      EXPECT_EQ(v.boolean, w.boolean) << at;
      if (v.kind == ValueKind::Error) {
        EXPECT_EQ(v.error, w.error) << at;
      }
      EXPECT_EQ(c.Text(), d.Text()) << at;
      EXPECT_EQ(c.Formula(), d.Formula()) << at;
      EXPECT_EQ(xs.Comments().Item(c.Row(), c.Column()).Text(),
                bs.Comments().Item(c.Row(), c.Column()).Text())
          << at;
      CompareFormats(at, c, d, Known(name, xs.Name(), "VerticalAlignment"));
    }
    for (int k = 1; k <= bc.Count(); ++k) {
      ReaderCell d = bc.Item(k);
      if (!xc.Cell(d.Row(), d.Column())) {
        EXPECT_TRUE(d.Value().IsEmpty()) << Where(bs, d) << " only in the .xls";
      }
    }
    // Gnumeric writes every column out with its own default width, so only the widths
    // the .xlsx sets itself can agree.
    for (int col = 1; col <= 12; ++col) {
      double w = xs.Columns().Item(col).Width();
      if (w == xs.Columns().Item(200).Width()) continue;
      EXPECT_NEAR(bs.Columns().Item(col).Width(), w, 0.1) << xs.Name() << " column " << col;
    }
    for (int row = 1; row <= 40; ++row) {
      EXPECT_NEAR(xs.Rows().Item(row).Height(), bs.Rows().Item(row).Height(), 1)
          << xs.Name() << " row " << row;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ConvertedFixture,
                         ::testing::Values("values", "styles", "sheets", "sample"));

}  // namespace
}  // namespace gridwell
