// The banner controls' window-system services on the headless backend: the
// utility windows of window mode are timers of the virtual-time loop, the
// tick count is the virtual clock, and worker ticks wait in a queue that a
// loop timer empties on the GUI thread while worker delivery is on.
#include <map>
#include <memory>

#include "media/ui/media_platform.h"
#include "ui/application.h"

namespace brevaro::media {

namespace {

class HeadlessTimerWindows final : public TimerWindowPort {
 public:
  explicit HeadlessTimerWindows(ui::Backend& backend) : backend_(backend) {}

  Window create_window(std::function<void()> on_timer) override {
    auto rec = std::make_unique<Rec>();
    rec->on_timer = std::move(on_timer);
    Rec* raw = rec.get();
    rec->timer = backend_.create_timer([raw] {
      const auto tick = raw->on_timer;  // the tick may destroy this window
      if (tick) tick();
    });
    windows_[raw] = std::move(rec);
    return raw;
  }
  void destroy_window(Window window) override { windows_.erase(window); }
  bool set_timer(Window window, unsigned, std::uint32_t interval_ms) override {
    const auto it = windows_.find(window);
    if (it == windows_.end()) return false;
    it->second->timer->start(interval_ms);
    return true;
  }
  void kill_timer(Window window, unsigned) override {
    if (const auto it = windows_.find(window); it != windows_.end()) it->second->timer->stop();
  }

 private:
  struct Rec {
    std::function<void()> on_timer;
    std::unique_ptr<ui::TimerPeer> timer;
  };
  ui::Backend& backend_;
  std::map<Window, std::unique_ptr<Rec>> windows_;
};

class HeadlessMediaPlatform final : public MediaPlatform {
 public:
  explicit HeadlessMediaPlatform(ui::Application& app)
      : app_(app), windows_(app.backend()), dispatcher_([] { return true; }) {}
  ~HeadlessMediaPlatform() override { dispatcher_.close(); }
  HeadlessMediaPlatform(const HeadlessMediaPlatform&) = delete;
  HeadlessMediaPlatform& operator=(const HeadlessMediaPlatform&) = delete;

  TimerServices timer_services() override {
    TimerServices s;
    s.windows = &windows_;
    s.synchronize = dispatcher_.synchronizer();
    ui::Application* app = &app_;
    s.handle_exception = [app](std::exception_ptr e) { app->guarded([&] { std::rethrow_exception(e); }); };
    return s;
  }
  std::uint32_t tick_count() override { return static_cast<std::uint32_t>(app_.ports().clock.ticks_ms()); }

  void set_worker_delivery(bool on) override {
    if (!on) {
      poll_.reset();
      return;
    }
    if (poll_) return;
    poll_ = app_.backend().create_timer(
        [this] { dispatcher_.run_pending([this](const std::function<void()>& fn) { app_.guarded(fn); }); });
    poll_->start(kPollMs);
  }

 private:
  static constexpr std::uint32_t kPollMs = 1;
  ui::Application& app_;
  HeadlessTimerWindows windows_;
  GuiDispatcher dispatcher_;
  std::unique_ptr<ui::TimerPeer> poll_;
};

}  // namespace

std::unique_ptr<MediaPlatform> make_media_platform(ui::Application& app) {
  return std::make_unique<HeadlessMediaPlatform>(app);
}

}  // namespace brevaro::media
