#include "net/platform_api.h"

#include "net/posix/event_loop.h"
#include "net/posix/socket_api.h"

namespace brevaro::net {
namespace {

// Owns the loop that drives the sockets.
class OwnedLoopApi final : public SocketApi {
public:
    OwnedLoopApi() : api_(loop_) {}
    void acquire() override { api_.acquire(); }
    void release() override { api_.release(); }
    std::unique_ptr<Channel> createChannel(MessageSink& sink) override { return api_.createChannel(sink); }
    int lastError() override { return api_.lastError(); }
    SocketHandle socket(int type, int protocol) override { return api_.socket(type, protocol); }
    int bind(SocketHandle s, SockAddr local) override { return api_.bind(s, local); }
    int connect(SocketHandle s, SockAddr remote) override { return api_.connect(s, remote); }
    int listen(SocketHandle s, int backlog) override { return api_.listen(s, backlog); }
    SocketHandle accept(SocketHandle s, SockAddr* peer) override { return api_.accept(s, peer); }
    int send(SocketHandle s, std::span<const std::byte> d, bool urgent) override { return api_.send(s, d, urgent); }
    int recv(SocketHandle s, std::span<std::byte> d) override { return api_.recv(s, d); }
    int sendTo(SocketHandle s, std::span<const std::byte> d, SockAddr to) override { return api_.sendTo(s, d, to); }
    int recvFrom(SocketHandle s, std::span<std::byte> d, SockAddr* from) override { return api_.recvFrom(s, d, from); }
    int closeSocket(SocketHandle s) override { return api_.closeSocket(s); }
    int shutdown(SocketHandle s, int how) override { return api_.shutdown(s, how); }
    int setLinger(SocketHandle s, bool on, int seconds) override { return api_.setLinger(s, on, seconds); }
    int setOption(SocketHandle s, SockOption o, bool on) override { return api_.setOption(s, o, on); }
    int getSockName(SocketHandle s, SockAddr* out) override { return api_.getSockName(s, out); }
    int getPeerName(SocketHandle s, SockAddr* out) override { return api_.getPeerName(s, out); }
    long bytesWaiting(SocketHandle s) override { return api_.bytesWaiting(s); }
    std::optional<HostEntry> getHostByName(std::string_view n, int* e) override { return api_.getHostByName(n, e); }
    std::optional<std::uint16_t> getServByName(std::string_view n, std::string_view p, int* e) override {
        return api_.getServByName(n, p, e);
    }
    std::optional<int> getProtoByName(std::string_view n, int* e) override { return api_.getProtoByName(n, e); }
    bool processMessages() override { return api_.processMessages(); }

private:
    posix::EventLoop loop_;
    posix::PosixSocketApi api_;
};

}  // namespace

std::unique_ptr<SocketApi> makePlatformSocketApi() { return std::make_unique<OwnedLoopApi>(); }

}  // namespace brevaro::net
