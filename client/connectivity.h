// The connectivity check: one ICMP echo to the service's address before a
// navigation the user starts. The state lives in the echo component's tag
// (2 pending, 1 reachable, 0 not reachable); the echo-reply handler sets it,
// and the check lets pending messages be processed until it is no longer
// pending.
#pragma once

#include <cstdint>

#include "net/icmp.h"
#include "ui/application.h"

namespace brevaro::client {

class Connectivity {
 public:
  static constexpr int kNotReachable = 0;
  static constexpr int kReachable = 1;
  static constexpr int kPending = 2;
  // How much longer than the echo's own time-out the check waits for the
  // reply event. An echo that never reports (an address that does not
  // resolve, a failing echo service) ends as "not reachable" then.
  static constexpr std::uint32_t kReplyMarginMs = 1000;
  // The pause between two looks while the reply is pending.
  static constexpr std::uint32_t kPollMs = 10;

  Connectivity(ui::Application& app, net::TPing& ping) : app_(app), ping_(ping) {}

  // Sends one echo and waits for its reply event; true when the service
  // answered. False also when the program ends while it waits.
  bool check();

  // The echo-reply event: the number of replies, 0 when none came back.
  void echo_reply(int replies) noexcept { ping_.Tag = replies != 0 ? kReachable : kNotReachable; }

 private:
  ui::Application& app_;
  net::TPing& ping_;
};

}  // namespace brevaro::client
