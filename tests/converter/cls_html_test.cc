// Conversions of files: the early stops, the diagnostic and the written page.
#include "converter/cls_html.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace gridwell {
namespace {

namespace fs = std::filesystem;

class ClsHtml : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/gridwell-conv-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // The sample workbook of the fixtures, when the reader can open it.
  static std::string ReadableBook() {
    const std::string p = std::string(GRIDWELL_SOURCE_DIR) + "/tests/data/xlsx/sample.xlsx";
    clsHTML probe;
    probe.ExcelFile = p;
    probe.Worksheetnum = 1;
    probe.CreateHtmlFile("/dev/null", "", "", "", "", "", "");
    return probe.LastStop() == ConvertStop::None ? p : std::string();
  }
  fs::path dir_;
};

TEST_F(ClsHtml, NewObjectHasInitialValues) {
  clsHTML h;
  EXPECT_EQ(h.ExcelFile, "");
  EXPECT_EQ(h.Worksheetnum, 0);
  EXPECT_EQ(h.StartCol, 0);
  EXPECT_EQ(h.ShowComments, kFalse);
  EXPECT_EQ(h.SheetTotal(), 0);
  EXPECT_TRUE(h.SheetNames().empty());
  EXPECT_EQ(h.LastStop(), ConvertStop::None);
}

TEST_F(ClsHtml, EarlyStopsWriteNoFile) {
  std::ofstream(Path("garbage.xlsx")) << "this is not a workbook";
  std::ofstream(Path("book.csv")) << "a,b\n";
  fs::create_directory(Path("folder.xlsx"));
  const struct {
    std::string book;
    ConvertStop want;
  } cases[] = {
      {"", ConvertStop::NoWorkbookPath},
      {"   ", ConvertStop::NoWorkbookPath},
      {Path("book.csv"), ConvertStop::WrongExtension},
      {Path("book.xlsm"), ConvertStop::WrongExtension},
      {Path("missing.xlsx"), ConvertStop::MissingFile},
      {Path("MISSING.XLSX"), ConvertStop::MissingFile},  // upper case passes the name check
      {Path("folder.xlsx"), ConvertStop::MissingFile},
      {Path("garbage.xlsx"), ConvertStop::Unreadable},
  };
  for (const auto& c : cases) {
    for (bool styled : {false, true}) {
      clsHTML h;
      h.ExcelFile = c.book;
      const std::string out = Path("out.htm");
      if (styled) {
        h.CreateStyledHtmlFile(out, "", "", "", "", "", "");
      } else {
        h.CreateHtmlFile(out, "", "", "", "", "", "");
      }
      EXPECT_EQ(h.LastStop(), c.want) << c.book;
      EXPECT_FALSE(h.LastStopDetail().empty());
      EXPECT_FALSE(fs::exists(out)) << c.book;
      EXPECT_EQ(h.SheetTotal(), 0);
    }
  }
}

TEST_F(ClsHtml, WritesThePageAndKeepsSheetNames) {
  const std::string book = ReadableBook();
  ASSERT_FALSE(book.empty()) << "the sample workbook is not readable";
  clsHTML h;
  h.ExcelFile = book;
  h.Worksheetnum = 1;
  h.CreateStyledHtmlFile(Path("p.htm"), "H", "T", "", "", "", "");
  EXPECT_EQ(h.LastStop(), ConvertStop::None) << h.LastStopDetail();
  EXPECT_EQ(h.SheetTotal(), 4);
  EXPECT_EQ(h.SheetNames().size(), 4u);
  const std::string page = Read(Path("p.htm"));
  EXPECT_EQ(page.rfind("<HTML>\r\n<HEAD>\r\n<META", 0), 0u);
  EXPECT_NE(page.find("</HTML>\r\n"), std::string::npos);

  // A sheet chosen by name, without regard to case, when no number is given.
  clsHTML byName;
  byName.ExcelFile = book;
  byName.Worksheet = h.SheetNames()[1];
  for (char& c : byName.Worksheet)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  byName.CreateHtmlFile(Path("n.htm"), "", "", "", "", "", "");
  EXPECT_EQ(byName.LastStop(), ConvertStop::None) << byName.LastStopDetail();
}

TEST_F(ClsHtml, LaterStopsKeepTheSheetList) {
  const std::string book = ReadableBook();
  ASSERT_FALSE(book.empty()) << "the sample workbook is not readable";
  clsHTML h;
  h.ExcelFile = book;
  h.Worksheetnum = 9;
  h.CreateHtmlFile(Path("p.htm"), "", "", "", "", "", "");
  EXPECT_EQ(h.LastStop(), ConvertStop::NoSuchSheet);
  EXPECT_EQ(h.SheetTotal(), 4);
  EXPECT_FALSE(fs::exists(Path("p.htm")));

  h.Worksheetnum = 0;
  h.Worksheet = "no such sheet";
  h.CreateHtmlFile(Path("p.htm"), "", "", "", "", "", "");
  EXPECT_EQ(h.LastStop(), ConvertStop::NoSuchSheet);

  h.Worksheetnum = 1;
  h.CreateHtmlFile(Path("missing-folder/p.htm"), "", "", "", "", "", "");
  EXPECT_EQ(h.LastStop(), ConvertStop::OutputNotWritable);
  EXPECT_EQ(h.SheetTotal(), 4);
  EXPECT_FALSE(fs::exists(Path("missing-folder")));

  // A successful conversion clears the diagnostic and replaces an existing page.
  std::ofstream(Path("p.htm")) << std::string(100000, 'x');
  h.CreateHtmlFile(Path("p.htm"), "", "", "", "", "", "");
  EXPECT_EQ(h.LastStop(), ConvertStop::None);
  EXPECT_EQ(Read(Path("p.htm")).find('x' + std::string(10, 'x')), std::string::npos);
}

}  // namespace
}  // namespace gridwell
