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

// A name no other writer uses at the same time: random, and created exclusively.
std::string TempNameFor(const std::string& target) {
  static std::atomic<uint64_t> counter{std::random_device{}()};
  const size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  uint64_t v = counter.fetch_add(0x9E3779B97F4A7C15ull) * 0xBF58476D1CE4E5B9ull;
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string suffix;
  for (int i = 0; i < 8; ++i, v /= 36) suffix += kDigits[v % 36];
  return dir + "." + name + "." + suffix + ".part";
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
  struct stat st;
  if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(target.c_str(), resolved)) target_ = resolved;
  }
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    fd_ = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd_ < 0) why = Reason(target);
    return fd_ >= 0;
  }
  for (int attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
    temp_ = TempNameFor(target_);
    // Mode 0666 less the umask, as a new file of that name would get.
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) {
    why = Reason(target);
    temp_.clear();
    return false;
  }
  slot_ = ListUnfinished(temp_);
  // A replaced page keeps the permissions it had.
  if (exists) (void)::fchmod(fd_, st.st_mode & 07777);
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
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    why = Reason(target_);
    Discard();
    return false;
  }
  if (!temp_.empty() && ::rename(temp_.c_str(), target_.c_str()) != 0) {
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
