// The socket API of the platform the program is built for, with its own
// message pump: the poll loop on Linux, the thread's message queue on Windows.
#pragma once

#include <memory>

#include "net/socket_api.h"

namespace brevaro::net {

std::unique_ptr<SocketApi> makePlatformSocketApi();

}  // namespace brevaro::net
