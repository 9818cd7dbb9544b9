// A tiny scripted TCP server on 127.0.0.1 for the socket and HTTP tests: it
// accepts connections one after another on a thread of its own, reads each
// request head and lets the test's script answer on the connection.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace brevaro::net::testing {

class LoopbackServer {
 public:
  // script(fd, requestHead) answers one connection; the server closes it after.
  using Script = std::function<void(int fd, const std::string& request)>;

  explicit LoopbackServer(Script script, bool readRequest = true)
      : script_(std::move(script)), readRequest_(readRequest) {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listen_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    ::listen(listen_, 16);
    socklen_t len = sizeof sa;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&sa), &len);
    port_ = ntohs(sa.sin_port);
    thread_ = std::thread([this] { run(); });
  }
  ~LoopbackServer() {
    stop_ = true;
    thread_.join();
    ::close(listen_);
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  std::uint16_t port() const { return port_; }
  std::string portText() const { return std::to_string(port_); }
  std::vector<std::string> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  int connections() const { return connections_; }

  static void sendAll(int fd, std::string_view data) {
    while (!data.empty()) {
      ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
      if (n <= 0) return;
      data.remove_prefix(static_cast<std::size_t>(n));
    }
  }
  // Reads until the peer closes or `limitMs` passes; returns what arrived.
  static std::string readAll(int fd, int limitMs = 2000) {
    std::string out;
    char buf[4096];
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, limitMs) <= 0) break;
      ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
  }

 private:
  void run() {
    while (!stop_) {
      pollfd p{listen_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      int fd = ::accept(listen_, nullptr, nullptr);
      if (fd < 0) continue;
      ++connections_;
      std::string head;
      if (readRequest_) {
        char buf[4096];
        while (head.find("\r\n\r\n") == std::string::npos) {
          pollfd q{fd, POLLIN, 0};
          if (::poll(&q, 1, 2000) <= 0) break;
          ssize_t n = ::recv(fd, buf, sizeof buf, 0);
          if (n <= 0) break;
          head.append(buf, static_cast<std::size_t>(n));
        }
        std::lock_guard lock(mutex_);
        requests_.push_back(head);
      }
      script_(fd, head);
      ::close(fd);
    }
  }

  Script script_;
  bool readRequest_;
  int listen_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace brevaro::net::testing
