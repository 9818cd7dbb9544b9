// The system's proxy setting as the HTTP clients take it: the current user's
// Internet Settings ProxyEnable and ProxyServer, split at the first colon.
#pragma once

#include <optional>
#include <string>

#include "platform/system.h"

namespace brevaro::client {

inline constexpr std::string_view kInternetSettingsKey =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

struct ProxySetting {
  std::string host;
  std::string port;
  friend bool operator==(const ProxySetting&, const ProxySetting&) = default;
};

// Splits at the first ":" (host before, port after); without one the host is
// empty and the whole value is the port. No other syntax is recognised.
ProxySetting split_proxy_server(std::string_view value);

// The proxy to use, or nothing when it is disabled or cannot be read.
std::optional<ProxySetting> read_system_proxy(platform::Registry& registry);

}  // namespace brevaro::client
