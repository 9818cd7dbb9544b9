// A left-button press inside the banner area (seen by the message hook): the
// click is logged first, then the banner's link opens in the default browser.
#pragma once

#include "client/advert_refresh.h"
#include "client/banner_links.h"
#include "client/process_state.h"
#include "platform/system.h"

namespace brevaro::client {

// The banner is the one on show when the button went down: a rotation step
// that runs while the log request waits does not change which link opens.
// The link opens only when it is an http:// or https:// URL.
void BannerClick(AdvertRefresh& adverts, const BannerLinks& links, const ProcessState& state, platform::Shell& shell);

}  // namespace brevaro::client
