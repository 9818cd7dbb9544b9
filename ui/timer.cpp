#include "ui/timer.h"

#include "ui/application.h"

namespace brevaro::ui {

Timer::Timer(Component* owner, std::string_view name, std::uint32_t interval, bool enabled)
    : Component(owner, name), interval_(interval), enabled_(enabled) {}

Timer::~Timer() {
  anchor_.expire();
  peer_.reset();
}

void Timer::inserted() { update(); }

void Timer::set_enabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  update();
}

void Timer::set_interval(std::uint32_t interval) {
  if (interval == interval_) return;
  interval_ = interval;
  update();
}

void Timer::set_on_timer(Handler handler) {
  on_timer_ = std::move(handler);
  update();
}

void Timer::update() {
  if (!owner()) return;  // not yet inserted
  if (!peer_) {
    peer_ = application().backend().create_timer([self = anchor_.ref(this)] {
      if (auto* timer = self.lock()) timer->tick();
    });
  }
  peer_->stop();
  active_ = enabled_ && interval_ > 0 && on_timer_;
  if (active_) peer_->start(interval_);
}

void Timer::tick() {
  if (!active_ || !on_timer_) return;
  // The handler may free this timer; keep what is needed on the stack.
  const Handler handler = on_timer_;
  Application& app = application();
  app.guarded([&] { handler(*this); });
}

}  // namespace brevaro::ui
