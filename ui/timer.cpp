#include "ui/timer.h"

#include "ui/application.h"

namespace brevaro::ui {

Timer::Timer(Component* owner, std::string_view name, std::uint32_t interval, bool enabled)
    : Component(owner, name), interval_(interval), enabled_(enabled) {}

Timer::~Timer() {
  *alive_ = false;
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
    std::weak_ptr<bool> alive = alive_;
    peer_ = application().backend().create_timer([this, alive] {
      if (auto a = alive.lock(); a && *a) tick();
    });
  }
  peer_->stop();
  active_ = enabled_ && interval_ > 0 && on_timer_;
  if (active_) peer_->start(interval_);
}

void Timer::tick() {
  if (!active_ || !on_timer_) return;
  // The handler may free this timer; keep what is needed on the stack.
  const auto alive = alive_;
  const Handler handler = on_timer_;
  Application& app = application();
  app.guarded([&] { handler(*this); });
  (void)alive;
}

}  // namespace brevaro::ui
