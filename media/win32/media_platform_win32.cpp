// The banner controls' window-system services on Win32: one message-only
// utility window per TTimerEx in window mode (SetTimer/KillTimer with the
// timer's identifier), and one message-only window per platform object that
// runs worker ticks on the GUI thread when they are posted to it.
#include <windows.h>

#include <map>
#include <memory>
#include <stdexcept>

#include "media/ui/media_platform.h"
#include "platform/win32/handles.h"
#include "ui/application.h"

namespace brevaro::media {

namespace {

constexpr wchar_t kTimerClass[] = L"TTimerExWindow";
constexpr wchar_t kSyncClass[] = L"TBrevaroMediaSync";
constexpr UINT kRunPending = WM_APP + 0x31;

using platform::win32::UniqueWindow;

HINSTANCE instance() { return GetModuleHandleW(nullptr); }

void register_class(const wchar_t* name, WNDPROC proc) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = instance();
  wc.lpszClassName = name;
  RegisterClassW(&wc);  // fails harmlessly when the class exists already
}

UniqueWindow create_message_window(const wchar_t* cls) {
  HWND h = CreateWindowExW(0, cls, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance(), nullptr);
  if (!h) throw std::runtime_error("Error creating window (" + std::to_string(GetLastError()) + ")");
  return UniqueWindow{h};
}

// The utility windows of window mode.
class Win32TimerWindows final : public TimerWindowPort {
 public:
  Win32TimerWindows() { register_class(kTimerClass, &proc); }
  ~Win32TimerWindows() override {
    for (auto& [h, rec] : windows_) SetWindowLongPtrW(h, GWLP_USERDATA, 0);
  }
  Win32TimerWindows(const Win32TimerWindows&) = delete;
  Win32TimerWindows& operator=(const Win32TimerWindows&) = delete;

  Window create_window(std::function<void()> on_timer) override {
    auto rec = std::make_unique<Rec>();
    rec->on_timer = std::move(on_timer);
    rec->window = create_message_window(kTimerClass);
    HWND h = rec->window.get();
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(rec.get()));
    windows_[h] = std::move(rec);
    return h;
  }
  void destroy_window(Window window) override {
    const auto it = windows_.find(static_cast<HWND>(window));
    if (it == windows_.end()) return;
    SetWindowLongPtrW(it->first, GWLP_USERDATA, 0);
    windows_.erase(it);  // destroys the window, also from inside its own WM_TIMER
  }
  bool set_timer(Window window, unsigned id, std::uint32_t interval_ms) override {
    return SetTimer(static_cast<HWND>(window), id, interval_ms, nullptr) != 0;
  }
  void kill_timer(Window window, unsigned id) override { KillTimer(static_cast<HWND>(window), id); }

 private:
  struct Rec {
    std::function<void()> on_timer;
    UniqueWindow window;
  };
  static LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_TIMER && wp == 1) {
      if (auto* rec = reinterpret_cast<Rec*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) {
        const auto tick = rec->on_timer;  // the tick may destroy this window
        if (tick) tick();
      }
      return 0;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
  }
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

class Win32MediaPlatform final : public MediaPlatform {
 public:
  explicit Win32MediaPlatform(ui::Application& app) : app_(app) {
    register_class(kSyncClass, &sync_proc);
    sync_window_ = create_message_window(kSyncClass);
    const HWND h = sync_window_.get();
    dispatcher_ = std::make_unique<GuiDispatcher>([h] { return PostMessageW(h, kRunPending, 0, 0) != 0; });
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~Win32MediaPlatform() override {
    SetWindowLongPtrW(sync_window_.get(), GWLP_USERDATA, 0);
    dispatcher_->close();
  }
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
  static LRESULT CALLBACK sync_proc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    if (message == kRunPending) {
      if (auto* self = reinterpret_cast<Win32MediaPlatform*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) {
        self->dispatcher_->run_pending([self](const std::function<void()>& fn) { self->app_.guarded(fn); });
      }
      return 0;
    }
    return DefWindowProcW(hwnd, message, wp, lp);
  }

  ui::Application& app_;
  Win32TimerWindows windows_;
  UniqueWindow sync_window_;
  std::unique_ptr<GuiDispatcher> dispatcher_;
};

}  // namespace

std::unique_ptr<MediaPlatform> make_media_platform(ui::Application& app) {
  return std::make_unique<Win32MediaPlatform>(app);
}

}  // namespace brevaro::media
