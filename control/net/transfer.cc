#include "control/net/transfer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace gridwell::net {

namespace {
constexpr char kProtocols[] = "http,https,ftp,ftps";
}  // namespace

long TimeoutMs(double seconds) {
  if (!(seconds > 0)) return 0;
  // curl counts whole milliseconds and takes 0 as no limit: a positive limit under half a
  // millisecond would round to that, so it becomes 1 ms.
  const double ms = std::nearbyint(seconds * 1000.0);
  return ms >= double(LONG_MAX) ? LONG_MAX : std::max(1L, static_cast<long>(ms));
}

void SetUpTransfer(CURL* easy, const std::string& url, const TransferLimits& limits,
                   char* errorBuffer) {
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kProtocols);
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, kProtocols);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
  // No signals: name lookups time out without SIGALRM, which is safe beside other threads.
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, 30L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, 60L);
  curl_easy_setopt(easy, CURLOPT_USERAGENT, "gridwell");
  if (limits.maxBytes > 0) {
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBytes));
  }
  if (limits.maxSeconds > 0)
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, TimeoutMs(limits.maxSeconds));
  errorBuffer[0] = '\0';
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
}

TransferFailure DescribeFailure(CURL* easy, CURLcode result, bool tooLarge, double seconds,
                                const TransferLimits& limits, const char* errorBuffer) {
  using Kind = TransferFailure::Kind;
  char text[128];
  if (tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
    std::snprintf(text, sizeof text, "larger than the limit of %lld bytes",
                  static_cast<long long>(limits.maxBytes));
    return {Kind::TooLarge, text};
  }
  // curl says "timed out" for a slow connection too; only the caller's own limit is named.
  if (result == CURLE_OPERATION_TIMEDOUT && limits.maxSeconds > 0 &&
      seconds >= limits.maxSeconds * 0.99) {
    std::snprintf(text, sizeof text, "took longer than the limit of %g s", limits.maxSeconds);
    return {Kind::TooLong, text};
  }
  long status = 0;
  char* scheme = nullptr;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_getinfo(easy, CURLINFO_SCHEME, &scheme);
  const bool http =
      scheme && (curl_strequal(scheme, "http") != 0 || curl_strequal(scheme, "https") != 0);
  if (http && status >= 400)
    return {Kind::ErrorStatus, "the server answered " + std::to_string(status)};
  if (result == CURLE_OK) return {};
  return {Kind::Other, errorBuffer[0] ? errorBuffer : curl_easy_strerror(result)};
}

}  // namespace gridwell::net
