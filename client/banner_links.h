// The service links the banner units use: the advert list, the two log
// requests and the two redirect links. The main window builds them on the
// service base URL and the installation identifier (read when a link is
// needed, since the identifier is known only once the window is shown).
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace brevaro::client {

struct BannerLinks {
  std::function<std::string()> advert_list;
  std::function<std::string(std::string_view banner_id)> download_log;
  std::function<std::string(std::string_view banner_id)> click_log;
  std::string default_banner;  // opened when the default movie is clicked
  std::string new_version;     // offered by the version check
};

}  // namespace brevaro::client
