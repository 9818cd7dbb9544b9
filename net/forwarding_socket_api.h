// A socket port that hands every call to another one: the base of ports
// that own their backend, and of test ports that change one or two calls.
#pragma once

#include "net/socket_api.h"

namespace brevaro::net {

class ForwardingSocketApi : public SocketApi {
 public:
  explicit ForwardingSocketApi(SocketApi& inner) : inner_(inner) {}

  void acquire() override { inner_.acquire(); }
  void release() override { inner_.release(); }
  std::unique_ptr<Channel> createChannel(MessageSink& sink) override { return inner_.createChannel(sink); }
  int lastError() override { return inner_.lastError(); }
  SocketHandle socket(int type, int protocol) override { return inner_.socket(type, protocol); }
  int bind(SocketHandle s, SockAddr local) override { return inner_.bind(s, local); }
  int connect(SocketHandle s, SockAddr remote) override { return inner_.connect(s, remote); }
  int listen(SocketHandle s, int backlog) override { return inner_.listen(s, backlog); }
  SocketHandle accept(SocketHandle s, SockAddr* peer) override { return inner_.accept(s, peer); }
  int send(SocketHandle s, std::span<const std::byte> d, bool urgent) override { return inner_.send(s, d, urgent); }
  int recv(SocketHandle s, std::span<std::byte> d) override { return inner_.recv(s, d); }
  int sendTo(SocketHandle s, std::span<const std::byte> d, SockAddr to) override { return inner_.sendTo(s, d, to); }
  int recvFrom(SocketHandle s, std::span<std::byte> d, SockAddr* from) override { return inner_.recvFrom(s, d, from); }
  int closeSocket(SocketHandle s) override { return inner_.closeSocket(s); }
  int shutdown(SocketHandle s, int how) override { return inner_.shutdown(s, how); }
  int setLinger(SocketHandle s, bool on, int seconds) override { return inner_.setLinger(s, on, seconds); }
  int setOption(SocketHandle s, SockOption o, bool on) override { return inner_.setOption(s, o, on); }
  int getSockName(SocketHandle s, SockAddr* out) override { return inner_.getSockName(s, out); }
  int getPeerName(SocketHandle s, SockAddr* out) override { return inner_.getPeerName(s, out); }
  long bytesWaiting(SocketHandle s) override { return inner_.bytesWaiting(s); }
  std::optional<HostEntry> getHostByName(std::string_view n, int* e) override { return inner_.getHostByName(n, e); }
  std::optional<std::uint16_t> getServByName(std::string_view n, std::string_view p, int* e) override {
    return inner_.getServByName(n, p, e);
  }
  std::optional<int> getProtoByName(std::string_view n, int* e) override { return inner_.getProtoByName(n, e); }
  bool processMessages() override { return inner_.processMessages(); }
  void waitForEvent(std::uint32_t maxWaitMs) override { inner_.waitForEvent(maxWaitMs); }

 private:
  SocketApi& inner_;
};

}  // namespace brevaro::net
