// gridwell-thumbnailer as a file manager runs it: the PNG it writes shows a fixture's fill,
// border and text where the sheet has them; workbooks it cannot draw leave no file; hostile
// inputs neither crash it nor take it past its memory limit.
#include <cairo.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tests/reader/xlsx/package_builder.h"
#include "tests/support/files.h"
#include "thumbnailer/run_limits.h"
#include "thumbnailer/thumbnail.h"

extern char** environ;

namespace gridwell::thumbnail {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int exitCode = -1;  // -1 when a signal ended it
  long peakKilobytes = 0;
};

Outcome RunThumbnailer(const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(GRIDWELL_THUMBNAILER)};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // Under LeakSanitizer, fontconfig's process-long caches are not counted as leaks.
  std::vector<std::string> env{"LSAN_OPTIONS=print_suppressions=0:suppressions=" +
                               std::string(GRIDWELL_SOURCE_DIR) + "/tests/thumbnailer/lsan.supp"};
  for (char** e = environ; *e; ++e)
    if (std::string_view(*e).substr(0, 13) != "LSAN_OPTIONS=") env.push_back(*e);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  Outcome out;
  pid_t pid;
  if (posix_spawn(&pid, GRIDWELL_THUMBNAILER, nullptr, nullptr, argv.data(), envp.data()) != 0)
    return out;
  int status = 0;
  struct rusage usage {};
  if (wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status))
    out.exitCode = WEXITSTATUS(status);
  out.peakKilobytes = usage.ru_maxrss;
  return out;
}

std::string Fixture(const std::string& rel) {
  return std::string(GRIDWELL_SOURCE_DIR) + "/tests/data/" + rel;
}

// Files left in a folder, the thumbnailer's temporary files included.
std::vector<std::string> Entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
  return names;
}

struct Rgb {
  int r, g, b;
  int Luma() const { return (r * 3 + g * 6 + b) / 10; }
};

class Png {
 public:
  explicit Png(const std::string& path) : s_(cairo_image_surface_create_from_png(path.c_str())) {}
  ~Png() { cairo_surface_destroy(s_); }
  bool Ok() const { return cairo_surface_status(s_) == CAIRO_STATUS_SUCCESS; }
  int Width() const { return cairo_image_surface_get_width(s_); }
  int Height() const { return cairo_image_surface_get_height(s_); }
  Rgb At(int x, int y) const {
    cairo_surface_flush(s_);
    const unsigned char* row =
        cairo_image_surface_get_data(s_) + y * cairo_image_surface_get_stride(s_);
    const uint32_t p = reinterpret_cast<const uint32_t*>(row)[x];
    return {int(p >> 16 & 0xFF), int(p >> 8 & 0xFF), int(p & 0xFF)};
  }

 private:
  cairo_surface_t* s_;
};

enum class Look { Fill, BottomBorder, DarkText };

struct PixelCase {
  const char* name;
  const char* fixture;
  int row, col;
  Look look;
  uint32_t fill;  // 0xRRGGBB, for Look::Fill
  int size;
};

class ThumbnailerPixels : public test::TempFolderTest,
                          public ::testing::WithParamInterface<PixelCase> {};

// The Sales sheet of the sample workbook: A1:G1 a dark blue header with thin black borders
// and white text, plain dark texts below.
TEST_P(ThumbnailerPixels, ShowsWhatTheSheetHasWhereItHasIt) {
  const PixelCase& c = GetParam();
  const std::string out = Path("t.png");
  ASSERT_EQ(RunThumbnailer({"-s", std::to_string(c.size), Fixture(c.fixture), out}).exitCode, 0);
  Png png(out);
  ASSERT_TRUE(png.Ok());
  ASSERT_EQ(png.Width(), c.size);
  ASSERT_EQ(png.Height(), c.size);

  ReadResult read = ReadFirstSheet(Fixture(c.fixture));
  ASSERT_TRUE(read.status.Ok());
  const SheetArea area(ReaderWorkbook(read.workbook).Worksheets().Item(1), kViewPixels,
                       kViewPixels);
  const std::optional<Rect> box = area.CellRect(c.row, c.col);
  ASSERT_TRUE(box);
  const double k = c.size / kViewPixels;
  // The cell's pixels, as far as the picture shows them.
  const int left = int(std::ceil(box->x * k));
  const int right = std::min(int(std::floor((box->x + box->width) * k)), c.size - 1);
  const int top = int(std::ceil(box->y * k));
  const int bottom = std::min(int(std::floor((box->y + box->height) * k)), c.size - 1);
  const int midX = (left + right) / 2;
  switch (c.look) {
    case Look::Fill: {  // just inside the top-left corner, clear of the centred text
      const Rgb p = png.At(left + 2, top + 2);
      EXPECT_NEAR(p.r, int(c.fill >> 16), 12);
      EXPECT_NEAR(p.g, int(c.fill >> 8 & 0xFF), 12);
      EXPECT_NEAR(p.b, int(c.fill & 0xFF), 12);
      break;
    }
    case Look::BottomBorder: {  // just below the edge, clear of the cell's own fill
      ASSERT_LT(bottom + 1, c.size);
      const int darkest = std::min(png.At(midX, bottom).Luma(), png.At(midX, bottom + 1).Luma());
      EXPECT_LT(darkest, 180) << "a gridline alone is light grey";
      break;
    }
    case Look::DarkText: {
      int dark = 0;
      for (int y = top + 1; y < bottom; ++y)
        for (int x = left + 1; x < right; ++x) dark += png.At(x, y).Luma() < 100;
      EXPECT_GE(dark, 8);
      break;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, ThumbnailerPixels,
    ::testing::Values(
        PixelCase{"xlsx_A1_fill", "xlsx/sample.xlsx", 1, 1, Look::Fill, 0x1F4E78, 480},
        PixelCase{"xlsx_D1_fill_small", "xlsx/sample.xlsx", 1, 4, Look::Fill, 0x1F4E78, 256},
        PixelCase{"xlsx_B1_border", "xlsx/sample.xlsx", 1, 2, Look::BottomBorder, 0, 480},
        PixelCase{"xlsx_F1_border_small", "xlsx/sample.xlsx", 1, 6, Look::BottomBorder, 0, 240},
        PixelCase{"xlsx_A2_text", "xlsx/sample.xlsx", 2, 1, Look::DarkText, 0, 480},
        PixelCase{"xlsx_B3_text_small", "xlsx/sample.xlsx", 3, 2, Look::DarkText, 0, 256},
        PixelCase{"xls_A1_fill", "xls/sample.xls", 1, 1, Look::Fill, 0x1F4E78, 480},
        PixelCase{"xls_B1_border", "xls/sample.xls", 1, 2, Look::BottomBorder, 0, 480},
        PixelCase{"xls_A2_text", "xls/sample.xls", 2, 1, Look::DarkText, 0, 480}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusedCase {
  const char* name;
  std::string input;  // a fixture, or a file the test writes with `bytes`
  std::string bytes;
};

class ThumbnailerRefuses : public test::TempFolderTest,
                           public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(ThumbnailerRefuses, WithExitThreeAndNoFile) {
  const RefusedCase& c = GetParam();
  std::string input = c.input;
  if (!c.bytes.empty()) {
    input = Path(c.input);
    test::WriteFile(input, std::vector<uint8_t>(c.bytes.begin(), c.bytes.end()));
  }
  fs::create_directory(dir_ / "out");
  EXPECT_EQ(RunThumbnailer({"-s", "128", input, (dir_ / "out" / "t.png").string()}).exitCode, 3);
  EXPECT_TRUE(Entries(dir_ / "out").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Workbooks, ThumbnailerRefuses,
    ::testing::Values(
        RefusedCase{"text", "notes.xlsx", "just some words, not a workbook\n"},
        RefusedCase{"truncated_zip", "cut.xlsx", std::string("PK\3\4\24\0\0\0\10\0", 10)},
        RefusedCase{"encrypted_xlsx", Fixture("encrypted/values_agile.xlsx"), ""},
        RefusedCase{"encrypted_xls", Fixture("encrypted/values_rc4cryptoapi.xls"), ""},
        RefusedCase{"missing", "/nonexistent/book.xlsx", ""},
        RefusedCase{"remote_uri", "sftp://host/book.xlsx", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The thumbnail reads only what it draws: every sheet is listed, only the first has cells.
TEST(ThumbnailerReads, OnlyTheFirstSheetsCells) {
  for (const char* fixture : {"xls/sheets.xls", "xlsx/sheets.xlsx"}) {
    SCOPED_TRACE(fixture);
    ReadResult whole = ReadWorkbookFile(Fixture(fixture), nullptr);
    ReadResult first = ReadFirstSheet(Fixture(fixture));
    ASSERT_TRUE(whole.status.Ok() && first.status.Ok());
    const ReaderWorksheets all = ReaderWorkbook(whole.workbook).Worksheets();
    const ReaderWorksheets read = ReaderWorkbook(first.workbook).Worksheets();
    ASSERT_GT(all.Count(), 1);
    ASSERT_EQ(read.Count(), all.Count());
    EXPECT_EQ(read.Item(1).Name(), all.Item(1).Name());
    EXPECT_EQ(read.Item(1).Cells().Count(), all.Item(1).Cells().Count());
    for (int i = 2; i <= all.Count(); ++i) {
      EXPECT_GT(all.Item(i).Cells().Count(), 0);
      EXPECT_EQ(read.Item(i).Cells().Count(), 0);
    }
  }
}

class ThumbnailerRuns : public test::TempFolderTest {};

// A long sheet is read only as far down as a thumbnail looks.
TEST_F(ThumbnailerRuns, ReadsALongSheetOnlyAsFarAsItLooks) {
  std::string rows;
  for (int r = 1; r <= kMostPositionsLookedAt + 1000; ++r)
    rows += "<row r=\"" + std::to_string(r) + "\"><c><v>" + std::to_string(r) + "</v></c></row>";
  const std::vector<uint8_t> zip =
      xlsx::testing::Zip(xlsx::testing::MinimalParts(xlsx::testing::Sheet(rows)));
  test::WriteFile(Path("long.xlsx"), zip);
  ReadResult read = ReadFirstSheet(Path("long.xlsx"));
  ASSERT_TRUE(read.status.Ok());
  const ReaderCells cells = ReaderWorkbook(read.workbook).Worksheets().Item(1).Cells();
  EXPECT_EQ(cells.Count(), kMostPositionsLookedAt);
  EXPECT_EQ(RunThumbnailer({"-s", "64", Path("long.xlsx"), Path("t.png")}).exitCode, 0);
}

// A merged area keeps its right line on its right edge's position and its bottom line on its
// bottom edge's, as spreadsheet programs write them: the picture has both.
TEST_F(ThumbnailerRuns, DrawsAMergedAreasLinesFromItsEdges) {
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  xlsx::testing::Parts parts = xlsx::testing::MinimalParts(
      xlsx::testing::Sheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>Title</t></is></c>"
                           "<c r=\"C1\" s=\"1\"/></row><row r=\"2\"><c r=\"A2\" s=\"2\"/></row>",
                           "", "<mergeCells count=\"1\"><mergeCell ref=\"A1:C2\"/></mergeCells>"));
  xlsx::testing::SetPart(
      parts, "xl/_rels/workbook.xml.rels",
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" Type=\"" +
          rel +
          "/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
          "<Relationship Id=\"rId2\" Type=\"" +
          rel +
          "/styles\" Target=\"styles.xml\"/>"
          "</Relationships>");
  xlsx::testing::SetPart(
      parts, "xl/styles.xml",
      "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
      "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
      "<fills count=\"1\"><fill><patternFill patternType=\"none\"/></fill></fills>"
      "<borders count=\"3\"><border/>"
      "<border><right style=\"medium\"><color rgb=\"FF000000\"/></right></border>"
      "<border><bottom style=\"medium\"><color rgb=\"FF000000\"/></bottom></border></borders>"
      "<cellXfs count=\"3\"><xf/><xf borderId=\"1\" applyBorder=\"1\"/>"
      "<xf borderId=\"2\" applyBorder=\"1\"/></cellXfs></styleSheet>");
  test::WriteFile(Path("merged.xlsx"), xlsx::testing::Zip(parts));
  ASSERT_EQ(RunThumbnailer({"-s", "480", Path("merged.xlsx"), Path("t.png")}).exitCode, 0);
  Png png(Path("t.png"));
  ASSERT_TRUE(png.Ok());
  ReadResult read = ReadFirstSheet(Path("merged.xlsx"));
  ASSERT_TRUE(read.status.Ok());
  const SheetArea area(ReaderWorkbook(read.workbook).Worksheets().Item(1), kViewPixels,
                       kViewPixels);
  const std::optional<Rect> box = area.CellRect(1, 1);
  ASSERT_TRUE(box);
  const double k = 480 / kViewPixels;
  const int right = int((box->x + box->width) * k), bottom = int((box->y + box->height) * k);
  const int midX = int((box->x + box->width / 2) * k), midY = int((box->y + box->height / 2) * k);
  auto darkest = [&](int x0, int y0, int dx, int dy) {
    int least = 255;
    for (int i = -2; i <= 2; ++i) least = std::min(least, png.At(x0 + i * dx, y0 + i * dy).Luma());
    return least;
  };
  EXPECT_LT(darkest(right, midY, 1, 0), 100) << "no right line";
  EXPECT_LT(darkest(midX, bottom, 0, 1), 100) << "no bottom line";
}

// As a file manager passes it: a file:// URI with an escaped space, an output that replaces
// an older thumbnail.
TEST_F(ThumbnailerRuns, TakesFileUrisAndReplacesTheOldFile) {
  fs::copy_file(Fixture("xls/sample.xls"), dir_ / "my book.xls");
  const std::string out = Path("t.png");
  test::WriteFile(out, {'o', 'l', 'd'});
  const std::string uri = "file://" + (dir_ / "my%20book.xls").string();
  ASSERT_EQ(RunThumbnailer({"--size", "64", uri, out}).exitCode, 0);
  Png png(out);
  ASSERT_TRUE(png.Ok());
  EXPECT_EQ(png.Width(), 64);
  EXPECT_EQ(Entries(dir_).size(), 2u);  // the workbook and the picture, nothing half-written
}

// A read that never ends (a pipe no one writes to) meets the time limit: exit 3, no file.
TEST_F(ThumbnailerRuns, EndsAStuckReadAtTheTimeLimit) {
  ASSERT_EQ(mkfifo(Path("pipe.xlsx").c_str(), 0600), 0);
  fs::create_directory(dir_ / "out");
  EXPECT_EQ(RunThumbnailer({"-s", "64", Path("pipe.xlsx"), Path("out/t.png")}).exitCode, 3);
  EXPECT_TRUE(Entries(dir_ / "out").empty());
}

// Every fuzzing seed (damaged, hostile and odd workbooks): a picture or exit 3, never a crash,
// never over the memory limit, and never a temporary file left behind.
TEST_F(ThumbnailerRuns, SurvivesEveryFuzzSeed) {
  const fs::path seeds = fs::path(GRIDWELL_SOURCE_DIR) / "tests/fuzz/seeds";
  int runs = 0;
  for (const char* target : {"xls_reader_fuzz", "xlsx_reader_fuzz", "xlsx_rows_fuzz"}) {
    for (const auto& seed : fs::directory_iterator(seeds / target)) {
      const fs::path out = dir_ / "t.png";
      const Outcome o = RunThumbnailer({"-s", "256", seed.path().string(), out.string()});
      SCOPED_TRACE(seed.path().string());
      EXPECT_TRUE(o.exitCode == 0 || o.exitCode == 3) << o.exitCode;
      if (kLimitsAddressSpace) {
        EXPECT_LT(uint64_t(o.peakKilobytes) * 1024, kMostAddressSpace);
      }
      EXPECT_EQ(fs::exists(out), o.exitCode == 0);
      EXPECT_LE(Entries(dir_).size(), 1u);
      fs::remove(out);
      ++runs;
    }
  }
  EXPECT_GT(runs, 10);
}

}  // namespace
}  // namespace gridwell::thumbnail
