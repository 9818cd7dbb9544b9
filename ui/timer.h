// A timer component of the GUI thread: it ticks every `interval` ms while it
// is enabled, has an interval above zero and has a handler. Changing the
// interval or enabling it again restarts the countdown. Ticks keep coming
// inside modal loops and message boxes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "base/weak_ref.h"
#include "ui/backend.h"
#include "ui/component.h"

namespace brevaro::ui {

class Timer final : public Component {
 public:
  explicit Timer(Component* owner, std::string_view name = {}, std::uint32_t interval = 1000, bool enabled = true);
  ~Timer() override;

  bool enabled() const noexcept { return enabled_; }
  void set_enabled(bool enabled);
  std::uint32_t interval() const noexcept { return interval_; }
  void set_interval(std::uint32_t interval);
  using Handler = std::function<void(Timer& sender)>;
  void set_on_timer(Handler handler);
  // True while the timer has a tick source.
  bool active() const noexcept { return active_; }

 protected:
  void inserted() override;

 private:
  void update();
  void tick();

  std::uint32_t interval_;
  bool enabled_;
  bool active_ = false;
  Handler on_timer_;
  std::unique_ptr<TimerPeer> peer_;
  base::WeakAnchor anchor_;  // expired once destroyed: a tick queued for a freed timer is dropped
};

}  // namespace brevaro::ui
