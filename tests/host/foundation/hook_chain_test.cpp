// The rules of the one hook chain the windows of every backend share.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "base/hook_chain.h"

namespace brevaro {
namespace {

using Chain = base::HookChain<int, int>;

TEST(HookChain, RunsTheNewestHookFirstAndEachPassOnOnce) {
  struct Case {
    const char* name;
    // What the first-added hook (A) and the second (B) do with pass_on.
    enum Mode { pass, pass_twice, end, throw_before, throw_after } a, b;
    std::vector<std::string> trace;
    int result;
    std::vector<std::string> errors;
  };
  const std::vector<Case> cases = {
      {"both pass on", Case::pass, Case::pass, {"B", "A", "own"}, 100, {}},
      {"a second pass_on reuses the result", Case::pass, Case::pass_twice, {"B", "A", "own"}, 100, {}},
      {"the newest ends the message", Case::pass, Case::end, {"B"}, -2, {}},
      {"the older ends the message", Case::end, Case::pass, {"B", "A"}, -1, {}},
      {"a throw before passing on still reaches the rest once",
       Case::pass,
       Case::throw_before,
       {"B", "A", "own"},
       100,
       {"B failed"}},
      {"a throw after passing on does not run the rest again",
       Case::throw_after,
       Case::pass,
       {"B", "A", "own"},
       100,
       {"A failed"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> trace;
    std::vector<std::string> errors;
    Chain chain;
    const auto make = [&](const std::string& name, Case::Mode mode, int own_end) {
      return [&trace, name, mode, own_end](int, const Chain::PassOn& pass_on) -> int {
        trace.push_back(name);
        switch (mode) {
          case Case::pass: return pass_on();
          case Case::pass_twice: pass_on(); return pass_on();
          case Case::end: return own_end;
          case Case::throw_before: throw std::runtime_error(name + " failed");
          case Case::throw_after: pass_on(); throw std::runtime_error(name + " failed");
        }
        return 0;
      };
    };
    chain.add(make("A", c.a, -1));
    chain.add(make("B", c.b, -2));
    const int r = chain.run(
        7,
        [&] {
          trace.push_back("own");
          return 100;
        },
        [&](const std::exception& e) { errors.emplace_back(e.what()); });
    EXPECT_EQ(trace, c.trace);
    EXPECT_EQ(r, c.result);
    EXPECT_EQ(errors, c.errors);
  }
}

TEST(HookChain, HooksAddedOrRemovedWhileRunningCountFromTheNextMessage) {
  Chain chain;
  std::vector<std::string> trace;
  int added = 0;
  int self = 0;
  self = chain.add([&](int, const Chain::PassOn& pass_on) {
    trace.push_back("self-removing");
    chain.remove(self);
    if (added == 0) {
      added = chain.add([&](int, const Chain::PassOn& p) {
        trace.push_back("late");
        return p();
      });
    }
    return pass_on();
  });
  const auto own = [&] {
    trace.push_back("own");
    return 0;
  };
  chain.run(1, own, nullptr);
  EXPECT_EQ(trace, (std::vector<std::string>{"self-removing", "own"}));
  trace.clear();
  chain.run(2, own, nullptr);
  EXPECT_EQ(trace, (std::vector<std::string>{"late", "own"}));
  chain.remove(added);
  EXPECT_TRUE(chain.empty());
}

}  // namespace
}  // namespace brevaro
