// Files for the tests: a whole file read or written in one call, and a fresh folder for each
// test, removed with everything in it when the test ends.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace gridwell::test {

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A new folder under /tmp; empty when none could be made.
class TempFolder {
 public:
  TempFolder() {
    char tmpl[] = "/tmp/gridwell-test-XXXXXX";
    if (mkdtemp(tmpl) != nullptr) dir_ = tmpl;
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() {
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }
  const std::filesystem::path& Dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
};

// A test with a folder of its own: dir_, and Path(name) of a file in it.
class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.Dir().empty()) << "cannot make a folder in /tmp"; }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  TempFolder folder_;
  const std::filesystem::path dir_ = folder_.Dir();
};

}  // namespace gridwell::test
