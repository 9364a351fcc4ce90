// A local HTTP server for download-limit tests: it listens on 127.0.0.1 and answers every
// request with 200 and a body of unannounced length that streams until the client goes away or
// a bound (bytes or seconds) is reached, either as fast as the socket takes it or one byte per
// pause. It serves one connection at a time on its own thread and counts the clients that hung
// up before the bound, so a test can tell that a transfer was cancelled.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace gridwell::testing {

class StreamServer {
 public:
  enum class Pace { Endless, Slow };

  StreamServer(Pace pace, int64_t boundBytes, double boundSeconds, int pauseMs = 50)
      : pace_(pace), boundBytes_(boundBytes), boundSeconds_(boundSeconds), pauseMs_(pauseMs) {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listen_, 8) != 0 ||
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len) != 0 || ::pipe(stop_) != 0) {
      return;
    }
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~StreamServer() {
    if (thread_.joinable()) {
      const char quit = 'q';
      (void)!::write(stop_[1], &quit, 1);
      thread_.join();
    }
    for (int fd : {listen_, stop_[0], stop_[1]}) {
      if (fd >= 0) ::close(fd);
    }
  }
  StreamServer(const StreamServer&) = delete;
  StreamServer& operator=(const StreamServer&) = delete;

  bool Ready() const { return port_ != 0; }
  std::string Url(const std::string& name) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + name;
  }
  // Connections the client ended before the bound.
  int ClientsGone() const { return gone_; }
  int Requests() const { return requests_; }

 private:
  bool Stopping(int timeoutMs, int conn, short& connEvents) {
    pollfd fds[2] = {{stop_[0], POLLIN, 0}, {conn, static_cast<short>(POLLRDHUP), 0}};
    ::poll(fds, conn >= 0 ? 2 : 1, timeoutMs);
    connEvents = fds[1].revents;
    return fds[0].revents != 0;
  }

  void Serve() {
    for (;;) {
      pollfd fds[2] = {{stop_[0], POLLIN, 0}, {listen_, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0 || fds[0].revents) return;
      const int conn = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      if (conn < 0) continue;
      ++requests_;
      const bool stop = Answer(conn);
      ::close(conn);
      if (stop) return;
    }
  }

  // Streams one response; true when the server is being stopped.
  bool Answer(int conn) {
    std::string request;
    char buf[4096];
    short ev = 0;
    while (request.find("\r\n\r\n") == std::string::npos) {
      if (Stopping(2000, conn, ev)) return true;
      const ssize_t n = ::recv(conn, buf, sizeof buf, MSG_DONTWAIT);
      if (n <= 0) return false;
      request.append(buf, static_cast<size_t>(n));
    }
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n";
    if (::send(conn, head.data(), head.size(), MSG_NOSIGNAL) < 0) return false;
    const std::vector<char> block(pace_ == Pace::Endless ? 65536 : 1, 'x');
    const auto start = std::chrono::steady_clock::now();
    int64_t sent = 0;
    while (sent < boundBytes_ &&
           std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() <
               boundSeconds_) {
      if (Stopping(pace_ == Pace::Slow ? pauseMs_ : 0, conn, ev)) return true;
      if (ev & (POLLRDHUP | POLLHUP | POLLERR)) {
        ++gone_;
        return false;
      }
      const ssize_t n = ::send(conn, block.data(), block.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && errno != EAGAIN) {
        ++gone_;
        return false;
      }
      if (n < 0) Stopping(10, conn, ev);  // the client is not reading right now
      if (n > 0) sent += n;
    }
    return false;
  }

  Pace pace_;
  int64_t boundBytes_;
  double boundSeconds_;
  int pauseMs_;
  int listen_ = -1;
  int stop_[2] = {-1, -1};
  int port_ = 0;
  std::atomic<int> gone_{0};
  std::atomic<int> requests_{0};
  std::thread thread_;
};

}  // namespace gridwell::testing
