#include "media/timer/timer_ex.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace brevaro::media {

// TTimerThread: a detached worker that sleeps for the owner's interval and
// then delivers the tick. Everything it reads lives here, shared with the
// owner, so it never touches a destroyed timer.
struct TTimerEx::Worker {
  std::mutex m;
  std::condition_variable cv;
  bool suspended = true;
  bool terminated = false;
  std::uint64_t generation = 0;  // bumped on every resume: restarts the sleep
  std::uint32_t interval = 1000;
  bool thread_safe = false;
  ThreadPriority priority = ThreadPriority::normal;
  std::recursive_mutex call;  // held while the owner is used
  TTimerEx* owner = nullptr;  // none once the owner is gone

  // Hands an exception from a tick to the application's handler on the GUI
  // thread; dropped once the owner is gone (the handler may be gone too).
  static void report(const std::shared_ptr<Worker>& w, const TimerServices& services, std::exception_ptr e) {
    if (!services.handle_exception) return;
    auto deliver = [w, handler = services.handle_exception, e] {
      std::lock_guard<std::recursive_mutex> g(w->call);
      if (w->owner) handler(e);
    };
    try {
      if (services.synchronize) {
        services.synchronize(deliver);
      } else {
        deliver();
      }
    } catch (...) {
      // The handler itself failed: nothing left to tell on this thread.
    }
  }

  static void body(std::shared_ptr<Worker> w, TimerServices services) {
    ThreadPriority applied;
    {
      std::lock_guard<std::mutex> lk(w->m);
      applied = w->priority;
    }
    if (services.set_current_thread_priority) services.set_current_thread_priority(applied);
    std::unique_lock<std::mutex> lk(w->m);
    while (!w->terminated) {
      w->cv.wait(lk, [&] { return !w->suspended || w->terminated; });
      if (w->terminated) break;
      if (w->priority != applied) {
        applied = w->priority;
        if (services.set_current_thread_priority) services.set_current_thread_priority(applied);
      }
      const std::uint64_t gen = w->generation;
      const bool interrupted = w->cv.wait_for(lk, std::chrono::milliseconds(w->interval),
                                              [&] { return w->terminated || w->suspended || w->generation != gen; });
      if (w->terminated) break;
      if (interrupted) continue;
      const bool safe = w->thread_safe;
      lk.unlock();
      auto tick = [w] {
        std::lock_guard<std::recursive_mutex> g(w->call);
        if (w->owner) w->owner->timer();
      };
      try {
        if (safe || !services.synchronize) {
          tick();
        } else {
          services.synchronize(tick);
        }
      } catch (...) {
        // An exception must not leave the thread (that would end the
        // process): it goes to the application's handler on the GUI thread,
        // as in window mode, and the timer keeps ticking.
        report(w, services, std::current_exception());
      }
      lk.lock();
    }
  }
};

TTimerEx::TTimerEx(TimerServices services) : services_(std::move(services)) { update_timer(); }

TTimerEx::~TTimerEx() {
  anchor_.expire();
  enabled_ = false;
  try {
    update_timer();
  } catch (...) {
  }
  end_worker();
  release_window();
}

void TTimerEx::set_enabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  update_timer();
}

void TTimerEx::set_interval(std::uint32_t v) {
  if (v == interval_) return;
  interval_ = v;
  update_timer();
}

void TTimerEx::set_on_timer(NotifyEvent handler) {
  on_timer_ = std::move(handler);
  update_timer();
}

void TTimerEx::set_threaded(bool v) {
  if (v == threaded_) return;
  threaded_ = v;
  update_timer();
}

void TTimerEx::set_thread_priority(ThreadPriority v) {
  if (v == priority_) return;
  priority_ = v;
  if (threaded_) update_timer();
}

void TTimerEx::set_thread_safe(bool v) {
  thread_safe_ = v;
  if (worker_) {
    std::lock_guard<std::mutex> lk(worker_->m);
    worker_->thread_safe = v;
  }
}

void TTimerEx::timer() {
  if (enabled_ && on_timer_) {
    NotifyEvent handler = on_timer_;  // the handler may replace itself or free this timer
    handler(*this);
  }
}

bool TTimerEx::worker_running() const {
  if (!worker_) return false;
  std::lock_guard<std::mutex> lk(worker_->m);
  return !worker_->suspended && !worker_->terminated;
}

void TTimerEx::wm_timer() {
  try {
    timer();
  } catch (...) {
    if (services_.handle_exception) services_.handle_exception(std::current_exception());
  }
}

void TTimerEx::release_window() {
  if (window_ && services_.windows) {
    if (window_timer_) services_.windows->kill_timer(window_, 1);
    services_.windows->destroy_window(window_);
  }
  window_ = nullptr;
  window_timer_ = false;
}

void TTimerEx::end_worker() {
  if (!worker_) return;
  {
    std::lock_guard<std::recursive_mutex> g(worker_->call);
    worker_->owner = nullptr;
  }
  {
    std::lock_guard<std::mutex> lk(worker_->m);
    worker_->terminated = true;
    worker_->suspended = false;
  }
  worker_->cv.notify_all();
  worker_.reset();  // the thread ends and frees itself
}

void TTimerEx::update_timer() {
  // 1. Stop what runs.
  if (worker_) {
    std::lock_guard<std::mutex> lk(worker_->m);
    worker_->suspended = true;
    worker_->cv.notify_all();
  }
  if (window_ && window_timer_ && services_.windows) {
    services_.windows->kill_timer(window_, 1);
    window_timer_ = false;
  }
  // 2. Tear down the other mode, set up this one.
  if (threaded_) {
    release_window();
    if (!worker_) {
      worker_ = std::make_shared<Worker>();
      worker_->owner = this;
      worker_->interval = interval_;
      worker_->thread_safe = thread_safe_;
      worker_->priority = priority_;
      std::thread(Worker::body, worker_, services_).detach();
    }
  } else {
    end_worker();
    if (!window_ && services_.windows) {
      window_ = services_.windows->create_window([self = anchor_.ref(this)] {
        if (auto* timer = self.lock()) timer->wm_timer();
      });
    }
  }
  // 3. Start when there is something to do.
  if (interval_ != 0 && enabled_ && on_timer_) {
    if (threaded_) {
      std::lock_guard<std::mutex> lk(worker_->m);
      worker_->interval = interval_;
      worker_->priority = priority_;
      worker_->thread_safe = thread_safe_;
      worker_->suspended = false;
      ++worker_->generation;
      worker_->cv.notify_all();
    } else if (window_ && services_.windows) {
      if (!services_.windows->set_timer(window_, 1, interval_)) {
        throw EOutOfResources("No More Timers Available");
      }
      window_timer_ = true;
    }
  }
}

namespace {

class TimerExAnimationTimer : public AnimationTimer {
 public:
  TimerExAnimationTimer(TimerServices services, std::function<void()> on_tick, bool threaded, ThreadPriority priority)
      : timer_(std::move(services)) {
    timer_.set_threaded(threaded);
    timer_.set_thread_priority(priority);
    timer_.set_on_timer([cb = std::move(on_tick)](TTimerEx&) { cb(); });
  }
  void set_interval(std::uint32_t ms) override { timer_.set_interval(ms); }
  void set_enabled(bool e) override { timer_.set_enabled(e); }
  void set_threaded(bool t) override { timer_.set_threaded(t); }
  void set_thread_priority(ThreadPriority p) override { timer_.set_thread_priority(p); }

 private:
  TTimerEx timer_;
};

}  // namespace

AnimationTimerFactory timer_ex_factory(TimerServices services) {
  return [services](std::function<void()> on_tick, bool threaded, ThreadPriority priority) {
    return std::unique_ptr<AnimationTimer>(
        std::make_unique<TimerExAnimationTimer>(services, std::move(on_tick), threaded, priority));
  };
}

}  // namespace brevaro::media
