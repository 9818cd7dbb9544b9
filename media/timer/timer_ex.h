// TTimerEx and TTimerThread as a portable core: the timer's
// state machine (UpdateTimer), its window mode over a small window-timer
// port, and its threaded mode on a standard C++ worker thread that delivers
// ticks to the GUI thread through an injected synchronise call. The Win32
// side supplies the port (a utility window with SetTimer/KillTimer) and the
// synchronise call (the UI framework's Synchronize).
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>

#include "base/weak_ref.h"
#include "media/gif/gif_image.h"  // ThreadPriority

namespace brevaro::media {

class EOutOfResources : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The utility window of window mode: WM_TIMER (identifier 1) calls on_timer.
class TimerWindowPort {
 public:
  virtual ~TimerWindowPort() = default;
  using Window = void*;
  virtual Window create_window(std::function<void()> on_timer) = 0;
  // May be called from inside that window's own on_timer.
  virtual void destroy_window(Window window) = 0;
  // False when the platform refuses (no more timers).
  virtual bool set_timer(Window window, unsigned id, std::uint32_t interval_ms) = 0;
  virtual void kill_timer(Window window, unsigned id) = 0;
};

struct TimerServices {
  TimerWindowPort* windows = nullptr;
  // Runs the call on the GUI thread and waits until it has finished.
  std::function<void(std::function<void()>)> synchronize;
  // The application's standard exception handler (shows the message).
  std::function<void(std::exception_ptr)> handle_exception;
  // Sets the priority of the calling (worker) thread; optional.
  std::function<void(ThreadPriority)> set_current_thread_priority;
};

class TTimerEx {
 public:
  using NotifyEvent = std::function<void(TTimerEx& sender)>;

  explicit TTimerEx(TimerServices services);
  virtual ~TTimerEx();
  TTimerEx(const TTimerEx&) = delete;
  TTimerEx& operator=(const TTimerEx&) = delete;

  bool enabled() const { return enabled_; }
  void set_enabled(bool v);
  std::uint32_t interval() const { return interval_; }
  void set_interval(std::uint32_t v);
  const NotifyEvent& on_timer() const { return on_timer_; }
  void set_on_timer(NotifyEvent handler);
  bool threaded() const { return threaded_; }
  void set_threaded(bool v);
  ThreadPriority thread_priority() const { return priority_; }
  void set_thread_priority(ThreadPriority v);
  bool thread_safe() const { return thread_safe_; }
  void set_thread_safe(bool v);

  // The overridable tick: calls OnTimer when enabled and assigned.
  virtual void timer();

  // State, for tests and the Win32 side.
  bool has_window() const { return window_ != nullptr; }
  bool has_worker() const { return worker_ != nullptr; }
  bool worker_running() const;
  bool window_timer_active() const { return window_timer_; }

 private:
  struct Worker;
  void update_timer();
  void wm_timer();
  void release_window();
  void end_worker();

  TimerServices services_;
  bool enabled_ = true;
  std::uint32_t interval_ = 1000;
  NotifyEvent on_timer_;
  bool threaded_ = false;
  ThreadPriority priority_ = ThreadPriority::normal;
  bool thread_safe_ = false;
  std::shared_ptr<Worker> worker_;
  TimerWindowPort::Window window_ = nullptr;
  bool window_timer_ = false;
  base::WeakAnchor anchor_;  // expired once destroyed (ticks from a dying window stop)
};

// The GIF control's animation timer backed by a TTimerEx, in the order the
// control relies on: create, copy Threaded and ThreadPriority, assign
// OnTimer, then set Interval.
AnimationTimerFactory timer_ex_factory(TimerServices services);

}  // namespace brevaro::media
