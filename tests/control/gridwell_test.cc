// The control's flows against test doubles: creation and clean-up, persistence, the open
// workflow, downloads, browser notifications, document commands and saving.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <optional>
#include <set>
#include <stdexcept>

#include "tests/control/fakes.h"

namespace gridwell::testing {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}
std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto& e : fs::directory_iterator(dir, ec)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/gridwell-control-test-XXXXXX";
    root_ = ::mkdtemp(tmpl);
    base_ = root_ + "/GRIDWTEMP/";
    books_ = root_ + "/books/";
    fs::create_directories(base_);
    fs::permissions(base_, fs::perms::owner_all, fs::perm_options::replace);  // as installed
    fs::create_directories(books_);
    WriteText(books_ + "Book1.XLS", "workbook one");
    WriteText(books_ + "Other.xlsx", "workbook two");
    Create();
  }
  void TearDown() override {
    control_.reset();
    fs::remove_all(root_);
  }
  void Create() {
    control_ = MakeControl();
    browser_.control = control_.get();
    container_.control = control_.get();
  }
  std::unique_ptr<Gridwell> MakeControl() {
    auto c = std::make_unique<Gridwell>(
        Platform{browser_, container_, messageBox_, clock_, random_, base_});
    c->SetConverterFactory([this] { return std::make_unique<FakeConverter>(script_); });
    c->SetWaitLimits({.downloadSeconds = 30, .pageSeconds = 30, .destroyPauseSeconds = 1});
    return c;
  }
  // A host that opened a workbook and was killed before its control was destroyed: a child
  // process does it. Returns the temporary folder it left, "" when the child failed.
  std::string LeaveAKilledHostsFolder() {
    const pid_t pid = ::fork();
    if (pid == 0) {
      auto c = MakeControl();
      browser_.control = c.get();
      container_.control = c.get();
      const bool ok = c->OpenXL({.strPath = Book1()});
      container_.Drain();
      std::ofstream(root_ + "/left") << c->TempPath();
      ::_exit(ok && fs::exists(c->HTMLfile()) ? 0 : 1);
    }
    int status = 0;
    const bool done =
        ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return done ? ReadText(root_ + "/left") : "";
  }
  // Records the open events as "Start|Complete|Error <workbook> <page>".
  void RecordOpenEvents() {
    auto rec = [this](const char* name) {
      return [this, name](std::string& book, std::string& page) {
        events_.push_back(std::string(name) + " " + book + " " + page);
      };
    };
    control_->OpenStart = rec("Start");
    control_->OpenComplete = rec("Complete");
    control_->OpenError = rec("Error");
  }
  void RecordDownloadEvents() {
    control_->DownloadStarted = [this](std::string& f) { events_.push_back("Started " + f); };
    control_->DownloadProgress = [this](int32_t& cur, int32_t& max, std::string& f) {
      events_.push_back("Progress " + std::to_string(cur) + "/" + std::to_string(max) + " " + f);
    };
    control_->DownloadError = [this](std::string& f) { events_.push_back("Error " + f); };
    control_->DownloadComplete = [this](int32_t& max, std::string& f) {
      events_.push_back("Complete " + std::to_string(max) + " " + f);
    };
  }
  std::string Book1() const { return books_ + "Book1.XLS"; }
  std::string Temp() const { return control_->TempPath(); }

  std::string root_, base_, books_;
  FakeClock clock_;
  FakeRandom random_;
  FakeContainer container_{clock_};
  FakeBrowser browser_{container_};
  FakeMessageBox messageBox_;
  ConverterScript script_;
  std::unique_ptr<Gridwell> control_;
  std::vector<std::string> events_;
};

// ---- Creation, persistence, sizing, destruction ----

TEST_F(ControlTest, CreationHidesBrowserAndChoosesAnUncreatedNumberedFolder) {
  EXPECT_FALSE(browser_.visible);
  const std::string t = Temp();
  ASSERT_EQ(t.substr(0, base_.size()), base_);
  const std::string digits = t.substr(base_.size(), t.size() - base_.size() - 1);
  EXPECT_EQ(t.back(), '/');
  EXPECT_GE(digits.size(), 1u);
  EXPECT_LE(digits.size(), 9u);
  EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos);
  EXPECT_NE(digits[0], '0');
  EXPECT_FALSE(fs::exists(t));
  EXPECT_EQ(control_->HTMLfile(), "");
  EXPECT_EQ(control_->ExcelFile(), "");
  EXPECT_EQ(control_->TempWorkbook(), "");
  EXPECT_EQ(control_->SheetTotal(), 0);
  EXPECT_TRUE(control_->SheetNames().empty());
  EXPECT_EQ(control_->hwnd(), 4242);
}

TEST_F(ControlTest, RandomNameSpansOneToNineHundredNinetyNineMillionAndSkipsTakenFolders) {
  // r = 0 gives 1; the largest float below 1 stays within nine digits.
  random_.next = {0.0f, 0.99999994f};
  auto first = MakeControl();
  EXPECT_EQ(first->TempPath(), base_ + "1/");
  fs::create_directory(base_ + "1");
  random_.next = {0.0f, 0.5f};
  auto second = MakeControl();
  EXPECT_EQ(second->TempPath(), base_ + "500000000/");
}

TEST_F(ControlTest, RegenerateHtmlPersistsThroughTheStore) {
  EXPECT_EQ(control_->RegenerateHTML(), kVbFalse);
  control_->SetRegenerateHTML(kVbTrue);
  EXPECT_EQ(container_.store.changed, std::vector<std::string>{"RegenerateHTML"});
  control_->WriteProperties();
  EXPECT_EQ(container_.store.values["RegenerateHTML"], "True");
  auto reloaded = MakeControl();
  reloaded->ReadProperties();
  EXPECT_EQ(reloaded->RegenerateHTML(), kVbTrue);
  container_.store.values.clear();
  reloaded->ReadProperties();
  EXPECT_EQ(reloaded->RegenerateHTML(), kVbFalse);
}

TEST_F(ControlTest, DestructionAfterAPageEmptiesAndRemovesTheFolder) {
  ASSERT_TRUE(control_->OpenXL({.strPath = Book1()}));
  container_.Drain();
  const std::string t = Temp();
  ASSERT_TRUE(fs::exists(t + "Book1_1.htm"));
  const double before = clock_.now;
  control_.reset();
  EXPECT_EQ(browser_.blanks, 1);
  EXPECT_GE(clock_.now - before, 1.0);  // paused with the message loop running
  EXPECT_FALSE(fs::exists(t));
}

TEST_F(ControlTest, DestructionWithoutAPageKeepsFilesAndTheirFolder) {
  // A download into the folder, but no page shown: the folder is not empty and stays.
  container_.server["http://h/a.xls"] = {.body = "bytes"};
  script_.writePage = false;
  browser_.failNavigate = true;  // the open ends before a page is stored
  ASSERT_FALSE(control_->OpenXL({.strPath = "http://h/a.xls"}));
  const std::string t = Temp();
  ASSERT_EQ(FilesIn(t).size(), 1u);
  control_.reset();
  EXPECT_EQ(FilesIn(t).size(), 1u);
}

// ---- Temporary folder ----

TEST_F(ControlTest, TemporaryFolderIsCreatedPrivateOnFirstOpen) {
  ASSERT_TRUE(control_->OpenXL({.strPath = Book1()}));
  struct stat st;
  ASSERT_EQ(::stat(Temp().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(ControlTest, TwoControlsDrawingTheSameNumberNeverShareAFolder) {
  random_.next = {0.3f};
  auto a = MakeControl();
  random_.next = {0.3f};
  auto b = MakeControl();
  ASSERT_EQ(a->TempPath(), b->TempPath());  // both chose before either created it
  browser_.control = a.get();
  ASSERT_TRUE(a->OpenXL({.strPath = Book1()}));
  container_.Drain();
  browser_.control = b.get();
  ASSERT_TRUE(b->OpenXL({.strPath = books_ + "Other.xlsx"}));
  container_.Drain();
  EXPECT_NE(a->TempPath(), b->TempPath());
  // b's open of a different workbook did not empty a's folder.
  EXPECT_TRUE(fs::exists(a->HTMLfile()));
  EXPECT_TRUE(fs::exists(b->HTMLfile()));
  browser_.control = control_.get();
  b.reset();
  EXPECT_TRUE(fs::exists(a->HTMLfile()));
}

TEST_F(ControlTest, MissingBaseFolderFailsTheOpenAndCreatesNothing) {
  fs::remove_all(base_);
  browser_.visible = true;
  EXPECT_FALSE(control_->OpenXL({.strPath = Book1()}));
  EXPECT_FALSE(browser_.visible);
  EXPECT_FALSE(fs::exists(base_));
  EXPECT_EQ(control_->ExcelFile(), "");
}

// ---- Folder safety ----

// Runs `f` in a child process as another local user (nobody); true when it returned true.
bool AsOtherUser(const std::function<bool()>& f) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const bool ok = ::setgid(65534) == 0 && ::setuid(65534) == 0 && f();
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// A setting of the environment for one scope.
struct ScopedEnv {
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  const char* name_;
  std::optional<std::string> old_;
};

TEST_F(ControlTest, PagesNeverGoWhereOthersCanReachThemOrThroughALink) {
  // The user's own files, which a planted base points at.
  const std::string victim = root_ + "/victim/";
  fs::create_directories(victim);
  fs::permissions(victim, fs::perms::owner_all, fs::perm_options::replace);
  WriteText(victim + "thesis.txt", "years of work");
  // A folder open to every user, as /tmp is, where another user may plant the base.
  const std::string shared = root_ + "/shared/";
  fs::create_directories(shared);
  fs::permissions(root_, fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec,
                  fs::perm_options::replace);
  fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit, fs::perm_options::replace);
  const std::string planted = shared + "GRIDWTEMP/";
  const bool root = ::geteuid() == 0;

  struct Case {
    const char* what;
    bool needsRoot;
    std::function<bool()> plant;
  } cases[] = {
      {"base made by another user, open to all", true,
       [&] {
         return AsOtherUser([&] {
           ::umask(0);
           return ::mkdir(planted.c_str(), 0777) == 0;
         });
       }},
      {"base is a link to the user's own folder", false,
       [&] {
         return ::symlink(victim.c_str(), planted.substr(0, planted.size() - 1).c_str()) == 0;
       }},
      {"base is the user's but open to group and others", false,
       [&] {
         fs::create_directory(planted);
         fs::permissions(planted, fs::perms::all, fs::perm_options::replace);
         return true;
       }},
  };
  for (const auto& c : cases) {
    if (c.needsRoot && !root) {
      std::printf("[  SKIPPED ] %s: needs root to act as a second user\n", c.what);
      continue;
    }
    fs::remove_all(planted.substr(0, planted.size() - 1));
    ASSERT_TRUE(c.plant()) << c.what;
    const std::string run = root_ + "/run";
    fs::create_directories(run);
    fs::permissions(run, fs::perms::owner_all, fs::perm_options::replace);
    ScopedEnv runtime("XDG_RUNTIME_DIR", run);
    base_ = planted;
    Create();
    ASSERT_TRUE(control_->OpenXL({.strPath = Book1()})) << c.what;
    container_.Drain();
    const std::string page = control_->HTMLfile();
    ASSERT_TRUE(fs::exists(page)) << c.what;
    EXPECT_NE(Temp().substr(0, planted.size()), planted) << c.what;
    EXPECT_EQ(Temp().substr(0, run.size()), run) << c.what;
    // The folder and its base are the user's alone.
    for (const fs::path& dir :
         {fs::path(Temp()).parent_path(), fs::path(Temp()).parent_path().parent_path()}) {
      struct stat st;
      ASSERT_EQ(::lstat(dir.c_str(), &st), 0) << c.what << " " << dir;
      EXPECT_TRUE(S_ISDIR(st.st_mode)) << c.what << " " << dir;
      EXPECT_EQ(st.st_uid, ::geteuid()) << c.what << " " << dir;
      EXPECT_EQ(st.st_mode & 077, 0u) << c.what << " " << dir;
    }
    if (c.needsRoot) {
      EXPECT_TRUE(AsOtherUser([&] {
        return ::open(page.c_str(), O_RDONLY) < 0 && ::rmdir(Temp().c_str()) != 0 &&
               FilesIn(planted).empty();
      })) << c.what;
    }
    control_.reset();
    EXPECT_EQ(FilesIn(victim), std::vector<std::string>{"thesis.txt"}) << c.what;
    EXPECT_TRUE(FilesIn(run).empty()) << c.what;  // the private base went with the control
  }
  base_ = root_ + "/GRIDWTEMP/";
  Create();
}

TEST_F(ControlTest, CleanUpNeverFollowsAFolderSwappedForALink) {
  const std::string victim = root_ + "/victim/";
  fs::create_directories(victim);
  WriteText(victim + "thesis.txt", "years of work");
  struct Case {
    const char* what;
    std::function<void()> after;
  } cases[] = {
      {"open of another workbook", [&] { control_->OpenXL({.strPath = books_ + "Other.xlsx"}); }},
      {"destruction", [&] { control_.reset(); }},
  };
  for (const auto& c : cases) {
    Create();
    ASSERT_TRUE(control_->OpenXL({.strPath = Book1()}));
    container_.Drain();
    const std::string folder = fs::path(Temp()).parent_path().string();
    fs::rename(folder, root_ + "/moved");
    fs::create_directory_symlink(victim, folder);
    c.after();
    EXPECT_EQ(FilesIn(victim), std::vector<std::string>{"thesis.txt"}) << c.what;
    fs::remove(folder);
    fs::remove_all(root_ + "/moved");
  }
}

TEST_F(ControlTest, StartRemovesFoldersThatAKilledHostLeft) {
  const std::string left = LeaveAKilledHostsFolder();
  ASSERT_TRUE(!left.empty() && fs::exists(left));

  // Beside it: the folder of a living control, and entries that are no control's folder.
  ASSERT_TRUE(control_->OpenXL({.strPath = Book1()}));
  container_.Drain();
  fs::create_directory(base_ + "notes");
  fs::create_directory_symlink(root_ + "/books", base_ + "123");

  auto fresh = MakeControl();
  EXPECT_FALSE(fs::exists(left));
  EXPECT_TRUE(fs::exists(control_->HTMLfile()));
  EXPECT_TRUE(fs::exists(base_ + "notes"));
  EXPECT_TRUE(fs::is_symlink(base_ + "123"));
  EXPECT_EQ(FilesIn(books_).size(), 2u);
}

TEST_F(ControlTest, StartRemovesThePrivateBasesOfKilledHosts) {
  // The configured base is open to others (planted, say): each control makes a private one.
  fs::permissions(base_, fs::perms::all, fs::perm_options::replace);
  const std::string run = root_ + "/run";
  fs::create_directories(run);
  fs::permissions(run, fs::perms::owner_all, fs::perm_options::replace);
  ScopedEnv runtime("XDG_RUNTIME_DIR", run);
  const std::string folder = LeaveAKilledHostsFolder();
  ASSERT_FALSE(folder.empty());
  const fs::path left = fs::path(folder).parent_path();
  ASSERT_EQ(left.parent_path().parent_path(), run);
  ASSERT_TRUE(fs::exists(left));

  // Beside it: the private base of a living control, and a folder of the user's own that is
  // named like one.
  Create();
  ASSERT_TRUE(control_->OpenXL({.strPath = Book1()}));
  container_.Drain();
  ASSERT_EQ(fs::path(Temp()).parent_path().parent_path().parent_path(), run);
  fs::create_directories(run + "/GRIDWTEMP-notes1");
  fs::permissions(run + "/GRIDWTEMP-notes1", fs::perms::owner_all, fs::perm_options::replace);
  WriteText(run + "/GRIDWTEMP-notes1/keep.txt", "mine");

  auto fresh = MakeControl();
  EXPECT_FALSE(fs::exists(left.parent_path()));
  EXPECT_TRUE(fs::exists(control_->HTMLfile()));
  EXPECT_TRUE(fs::exists(run + "/GRIDWTEMP-notes1/keep.txt"));
}

// ---- Open workflow: early exits ----

TEST_F(ControlTest, StartBoundsAreCheckedBeforeAnythingElse) {
  struct Case {
    int32_t row;
    int16_t col;
    bool passes;
  } cases[] = {{65536, 256, true}, {65537, 1, false}, {1, 257, false}, {0, 0, true}};
  for (const auto& c : cases) {
    browser_.visible = true;
    browser_.log.clear();
    VbBool r = control_->OpenXL({.strPath = Book1(), .lngStartRow = c.row, .intStartCol = c.col});
    container_.Drain();
    EXPECT_EQ(r != 0, c.passes) << c.row << "," << c.col;
    if (!c.passes) {
      EXPECT_TRUE(browser_.log.empty());
      EXPECT_TRUE(browser_.visible);
    }
  }
}

TEST_F(ControlTest, BlankPathFallsBackToThePathProperty) {
  browser_.visible = true;
  EXPECT_FALSE(control_->OpenXL({.strPath = "   "}));
  EXPECT_FALSE(browser_.visible);
  EXPECT_FALSE(fs::exists(Temp()));  // returned before the folder step
  control_->SetPath(std::string("  ") + Book1() + std::string("\0junk", 5));
  EXPECT_TRUE(control_->OpenXL({}));
  EXPECT_EQ(control_->ExcelFile(), Book1());
}

TEST_F(ControlTest, MissingWorkbookLeavesFolderButNoWorkbookPath) {
  EXPECT_FALSE(control_->OpenXL({.strPath = books_ + "nope.xls"}));
  EXPECT_TRUE(fs::is_directory(Temp()));
  EXPECT_EQ(control_->ExcelFile(), "");
  EXPECT_FALSE(browser_.visible);
}

TEST_F(ControlTest, ErrorAfterTheWorkbookIsSettledKeepsTheNewWorkbookPath) {
  ASSERT_TRUE(control_->OpenXL({.strPath = Book1()}));
  container_.Drain();
  const std::string page = control_->HTMLfile();
  control_->SetConverterFactory(
      []() -> std::unique_ptr<PageConverter> { throw std::runtime_error("no converter"); });
  EXPECT_FALSE(control_->OpenXL({.strPath = books_ + "Other.xlsx"}));
  EXPECT_EQ(control_->OpenErrorCode(), OpenFailure::Failed);  // a reason for every False
  EXPECT_EQ(control_->ExcelFile(), books_ + "Other.xlsx");
  EXPECT_EQ(control_->HTMLfile(), page);
  EXPECT_FALSE(browser_.visible);
  EXPECT_EQ(control_->SheetTotal(), 3);

  control_->SetConverterFactory([this] { return std::make_unique<FakeConverter>(script_); });
  browser_.failNavigate = true;
  EXPECT_FALSE(control_->OpenXL({.strPath = books_ + "Other.xlsx", .varSheet = int16_t{2}}));
  EXPECT_EQ(control_->OpenErrorCode(), OpenFailure::Failed);
  EXPECT_EQ(script_.alive, 0);  // released on every path
  EXPECT_EQ(control_->HTMLfile(), page);
  EXPECT_FALSE(browser_.visible);
}

// ---- Failures ----

// Whatever fails (the platform, a host's handler, the converter, or memory running out), every
// member ends in its documented result (False, 0 or nothing) and no exception reaches the host.
TEST_F(ControlTest, EveryMemberEndsAFailureInItsDocumentedResult) {
  const std::pair<const char*, std::function<void()>> failures[] = {
      {"error", [] { throw std::runtime_error("platform error"); }},
      {"out of memory", [] { throw std::bad_alloc(); }},
  };
  for (const auto& [what, fail] : failures) {
    SCOPED_TRACE(what);
    struct FailingBrowser : Browser {
      std::function<void()> fail;
      void SetVisible(bool) override { fail(); }
      bool Visible() const override { return fail(), true; }
      void Move(int, int, int, int) override { fail(); }
      bool Navigate(const std::string&) override { return fail(), true; }
      void NavigateBlank() override { fail(); }
      void Refresh() override { fail(); }
      void SetFocus() override { fail(); }
      void ExecWB(int32_t, int32_t) override { fail(); }
      void OpenFindDialog() override { fail(); }
    } browser;
    struct FailingContainer : FakeContainer {
      using FakeContainer::FakeContainer;
      std::function<void()> fail;
      PropertyStore& Properties() override { return fail(), store; }
      bool StartBoundedRead(const std::string&, const std::string&, int32_t,
                            const ReadLimits&) override {
        return fail(), true;
      }
      void CancelRead(const std::string&) override { fail(); }
      int32_t WindowHandle() const override { return fail(), 1; }
      void Redraw() override { fail(); }
    } container{clock_};
    struct FailingMessageBox : MessageBox {
      std::function<void()> fail;
      MessageBoxAnswer Show(const std::string&, const std::string&, int32_t) override {
        return fail(), MessageBoxAnswer::Yes;
      }
    } box;
    browser.fail = container.fail = box.fail = fail;

    Gridwell c(Platform{browser, container, box, clock_, random_, base_});
    c.SetConverterFactory([&]() -> std::unique_ptr<PageConverter> { return fail(), nullptr; });
    c.OpenStart = c.OpenComplete = c.OpenError = [&](std::string&, std::string&) { fail(); };
    c.DownloadStarted = c.DownloadError = [&](std::string&) { fail(); };
    c.DownloadProgress = [&](int32_t&, int32_t&, std::string&) { fail(); };
    c.DownloadComplete = [&](int32_t&, std::string&) { fail(); };

    EXPECT_EQ(c.hwnd(), 0);
    c.SetRegenerateHTML(kVbTrue);
    c.ReadProperties();
    c.WriteProperties();
    c.OnShow(640, 480);
    std::string url = "http://host/book.xlsx", file = root_ + "/download.xlsx";
    EXPECT_EQ(c.BeginDownload(url, file), kVbFalse);
    c.OnReadProgress(file, 1, 2);
    c.OnReadComplete(file, 2, {1, 2}, false);
    c.OnReadComplete(file, 0, {}, true);
    c.OnBeforeNavigate();
    c.OnNavigateComplete();
    c.OnNavigateError();
    EXPECT_EQ(c.OpenXL({.strPath = Book1()}), kVbFalse);
    EXPECT_EQ(c.OpenXLrange({.strPath = Book1(), .strRange = "A1:B2"}), kVbFalse);
    c.GoHome();
    c.SetupDocument();
    c.PrintDocument();
    c.FindInDocument();
    c.PrintPreviewDocument();
    c.ShowDocumentProperties();
    c.SaveDocument();
    c.Refresh();
    c.Find();
    EXPECT_EQ(c.SaveHTML(root_), kVbFalse);
    std::string target = Book1();
    VbBool warn = kVbTrue;
    EXPECT_EQ(c.SaveCopy(target, warn), kVbFalse);  // the overwrite question failed
    c.Terminate();
  }
}

// ---- Open workflow: naming, sheet rule, converter settings ----

TEST_F(ControlTest, SheetRuleChoosesFieldAndPageName) {
  struct Case {
    const char* what;
    Variant sheet;
    int32_t worksheetnum;  // 0: not assigned
    const char* worksheet;
    const char* page;
  } cases[] = {
      {"missing", std::monostate{}, 1, "", "Book1_1.htm"},
      {"blank string", std::string("   "), 1, "", "Book1_1.htm"},
      {"name", std::string("Sales"), 0, "Sales", "Book1_Sales.htm"},
      {"untrimmed name", std::string(" Q1 "), 0, " Q1 ", "Book1_ Q1 .htm"},
      {"16-bit positive", int16_t{2}, 2, "", "Book1_2.htm"},
      {"16-bit zero", int16_t{0}, 1, "", "Book1_1.htm"},
      {"16-bit negative", int16_t{-4}, 1, "", "Book1_1.htm"},
      {"32-bit", int32_t{2}, 1, "", "Book1_1.htm"},
      {"double", 2.0, 1, "", "Book1_1.htm"},
      {"float", 3.0f, 1, "", "Book1_1.htm"},
  };
  for (const auto& c : cases) {
    script_.conversions.clear();
    control_->SetRegenerateHTML(kVbTrue);
    ASSERT_TRUE(control_->OpenXL({.strPath = Book1(), .varSheet = c.sheet})) << c.what;
    container_.Drain();
    ASSERT_EQ(script_.conversions.size(), 1u) << c.what;
    const auto& f = script_.conversions[0].fields;
    EXPECT_EQ(f.Worksheetnum, c.worksheetnum) << c.what;
    EXPECT_EQ(f.Worksheet, c.worksheet) << c.what;
    EXPECT_EQ(control_->HTMLfile(), Temp() + c.page) << c.what;
  }
}

TEST_F(ControlTest, PageNameIsTheWorkbookNameWithoutItsLastExtension) {
  struct Case {
    const char* book;
    const char* page;
  } cases[] = {{"a.xlsx.b.xlsx", "a.xlsx.b_1.htm"},
               {"report.xlsx.xls", "report.xlsx_1.htm"},
               {"a.xls.xls", "a.xls_1.htm"},
               {"Mixed.XlSx", "Mixed_1.htm"},
               {"noext", "noext_1.htm"},
               {"dot.in.name.xls", "dot.in.name_1.htm"}};
  for (const auto& c : cases) {
    WriteText(books_ + c.book, "x");
    ASSERT_TRUE(control_->OpenXL({.strPath = books_ + c.book})) << c.book;
    container_.Drain();
    EXPECT_EQ(control_->HTMLfile(), Temp() + c.page) << c.book;
    EXPECT_TRUE(fs::exists(control_->HTMLfile())) << c.book;
  }
}

TEST_F(ControlTest, SheetNameCannotLeadThePageOutOfTheFolder) {
  const std::string names[] = {"../../evil", "a/b", "a_b", "..", "%2F"};
  std::set<std::string> pages;
  for (const auto& name : names) {
    ASSERT_TRUE(control_->OpenXL({.strPath = Book1(), .varSheet = name}));
    container_.Drain();
    const std::string page = control_->HTMLfile();
    EXPECT_EQ(page.substr(0, Temp().size()), Temp()) << name;
    EXPECT_EQ(page.find('/', Temp().size()), std::string::npos) << name;
    EXPECT_EQ(fs::path(page).parent_path().string() + "/", Temp()) << name;
    EXPECT_TRUE(fs::exists(page)) << name;
    EXPECT_EQ(script_.conversions.back().fields.Worksheet, name);  // the sheet keeps its name
    pages.insert(page);
  }
  EXPECT_EQ(pages.size(), std::size(names));  // distinct names, distinct pages
  // The same name gives the same page, which is reused.
  const size_t before = script_.conversions.size();
  ASSERT_TRUE(control_->OpenXL({.strPath = Book1(), .varSheet = std::string("a/b")}));
  EXPECT_EQ(script_.conversions.size(), before);
}

TEST_F(ControlTest, ConverterSettingsOfOpenXL) {
  VbBool on = kVbTrue;
  OpenXLArgs a{.strPath = Book1(),
               .lngStartRow = -5,
               .intStartCol = 0,
               .lngEndRow = 40,
               .intEndCol = 0,
               .strPassword = " secret ",
               .blnShowFormulas = on,
               .blnHideRowNumbers = on,
               .blnHideColLetters = kVbFalse,
               .blnColLettersAtBottom = on,
               .blnRowNumbersAtRight = kVbFalse,
               .strHeading = "H",
               .strTitle = "T",
               .strBackgroundColor = "#FFFFFF",
               .strBackgroundImageFile = "bg.png",
               .strTableColor = "red",
               .strTableImageFile = "t.png",
               .blnNewBrowserWindow = on,
               .blnShowComments = on,
               .blnNoStyle = kVbFalse};
  ASSERT_TRUE(control_->OpenXL(a));
  ASSERT_EQ(script_.conversions.size(), 1u);
  const auto& r = script_.conversions[0];
  EXPECT_EQ(r.fields.ExcelFile, Book1());
  EXPECT_EQ(r.fields.Password, " secret ");
  EXPECT_EQ(r.fields.StartRow, 1);
  EXPECT_EQ(r.fields.StartCol, 1);
  EXPECT_EQ(r.fields.EndRow, 40);
  EXPECT_EQ(r.fields.EndCol, 0);
  EXPECT_EQ(r.fields.ShowFormulas, -1);
  EXPECT_EQ(r.fields.HideRowNumbers, -1);
  EXPECT_EQ(r.fields.HideColLetters, 0);
  EXPECT_EQ(r.fields.ColLetters, -1);
  EXPECT_EQ(r.fields.RowNumbers, 0);
  EXPECT_EQ(r.fields.NewWindow, -1);
  EXPECT_EQ(r.fields.ShowComments, -1);
  EXPECT_EQ(r.fields.Range, "");
  EXPECT_EQ(r.fields.CompactStyles, 0) << "off by default";
  EXPECT_EQ(r.fields.MaxPageBytes, int64_t{256} << 20);
  EXPECT_EQ(r.fields.SheetLook, 0) << "off by default";
  EXPECT_TRUE(r.styled);
  EXPECT_EQ(r.page, Temp() + "Book1_1.htm");
  EXPECT_EQ(r.strings, (std::vector<std::string>{"H", "T", "#FFFFFF", "bg.png", "red", "t.png"}));
  EXPECT_EQ(control_->SheetTotal(), 3);
  EXPECT_EQ(control_->SheetNames(), script_.sheetNames);
  a.blnCompactStyles = kVbTrue;  // for one open
  a.blnSheetLook = kVbTrue;
  control_->SetRegenerateHTML(kVbTrue);
  ASSERT_TRUE(control_->OpenXL(a));
  ASSERT_EQ(script_.conversions.size(), 2u);
  EXPECT_EQ(script_.conversions.back().fields.CompactStyles, -1);
  control_->SetPageLimits({.maxBytes = 1000});
  ASSERT_TRUE(control_->OpenXL(a));
  EXPECT_EQ(script_.conversions.back().fields.MaxPageBytes, 1000);
  EXPECT_EQ(script_.conversions.back().fields.SheetLook, -1);
}

TEST_F(ControlTest, ConverterSettingsOfOpenXLrange) {
  control_->SetCompactStyles(kVbTrue);
  control_->SetSheetLook(kVbTrue);
  ASSERT_TRUE(control_->OpenXLrange(
      {.strPath = Book1(), .strRange = "  A1:H40 ", .strPassword = "   ", .blnNoStyle = kVbTrue}));
  ASSERT_EQ(script_.conversions.size(), 1u);
  const auto& r = script_.conversions[0];
  const clsHTML initial;
  EXPECT_EQ(r.fields.Range, "A1:H40");
  EXPECT_EQ(r.fields.Password, initial.Password);  // blank password: not assigned
  EXPECT_EQ(r.fields.StartRow, initial.StartRow);  // bounds keep their initial values
  EXPECT_EQ(r.fields.StartCol, initial.StartCol);
  EXPECT_EQ(r.fields.EndRow, initial.EndRow);
  EXPECT_EQ(r.fields.CompactStyles, -1);
  EXPECT_EQ(r.fields.SheetLook, -1);
  EXPECT_FALSE(r.styled);
  EXPECT_EQ(r.strings, std::vector<std::string>(6));
}

// ---- Open workflow: reuse, regeneration, emptying ----

TEST_F(ControlTest, ReusesAnExistingPageUnlessRegenerating) {
  ASSERT_TRUE(control_->OpenXL({.strPath = Book1(), .strHeading = "first"}));
  container_.Drain();
  ASSERT_EQ(script_.conversions.size(), 1u);
  script_.sheetTotal = 9;
  // Same workbook and sheet, another range and heading: the page is shown again as it is.
  ASSERT_TRUE(control_->OpenXLrange({.strPath = Book1(), .strRange = "B2:C3"}));
  container_.Drain();
  EXPECT_EQ(script_.conversions.size(), 1u);
  EXPECT_EQ(control_->SheetTotal(), 3);
  EXPECT_TRUE(browser_.visible);
  EXPECT_EQ(browser_.navigations.size(), 2u);

  control_->SetRegenerateHTML(kVbTrue);
  ASSERT_TRUE(control_->OpenXL({.strPath = Book1()}));
  ASSERT_EQ(script_.conversions.size(), 2u);
  EXPECT_FALSE(script_.conversions[1].pageExistedBefore);  // deleted before converting
  EXPECT_EQ(control_->SheetTotal(), 9);
}

TEST_F(ControlTest, UnwrittenPageIsConvertedAgainNextTime) {
  script_.writePage = false;
  RecordOpenEvents();
  ASSERT_TRUE(control_->OpenXL({.strPath = Book1()}));
  container_.Drain();
  EXPECT_TRUE(browser_.visible);
  ASSERT_EQ(events_.size(), 2u);
  EXPECT_EQ(events_[1].substr(0, 5), "Error");
  ASSERT_TRUE(control_->OpenXL({.strPath = Book1()}));
  EXPECT_EQ(script_.conversions.size(), 2u);
}

// Linux names are case-sensitive: a page is reused only for the same file, which two names
// (a link) may share, and never for another file whose path differs in letter case only.
TEST_F(ControlTest, PagesAreReusedForTheSameFileOnly) {
  fs::create_directories(books_ + "A");
  fs::create_directories(books_ + "a");
  WriteText(books_ + "A/book.xlsx", "upper");
  WriteText(books_ + "a/book.xlsx", "lower");
  fs::create_symlink(books_ + "A/book.xlsx", books_ + "a/link.xlsx");
  fs::create_directories(books_ + "b");
  fs::create_hard_link(books_ + "A/book.xlsx", books_ + "b/book.xlsx");
  struct Case {
    const char* book;
    bool converts;  // false: the page of A/book.xlsx is shown again
    size_t pages;   // pages in the folder afterwards
  } cases[] = {{"A/book.xlsx", true, 1}, {"a/book.xlsx", true, 1},  {"A/book.xlsx", true, 1},
               {"a/link.xlsx", true, 2}, {"b/book.xlsx", false, 2}, {"A/book.xlsx", false, 2},
               {"Other.xlsx", true, 1}};
  for (const auto& c : cases) {
    const size_t before = script_.conversions.size();
    ASSERT_TRUE(control_->OpenXL({.strPath = books_ + c.book})) << c.book;
    container_.Drain();
    EXPECT_EQ(script_.conversions.size() - before, c.converts ? 1u : 0u) << c.book;
    if (c.converts) {
      EXPECT_EQ(script_.conversions.back().fields.ExcelFile, books_ + c.book);
    }
    EXPECT_EQ(FilesIn(Temp()).size(), c.pages) << c.book;
  }
}

// A page written with a workbook's password is never shown again to a request without it.
TEST_F(ControlTest, PageOfAProtectedWorkbookIsReusedOnlyWithItsPassword) {
  script_.password = "right";
  RecordOpenEvents();
  struct Case {
    const char* password;
    bool converts, shown;
    OpenFailure failure;
  } cases[] = {{"right", true, true, OpenFailure::None},
               {"wrong", true, false, OpenFailure::WrongPassword},
               {"", true, false, OpenFailure::PasswordNeeded},
               {"right", true, true, OpenFailure::None},
               {"right", false, true, OpenFailure::None},
               {"  ", true, false, OpenFailure::PasswordNeeded}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("password \"") + c.password + "\"");
    events_.clear();
    const size_t before = script_.conversions.size();
    ASSERT_TRUE(control_->OpenXL({.strPath = Book1(), .strPassword = c.password}));
    container_.Drain();
    EXPECT_EQ(script_.conversions.size() - before, c.converts ? 1u : 0u);
    ASSERT_EQ(events_.size(), 2u);
    EXPECT_EQ(events_[1].rfind(c.shown ? "Complete " : "Error ", 0), 0u) << events_[1];
    EXPECT_EQ(control_->OpenErrorCode(), c.failure);
    EXPECT_EQ(fs::exists(control_->HTMLfile()), c.shown);
  }
}

// ---- Open workflow: events, waits, re-entrancy ----

TEST_F(ControlTest, EventOrderOfOneOpen) {
  ASSERT_TRUE(control_->OpenXL({.strPath = Book1()}));
  container_.Drain();
  const std::string firstPage = control_->HTMLfile();
  RecordOpenEvents();
  browser_.log.clear();
  const std::string other = books_ + "Other.xlsx";
  ASSERT_TRUE(control_->OpenXL({.strPath = other}));
  // The browser reports the start while the request is issued: the new workbook with the
  // previous page path. The end arrives from the message queue.
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0], "Start " + other + " " + firstPage);
  EXPECT_FALSE(control_->DocumentLoaded());
  container_.Drain();
  ASSERT_EQ(events_.size(), 2u);
  EXPECT_EQ(events_[1], "Complete " + other + " " + Temp() + "Other_1.htm");
  EXPECT_TRUE(control_->DocumentLoaded());
  EXPECT_EQ(browser_.log,
            (std::vector<std::string>{"hidden", "navigate " + Temp() + "Other_1.htm", "visible"}));
}

TEST_F(ControlTest, SynchronousOpenReturnsAfterThePageLoaded) {
  RecordOpenEvents();
  control_->OpenStart = [this](std::string&, std::string&) {
    events_.push_back(browser_.visible ? "Start visible" : "Start hidden");
  };
  ASSERT_TRUE(control_->OpenXL({.strPath = Book1(), .blnOpenSynchronously = kVbTrue}));
  ASSERT_EQ(events_.size(), 2u);
  EXPECT_EQ(events_[0], "Start hidden");
  EXPECT_EQ(events_[1].substr(0, 8), "Complete");
  EXPECT_TRUE(browser_.visible);
}

TEST_F(ControlTest, WaitForAPageThatNeverLoadsEndsAtTheLimit) {
  browser_.neverFinishes = true;
  control_->SetWaitLimits({.downloadSeconds = 5, .pageSeconds = 5, .destroyPauseSeconds = 0});
  const double before = clock_.now;
  EXPECT_TRUE(control_->OpenXL({.strPath = Book1(), .blnOpenSynchronously = kVbTrue}));
  EXPECT_GE(clock_.now - before, 5.0);
  EXPECT_TRUE(browser_.visible);
}

TEST_F(ControlTest, HandlersMayCallTheControlAgainInsideAWait) {
  int nested = 0;
  control_->OpenComplete = [&](std::string& book, std::string&) {
    if (nested++ == 0) {
      // Open another sheet from inside the first request's wait.
      EXPECT_TRUE(control_->OpenXL(
          {.strPath = book, .varSheet = int16_t{2}, .blnOpenSynchronously = kVbTrue}));
      VbBool sync = kVbTrue;
      control_->GoHome(sync);
    }
  };
  ASSERT_TRUE(control_->OpenXL({.strPath = Book1(), .blnOpenSynchronously = kVbTrue}));
  EXPECT_EQ(control_->HTMLfile(), Temp() + "Book1_2.htm");
  EXPECT_EQ(browser_.navigations.size(), 3u);
  EXPECT_GE(nested, 2);
}

TEST_F(ControlTest, ControlTerminatedInsideAWaitStopsTouchingThePlatform) {
  struct Case {
    const char* what;
    std::string path;
  } cases[] = {{"page wait", Book1()}, {"download wait", "http://h/Book.xls"}};
  container_.server["http://h/Book.xls"] = {.body = "remote", .chunks = 3};
  for (const auto& c : cases) {
    Create();
    browser_.log.clear();
    control_->OpenStart = [&](std::string&, std::string&) { control_->Terminate(); };
    control_->DownloadStarted = [&](std::string&) {
      container_.pending.push_front([&] { control_->Terminate(); });
    };
    EXPECT_FALSE(control_->OpenXL({.strPath = c.path, .blnOpenSynchronously = kVbTrue})) << c.what;
    EXPECT_FALSE(control_->Waiting());
    EXPECT_EQ(std::count(browser_.log.begin(), browser_.log.end(), "visible"), 0) << c.what;
    EXPECT_FALSE(control_->OpenXL({.strPath = Book1()}));
  }
}

TEST_F(ControlTest, HandlerThatEmptiesThePagePathDisablesGoHomeAndSaving) {
  ASSERT_TRUE(control_->OpenXL({.strPath = Book1()}));
  container_.Drain();
  control_->OpenStart = [](std::string&, std::string& page) { page = ""; };
  control_->GoHome();
  container_.Drain();
  EXPECT_EQ(control_->HTMLfile(), "");
  const size_t navigations = browser_.navigations.size();
  control_->GoHome();
  EXPECT_EQ(browser_.navigations.size(), navigations);
  EXPECT_FALSE(control_->SaveHTML(root_));
  const std::string t = Temp();
  control_.reset();
  EXPECT_FALSE(FilesIn(t).empty());  // destruction keeps the files
}

TEST_F(ControlTest, GoHomeRenavigatesWithoutChangingVisibility) {
  control_->GoHome();
  EXPECT_TRUE(browser_.navigations.empty());
  ASSERT_TRUE(control_->OpenXL({.strPath = Book1()}));
  container_.Drain();
  browser_.visible = false;
  VbBool sync = kVbTrue;
  control_->GoHome(sync);
  EXPECT_TRUE(control_->DocumentLoaded());
  EXPECT_EQ(browser_.navigations.back(), control_->HTMLfile());
  EXPECT_FALSE(browser_.visible);
}

// ---- Open workflow: downloads ----

TEST_F(ControlTest, OpenOfAnAddressDownloadsIntoTheFolder) {
  struct Case {
    const char* url;
    bool downloads;
  } cases[] = {{"http://h/Book.xls", true},
               {"HTTPS://h/Book.xls", true},
               {"ftp://h/Book.xls", true},
               {"ftpx.xls", false}};
  for (const auto& c : cases) {
    container_.server[c.url] = {.body = "remote workbook"};
    container_.reads.clear();
    control_->OpenXL({.strPath = c.url});
    container_.Drain();
    EXPECT_EQ(container_.reads.size(), c.downloads ? 1u : 0u) << c.url;
  }
  // The last download: a random name with the address's extension, fetched without cache.
  control_->OpenXL({.strPath = "http://h/Book.xls"});
  ASSERT_FALSE(container_.reads.empty());
  const auto& read = container_.reads.back();
  EXPECT_EQ(read.options, 16);
  EXPECT_EQ(read.propertyName.substr(0, Temp().size()), Temp());
  EXPECT_EQ(fs::path(read.propertyName).extension(), ".xls");
  EXPECT_EQ(control_->TempWorkbook(), read.propertyName);
  EXPECT_EQ(control_->ExcelFile(), read.propertyName);
  EXPECT_EQ(ReadText(read.propertyName), "remote workbook");
  EXPECT_EQ(script_.conversions.back().fields.ExcelFile, read.propertyName);
}

TEST_F(ControlTest, EventOrderOfADownloadingOpen) {
  container_.server["http://h/Book.xls"] = {.body = "0123456789", .chunks = 2};
  RecordDownloadEvents();
  RecordOpenEvents();
  ASSERT_TRUE(control_->OpenXL({.strPath = "http://h/Book.xls", .blnOpenSynchronously = -1}));
  const std::string local = control_->TempWorkbook();
  const std::string page = control_->HTMLfile();
  EXPECT_EQ(events_,
            (std::vector<std::string>{"Started " + local, "Progress 5/10 " + local,
                                      "Progress 10/10 " + local, "Complete 10 " + local,
                                      "Start " + local + " ", "Complete " + local + " " + page}));
}

TEST_F(ControlTest, DownloadStartedHandlerRenamesTheLocalCopy) {
  container_.server["http://h/Book.xls"] = {.body = "remote"};
  const std::string renamed = root_ + "/renamed.xls";
  control_->DownloadStarted = [&](std::string& f) { f = renamed; };
  ASSERT_TRUE(control_->OpenXL({.strPath = "http://h/Book.xls"}));
  EXPECT_EQ(container_.reads.back().propertyName, renamed);
  EXPECT_EQ(control_->TempWorkbook(), renamed);
  EXPECT_EQ(ReadText(renamed), "remote");
  EXPECT_EQ(control_->HTMLfile(), Temp() + "renamed_1.htm");
}

TEST_F(ControlTest, FailedDownloadEndsTheOpenWithoutAFile) {
  RecordDownloadEvents();
  // No such address on the server: it answers with an error page.
  EXPECT_FALSE(control_->OpenXL({.strPath = "http://h/missing.xls"}));
  const std::string local = control_->TempWorkbook();
  ASSERT_FALSE(local.empty());
  EXPECT_FALSE(fs::exists(local));
  EXPECT_EQ(control_->ExcelFile(), "");
  EXPECT_FALSE(browser_.visible);
  ASSERT_GE(events_.size(), 3u);
  EXPECT_EQ(events_[events_.size() - 2], "Error " + local);
  EXPECT_EQ(events_.back(), "Complete 0 " + local);
  EXPECT_TRUE(control_->DownloadDone());
}

TEST_F(ControlTest, RefusedDownloadEndsTheOpenAtOnce) {
  container_.refuseReads = true;
  EXPECT_FALSE(control_->OpenXL({.strPath = "ftp://h/Book.xls"}));
  EXPECT_FALSE(control_->DownloadDone());
  EXPECT_EQ(control_->TempWorkbook(), "");
}

TEST_F(ControlTest, DownloadWaitEndedByItsLimitCancelsTheTransfer) {
  // 1,000 notifications at 0.01 s each: the transfer outlasts the 5 s wait.
  container_.server["http://h/slow.xls"] = {.body = "remote", .chunks = 1000};
  for (bool honours : {true, false}) {
    Create();
    control_->SetWaitLimits({.downloadSeconds = 5, .pageSeconds = 5, .destroyPauseSeconds = 0});
    RecordDownloadEvents();
    events_.clear();
    container_.cancelled.clear();
    container_.honoursCancel = honours;
    EXPECT_FALSE(control_->OpenXL({.strPath = "http://h/slow.xls"})) << honours;
    const std::string local = control_->TempWorkbook();
    EXPECT_EQ(container_.cancelled, std::vector<std::string>{local}) << honours;
    EXPECT_TRUE(control_->DownloadDone()) << honours;
    container_.Drain();  // whatever the service still delivers
    for (const std::string& e : events_) {
      EXPECT_TRUE(e.rfind("Started", 0) == 0 || e.rfind("Progress", 0) == 0) << honours << e;
    }
    EXPECT_TRUE(FilesIn(Temp()).empty()) << honours;
    EXPECT_NE(control_->DownloadErrorText().find("limit of 5 s"), std::string::npos) << honours;
  }
}

TEST_F(ControlTest, DownloadsCarryTheirLimitsAndSayWhyTheyFailed) {
  std::string url = "http://h/a.xls", file = root_ + "/a.xls";
  ASSERT_TRUE(control_->BeginDownload(url, file));
  EXPECT_EQ(container_.reads.back().limits.maxBytes, int64_t{256} << 20);
  EXPECT_EQ(container_.reads.back().limits.maxSeconds, 600);
  control_->SetDownloadLimits({.maxBytes = 1000, .maxSeconds = 2.5});
  ASSERT_TRUE(control_->BeginDownload(url, file));
  EXPECT_EQ(container_.reads.back().limits.maxBytes, 1000);
  EXPECT_EQ(container_.reads.back().limits.maxSeconds, 2.5);
  container_.pending.clear();
  RecordDownloadEvents();
  control_->OnReadComplete(file, 1000, std::vector<uint8_t>(1000), true,
                           "larger than the limit of 1000 bytes");
  EXPECT_EQ(events_, (std::vector<std::string>{"Error " + file, "Complete 0 " + file}));
  EXPECT_EQ(control_->DownloadErrorText(), "larger than the limit of 1000 bytes");
  EXPECT_FALSE(fs::exists(file));
}

// ---- BeginDownload ----

TEST_F(ControlTest, ProgressOnlyWhenTheSizeIsKnown) {
  container_.server["http://h/chunked"] = {.body = "abc", .announcesSize = false, .chunks = 3};
  RecordDownloadEvents();
  std::string url = "http://h/chunked", file = root_ + "/out.bin";
  ASSERT_TRUE(control_->BeginDownload(url, file));
  EXPECT_FALSE(control_->DownloadDone());
  container_.Drain();
  EXPECT_EQ(events_, (std::vector<std::string>{"Started " + file, "Complete 3 " + file}));
  EXPECT_EQ(ReadText(file), "abc");
}

TEST_F(ControlTest, DownloadReplacesALongerFileWhole) {
  const std::string file = root_ + "/out.bin";
  WriteText(file, "a much longer earlier file");
  container_.server["http://h/x"] = {.body = "short"};
  std::string url = "http://h/x", target = file;
  ASSERT_TRUE(control_->BeginDownload(url, target));
  container_.Drain();
  EXPECT_EQ(ReadText(file), "short");
  EXPECT_EQ(FilesIn(root_ + "/").size(), 3u);  // books, GRIDWTEMP, out.bin: no leftovers
}

TEST_F(ControlTest, ErrorStatusOrEmptyTransferIsAFailedDownload) {
  struct Case {
    const char* what;
    FakeResponse response;
  } cases[] = {{"error page", {.body = "<h1>404</h1>", .failed = true}},
               {"no bytes", {.body = ""}}};
  for (const auto& c : cases) {
    events_.clear();
    const std::string file = root_ + "/keep.bin";
    WriteText(file, "host's earlier file");
    container_.server["http://h/x"] = c.response;
    RecordDownloadEvents();
    std::string url = "http://h/x", target = file;
    ASSERT_TRUE(control_->BeginDownload(url, target));
    container_.Drain();
    EXPECT_EQ(events_.back(), "Complete 0 " + file) << c.what;
    EXPECT_EQ(events_[events_.size() - 2], "Error " + file) << c.what;
    EXPECT_EQ(ReadText(file), "host's earlier file") << c.what;
  }
}

// ---- Document commands ----

TEST_F(ControlTest, DocumentCommandsSendTheirIdsAndOptions) {
  VbBool prompt = kVbTrue, noPrompt = kVbFalse;
  control_->SetupDocument();
  control_->PrintDocument(prompt);
  control_->PrintDocument(noPrompt);
  control_->PrintDocument();
  control_->PrintPreviewDocument();
  control_->ShowDocumentProperties();
  control_->SaveDocument();
  control_->Find();
  using P = std::pair<int32_t, int32_t>;
  EXPECT_EQ(browser_.commands,
            (std::vector<P>{{8, 0}, {6, 1}, {6, 2}, {6, 2}, {7, 0}, {10, 0}, {4, 1}, {24, 2}}));
  control_->Refresh();
  EXPECT_EQ(container_.redraws, 1);
  EXPECT_EQ(browser_.refreshes, 1);
}

TEST_F(ControlTest, FindOpensOnlyOverAShownPage) {
  struct Case {
    const char* what;
    std::function<void()> step;
    bool opens;
  } cases[] = {
      {"before any page", [] {}, false},
      {"page shown", [&] { control_->OpenXL({.strPath = Book1(), .blnOpenSynchronously = -1}); },
       true},
      {"after an open that ended early, browser hidden",
       [&] { control_->OpenXL({.strPath = books_ + "nope.xls"}); }, false},
      {"page shown again",
       [&] { control_->OpenXL({.strPath = Book1(), .blnOpenSynchronously = -1}); }, true},
      {"after a workbook that gave no page",
       [&] {
         script_.writePage = false;
         control_->OpenXL({.strPath = books_ + "Other.xlsx", .blnOpenSynchronously = -1});
       },
       false},
  };
  for (const auto& c : cases) {
    c.step();
    const int before = browser_.findDialogs;
    control_->FindInDocument();
    EXPECT_EQ(browser_.findDialogs - before, c.opens ? 1 : 0) << c.what;
  }
}

TEST_F(ControlTest, WorkbookThatGivesNoPageReplacesTheShownSheetByAnErrorPage) {
  RecordOpenEvents();
  ASSERT_TRUE(control_->OpenXL({.strPath = Book1(), .blnOpenSynchronously = kVbTrue}));
  EXPECT_TRUE(browser_.errorPages.empty());
  script_.writePage = false;  // unreadable, or a wrong password
  events_.clear();
  ASSERT_TRUE(
      control_->OpenXL({.strPath = books_ + "Other.xlsx", .blnOpenSynchronously = kVbTrue}));
  const std::string page = Temp() + "Other_1.htm";
  EXPECT_EQ(events_,
            (std::vector<std::string>{"Start " + books_ + "Other.xlsx " + Temp() + "Book1_1.htm",
                                      "Error " + books_ + "Other.xlsx " + page}));
  EXPECT_EQ(browser_.errorPages, std::vector<std::string>{control_->OpenErrorText()});
  EXPECT_EQ(control_->OpenErrorText(), "Other.xlsx is not an .xls or .xlsx workbook.");
  EXPECT_EQ(browser_.log.back(), "visible");  // the error page, not the earlier sheet
  // A link followed from a shown page that fails keeps that page.
  script_.writePage = true;
  ASSERT_TRUE(control_->OpenXL({.strPath = Book1(), .blnOpenSynchronously = kVbTrue}));
  control_->OnBeforeNavigate();
  control_->OnNavigateError();
  EXPECT_EQ(browser_.errorPages.size(), 1u);
}

// Every open says why it shows no page: the result keeps its documented value (True once the
// converter was asked), the reason is in OpenErrorCode and OpenErrorText, and on the error page.
TEST_F(ControlTest, FailedOpenSaysWhy) {
  WriteText(books_ + "damaged.xlsx", std::string("PK\x03\x04", 4) + "broken");
  container_.server["http://h/get/Sales.xlsx?v=2"] = {.body = "PK\x03\x04"};
  struct Case {
    const char* what;
    std::string path, password;
    ConvertStop stop;
    VbBool result;
    OpenFailure failure;
    std::string text;
  } cases[] = {
      {"shown", Book1(), "", ConvertStop::None, kVbTrue, OpenFailure::None, ""},
      {"no password", Book1(), "", ConvertStop::WrongPassword, kVbTrue, OpenFailure::PasswordNeeded,
       "Book1.XLS is protected: it opens only with its password."},
      {"wrong password", Book1(), "guess", ConvertStop::WrongPassword, kVbTrue,
       OpenFailure::WrongPassword, "The password does not open Book1.XLS."},
      {"damaged", books_ + "damaged.xlsx", "", ConvertStop::Unreadable, kVbTrue,
       OpenFailure::Unreadable,
       "damaged.xlsx cannot be read: xl/sharedStrings.xml line 3: damaged."},
      {"no workbook", Book1(), "", ConvertStop::Unreadable, kVbTrue, OpenFailure::NotAWorkbook,
       "Book1.XLS is not an .xls or .xlsx workbook."},
      {"wrong extension", books_ + "Other.xlsx", "", ConvertStop::WrongExtension, kVbTrue,
       OpenFailure::NotAWorkbook, "Other.xlsx is not an .xls or .xlsx workbook."},
      {"no sheet", Book1(), "", ConvertStop::NoSuchSheet, kVbTrue, OpenFailure::NoSuchSheet,
       "Book1.XLS has no sheet named \"Q9\"."},
      {"page not written", Book1(), "", ConvertStop::OutputNotWritable, kVbTrue,
       OpenFailure::Failed, "The page of Book1.XLS could not be written: no room."},
      {"downloaded, damaged", "http://h/get/Sales.xlsx?v=2", "", ConvertStop::Unreadable, kVbTrue,
       OpenFailure::Unreadable, "Sales.xlsx cannot be read: xl/sharedStrings.xml line 3: damaged."},
      {"missing", books_ + "gone.xlsx", "", ConvertStop::None, kVbFalse, OpenFailure::NotFound,
       "There is no workbook at " + books_ + "gone.xlsx."},
      {"failed download", "http://h/gone.xlsx", "", ConvertStop::None, kVbFalse,
       OpenFailure::NotFound, "The download of http://h/gone.xlsx failed: the transfer failed."},
      {"no path", "", "", ConvertStop::None, kVbFalse, OpenFailure::NotFound,
       "No workbook was given."},
  };
  control_->SetRegenerateHTML(kVbTrue);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    script_.writePage = c.stop == ConvertStop::None;
    script_.stop = c.stop;
    script_.stopDetail = c.stop == ConvertStop::NoSuchSheet ? "no sheet named \"Q9\""
                         : c.stop == ConvertStop::OutputNotWritable
                             ? "no room"
                             : "xl/sharedStrings.xml line 3: damaged";
    script_.password = c.stop == ConvertStop::WrongPassword ? "right" : "";
    browser_.errorPages.clear();
    EXPECT_EQ(control_->OpenXL({.strPath = c.path, .strPassword = c.password}), c.result);
    EXPECT_EQ(control_->OpenErrorCode(), c.failure);
    EXPECT_EQ(control_->OpenErrorText(), c.text);
    container_.Drain();
    if (c.result && c.failure != OpenFailure::None) {
      EXPECT_EQ(browser_.errorPages, std::vector<std::string>{c.text});
    }
  }
}

// ---- Saving ----

TEST_F(ControlTest, SaveHtmlCopiesThePage) {
  std::string name;
  EXPECT_FALSE(control_->SaveHTML(root_, name));  // nothing shown yet
  ASSERT_TRUE(control_->OpenXL({.strPath = Book1()}));
  container_.Drain();
  const std::string page = ReadText(control_->HTMLfile());
  struct Case {
    std::string dir, name, expected;
    bool ok;
  } cases[] = {{root_, "", root_ + "/Book1_1.htm", true},
               {root_ + "/", "   ", root_ + "/Book1_1.htm", true},
               {root_, "kept.htm ", root_ + "/kept.htm ", true},
               {root_ + "/no/such/dir", "", "", false}};
  for (auto& c : cases) {
    fs::remove(c.expected);
    EXPECT_EQ(control_->SaveHTML(c.dir, c.name) != 0, c.ok) << c.dir << "|" << c.name;
    if (c.ok) {
      EXPECT_EQ(ReadText(c.expected), page);
    }
  }
}

TEST_F(ControlTest, SaveCopyAsksBeforeOverwriting) {
  ASSERT_TRUE(control_->OpenXL({.strPath = Book1()}));
  std::string target = root_ + "/copy.xls";
  WriteText(target, "old");
  VbBool warn = kVbTrue;
  messageBox_.answers = {MessageBoxAnswer::No};
  EXPECT_FALSE(control_->SaveCopy(target, warn));
  EXPECT_EQ(ReadText(target), "old");
  ASSERT_EQ(messageBox_.shown.size(), 1u);
  EXPECT_EQ(messageBox_.shown[0].text,
            "File '" + target + "' exists.\r\nDo you want to overwrite it?");
  EXPECT_EQ(messageBox_.shown[0].title, "Overwrite File Confirmation");
  EXPECT_EQ(messageBox_.shown[0].style, 4132);

  messageBox_.answers = {MessageBoxAnswer::Yes};
  EXPECT_TRUE(control_->SaveCopy(target, warn));
  EXPECT_EQ(ReadText(target), "workbook one");

  WriteText(target, "old again");
  EXPECT_TRUE(control_->SaveCopy(target));  // no question when not warned
  EXPECT_EQ(messageBox_.shown.size(), 2u);
  EXPECT_EQ(ReadText(target), "workbook one");

  std::string fresh = root_ + "/fresh.xls";
  EXPECT_TRUE(control_->SaveCopy(fresh, warn));
  EXPECT_EQ(messageBox_.shown.size(), 2u);
}

TEST_F(ControlTest, SaveCopyNeverLosesTheTargetToAFailedCopy) {
  // No workbook opened yet: nothing to copy.
  std::string target = root_ + "/precious.xls";
  EXPECT_FALSE(control_->SaveCopy(target));
  WriteText(target, "precious");
  EXPECT_FALSE(control_->SaveCopy(target));
  EXPECT_EQ(ReadText(target), "precious");
  VbBool warn = kVbTrue;
  messageBox_.answers = {MessageBoxAnswer::Yes};
  EXPECT_FALSE(control_->SaveCopy(target, warn));
  EXPECT_EQ(ReadText(target), "precious");
}

TEST_F(ControlTest, SavedCopiesNeverWidenPermissionsNorWriteThroughALink) {
  ASSERT_TRUE(control_->OpenXL({.strPath = Book1()}));
  const std::string target = root_ + "/copy.xls", elsewhere = root_ + "/elsewhere.txt";
  struct Case {
    const char* what;
    mode_t umask;
    int existing;  // mode of a file already at the target; -1: none
    bool link;     // a link to another file planted at the target
    mode_t expected;
  } cases[] = {
      {"new file, umask 022", 022, -1, false, 0644},
      {"new file, umask 077", 077, -1, false, 0600},
      {"new file, umask 027", 027, -1, false, 0640},
      {"replaces a private file", 022, 0600, false, 0600},
      {"replaces a group-readable file", 077, 0640, false, 0640},
      {"link planted at the target", 077, -1, true, 0600},
  };
  for (const auto& c : cases) {
    fs::remove(target);
    if (c.existing >= 0) {
      WriteText(target, "old");
      ::chmod(target.c_str(), static_cast<mode_t>(c.existing));
    }
    if (c.link) {
      WriteText(elsewhere, "theirs");
      fs::create_symlink(elsewhere, target);
    }
    const mode_t old = ::umask(c.umask);
    std::string to = target;
    const bool saved = control_->SaveCopy(to) != 0;
    ::umask(old);
    EXPECT_TRUE(saved) << c.what;
    struct stat st;
    ASSERT_EQ(::lstat(target.c_str(), &st), 0) << c.what;
    EXPECT_TRUE(S_ISREG(st.st_mode)) << c.what;
    EXPECT_EQ(st.st_mode & 0777, c.expected) << c.what;
    EXPECT_EQ(ReadText(target), "workbook one") << c.what;
    if (c.link) {
      EXPECT_EQ(ReadText(elsewhere), "theirs") << c.what;
    }
  }
}

TEST_F(ControlTest, SaveCopyAfterADownloadCopiesTheLocalCopy) {
  container_.server["http://h/Book.xls"] = {.body = "downloaded"};
  ASSERT_TRUE(control_->OpenXL({.strPath = "http://h/Book.xls"}));
  std::string target = root_ + "/saved.xls";
  EXPECT_TRUE(control_->SaveCopy(target));
  EXPECT_EQ(ReadText(target), "downloaded");
}

}  // namespace
}  // namespace gridwell::testing
