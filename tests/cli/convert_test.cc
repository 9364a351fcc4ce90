// `gridwell convert`: options, default output, standard output, downloads and exit codes.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/commands.h"
#include "tests/cli/shell_run.h"
#include "tests/support/files.h"
#include "tests/tools/stream_server.h"

namespace gridwell::cli {
namespace {

namespace fs = std::filesystem;

const std::string kBook = std::string(GRIDWELL_SOURCE_DIR) + "/tests/data/xlsx/sample.xlsx";

// Runs the CLI in `dir`; stderr is dropped.
ShellRun Convert(const fs::path& dir, const std::string& args) {
  return RunShell("cd '" + dir.string() + "' && " + std::string(GRIDWELL_CLI) + " convert " + args +
                  " 2>/dev/null");
}

using test::ReadFile;

class ConvertCli : public test::TempFolderTest {
 protected:
  void SetUp() override {
    test::TempFolderTest::SetUp();
    if (HasFatalFailure()) return;
    // Every test needs a workbook the reader can open.
    const ShellRun probe = Convert(dir_, "'" + kBook + "' -o - >/dev/null");
    ASSERT_EQ(probe.code, kOk) << "the reader cannot open " << kBook;
  }
};

TEST_F(ConvertCli, DefaultOutputIsTheBookNameInTheCurrentFolder) {
  const ShellRun r = Convert(dir_, "'" + kBook + "'");
  EXPECT_EQ(r.code, kOk);
  EXPECT_EQ(r.out, "") << "nothing on stdout";
  const std::string page = ReadFile(fs::path(dir_) / "sample.htm");
  EXPECT_NE(page.find("<STYLE ID='XL_Styles'>"), std::string::npos);
}

TEST_F(ConvertCli, OptionsReachThePage) {
  const ShellRun r = Convert(dir_, "'" + kBook +
                                       "' -o - --plain --sheet 1 --range a1:b2 --heading 'Big H'"
                                       " --title T --background-color navy --table-image t.png"
                                       " --col-letters-bottom --row-numbers-right");
  ASSERT_EQ(r.code, kOk);
  const std::string& page = r.out;
  EXPECT_EQ(page.find("XL_Styles"), std::string::npos) << "plain page";
  EXPECT_NE(page.find("<CENTER><STRONG>Big H</STRONG></CENTER>\r\n<TITLE>T</TITLE>"),
            std::string::npos);
  EXPECT_NE(page.find("<BODY BGCOLOR='navy'>"), std::string::npos);
  EXPECT_NE(page.find("BACKGROUND='t.png'"), std::string::npos);
  // Two columns, letters above and below, row numbers at both ends of both rows.
  size_t letterRows = 0;
  for (size_t p = page.find("<TD ALIGN='CENTER'>B</TD></TR>"); p != std::string::npos;
       p = page.find("<TD ALIGN='CENTER'>B</TD></TR>", p + 1)) {
    ++letterRows;
  }
  EXPECT_EQ(letterRows, 2u);
  EXPECT_NE(page.find("<TD ALIGN='CENTER' HEIGHT='20'>2</TD></TR>"), std::string::npos);
}

// --compact-styles: the same cells with the same number of class attributes, fewer rules.
TEST_F(ConvertCli, CompactStyles) {
  const auto count = [](const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
    return n;
  };
  const ShellRun styled = Convert(dir_, "'" + kBook + "' -o -");
  const ShellRun compact = Convert(dir_, "'" + kBook + "' -o - --compact-styles");
  ASSERT_EQ(styled.code, kOk);
  ASSERT_EQ(compact.code, kOk);
  EXPECT_EQ(count(compact.out, " CLASS=xl"), count(styled.out, " CLASS=xl"));
  EXPECT_EQ(count(styled.out, "\r\n.xl"), count(styled.out, " CLASS=xl"));
  EXPECT_LT(count(compact.out, "\r\n.xl"), count(styled.out, "\r\n.xl"));
  EXPECT_GE(count(compact.out, "\r\n.xl"), 1u);
}

// --sheet-look on each page kind: the table drawn as a sheet, the default pages without it.
TEST_F(ConvertCli, SheetLook) {
  for (const char* kind : {"--plain", "", "--compact-styles"}) {
    const ShellRun look = Convert(dir_, "'" + kBook + "' -o - --sheet-look " + kind);
    ASSERT_EQ(look.code, kOk) << kind;
    EXPECT_NE(look.out.find("TABLE {border-collapse:collapse;"), std::string::npos) << kind;
    const ShellRun plain = Convert(dir_, "'" + kBook + "' -o - " + kind);
    EXPECT_EQ(plain.out.find("border-collapse"), std::string::npos) << kind;
  }
}

TEST_F(ConvertCli, ExitCodes) {
  std::ofstream(fs::path(dir_) / "junk.xlsx") << "not a workbook";
  const struct {
    std::string args;
    int code;
  } cases[] = {
      {"", kUsage},
      {"'" + kBook + "' --no-such-option", kUsage},
      {"'" + kBook + "' --range A1:B2 --start-row 2", kUsage},
      {"'" + kBook + "' --background-color red --background-image x.png", kUsage},
      {"'" + kBook + "' --plain --compact-styles", kUsage},
      {"'" + kBook + "' --start-col 0", kUsage},
      {"'" + kBook + "' -o", kUsage},
      {"missing.xlsx", kUnreadable},
      {"junk.xlsx", kUnreadable},
      {"'" + kBook + "' --sheet 9", kNoSheet},
      {"'" + kBook + "' --sheet 'no such sheet'", kNoSheet},
      {"'" + kBook + "' -o /nonexistent-folder/p.htm", kCannotWrite},
      {"http://127.0.0.1:1/book.xlsx", kDownloadFailed},
      {"--help", kOk},
  };
  for (const auto& c : cases) EXPECT_EQ(Convert(dir_, c.args).code, c.code) << c.args;
}

TEST_F(ConvertCli, WrongPassword) {
  const std::string book =
      std::string(GRIDWELL_SOURCE_DIR) + "/tests/data/encrypted/values_rc4cryptoapi.xls";
  EXPECT_EQ(Convert(dir_, "'" + book + "' -o p.htm --password wrong").code, kPassword);
  EXPECT_EQ(Convert(dir_, "'" + book + "' -o p.htm").code, kPassword);
  EXPECT_FALSE(fs::exists(fs::path(dir_) / "p.htm"));
  EXPECT_EQ(Convert(dir_, "'" + book + "' -o p.htm --password quorin").code, kOk);
  EXPECT_TRUE(fs::exists(fs::path(dir_) / "p.htm"));
}

// A local HTTP server over a folder, for the download tests.
class HttpServer {
 public:
  explicit HttpServer(const std::string& root) {
    // Find a free port, then hand it to Python's server.
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      close(s);
      return;
    }
    port_ = ntohs(a.sin_port);
    close(s);
    pid_ = fork();
    if (pid_ == 0) {
      const std::string port = std::to_string(port_);
      freopen("/dev/null", "w", stderr);
      freopen("/dev/null", "w", stdout);
      execlp("python3", "python3", "-m", "http.server", "--bind", "127.0.0.1", "--directory",
             root.c_str(), port.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    // Wait until it accepts connections (it needs a moment to start).
    for (int i = 0; i < 200; ++i) {
      const int c = socket(AF_INET, SOCK_STREAM, 0);
      const bool up = connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
      close(c);
      if (up) {
        ready_ = true;
        return;
      }
      usleep(50000);
    }
  }
  ~HttpServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool Ready() const { return ready_; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
  }

 private:
  int port_ = 0;
  pid_t pid_ = -1;
  bool ready_ = false;
};

TEST_F(ConvertCli, DownloadsAnAddress) {
  const fs::path served = fs::path(dir_) / "served";
  fs::create_directory(served);
  fs::copy_file(kBook, served / "remote book.xlsx");
  const fs::path work = fs::path(dir_) / "work";
  fs::create_directory(work);
  HttpServer server(served.string());
  if (!server.Ready()) GTEST_SKIP() << "no local HTTP server";
  const ShellRun ok = Convert(work.string(), "'" + server.Url("remote%20book.xlsx?x=1") + "'");
  EXPECT_EQ(ok.code, kOk);
  EXPECT_TRUE(fs::exists(work / "remote book.htm"));
  EXPECT_EQ(Convert(work.string(), server.Url("missing.xlsx")).code, kDownloadFailed);
}

TEST(ConvertCliDownload, StopsAtItsLimitsWithAClearError) {
  using gridwell::testing::StreamServer;
  StreamServer endless(StreamServer::Pace::Endless, int64_t{64} << 20, 30);
  StreamServer slow(StreamServer::Pace::Slow, 600, 30);  // a byte every 50 ms
  ASSERT_TRUE(endless.Ready() && slow.Ready());
  const test::TempFolder folder;
  ASSERT_FALSE(folder.Dir().empty());
  const std::string dir = folder.Dir().string();
  const struct {
    std::string args;
    int code;
    std::string error;  // the one line on stderr
  } cases[] = {
      {endless.Url("a.xlsx") + " --max-download-bytes 100000", kDownloadFailed,
       "download of " + endless.Url("a.xlsx") +
           " failed: larger than the limit of 100000 bytes (raise it with --max-download-bytes)"},
      {slow.Url("b.xlsx") + " --download-timeout 1", kDownloadFailed,
       "download of " + slow.Url("b.xlsx") +
           " failed: took longer than the limit of 1 s (raise it with --download-timeout)"},
      {endless.Url("a.xlsx") + " --max-download-bytes 0", kUsage,
       "--max-download-bytes needs a number of bytes above 0 (see --help)"},
      {slow.Url("b.xlsx") + " --download-timeout soon", kUsage,
       "--download-timeout needs a number of seconds above 0 (see --help)"},
  };
  for (const auto& c : cases) {
    const ShellRun r = RunShell("cd '" + dir + "' && " + std::string(GRIDWELL_CLI) + " convert " +
                                c.args + " -o page.htm 2>&1");
    EXPECT_EQ(r.code, c.code) << c.args;
    EXPECT_EQ(r.out, "gridwell convert: " + c.error + "\n") << c.args;
    EXPECT_FALSE(fs::exists(fs::path(dir) / "page.htm")) << c.args;
  }
  EXPECT_EQ(endless.ClientsGone(), 1);
  EXPECT_EQ(slow.ClientsGone(), 1);
}

}  // namespace
}  // namespace gridwell::cli
