// One libcurl transfer as the command-line tool and the viewer control both make it: which
// addresses it may fetch, when it gives up, and how a failure is told.
#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <string>

namespace gridwell::net {

// The caller's bounds; 0 means none.
struct TransferLimits {
  int64_t maxBytes = 0;
  double maxSeconds = 0;
};

// Sets `easy` up to fetch `url`: http, https, ftp and ftps only, after redirects too (at most
// 10); an HTTP error status fails the transfer; a connection not made within 30 s, or a
// transfer under one byte a second for 60 s, is given up; an announced size over
// `limits.maxBytes` fails at once and the whole transfer ends at `limits.maxSeconds`. curl's
// own message goes to `errorBuffer` (CURL_ERROR_SIZE bytes, kept alive by the caller). The
// caller adds its write and progress functions, and checks the size of what arrives against
// maxBytes itself, since a server need not announce it.
void SetUpTransfer(CURL* easy, const std::string& url, const TransferLimits& limits,
                   char* errorBuffer);

// The time limit as curl takes it: whole milliseconds, the nearest, but at least 1 for a
// positive limit, which must never become 0, curl's "no limit"; 0 for none.
long TimeoutMs(double seconds);

struct TransferFailure {
  enum class Kind { None, TooLarge, TooLong, ErrorStatus, Other } kind = Kind::None;
  std::string text;  // "larger than the limit of 100 bytes", "the server answered 404", ...
};

// Why a finished transfer failed: `result` is curl's, `tooLarge` says the caller stopped a body
// that grew past maxBytes, `seconds` how long the transfer ran.
TransferFailure DescribeFailure(CURL* easy, CURLcode result, bool tooLarge, double seconds,
                                const TransferLimits& limits, const char* errorBuffer);

}  // namespace gridwell::net
