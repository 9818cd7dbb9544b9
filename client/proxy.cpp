#include "client/proxy.h"

namespace brevaro::client {

ProxySetting split_proxy_server(std::string_view value) {
  const auto colon = value.find(':');
  if (colon == std::string_view::npos) return ProxySetting{{}, std::string(value)};
  return ProxySetting{std::string(value.substr(0, colon)), std::string(value.substr(colon + 1))};
}

std::optional<ProxySetting> read_system_proxy(platform::Registry& registry) {
  if (!registry.open_key(kInternetSettingsKey, true)) return std::nullopt;
  const auto enable = platform::read_reg_integer(registry, kInternetSettingsKey, "ProxyEnable");
  const auto server = platform::read_reg_string(registry, kInternetSettingsKey, "ProxyServer");
  if (!enable || !server || *enable <= 0) return std::nullopt;
  return split_proxy_server(*server);
}

}  // namespace brevaro::client
