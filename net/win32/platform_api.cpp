#include "net/platform_api.h"

#include "net/win32/socket_api.h"

namespace brevaro::net {

std::unique_ptr<SocketApi> makePlatformSocketApi() { return std::make_unique<win32::Win32SocketApi>(); }

}  // namespace brevaro::net
