#include "net/posix/socket_api.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace brevaro::net::posix {

int mapErrno(int err) {
  switch (err) {
    case 0: return 0;
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES: return 10013;
    case EPERM: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: return 10024;
    case ENFILE: return 10024;
    case EAGAIN: return 10035;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK: return 10035;
#endif
    case EINPROGRESS: return 10035;  // a non-blocking connect reports "would block" like Winsock
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case EPIPE: return 10054;
    case ENOBUFS: return 10055;
    case ENOMEM: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    default: return 10022;
  }
}

namespace {

class PosixChannel final : public Channel {
 public:
  PosixChannel(PosixSocketApi& api, MessageSink& sink) : api_(api), sink_(sink) {}
  ~PosixChannel() override { anchor_.expire(); }

  void post(unsigned msg, std::uintptr_t w, std::intptr_t l) override {
    api_.loop().post([sink = anchor_.ref(&sink_), msg, w, l] {
      if (auto* s = sink.lock()) s->handleMessage(msg, w, l);
    });
  }
  int asyncSelect(SocketHandle s, unsigned msg, unsigned mask) override {
    return api_.select(s, {anchor_.ref(&sink_), msg}, mask);
  }
  LookupHandle asyncGetHostByName(unsigned msg, std::string_view name, int* error) override {
    LookupHandle h = next_++;
    Pending p;
    auto he = api_.getHostByName(name, &p.error);
    if (he) p.entry = std::move(*he);
    pending_.emplace(h, std::move(p));
    (void)error;
    postCompletion(h, msg);
    return h;
  }
  LookupHandle asyncGetHostByAddr(unsigned msg, std::uint32_t addr, int* error) override {
    LookupHandle h = next_++;
    Pending p;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(addr);
    char host[NI_MAXHOST];
    int r = ::getnameinfo(reinterpret_cast<sockaddr*>(&sa), sizeof sa, host, sizeof host, nullptr, 0, NI_NAMEREQD);
    if (r == 0) {
      p.entry.name = host;
      p.entry.addrs.push_back(addr);
    } else {
      p.error = 11001;
    }
    pending_.emplace(h, std::move(p));
    (void)error;
    postCompletion(h, msg);
    return h;
  }
  HostEntry takeLookupResult(LookupHandle h) override {
    auto it = pending_.find(h);
    if (it == pending_.end()) return {};
    HostEntry e = std::move(it->second.entry);
    pending_.erase(it);
    return e;
  }
  int cancelAsyncRequest(LookupHandle h) override {
    auto it = pending_.find(h);
    if (it == pending_.end() || it->second.delivered) return 10022;
    pending_.erase(it);
    return 0;
  }

 private:
  struct Pending {
    HostEntry entry;
    int error = 0;
    bool delivered = false;
  };
  void postCompletion(LookupHandle h, unsigned msg) {
    api_.loop().post([this, self = anchor_.ref(this), h, msg] {
      if (!self.alive()) return;
      auto it = pending_.find(h);
      if (it == pending_.end()) return;  // cancelled
      it->second.delivered = true;
      auto lparam = static_cast<std::intptr_t>(static_cast<std::uintptr_t>(it->second.error & 0xffff) << 16);
      sink_.handleMessage(msg, h, lparam);
    });
  }

  PosixSocketApi& api_;
  MessageSink& sink_;
  base::WeakAnchor anchor_;  // queued work for this channel checks it
  std::map<LookupHandle, Pending> pending_;
  LookupHandle next_ = 1;
};

sockaddr_in toSockaddr(SockAddr a) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(a.addr);
  sa.sin_port = htons(a.port);
  return sa;
}

SockAddr fromSockaddr(const sockaddr_in& sa) { return {ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port)}; }

}  // namespace

PosixSocketApi::PosixSocketApi(EventLoop& loop) : loop_(loop) { loop_.addSource(*this); }

PosixSocketApi::~PosixSocketApi() {
  loop_.removeSource(*this);
  for (auto& [fd, st] : fds_) ::close(fd);
}

std::unique_ptr<Channel> PosixSocketApi::createChannel(MessageSink& sink) {
  return std::make_unique<PosixChannel>(*this, sink);
}

int PosixSocketApi::fail(int err) {
  lastError_ = err;
  return -1;
}

int PosixSocketApi::failErrno() { return fail(mapErrno(errno)); }

SocketHandle PosixSocketApi::socket(int type, int protocol) {
  int t = type == sock_dgram ? SOCK_DGRAM : SOCK_STREAM;
  int p = protocol == ipproto_udp ? IPPROTO_UDP : (protocol == ipproto_tcp ? IPPROTO_TCP : protocol);
  int fd = ::socket(AF_INET, t | SOCK_NONBLOCK | SOCK_CLOEXEC, p);
  if (fd < 0) {
    failErrno();
    return invalid_socket;
  }
  FdState st;
  st.generation = nextGeneration_++;
  st.established = type == sock_dgram;
  fds_[fd] = st;
  return fd;
}

int PosixSocketApi::bind(SocketHandle s, SockAddr local) {
  auto sa = toSockaddr(local);
  if (::bind(static_cast<int>(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return failErrno();
  return 0;
}

int PosixSocketApi::connect(SocketHandle s, SockAddr remote) {
  auto sa = toSockaddr(remote);
  int r = ::connect(static_cast<int>(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  auto it = fds_.find(static_cast<int>(s));
  if (r == 0) {
    if (it != fds_.end() && !it->second.established) {
      // Connected at once (loopback): report it like an asynchronous completion.
      it->second.connecting = true;
    }
    return 0;
  }
  int e = errno;
  if (e == EINPROGRESS && it != fds_.end()) it->second.connecting = true;
  return fail(mapErrno(e));
}

int PosixSocketApi::listen(SocketHandle s, int backlog) {
  if (::listen(static_cast<int>(s), backlog) != 0) return failErrno();
  if (auto it = fds_.find(static_cast<int>(s)); it != fds_.end()) it->second.listening = true;
  return 0;
}

SocketHandle PosixSocketApi::accept(SocketHandle s, SockAddr* peer) {
  if (auto it = fds_.find(static_cast<int>(s)); it != fds_.end()) it->second.acceptArmed = true;
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  int fd = ::accept4(static_cast<int>(s), reinterpret_cast<sockaddr*>(&sa), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    failErrno();
    return invalid_socket;
  }
  if (peer) *peer = fromSockaddr(sa);
  FdState st;
  st.generation = nextGeneration_++;
  st.established = true;
  fds_[fd] = st;
  return fd;
}

int PosixSocketApi::send(SocketHandle s, std::span<const std::byte> data, bool urgent) {
  ssize_t n = ::send(static_cast<int>(s), data.data(), data.size(), MSG_NOSIGNAL | (urgent ? MSG_OOB : 0));
  if (n < 0) {
    int e = errno;
    if (e == EAGAIN || e == EWOULDBLOCK)
      if (auto it = fds_.find(static_cast<int>(s)); it != fds_.end()) it->second.writeWanted = true;
    return fail(mapErrno(e));
  }
  return static_cast<int>(n);
}

int PosixSocketApi::recv(SocketHandle s, std::span<std::byte> data) {
  if (auto it = fds_.find(static_cast<int>(s)); it != fds_.end()) it->second.readArmed = true;
  ssize_t n = ::recv(static_cast<int>(s), data.data(), data.size(), 0);
  if (n < 0) return failErrno();
  return static_cast<int>(n);
}

int PosixSocketApi::sendTo(SocketHandle s, std::span<const std::byte> data, SockAddr to) {
  auto sa = toSockaddr(to);
  ssize_t n = ::sendto(static_cast<int>(s), data.data(), data.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&sa),
                       sizeof sa);
  if (n < 0) return failErrno();
  return static_cast<int>(n);
}

int PosixSocketApi::recvFrom(SocketHandle s, std::span<std::byte> data, SockAddr* from) {
  if (auto it = fds_.find(static_cast<int>(s)); it != fds_.end()) it->second.readArmed = true;
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  ssize_t n = ::recvfrom(static_cast<int>(s), data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&sa), &len);
  if (n < 0) return failErrno();
  if (from) *from = fromSockaddr(sa);
  return static_cast<int>(n);
}

int PosixSocketApi::closeSocket(SocketHandle s) {
  auto it = fds_.find(static_cast<int>(s));
  if (it == fds_.end()) return fail(10038);
  fds_.erase(it);
  if (::close(static_cast<int>(s)) != 0) return failErrno();
  return 0;
}

int PosixSocketApi::shutdown(SocketHandle s, int how) {
  int h = how == 0 ? SHUT_RD : (how == 1 ? SHUT_WR : SHUT_RDWR);
  if (::shutdown(static_cast<int>(s), h) != 0) return failErrno();
  return 0;
}

int PosixSocketApi::setLinger(SocketHandle s, bool on, int seconds) {
  linger l{on ? 1 : 0, seconds};
  if (::setsockopt(static_cast<int>(s), SOL_SOCKET, SO_LINGER, &l, sizeof l) != 0) return failErrno();
  return 0;
}

int PosixSocketApi::setOption(SocketHandle s, SockOption opt, bool on) {
  int v = on ? 1 : 0;
  int name = opt == SockOption::KeepAlive ? SO_KEEPALIVE : (opt == SockOption::ReuseAddr ? SO_REUSEADDR : SO_BROADCAST);
  if (::setsockopt(static_cast<int>(s), SOL_SOCKET, name, &v, sizeof v) != 0) return failErrno();
  return 0;
}

int PosixSocketApi::getSockName(SocketHandle s, SockAddr* out) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getsockname(static_cast<int>(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return failErrno();
  *out = fromSockaddr(sa);
  return 0;
}

int PosixSocketApi::getPeerName(SocketHandle s, SockAddr* out) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getpeername(static_cast<int>(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return failErrno();
  *out = fromSockaddr(sa);
  return 0;
}

long PosixSocketApi::bytesWaiting(SocketHandle s) {
  int n = 0;
  if (::ioctl(static_cast<int>(s), FIONREAD, &n) != 0) {
    failErrno();
    return -1;
  }
  return n;
}

std::optional<HostEntry> PosixSocketApi::getHostByName(std::string_view name, int* error) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  std::string n(name);
  int r = ::getaddrinfo(n.c_str(), nullptr, &hints, &res);
  if (r != 0) {
    int e = 11001;
    if (r == EAI_AGAIN) e = 11002;
    else if (r == EAI_FAIL) e = 11003;
#ifdef EAI_NODATA
    else if (r == EAI_NODATA) e = 11004;
#endif
    if (error) *error = e;
    lastError_ = e;
    return std::nullopt;
  }
  HostEntry he;
  he.name = n;
  for (addrinfo* p = res; p; p = p->ai_next) {
    if (p->ai_family != AF_INET) continue;
    auto a = ntohl(reinterpret_cast<sockaddr_in*>(p->ai_addr)->sin_addr.s_addr);
    if (std::find(he.addrs.begin(), he.addrs.end(), a) == he.addrs.end()) he.addrs.push_back(a);
  }
  ::freeaddrinfo(res);
  if (error) *error = 0;
  return he;
}

std::optional<std::uint16_t> PosixSocketApi::getServByName(std::string_view name, std::string_view proto, int* error) {
  std::string n(name), p(proto);
  servent* se = ::getservbyname(n.c_str(), p.c_str());
  if (!se) {
    if (error) *error = 11004;
    return std::nullopt;
  }
  return ntohs(static_cast<std::uint16_t>(se->s_port));
}

std::optional<int> PosixSocketApi::getProtoByName(std::string_view name, int* error) {
  std::string n(name);
  // Answer the two usual names without consulting /etc/protocols (absent in small containers).
  if (n == "tcp" || n == "TCP") return ipproto_tcp;
  if (n == "udp" || n == "UDP") return ipproto_udp;
  protoent* pe = ::getprotobyname(n.c_str());
  if (!pe) {
    if (error) *error = 11004;
    return std::nullopt;
  }
  return pe->p_proto;
}

bool PosixSocketApi::processMessages() {
  loop_.runOnce(20);
  return !loop_.quitRequested();
}

void PosixSocketApi::waitForEvent(std::uint32_t maxWaitMs) {
  if (loop_.quitRequested()) return;
  loop_.wait(static_cast<int>(std::min<std::uint32_t>(maxWaitMs, 1u << 30)));
}

int PosixSocketApi::select(SocketHandle s, const Target& target, unsigned mask) {
  auto it = fds_.find(static_cast<int>(s));
  if (it == fds_.end()) return 10038;
  FdState& st = it->second;
  st.target = target;
  st.mask = mask;
  if (mask != 0) {
    // Like WSAAsyncSelect: what is already true is reported again.
    st.readArmed = true;
    st.acceptArmed = true;
    st.writeWanted = st.established;
  }
  return 0;
}

void PosixSocketApi::collect(std::vector<pollfd>& out) {
  for (auto& [fd, st] : fds_) {
    if (st.mask == 0) continue;
    short ev = 0;
    if (st.connecting) {
      ev = POLLOUT;
    } else if (st.listening) {
      if (st.acceptArmed && (st.mask & fd_accept)) ev = POLLIN;
      else continue;
    } else {
      if (st.readArmed && (st.mask & (fd_read | fd_close))) ev |= POLLIN;
      if (st.writeWanted && (st.mask & fd_write)) ev |= POLLOUT;
      if (!st.closeDelivered && (st.mask & fd_close)) ev |= POLLRDHUP;
      if (ev == 0 && st.closeDelivered) continue;
    }
    out.push_back(pollfd{fd, ev, 0});
  }
}

void PosixSocketApi::deliver(int fd, std::uint64_t generation, unsigned events, int error) {
  auto it = fds_.find(fd);
  if (it == fds_.end() || it->second.generation != generation) return;
  Target t = it->second.target;
  MessageSink* const sink = t.sink.lock();
  if (!sink || (it->second.mask & events) == 0) return;
  auto lparam = static_cast<std::intptr_t>((static_cast<std::uintptr_t>(error & 0xffff) << 16) | (events & 0xffffu));
  sink->handleMessage(t.msg, static_cast<std::uintptr_t>(fd), lparam);
}

void PosixSocketApi::dispatch(const std::vector<pollfd>& fds) {
  for (const pollfd& p : fds) {
    if (p.revents == 0) continue;
    auto it = fds_.find(p.fd);
    if (it == fds_.end()) continue;
    FdState& st = it->second;
    std::uint64_t gen = st.generation;
    if (st.connecting) {
      int err = 0;
      socklen_t len = sizeof err;
      ::getsockopt(p.fd, SOL_SOCKET, SO_ERROR, &err, &len);
      st.connecting = false;
      if (err == 0) {
        st.established = true;
        st.writeWanted = true;  // the write notification follows the connect
        st.readArmed = true;
      } else {
        st.closeDelivered = true;
      }
      deliver(p.fd, gen, fd_connect, mapErrno(err));
      continue;
    }
    if (st.listening) {
      if (p.revents & POLLIN) {
        st.acceptArmed = false;
        deliver(p.fd, gen, fd_accept, 0);
      }
      continue;
    }
    bool readable = false;
    bool closed = false;
    int closeErr = 0;
    if ((p.revents & POLLIN) && !(p.revents & (POLLRDHUP | POLLERR | POLLHUP))) {
      readable = st.readArmed;  // data, and the peer has not closed: no need to look closer
    } else if (p.revents & (POLLIN | POLLERR | POLLHUP)) {
      char b;
      ssize_t n = ::recv(p.fd, &b, 1, MSG_PEEK | MSG_DONTWAIT);
      if (n > 0) {
        readable = st.readArmed;
      } else if (n == 0) {
        closed = true;
        st.readArmed = false;
      } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
        closed = true;
        closeErr = mapErrno(errno);
      }
    }
    if (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) {
      closed = true;
      int err = 0;
      socklen_t len = sizeof err;
      ::getsockopt(p.fd, SOL_SOCKET, SO_ERROR, &err, &len);
      if (err) closeErr = mapErrno(err);
    }
    bool writable = (p.revents & POLLOUT) && st.writeWanted;
    if (readable) st.readArmed = false;
    if (writable) st.writeWanted = false;
    if (closed && st.closeDelivered) closed = false;
    if (closed) {
      st.closeDelivered = true;
      st.readArmed = false;
    }
    if (readable) deliver(p.fd, gen, fd_read, 0);
    if (writable) deliver(p.fd, gen, fd_write, 0);
    if (closed) deliver(p.fd, gen, fd_close, closeErr);
  }
}

}  // namespace brevaro::net::posix
