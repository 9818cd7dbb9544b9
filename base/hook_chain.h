// The one chain of message hooks every window of the programs has (the
// forms' window hooks, the tray's application-window filters), on every
// backend, with one set of rules:
// - the newest hook sees a message first; its `pass_on` runs the hook behind
//   it (the last one's runs the window's own handling) and returns its result;
// - `pass_on` runs the rest of the chain at most once: a second call returns
//   the first call's result;
// - a hook that does not call `pass_on` ends the message with its result;
// - the chain runs over a snapshot: hooks added or removed by a hook take
//   effect from the next message;
// - an exception from a hook is handed to the chain's error handler, and the
//   message still reaches the rest of the chain once.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <utility>
#include <vector>

namespace brevaro::base {

template <class Result, class... Args>
class HookChain {
 public:
  using PassOn = std::function<Result()>;
  using Hook = std::function<Result(Args..., const PassOn& pass_on)>;
  using ErrorHandler = std::function<void(const std::exception&)>;

  // Adds a hook in front of the others; the number removes it.
  int add(Hook hook) {
    hooks_.push_back(Entry{next_id_, std::move(hook)});
    return next_id_++;
  }
  void remove(int id) {
    std::erase_if(hooks_, [id](const Entry& e) { return e.id == id; });
  }
  bool empty() const noexcept { return hooks_.empty(); }

  Result run(Args... args, const PassOn& own_handling, const ErrorHandler& on_error) const {
    const std::vector<Entry> chain = hooks_;
    std::function<Result(std::size_t)> step = [&](std::size_t n) -> Result {
      if (n == 0) return own_handling();
      const Entry& entry = chain[n - 1];
      bool passed = false;
      Result passed_result{};
      const PassOn pass_on = [&]() -> Result {
        if (!passed) {
          passed = true;
          passed_result = step(n - 1);
        }
        return passed_result;
      };
      try {
        return entry.hook(args..., pass_on);
      } catch (const std::exception& e) {
        if (on_error) on_error(e);
        return pass_on();
      }
    };
    return step(chain.size());
  }

 private:
  struct Entry {
    int id;
    Hook hook;
  };
  std::vector<Entry> hooks_;  // the newest last
  int next_id_ = 1;
};

}  // namespace brevaro::base
