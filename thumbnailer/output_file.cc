#include "thumbnailer/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "thumbnailer/run_limits.h"

namespace gridwell::thumbnail {

namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

bool WriteAtomically(const std::string& path, std::string_view bytes, std::string& error) {
  const std::filesystem::path target(path);
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  // A fixed short name: the target's own name may already be as long as a name can be.
  const std::string pattern = (folder / ".gridwell-thumbnail-XXXXXX").string();
  std::vector<char> temp(pattern.begin(), pattern.end());
  temp.push_back('\0');
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  RemoveIfTimedOut(temp.data());
  const bool written = WriteAll(fd, bytes);
  const int writeErrno = errno;
  const bool closed = close(fd) == 0;
  if (written && closed && rename(temp.data(), path.c_str()) == 0) {
    RemoveIfTimedOut(nullptr);
    return true;
  }
  error = path + ": " + std::strerror(written && closed ? errno : writeErrno);
  unlink(temp.data());
  RemoveIfTimedOut(nullptr);
  return false;
}

}  // namespace gridwell::thumbnail
