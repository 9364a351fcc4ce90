#include "control/file_ops.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "reader/base/bytes.h"

namespace gridwell::fileops {

bool FileExists(const std::string& path) {
  if (path.find('\0') != std::string::npos) return true;  // the query cannot even be asked
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return true;
  return errno != ENOENT && errno != ENOTDIR;
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

std::string ExtensionOf(const std::string& path) {
  auto dot = path.rfind('.');
  return dot == std::string::npos ? std::string() : LowerAscii(path.substr(dot));
}

std::string FileSafeTag(const std::string& tag) {
  const bool escapeDots = tag.find("..") != std::string::npos;
  std::string out;
  for (char c : tag) {
    if (c == '%' || c == '/' || c == '\0' || (escapeDots && c == '.')) {
      out += '%';
      base::AppendHexByte(out, static_cast<uint8_t>(c));
    } else {
      out += c;
    }
  }
  return out;
}

std::string PageFileName(const std::string& workbookFileName, const std::string& extension,
                         const std::string& sheetTag) {
  const std::string suffix = "_" + FileSafeTag(sheetTag) + ".htm";
  if (!extension.empty() && base::EndsWithNoCase(workbookFileName, extension)) {
    return workbookFileName.substr(0, workbookFileName.size() - extension.size()) + suffix;
  }
  return workbookFileName + suffix;
}

namespace {

std::string FolderOf(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A file being written beside its target: private while it is written, given its final
// permissions just before it replaces the target.
struct TempFile {
  int fd = -1;
  std::string path;
  mode_t finalMode = 0600;
};

// Opens a new temporary file in the folder of `target`. It is created exclusively (never an
// existing entry, never through a link). Its final permissions are those of the regular file it
// replaces, or else those the system gives a new file (0666 less the umask, or a default ACL),
// which the kernel applies at creation; until then only the user may read it.
bool OpenTempBeside(const std::string& target, TempFile& temp) {
  if (target.empty() || target.find('\0') != std::string::npos) return false;
  const std::string stem = FolderOf(target) + "/." + FileNameOf(target) + ".part-";
  static std::atomic<uint32_t> serial{0};
  for (int attempt = 0; attempt < 100 && temp.fd < 0; ++attempt) {
    const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "%d-%x-%x", static_cast<int>(::getpid()),
                  static_cast<unsigned>(tick), static_cast<unsigned>(++serial));
    temp.path = stem + suffix;
    temp.fd = ::open(temp.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (temp.fd < 0 && errno != EEXIST) return false;
  }
  if (temp.fd < 0) return false;
  struct stat created, replaced;
  if (::fstat(temp.fd, &created) == 0) temp.finalMode = created.st_mode & 0777;
  if (::lstat(target.c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode)) {
    temp.finalMode = replaced.st_mode & 0777;
  }
  ::fchmod(temp.fd, S_IRUSR | S_IWUSR);
  return true;
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

// Renames the finished file over the target; a link at the target is replaced, not followed.
bool Finish(TempFile& temp, bool ok, const std::string& target) {
  if (ok && ::fchmod(temp.fd, temp.finalMode) != 0) ok = false;
  if (::close(temp.fd) != 0) ok = false;
  if (ok && ::rename(temp.path.c_str(), target.c_str()) == 0) return true;
  ::unlink(temp.path.c_str());
  return false;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& data) {
  TempFile temp;
  if (!OpenTempBeside(path, temp)) return false;
  return Finish(temp, WriteAll(temp.fd, data.data(), data.size()), path);
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
  TempFile temp;
  if (!OpenTempBeside(to, temp)) {
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
    if (!WriteAll(temp.fd, buf, static_cast<size_t>(n))) {
      ok = false;
      break;
    }
  }
  ::close(in);
  return Finish(temp, ok, to);
}

int OpenPrivateFolderAt(int dirFd, const std::string& name) {
  if (name.empty() || name.find('\0') != std::string::npos) {
    errno = ENOENT;
    return -1;
  }
  const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT) errno = EPERM;  // a link, a file, or a folder we may not open
    return -1;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
    ::close(fd);
    errno = EPERM;
    return -1;
  }
  return fd;
}

bool SameFolderAt(int dirFd, const std::string& name, int fd) {
  struct stat entry, open;
  return ::fstatat(dirFd, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0 &&
         ::fstat(fd, &open) == 0 && S_ISDIR(entry.st_mode) && entry.st_dev == open.st_dev &&
         entry.st_ino == open.st_ino;
}

void DeleteFilesIn(int folderFd) {
  // A descriptor of its own: closedir closes it, and its reading position is not shared.
  const int fd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return;
  }
  while (dirent* entry = ::readdir(dir)) {
    struct stat st;
    if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISREG(st.st_mode)) ::unlinkat(fd, entry->d_name, 0);
  }
  ::closedir(dir);
}

}  // namespace gridwell::fileops
