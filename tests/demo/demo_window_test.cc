// The demo window end to end, under a virtual display: the real control, converter and browser,
// driven through the toolkit (button clicks, the sheet box) with the message boxes and file
// dialogs answered by the test.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "control/gtk/gridwell_widget.h"
#include "demo/form1.h"
#include "demo/layout.h"
#include "demo/module1.h"
#include "tests/support/files.h"
#include "tests/support/widget_hooks.h"

namespace demo {
namespace {

namespace fs = std::filesystem;
using gridwell::test::ReadFile;

const std::vector<std::string> kSampleSheets = {"Catalogue", "Sales 2025", "Publishers",
                                                "Characters", "Convention"};

struct Box {
  std::string prompt;
  int style;
  std::string title;
};

class FakePrompts : public Prompts {
 public:
  MsgBoxResult MsgBox(const std::string& prompt, int style, const std::string& title) override {
    boxes.push_back({prompt, style, title});
    if (answers.empty()) return (style & 0xF) == kYesNo ? MsgBoxResult::No : MsgBoxResult::Ok;
    const MsgBoxResult a = answers.front();
    answers.pop_front();
    return a;
  }
  std::string InputBox(const std::string& prompt, const std::string& title,
                       const std::string& defaultResponse) override {
    inputs.push_back({prompt, 0, title});
    inputDefaults.push_back(defaultResponse);
    return inputAnswer;
  }
  std::vector<Box> boxes;
  std::deque<MsgBoxResult> answers;
  std::vector<Box> inputs;
  std::vector<std::string> inputDefaults;
  std::string inputAnswer;
};

class FakeDialogs : public FileDialogBackend {
 public:
  std::string Run(const FileDialogRequest& request) override {
    requests.push_back(request);
    if (answers.empty()) return "";
    std::string a = answers.front();
    answers.pop_front();
    return a;
  }
  std::vector<FileDialogRequest> requests;
  std::deque<std::string> answers;
};

// Serves one file over HTTP on 127.0.0.1 from its own thread, to every request.
class FileServer {
 public:
  explicit FileServer(std::string body) : body_(std::move(body)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(listener_, 4);
    socklen_t len = sizeof addr;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~FileServer() {
    stop_ = true;
    thread_.join();
    close(listener_);
  }
  int port() const { return port_; }

 private:
  void Serve() {
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      const int client = accept(listener_, nullptr, nullptr);
      if (client < 0) continue;
      std::string request;
      char buf[1024];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = read(client, buf, sizeof buf);
        if (n <= 0) break;
        request.append(buf, static_cast<size_t>(n));
      }
      const std::string reply =
          "HTTP/1.1 200 OK\r\nContent-Type: application/vnd.ms-excel\r\n"
          "Content-Length: " +
          std::to_string(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_;
      for (size_t sent = 0; sent < reply.size();) {
        const ssize_t n = write(client, reply.data() + sent, reply.size() - sent);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
      close(client);
    }
  }
  std::string body_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Runs the main loop until `done` holds or a minute has passed (a limit for a hung browser, not
// a measurement).
template <typename F>
bool PumpUntil(F done) {
  const gint64 deadline = g_get_monotonic_time() + 60 * G_USEC_PER_SEC;
  while (!done()) {
    if (g_get_monotonic_time() > deadline) return false;
    g_main_context_iteration(nullptr, FALSE);
    if (!g_main_context_pending(nullptr)) g_usleep(2000);
  }
  return true;
}

class DemoWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/gridwell-demo-window-XXXXXX";
    ASSERT_NE(g_mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    app_ = root_ / "app";
    fs::create_directories(app_);
    fs::create_directories(root_ / "temp");
    SetFileDialogBackend(&dialogs_);
  }
  void TearDown() override {
    form_.reset();
    for (int i = 0; i < 50 && g_main_context_pending(nullptr); ++i) {
      g_main_context_iteration(nullptr, FALSE);
    }
    SetFileDialogBackend(nullptr);
    fs::remove_all(root_);
  }

  void CopySamples() {
    for (const char* name : {"comics.xls", "protected.xls", "image.jpg"}) {
      fs::copy_file(fs::path(GRIDWELL_SOURCE_DIR) / "samples" / name, app_ / name);
    }
  }

  // Builds the window and runs its start; waits for the first page when one is expected.
  void Start(bool expectPage = true) {
    Form1Options options;
    options.appFolder = app_.string();
    options.prompts = &prompts_;
    options.store = &store_;
    options.tempBase = (root_ / "temp").string() + "/";
    form_ = std::make_unique<Form1>(options);
    form_->Control().OpenComplete = [this](std::string&, std::string&) { ++loads_; };
    form_->Control().OpenError = [this](std::string&, std::string&) { ++errors_; };
    const int before = loads_;
    form_->Show();
    if (expectPage) {
      ASSERT_TRUE(WaitForLoad(before)) << "the start page never loaded";
    }
  }

  bool WaitForLoad(int before) {
    return PumpUntil([&] { return loads_ > before || errors_ > 0; }) && errors_ == 0;
  }

  // Clicks and waits for the page that the click opens.
  bool ClickAndWait(GtkWidget* button) {
    const int before = loads_;
    gtk_button_clicked(GTK_BUTTON(button));
    return WaitForLoad(before);
  }

  std::string Js(const std::string& script) {
    bool ok = false;
    std::string result = gridwell_widget_run_javascript(form_->Gridwell1, script, &ok);
    EXPECT_TRUE(ok) << script;
    return result;
  }
  std::string PageText() { return Js("document.body ? document.body.innerText : ''"); }
  std::string PageHtml() { return Js("document.documentElement.outerHTML"); }

  std::string Caption() { return gtk_window_get_title(form_->Window()); }
  std::string Label() { return gtk_label_get_text(GTK_LABEL(form_->Label1)); }
  std::vector<std::string> SheetBox() {
    std::vector<std::string> items;
    GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(form_->Combo1));
    GtkTreeIter iter;
    for (gboolean ok = gtk_tree_model_get_iter_first(model, &iter); ok;
         ok = gtk_tree_model_iter_next(model, &iter)) {
      gchar* text = nullptr;
      gtk_tree_model_get(model, &iter, 0, &text, -1);
      items.push_back(text != nullptr ? text : "");
      g_free(text);
    }
    return items;
  }
  std::string PageName() { return fs::path(form_->Control().HTMLfile()).filename().string(); }

  fs::path root_, app_;
  FakePrompts prompts_;
  FakeDialogs dialogs_;
  gridwell::MemoryPropertyStore store_;
  std::unique_ptr<Form1> form_;
  int loads_ = 0;
  int errors_ = 0;
};

TEST_F(DemoWindow, StartShowsTheSampleFirstSheetAndListsItsSheets) {
  CopySamples();
  Start();
  EXPECT_EQ(Caption(), "Tessaly Demo - " + (app_ / "comics.xls").string());
  EXPECT_EQ(PageName(), "comics_1.htm");
  const std::string text = PageText();
  EXPECT_NE(text.find("Tessaly Comics Catalogue"), std::string::npos) << text.substr(0, 400);
  EXPECT_NE(text.find("The Brass Lantern"), std::string::npos);
  EXPECT_EQ(SheetBox(), kSampleSheets);
  EXPECT_EQ(Label(), "5 sheets");
  EXPECT_EQ(form_->CurrentWorkbook, (app_ / "comics.xls").string());
  EXPECT_EQ(form_->OpenFolder, app_.string());
  EXPECT_TRUE(prompts_.boxes.empty());
  for (GtkWidget* picture : {form_->Command1, form_->Command2, form_->Command8, form_->Command10,
                             form_->Command11, form_->Command12, form_->Command13}) {
    char* tip = gtk_widget_get_tooltip_text(picture);
    EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(picture)), tip);
    g_free(tip);
  }

  // Pictures for whoever looks at the test run: the page, and the whole window.
  const std::string page = std::string(GRIDWELL_BINARY_DIR) + "/tests/demo/demo-start-page.png";
  EXPECT_TRUE(gridwell_widget_snapshot_png(form_->Gridwell1, page));
  EXPECT_GT(fs::file_size(page), 1000u);
  EXPECT_TRUE(form_->SavePicture(std::string(GRIDWELL_BINARY_DIR) + "/tests/demo/demo-window.png"));
}

TEST_F(DemoWindow, SheetPickReopensTheWorkbookOnThatSheet) {
  CopySamples();
  Start();
  const int before = loads_;
  gtk_combo_box_set_active(GTK_COMBO_BOX(form_->Combo1), 1);
  ASSERT_TRUE(WaitForLoad(before));
  EXPECT_EQ(Label(), "2 of 5");
  EXPECT_EQ(PageName(), "comics_2.htm");
  EXPECT_NE(PageText().find("Running total"), std::string::npos);
  // The pick asks for the table picture beside the program.
  EXPECT_NE(PageHtml().find("image.jpg"), std::string::npos);
  // The list itself is not refilled by a pick.
  EXPECT_EQ(SheetBox(), kSampleSheets);

  gtk_combo_box_set_active(GTK_COMBO_BOX(form_->Combo1), 4);
  ASSERT_TRUE(WaitForLoad(loads_));
  EXPECT_EQ(Label(), "5 of 5");
  EXPECT_NE(PageText().find("Quorin Comic Convention"), std::string::npos);

  // Home shows the current page again.
  ASSERT_TRUE(ClickAndWait(form_->Command2));
  EXPECT_EQ(PageName(), "comics_5.htm");
}

TEST_F(DemoWindow, ProtectedSampleOpensWithItsPassword) {
  CopySamples();
  Start();
  ASSERT_TRUE(ClickAndWait(form_->Command6));
  const std::string path = (app_ / "protected.xls").string();
  EXPECT_EQ(Caption(), "Tessaly Demo - " + path);
  EXPECT_EQ(form_->CurrentWorkbook, path);
  EXPECT_EQ(PageName(), "protected_1.htm");
  EXPECT_NE(PageText().find("Tessaly Comics Catalogue"), std::string::npos);
  EXPECT_EQ(SheetBox(), kSampleSheets);
  EXPECT_EQ(Label(), "5 sheets");
  EXPECT_TRUE(prompts_.boxes.empty());

  // A pick now reopens the protected workbook, with the password.
  gtk_combo_box_set_active(GTK_COMBO_BOX(form_->Combo1), 2);
  ASSERT_TRUE(WaitForLoad(loads_));
  EXPECT_EQ(PageName(), "protected_3.htm");
  EXPECT_NE(PageText().find("Orders by e-mail"), std::string::npos);
  EXPECT_EQ(Label(), "3 of 5");
}

TEST_F(DemoWindow, OpenRangeShowsSheetTwoWithOrWithoutThePicture) {
  CopySamples();
  for (const bool useImage : {true, false}) {
    SCOPED_TRACE(useImage ? "image" : "no image");
    prompts_ = FakePrompts();
    prompts_.answers = {useImage ? MsgBoxResult::Yes : MsgBoxResult::No};
    Start();
    ASSERT_TRUE(ClickAndWait(form_->Command14));
    ASSERT_EQ(prompts_.boxes.size(), 1u);
    EXPECT_EQ(prompts_.boxes[0].prompt, "Use an image file?");
    EXPECT_EQ(prompts_.boxes[0].title, "Image File");
    EXPECT_EQ(prompts_.boxes[0].style, kYesNo | kQuestion);
    EXPECT_EQ(PageName(), "comics_2.htm");
    EXPECT_NE(PageText().find("Running total"), std::string::npos);
    EXPECT_EQ(PageHtml().find("image.jpg") != std::string::npos, useImage);
    EXPECT_EQ(Caption(), "Tessaly Demo - " + form_->Control().ExcelFile());
    EXPECT_EQ(form_->CurrentWorkbook, (app_ / "comics.xls").string());
    EXPECT_EQ(SheetBox(), kSampleSheets);
    form_.reset();
  }
}

TEST_F(DemoWindow, SavingThePageWritesCopyHtmBesideTheProgram) {
  CopySamples();
  Start();
  gtk_button_clicked(GTK_BUTTON(form_->Command10));
  const fs::path copy = app_ / "copy.htm";
  ASSERT_TRUE(fs::exists(copy));
  EXPECT_EQ(ReadFile(copy), ReadFile(form_->Control().HTMLfile()));
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].prompt, "Saved to " + copy.string());
  EXPECT_EQ(prompts_.boxes[0].style, kOkOnly);
  EXPECT_EQ(prompts_.boxes[0].title, "Tessaly Demo");
}

TEST_F(DemoWindow, MissingSampleGivesAnEmptyStartAndNothingToSave) {
  Start(/*expectPage=*/false);
  EXPECT_EQ(Label(), "0 sheets");
  EXPECT_TRUE(SheetBox().empty());
  EXPECT_EQ(form_->CurrentWorkbook, (app_ / "comics.xls").string());
  gtk_button_clicked(GTK_BUTTON(form_->Command10));
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].prompt, "Unable to save");
  EXPECT_FALSE(fs::exists(app_ / "copy.htm"));
}

TEST_F(DemoWindow, OpenFromDiskRemembersTheFolderAndSavesACopyThere) {
  CopySamples();
  const fs::path books = root_ / "My Books";
  fs::create_directories(books);
  const fs::path book = books / "Stock.xls";
  fs::copy_file(app_ / "comics.xls", book);
  Start();

  prompts_.answers = {MsgBoxResult::Yes};
  dialogs_.answers = {book.string()};
  ASSERT_TRUE(ClickAndWait(form_->Command1));
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].prompt,
            "Click the Yes button to open a file located on a disk.\r\n"
            "Click the No button to open a file located on the internet.");
  EXPECT_EQ(prompts_.boxes[0].style, kYesNo);
  EXPECT_EQ(prompts_.boxes[0].title, "Tessaly Demo");
  ASSERT_EQ(dialogs_.requests.size(), 1u);
  EXPECT_EQ(dialogs_.requests[0].title, "Select Excel File to Open");
  EXPECT_EQ(dialogs_.requests[0].initialFolder, app_.string());
  EXPECT_EQ(dialogs_.requests[0].filters,
            (std::vector<FileFilter>{{"XLS Files (*.xls)", {"*.xls"}}}));

  EXPECT_EQ(form_->OpenFolder, books.string() + "/");
  EXPECT_EQ(form_->CurrentWorkbook, book.string());
  EXPECT_EQ(Caption(), "Tessaly Demo - " + book.string());
  EXPECT_EQ(PageName(), "Stock_1.htm");
  EXPECT_NE(PageText().find("Tessaly Comics Catalogue"), std::string::npos);
  EXPECT_EQ(SheetBox(), kSampleSheets);

  // The save dialog starts in the folder of the last open and proposes copy.xls.
  const fs::path target = books / "copy.xls";
  dialogs_.answers = {target.string()};
  gtk_button_clicked(GTK_BUTTON(form_->Command8));
  ASSERT_EQ(dialogs_.requests.size(), 2u);
  EXPECT_EQ(dialogs_.requests[1].kind, FileDialogRequest::Kind::Save);
  EXPECT_EQ(dialogs_.requests[1].initialFolder, books.string() + "/");
  EXPECT_EQ(dialogs_.requests[1].proposedName, "copy.xls");
  EXPECT_EQ(dialogs_.requests[1].title, "Save Excel Workbook");
  EXPECT_EQ(ReadFile(target), ReadFile(book));
  ASSERT_EQ(prompts_.boxes.size(), 2u);
  EXPECT_EQ(prompts_.boxes[1].prompt, "Workbook copied to " + target.string());

  // Cancelled dialogs end the clicks without a word.
  dialogs_.answers.clear();
  gtk_button_clicked(GTK_BUTTON(form_->Command8));
  prompts_.answers = {MsgBoxResult::Yes};
  gtk_button_clicked(GTK_BUTTON(form_->Command1));
  EXPECT_EQ(prompts_.boxes.size(), 3u);  // only the disk-or-internet question
  EXPECT_EQ(form_->OpenFolder, books.string() + "/");
  EXPECT_EQ(Caption(), "Tessaly Demo - " + book.string());
}

// A missing file makes the open fail; a file the control cannot convert makes it show no page
// of the workbook (the control still answers True): both say so, with the control's reason.
TEST_F(DemoWindow, FailedOpenSaysSoAndKeepsTheWorkbook) {
  CopySamples();
  fs::create_directories(root_ / "elsewhere");
  const fs::path damaged = root_ / "elsewhere" / "damaged.xls";
  std::ofstream(damaged) << "not a workbook";
  struct Case {
    fs::path book;
    std::string reason;
  } cases[] = {{root_ / "elsewhere" / "gone.xls", "There is no workbook at "},
               {damaged, "damaged.xls is not an .xls or .xlsx workbook."}};
  Start();
  const std::string caption = Caption();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.book.string());
    prompts_ = FakePrompts();
    prompts_.answers = {MsgBoxResult::Yes};
    dialogs_.answers = {c.book.string()};
    gtk_button_clicked(GTK_BUTTON(form_->Command1));
    ASSERT_EQ(prompts_.boxes.size(), 2u);
    EXPECT_EQ(prompts_.boxes[1].prompt.rfind("Unable to open file.\r\n", 0), 0u);
    EXPECT_NE(prompts_.boxes[1].prompt.find(c.reason), std::string::npos)
        << prompts_.boxes[1].prompt;
    EXPECT_EQ(prompts_.boxes[1].style, kExclamation);
    EXPECT_EQ(Caption(), caption);
    EXPECT_EQ(form_->CurrentWorkbook, (app_ / "comics.xls").string());
    EXPECT_EQ(SheetBox(), kSampleSheets);
    // The folder of the chosen name is remembered all the same.
    EXPECT_EQ(form_->OpenFolder, c.book.parent_path().string() + "/");
  }
}

TEST_F(DemoWindow, OpenFromInternetDownloadsAndPicksFromTheCopy) {
  CopySamples();
  FileServer server(ReadFile(app_ / "comics.xls"));
  Start();

  // An empty answer ends the click.
  prompts_.answers = {MsgBoxResult::No};
  prompts_.inputAnswer = "";
  gtk_button_clicked(GTK_BUTTON(form_->Command1));
  ASSERT_EQ(prompts_.inputs.size(), 1u);
  EXPECT_EQ(prompts_.inputs[0].prompt, "Enter URL of Excel file (HTTP or FTP)");
  EXPECT_EQ(prompts_.inputs[0].title, "Open Excel file located on the internet");
  EXPECT_EQ(prompts_.inputDefaults[0], kDefaultWorkbookAddress);
  EXPECT_EQ(prompts_.boxes.size(), 1u);

  const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/shop.xls";
  prompts_.answers = {MsgBoxResult::No};
  prompts_.inputAnswer = url;
  // The pointer is the wait cursor while the open runs (the download happens inside it), and
  // the default one afterwards.
  bool waitPointerDuringOpen = false;
  GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(form_->Window()));
  form_->Control().DownloadStarted = [&](std::string&) {
    waitPointerDuringOpen = gdk_window_get_cursor(window) != nullptr;
  };
  ASSERT_TRUE(ClickAndWait(form_->Command1));
  EXPECT_TRUE(waitPointerDuringOpen);
  EXPECT_EQ(gdk_window_get_cursor(window), nullptr);
  EXPECT_EQ(Caption(), "Tessaly Demo - " + url);
  const std::string copy = form_->Control().TempWorkbook();
  ASSERT_FALSE(copy.empty());
  EXPECT_EQ(form_->CurrentWorkbook, copy);
  EXPECT_NE(PageText().find("Tessaly Comics Catalogue"), std::string::npos);
  EXPECT_EQ(SheetBox(), kSampleSheets);

  // A pick reopens the downloaded copy, not the address.
  gtk_combo_box_set_active(GTK_COMBO_BOX(form_->Combo1), 1);
  ASSERT_TRUE(WaitForLoad(loads_));
  EXPECT_EQ(form_->Control().ExcelFile(), copy);
  EXPECT_NE(PageText().find("Running total"), std::string::npos);
}

TEST_F(DemoWindow, ResizeKeepsTheViewerMarginsAndTheButtonRowAtTheBottom) {
  CopySamples();
  Start();
  gtk_window_resize(form_->Window(), 800, 600);
  ASSERT_TRUE(PumpUntil([&] {
    return gtk_widget_get_allocated_width(form_->Panel) == 800 &&
           gtk_widget_get_allocated_height(form_->Panel) == 600;
  }));
  const int outerW = 800 * kTwipsPerPixel + kFrameWidth;
  const int outerH = 600 * kTwipsPerPixel + kFrameHeight;
  GtkAllocation viewer, exit, combo;
  gtk_widget_get_allocation(form_->Gridwell1, &viewer);
  gtk_widget_get_allocation(form_->Command5, &exit);
  gtk_widget_get_allocation(form_->Combo1, &combo);
  EXPECT_EQ(viewer.x, PixelsFromTwips(120));
  EXPECT_EQ(viewer.width, PixelsFromTwips(outerW - 500));
  EXPECT_EQ(viewer.height, PixelsFromTwips(outerH - 1400));
  EXPECT_EQ(exit.y, PixelsFromTwips(outerH - 1000));
  EXPECT_EQ(exit.x, PixelsFromTwips(9120));
  EXPECT_EQ(combo.y, PixelsFromTwips(outerH - 1000));
}

TEST_F(DemoWindow, FindButtonOpensTheFindBar) {
  CopySamples();
  Start();
  gtk_button_clicked(GTK_BUTTON(form_->Command13));
  EXPECT_TRUE(PumpUntil([&] { return gridwell_widget_find_dialog_visible(form_->Gridwell1); }));
}

TEST_F(DemoWindow, ExitClosesTheWindowAndKeepsTheControlsProperty) {
  CopySamples();
  Start();
  const fs::path temp = form_->Control().TempPath();
  ASSERT_TRUE(fs::exists(temp));
  gtk_button_clicked(GTK_BUTTON(form_->Command5));
  ASSERT_TRUE(PumpUntil([&] { return !form_->Alive(); }));
  EXPECT_EQ(store_.values.count("RegenerateHTML"), 1u);
  // Closing the window destroyed the control, which removed its temporary folder.
  EXPECT_FALSE(fs::exists(temp));
}

}  // namespace
}  // namespace demo

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "demo window tests: no display\n");
    return 1;
  }
  return RUN_ALL_TESTS();
}
