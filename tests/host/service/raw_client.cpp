#include "raw_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace brevaro::service::testing {

namespace {

int connect_to(std::uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool send_all(int fd, const std::string& s) {
  std::size_t off = 0;
  while (off < s.size()) {
    ssize_t n = ::send(fd, s.data() + off, s.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return false;
    off += static_cast<std::size_t>(n);
  }
  return true;
}

bool recv_exact(int fd, unsigned char* buf, std::size_t n) {
  std::size_t got = 0;
  while (got < n) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0) return false;
    ssize_t r = ::recv(fd, buf + got, n - got, 0);
    if (r <= 0) return false;
    got += static_cast<std::size_t>(r);
  }
  return true;
}

RawResult read_all(int fd, std::chrono::milliseconds timeout, std::size_t max_bytes,
                   std::chrono::steady_clock::time_point start) {
  RawResult r;
  r.connected = true;
  auto deadline = start + timeout;
  char buf[65536];
  while (true) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      r.timed_out = true;
      break;
    }
    pollfd p{fd, POLLIN, 0};
    int pn = ::poll(&p, 1, static_cast<int>(left.count()));
    if (pn == 0) continue;
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      r.reset = errno == ECONNRESET;
      break;
    }
    r.data.append(buf, static_cast<std::size_t>(n));
    if (r.data.size() >= max_bytes) {
      r.cut = true;
      break;
    }
  }
  ::close(fd);
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return r;
}

}  // namespace

RawResult exchange(std::uint16_t port, const std::string& request, std::chrono::milliseconds timeout,
                   std::size_t max_bytes) {
  auto start = std::chrono::steady_clock::now();
  int fd = connect_to(port);
  if (fd < 0) return {};
  send_all(fd, request);
  return read_all(fd, timeout, max_bytes, start);
}

RawResult exchange_on(int fd, const std::string& request, std::chrono::milliseconds timeout) {
  auto start = std::chrono::steady_clock::now();
  send_all(fd, request);
  return read_all(fd, timeout, std::size_t(-1), start);
}

std::string get_request(const std::string& target, const std::string& extra_headers) {
  return "GET " + target +
         " HTTP/1.0\r\nAccept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
         "User-Agent: Mozilla/3.0 (compatible)\r\nHost: 127.0.0.1\r\n" +
         extra_headers + "\r\n";
}

std::string Response::header(const std::string& name) const {
  for (const auto& line : header_lines) {
    auto c = line.find(':');
    if (c == std::string::npos || c != name.size()) continue;
    bool eq = true;
    for (std::size_t i = 0; i < c; ++i)
      eq &= std::tolower(static_cast<unsigned char>(line[i])) == std::tolower(static_cast<unsigned char>(name[i]));
    if (!eq) continue;
    auto v = line.substr(c + 1);
    while (!v.empty() && v.front() == ' ') v.erase(0, 1);
    return v;
  }
  return {};
}

Response parse(const std::string& raw) {
  Response r;
  std::size_t end = raw.find("\r\n\r\n");
  std::size_t sep = 4;
  if (end == std::string::npos) {
    end = raw.find("\n\n");
    sep = 2;
  }
  std::string head = raw.substr(0, end);
  r.body = end == std::string::npos ? std::string() : raw.substr(end + sep);
  std::size_t pos = 0;
  bool first = true;
  while (pos < head.size()) {
    std::size_t nl = head.find('\n', pos);
    std::string line = head.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (first) {
      r.status_line = line;
      if (line.size() >= 12 && line.rfind("HTTP/1.", 0) == 0) {
        r.status = std::atoi(line.substr(9, 3).c_str());
        r.reason = line.size() > 13 ? line.substr(13) : "";
      }
      first = false;
    } else {
      r.header_lines.push_back(line);
    }
    if (nl == std::string::npos) break;
    pos = nl + 1;
  }
  return r;
}

SocksResult socks_connect(std::uint16_t socks_port, const std::string& user, const std::string& password,
                          const std::string& host, std::uint16_t port, bool domain) {
  SocksResult res;
  int fd = connect_to(socks_port);
  if (fd < 0) return res;
  auto fail = [&](const char* stage, int code) {
    ::close(fd);
    res.stage = stage;
    res.code = code;
    return res;
  };
  std::string greet = user.empty() ? std::string("\x05\x01\x00", 3) : std::string("\x05\x01\x02", 3);
  if (!send_all(fd, greet)) return fail("method", -1);
  unsigned char sel[2];
  if (!recv_exact(fd, sel, 2)) return fail("method", -1);
  if (sel[1] == 0xFF) return fail("method", 0xFF);
  if (sel[1] == 0x02) {
    std::string a = "\x01";
    a += static_cast<char>(user.size());
    a += user;
    a += static_cast<char>(password.size());
    a += password;
    if (!send_all(fd, a)) return fail("auth", -1);
    unsigned char st[2];
    if (!recv_exact(fd, st, 2)) return fail("auth", -1);
    if (st[1] != 0) return fail("auth", st[1]);
  }
  std::string rq("\x05\x01\x00", 3);
  if (domain) {
    rq += '\x03';
    rq += static_cast<char>(host.size());
    rq += host;
  } else {
    in_addr ia{};
    ::inet_pton(AF_INET, host.c_str(), &ia);
    rq += '\x01';
    rq.append(reinterpret_cast<const char*>(&ia), 4);
  }
  rq += static_cast<char>(port >> 8);
  rq += static_cast<char>(port & 0xFF);
  if (!send_all(fd, rq)) return fail("connect", -1);
  unsigned char rep[10];
  if (!recv_exact(fd, rep, 10)) return fail("connect", -1);
  if (rep[1] != 0) return fail("connect", rep[1]);
  res.fd = fd;
  res.stage = "connected";
  res.code = 0;
  return res;
}

}  // namespace brevaro::service::testing
