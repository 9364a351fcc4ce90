// The CLI against hostile and unlucky use: memory running out, ranges it must refuse,
// control characters in workbook texts, an output that is the input, and signals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
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
  static size_t Lines(const std::string& text) {
    return std::count(text.begin(), text.end(), '\n');
  }
};

std::string Cells(int rows, int cols) {
  std::string data;
  for (int r = 1; r <= rows; ++r) {
    data += "<row r=\"" + std::to_string(r) + "\">";
    for (int c = 0; c < cols; ++c) {
      data += "<c r=\"" + std::string(1, char('A' + c)) + std::to_string(r) + "\"><v>1</v></c>";
    }
    data += "</row>";
  }
  return data;
}

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
      "<row r=\"1\"><c r=\"A1\" "
      "t=\"inlineStr\"><is><t>_x001B_[2J_x0007_bell_x009B_</t></is></c></row>"));
  xlsx::testing::SetPart(
      parts, "xl/workbook.xml",
      "<workbook xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
      "<sheets><sheet name=\"a&#27;]0;title&#7;b&#155;c&#127;\" sheetId=\"1\" r:id=\"rId1\"/>"
      "</sheets>"
      "</workbook>");
  WriteBook("ctl.xlsx", parts);
  const Outcome sheets = Run({"sheets", Path("ctl.xlsx")});
  EXPECT_EQ(sheets.code, kOk) << sheets.err;
  EXPECT_EQ(sheets.out, "a\\x1b]0;title\\x07b\\xc2\\x9bc\\x7f\n");
  const Outcome cells = Run({"cells", Path("ctl.xlsx")});
  EXPECT_EQ(cells.code, kOk) << cells.err;
  EXPECT_NE(cells.out.find("A1\ts\t\\x1b[2J\\x07bell\\xc2\\x9b\t"), std::string::npos) << cells.out;
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

// Whatever is at the page path, convert puts a regular file in its place or refuses with
// exit code 6 and one line: it never writes through a link, waits on a FIFO or writes to a
// device.
TEST_F(Hardening, WhatIsAtThePagePath) {
  WriteBook("book.xlsx", xlsx::testing::MinimalParts(xlsx::testing::Sheet(Cells(1, 1))));
  std::ofstream(Path("other.htm")) << "keep";
  const auto fifo = [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); };
  const auto link = [this](const char* to) {
    return [this, to](const std::string& p) { fs::create_symlink(Path(to), p); };
  };
  const struct {
    const char* what;
    std::function<void(const std::string&)> plant;
    int code;
    const char* says;
  } cases[] = {
      {"nothing", [](const std::string&) {}, kOk, ""},
      {"a FIFO", fifo, kCannotWrite, "a FIFO, not a regular file"},
      {"a link to a FIFO", [&](const std::string& p) { fifo(Path("fifo")), link("fifo")(p); },
       kCannotWrite, "a link to a FIFO"},
      {"a folder", [](const std::string& p) { fs::create_directory(p); }, kCannotWrite, "a folder"},
      {"a link to a file", link("other.htm"), kOk, ""},
      {"a link to nothing", link("missing.htm"), kOk, ""},
      {"a name of 254 bytes", [](const std::string&) {}, kOk, ""},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string page = c.what == std::string("a name of 254 bytes")
                                 ? Path(std::string(250, 'p') + ".htm")
                                 : Path("page" + std::to_string(++n) + ".htm");
    c.plant(page);
    const Outcome r = Run({"convert", Path("book.xlsx"), "-o", page});
    EXPECT_EQ(r.code, c.code) << c.what << ": " << r.err;
    if (c.code == kOk) {
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(page))) << c.what;
      EXPECT_EQ(ReadFile(page).rfind("<HTML>", 0), 0u) << c.what;
    } else {
      EXPECT_EQ(Lines(r.err), 1u) << c.what << ": " << r.err;
      EXPECT_NE(r.err.find(c.says), std::string::npos) << c.what << ": " << r.err;
    }
  }
  EXPECT_EQ(ReadFile(Path("other.htm")), "keep");
  const Outcome device = Run({"convert", Path("book.xlsx"), "-o", "/dev/null"});
  EXPECT_EQ(device.code, kCannotWrite) << device.err;
  EXPECT_NE(device.err.find("a character device"), std::string::npos) << device.err;
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  for (const auto& e : fs::directory_iterator(dir_)) {
    EXPECT_NE(e.path().extension(), ".part") << e.path();
  }
}

// Run by root: a page of another user that is replaced stays that user's, with its mode;
// a link another user planted in a sticky folder is replaced, and root's file it names is
// not touched.
TEST_F(Hardening, ReplacedPagesKeepTheirOwner) {
  const passwd* nobody = ::getpwnam("nobody");
  if (::geteuid() != 0 || !nobody) GTEST_SKIP() << "needs root and the user nobody";
  WriteBook("book.xlsx", xlsx::testing::MinimalParts(xlsx::testing::Sheet(Cells(1, 1))));
  std::ofstream(Path("page.htm")) << "old";
  ASSERT_EQ(::chown(Path("page.htm").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  ASSERT_EQ(::chmod(Path("page.htm").c_str(), 0640), 0);
  fs::create_directory(Path("shared"));
  ASSERT_EQ(::chmod(Path("shared").c_str(), 01777), 0);
  std::ofstream(Path("mine")) << "root's own";
  fs::create_symlink(Path("mine"), Path("shared/page.htm"));
  ASSERT_EQ(::lchown(Path("shared/page.htm").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  for (const std::string& page : {Path("page.htm"), Path("shared/page.htm")}) {
    const Outcome r = Run({"convert", Path("book.xlsx"), "-o", page});
    EXPECT_EQ(r.code, kOk) << page << ": " << r.err;
    EXPECT_EQ(ReadFile(page).rfind("<HTML>", 0), 0u) << page;
  }
  struct stat st;
  ASSERT_EQ(::stat(Path("page.htm").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, nobody->pw_uid);
  EXPECT_EQ(st.st_gid, nobody->pw_gid);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(ReadFile(Path("mine")), "root's own");
}

// Mostly empty ranges: trailing empty rows and columns are trimmed, and what is still far
// more empty positions than cells is refused, naming the range, when its page would pass
// the page limit. A dense range is never refused for its size.
TEST_F(Hardening, HugePagesUnderTheLimit) {
  WriteBook("far.xlsx", xlsx::testing::MinimalParts(xlsx::testing::Sheet(
                            Cells(1, 1) + "<row r=\"4000\"><c r=\"XFD4000\"><v>2</v></c></row>")));
  WriteBook("sparse.xlsx", xlsx::testing::MinimalParts(xlsx::testing::Sheet(
                               Cells(1, 1) + "<row r=\"100\"><c r=\"J100\"><v>2</v></c></row>")));
  WriteBook("small.xlsx", xlsx::testing::MinimalParts(xlsx::testing::Sheet(Cells(2, 2))));
  WriteBook("dense.xlsx", xlsx::testing::MinimalParts(xlsx::testing::Sheet(Cells(40, 10))));
  const struct {
    const char* book;
    std::vector<std::string> options;
    int code;
    const char* says;  // in the one line of a refusal; the last column letter of a page
  } cases[] = {
      {"far.xlsx", {}, kCannotWrite, "A1:XFD4000"},
      {"sparse.xlsx", {"--max-page-bytes", "1000"}, kCannotWrite, "A1:J100"},
      {"sparse.xlsx", {}, kOk, "J"},
      {"small.xlsx", {"--range", "A1:XFD4000"}, kOk, "B"},
      {"small.xlsx", {"--range", "A1:J100", "--max-page-bytes", "1000"}, kOk, "B"},
      {"dense.xlsx", {"--max-page-bytes", "1000"}, kOk, "J"},
      {"dense.xlsx", {"--max-page-bytes", "0"}, kUsage, "--max-page-bytes"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"convert", Path(c.book), "-o", Path("p.htm"), "--plain"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    fs::remove(Path("p.htm"));
    const Outcome r = Run(args);
    EXPECT_EQ(r.code, c.code) << c.book << ": " << r.err;
    if (c.code != kOk) {
      EXPECT_EQ(Lines(r.err), 1u) << r.err;
      EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
      if (c.code == kCannotWrite) {
        EXPECT_NE(r.err.find("--range"), std::string::npos) << r.err;
      }
      EXPECT_FALSE(fs::exists(Path("p.htm"))) << c.book;
      continue;
    }
    const std::string page = ReadFile(Path("p.htm"));
    const std::string last = std::string("<TD ALIGN='CENTER'>") + c.says + "</TD></TR>";
    EXPECT_NE(page.find(last), std::string::npos) << c.book << " should end at column " << c.says;
  }
}

// Part names and paths reach the messages; a newline or an escape character in one must
// neither forge a second line nor drive the terminal.
TEST_F(Hardening, NamesInMessagesAreEscaped) {
  auto parts = xlsx::testing::MinimalParts("");
  xlsx::testing::SetPart(parts, "xl/_rels/workbook.xml.rels",
                         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                         "relationships\"><Relationship Id=\"rId1\" Type=\"http://"
                         "schemas.openxmlformats.org/officeDocument/2006/relationships/"
                         "worksheet\" Target=\"worksheets/s&#10;gridwell: forged.xml\"/>"
                         "</Relationships>");
  parts.emplace_back("xl/worksheets/s\ngridwell: forged.xml", "<worksheet><sheetData><row");
  const std::string book = "n\x1b[2J\x07.xlsx";
  WriteBook(book, parts);
  for (const std::string command : {"sheets", "cells", "convert"}) {
    std::vector<std::string> args = {command, Path(book)};
    if (command == "convert") args.insert(args.end(), {"-o", Path("p.htm")});
    const Outcome r = Run(args);
    EXPECT_EQ(r.code, kUnreadable) << command << ": " << r.err;
    EXPECT_EQ(Lines(r.err), 1u) << command << ": " << r.err;
    EXPECT_EQ(r.err.find_first_of("\x1b\x07"), std::string::npos) << command << ": " << r.err;
    EXPECT_NE(r.err.find("s\\ngridwell: forged.xml"), std::string::npos)
        << command << ": " << r.err;
  }
}

// Damaged compound files make the container library complain, in messages of several
// lines: what it says is folded into our one line, never printed beside it.
TEST_F(Hardening, LibraryWarningsStayOneLine) {
  GRIDWELL_REQUIRE_CORPUS();
  const struct {
    const char* book;
    int code;
  } cases[] = {{"exceldatareader/Test_git_issue_382_oom.xls", kOk},
               {"exceldatareader/Test_git_issue_5.xls", kUnreadable},
               {"exceldatareader/Test_Issue_12556_corrupt.xls", kUnreadable},
               {"calamine/OOM_alloc3.xls", kUnreadable}};
  for (const auto& c : cases) {
    const Outcome r = Run({"sheets", test::CorpusPath(c.book)});
    EXPECT_EQ(r.code, c.code) << c.book << ": " << r.err;
    // One line: the error, or for a workbook still read, the warning of its damage.
    EXPECT_EQ(Lines(r.err), 1u) << c.book << ": " << r.err;
    EXPECT_EQ(r.err.rfind("gridwell: ", 0), 0u) << c.book << ": " << r.err;
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
