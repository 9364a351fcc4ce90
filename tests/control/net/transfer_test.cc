#include "control/net/transfer.h"

#include <gtest/gtest.h>

namespace gridwell::net {
namespace {

struct Easy {
  CURL* handle = curl_easy_init();
  ~Easy() { curl_easy_cleanup(handle); }
};

size_t Discard(char*, size_t size, size_t n, void*) {
  return size * n;
}

TEST(Transfer, FetchesOnlyFromNetworkAddresses) {
  // A workbook address typed by a user or found in a redirect must never read a local file
  // or speak another protocol.
  for (const char* url : {"file:///etc/hostname", "dict://localhost/x", "gopher://localhost/",
                          "scp://localhost/x", "tftp://localhost/x"}) {
    Easy easy;
    char error[CURL_ERROR_SIZE];
    SetUpTransfer(easy.handle, url, {}, error);
    curl_easy_setopt(easy.handle, CURLOPT_WRITEFUNCTION, Discard);
    const CURLcode rc = curl_easy_perform(easy.handle);
    EXPECT_EQ(rc, CURLE_UNSUPPORTED_PROTOCOL) << url;
    const TransferFailure f = DescribeFailure(easy.handle, rc, false, 0, {}, error);
    EXPECT_EQ(f.kind, TransferFailure::Kind::Other) << url;
    EXPECT_FALSE(f.text.empty()) << url;
  }
}

TEST(Transfer, NamesTheLimitThatStoppedIt) {
  using Kind = TransferFailure::Kind;
  const TransferLimits limits{100, 1.5};
  const struct {
    CURLcode result;
    bool tooLarge;
    double seconds;
    Kind kind;
    const char* text;
  } cases[] = {
      {CURLE_OK, false, 0.1, Kind::None, ""},
      {CURLE_WRITE_ERROR, true, 0.1, Kind::TooLarge, "larger than the limit of 100 bytes"},
      {CURLE_FILESIZE_EXCEEDED, false, 0.1, Kind::TooLarge, "larger than the limit of 100 bytes"},
      {CURLE_OPERATION_TIMEDOUT, false, 1.5, Kind::TooLong, "took longer than the limit of 1.5 s"},
      // A connection that timed out before the limit is curl's own failure.
      {CURLE_OPERATION_TIMEDOUT, false, 0.2, Kind::Other, "curl says why"},
      {CURLE_COULDNT_CONNECT, false, 0.1, Kind::Other, "curl says why"},
  };
  for (const auto& c : cases) {
    Easy easy;
    const TransferFailure f =
        DescribeFailure(easy.handle, c.result, c.tooLarge, c.seconds, limits, "curl says why");
    EXPECT_EQ(f.kind, c.kind) << c.result;
    EXPECT_EQ(f.text, c.text) << c.result;
  }
}

// curl takes 0 ms as no limit at all: a positive limit, however small, stays a limit.
TEST(Transfer, TimeLimitInMilliseconds) {
  const struct {
    double seconds;
    long ms;
  } cases[] = {{0, 0},     {-1, 0},     {1e-9, 1},     {0.0004, 1},      {0.0006, 1},
               {0.3, 300}, {2.5, 2500}, {600, 600000}, {1e6, 1000000000}};
  for (const auto& c : cases) EXPECT_EQ(TimeoutMs(c.seconds), c.ms) << c.seconds;
}

}  // namespace
}  // namespace gridwell::net
