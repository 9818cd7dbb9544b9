// A small blocking TCP client for the service tests: sends raw bytes and
// collects everything until the peer closes (or resets, or a time-out).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace brevaro::service::testing {

struct RawResult {
  bool connected = false;
  std::string data;        // every byte received
  bool reset = false;      // the connection ended with ECONNRESET
  bool timed_out = false;  // the time-out ended it
  bool cut = false;        // we stopped reading after max_bytes
  double seconds = 0;      // from connect to end
};

// Connects to 127.0.0.1:port, sends `request`, reads until close, reset,
// `timeout`, or max_bytes received (then closes).
RawResult exchange(std::uint16_t port, const std::string& request,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10),
                   std::size_t max_bytes = std::size_t(-1));

// "GET path HTTP/1.0" with the headers the brevaro client sends.
std::string get_request(const std::string& target, const std::string& extra_headers = {});

struct Response {
  std::string status_line;
  int status = 0;
  std::string reason;
  std::vector<std::string> header_lines;
  std::string body;
  std::string header(const std::string& name) const;  // first match, ignoring case
};
// Splits raw bytes at the first empty line.
Response parse(const std::string& raw);

// SOCKS5 handshake on a new connection. Returns the socket (>= 0) when the
// server granted the CONNECT; otherwise -1, with `stage` telling where it
// ended ("method", "auth", "connect") and `code` the server's status byte.
struct SocksResult {
  int fd = -1;
  std::string stage;
  int code = -1;
};
SocksResult socks_connect(std::uint16_t socks_port, const std::string& user, const std::string& password,
                          const std::string& host, std::uint16_t port, bool domain = false);
// Sends `request` on an open socket and reads until close (then closes it).
RawResult exchange_on(int fd, const std::string& request, std::chrono::milliseconds timeout);

}  // namespace brevaro::service::testing
