// Whole pages compared with committed expected pages. GRIDWELL_UPDATE_GOLDEN=1 rewrites the
// expected pages (review the difference before committing it).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "showcase_book.h"
#include "tests/support/corpus.h"

namespace gridwell {
namespace {

namespace fs = std::filesystem;

const fs::path kGoldenDir = fs::path(GRIDWELL_SOURCE_DIR) / "tests/converter/golden";

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Compares `page` with the golden page `name`, or rewrites it in update mode.
void CheckGolden(const std::string& name, const std::string& page) {
  const fs::path golden = kGoldenDir / name;
  if (std::getenv("GRIDWELL_UPDATE_GOLDEN")) {
    std::ofstream(golden, std::ios::binary) << page;
    return;
  }
  ASSERT_TRUE(fs::exists(golden)) << golden << " is missing; run with GRIDWELL_UPDATE_GOLDEN=1";
  const std::string want = ReadFile(golden);
  if (page == want) return;
  size_t i = 0;
  while (i < page.size() && i < want.size() && page[i] == want[i]) ++i;
  const size_t from = i > 80 ? i - 80 : 0;
  ADD_FAILURE() << name << " differs at byte " << i << "\n  want: " << want.substr(from, 160)
                << "\n  got:  " << page.substr(from, 160);
}

TEST(Golden, ShowcaseWorkbook) {
  const testing::TestBook b = testing::ShowcaseBook();
  clsHTML s;
  CheckGolden("showcase.plain.htm", b.Page(s, false, {"Showcase", "Sales", "", "", "", ""}));
  s.ShowComments = kTrue;
  s.ShowFormulas = kTrue;
  s.ColLetters = kTrue;
  s.RowNumbers = kTrue;
  s.NewWindow = kTrue;
  CheckGolden("showcase.styled.htm",
              b.Page(s, true, {"Showcase", "Sales", "#FFFFE0", "", "", "paper.png"}));
  s.CompactStyles = kTrue;
  CheckGolden("showcase.compact.htm",
              b.Page(s, true, {"Showcase", "Sales", "#FFFFE0", "", "", "paper.png"}));
}

// Workbook files written by real programs, through the file path of the converter.
TEST(Golden, WorkbookFiles) {
  GRIDWELL_REQUIRE_CORPUS();
  const char* books[] = {"calamine/date.xls", "calamine/hyperlinks.xlsx", "calamine/issues.xlsx",
                         "calamine/merge_cells.xls", "xlsxwriter/comment04.xlsx"};
  char tmpl[] = "/tmp/gridwell-golden-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const fs::path dir = tmpl;
  for (const char* book : books) {
    const std::string stem = fs::path(book).filename().string();
    for (bool styled : {false, true}) {
      clsHTML h;
      h.ExcelFile = test::CorpusPath(book);
      h.Worksheetnum = 1;
      h.ShowComments = styled ? kTrue : kFalse;
      h.ShowFormulas = kTrue;
      const fs::path out = dir / "page.htm";
      if (styled) {
        h.CreateStyledHtmlFile(out.string(), stem, stem, "", "", "", "");
      } else {
        h.CreateHtmlFile(out.string(), stem, stem, "", "", "", "");
      }
      ASSERT_EQ(h.LastStop(), ConvertStop::None) << book << ": " << h.LastStopDetail();
      CheckGolden(stem + (styled ? ".styled.htm" : ".plain.htm"), ReadFile(out));
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace gridwell
