// Both page writers over every workbook of the shared corpus: no crash, and a page for every
// sheet of every workbook the reader opens. Large sheets are cut to a bounded number of cell
// positions so that the run stays short under the sanitizers.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "converter/cls_concat.h"
#include "converter/cls_html.h"
#include "converter/page_writer.h"
#include "reader/base/ascii.h"
#include "reader/reader.h"
#include "tests/support/corpus.h"
#include "tests/support/files.h"

namespace gridwell {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kMaxPositions = 20000;

using test::Manifest;
using Entry = test::ManifestEntry;

TEST(Corpus, EveryReadableSheetGivesBothPages) {
  GRIDWELL_REQUIRE_CORPUS();
  const std::vector<Entry> entries = Manifest();
  ASSERT_FALSE(entries.empty()) << "the corpus manifest lists no workbook";
  int books = 0, sheets = 0;
  for (const Entry& e : entries) {
    const std::string path = test::CorpusPath(e.path);
    WorkbookLoader loader;
    const int protection = loader.IsPasswordProtected(path);
    if (protection == -1) continue;
    if (protection != 0 && e.KnownPassword()) {
      loader.OpenWithPassword(path, e.password);
    } else {
      loader.Open(path);
    }
    const ReaderWorkbook book = loader.Workbook();
    if (!book) continue;
    ++books;
    const int32_t count = book.Worksheets().Count();
    for (int32_t n = 1; n <= count; ++n) {
      const ReaderWorksheet sheet = book.Worksheets().Item(n);
      ASSERT_TRUE(sheet) << e.path << " sheet " << n;
      clsHTML s;
      s.ShowComments = kTrue;
      s.ShowFormulas = kTrue;
      s.ColLetters = kTrue;
      s.RowNumbers = kTrue;
      const conv::PageRange used = conv::ResolveRange({}, sheet);
      const int64_t cols = std::max(used.endCol, 1);
      s.EndCol = static_cast<int16_t>(cols);
      s.EndRow = static_cast<int32_t>(
          std::max<int64_t>(1, std::min<int64_t>(used.endRow, kMaxPositions / cols)));
      for (bool styled : {false, true}) {
        clsConcat page;
        ASSERT_TRUE(conv::AppendPage(page, s, sheet, {}, styled)) << e.path;
        const std::string text = page.GetString();
        ASSERT_TRUE(text.ends_with("</HTML>\r\n")) << e.path << " sheet " << n;
        ++sheets;
      }
    }
  }
  EXPECT_GT(books, 300) << "the reader opened too few corpus workbooks";
  RecordProperty("pages", sheets);
}

// The file path of the converter: each workbook's first sheet written to disk, with the
// diagnostic matching what the reader says about the file.
TEST(Corpus, FileConversionsStopOnlyForUnreadableBooks) {
  GRIDWELL_REQUIRE_CORPUS();
  const std::vector<Entry> entries = Manifest();
  ASSERT_FALSE(entries.empty()) << "the corpus manifest lists no workbook";
  const test::TempFolder folder;
  ASSERT_FALSE(folder.Dir().empty());
  const std::string out = (folder.Dir() / "page.htm").string();
  for (const Entry& e : entries) {
    if (e.format != "xls" && e.format != "xlsx" && e.format != "xlsm") continue;
    // Encrypted books cost a slow key derivation each; the page test above covers them.
    if (e.encrypted == "yes") continue;
    const std::string path = test::CorpusPath(e.path);
    clsHTML h;
    h.ExcelFile = path;
    h.Password = e.KnownPassword() ? e.password : "";
    h.Worksheetnum = 1;
    h.EndRow = 200;  // a bounded rectangle is enough here
    h.EndCol = 50;
    h.CreateHtmlFile(out, "", "", "", "", "", "");
    const ConvertStop stop = h.LastStop();
    const std::string ext = base::LowerAscii(fs::path(path).extension().string());
    if (ext != ".xls" && ext != ".xlsx") {
      EXPECT_EQ(stop, ConvertStop::WrongExtension) << e.path;
    } else if (stop == ConvertStop::None) {
      EXPECT_GE(h.SheetTotal(), 1) << e.path;
    } else {
      EXPECT_TRUE(stop == ConvertStop::Unreadable || stop == ConvertStop::WrongPassword ||
                  stop == ConvertStop::NoSuchSheet)
          << e.path << ": " << h.LastStopDetail();
    }
    fs::remove(out);
  }
}

}  // namespace
}  // namespace gridwell
