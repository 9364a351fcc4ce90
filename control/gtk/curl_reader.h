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
#include <set>
#include <string>
#include <vector>

typedef void CURLM;
typedef void CURL;

namespace gridwell {

class CurlReader {
 public:
  // `current` bytes so far and `total` as announced (0 while unknown).
  using Progress = std::function<void(const std::string& name, int32_t current, int32_t total)>;
  // `total` is the number of bytes received; `failed` marks an error status or a broken
  // transfer.
  using Complete = std::function<void(const std::string& name, int32_t total,
                                      const std::vector<uint8_t>& data, bool failed)>;

  CurlReader(Progress progress, Complete complete);
  ~CurlReader();
  CurlReader(const CurlReader&) = delete;
  CurlReader& operator=(const CurlReader&) = delete;

  // Starts reading `url` (http, https, ftp, ftps) under `name`; false when the address is
  // malformed or the transfer cannot be set up. `noCache` asks caches to fetch anew.
  bool Start(const std::string& url, const std::string& name, bool noCache);

  // Largest body kept in memory; a longer transfer fails.
  static constexpr size_t kMaxBytes = size_t{1} << 30;

 private:
  struct Transfer;
  static int OnSocket(CURL* easy, int fd, int what, void* self, void* socketData);
  static int OnTimer(CURLM* multi, long timeoutMs, void* self);
  static gboolean OnFdReady(int fd, GIOCondition condition, gpointer self);
  static gboolean OnTimeout(gpointer self);
  static size_t OnData(char* data, size_t size, size_t count, void* transfer);
  static int OnXferInfo(void* transfer, int64_t dlTotal, int64_t dlNow, int64_t, int64_t);
  void Act(int fd, int events);
  void Post(std::function<void()> notification);

  Progress progress_;
  Complete complete_;
  CURLM* multi_ = nullptr;
  guint timer_ = 0;
  std::map<int, guint> watches_;
  std::map<CURL*, std::unique_ptr<Transfer>> transfers_;
  std::set<guint> posted_;
};

}  // namespace gridwell
