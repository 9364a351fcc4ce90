// The control on its real platform, under Xvfb: WebKit shows the pages, libcurl fetches from
// HTTP and FTP servers that the test starts on 127.0.0.1.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "control/gtk/gridwell_widget.h"
#include "tests/support/widget_hooks.h"
#include "tests/tools/stream_server.h"

namespace {

namespace fs = std::filesystem;
using gridwell::Gridwell;
using gridwell::kVbTrue;
using gridwell::testing::StreamServer;

// Runs the main loop until `done()` or the limit; false at the limit.
template <typename F>
bool RunUntil(F&& done, double seconds = 20) {
  const gint64 end = g_get_monotonic_time() + static_cast<gint64>(seconds * 1e6);
  while (!done()) {
    if (g_get_monotonic_time() >= end) return false;
    guint wake = g_timeout_add(
        10, [](gpointer) { return G_SOURCE_REMOVE; }, nullptr);
    g_main_context_iteration(nullptr, TRUE);
    GSource* s = g_main_context_find_source_by_id(nullptr, wake);
    if (s && !g_source_is_destroyed(s)) g_source_remove(wake);
  }
  return true;
}

void Settle(double seconds) {
  const gint64 end = g_get_monotonic_time() + static_cast<gint64>(seconds * 1e6);
  RunUntil([&] { return g_get_monotonic_time() >= end; }, seconds + 1);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string CommandOutput(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

// Files shared by all tests: a workbook written by a real writer, a binary file, the servers.
struct Shared {
  std::string dir;  // served folder
  std::string book;
  std::string bad;
  std::string blob;
  int httpPort = 0;
  int ftpPort = 0;
  GPid server = 0;
};
Shared* shared = nullptr;

void WriteWorkbook(const std::string& path) {
  lxw_workbook* wb = workbook_new(path.c_str());
  lxw_worksheet* data = workbook_add_worksheet(wb, "Data");
  worksheet_write_string(data, 0, 0, "Hello Gridwell", nullptr);
  worksheet_write_number(data, 1, 1, 42, nullptr);
  worksheet_write_string(data, 2, 0, "needle one", nullptr);
  worksheet_write_string(data, 3, 0, "needle two", nullptr);
  lxw_worksheet* other = workbook_add_worksheet(wb, "Other");
  worksheet_write_string(other, 0, 0, "Second sheet", nullptr);
  for (int row = 1; row <= 1300; ++row) worksheet_write_number(other, row, 0, row, nullptr);
  worksheet_write_string(other, 1301, 0, "bottom line", nullptr);
  workbook_close(wb);
}

class GtkEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    gtk_init(nullptr, nullptr);
    shared = new Shared;
    char tmpl[] = "/tmp/gridwell-widget-test-XXXXXX";
    shared->dir = ::mkdtemp(tmpl);
    shared->book = shared->dir + "/book.xlsx";
    shared->bad = shared->dir + "/bad.xlsx";
    shared->blob = shared->dir + "/blob.bin";
    WriteWorkbook(shared->book);
    std::ofstream(shared->bad) << "this is no workbook";
    std::string blob;
    for (int i = 0; i < 200000; ++i) blob += static_cast<char>((i * 7919) % 251);
    std::ofstream(shared->blob, std::ios::binary) << blob;

    const char* argv[] = {GRIDWELL_PYTHON, GRIDWELL_TEST_SERVERS, shared->dir.c_str(), nullptr};
    int out = -1;
    if (g_spawn_async_with_pipes(nullptr, const_cast<char**>(argv), nullptr,
                                 G_SPAWN_STDERR_TO_DEV_NULL, nullptr, nullptr, &shared->server,
                                 nullptr, &out, nullptr, nullptr)) {
      FILE* f = fdopen(out, "r");
      char line[128];
      for (int i = 0; i < 2 && f && fgets(line, sizeof line, f); ++i) {
        std::istringstream words(line);
        std::string kind, port;
        words >> kind >> port;
        if (kind == "HTTP") shared->httpPort = std::atoi(port.c_str());
        if (kind == "FTP") shared->ftpPort = std::atoi(port.c_str());
      }
      if (f) fclose(f);
    }
  }
  void TearDown() override {
    if (shared->server) {
      kill(shared->server, SIGTERM);
      g_spawn_close_pid(shared->server);
    }
    fs::remove_all(shared->dir);
    delete shared;
  }
};
const auto* env = ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

class WidgetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/gridwell-widget-base-XXXXXX";
    base_ = std::string(::mkdtemp(tmpl)) + "/GRIDWTEMP/";
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window_), 800, 600);
    widget_ = gridwell_widget_new_with_temp_base(&store_, base_);
    gtk_container_add(GTK_CONTAINER(window_), widget_);
    gtk_widget_show_all(window_);
    RunUntil([&] { return gtk_widget_get_mapped(widget_); });
    Control().SetWaitLimits({.downloadSeconds = 30, .pageSeconds = 30, .destroyPauseSeconds = 0});
    RecordEvents();
  }
  void TearDown() override {
    if (window_) gtk_widget_destroy(window_);
    if (!base_.empty()) fs::remove_all(fs::path(base_).parent_path().parent_path());
  }
  Gridwell& Control() { return gridwell_widget_control(widget_); }
  void RecordEvents() {
    auto open = [this](const char* name) {
      return [this, name](std::string&, std::string&) { events_.push_back(name); };
    };
    Control().OpenStart = open("OpenStart");
    Control().OpenComplete = open("OpenComplete");
    Control().OpenError = open("OpenError");
    Control().DownloadStarted = [this](std::string& f) { events_.push_back("Started " + f); };
    Control().DownloadProgress = [this](int32_t& cur, int32_t& max, std::string&) {
      progress_.emplace_back(cur, max);
    };
    Control().DownloadError = [this](std::string& f) { events_.push_back("Error " + f); };
    Control().DownloadComplete = [this](int32_t& max, std::string& f) {
      events_.push_back("Complete " + std::to_string(max) + " " + f);
    };
  }
  std::string Js(const std::string& script) {
    bool ok = false;
    std::string r = gridwell_widget_run_javascript(widget_, script, &ok);
    EXPECT_TRUE(ok) << script;
    return r;
  }
  std::string Http(const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(shared->httpPort) + path;
  }
  std::string Ftp(const std::string& path) {
    return "ftp://127.0.0.1:" + std::to_string(shared->ftpPort) + path;
  }
  bool Download(std::string url, std::string& file) {
    if (!Control().BeginDownload(url, file)) return false;
    return RunUntil([&] { return Control().DownloadDone(); }, 30);
  }
  void ExpectBookShown() {
    EXPECT_EQ(Js("document.title"), "Gridwell page");
    EXPECT_NE(Js("document.body.innerText").find("Hello Gridwell"), std::string::npos);
  }

  gridwell::MemoryPropertyStore store_;
  std::string base_;
  GtkWidget* window_ = nullptr;
  GtkWidget* widget_ = nullptr;
  std::vector<std::string> events_;
  std::vector<std::pair<int32_t, int32_t>> progress_;
};

TEST_F(WidgetTest, OpensALocalWorkbookSynchronouslyAndShowsThePage) {
  ASSERT_TRUE(Control().OpenXL(
      {.strPath = shared->book, .strTitle = "Gridwell page", .blnOpenSynchronously = kVbTrue}));
  EXPECT_EQ(events_, (std::vector<std::string>{"OpenStart", "OpenComplete"}));
  EXPECT_TRUE(Control().DocumentLoaded());
  EXPECT_TRUE(gtk_widget_get_visible(gridwell_widget_web_view(widget_)));
  EXPECT_EQ(Control().HTMLfile(), Control().TempPath() + "book_1.htm");
  EXPECT_EQ(Control().SheetTotal(), 2);
  EXPECT_EQ(Control().SheetNames(), (std::vector<std::string>{"Data", "Other"}));
  ExpectBookShown();
  EXPECT_NE(Control().hwnd(), 0);

  // Another sheet by name, then home again.
  ASSERT_TRUE(Control().OpenXL(
      {.strPath = shared->book, .varSheet = std::string("Other"), .blnOpenSynchronously = -1}));
  EXPECT_NE(Js("document.body.innerText").find("Second sheet"), std::string::npos);
}

TEST_F(WidgetTest, AsynchronousOpenCompletesFromTheMainLoop) {
  ASSERT_TRUE(Control().OpenXL({.strPath = shared->book, .strTitle = "Gridwell page"}));
  EXPECT_EQ(events_, std::vector<std::string>{"OpenStart"});
  ASSERT_TRUE(RunUntil([&] { return Control().DocumentLoaded(); }));
  EXPECT_EQ(events_, (std::vector<std::string>{"OpenStart", "OpenComplete"}));
  ExpectBookShown();
}

TEST_F(WidgetTest, ANavigationReplacingAnUnfinishedOneStillCompletes) {
  ASSERT_TRUE(Control().OpenXL({.strPath = shared->book}));
  ASSERT_TRUE(Control().OpenXL(
      {.strPath = shared->book, .varSheet = int16_t{2}, .blnOpenSynchronously = kVbTrue}));
  EXPECT_TRUE(Control().DocumentLoaded());
  Settle(0.3);
  EXPECT_EQ(events_.back(), "OpenComplete");
  EXPECT_EQ(std::count(events_.begin(), events_.end(), "OpenError"), 0);
  EXPECT_NE(Js("document.body.innerText").find("Second sheet"), std::string::npos);
}

TEST_F(WidgetTest, NavigationsInsideThePageRaiseTheOpenEvents) {
  ASSERT_TRUE(Control().OpenXL({.strPath = shared->book, .blnOpenSynchronously = kVbTrue}));
  const std::string page = Control().HTMLfile();
  std::ofstream(shared->dir + "/linked.htm") << "<html><body>linked page</body></html>";
  struct Case {
    std::string target;
    const char* outcome;
  } cases[] = {{"file://" + shared->dir + "/linked.htm", "OpenComplete"},
               {"file://" + shared->dir + "/absent.htm", "OpenError"}};
  for (const auto& c : cases) {
    events_.clear();
    Js("window.location.href = '" + c.target + "'; 1");
    ASSERT_TRUE(RunUntil([&] { return events_.size() >= 2; })) << c.target;
    Settle(0.3);
    EXPECT_EQ(events_, (std::vector<std::string>{"OpenStart", c.outcome})) << c.target;
    EXPECT_EQ(Control().HTMLfile(), page);
  }
}

TEST_F(WidgetTest, MissingPageRaisesOpenErrorOnly) {
  // The converter cannot read this file, so no page is written; the open still navigates.
  ASSERT_TRUE(Control().OpenXL({.strPath = shared->bad, .blnOpenSynchronously = kVbTrue}));
  EXPECT_FALSE(fs::exists(Control().HTMLfile()));
  Settle(0.5);  // a late completion would show up here
  EXPECT_EQ(events_, (std::vector<std::string>{"OpenStart", "OpenError"}));

  // A good page afterwards completes normally.
  events_.clear();
  ASSERT_TRUE(Control().OpenXL({.strPath = shared->book, .blnOpenSynchronously = kVbTrue}));
  Settle(0.3);
  EXPECT_EQ(events_, (std::vector<std::string>{"OpenStart", "OpenComplete"}));
}

TEST_F(WidgetTest, FailedOpenNeverLeavesTheEarlierSheetOnScreen) {
  Control().FindInDocument();  // no page yet: no find dialog over nothing
  EXPECT_FALSE(gridwell_widget_find_dialog_visible(widget_));
  const std::string encrypted =
      (fs::path(__FILE__).parent_path() / "../../data/encrypted/values_agile.xlsx").string();
  struct Case {
    const char* what;
    std::string path, password;
    bool opens;          // false: the request ends early and the browser stays hidden
    std::string reason;  // what the page in its place says
  } cases[] = {
      {"unreadable workbook", shared->bad, "", true, "bad.xlsx is not an .xls or .xlsx workbook."},
      {"wrong password", encrypted, "wrong", true, "The password does not open values_agile.xlsx."},
      {"missing workbook", shared->dir + "/absent.xlsx", "", false, ""}};
  for (const auto& c : cases) {
    ASSERT_TRUE(Control().OpenXL(
        {.strPath = shared->book, .strTitle = "Gridwell page", .blnOpenSynchronously = kVbTrue}));
    ExpectBookShown();
    events_.clear();
    EXPECT_EQ(
        Control().OpenXL(
            {.strPath = c.path, .strPassword = c.password, .blnOpenSynchronously = kVbTrue}) != 0,
        c.opens)
        << c.what;
    GtkWidget* view = gridwell_widget_web_view(widget_);
    if (!c.opens) {
      EXPECT_FALSE(gtk_widget_get_visible(view)) << c.what;
      continue;
    }
    EXPECT_EQ(events_, (std::vector<std::string>{"OpenStart", "OpenError"})) << c.what;
    EXPECT_TRUE(gtk_widget_get_visible(view)) << c.what;
    const auto shown = [&] { return Js("document.body ? document.body.innerText : ''"); };
    EXPECT_EQ(Control().OpenErrorText(), c.reason);
    EXPECT_TRUE(RunUntil([&] { return shown().find(c.reason) != std::string::npos; }))
        << c.what << ": " << shown();
    EXPECT_EQ(shown().find("Hello Gridwell"), std::string::npos) << c.what;
    Control().FindInDocument();
    EXPECT_FALSE(gridwell_widget_find_dialog_visible(widget_)) << c.what;
    EXPECT_EQ(events_, (std::vector<std::string>{"OpenStart", "OpenError"})) << c.what;
  }
}

TEST_F(WidgetTest, PrintsToPdfWithoutADialog) {
  ASSERT_TRUE(Control().OpenXL(
      {.strPath = shared->book, .strTitle = "Gridwell page", .blnOpenSynchronously = kVbTrue}));
  const std::string pdf = base_ + "../printed.pdf";
  ASSERT_TRUE(gridwell_widget_print_to_pdf(widget_, pdf));
  ASSERT_TRUE(fs::exists(pdf));
  EXPECT_EQ(ReadFile(pdf).substr(0, 5), "%PDF-");
  EXPECT_NE(CommandOutput("pdftotext '" + pdf + "' -").find("Hello Gridwell"), std::string::npos);
}

TEST_F(WidgetTest, PrintPreviewPrintsIntoTheTemporaryFolder) {
  ASSERT_TRUE(Control().OpenXL({.strPath = shared->book, .blnOpenSynchronously = kVbTrue}));
  std::string preview;
  gridwell_widget_set_preview_handler(widget_, [&](const std::string& pdf) { preview = pdf; });
  Control().PrintPreviewDocument();
  ASSERT_TRUE(RunUntil([&] { return !preview.empty(); }));
  EXPECT_EQ(preview.substr(0, Control().TempPath().size()), Control().TempPath());
  EXPECT_NE(CommandOutput("pdftotext '" + preview + "' -").find("Hello Gridwell"),
            std::string::npos);
}

TEST_F(WidgetTest, FindsTextAndOpensTheFindDialog) {
  ASSERT_TRUE(Control().OpenXL({.strPath = shared->book, .blnOpenSynchronously = kVbTrue}));
  EXPECT_EQ(gridwell_widget_find_text(widget_, "needle"), 2u);
  EXPECT_EQ(gridwell_widget_find_text(widget_, "needle"), 2u);  // found again
  EXPECT_EQ(gridwell_widget_find_text(widget_, "no such text"), 0u);
  EXPECT_FALSE(gridwell_widget_find_dialog_visible(widget_));
  Control().FindInDocument();
  EXPECT_TRUE(gridwell_widget_find_dialog_visible(widget_));
  // The dialog says how many matches the page has, not how many the first search step saw.
  struct {
    const char* term;
    const char* says;
  } const typed[] = {{"needle", "2 matches"}, {"needle one", "1 match"}, {"nowhere", "Not found"}};
  for (const auto& t : typed) EXPECT_EQ(gridwell_widget_find_in_dialog(widget_, t.term), t.says);
}

TEST_F(WidgetTest, FastPagesKeepEveryRowFindableAndPrinted) {
  Control().SetFastPagesFrom(1);
  ASSERT_TRUE(Control().OpenXL(
      {.strPath = shared->book, .varSheet = int16_t{2}, .blnOpenSynchronously = kVbTrue}));
  // 1,302 rows: five blocks of table rows, two more kept as text until needed.
  EXPECT_EQ(Js("String(document.querySelectorAll('div.gw-rows').length)"), "7");
  EXPECT_EQ(Js("String(document.querySelectorAll('div.gw-later').length)"), "2");
  Control().FindInDocument();
  EXPECT_EQ(gridwell_widget_find_in_dialog(widget_, "bottom line"), "1 match");
  // The match, in rows that were kept as text, is marked and scrolled into view.
  EXPECT_EQ(Js("String(CSS.highlights.get('gw-match').values().next().value)"), "bottom line");
  EXPECT_TRUE(RunUntil([&] { return std::atoi(Js("String(window.scrollY)").c_str()) > 1000; }, 5));
  // The dialog's buttons step through the matches, and its label says which one is shown.
  ASSERT_EQ(gridwell_widget_find_in_dialog(widget_, "1299"), "2 matches");  // number, row number
  EXPECT_EQ(gridwell_widget_find_step(widget_, false), "2 of 2 matches");
  EXPECT_EQ(gridwell_widget_find_step(widget_, false), "1 of 2 matches");
  EXPECT_EQ(gridwell_widget_find_step(widget_, true), "2 of 2 matches");
  // Ctrl+A turns every waiting row into table rows, so that the selection takes them in.
  gridwell_widget_send_key(widget_, GDK_KEY_a, GDK_CONTROL_MASK);
  EXPECT_TRUE(
      RunUntil([&] { return Js("String(!document.querySelector('div.gw-later'))") == "true"; }, 5));
  EXPECT_EQ(Js("document.execCommand('selectAll'); "
               "String(window.getSelection().toString().indexOf('bottom line') >= 0)"),
            "true");
  const std::string pdf = shared->dir + "/fast.pdf";
  ASSERT_TRUE(gridwell_widget_print_to_pdf(widget_, pdf));
  const std::string text = CommandOutput("pdftotext '" + pdf + "' -");
  // The first and the last row (cut at the column's edge, as a sheet shows them).
  EXPECT_NE(text.find("Second"), std::string::npos) << text.substr(0, 300);
  EXPECT_NE(text.find("bottom"), std::string::npos);
}

TEST_F(WidgetTest, CtrlHomeAndCtrlEndGoToTheTopAndTheEndOfTheSheet) {
  ASSERT_TRUE(Control().OpenXL(
      {.strPath = shared->book, .varSheet = int16_t{2}, .blnOpenSynchronously = kVbTrue}));
  auto scrolled = [&] { return std::atoi(Js("String(window.scrollY)").c_str()); };
  ASSERT_EQ(scrolled(), 0);
  gridwell_widget_send_key(widget_, GDK_KEY_End, GDK_CONTROL_MASK);
  EXPECT_TRUE(RunUntil([&] { return scrolled() > 1000; }, 5)) << scrolled();
  gridwell_widget_send_key(widget_, GDK_KEY_Home, GDK_CONTROL_MASK);
  EXPECT_TRUE(RunUntil([&] { return scrolled() == 0; }, 5)) << scrolled();
}

TEST_F(WidgetTest, DestructionRemovesTheTemporaryFolder) {
  ASSERT_TRUE(Control().OpenXL({.strPath = shared->book, .blnOpenSynchronously = kVbTrue}));
  const std::string folder = Control().TempPath();
  ASSERT_TRUE(fs::exists(folder + "book_1.htm"));
  struct stat st;
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  gtk_widget_destroy(window_);
  window_ = nullptr;
  EXPECT_FALSE(fs::exists(folder));
}

// ---- Downloads from local servers ----

class DownloadTest : public WidgetTest {
 protected:
  void SetUp() override {
    if (shared->httpPort == 0) GTEST_SKIP() << "test servers did not start";
    WidgetTest::SetUp();
    target_ = base_ + "../download.bin";
  }
  std::string target_;
};

TEST_F(DownloadTest, SizedResponseReportsProgressAndWritesTheFile) {
  std::string file = target_;
  ASSERT_TRUE(Download(Http("/sized/blob.bin"), file));
  const auto size = static_cast<int32_t>(fs::file_size(shared->blob));
  ASSERT_EQ(events_.size(), 2u);
  EXPECT_EQ(events_[0], "Started " + target_);
  EXPECT_EQ(events_[1], "Complete " + std::to_string(size) + " " + target_);
  ASSERT_FALSE(progress_.empty());
  int32_t last = 0;
  for (auto [cur, max] : progress_) {
    EXPECT_EQ(max, size);
    EXPECT_GE(cur, last);
    last = cur;
  }
  EXPECT_EQ(ReadFile(target_), ReadFile(shared->blob));
}

TEST_F(DownloadTest, ChunkedResponseHasNoProgress) {
  std::string file = target_;
  ASSERT_TRUE(Download(Http("/chunked/blob.bin"), file));
  EXPECT_TRUE(progress_.empty());
  EXPECT_EQ(events_.back(),
            "Complete " + std::to_string(fs::file_size(shared->blob)) + " " + target_);
  EXPECT_EQ(ReadFile(target_), ReadFile(shared->blob));
}

TEST_F(DownloadTest, SlowResponseArrivesWhole) {
  std::string file = target_;
  ASSERT_TRUE(Download(Http("/slow/blob.bin"), file));
  EXPECT_GE(progress_.size(), 2u);
  EXPECT_EQ(ReadFile(target_), ReadFile(shared->blob));
}

TEST_F(DownloadTest, ErrorStatusIsAFailedDownload) {
  std::ofstream(target_) << "earlier";
  for (const std::string& url : {Http("/missing.bin"), Ftp("/missing.bin")}) {
    if (url.find(":0/") != std::string::npos) continue;  // no FTP server
    events_.clear();
    std::string file = target_;
    ASSERT_TRUE(Download(url, file)) << url;
    EXPECT_EQ(events_, (std::vector<std::string>{"Started " + target_, "Error " + target_,
                                                 "Complete 0 " + target_}))
        << url;
    EXPECT_EQ(ReadFile(target_), "earlier") << url;
  }
}

TEST_F(DownloadTest, MalformedAddressIsRefused) {
  std::string url = "http://", file = target_;
  EXPECT_FALSE(Control().BeginDownload(url, file));
  std::string other = "file:///etc/passwd";
  EXPECT_FALSE(Control().BeginDownload(other, file));
}

TEST_F(DownloadTest, HostClosingTheWindowDuringAWaitEndsTheOpen) {
  Control().DownloadProgress = [this](int32_t&, int32_t&, std::string&) {
    if (window_) gtk_widget_destroy(window_);
    window_ = nullptr;
  };
  std::string folder = Control().TempPath();
  EXPECT_FALSE(Control().OpenXL({.strPath = Http("/slow/book.xlsx"), .blnOpenSynchronously = -1}));
  Settle(0.3);  // the control is released once the wait has unwound
  EXPECT_FALSE(fs::exists(folder));
}

TEST_F(DownloadTest, FtpDownloadWritesTheFile) {
  if (shared->ftpPort == 0) GTEST_SKIP() << "no FTP server (python3-pyftpdlib)";
  std::string file = target_;
  ASSERT_TRUE(Download(Ftp("/blob.bin"), file));
  EXPECT_EQ(events_.back(),
            "Complete " + std::to_string(fs::file_size(shared->blob)) + " " + target_);
  EXPECT_EQ(ReadFile(target_), ReadFile(shared->blob));
}

TEST_F(DownloadTest, OpensWorkbooksFromHttpAndFtpAddresses) {
  std::vector<std::string> urls = {Http("/sized/book.xlsx")};
  if (shared->ftpPort) urls.push_back(Ftp("/book.xlsx"));
  for (const auto& url : urls) {
    events_.clear();
    ASSERT_TRUE(Control().OpenXL(
        {.strPath = url, .strTitle = "Gridwell page", .blnOpenSynchronously = kVbTrue}))
        << url;
    const std::string local = Control().TempWorkbook();
    EXPECT_EQ(local.substr(0, Control().TempPath().size()), Control().TempPath());
    EXPECT_EQ(fs::path(local).extension(), ".xlsx");
    EXPECT_EQ(Control().ExcelFile(), local);
    ASSERT_GE(events_.size(), 4u);
    EXPECT_EQ(events_[0], "Started " + local);
    EXPECT_EQ(events_[events_.size() - 3],
              "Complete " + std::to_string(fs::file_size(shared->book)) + " " + local);
    EXPECT_EQ(events_[events_.size() - 2], "OpenStart");
    EXPECT_EQ(events_.back(), "OpenComplete");
    ExpectBookShown();
  }
}

}  // namespace

namespace {

// ---- Downloads that never end ----

TEST_F(WidgetTest, DownloadsStopAtTheirLimits) {
  StreamServer endless(StreamServer::Pace::Endless, int64_t{64} << 20, 30);
  StreamServer slow(StreamServer::Pace::Slow, 600, 30);  // a byte every 50 ms
  ASSERT_TRUE(endless.Ready() && slow.Ready());
  struct Case {
    const char* what;
    StreamServer& server;
    gridwell::DownloadLimits limits;
    const char* reason;
  } cases[] = {
      {"endless stream",
       endless,
       {.maxBytes = 1 << 20, .maxSeconds = 60},
       "larger than the limit of 1048576 bytes"},
      {"slow stream",
       slow,
       {.maxBytes = 1 << 20, .maxSeconds = 1},
       "took longer than the limit of 1 s"},
  };
  const std::string target = base_ + "../limited.bin";
  for (const auto& c : cases) {
    events_.clear();
    Control().SetDownloadLimits(c.limits);
    std::string file = target;
    ASSERT_TRUE(Download(c.server.Url("book.xlsx"), file)) << c.what;
    EXPECT_EQ(events_, (std::vector<std::string>{"Started " + target, "Error " + target,
                                                 "Complete 0 " + target}))
        << c.what;
    EXPECT_FALSE(fs::exists(target)) << c.what;
    EXPECT_EQ(Control().DownloadErrorText(), c.reason) << c.what;
    EXPECT_TRUE(RunUntil([&] { return c.server.ClientsGone() == 1; }, 5)) << c.what;
  }
}

TEST_F(WidgetTest, OpenWhoseDownloadWaitEndsCancelsTheTransfer) {
  // A body of 40 bytes, one every 50 ms: it would end after 2 s, long after the wait.
  StreamServer slow(StreamServer::Pace::Slow, 40, 30);
  ASSERT_TRUE(slow.Ready());
  Control().SetWaitLimits({.downloadSeconds = 0.5, .pageSeconds = 30, .destroyPauseSeconds = 0});
  EXPECT_FALSE(Control().OpenXL({.strPath = slow.Url("book.xlsx")}));
  ASSERT_EQ(events_.size(), 1u);
  const std::string local = Control().TempWorkbook();
  EXPECT_EQ(events_[0], "Started " + local);
  // The transfer stops at once: the server sees its client go before the body ends.
  EXPECT_TRUE(RunUntil([&] { return slow.ClientsGone() == 1; }, 5));
  // And nothing of it comes later: no events, no file.
  EXPECT_FALSE(RunUntil([&] { return events_.size() > 1; }, 3)) << events_.back();
  EXPECT_FALSE(fs::exists(local));
  EXPECT_TRUE(fs::is_empty(Control().TempPath()));
}

}  // namespace
