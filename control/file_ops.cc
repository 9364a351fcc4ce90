#include "control/file_ops.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "converter/page_file.h"
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

// Both write through the page writers' PageFile, so every file this system writes for its
// user follows one rule for links and for targets that are no regular file.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& data) {
  conv::PageFile out;
  std::string why;
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  return out.Open(path, why) && out.Write(text, why) && out.Commit(why);
}

bool CopyFileReplacing(const std::string& from, const std::string& to) {
  if (from.empty() || from.find('\0') != std::string::npos) return false;
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st;
  conv::PageFile out;
  std::string why;
  bool ok = ::fstat(in, &st) == 0 && S_ISREG(st.st_mode) && out.Open(to, why);
  std::vector<char> buf(ok ? 65536 : 0);
  while (ok) {
    const ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    ok = out.Write(std::string_view(buf.data(), static_cast<size_t>(n)), why);
  }
  ::close(in);
  return ok && out.Commit(why);
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
