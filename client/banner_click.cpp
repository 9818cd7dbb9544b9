#include "client/banner_click.h"

#include "client/advert_list.h"

namespace brevaro::client {

void BannerClick(AdvertRefresh& adverts, const BannerLinks& links, const ProcessState& state, platform::Shell& shell) {
  const std::string id = state.current_banner_id;
  const std::string link = state.current_banner_link;
  adverts.SendBannerLog(links.click_log(id));
  // A quit while the log request waited: the application is going, and
  // nothing opens after it.
  if (adverts.ending() || !is_web_link(link)) return;
  try {
    shell.open(link, platform::ShowState::maximized);
  } catch (const std::exception&) {
    // No browser to open it with: the click was still logged.
  }
}

}  // namespace brevaro::client
