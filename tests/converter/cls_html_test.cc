// Conversions of files: the early stops, the diagnostic and the written page.
#include "converter/cls_html.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "reader/base/ascii.h"
#include "tests/reader/xlsx/package_builder.h"
#include "tests/support/files.h"

namespace gridwell {
namespace {

namespace fs = std::filesystem;

class ClsHtml : public test::TempFolderTest {
 protected:
  // The sample workbook of the fixtures, when the reader can open it.
  std::string ReadableBook() const {
    const std::string p = std::string(GRIDWELL_SOURCE_DIR) + "/tests/data/xlsx/sample.xlsx";
    clsHTML probe;
    probe.ExcelFile = p;
    probe.Worksheetnum = 1;
    probe.CreateHtmlFile(Path("probe.htm"), "", "", "", "", "", "");
    fs::remove(Path("probe.htm"));
    return probe.LastStop() == ConvertStop::None ? p : std::string();
  }
  // A one-sheet .xlsx holding `rows` as its sheetData.
  void WriteBook(const std::string& name, const std::string& rows) const {
    test::WriteFile(Path(name),
                    xlsx::testing::Zip(xlsx::testing::MinimalParts(xlsx::testing::Sheet(rows))));
  }
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
  const std::string page = test::ReadFile(Path("p.htm"));
  EXPECT_EQ(page.rfind("<HTML>\r\n<HEAD>\r\n<META", 0), 0u);
  EXPECT_NE(page.find("</HTML>\r\n"), std::string::npos);

  // A sheet chosen by name, without regard to case, when no number is given.
  clsHTML byName;
  byName.ExcelFile = book;
  byName.Worksheet = base::UpperAscii(h.SheetNames()[1]);
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
  EXPECT_EQ(test::ReadFile(Path("p.htm")).find('x' + std::string(10, 'x')), std::string::npos);
}

// Files the user had stay whole: a page never replaces its workbook, and a conversion that
// fails after choosing its output leaves the file that was there untouched.
TEST_F(ClsHtml, FilesTheUserHadStayWhole) {
  WriteBook("book.xlsx", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>");
  WriteBook("far.xlsx", "<row r=\"1048576\"><c r=\"XFD1048576\"><v>1</v></c></row>");
  const std::string workbook = test::ReadFile(Path("book.xlsx"));
  fs::create_symlink(Path("book.xlsx"), Path("link.xlsx"));
  std::ofstream(Path("old.htm")) << "the page before";
  ::chmod(Path("old.htm").c_str(), 0640);
  fs::create_symlink(Path("old.htm"), Path("page-link.htm"));
  const struct {
    const char* what;
    std::string output;
    std::string range;
    ConvertStop want;
    std::string keeps;  // the file whose content must not change, and its content
    std::string content;
  } cases[] = {
      {"the workbook itself", Path("book.xlsx"), "", ConvertStop::OutputNotWritable,
       Path("book.xlsx"), workbook},
      {"a link to the workbook", Path("link.xlsx"), "", ConvertStop::OutputNotWritable,
       Path("book.xlsx"), workbook},
      {"a page too big for its range", Path("old.htm"), "A1:XFD1048576",  // of far.xlsx
       ConvertStop::OutputNotWritable, Path("old.htm"), "the page before"},
  };
  for (const auto& c : cases) {
    for (bool styled : {false, true}) {
      clsHTML h;
      h.ExcelFile = Path(c.range.empty() ? "book.xlsx" : "far.xlsx");
      h.Worksheetnum = 1;
      h.Range = c.range;
      if (styled) {
        h.CreateStyledHtmlFile(c.output, "", "", "", "", "", "");
      } else {
        h.CreateHtmlFile(c.output, "", "", "", "", "", "");
      }
      EXPECT_EQ(h.LastStop(), c.want) << c.what;
      EXPECT_EQ(test::ReadFile(c.keeps), c.content) << c.what;
    }
  }
  // A link at the page path is replaced by the page, never followed: the file it names stays.
  clsHTML h;
  h.ExcelFile = Path("link.xlsx");
  h.Worksheetnum = 1;
  h.CreateHtmlFile(Path("page-link.htm"), "", "", "", "", "", "");
  EXPECT_EQ(h.LastStop(), ConvertStop::None) << h.LastStopDetail();
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Path("page-link.htm"))));
  EXPECT_EQ(test::ReadFile(Path("page-link.htm")).rfind("<HTML>", 0), 0u);
  EXPECT_EQ(test::ReadFile(Path("old.htm")), "the page before");
  // A replaced page keeps its permissions.
  h.CreateHtmlFile(Path("old.htm"), "", "", "", "", "", "");
  struct stat st;
  ASSERT_EQ(::stat(Path("old.htm").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(test::ReadFile(Path("old.htm")).rfind("<HTML>", 0), 0u);
  // No unfinished page is left beside the targets.
  for (const auto& e : fs::directory_iterator(dir_)) {
    EXPECT_NE(e.path().extension(), ".part") << e.path();
  }
}

// A range whose positions alone make a page over the limit is refused before any row is
// written, naming the range: a single cell at XFD1048576 asks for 17 billion positions.
// (A range past the last stored cell is trimmed to it first.)
TEST_F(ClsHtml, HugeRangesFailAtOnce) {
  WriteBook("far.xlsx", "<row r=\"1048576\"><c r=\"XFD1048576\"><v>1</v></c></row>");
  const struct {
    const char* book;
    const char* range;
  } cases[] = {{"far.xlsx", ""}, {"far.xlsx", "A1:XFD1048576"}, {"far.xlsx", "XFD1048576"}};
  for (const auto& c : cases) {
    for (bool styled : {false, true}) {
      clsHTML h;
      h.ExcelFile = Path(c.book);
      h.Worksheetnum = 1;
      h.Range = c.range;
      if (styled) {
        h.CreateStyledHtmlFile(Path("p.htm"), "", "", "", "", "", "");
      } else {
        h.CreateHtmlFile(Path("p.htm"), "", "", "", "", "", "");
      }
      EXPECT_EQ(h.LastStop(), ConvertStop::OutputNotWritable) << c.book << " " << c.range;
      EXPECT_NE(h.LastStopDetail().find("A1:XFD1048576"), std::string::npos) << h.LastStopDetail();
      EXPECT_NE(h.LastStopDetail().find("--range"), std::string::npos) << h.LastStopDetail();
      EXPECT_FALSE(fs::exists(Path("p.htm")));
    }
  }
}

}  // namespace
}  // namespace gridwell
