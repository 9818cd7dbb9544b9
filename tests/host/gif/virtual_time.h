// Virtual time for the GIF control's tests: a clock and window-style timers
// (a different interval restarts the countdown, the same one does not).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "media/gif/gif_image.h"

namespace brevaro::media::testing {

class VirtualTime {
 public:
  class Timer : public AnimationTimer {
   public:
    Timer(VirtualTime& vt, int id, std::function<void()> cb) : vt_(vt), id_(id), cb_(std::move(cb)) {
      vt_.timers_[id_] = this;
      ++vt_.created;
    }
    ~Timer() override {
      vt_.timers_.erase(id_);
      ++vt_.destroyed;
    }
    void set_interval(std::uint32_t ms) override {
      if (ms != interval_ || !started_) {
        interval_ = ms;
        due_ = vt_.now + ms;
        started_ = true;
      }
      vt_.intervals.push_back(ms);
    }
    void set_enabled(bool e) override {
      if (e && !enabled_) due_ = vt_.now + interval_;
      enabled_ = e;
    }
    void set_threaded(bool t) override { threaded = t; }
    void set_thread_priority(ThreadPriority p) override { priority = p; }
    bool threaded = false;
    ThreadPriority priority = ThreadPriority::normal;

   private:
    friend class VirtualTime;
    VirtualTime& vt_;
    int id_;
    std::function<void()> cb_;
    std::uint32_t interval_ = 1000;
    std::uint64_t due_ = 0;
    bool started_ = false;
    bool enabled_ = true;
  };

  AnimationTimerFactory factory() {
    return [this](std::function<void()> cb, bool threaded, ThreadPriority prio) {
      auto t = std::make_unique<Timer>(*this, next_id_++, std::move(cb));
      t->threaded = threaded;
      t->priority = prio;
      return std::unique_ptr<AnimationTimer>(std::move(t));
    };
  }
  std::function<std::uint32_t()> clock() {
    return [this] { return static_cast<std::uint32_t>(now); };
  }

  // Runs every tick due up to now + ms.
  void advance(std::uint64_t ms) {
    const std::uint64_t target = now + ms;
    for (;;) {
      Timer* best = nullptr;
      for (auto& [id, t] : timers_) {
        if (t->started_ && t->enabled_ && t->due_ <= target && (!best || t->due_ < best->due_)) best = t;
      }
      if (!best) break;
      now = best->due_;
      best->due_ = now + (best->interval_ == 0 ? 1 : best->interval_);
      std::function<void()> cb = best->cb_;  // the timer may be destroyed in its tick
      cb();
    }
    if (now < target) now = target;
  }

  std::size_t live_timers() const { return timers_.size(); }

  std::uint64_t now = 0;
  int created = 0, destroyed = 0;
  std::vector<std::uint32_t> intervals;

 private:
  std::map<int, Timer*> timers_;
  int next_id_ = 1;
};

}  // namespace brevaro::media::testing
