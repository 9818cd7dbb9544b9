// A small poll-based event loop for Linux: posted calls, one-shot timers and
// poll sources (the socket API registers one). One thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <vector>

struct pollfd;

namespace brevaro::net::posix {

class PollSource {
 public:
  virtual ~PollSource() = default;
  // Appends the descriptors to watch.
  virtual void collect(std::vector<pollfd>& fds) = 0;
  // Handles the poll results of the descriptors collected before.
  virtual void dispatch(const std::vector<pollfd>& fds) = 0;
};

class EventLoop {
 public:
  EventLoop() = default;
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  void post(std::function<void()> fn);
  // One-shot timer; returns its id.
  std::uint64_t addTimer(int ms, std::function<void()> fn);
  void cancelTimer(std::uint64_t id);
  void addSource(PollSource& s);
  void removeSource(PollSource& s);

  // Runs due timers and the calls posted so far, then polls for at most
  // maxWaitMs (0 when work is pending) and dispatches what poll reported.
  void runOnce(int maxWaitMs = 20);
  // Sleeps until a posted call or a timer is due, a descriptor is ready, or
  // maxWaitMs pass; runs and dispatches nothing (runOnce does that next).
  void wait(int maxWaitMs);
  // Runs until pred() is true or the time limit passes; returns pred().
  bool runUntil(const std::function<bool()>& pred, int limitMs);
  void quit() { quit_ = true; }
  bool quitRequested() const { return quit_; }

 private:
  using Clock = std::chrono::steady_clock;
  bool runTimers();
  std::deque<std::function<void()>> posted_;
  std::map<std::pair<Clock::time_point, std::uint64_t>, std::function<void()>> timers_;
  std::map<std::uint64_t, Clock::time_point> timerIndex_;
  std::uint64_t nextTimer_ = 1;
  std::vector<PollSource*> sources_;
  bool quit_ = false;
};

}  // namespace brevaro::net::posix
