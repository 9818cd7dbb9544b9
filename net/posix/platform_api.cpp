#include "net/platform_api.h"

#include "net/forwarding_socket_api.h"
#include "net/posix/event_loop.h"
#include "net/posix/socket_api.h"

namespace brevaro::net {
namespace {

// The loop that drives the sockets and the port on it, constructed before
// the forwarding base that refers to the port.
struct LoopAndApi {
  posix::EventLoop loop;
  posix::PosixSocketApi api{loop};
};

// Owns the loop that drives the sockets.
class OwnedLoopApi final : private LoopAndApi, public ForwardingSocketApi {
 public:
  OwnedLoopApi() : ForwardingSocketApi(api) {}
};

}  // namespace

std::unique_ptr<SocketApi> makePlatformSocketApi() { return std::make_unique<OwnedLoopApi>(); }

}  // namespace brevaro::net
