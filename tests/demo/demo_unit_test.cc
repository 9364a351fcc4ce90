// The demo's toolkit-free parts: the layout rule, the file-dialog text handling and the
// property store.
#include <fnmatch.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "demo/keyfile_store.h"
#include "demo/layout.h"
#include "demo/module1.h"
#include "tests/support/files.h"

namespace demo {
namespace {

namespace fs = std::filesystem;

// ---- Layout ----

TEST(DemoLayout, DesignSizeKeepsTheDesignRowAndWidensTheViewer) {
  const int outerW = kDesignClientWidth + kFrameWidth;
  const int outerH = kDesignClientHeight + kFrameHeight;
  const TwipsRect viewer = Resized(Item::Gridwell1, DesignRect(Item::Gridwell1), outerW, outerH);
  EXPECT_EQ(viewer, (TwipsRect{120, 120, outerW - 500, outerH - 1400}));
  // The button row stays exactly where it was designed.
  for (Item item : {Item::Command1, Item::Command14, Item::Label1, Item::Combo1, Item::Command5}) {
    EXPECT_EQ(Resized(item, DesignRect(item), outerW, outerH), DesignRect(item));
  }
}

TEST(DemoLayout, ResizeFollowsTheWindow) {
  struct Case {
    Item item;
    int outerW, outerH;
    TwipsRect expected;
  };
  const Case cases[] = {
      {Item::Gridwell1, 15000, 12000, {120, 120, 14500, 10600}},
      {Item::Command6, 15000, 12000, {2640, 11000, 1695, 375}},
      {Item::Combo1, 15000, 12000, {6480, 11000, 1335, 315}},
      {Item::Label1, 4000, 3000, {5760, 2000, 855, 255}},
      // A window smaller than the margins: sizes that would be negative are refused and the
      // viewer keeps its earlier size, while positions may go above the top edge.
      {Item::Gridwell1, 400, 1000, {120, 120, 7455, 6255}},
      {Item::Command1, 400, 600, {120, -400, 375, 375}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Resized(c.item, DesignRect(c.item), c.outerW, c.outerH), c.expected)
        << "item " << static_cast<int>(c.item) << " at " << c.outerW << "x" << c.outerH;
  }
}

TEST(DemoLayout, PictureButtonsSitSideBySideInOneRow) {
  const Item row[] = {Item::Command1,  Item::Command2,  Item::Command8, Item::Command10,
                      Item::Command11, Item::Command12, Item::Command13};
  for (size_t i = 0; i < std::size(row); ++i) {
    const TwipsRect r = DesignRect(row[i]);
    EXPECT_EQ(r.left, 120 + 360 * static_cast<int>(i));
    EXPECT_EQ(r.top, 8040);
    EXPECT_EQ(PixelsFromTwips(r.width), 25);
  }
}

// ---- Module1 ----

TEST(DemoModule1, ParsesFilterText) {
  struct Case {
    std::string text;
    std::vector<FileFilter> expected;
  };
  const Case cases[] = {
      {"XLS Files (*.xls)|*.xls", {{"XLS Files (*.xls)", {"*.xls"}}}},
      {"XLS Files (*.xls)|*.xls|", {{"XLS Files (*.xls)", {"*.xls"}}}},
      {"Workbooks|*.xls; *.xlsx|All files|*",
       {{"Workbooks", {"*.xls", "*.xlsx"}}, {"All files", {"*"}}}},
      {"Dangling description", {}},
      {"Empty pattern||Pages|*.htm", {{"Pages", {"*.htm"}}}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseFilter(c.text), c.expected) << c.text;
}

TEST(DemoModule1, GlobsMatchAnyLetterCase) {
  EXPECT_EQ(CaseInsensitiveGlob("*.xls"), "*.[xX][lL][sS]");
  EXPECT_EQ(CaseInsensitiveGlob("book?.x[lL]s"), "[bB][oO][oO][kK]?.[xX][lL][sS]");
  EXPECT_EQ(CaseInsensitiveGlob("*"), "*");
  // The glob really matches both cases (file filters match globs as fnmatch does), and no
  // other extension.
  const std::string glob = CaseInsensitiveGlob("*.xls");
  EXPECT_EQ(fnmatch(glob.c_str(), "BOOK1.XLS", 0), 0);
  EXPECT_EQ(fnmatch(glob.c_str(), "book1.Xls", 0), 0);
  EXPECT_NE(fnmatch(glob.c_str(), "book1.xlsx", 0), 0);
}

TEST(DemoModule1, CutsAtNullAndFindsTheFolder) {
  EXPECT_EQ(CutAtNull(std::string("/books/a.xls\0   ", 16)), "/books/a.xls");
  EXPECT_EQ(CutAtNull("no terminator"), "no terminator");
  EXPECT_EQ(CutAtNull(std::string("\0rest", 5)), "");
  EXPECT_EQ(FolderOf(std::string("/home/ann/Books/a.xls\0", 22)), "/home/ann/Books/");
  EXPECT_EQ(FolderOf("a.xls"), "");
  EXPECT_EQ(FolderOf("/a.xls"), "/");
}

class RecordingDialogs : public FileDialogBackend {
 public:
  std::string Run(const FileDialogRequest& request) override {
    requests.push_back(request);
    return answer;
  }
  std::vector<FileDialogRequest> requests;
  std::string answer;
};

TEST(DemoModule1, DialogsGetTheirSettingsAndReturnTheNameBuffer) {
  RecordingDialogs dialogs;
  SetFileDialogBackend(&dialogs);
  dialogs.answer = "/data/Book1.xls";
  const std::string opened =
      ShowOpenDialog(nullptr, "XLS Files (*.xls)|*.xls", "Select Excel File to Open", "/data/");
  EXPECT_EQ(opened, std::string("/data/Book1.xls\0", 16));
  dialogs.answer = "/out/copy.xls";
  const std::string saved = ShowSaveDialog(nullptr, "Excel Workbook (*.xls)|*.xls",
                                           "Save Excel Workbook", "/data/", "copy.xls");
  EXPECT_EQ(CutAtNull(saved), "/out/copy.xls");
  dialogs.answer = "";
  EXPECT_EQ(ShowOpenDialog(nullptr, "X|*.x", "t", ""), "");
  SetFileDialogBackend(nullptr);

  ASSERT_EQ(dialogs.requests.size(), 3u);
  const FileDialogRequest& open = dialogs.requests[0];
  EXPECT_EQ(open.kind, FileDialogRequest::Kind::Open);
  EXPECT_TRUE(open.fileMustExist);
  EXPECT_EQ(open.title, "Select Excel File to Open");
  EXPECT_EQ(open.initialFolder, "/data/");
  EXPECT_EQ(open.filters, (std::vector<FileFilter>{{"XLS Files (*.xls)", {"*.xls"}}}));
  const FileDialogRequest& save = dialogs.requests[1];
  EXPECT_EQ(save.kind, FileDialogRequest::Kind::Save);
  EXPECT_TRUE(save.overwritePrompt);
  EXPECT_EQ(save.proposedName, "copy.xls");
  EXPECT_EQ(save.filters, (std::vector<FileFilter>{{"Excel Workbook (*.xls)", {"*.xls"}}}));
}

// ---- Property store ----

using DemoStore = gridwell::test::TempFolderTest;

TEST_F(DemoStore, KeepsValuesAcrossInstancesAndDropsDefaults) {
  const std::string path = (dir_ / "nested" / "gridwell" / "demo.ini").string();
  {
    KeyFilePropertyStore store(path, "Gridwell1");
    EXPECT_EQ(store.Read("RegenerateHTML", "False"), "False");
    store.Changed("RegenerateHTML");
    EXPECT_TRUE(store.dirty());
    store.Write("RegenerateHTML", "True", "False");
    EXPECT_FALSE(store.dirty());
  }
  ASSERT_TRUE(fs::exists(path));
  KeyFilePropertyStore again(path, "Gridwell1");
  EXPECT_EQ(again.Read("RegenerateHTML", "False"), "True");
  // Another control's group is separate.
  KeyFilePropertyStore other(path, "Gridwell2");
  EXPECT_EQ(other.Read("RegenerateHTML", "False"), "False");
  // Writing the default removes the entry rather than storing it.
  again.Write("RegenerateHTML", "False", "False");
  const std::string text = gridwell::test::ReadFile(path);
  EXPECT_EQ(text.find("RegenerateHTML"), std::string::npos) << text;
}

TEST_F(DemoStore, DamagedFileReadsAsDefaults) {
  const std::string path = (dir_ / "demo.ini").string();
  std::ofstream(path) << "\x01\x02 not a key file [[[\n=\n";
  KeyFilePropertyStore store(path, "Gridwell1");
  EXPECT_EQ(store.Read("RegenerateHTML", "False"), "False");
  store.Write("RegenerateHTML", "True", "False");
  EXPECT_EQ(KeyFilePropertyStore(path, "Gridwell1").Read("RegenerateHTML", "False"), "True");
}

}  // namespace
}  // namespace demo
