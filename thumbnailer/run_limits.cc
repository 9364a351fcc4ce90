#include "thumbnailer/run_limits.h"

#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>

namespace gridwell::thumbnail {

namespace {

// Read by the signal handler, so a fixed buffer rather than a string.
char pendingFile[4096];
volatile sig_atomic_t hasPendingFile = 0;

void OnTimeUp(int) {
  if (hasPendingFile) unlink(pendingFile);
  static const char message[] = "gridwell-thumbnailer: time limit reached, no thumbnail\n";
  ssize_t ignored = write(STDERR_FILENO, message, sizeof message - 1);
  (void)ignored;
  _exit(kTimedOutExit);
}

}  // namespace

void LimitRun(uint64_t addressSpace, int milliseconds) {
  // One malloc arena: each further arena reserves 64 MB of address space, which would
  // count against the limit without ever holding data.
  mallopt(M_ARENA_MAX, 1);
  struct rlimit limit;
  if (kLimitsAddressSpace && getrlimit(RLIMIT_AS, &limit) == 0 &&
      (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > addressSpace)) {
    limit.rlim_cur = addressSpace;
    setrlimit(RLIMIT_AS, &limit);
  }
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnTimeUp;
  sigaction(SIGALRM, &action, nullptr);
  struct itimerval timer;
  std::memset(&timer, 0, sizeof timer);
  timer.it_value.tv_sec = milliseconds / 1000;
  timer.it_value.tv_usec = (milliseconds % 1000) * 1000;
  setitimer(ITIMER_REAL, &timer, nullptr);
}

void RemoveIfTimedOut(const char* path) {
  hasPendingFile = 0;
  if (!path || std::strlen(path) >= sizeof pendingFile) return;
  std::memcpy(pendingFile, path, std::strlen(path) + 1);
  hasPendingFile = 1;
}

}  // namespace gridwell::thumbnail
