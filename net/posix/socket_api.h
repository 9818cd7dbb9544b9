// The socket port on Linux: non-blocking BSD sockets driven by the poll loop,
// with Winsock's notification rules (a read notification is re-armed by the
// next receive, a write notification follows a send that would block) and
// errno mapped to the Winsock numbers.
#pragma once

#include <map>
#include <memory>

#include "base/weak_ref.h"
#include "net/posix/event_loop.h"
#include "net/socket_api.h"

namespace brevaro::net::posix {

int mapErrno(int err);

class PosixSocketApi final : public SocketApi, private PollSource {
 public:
  explicit PosixSocketApi(EventLoop& loop);
  ~PosixSocketApi() override;

  EventLoop& loop() { return loop_; }

  void acquire() override { ++users_; }
  void release() override { --users_; }
  int users() const { return users_; }
  std::unique_ptr<Channel> createChannel(MessageSink& sink) override;

  int lastError() override { return lastError_; }
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
  bool processMessages() override;
  void waitForEvent(std::uint32_t maxWaitMs) override;

  // Used by the channels.
  struct Target {
    base::WeakRef<MessageSink> sink;  // gone once the channel that selected is destroyed
    unsigned msg = 0;
  };
  int select(SocketHandle s, const Target& target, unsigned mask);

 private:
  struct FdState {
    Target target;
    unsigned mask = 0;
    bool connecting = false;
    bool established = false;
    bool listening = false;
    bool readArmed = true;
    bool writeWanted = false;
    bool acceptArmed = true;
    bool closeDelivered = false;
    std::uint64_t generation = 0;
  };
  int fail(int err);
  int failErrno();
  void collect(std::vector<pollfd>& fds) override;
  void dispatch(const std::vector<pollfd>& fds) override;
  void deliver(int fd, std::uint64_t generation, unsigned events, int error);

  EventLoop& loop_;
  int lastError_ = 0;
  int users_ = 0;
  std::map<int, FdState> fds_;
  std::uint64_t nextGeneration_ = 1;
};

}  // namespace brevaro::net::posix
