// The socket port on Windows: Winsock 1.1 from wsock32.dll, loaded at run
// time, with WSAAsyncSelect and WSAAsyncGetHostByName to a hidden window per
// component. Works with any Win32 message loop of the thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "net/socket_api.h"

namespace brevaro::net::win32 {

class Win32SocketApi final : public SocketApi {
 public:
  // The library is wsock32.dll; tests name another one to see a start-up fail.
  explicit Win32SocketApi(std::string library = "wsock32.dll");
  ~Win32SocketApi() override;
  Win32SocketApi(const Win32SocketApi&) = delete;
  Win32SocketApi& operator=(const Win32SocketApi&) = delete;

  void acquire() override;
  void release() override;
  std::unique_ptr<Channel> createChannel(MessageSink& sink) override;

  int lastError() override;
  SocketHandle socket(int type, int protocol) override;
  int bind(SocketHandle s, SockAddr local) override;
  int connect(SocketHandle s, SockAddr remote) override;
  int listen(SocketHandle s, int backlog) override;
  SocketHandle accept(SocketHandle s, SockAddr* peer) override;
  int send(SocketHandle s, std::span<const std::byte> data, bool urgent) override;
  int recv(SocketHandle s, std::span<std::byte> data) override;
  int sendTo(SocketHandle s, std::span<const std::byte> data, SockAddr to) override;
  int recvFrom(SocketHandle s, std::span<std::byte> data, SockAddr* from) override;
  int closeSocket(SocketHandle s) override;
  int shutdown(SocketHandle s, int how) override;
  int setLinger(SocketHandle s, bool on, int seconds) override;
  int setOption(SocketHandle s, SockOption opt, bool on) override;
  int getSockName(SocketHandle s, SockAddr* out) override;
  int getPeerName(SocketHandle s, SockAddr* out) override;
  long bytesWaiting(SocketHandle s) override;
  std::optional<HostEntry> getHostByName(std::string_view name, int* error) override;
  std::optional<std::uint16_t> getServByName(std::string_view name, std::string_view proto, int* error) override;
  std::optional<int> getProtoByName(std::string_view name, int* error) override;
  // Takes, translates and dispatches the thread's messages until the queue
  // is empty (waiting up to 20 ms for one when there is none). A quit
  // message is not dispatched but posted again for the loop that owns it:
  // the result is then false.
  bool processMessages() override;
  // MsgWaitForMultipleObjectsEx on the thread's queue: socket notifications
  // and lookups arrive as messages, so one wait covers them all.
  void waitForEvent(std::uint32_t maxWaitMs) override;

  struct Library;  // wsock32.dll and its functions

 private:
  std::string libraryName_;
  std::unique_ptr<Library> lib_;
  int users_ = 0;
};

}  // namespace brevaro::net::win32
