// The socket port: the Winsock 1.1 operations the socket component needs,
// with errors as Winsock numbers, and the "hidden window" that turns network
// happenings, finished lookups and posted messages into calls on the owning
// thread. Backends: net/posix (poll-based loop) and net/win32 (wsock32.dll,
// WSAAsyncSelect to a hidden window).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/winapi_numbers.h"

namespace brevaro::net {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle invalid_socket = -1;
using LookupHandle = std::uintptr_t;  // 0 = none

// Event bits of a network notification (the Winsock FD_* values), the
// Winsock error numbers used by the portable code, socket types and protocols.
using winapi::fd_accept;
using winapi::fd_close;
using winapi::fd_connect;
using winapi::fd_oob;
using winapi::fd_read;
using winapi::fd_write;
namespace wsa = winapi::wsa;
using winapi::ipproto_tcp;
using winapi::ipproto_udp;
using winapi::sock_dgram;
using winapi::sock_stream;

// IPv4 address and port in host byte order.
struct SockAddr {
  std::uint32_t addr = 0;
  std::uint16_t port = 0;
};

struct HostEntry {
  std::string name;
  std::vector<std::uint32_t> addrs;  // host byte order
};

enum class SockOption { KeepAlive, ReuseAddr, Broadcast };

// Receives what a channel delivers. Messages are numbered from 1 (the
// offset from the first user message number on Windows).
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void handleMessage(unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) = 0;
};

// The "hidden window" of one component. Destroying it drops everything still
// queued for it.
class Channel {
 public:
  virtual ~Channel() = default;
  virtual void post(unsigned msg, std::uintptr_t wparam = 0, std::intptr_t lparam = 0) = 0;
  // WSAAsyncSelect: notifications arrive as message `msg` with wparam the
  // handle and lparam (error << 16) | events. Mask 0 stops them. Returns a
  // Winsock error number or 0.
  virtual int asyncSelect(SocketHandle s, unsigned msg, unsigned mask) = 0;
  // WSAAsyncGetHostByName / ByAddr: completion as message `msg` with wparam
  // the lookup handle and lparam (error << 16). Returns 0 when it cannot
  // start (error in *error).
  virtual LookupHandle asyncGetHostByName(unsigned msg, std::string_view name, int* error) = 0;
  virtual LookupHandle asyncGetHostByAddr(unsigned msg, std::uint32_t addr, int* error) = 0;
  // The answer of a finished lookup (taken once).
  virtual HostEntry takeLookupResult(LookupHandle h) = 0;
  // WSACancelAsyncRequest: 0 or a Winsock error.
  virtual int cancelAsyncRequest(LookupHandle h) = 0;
};

class SocketApi {
 public:
  virtual ~SocketApi() = default;

  // A component starts / stops using the API (the library is loaded on
  // first use and released when the last component is gone). May throw.
  virtual void acquire() = 0;
  virtual void release() = 0;

  virtual std::unique_ptr<Channel> createChannel(MessageSink& sink) = 0;

  // Each call returns -1 (or invalid_socket) on failure; lastError() then
  // tells the Winsock error number.
  virtual int lastError() = 0;
  virtual SocketHandle socket(int type, int protocol) = 0;
  virtual int bind(SocketHandle s, SockAddr local) = 0;
  virtual int connect(SocketHandle s, SockAddr remote) = 0;
  virtual int listen(SocketHandle s, int backlog) = 0;
  virtual SocketHandle accept(SocketHandle s, SockAddr* peer) = 0;
  virtual int send(SocketHandle s, std::span<const std::byte> data, bool urgent) = 0;
  virtual int recv(SocketHandle s, std::span<std::byte> data) = 0;
  virtual int sendTo(SocketHandle s, std::span<const std::byte> data, SockAddr to) = 0;
  virtual int recvFrom(SocketHandle s, std::span<std::byte> data, SockAddr* from) = 0;
  virtual int closeSocket(SocketHandle s) = 0;
  virtual int shutdown(SocketHandle s, int how) = 0;
  virtual int setLinger(SocketHandle s, bool on, int seconds) = 0;
  virtual int setOption(SocketHandle s, SockOption opt, bool on) = 0;
  virtual int getSockName(SocketHandle s, SockAddr* out) = 0;
  virtual int getPeerName(SocketHandle s, SockAddr* out) = 0;
  // FIONREAD: bytes waiting, or -1.
  virtual long bytesWaiting(SocketHandle s) = 0;

  // Blocking helpers (gethostbyname, getservbyname, getprotobyname).
  virtual std::optional<HostEntry> getHostByName(std::string_view name, int* error) = 0;
  virtual std::optional<std::uint16_t> getServByName(std::string_view name, std::string_view proto, int* error) = 0;
  virtual std::optional<int> getProtoByName(std::string_view name, int* error) = 0;

  // Processes the messages that are pending now (the backend's own pump),
  // waiting at most a short while when there are none. Returns false when a
  // quit message was seen.
  virtual bool processMessages() = 0;
  // Sleeps until a message or a network event is waiting for the thread, or
  // `maxWaitMs` pass; handles nothing. Returns at once when something is
  // waiting already (a quit message included).
  virtual void waitForEvent(std::uint32_t maxWaitMs) = 0;
};

// Dotted-quad helpers (host byte order).
std::optional<std::uint32_t> parseDottedAddress(std::string_view text);
std::string formatDottedAddress(std::uint32_t addr);

}  // namespace brevaro::net
