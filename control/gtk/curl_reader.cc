#include "control/gtk/curl_reader.h"

#include <curl/curl.h>
#include <glib-unix.h>

#include "control/net/transfer.h"

namespace gridwell {

struct CurlReader::Transfer {
  CurlReader* reader = nullptr;
  std::string name;
  std::vector<uint8_t> data;
  curl_slist* headers = nullptr;
  int64_t total = 0;
  int64_t reportedNow = -1;
  int64_t maxBytes = 0;
  double maxSeconds = 0;
  gint64 started = 0;
  bool tooLarge = false;
  char error[CURL_ERROR_SIZE] = "";
};

namespace {

int32_t Clamp32(int64_t v) {
  return v > INT32_MAX ? INT32_MAX : (v < 0 ? 0 : static_cast<int32_t>(v));
}

struct Posted {
  CurlReader* reader;
  std::function<void()> run;
  guint id = 0;
};

}  // namespace

CurlReader::CurlReader(Progress progress, Complete complete)
    : progress_(std::move(progress)), complete_(std::move(complete)) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  multi_ = curl_multi_init();
  curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &CurlReader::OnSocket);
  curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
  curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &CurlReader::OnTimer);
  curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
}

CurlReader::~CurlReader() {
  for (auto& [id, name] : posted_) g_source_remove(id);
  for (auto& [easy, transfer] : transfers_) {
    curl_multi_remove_handle(multi_, easy);
    curl_easy_cleanup(easy);
    curl_slist_free_all(transfer->headers);
  }
  transfers_.clear();
  for (auto& [fd, id] : watches_) g_source_remove(id);
  if (timer_) g_source_remove(timer_);
  curl_multi_cleanup(multi_);
}

bool CurlReader::Start(const std::string& url, const std::string& name, bool noCache,
                       const ReadLimits& limits) {
  // Refuse what curl could never fetch now, rather than fail later.
  CURLU* parsed = curl_url();
  const bool valid = curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK;
  char* scheme = nullptr;
  std::string schemeText;
  if (valid && curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK) {
    schemeText = scheme;
    curl_free(scheme);
  }
  curl_url_cleanup(parsed);
  if (!valid || (schemeText != "http" && schemeText != "https" && schemeText != "ftp" &&
                 schemeText != "ftps")) {
    return false;
  }

  CURL* easy = curl_easy_init();
  if (!easy) return false;
  auto transfer = std::make_unique<Transfer>();
  transfer->reader = this;
  transfer->name = name;
  transfer->maxBytes = limits.maxBytes;
  transfer->maxSeconds = limits.maxSeconds;
  transfer->started = g_get_monotonic_time();
  // The host's bounds: a body that grows past maxBytes is stopped in OnData.
  net::SetUpTransfer(easy, url, {limits.maxBytes, limits.maxSeconds}, transfer->error);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlReader::OnData);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &CurlReader::OnXferInfo);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, transfer.get());
  if (noCache) {
    transfer->headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    transfer->headers = curl_slist_append(transfer->headers, "Pragma: no-cache");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers);
  }
  if (curl_multi_add_handle(multi_, easy) != CURLM_OK) {
    curl_slist_free_all(transfer->headers);
    curl_easy_cleanup(easy);
    return false;
  }
  transfers_[easy] = std::move(transfer);
  return true;
}

int CurlReader::OnSocket(CURL*, int fd, int what, void* self, void*) {
  auto* reader = static_cast<CurlReader*>(self);
  auto it = reader->watches_.find(fd);
  if (it != reader->watches_.end()) {
    g_source_remove(it->second);
    reader->watches_.erase(it);
  }
  if (what == CURL_POLL_REMOVE) return 0;
  int condition = G_IO_ERR | G_IO_HUP;
  if (what & CURL_POLL_IN) condition |= G_IO_IN;
  if (what & CURL_POLL_OUT) condition |= G_IO_OUT;
  reader->watches_[fd] =
      g_unix_fd_add(fd, static_cast<GIOCondition>(condition), &CurlReader::OnFdReady, reader);
  return 0;
}

int CurlReader::OnTimer(CURLM*, long timeoutMs, void* self) {
  auto* reader = static_cast<CurlReader*>(self);
  if (reader->timer_) {
    g_source_remove(reader->timer_);
    reader->timer_ = 0;
  }
  if (timeoutMs >= 0) {
    reader->timer_ = g_timeout_add(static_cast<guint>(timeoutMs), &CurlReader::OnTimeout, reader);
  }
  return 0;
}

gboolean CurlReader::OnFdReady(int fd, GIOCondition condition, gpointer self) {
  int events = 0;
  if (condition & G_IO_IN) events |= CURL_CSELECT_IN;
  if (condition & G_IO_OUT) events |= CURL_CSELECT_OUT;
  if (condition & (G_IO_ERR | G_IO_HUP)) events |= CURL_CSELECT_ERR;
  static_cast<CurlReader*>(self)->Act(fd, events);
  return G_SOURCE_CONTINUE;  // the socket callback removes watches that are no longer needed
}

gboolean CurlReader::OnTimeout(gpointer self) {
  auto* reader = static_cast<CurlReader*>(self);
  reader->timer_ = 0;
  reader->Act(CURL_SOCKET_TIMEOUT, 0);
  return G_SOURCE_REMOVE;
}

size_t CurlReader::OnData(char* data, size_t size, size_t count, void* p) {
  auto* transfer = static_cast<Transfer*>(p);
  const size_t n = size * count;
  if (transfer->maxBytes > 0 &&
      static_cast<int64_t>(transfer->data.size() + n) > transfer->maxBytes) {
    transfer->tooLarge = true;
    return 0;  // makes curl end the transfer with an error
  }
  transfer->data.insert(transfer->data.end(), data, data + n);
  return n;
}

int CurlReader::OnXferInfo(void* p, int64_t dlTotal, int64_t, int64_t, int64_t) {
  static_cast<Transfer*>(p)->total = dlTotal;
  return 0;
}

void CurlReader::Act(int fd, int events) {
  int running = 0;
  curl_multi_socket_action(multi_, fd, events, &running);

  // Progress of every running transfer that moved, then the finished ones.
  for (auto& [easy, transfer] : transfers_) {
    const auto now = static_cast<int64_t>(transfer->data.size());
    if (now == transfer->reportedNow) continue;
    transfer->reportedNow = now;
    Post(transfer->name, [this, name = transfer->name, cur = Clamp32(now),
                          max = Clamp32(transfer->total)] { progress_(name, cur, max); });
  }
  int queued = 0;
  while (CURLMsg* msg = curl_multi_info_read(multi_, &queued)) {
    if (msg->msg != CURLMSG_DONE) continue;
    CURL* easy = msg->easy_handle;
    auto node = transfers_.extract(easy);
    std::shared_ptr<Transfer> transfer(std::move(node.mapped()));
    const double seconds = (g_get_monotonic_time() - transfer->started) / 1e6;
    const net::TransferFailure described =
        net::DescribeFailure(easy, msg->data.result, transfer->tooLarge, seconds,
                             {transfer->maxBytes, transfer->maxSeconds}, transfer->error);
    curl_multi_remove_handle(multi_, easy);
    curl_easy_cleanup(easy);
    curl_slist_free_all(transfer->headers);
    transfer->headers = nullptr;
    const bool failed = described.kind != net::TransferFailure::Kind::None;
    const std::string failure = described.text;
    Post(transfer->name, [this, transfer, failed, failure] {
      complete_(transfer->name, Clamp32(static_cast<int64_t>(transfer->data.size())),
                transfer->data, failed, failure);
    });
  }
}

void CurlReader::Cancel(const std::string& name) {
  for (auto it = transfers_.begin(); it != transfers_.end();) {
    if (it->second->name != name) {
      ++it;
      continue;
    }
    curl_multi_remove_handle(multi_, it->first);
    curl_easy_cleanup(it->first);
    curl_slist_free_all(it->second->headers);
    it = transfers_.erase(it);
  }
  for (auto it = posted_.begin(); it != posted_.end();) {
    if (it->second == name) {
      g_source_remove(it->first);
      it = posted_.erase(it);
    } else {
      ++it;
    }
  }
}

void CurlReader::Post(const std::string& name, std::function<void()> notification) {
  // One idle source per notification: a handler that runs a nested main loop does not block
  // the notifications behind it.
  auto* posted = new Posted{this, std::move(notification)};
  posted->id = g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer p) -> gboolean {
        auto* item = static_cast<Posted*>(p);
        item->reader->posted_.erase(item->id);
        auto run = std::move(item->run);
        run();
        return G_SOURCE_REMOVE;
      },
      posted, [](gpointer p) { delete static_cast<Posted*>(p); });
  posted_.emplace(posted->id, name);
}

}  // namespace gridwell
