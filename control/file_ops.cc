#include "control/file_ops.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace gridwell::fileops {

bool FileExists(const std::string& path) {
  if (path.find('\0') != std::string::npos) return true;  // the query cannot even be asked
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return true;
  return errno != ENOENT && errno != ENOTDIR;
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return path.find('\0') == std::string::npos && ::stat(path.c_str(), &st) == 0 &&
         S_ISDIR(st.st_mode);
}

std::string CutAtNull(const std::string& text) {
  return text.substr(0, text.find('\0'));
}

std::string FileNameOf(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TrimSpaces(const std::string& text) {
  auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && LowerAscii(a) == LowerAscii(b);
}

std::string ExtensionOf(const std::string& path) {
  auto dot = path.rfind('.');
  return dot == std::string::npos ? std::string() : LowerAscii(path.substr(dot));
}

std::string FileSafeTag(const std::string& tag) {
  const bool escapeDots = tag.find("..") != std::string::npos;
  std::string out;
  for (char c : tag) {
    if (c == '%' || c == '/' || c == '\0' || (escapeDots && c == '.')) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

std::string PageFileName(const std::string& workbookFileName, const std::string& extension,
                         const std::string& sheetTag) {
  const std::string suffix = "_" + FileSafeTag(sheetTag) + ".htm";
  if (!extension.empty()) {
    auto at = LowerAscii(workbookFileName).find(LowerAscii(extension));
    if (at != std::string::npos) {
      std::string name = workbookFileName;
      return name.replace(at, extension.size(), suffix);
    }
  }
  return workbookFileName + suffix;
}

namespace {

std::string FolderOf(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Opens a new, private temporary file in the folder of `target`; -1 on failure.
int OpenTempBeside(const std::string& target, std::string& tempPath) {
  if (target.empty() || target.find('\0') != std::string::npos) return -1;
  std::string pattern = FolderOf(target) + "/." + FileNameOf(target) + ".part-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  int fd = ::mkstemp(buf.data());
  if (fd < 0) return -1;
  tempPath.assign(buf.data());
  ::fchmod(fd, 0644);
  return fd;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool Finish(int fd, bool ok, const std::string& tempPath, const std::string& target) {
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(tempPath.c_str(), target.c_str()) == 0) return true;
  ::unlink(tempPath.c_str());
  return false;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& data) {
  std::string temp;
  int fd = OpenTempBeside(path, temp);
  if (fd < 0) return false;
  return Finish(fd, WriteAll(fd, data.data(), data.size()), temp, path);
}

bool CopyFileReplacing(const std::string& from, const std::string& to) {
  if (from.empty() || from.find('\0') != std::string::npos) return false;
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st;
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    return false;
  }
  std::string temp;
  int out = OpenTempBeside(to, temp);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  uint8_t buf[65536];
  for (;;) {
    ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    if (!WriteAll(out, buf, static_cast<size_t>(n))) {
      ok = false;
      break;
    }
  }
  ::close(in);
  return Finish(out, ok, temp, to);
}

void DeleteFilesIn(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  int dfd = ::dirfd(dir);
  while (dirent* entry = ::readdir(dir)) {
    struct stat st;
    if (::fstatat(dfd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(st.st_mode)) continue;
    ::unlinkat(dfd, entry->d_name, 0);
  }
  ::closedir(dir);
}

}  // namespace gridwell::fileops
