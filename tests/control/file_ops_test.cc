// Path and file helpers of the control.
#include "control/file_ops.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace gridwell::fileops {
namespace {

TEST(FileOps, FileExistsIsTrueWhenTheQueryFails) {
  EXPECT_TRUE(FileExists("/"));
  EXPECT_FALSE(FileExists("/no/such/file/anywhere"));
  EXPECT_FALSE(FileExists("/etc/passwd/below-a-file"));   // ENOTDIR: nothing there
  EXPECT_TRUE(FileExists(std::string("/tmp/a\0b", 8)));   // cannot be asked
  EXPECT_TRUE(FileExists("/" + std::string(5000, 'x')));  // name too long
}

TEST(FileOps, FileSafeTagIsInjectiveAndSeparatorFree) {
  const char* tags[] = {"Sales", "a/b", "a_b", "a%2Fb", "..", "...", "x..y", "x.y", "%"};
  std::set<std::string> out;
  for (const char* t : tags) {
    const std::string safe = FileSafeTag(t);
    EXPECT_EQ(safe.find('/'), std::string::npos) << t;
    EXPECT_EQ(safe.find(".."), std::string::npos) << t;
    out.insert(safe);
  }
  EXPECT_EQ(out.size(), std::size(tags));
  EXPECT_EQ(FileSafeTag("Sales"), "Sales");
  EXPECT_EQ(FileSafeTag("x.y"), "x.y");
}

TEST(FileOps, CopyReplacesOnlyWhenComplete) {
  namespace fs = std::filesystem;
  char tmpl[] = "/tmp/gridwell-fileops-XXXXXX";
  const std::string dir = ::mkdtemp(tmpl);
  const std::string src = dir + "/src", dst = dir + "/dst";
  std::ofstream(dst) << "old";
  EXPECT_FALSE(CopyFileReplacing(dir + "/missing", dst));
  EXPECT_FALSE(CopyFileReplacing(dir, dst));  // a folder is no file to copy
  std::ifstream in(dst);
  std::string text;
  in >> text;
  EXPECT_EQ(text, "old");
  std::ofstream(src) << "new";
  EXPECT_TRUE(CopyFileReplacing(src, dst));
  std::ifstream in2(dst);
  in2 >> text;
  EXPECT_EQ(text, "new");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace gridwell::fileops
