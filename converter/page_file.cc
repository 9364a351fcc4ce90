#include "converter/page_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>

namespace gridwell::conv {

namespace {

std::string Reason(const std::string& path) {
  return path + ": " + std::strerror(errno);
}

// A name no other writer uses at the same time: random, and created exclusively. It begins
// with the target's name, cut to 200 bytes (at a character boundary), so that it always
// fits the file system's 255 whatever the target's name.
std::string TempNameFor(const std::string& target) {
  static std::atomic<uint64_t> counter{std::random_device{}()};
  const size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  constexpr size_t kKept = 200;
  if (name.size() > kKept) {
    size_t cut = kKept;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  uint64_t v = counter.fetch_add(0x9E3779B97F4A7C15ull) * 0xBF58476D1CE4E5B9ull;
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string suffix;
  for (int i = 0; i < 8; ++i, v /= 36) suffix += kDigits[v % 36];
  return dir + "." + name + "." + suffix + ".part";
}

// What a file that is no regular file is, for the one line that refuses it.
std::string KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "a special file";
}

// Why a target is refused, or "" when a file may take its place: nothing or a regular file
// is there, or a link that names nothing or a regular file (the link is replaced).
std::string Refusal(const std::string& target, const struct stat& entry) {
  if (S_ISREG(entry.st_mode)) return {};
  if (!S_ISLNK(entry.st_mode))
    return target + ": " + KindOf(entry.st_mode) + ", not a regular file";
  struct stat named;
  if (::stat(target.c_str(), &named) != 0 || S_ISREG(named.st_mode)) return {};
  return target + ": a link to " + KindOf(named.st_mode) + ", not to a regular file";
}

// The unfinished files, in fixed storage that a signal handler can read without locks.
constexpr int kSlots = 8;
struct Slot {
  std::atomic<bool> taken{false};
  std::atomic<bool> ready{false};
  char path[PATH_MAX];
};
Slot slots[kSlots];

int ListUnfinished(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (!slots[i].taken.compare_exchange_strong(expected, true)) continue;
    std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
    slots[i].ready = true;
    return i;
  }
  return -1;
}

void Unlist(int slot) {
  if (slot < 0) return;
  slots[slot].ready = false;
  slots[slot].taken = false;
}

}  // namespace

void RemoveUnfinishedPageFiles() {
  for (Slot& s : slots) {
    if (s.ready.load()) ::unlink(s.path);
  }
}

PageFile::~PageFile() {
  Discard();
}

void PageFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  Unlist(slot_);
  slot_ = -1;
}

bool PageFile::Open(const std::string& target, std::string& why) {
  Discard();
  target_ = target;
  keepOwner_ = false;
  if (target.empty() || target.find('\0') != std::string::npos) {
    why = "not a file name: " + target.substr(0, target.find('\0'));
    return false;
  }
  struct stat st;
  const bool exists = ::lstat(target.c_str(), &st) == 0;
  if (exists) {
    why = Refusal(target, st);
    if (!why.empty()) return false;
  }
  for (int attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
    temp_ = TempNameFor(target_);
    // Created as a new file of that name would be (0666 less the umask, or a default ACL),
    // which gives the mode of a page that replaces nothing; private while it is written.
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) {
    why = Reason(target);
    temp_.clear();
    return false;
  }
  slot_ = ListUnfinished(temp_);
  struct stat created;
  finalMode_ = ::fstat(fd_, &created) == 0 ? created.st_mode & 0777 : 0600;
  if (exists && S_ISREG(st.st_mode)) {
    finalMode_ = st.st_mode & 0777;
    keepOwner_ = true;
    owner_ = st.st_uid;
    group_ = st.st_gid;
  }
  (void)::fchmod(fd_, S_IRUSR | S_IWUSR);
  return true;
}

bool PageFile::Write(std::string_view text, std::string& why) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd_, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      why = Reason(target_);
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

bool PageFile::Commit(std::string& why) {
  // A replaced file keeps its owner and group where the process may give them (root may;
  // another user may at least keep a group it belongs to).
  if (keepOwner_ && ::fchown(fd_, owner_, group_) != 0) (void)::fchown(fd_, -1, group_);
  const int fd = fd_;
  fd_ = -1;
  int failure = ::fchmod(fd, finalMode_) == 0 ? 0 : errno;
  if (::close(fd) != 0 && failure == 0) failure = errno;
  if (failure == 0 && ::rename(temp_.c_str(), target_.c_str()) != 0) failure = errno;
  if (failure != 0) {
    errno = failure;
    why = Reason(target_);
    Discard();
    return false;
  }
  temp_.clear();
  Unlist(slot_);
  slot_ = -1;
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace gridwell::conv
