#include "net/posix/event_loop.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

namespace brevaro::net::posix {

void EventLoop::post(std::function<void()> fn) { posted_.push_back(std::move(fn)); }

std::uint64_t EventLoop::addTimer(int ms, std::function<void()> fn) {
  auto due = Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
  std::uint64_t id = nextTimer_++;
  timers_.emplace(std::make_pair(due, id), std::move(fn));
  timerIndex_.emplace(id, due);
  return id;
}

void EventLoop::cancelTimer(std::uint64_t id) {
  auto it = timerIndex_.find(id);
  if (it == timerIndex_.end()) return;
  timers_.erase(std::make_pair(it->second, id));
  timerIndex_.erase(it);
}

void EventLoop::addSource(PollSource& s) { sources_.push_back(&s); }

void EventLoop::removeSource(PollSource& s) { std::erase(sources_, &s); }

bool EventLoop::runTimers() {
  bool ran = false;
  auto now = Clock::now();
  while (!timers_.empty() && timers_.begin()->first.first <= now) {
    auto node = timers_.extract(timers_.begin());
    timerIndex_.erase(node.key().second);
    node.mapped()();
    ran = true;
  }
  return ran;
}

void EventLoop::runOnce(int maxWaitMs) {
  runTimers();
  // Only the calls posted before this point run now; later ones wait for the next round.
  std::size_t count = posted_.size();
  for (std::size_t i = 0; i < count && !posted_.empty(); ++i) {
    auto fn = std::move(posted_.front());
    posted_.pop_front();
    fn();
  }
  int timeout = std::max(maxWaitMs, 0);
  if (!posted_.empty()) timeout = 0;
  if (!timers_.empty()) {
    auto until = std::chrono::duration_cast<std::chrono::milliseconds>(timers_.begin()->first.first - Clock::now());
    timeout = std::min<int>(timeout, static_cast<int>(std::max<long long>(until.count(), 0)));
  }
  std::vector<pollfd> fds;
  std::vector<std::size_t> counts;
  auto sources = sources_;
  for (auto* s : sources) {
    std::size_t before = fds.size();
    s->collect(fds);
    counts.push_back(fds.size() - before);
  }
  int r = ::poll(fds.data(), fds.size(), timeout);
  if (r <= 0) return;
  std::size_t at = 0;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    std::vector<pollfd> part(fds.begin() + static_cast<long>(at), fds.begin() + static_cast<long>(at + counts[i]));
    at += counts[i];
    if (std::find(sources_.begin(), sources_.end(), sources[i]) != sources_.end()) sources[i]->dispatch(part);
  }
}

void EventLoop::wait(int maxWaitMs) {
  if (!posted_.empty()) return;
  int timeout = std::max(maxWaitMs, 0);
  if (!timers_.empty()) {
    auto until = std::chrono::duration_cast<std::chrono::milliseconds>(timers_.begin()->first.first - Clock::now());
    timeout = std::min<int>(timeout, static_cast<int>(std::max<long long>(until.count(), 0)));
  }
  std::vector<pollfd> fds;
  for (auto* s : sources_) s->collect(fds);
  ::poll(fds.data(), fds.size(), timeout);
}

bool EventLoop::runUntil(const std::function<bool()>& pred, int limitMs) {
  auto end = Clock::now() + std::chrono::milliseconds(limitMs);
  while (!pred()) {
    if (Clock::now() >= end) return pred();
    runOnce(10);
  }
  return true;
}

}  // namespace brevaro::net::posix
