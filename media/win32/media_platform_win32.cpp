// The banner controls' window-system services on Win32: one message-only
// utility window per TTimerEx in window mode (SetTimer/KillTimer with the
// timer's identifier), and one message-only window per platform object that
// runs worker ticks on the GUI thread when they are posted to it.
#include <windows.h>

#include <map>
#include <memory>
#include <stdexcept>

#include "media/ui/media_platform.h"
#include "platform/win32/window.h"
#include "ui/application.h"

namespace brevaro::media {

namespace {

constexpr platform::win32::WindowClass kTimerClass{.name = L"TTimerExWindow"};
constexpr platform::win32::WindowClass kSyncClass{.name = L"TBrevaroMediaSync"};
const platform::win32::WindowPlacement kMessageOnly{.parent = HWND_MESSAGE};
constexpr UINT kRunPending = WM_APP + 0x31;

// The utility windows of window mode.
class Win32TimerWindows final : public TimerWindowPort {
 public:
  Win32TimerWindows() = default;
  Win32TimerWindows(const Win32TimerWindows&) = delete;
  Win32TimerWindows& operator=(const Win32TimerWindows&) = delete;

  Window create_window(std::function<void()> on_timer) override {
    auto rec = std::make_unique<Rec>(std::move(on_timer));
    HWND h = rec->window.get();
    windows_[h] = std::move(rec);
    return h;
  }
  void destroy_window(Window window) override {
    // Destroys the window, also from inside its own WM_TIMER.
    windows_.erase(static_cast<HWND>(window));
  }
  bool set_timer(Window window, unsigned id, std::uint32_t interval_ms) override {
    return SetTimer(static_cast<HWND>(window), id, interval_ms, nullptr) != 0;
  }
  void kill_timer(Window window, unsigned id) override { KillTimer(static_cast<HWND>(window), id); }

 private:
  struct Rec final : platform::win32::WindowHandler {
    explicit Rec(std::function<void()> tick) : on_timer(std::move(tick)) {}
    LRESULT on_message(platform::win32::Window& w, UINT message, WPARAM wp, LPARAM lp) override {
      if (message != WM_TIMER || wp != 1) return w.default_handling(message, wp, lp);
      const auto tick = on_timer;  // the tick may destroy this window
      if (tick) tick();
      return 0;
    }
    std::function<void()> on_timer;
    platform::win32::Window window{kTimerClass, kMessageOnly, *this};
  };
  std::map<HWND, std::unique_ptr<Rec>> windows_;
};

int native_priority(ThreadPriority p) {
  switch (p) {
    case ThreadPriority::idle: return THREAD_PRIORITY_IDLE;
    case ThreadPriority::lowest: return THREAD_PRIORITY_LOWEST;
    case ThreadPriority::lower: return THREAD_PRIORITY_BELOW_NORMAL;
    case ThreadPriority::normal: return THREAD_PRIORITY_NORMAL;
    case ThreadPriority::higher: return THREAD_PRIORITY_ABOVE_NORMAL;
    case ThreadPriority::highest: return THREAD_PRIORITY_HIGHEST;
    case ThreadPriority::time_critical: return THREAD_PRIORITY_TIME_CRITICAL;
  }
  return THREAD_PRIORITY_NORMAL;
}

class Win32MediaPlatform final : public MediaPlatform, platform::win32::WindowHandler {
 public:
  explicit Win32MediaPlatform(ui::Application& app) : app_(app) {
    const HWND h = sync_window_.get();
    dispatcher_ = std::make_unique<GuiDispatcher>([h] { return PostMessageW(h, kRunPending, 0, 0) != 0; });
  }
  ~Win32MediaPlatform() override { dispatcher_->close(); }
  Win32MediaPlatform(const Win32MediaPlatform&) = delete;
  Win32MediaPlatform& operator=(const Win32MediaPlatform&) = delete;

  TimerServices timer_services() override {
    TimerServices s;
    s.windows = &windows_;
    s.synchronize = dispatcher_->synchronizer();
    ui::Application* app = &app_;
    s.handle_exception = [app](std::exception_ptr e) { app->guarded([&] { std::rethrow_exception(e); }); };
    s.set_current_thread_priority = [](ThreadPriority p) { SetThreadPriority(GetCurrentThread(), native_priority(p)); };
    return s;
  }
  std::uint32_t tick_count() override { return GetTickCount(); }

 private:
  LRESULT on_message(platform::win32::Window& w, UINT message, WPARAM wp, LPARAM lp) override {
    if (message != kRunPending) return w.default_handling(message, wp, lp);
    if (dispatcher_) dispatcher_->run_pending([this](const std::function<void()>& fn) { app_.guarded(fn); });
    return 0;
  }

  ui::Application& app_;
  Win32TimerWindows windows_;
  std::unique_ptr<GuiDispatcher> dispatcher_;
  platform::win32::Window sync_window_{kSyncClass, kMessageOnly, *this};
};

}  // namespace

std::unique_ptr<MediaPlatform> make_media_platform(ui::Application& app) {
  return std::make_unique<Win32MediaPlatform>(app);
}

}  // namespace brevaro::media
