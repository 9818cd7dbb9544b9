// TTimerEx over a recording window-timer port and a real worker
// thread, and the GIF control animated through it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "media/timer/timer_ex.h"
#include "tests/host/gif/gif_writer.h"

namespace brevaro::media {
namespace {

class FakeWindows : public TimerWindowPort {
 public:
  Window create_window(std::function<void()> on_timer) override {
    auto* w = new int(next_++);
    windows_[w] = std::move(on_timer);
    ++created;
    return w;
  }
  void destroy_window(Window w) override {
    windows_.erase(w);
    timers_.erase(w);
    delete static_cast<int*>(w);
    ++destroyed;
  }
  bool set_timer(Window w, unsigned id, std::uint32_t ms) override {
    EXPECT_EQ(id, 1u);
    if (refuse) return false;
    timers_[w] = ms;
    ++set_calls;
    return true;
  }
  void kill_timer(Window w, unsigned id) override {
    EXPECT_EQ(id, 1u);
    timers_.erase(w);
  }
  // Delivers WM_TIMER to every window with a running timer.
  void fire() {
    std::vector<std::function<void()>> due;
    for (auto& [w, ms] : timers_) due.push_back(windows_[w]);
    for (auto& f : due) f();
  }
  std::size_t live_windows() const { return windows_.size(); }
  std::size_t running_timers() const { return timers_.size(); }
  std::uint32_t interval_of_any() const { return timers_.empty() ? 0 : timers_.begin()->second; }
  bool refuse = false;
  int created = 0, destroyed = 0, set_calls = 0;

 private:
  std::map<Window, std::function<void()>> windows_;
  std::map<Window, std::uint32_t> timers_;
  int next_ = 1;
};

TimerServices services(FakeWindows& w) {
  TimerServices s;
  s.windows = &w;
  static std::mutex gui;
  s.synchronize = [](std::function<void()> f) {
    std::lock_guard<std::mutex> g(gui);
    f();
  };
  return s;
}

TEST(TimerEx, InitialValuesAndWindowMode) {
  FakeWindows w;
  TTimerEx t(services(w));
  EXPECT_TRUE(t.enabled());
  EXPECT_EQ(t.interval(), 1000u);
  EXPECT_FALSE(t.threaded());
  EXPECT_EQ(t.thread_priority(), ThreadPriority::normal);
  EXPECT_FALSE(t.thread_safe());
  EXPECT_TRUE(t.has_window());
  EXPECT_EQ(w.running_timers(), 0u);  // no OnTimer: stopped
  int ticks = 0;
  t.set_on_timer([&](TTimerEx&) { ++ticks; });
  EXPECT_EQ(w.running_timers(), 1u);
  EXPECT_EQ(w.interval_of_any(), 1000u);
  w.fire();
  EXPECT_EQ(ticks, 1);
  const int calls = w.set_calls;
  t.set_interval(1000);  // the same value: the countdown is not restarted
  EXPECT_EQ(w.set_calls, calls);
  t.set_interval(250);
  EXPECT_EQ(w.set_calls, calls + 1);
  EXPECT_EQ(w.interval_of_any(), 250u);
  t.set_interval(0);
  EXPECT_EQ(w.running_timers(), 0u);
  t.set_interval(40);
  t.set_enabled(false);
  EXPECT_EQ(w.running_timers(), 0u);
  w.fire();
  EXPECT_EQ(ticks, 1);
}

TEST(TimerEx, NoMoreTimersAvailable) {
  FakeWindows w;
  w.refuse = true;
  TTimerEx t(services(w));
  try {
    t.set_on_timer([](TTimerEx&) {});
    FAIL() << "no exception";
  } catch (const EOutOfResources& e) {
    EXPECT_STREQ(e.what(), "No More Timers Available");
  }
}

TEST(TimerEx, HandlerExceptionsGoToTheApplicationHandler) {
  FakeWindows w;
  TimerServices s = services(w);
  int reported = 0;
  s.handle_exception = [&](std::exception_ptr) { ++reported; };
  TTimerEx t(s);
  t.set_on_timer([](TTimerEx&) { throw std::runtime_error("boom"); });
  EXPECT_NO_THROW(w.fire());
  EXPECT_EQ(reported, 1);
}

TEST(TimerEx, SwitchingThreadedNeverLeavesTwoTickSources) {
  FakeWindows w;
  std::atomic<int> ticks{0};
  {
    TTimerEx t(services(w));
    t.set_interval(5);
    t.set_on_timer([&](TTimerEx&) { ++ticks; });
    for (int i = 0; i < 5; ++i) {
      t.set_threaded(true);
      EXPECT_FALSE(t.has_window());
      EXPECT_TRUE(t.worker_running());
      EXPECT_EQ(w.running_timers(), 0u);
      t.set_threaded(false);
      EXPECT_FALSE(t.has_worker());
      EXPECT_TRUE(t.has_window());
      EXPECT_EQ(w.running_timers(), 1u);
    }
    t.set_threaded(true);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (ticks < 3 && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_GE(ticks.load(), 3);
    t.set_enabled(false);
    EXPECT_FALSE(t.worker_running());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const int stopped = ticks;
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_EQ(ticks.load(), stopped);
  }
  EXPECT_EQ(w.live_windows(), 0u);
}

TEST(TimerEx, ThreadSafeTicksRunOnTheWorker) {
  FakeWindows w;
  TimerServices s = services(w);
  std::atomic<int> synchronised{0};
  s.synchronize = [&](std::function<void()> f) {
    ++synchronised;
    f();
  };
  std::atomic<int> ticks{0};
  std::thread::id tick_thread;
  std::mutex m;
  TTimerEx t(s);  // declared last: destroyed first, before what its ticks use
  t.set_thread_safe(true);
  t.set_threaded(true);
  t.set_interval(2);
  t.set_on_timer([&](TTimerEx&) {
    std::lock_guard<std::mutex> g(m);
    tick_thread = std::this_thread::get_id();
    ++ticks;
  });
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ticks < 2 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_GE(ticks.load(), 2);
  t.set_enabled(false);
  EXPECT_EQ(synchronised.load(), 0);
  std::lock_guard<std::mutex> g(m);
  EXPECT_NE(tick_thread, std::this_thread::get_id());
}

TEST(TimerEx, ThreadedModeTicksOnlyWithIntervalEnabledAndHandler) {
  FakeWindows w;
  struct Case {
    std::uint32_t interval;
    bool enabled, handler;
  };
  for (const Case c : {Case{0, true, true}, Case{5, false, true}, Case{5, true, false}, Case{5, true, true}}) {
    SCOPED_TRACE(testing::Message() << c.interval << " " << c.enabled << " " << c.handler);
    std::atomic<int> ticks{0};
    TTimerEx t(services(w));  // declared after what its ticks use
    t.set_threaded(true);
    t.set_enabled(c.enabled);
    t.set_interval(c.interval);
    if (c.handler) t.set_on_timer([&](TTimerEx&) { ++ticks; });
    const bool should_tick = c.interval != 0 && c.enabled && c.handler;
    EXPECT_EQ(t.worker_running(), should_tick);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(should_tick ? 5000 : 80);
    while (ticks < 2 && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(ticks.load() >= 2, should_tick);
  }
}

TEST(TimerEx, ThreadedSameIntervalDoesNotRestartTheCountdown) {
  FakeWindows w;
  std::atomic<int> ticks{0};
  TTimerEx t(services(w));
  t.set_threaded(true);
  t.set_interval(80);
  t.set_on_timer([&](TTimerEx&) { ++ticks; });
  // Setting 80 again every few milliseconds: were the countdown restarted,
  // no tick would ever come.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(600);
  while (std::chrono::steady_clock::now() < until) {
    t.set_interval(80);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_GE(ticks.load(), 2);
}

TEST(TimerEx, ThreadedHandlerExceptionsGoToTheApplicationHandler) {
  // On the worker (ThreadSafe) and through a synchronise call that lets the
  // exception through: neither may end the process, both are reported and
  // the timer keeps ticking.
  for (const bool thread_safe : {true, false}) {
    SCOPED_TRACE(thread_safe);
    FakeWindows w;
    TimerServices s = services(w);
    std::atomic<int> reported{0};
    s.handle_exception = [&](std::exception_ptr e) {
      try {
        std::rethrow_exception(e);
      } catch (const std::runtime_error& err) {
        if (std::string(err.what()) == "boom") ++reported;
      }
    };
    TTimerEx t(s);
    t.set_thread_safe(thread_safe);
    t.set_threaded(true);
    t.set_interval(2);
    t.set_on_timer([](TTimerEx&) { throw std::runtime_error("boom"); });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (reported < 3 && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    t.set_enabled(false);
    EXPECT_GE(reported.load(), 3);
  }
}

TEST(TimerEx, DestroyedFromInsideItsOwnTick) {
  FakeWindows w;
  {
    auto* t = new TTimerEx(services(w));
    t->set_interval(10);
    t->set_on_timer([](TTimerEx& self) { delete &self; });
    w.fire();
    EXPECT_EQ(w.live_windows(), 0u);
  }
  {
    std::atomic<bool> done{false};
    auto* t = new TTimerEx(services(w));
    t->set_threaded(true);
    t->set_interval(1);
    t->set_on_timer([&](TTimerEx& self) {
      if (!done.exchange(true)) delete &self;
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(done.load());
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

TEST(TimerEx, AnimatesTheGifControl) {
  using gif::testing::GifWriter;
  FakeWindows w;
  GifImageServices gs;
  gs.timer_factory = timer_ex_factory(services(w));
  GifImage image(std::move(gs));
  image.set_animate(true);
  GifWriter gw(2, 1, 2);
  gw.frame(gif::testing::solid_frame(2, 1, 1)).frame(gif::testing::solid_frame(2, 1, 2)).trailer();
  ASSERT_TRUE(image.load_from_memory(gw.bytes()));
  Surface s(4, 4);
  image.wm_paint(s, 0, 0);
  EXPECT_EQ(w.running_timers(), 1u);
  EXPECT_EQ(w.interval_of_any(), 50u);
  w.fire();  // first tick: frame 1 already shown
  w.fire();  // frame 2, wrap, one pass: the timer is freed inside its tick
  EXPECT_EQ(image.canvas().at(0, 0), gif::pixel_of(gif::Rgb{2, 253, 14}));
  EXPECT_FALSE(image.timer_running());
  EXPECT_EQ(w.live_windows(), 0u);
}

}  // namespace
}  // namespace brevaro::media
