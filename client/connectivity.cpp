#include "client/connectivity.h"

#include <algorithm>

namespace brevaro::client {

bool Connectivity::check() {
  platform::Clock& clock = app_.ports().clock;
  const std::uint64_t start = clock.ticks_ms();
  const std::uint64_t bound = static_cast<std::uint64_t>(std::max(ping_.Timeout(), 0)) + kReplyMarginMs;

  ping_.Tag = kPending;
  try {
    ping_.Ping();
  } catch (const std::exception&) {
    // An echo that cannot be sent reports nothing: the bound below ends the wait.
  }
  while (ping_.Tag == kPending) {
    app_.process_messages();
    if (app_.terminated()) return false;
    if (ping_.Tag != kPending) break;
    if (clock.ticks_ms() - start >= bound) {
      ping_.Tag = kNotReachable;
      break;
    }
    clock.sleep_ms(kPollMs);
  }
  return ping_.Tag == kReachable;
}

}  // namespace brevaro::client
