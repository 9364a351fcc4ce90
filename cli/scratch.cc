#include "cli/scratch.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "converter/page_file.h"

namespace gridwell::cli {

namespace {

// The folder to remove, in fixed storage that the signal handler reads without locks.
char folder[PATH_MAX];
std::atomic<bool> folderSet{false};

// Removes the files of `path` and then the folder, with system calls only (no allocation,
// no locks), as a signal handler must. The folder holds plain files only.
void RemoveFolderNow(const char* path) {
  const int dir = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
  if (dir >= 0) {
    alignas(8) char buf[4096];
    for (;;) {
      const long n = ::syscall(SYS_getdents64, dir, buf, sizeof buf);
      if (n <= 0) break;
      for (long at = 0; at < n;) {
        struct Entry {
          uint64_t ino;
          int64_t off;
          unsigned short reclen;
          unsigned char type;
          char name[1];
        };
        const auto* e = reinterpret_cast<const Entry*>(buf + at);
        const bool dots =
            e->name[0] == '.' && (e->name[1] == '\0' || (e->name[1] == '.' && e->name[2] == '\0'));
        if (!dots) ::unlinkat(dir, e->name, 0);
        at += e->reclen;
      }
    }
    ::close(dir);
  }
  ::rmdir(path);
}

void OnSignal(int sig) {
  if (folderSet.load()) RemoveFolderNow(folder);
  conv::RemoveUnfinishedPageFiles();
  // The handler was reset on entry: the signal now does what it would have done.
  ::raise(sig);
}

}  // namespace

void CleanUpOnSignals() {
  // A crash from a stack overflow needs a stack of its own for the handler.
  static char altStack[64 * 1024];
  stack_t ss{};
  ss.ss_sp = altStack;
  ss.ss_size = sizeof altStack;
  ::sigaltstack(&ss, nullptr);
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sa.sa_flags = SA_RESETHAND | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&sa.sa_mask);
  for (int sig :
       {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL}) {
    struct sigaction old {};
    // A signal the caller chose to ignore stays ignored.
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &sa, nullptr);
  }
}

const std::string& ScratchFolder::Path() {
  if (!path_.empty()) return path_;
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/gridwell-XXXXXX";
  if (tmpl.size() < PATH_MAX && ::mkdtemp(tmpl.data())) {
    path_ = tmpl;
    std::memcpy(folder, path_.c_str(), path_.size() + 1);
    folderSet = true;
  }
  return path_;
}

ScratchFolder::~ScratchFolder() {
  if (path_.empty()) return;
  folderSet = false;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace gridwell::cli
