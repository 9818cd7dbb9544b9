// The reference service's networking: our own front-end listeners (HTTP,
// alternate HTTP, SOCKS5) read each request head, log it, and then either
// answer it themselves (hostile modes, /bench/bytes, proxy authentication) or
// relay it to an internal cpp-httplib server on an ephemeral loopback port
// that holds the normal service routes.
#include "service/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <list>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <httplib.h>

#include "service/internal.h"

#ifndef BREVARO_SERVICE_DATA_DIR
#define BREVARO_SERVICE_DATA_DIR "service/data"
#endif

namespace brevaro::service {

using namespace detail;
using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------------------
// RequestRecord

std::string RequestRecord::header(std::string_view name) const {
  for (const auto& [k, v] : headers)
    if (iequals(k, name)) return v;
  return {};
}

bool RequestRecord::has_header(std::string_view name) const {
  for (const auto& kv : headers)
    if (iequals(kv.first, name)) return true;
  return false;
}

std::string RequestRecord::path_only() const { return path.substr(0, path.find('?')); }

std::optional<std::string> RequestRecord::query(std::string_view name) const {
  std::size_t q = path.find('?');
  if (q == std::string::npos) return std::nullopt;
  return query_param(std::string_view(path).substr(q + 1), name);
}

// ---------------------------------------------------------------------------
// Impl

namespace {

constexpr std::size_t kMaxHead = 64 * 1024;
constexpr std::size_t kMaxBody = 16 * 1024 * 1024;
constexpr std::size_t kMaxWorkers = 256;
constexpr auto kHeadTimeout = std::chrono::seconds(10);
constexpr auto kIoTimeout = std::chrono::seconds(30);

enum class Kind { http, socks };

struct ParsedRequest {
  std::string method, target, version;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::string rest;  // bytes received after the head
};

std::string header_of(const ParsedRequest& r, std::string_view name) {
  for (const auto& [k, v] : r.headers)
    if (iequals(k, name)) return v;
  return {};
}

int open_listener(const std::string& bind, std::uint16_t port, std::uint16_t& bound) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket: " + std::string(std::strerror(errno)));
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  if (::inet_pton(AF_INET, bind.c_str(), &a.sin_addr) != 1) {
    ::close(fd);
    throw std::runtime_error("bad bind address " + bind);
  }
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 64) != 0) {
    int e = errno;
    ::close(fd);
    throw std::runtime_error("cannot listen on " + bind + ":" + std::to_string(port) + ": " + std::strerror(e));
  }
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  bound = ntohs(a.sin_port);
  return fd;
}

std::string peer_name(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return "?";
  char ip[INET_ADDRSTRLEN] = "?";
  ::inet_ntop(AF_INET, &a.sin_addr, ip, sizeof ip);
  return std::string(ip) + ":" + std::to_string(ntohs(a.sin_port));
}

// Makes the next close of fd send RST instead of FIN.
void set_reset(int fd) {
  linger lg{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
}

std::uint16_t local_port(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
  return ntohs(a.sin_port);
}

}  // namespace

struct Server::Impl {
  Config cfg;
  std::string banner_dir;

  httplib::Server http;
  std::thread http_thread;
  std::uint16_t internal_port = 0;

  int lfd_main = -1, lfd_alt = -1, lfd_socks = -1;
  std::uint16_t port_main = 0, port_alt = 0, port_socks = 0;
  int wake[2] = {-1, -1};
  std::thread accept_thread;
  std::atomic<bool> stopping{false};

  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::mutex conn_mu;
  std::set<int> active_fds;
  std::list<Worker> workers;

  mutable std::mutex rec_mu;
  mutable std::condition_variable rec_cv;
  std::deque<RequestRecord> records;
  std::uint64_t next_seq = 1;
  std::FILE* log = nullptr;

  mutable std::mutex state_mu;
  Adverts adverts;
  std::map<std::string, std::string> overrides;
  std::size_t schedule_step = 0;  // the next step of cfg.advert_schedule
  std::map<std::string, std::string> files;
  bool signed_in = false;
  int signouts = 0;

  explicit Impl(Config c);
  ~Impl();
  void start();
  void stop();

  // connection plumbing
  void accept_loop();
  void spawn(int fd, Kind kind);
  void reap(bool all);
  void register_fd(int fd);
  void close_fd(int fd);
  bool wait_fd(int fd, short events, Clock::time_point deadline);
  bool send_all(int fd, std::string_view data, Clock::time_point deadline = Clock::now() + kIoTimeout);
  long recv_some(int fd, char* buf, std::size_t n, Clock::time_point deadline);
  bool recv_exact(int fd, char* buf, std::size_t n, Clock::time_point deadline);
  bool sleep_for(std::chrono::milliseconds d);

  // request handling
  void serve_connection(int fd, Kind kind);
  void serve_http(int fd, const std::string& via);
  bool serve_socks(int fd);
  bool read_request(int fd, ParsedRequest& req, int& error_status);
  void record(int fd, const std::string& via, const ParsedRequest& req, const std::string& path,
              const std::string& proxy_host, const std::string& override_target);
  void dispatch(int fd, const ParsedRequest& req, const std::string& path);
  void relay(int fd, const ParsedRequest& req, const std::string& path);
  void hostile(int fd, const std::string& mode, const std::string& rest, const std::string& query);
  void bench_bytes(int fd, const std::string& query);
  void simple_answer(int fd, int code, std::string_view reason, std::string_view body,
                     std::string_view extra_headers = {});

  void setup_routes();
};

Server::Impl::Impl(Config c) : cfg(std::move(c)) {
  banner_dir = cfg.banner_dir.empty() ? Server::default_banner_dir() : cfg.banner_dir;
  adverts = cfg.adverts;
  for (auto& [p, t] : cfg.overrides) overrides[p] = t;
}

Server::Impl::~Impl() { stop(); }

void Server::Impl::start() {
  if (!cfg.log_path.empty()) {
    log = std::fopen(cfg.log_path.c_str(), "a");
    if (!log) throw std::runtime_error("cannot open log " + cfg.log_path + ": " + std::strerror(errno));
  }
  if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe failed");
  try {
    lfd_main = open_listener(cfg.bind, cfg.port, port_main);
    lfd_alt = open_listener(cfg.bind, cfg.alt_port, port_alt);
    lfd_socks = open_listener(cfg.bind, cfg.socks_port, port_socks);
  } catch (...) {
    stop();
    throw;
  }

  setup_routes();
  http.set_keep_alive_max_count(1);
  http.set_read_timeout(10, 0);
  http.set_write_timeout(30, 0);
  int p = http.bind_to_any_port("127.0.0.1");
  if (p <= 0) {
    stop();
    throw std::runtime_error("cannot bind the internal HTTP server");
  }
  internal_port = static_cast<std::uint16_t>(p);
  http_thread = std::thread([this] { http.listen_after_bind(); });
  // stop() before the listen loop runs would be lost: wait until it runs.
  for (int i = 0; i < 5000 && !http.is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  accept_thread = std::thread([this] { accept_loop(); });
}

void Server::Impl::stop() {
  if (stopping.exchange(true)) return;
  if (wake[1] >= 0) {
    char c = 1;
    [[maybe_unused]] auto n = ::write(wake[1], &c, 1);
  }
  if (accept_thread.joinable()) accept_thread.join();
  for (int* fd : {&lfd_main, &lfd_alt, &lfd_socks}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  {
    std::lock_guard<std::mutex> lk(conn_mu);
    for (int fd : active_fds) ::shutdown(fd, SHUT_RDWR);
  }
  reap(true);
  if (http_thread.joinable()) {
    http.stop();
    http_thread.join();
  }
  for (int& fd : wake) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  if (log) {
    std::fclose(log);
    log = nullptr;
  }
}

void Server::Impl::accept_loop() {
  while (!stopping) {
    pollfd fds[4] = {{wake[0], POLLIN, 0}, {lfd_main, POLLIN, 0}, {lfd_alt, POLLIN, 0}, {lfd_socks, POLLIN, 0}};
    int n = ::poll(fds, 4, 500);
    reap(false);
    if (stopping) break;
    if (n <= 0) continue;
    for (int i = 1; i < 4; ++i) {
      if (!(fds[i].revents & POLLIN)) continue;
      int fd = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      spawn(fd, i == 3 ? Kind::socks : Kind::http);
    }
  }
}

void Server::Impl::spawn(int fd, Kind kind) {
  std::lock_guard<std::mutex> lk(conn_mu);
  if (workers.size() >= kMaxWorkers || stopping) {
    ::close(fd);
    return;
  }
  active_fds.insert(fd);
  auto done = std::make_shared<std::atomic<bool>>(false);
  workers.push_back({std::thread([this, fd, kind, done] {
                       serve_connection(fd, kind);
                       close_fd(fd);
                       done->store(true);
                     }),
                     done});
}

void Server::Impl::reap(bool all) {
  std::list<Worker> finished;
  {
    std::lock_guard<std::mutex> lk(conn_mu);
    for (auto it = workers.begin(); it != workers.end();) {
      if (all || it->done->load()) {
        finished.push_back(std::move(*it));
        it = workers.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& w : finished) w.thread.join();
}

void Server::Impl::register_fd(int fd) {
  std::lock_guard<std::mutex> lk(conn_mu);
  active_fds.insert(fd);
  if (stopping) ::shutdown(fd, SHUT_RDWR);
}

void Server::Impl::close_fd(int fd) {
  std::lock_guard<std::mutex> lk(conn_mu);
  if (active_fds.erase(fd)) ::close(fd);
}

bool Server::Impl::wait_fd(int fd, short events, Clock::time_point deadline) {
  while (!stopping) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, events, 0};
    int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 200)));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
  }
  return false;
}

bool Server::Impl::send_all(int fd, std::string_view data, Clock::time_point deadline) {
  std::size_t off = 0;
  while (off < data.size()) {
    if (!wait_fd(fd, POLLOUT, deadline)) return false;
    ssize_t n = ::send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      return false;
    }
    off += static_cast<std::size_t>(n);
  }
  return true;
}

long Server::Impl::recv_some(int fd, char* buf, std::size_t n, Clock::time_point deadline) {
  while (true) {
    if (!wait_fd(fd, POLLIN, deadline)) return -1;
    ssize_t r = ::recv(fd, buf, n, MSG_DONTWAIT);
    if (r < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    return r;
  }
}

bool Server::Impl::recv_exact(int fd, char* buf, std::size_t n, Clock::time_point deadline) {
  std::size_t got = 0;
  while (got < n) {
    long r = recv_some(fd, buf + got, n - got, deadline);
    if (r <= 0) return false;
    got += static_cast<std::size_t>(r);
  }
  return true;
}

bool Server::Impl::sleep_for(std::chrono::milliseconds d) {
  auto until = Clock::now() + d;
  while (!stopping) {
    auto now = Clock::now();
    if (now >= until) return true;
    std::this_thread::sleep_for(std::min<Clock::duration>(until - now, std::chrono::milliseconds(50)));
  }
  return false;
}

// ---------------------------------------------------------------------------
// Requests

void Server::Impl::serve_connection(int fd, Kind kind) {
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (kind == Kind::socks) {
    if (!serve_socks(fd)) return;
    serve_http(fd, "socks5");
  } else {
    serve_http(fd, "direct");
  }
}

bool Server::Impl::read_request(int fd, ParsedRequest& req, int& error_status) {
  error_status = 0;
  std::string buf;
  auto deadline = Clock::now() + kHeadTimeout;
  std::size_t head_end = std::string::npos, sep = 0;
  char tmp[8192];
  while (true) {
    std::size_t a = buf.find("\r\n\r\n"), b = buf.find("\n\n");
    if (a != std::string::npos && (b == std::string::npos || a < b)) {
      head_end = a;
      sep = 4;
    } else if (b != std::string::npos) {
      head_end = b;
      sep = 2;
    }
    if (head_end != std::string::npos) break;
    if (buf.size() > kMaxHead) {
      error_status = 431;
      return false;
    }
    long n = recv_some(fd, tmp, sizeof tmp, deadline);
    if (n <= 0) return false;
    buf.append(tmp, static_cast<std::size_t>(n));
  }
  std::string head = buf.substr(0, head_end);
  req.rest = buf.substr(head_end + sep);
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos <= head.size()) {
    std::size_t nl = head.find('\n', pos);
    std::string line = head.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (nl == std::string::npos) break;
    pos = nl + 1;
  }
  // Request line: METHOD SP TARGET SP VERSION
  std::istringstream rl(lines[0]);
  if (!(rl >> req.method >> req.target >> req.version) || req.version.rfind("HTTP/", 0) != 0) {
    error_status = 400;
    return false;
  }
  if (lines.size() > 201) {
    error_status = 431;
    return false;
  }
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::size_t c = lines[i].find(':');
    if (c == std::string::npos) continue;
    req.headers.emplace_back(trim(lines[i].substr(0, c)), trim(lines[i].substr(c + 1)));
  }
  std::string cl = header_of(req, "Content-Length");
  if (!cl.empty()) {
    char* end = nullptr;
    unsigned long long len = std::strtoull(cl.c_str(), &end, 10);
    if (*end != '\0' || cl[0] == '-') {
      error_status = 400;
      return false;
    }
    if (len > kMaxBody) {
      error_status = 413;
      return false;
    }
    req.body = req.rest.substr(0, len);
    while (req.body.size() < len) {
      long n = recv_some(fd, tmp, std::min<std::size_t>(sizeof tmp, len - req.body.size()), deadline);
      if (n <= 0) return false;
      req.body.append(tmp, static_cast<std::size_t>(n));
    }
  }
  return true;
}

void Server::Impl::simple_answer(int fd, int code, std::string_view reason, std::string_view body,
                                 std::string_view extra_headers) {
  std::string r =
      "HTTP/1.0 " + std::to_string(code) + " " + std::string(reason) +
      "\r\nServer: brevaro-service\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
      "\r\nConnection: close\r\n" + std::string(extra_headers) + "\r\n";
  r += body;
  send_all(fd, r);
}

void Server::Impl::serve_http(int fd, const std::string& via_in) {
  ParsedRequest req;
  int err = 0;
  if (!read_request(fd, req, err)) {
    if (err == 431) simple_answer(fd, 431, "Request Header Fields Too Large", status_page(431, "Too Large"));
    else if (err == 413) simple_answer(fd, 413, "Payload Too Large", status_page(413, "Too Large"));
    else if (err == 400) simple_answer(fd, 400, "Bad Request", status_page(400, "Bad Request"));
    return;
  }
  std::string via = via_in;
  std::string path = req.target, proxy_host;
  if (lower(req.target.substr(0, 7)) == "http://") {
    std::string rest = req.target.substr(7);
    std::size_t slash = rest.find('/');
    proxy_host = rest.substr(0, slash);
    path = slash == std::string::npos ? "/" : rest.substr(slash);
    if (via == "direct") via = "proxy";
  } else if (path.empty() || path[0] != '/') {
    record(fd, via, req, path, proxy_host, {});
    simple_answer(fd, 400, "Bad Request", status_page(400, "Bad Request"));
    return;
  }
  std::string override_target;
  {
    std::lock_guard<std::mutex> lk(state_mu);
    auto it = overrides.find(path.substr(0, path.find('?')));
    if (it != overrides.end()) override_target = it->second;
    if (override_target.empty() && !cfg.advert_schedule.empty() &&
        path.substr(0, path.find('?')) == "/brevaro/quillbeam.asp") {
      const std::string& step = cfg.advert_schedule[schedule_step++ % cfg.advert_schedule.size()];
      if (step.rfind("/hostile/", 0) == 0) override_target = step;
      else if (auto list = Adverts::preset(step)) adverts = std::move(*list);
    }
  }
  record(fd, via, req, path, proxy_host, override_target);
  if (!override_target.empty()) path = override_target;

  if (via == "proxy" && !cfg.proxy_user.empty()) {
    std::string want = "basic " + base64(cfg.proxy_user + ":" + cfg.proxy_password);
    std::string got = header_of(req, "Proxy-Authorization");
    if (!iequals(trim(got), want)) {
      simple_answer(fd, 407, "Proxy Authentication Required", status_page(407, "Proxy Authentication Required"),
                    "Proxy-Authenticate: Basic realm=\"brevaro\"\r\n");
      return;
    }
  }
  dispatch(fd, req, path);
}

void Server::Impl::record(int fd, const std::string& via, const ParsedRequest& req, const std::string& path,
                          const std::string& proxy_host, const std::string& override_target) {
  RequestRecord r;
  r.time = utc_now_iso();
  r.via = via;
  r.port = local_port(fd);
  if (via == "socks5") r.port = port_socks;
  r.peer = peer_name(fd);
  r.method = req.method;
  r.target = req.target;
  r.path = path;
  r.version = req.version;
  r.proxy_host = proxy_host;
  r.body_length = req.body.size();
  r.override_target = override_target;
  for (const auto& [k, v] : req.headers) r.headers.emplace_back(k, v.substr(0, 1024));

  std::lock_guard<std::mutex> lk(rec_mu);
  r.seq = next_seq++;
  std::string j = "{\"seq\":" + std::to_string(r.seq) + ",\"time\":\"" + r.time + "\",\"via\":\"" + via +
                  "\",\"port\":" + std::to_string(r.port) + ",\"peer\":\"" + json_escape(r.peer) + "\",\"method\":\"" +
                  json_escape(r.method) + "\",\"target\":\"" + json_escape(r.target) + "\",\"path\":\"" +
                  json_escape(r.path) + "\",\"version\":\"" + json_escape(r.version) + "\"";
  if (!proxy_host.empty()) j += ",\"proxy_host\":\"" + json_escape(proxy_host) + "\"";
  if (!override_target.empty()) j += ",\"override\":\"" + json_escape(override_target) + "\"";
  j += ",\"headers\":{";
  bool first = true;
  for (const auto& [k, v] : r.headers) {
    if (!first) j += ",";
    first = false;
    j += "\"" + json_escape(k) + "\":\"" + json_escape(v) + "\"";
  }
  j += "},\"body_length\":" + std::to_string(r.body_length) + "}";
  r.json = j;
  if (log) {
    std::fputs(j.c_str(), log);
    std::fputc('\n', log);
    std::fflush(log);
  }
  records.push_back(std::move(r));
  while (records.size() > cfg.max_records) records.pop_front();
  rec_cv.notify_all();
}

void Server::Impl::dispatch(int fd, const ParsedRequest& req, const std::string& path) {
  std::string p = path.substr(0, path.find('?'));
  std::string query = path.find('?') == std::string::npos ? "" : path.substr(path.find('?') + 1);
  if (p.rfind("/hostile/", 0) == 0) {
    std::string rest = p.substr(9);
    std::size_t slash = rest.find('/');
    std::string mode = rest.substr(0, slash);
    hostile(fd, mode, slash == std::string::npos ? "" : rest.substr(slash + 1), query);
    return;
  }
  if (p == "/bench/bytes") {
    bench_bytes(fd, query);
    return;
  }
  relay(fd, req, path);
}

void Server::Impl::relay(int fd, const ParsedRequest& req, const std::string& path) {
  int up = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (up < 0) return;
  register_fd(up);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(internal_port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(up, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close_fd(up);
    simple_answer(fd, 502, "Bad Gateway", status_page(502, "Bad Gateway"));
    return;
  }
  std::string head = req.method + " " + path + " HTTP/1.1\r\n";
  for (const auto& [k, v] : req.headers) {
    if (iequals(k, "Connection") || iequals(k, "Proxy-Connection") || iequals(k, "Keep-Alive") ||
        iequals(k, "Proxy-Authorization") || iequals(k, "Content-Length") || iequals(k, "Transfer-Encoding"))
      continue;
    head += k + ": " + v + "\r\n";
  }
  if (!req.body.empty() || req.method == "POST" || req.method == "PUT")
    head += "Content-Length: " + std::to_string(req.body.size()) + "\r\n";
  head += "Connection: close\r\n\r\n";
  head += req.body;
  if (send_all(up, head)) {
    char buf[65536];
    while (true) {
      long n = recv_some(up, buf, sizeof buf, Clock::now() + kIoTimeout);
      if (n <= 0) break;
      if (!send_all(fd, std::string_view(buf, static_cast<std::size_t>(n)))) break;
    }
  }
  close_fd(up);
}

void Server::Impl::bench_bytes(int fd, const std::string& query) {
  static const std::string chunk = [] {
    std::string s(65536, 'x');
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>('a' + i % 26);
    return s;
  }();
  unsigned long long n = 0;
  if (auto v = query_param(query, "n")) n = std::strtoull(v->c_str(), nullptr, 10);
  n = std::min<unsigned long long>(n, 4ULL << 30);
  std::string head =
      "HTTP/1.0 200 OK\r\nServer: brevaro-service\r\nContent-Type: application/octet-stream\r\n"
      "Content-Length: " +
      std::to_string(n) + "\r\nConnection: close\r\n\r\n";
  if (!send_all(fd, head)) return;
  while (n > 0 && !stopping) {
    std::size_t k = static_cast<std::size_t>(std::min<unsigned long long>(n, chunk.size()));
    if (!send_all(fd, std::string_view(chunk).substr(0, k))) return;
    n -= k;
  }
}

// ---------------------------------------------------------------------------
// Hostile modes

namespace {

long long num_param(const std::string& query, std::string_view name, long long def, long long lo, long long hi) {
  auto v = query_param(query, name);
  if (!v || v->empty()) return def;
  char* end = nullptr;
  long long x = std::strtoll(v->c_str(), &end, 10);
  if (*end != '\0') return def;
  return std::clamp(x, lo, hi);
}

struct Lcg {
  std::uint32_t s = 0x2545F491u;
  unsigned char next() {
    s = s * 1664525u + 1013904223u;
    return static_cast<unsigned char>(s >> 24);
  }
};

const char* kHostileModes[] = {"404",
                               "status",
                               "redirect-root",
                               "redirect-path",
                               "redirect-absolute",
                               "redirect-loop",
                               "redirect-chain",
                               "slow",
                               "slow-header",
                               "stall",
                               "no-length",
                               "headerless",
                               "endless",
                               "long-header-line",
                               "big-header-block",
                               "many-header-lines",
                               "garbage",
                               "garbage-nolf",
                               "reset",
                               "reset-body",
                               "close",
                               "bad-length",
                               "lf-only",
                               "error-page",
                               "error-text",
                               "bytes",
                               "huge-screen"};

}  // namespace

void Server::Impl::hostile(int fd, const std::string& mode, const std::string& rest, const std::string& query) {
  const std::string ok_head = "HTTP/1.0 200 OK\r\nServer: brevaro-service\r\nContent-Type: text/html\r\n";
  auto redirect = [&](const std::string& location) {
    std::string body = "<html><head><title>Object moved</title></head><body>Moved to <a href=\"" + location +
                       "\">here</a>.</body></html>\r\n";
    send_all(fd, "HTTP/1.0 302 Object Moved\r\nServer: brevaro-service\r\nLocation: " + location +
                     "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
                     "\r\nConnection: close\r\n\r\n" + body);
  };

  if (mode.empty()) {
    std::string body = "<html><head><title>brevaro - Hostile Modes</title></head><body><ul>";
    for (const char* m : kHostileModes) body += std::string("<li><a href=\"/hostile/") + m + "\">" + m + "</a></li>";
    body += "</ul></body></html>\r\n";
    simple_answer(fd, 200, "OK", body);
  } else if (mode == "404") {
    std::string reason = query_param(query, "reason").value_or("Not Found (hostile)");
    simple_answer(fd, 404, reason, not_found_page("/hostile/404"));
  } else if (mode == "status") {
    int code = static_cast<int>(num_param(query, "code", 500, 100, 999));
    std::string reason = query_param(query, "reason").value_or(code == 500 ? "Internal Server Error" : "Status");
    simple_answer(fd, code, reason, status_page(code, reason));
  } else if (mode == "redirect-root") {
    redirect("/");
  } else if (mode == "redirect-path") {
    redirect("/brevaro/pages/accounts.htm");
  } else if (mode == "redirect-absolute") {
    redirect(query_param(query, "to")
                 .value_or("http://" + cfg.bind + ":" + std::to_string(port_alt) + "/brevaro/pages/accounts.htm"));
  } else if (mode == "redirect-loop") {
    redirect("/hostile/redirect-loop");
  } else if (mode == "redirect-chain") {
    long n = std::strtol(rest.c_str(), nullptr, 10);
    n = std::clamp(n, 0L, 1000L);
    if (n == 0) {
      simple_answer(fd, 200, "OK",
                    "<html><head><title>brevaro - Chain End</title></head><body>End of the chain.</body></html>\r\n");
    } else {
      redirect("/hostile/redirect-chain/" + std::to_string(n - 1));
    }
  } else if (mode == "slow") {
    long long bytes = num_param(query, "bytes", 64, 0, 1 << 20);
    long long ms = num_param(query, "ms", 50, 0, 10000);
    if (!send_all(fd, ok_head + "Content-Length: " + std::to_string(bytes) + "\r\n\r\n")) return;
    auto end = Clock::now() + std::chrono::seconds(60);
    for (long long i = 0; i < bytes && Clock::now() < end; ++i) {
      if (!sleep_for(std::chrono::milliseconds(ms))) return;
      if (!send_all(fd, std::string(1, static_cast<char>('a' + i % 26)))) return;
    }
  } else if (mode == "slow-header") {
    long long ms = num_param(query, "ms", 50, 0, 10000);
    std::string all = ok_head + "Content-Length: 2\r\n\r\nok";
    auto end = Clock::now() + std::chrono::seconds(60);
    for (std::size_t i = 0; i < all.size() && Clock::now() < end; ++i) {
      if (!send_all(fd, std::string_view(all).substr(i, 1))) return;
      if (!sleep_for(std::chrono::milliseconds(ms))) return;
    }
  } else if (mode == "stall") {
    long long ms = num_param(query, "ms", 5000, 0, 120000);
    if (!rest.empty() && std::isdigit(static_cast<unsigned char>(rest[0])))
      ms = std::clamp(std::strtoll(rest.c_str(), nullptr, 10), 0LL, 120000LL);
    sleep_for(std::chrono::milliseconds(ms));
  } else if (mode == "bytes") {
    long long n = std::clamp(std::strtoll(rest.c_str(), nullptr, 10), 0LL, 64LL << 20);
    if (!send_all(fd, "HTTP/1.0 200 OK\r\nServer: brevaro-service\r\nContent-Type: image/gif\r\nContent-Length: " +
                          std::to_string(n) + "\r\n\r\n"))
      return;
    std::string block(64 * 1024, 'b');
    for (long long sent = 0; sent < n && !stopping;) {
      std::size_t k = static_cast<std::size_t>(std::min<long long>(n - sent, static_cast<long long>(block.size())));
      if (!send_all(fd, std::string_view(block).substr(0, k))) return;
      sent += static_cast<long long>(k);
    }
  } else if (mode == "huge-screen") {
    // 43 bytes of GIF that declare a 16384 x 16384 screen around one
    // transparent 1 x 1 frame: a picture that decodes to gigabytes.
    static const unsigned char gif[] = {'G',  'I',  'F',  '8',  '9',  'a',  0x00, 0x40, 0x00, 0x40, 0x80,
                                        0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x21, 0xF9, 0x04,
                                        0x01, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x01,
                                        0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};
    send_all(fd, "HTTP/1.0 200 OK\r\nServer: brevaro-service\r\nContent-Type: image/gif\r\nContent-Length: " +
                     std::to_string(sizeof gif) + "\r\n\r\n" +
                     std::string(reinterpret_cast<const char*>(gif), sizeof gif));
  } else if (mode == "no-length") {
    send_all(fd, ok_head +
                     "Connection: close\r\n\r\n<html><head><title>brevaro - No Length</title></head>"
                     "<body>This body has no Content-Length; the close ends it.</body></html>\r\n");
  } else if (mode == "headerless") {
    send_all(fd,
             "<HTML><HEAD><TITLE>Headerless</TITLE></HEAD><BODY>An answer without a status line."
             "</BODY></HTML>\r\n");
  } else if (mode == "endless") {
    long long max = num_param(query, "max", 64LL << 20, 0, 64LL << 20);
    if (!send_all(fd, ok_head + "\r\n")) return;
    std::string line(1023, 'x');
    line += '\n';
    std::string block;
    for (int i = 0; i < 64; ++i) block += line;
    long long sent = 0;
    while (sent < max && !stopping) {
      std::size_t k = static_cast<std::size_t>(std::min<long long>(max - sent, static_cast<long long>(block.size())));
      if (!send_all(fd, std::string_view(block).substr(0, k))) return;
      sent += static_cast<long long>(k);
    }
  } else if (mode == "long-header-line") {
    long long n = num_param(query, "n", 9000, 16, 1 << 20);
    std::string line = "X-Long: ";
    line += std::string(static_cast<std::size_t>(n) - line.size(), 'L');
    send_all(fd, ok_head + line + "\r\nContent-Length: 2\r\n\r\nok");
  } else if (mode == "big-header-block") {
    long long kib = num_param(query, "kib", 70, 1, 16 * 1024);
    std::string h = ok_head;
    for (int i = 0; h.size() <= static_cast<std::size_t>(kib) * 1024; ++i) {
      std::string name = "X-Fill-" + std::to_string(i) + ": ";
      h += name + std::string(998 - name.size(), 'F') + "\r\n";
    }
    send_all(fd, h + "Content-Length: 2\r\n\r\nok");
  } else if (mode == "many-header-lines") {
    long long n = num_param(query, "n", 150, 1, 100000);
    std::string h = ok_head;
    for (long long i = 0; i < n; ++i) h += "X-Line-" + std::to_string(i) + ": " + std::to_string(i) + "\r\n";
    send_all(fd, h + "Content-Length: 2\r\n\r\nok");
  } else if (mode == "garbage" || mode == "garbage-nolf") {
    bool nolf = mode == "garbage-nolf";
    long long n = num_param(query, "n", nolf ? 20000 : 4096, 0, 64LL << 20);
    Lcg rng;
    std::string g;
    g.reserve(static_cast<std::size_t>(n));
    while (static_cast<long long>(g.size()) < n) {
      unsigned char c = rng.next();
      if (nolf && c == '\n') continue;
      g += static_cast<char>(c);
    }
    send_all(fd, g);
  } else if (mode == "reset") {
    set_reset(fd);  // the caller's close then sends RST
  } else if (mode == "reset-body") {
    if (send_all(fd, ok_head + "Content-Length: 100000\r\n\r\n" + std::string(1000, 'r'))) {
      sleep_for(std::chrono::milliseconds(50));
    }
    set_reset(fd);
  } else if (mode == "close") {
    // nothing: the connection is closed by the caller
  } else if (mode == "bad-length") {
    std::string v = query_param(query, "value").value_or("abc");
    send_all(fd, ok_head + "Content-Length: " + v + "\r\nConnection: close\r\n\r\n" +
                     "<html><head><title>brevaro - Bad Length</title></head><body>ok</body></html>\r\n");
  } else if (mode == "lf-only") {
    std::string body = "<html><head><title>brevaro - LF Only</title></head><body>ok</body></html>\n";
    send_all(fd, "HTTP/1.0 200 OK\nServer: brevaro-service\nContent-Type: text/html\nContent-Length: " +
                     std::to_string(body.size()) + "\n\n" + body);
  } else if (mode == "error-page") {
    std::string body =
        "<font face=\"Arial\" size=2>\r\n<p>Microsoft VBScript runtime </font> <font face=\"Arial\" size=2>"
        "error '800a000d'</font>\r\n<p>\r\n<font face=\"Arial\" size=2>Type mismatch</font>\r\n";
    send_all(fd, ok_head + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  } else if (mode == "error-text") {
    std::string body = "Error: the advert database is not available\r\n";
    send_all(fd, ok_head + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  } else {
    simple_answer(fd, 404, "Not Found", not_found_page("/hostile/" + mode));
  }
}

// ---------------------------------------------------------------------------
// SOCKS5

bool Server::Impl::serve_socks(int fd) {
  auto deadline = Clock::now() + kHeadTimeout;
  unsigned char hdr[2];
  if (!recv_exact(fd, reinterpret_cast<char*>(hdr), 2, deadline) || hdr[0] != 5) return false;
  unsigned char methods[256];
  if (!recv_exact(fd, reinterpret_cast<char*>(methods), hdr[1], deadline)) return false;
  bool has_none = false, has_user = false;
  for (int i = 0; i < hdr[1]; ++i) {
    has_none |= methods[i] == 0x00;
    has_user |= methods[i] == 0x02;
  }
  unsigned char method = 0xFF;
  if (!cfg.socks_user.empty()) {
    if (has_user) method = 0x02;
  } else if (has_none) {
    method = 0x00;
  } else if (has_user) {
    method = 0x02;
  }
  const char sel[2] = {5, static_cast<char>(method)};
  if (!send_all(fd, std::string_view(sel, 2)) || method == 0xFF) return false;
  if (method == 0x02) {
    unsigned char v[2];
    if (!recv_exact(fd, reinterpret_cast<char*>(v), 2, deadline) || v[0] != 1) return false;
    std::string user(v[1], '\0');
    if (!recv_exact(fd, user.data(), user.size(), deadline)) return false;
    unsigned char plen;
    if (!recv_exact(fd, reinterpret_cast<char*>(&plen), 1, deadline)) return false;
    std::string pass(plen, '\0');
    if (!recv_exact(fd, pass.data(), pass.size(), deadline)) return false;
    bool ok = cfg.socks_user.empty() || (user == cfg.socks_user && pass == cfg.socks_password);
    const char st[2] = {1, static_cast<char>(ok ? 0 : 1)};
    if (!send_all(fd, std::string_view(st, 2)) || !ok) return false;
  }
  unsigned char rq[4];
  if (!recv_exact(fd, reinterpret_cast<char*>(rq), 4, deadline) || rq[0] != 5) return false;
  auto reply = [&](unsigned char code) {
    unsigned char r[10] = {5, code, 0, 1, 127, 0, 0, 1, 0, 0};
    ::inet_pton(AF_INET, cfg.bind.c_str(), r + 4);
    r[8] = static_cast<unsigned char>(port_main >> 8);
    r[9] = static_cast<unsigned char>(port_main & 0xFF);
    send_all(fd, std::string_view(reinterpret_cast<char*>(r), 10));
  };
  std::string host;
  if (rq[3] == 1) {
    unsigned char ip[4];
    if (!recv_exact(fd, reinterpret_cast<char*>(ip), 4, deadline)) return false;
    host =
        std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." + std::to_string(ip[2]) + "." + std::to_string(ip[3]);
  } else if (rq[3] == 3) {
    unsigned char len;
    if (!recv_exact(fd, reinterpret_cast<char*>(&len), 1, deadline)) return false;
    host.assign(len, '\0');
    if (!recv_exact(fd, host.data(), len, deadline)) return false;
  } else {
    reply(0x08);  // address type not supported
    return false;
  }
  unsigned char pb[2];
  if (!recv_exact(fd, reinterpret_cast<char*>(pb), 2, deadline)) return false;
  unsigned port = (pb[0] << 8) | pb[1];
  if (rq[1] != 1) {
    reply(0x07);  // command not supported
    return false;
  }
  if (host != "127.0.0.1" && host != cfg.bind && !iequals(host, "localhost")) {
    reply(0x02);  // not allowed by the rule set
    return false;
  }
  if (port != port_main && port != port_alt) {
    reply(0x05);  // connection refused
    return false;
  }
  reply(0x00);
  return true;
}

// ---------------------------------------------------------------------------
// The normal service (internal httplib server)

void Server::Impl::setup_routes() {
  auto not_found = [](httplib::Response& res, const std::string& what) {
    res.status = 404;
    res.set_content(not_found_page(what), "text/html");
  };
  http.set_default_headers({{"Server", "brevaro-service"}});
  http.Get("/", [](const httplib::Request&, httplib::Response& res) { res.set_content(home_page(), "text/html"); });
  http.Get("/brevaro/url.asp", [not_found](const httplib::Request& req, httplib::Response& res) {
    std::string key = lower(req.get_param_value("url"));
    if (!is_redirect_key(key)) return not_found(res, "url.asp?url=" + req.get_param_value("url"));
    std::string location = "/brevaro/pages/" + key + ".htm";
    res.status = 302;
    res.set_header("Location", location);
    res.set_content("<html><head><title>Object moved</title></head><body>Object moved to <a href=\"" + location +
                        "\">here</a>.</body></html>\r\n",
                    "text/html");
  });
  http.Get(R"(/brevaro/pages/([A-Za-z]+)\.htm)",
           [this, not_found](const httplib::Request& req, httplib::Response& res) {
             std::string key = lower(req.matches[1].str());
             Page page = section_page(key);
             if (!page.found) return not_found(res, req.path);
             {
               std::lock_guard<std::mutex> lk(state_mu);
               if (key == "signout") {
                 ++signouts;
                 signed_in = false;
               } else if (key != "scrollingmessage" && key != "defaultbanner" && key != "downloadnewversion" &&
                          key != "website") {
                 signed_in = true;
               }
             }
             res.set_content(page.html, "text/html");
           });
  http.Get(R"(/brevaro/ads/([A-Za-z0-9_.-]+)\.htm)", [](const httplib::Request& req, httplib::Response& res) {
    res.set_content(advert_landing_page(req.matches[1].str()), "text/html");
  });
  http.Get("/brevaro/quillbeam.asp", [this](const httplib::Request&, httplib::Response& res) {
    Adverts a;
    {
      std::lock_guard<std::mutex> lk(state_mu);
      a = adverts;
    }
    res.set_content(advert_document(a, cfg.bind, port_main), "text/html");
  });
  http.Get("/brevaro/quillbeam-logs.asp", [](const httplib::Request& req, httplib::Response& res) {
    std::string option = req.get_param_value("option");
    if (!req.has_param("BannerID") || (option != "d" && option != "c")) {
      res.status = 400;
      res.set_content("ERROR bad log request\r\n", "text/html");
      return;
    }
    res.set_content("OK\r\n", "text/html");
  });
  http.Get(R"(/brevaro/banners/([^/]+))", [this, not_found](const httplib::Request& req, httplib::Response& res) {
    std::string name = req.matches[1].str();
    std::string type = "application/octet-stream";
    std::string ext = lower(name.size() >= 4 ? name.substr(name.size() - 4) : "");
    if (ext == ".gif") type = "image/gif";
    else if (ext == ".swf") type = "application/x-shockwave-flash";
    {
      std::lock_guard<std::mutex> lk(state_mu);
      auto it = files.find(name);
      if (it != files.end()) {
        res.set_content(it->second, type.c_str());
        return;
      }
    }
    if (name.find("..") != std::string::npos || name.find('\\') != std::string::npos) return not_found(res, req.path);
    std::ifstream in(banner_dir + "/" + name, std::ios::binary);
    if (!in) return not_found(res, req.path);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    res.set_content(std::move(data), type.c_str());
  });
  http.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
    if (res.status == 404 && res.body.empty()) res.set_content(not_found_page(req.path), "text/html");
  });
}

// ---------------------------------------------------------------------------
// Server

Server::Server(Config config) : impl_(std::make_unique<Impl>(std::move(config))) { impl_->start(); }

Server::~Server() { impl_->stop(); }

std::uint16_t Server::port() const { return impl_->port_main; }
std::uint16_t Server::alt_port() const { return impl_->port_alt; }
std::uint16_t Server::socks_port() const { return impl_->port_socks; }
std::string Server::root_url() const { return "http://" + impl_->cfg.bind + ":" + std::to_string(impl_->port_main); }
std::string Server::base_url() const { return root_url() + "/brevaro/"; }
std::string Server::url(std::string_view path) const { return root_url() + std::string(path); }
std::string Server::redirect_link(std::string_view key) const { return base_url() + "url.asp?url=" + std::string(key); }

std::vector<RequestRecord> Server::requests() const {
  std::lock_guard<std::mutex> lk(impl_->rec_mu);
  return {impl_->records.begin(), impl_->records.end()};
}

std::size_t Server::request_count() const {
  std::lock_guard<std::mutex> lk(impl_->rec_mu);
  return impl_->records.size();
}

void Server::clear_requests() {
  std::lock_guard<std::mutex> lk(impl_->rec_mu);
  impl_->records.clear();
}

std::optional<RequestRecord> Server::wait_for(const std::function<bool(const RequestRecord&)>& pred,
                                              std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lk(impl_->rec_mu);
  std::optional<RequestRecord> found;
  impl_->rec_cv.wait_for(lk, timeout, [&] {
    for (const auto& r : impl_->records) {
      if (pred(r)) {
        found = r;
        return true;
      }
    }
    return false;
  });
  return found;
}

std::optional<RequestRecord> Server::wait_for_path(std::string_view path, std::chrono::milliseconds timeout) const {
  std::string p(path);
  return wait_for([&](const RequestRecord& r) { return r.path_only() == p; }, timeout);
}

void Server::set_adverts(Adverts adverts) {
  std::lock_guard<std::mutex> lk(impl_->state_mu);
  impl_->adverts = std::move(adverts);
}

Adverts Server::adverts() const {
  std::lock_guard<std::mutex> lk(impl_->state_mu);
  return impl_->adverts;
}

void Server::set_override(std::string path, std::string target) {
  std::lock_guard<std::mutex> lk(impl_->state_mu);
  if (target.empty()) impl_->overrides.erase(path);
  else impl_->overrides[std::move(path)] = std::move(target);
}

void Server::clear_overrides() {
  std::lock_guard<std::mutex> lk(impl_->state_mu);
  impl_->overrides.clear();
}

void Server::put_file(std::string name, std::string data) {
  std::lock_guard<std::mutex> lk(impl_->state_mu);
  impl_->files[std::move(name)] = std::move(data);
}

void Server::remove_file(const std::string& name) {
  std::lock_guard<std::mutex> lk(impl_->state_mu);
  impl_->files.erase(name);
}

bool Server::signed_in() const {
  std::lock_guard<std::mutex> lk(impl_->state_mu);
  return impl_->signed_in;
}

int Server::signouts() const {
  std::lock_guard<std::mutex> lk(impl_->state_mu);
  return impl_->signouts;
}

std::string Server::default_banner_dir() { return std::string(BREVARO_SERVICE_DATA_DIR) + "/banners"; }

}  // namespace brevaro::service
