// Internal pieces of the reference service shared between its source files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "service/server.h"

namespace brevaro::service::detail {

std::string lower(std::string_view s);
bool iequals(std::string_view a, std::string_view b);
std::string trim(std::string_view s);
std::string json_escape(std::string_view s);
std::string percent_decode(std::string_view s);
std::string base64(std::string_view s);
// Value of a query parameter in "a=1&b=2" (percent-decoded), or nullopt.
std::optional<std::string> query_param(std::string_view query, std::string_view name);
std::string utc_now_iso();
// Replaces {base}, {root} and {port} for a server at http://host:port.
std::string expand(std::string_view text, std::string_view host, std::uint16_t port);
// The advert list document for `adverts` on a server at http://host:port.
std::string advert_document(const Adverts& adverts, std::string_view host, std::uint16_t port);

// HTML pages of the service.
struct Page {
  std::string html;
  bool found = false;
};
// The page for a redirect key (lower case), found=false for an unknown key.
Page section_page(std::string_view key);
std::string home_page();
std::string advert_landing_page(std::string_view name);
std::string not_found_page(std::string_view what);
std::string status_page(int code, std::string_view reason);
bool is_redirect_key(std::string_view key);
const std::vector<std::string>& redirect_keys();

}  // namespace brevaro::service::detail
