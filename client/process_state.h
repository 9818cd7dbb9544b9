// The values that live once per client process: the program folder, the
// installation identifier and the banner currently shown. The entry point
// owns the one instance; forms get it by reference. Everything is cleared
// when the process ends.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/web_browser.h"

namespace brevaro::client {

struct ProcessState {
  std::string program_folder;  // with its trailing backslash
  std::string installation_id;
  std::string current_banner_id;
  std::string current_banner_link;
  bool version_checked = false;
  // Banner file names the rotation refused for their size: not fetched again
  // while the advert list names them.
  std::vector<std::string> refused_banners;
  // The page's in-place object, cached by the message hook until the end.
  std::shared_ptr<ui::InPlaceObject> in_place;
};

}  // namespace brevaro::client
