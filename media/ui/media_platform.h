// What the banner controls need of the window system beyond ui/: the
// utility windows of TTimerEx's window mode, the hand-over of worker ticks
// to the GUI thread, and the system tick count. One implementation per
// backend (win32/, headless/), chosen at link time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "media/timer/timer_ex.h"

namespace brevaro::ui {
class Application;
}

namespace brevaro::media {

// Runs calls from worker threads on the GUI thread and lets the worker wait
// for them. Workers hold the state, so it outlives its owner: once closed,
// waiting workers are released and their calls dropped.
class GuiDispatcher {
 public:
  // `wake` asks the GUI thread to call run_pending() soon; it is called on the
  // worker thread and returns false when it cannot be delivered.
  explicit GuiDispatcher(std::function<bool()> wake);
  ~GuiDispatcher();
  GuiDispatcher(const GuiDispatcher&) = delete;
  GuiDispatcher& operator=(const GuiDispatcher&) = delete;

  // The TimerServices::synchronize of this dispatcher (any thread).
  std::function<void(std::function<void()>)> synchronizer() const;
  // GUI thread: runs every call that is waiting, each through `run`.
  void run_pending(const std::function<void(const std::function<void()>&)>& run);
  // GUI thread: releases the waiting workers; later calls are dropped.
  void close();

 private:
  struct Job {
    std::function<void()> fn;
    bool done = false;
  };
  struct State {
    std::mutex m;
    std::condition_variable cv;
    std::deque<std::shared_ptr<Job>> jobs;
    bool closed = false;
    std::function<bool()> wake;
  };
  std::shared_ptr<State> state_;
};

class MediaPlatform {
 public:
  virtual ~MediaPlatform() = default;
  // Services for TTimerEx; valid while this object lives (the synchronise
  // call stays safe to call after that: it then does nothing).
  virtual TimerServices timer_services() = 0;
  // The system tick count in milliseconds.
  virtual std::uint32_t tick_count() = 0;
  // Where the GUI thread does not wake up by itself for worker ticks (the
  // headless loop on virtual time), they are collected only while this is
  // on. The control switches it with its Threaded property.
  virtual void set_worker_delivery(bool /*on*/) {}
};

std::unique_ptr<MediaPlatform> make_media_platform(ui::Application& app);

}  // namespace brevaro::media
