// The asynchronous read service: libcurl's multi interface driven by the GLib main loop. No
// threads: curl's sockets are watched with g_unix_fd_add and its timer with g_timeout_add, and
// every notification reaches the caller from its own idle source on the main loop, never from
// inside a curl callback, so a handler may start further reads or run a nested main loop.
#pragma once

#include <glib.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "control/platform.h"

typedef void CURLM;
typedef void CURL;

namespace gridwell {

class CurlReader {
 public:
  // `current` bytes so far and `total` as announced (0 while unknown).
  using Progress = std::function<void(const std::string& name, int32_t current, int32_t total)>;
  // `total` is the number of bytes received; `failed` marks an error status, a broken transfer
  // or a limit passed, and `failure` says which.
  using Complete =
      std::function<void(const std::string& name, int32_t total, const std::vector<uint8_t>& data,
                         bool failed, const std::string& failure)>;

  CurlReader(Progress progress, Complete complete);
  ~CurlReader();
  CurlReader(const CurlReader&) = delete;
  CurlReader& operator=(const CurlReader&) = delete;

  // Starts reading `url` (http, https, ftp, ftps) under `name`; false when the address is
  // malformed or the transfer cannot be set up. `noCache` asks caches to fetch anew. A body
  // larger than `limits.maxBytes`, or a transfer longer than `limits.maxSeconds`, fails.
  bool Start(const std::string& url, const std::string& name, bool noCache,
             const ReadLimits& limits);
  // Stops every transfer under `name` and drops its notifications not yet delivered.
  void Cancel(const std::string& name);

 private:
  struct Transfer;
  static int OnSocket(CURL* easy, int fd, int what, void* self, void* socketData);
  static int OnTimer(CURLM* multi, long timeoutMs, void* self);
  static gboolean OnFdReady(int fd, GIOCondition condition, gpointer self);
  static gboolean OnTimeout(gpointer self);
  static size_t OnData(char* data, size_t size, size_t count, void* transfer);
  static int OnXferInfo(void* transfer, int64_t dlTotal, int64_t dlNow, int64_t, int64_t);
  void Act(int fd, int events);
  void Post(const std::string& name, std::function<void()> notification);

  Progress progress_;
  Complete complete_;
  CURLM* multi_ = nullptr;
  guint timer_ = 0;
  std::map<int, guint> watches_;
  std::map<CURL*, std::unique_ptr<Transfer>> transfers_;
  std::map<guint, std::string> posted_;  // idle sources of notifications, by transfer name
};

}  // namespace gridwell
