// The CLI against hostile and unlucky use: memory running out, ranges it must refuse,
// control characters in workbook texts, an output that is the input, and signals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "tests/reader/xlsx/package_builder.h"
#include "tests/support/corpus.h"
#include "tests/support/files.h"

namespace gridwell::cli {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int code = -1;  // exit code, or 128 + signal
  std::string out, err;
};

using test::ReadFile;

class Hardening : public test::TempFolderTest {
 protected:
  void SetUp() override {
    test::TempFolderTest::SetUp();
    if (HasFatalFailure()) return;
    fs::create_directory(dir_ / "tmp");
  }

  void WriteBook(const std::string& name, xlsx::testing::Parts parts) const {
    test::WriteFile(Path(name), xlsx::testing::Zip(parts));
  }

  // Starts the CLI with `args`, its output and errors going to files and TMPDIR pointing
  // into the test's folder; `addressSpace` (bytes) limits its memory when not 0.
  pid_t Start(const std::vector<std::string>& args, rlim_t addressSpace = 0) const {
    const std::string out = Path("stdout"), err = Path("stderr"), tmp = Path("tmp");
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(o, 1);
    ::dup2(e, 2);
    ::setenv("TMPDIR", tmp.c_str(), 1);
    if (addressSpace != 0) {
      const rlimit lim{addressSpace, addressSpace};
      ::setrlimit(RLIMIT_AS, &lim);
    }
    std::vector<char*> argv{const_cast<char*>(GRIDWELL_CLI)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(GRIDWELL_CLI, argv.data());
    ::_exit(127);
  }
  Outcome Wait(pid_t pid) const {
    int status = 0;
    ::waitpid(pid, &status, 0);
    Outcome r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadFile(Path("stdout"));
    r.err = ReadFile(Path("stderr"));
    return r;
  }
  Outcome Run(const std::vector<std::string>& args, rlim_t addressSpace = 0) const {
    return Wait(Start(args, addressSpace));
  }
};

// 12 million stored cells from a workbook of a few megabytes: more than the process may
// hold under the limit. Every command ends with one line and exit code 3, no abort.
TEST_F(Hardening, OutOfMemoryEndsWithOneLine) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
  std::string rows;
  const std::string row = [] {
    std::string r = "<row>";
    for (int c = 0; c < 16384; ++c) r += "<c><v>1</v></c>";
    return r + "</row>";
  }();
  rows.reserve(row.size() * 740);
  for (int r = 0; r < 740; ++r) rows += row;
  WriteBook("many.xlsx", xlsx::testing::MinimalParts(xlsx::testing::Sheet(rows)));
  rows.clear();
  constexpr rlim_t kLimit = rlim_t{384} << 20;
  const std::vector<std::vector<std::string>> commands = {
      {"sheets", Path("many.xlsx")},
      {"cells", Path("many.xlsx")},
      {"convert", Path("many.xlsx"), "-o", Path("many.htm"), "--plain"},
      {"convert", Path("many.xlsx"), "-o", Path("many.htm")},
  };
  for (const auto& args : commands) {
    const Outcome r = Run(args, kLimit);
    EXPECT_EQ(r.code, kUnreadable) << args[0] << ": " << r.err;
    EXPECT_NE(r.err.find("out of memory"), std::string::npos) << args[0] << ": " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args[0] << ": " << r.err;
    EXPECT_FALSE(fs::exists(Path("many.htm")));
  }
}

// convert --range refuses what cells --range refuses, as a usage error.
TEST_F(Hardening, ConvertRangeCheckedLikeCells) {
  WriteBook("book.xlsx",
            xlsx::testing::MinimalParts(xlsx::testing::Sheet(
                "<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\"><v>2</v></c></row>")));
  for (const char* range :
       {"ZZZZZZZ99999999999:A1", "A0:B0", "A1048577", "XFE1", "A1:", "nonsense"}) {
    EXPECT_EQ(Run({"cells", Path("book.xlsx"), "--range", range}).code, kUsage) << range;
    const Outcome r = Run({"convert", Path("book.xlsx"), "-o", Path("p.htm"), "--range", range});
    EXPECT_EQ(r.code, kUsage) << range;
    EXPECT_NE(r.err.find(range), std::string::npos) << r.err;
  }
  EXPECT_EQ(Run({"convert", Path("book.xlsx"), "-o", Path("p.htm"), "--range", "B2:A1"}).code,
            kUsage);
  for (const char* range : {"a1:b2", "$A$1:$B$1", "C7", "XFD1048576:XFD1048576"}) {
    EXPECT_EQ(Run({"convert", Path("book.xlsx"), "-o", Path("p.htm"), "--range", range}).code, kOk)
        << range;
  }
}

// Escape and bell in sheet names and cell texts do not reach the terminal raw.
TEST_F(Hardening, ControlCharactersAreEscaped) {
  auto parts = xlsx::testing::MinimalParts(xlsx::testing::Sheet(
      "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>_x001B_[2J_x0007_bell</t></is></c></row>"));
  xlsx::testing::SetPart(
      parts, "xl/workbook.xml",
      "<workbook xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
      "<sheets><sheet name=\"a&#27;]0;title&#7;b\" sheetId=\"1\" r:id=\"rId1\"/></sheets>"
      "</workbook>");
  WriteBook("ctl.xlsx", parts);
  const Outcome sheets = Run({"sheets", Path("ctl.xlsx")});
  EXPECT_EQ(sheets.code, kOk) << sheets.err;
  EXPECT_EQ(sheets.out, "a\\x1b]0;title\\x07b\n");
  const Outcome cells = Run({"cells", Path("ctl.xlsx")});
  EXPECT_EQ(cells.code, kOk) << cells.err;
  EXPECT_NE(cells.out.find("A1\ts\t\\x1b[2J\\x07bell\t"), std::string::npos) << cells.out;
  EXPECT_EQ(cells.out.find('\x1b'), std::string::npos);
  EXPECT_EQ(cells.out.find('\x07'), std::string::npos);
}

// A page never replaces its workbook, named directly or through a link.
TEST_F(Hardening, OutputThatIsTheInputIsRefused) {
  WriteBook("book.xlsx", xlsx::testing::MinimalParts(
                             xlsx::testing::Sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>")));
  const std::string before = ReadFile(Path("book.xlsx"));
  fs::create_symlink(Path("book.xlsx"), Path("link.htm"));
  for (const std::string& out : {Path("book.xlsx"), Path("link.htm")}) {
    for (const char* mode : {"--plain", "--verbose"}) {
      const Outcome r = Run({"convert", Path("book.xlsx"), "-o", out, mode});
      EXPECT_EQ(r.code, kUsage) << out;
      EXPECT_NE(r.err.find("would replace the workbook"), std::string::npos) << r.err;
      EXPECT_EQ(ReadFile(Path("book.xlsx")), before) << out;
    }
  }
}

// Damaged compound files make the container library complain, in messages of several
// lines: every line on stderr stays one whole message of ours.
TEST_F(Hardening, LibraryWarningsStayOneLine) {
  GRIDWELL_REQUIRE_CORPUS();
  for (const char* book : {"exceldatareader/Test_git_issue_382_oom.xls",
                           "exceldatareader/Test_git_issue_5.xls", "calamine/OOM_alloc3.xls"}) {
    const Outcome r = Run({"sheets", test::CorpusPath(book)});
    EXPECT_FALSE(r.err.empty()) << book;
    std::istringstream lines(r.err);
    for (std::string line; std::getline(lines, line);) {
      EXPECT_EQ(line.rfind("gridwell: ", 0), 0u) << book << ": " << line;
    }
  }
}

// Interrupted or terminated while its page waits to go to standard output (nobody reads
// it), the CLI leaves no scratch folder and no partial file behind.
TEST_F(Hardening, SignalsLeaveNoScratchBehind) {
  std::string rows;
  for (int r = 1; r <= 2000; ++r) {
    rows += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) +
            "\"><v>1</v></c></row>";
  }
  WriteBook("book.xlsx", xlsx::testing::MinimalParts(xlsx::testing::Sheet(rows)));
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      ::dup2(pipeFds[1], 1);
      ::close(pipeFds[0]);
      ::setenv("TMPDIR", Path("tmp").c_str(), 1);
      ::execl(GRIDWELL_CLI, GRIDWELL_CLI, "convert", Path("book.xlsx").c_str(), "-o", "-",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(pipeFds[1]);
    // The page is written to the scratch folder, then blocks on the full pipe.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool waiting = false;
    while (!waiting && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      for (const auto& e : fs::recursive_directory_iterator(Path("tmp"))) {
        if (e.path().filename() == "page.htm") waiting = true;
      }
    }
    EXPECT_TRUE(waiting) << "signal " << sig;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::kill(pid, sig);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(pipeFds[0]);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "signal " << sig;
    EXPECT_TRUE(fs::is_empty(Path("tmp"))) << "signal " << sig;
  }
}

}  // namespace
}  // namespace gridwell::cli
