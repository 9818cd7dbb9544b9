// The weak reference: what it reports over an object's life, and the
// re-entrant cases it exists for (a handler that frees the object calling it,
// work queued for an object freed before it runs, handlers run while the
// object is torn down). Run under AddressSanitizer: a reference that answered
// "alive" for a freed object would make these tests touch freed memory.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/weak_ref.h"

namespace brevaro {
namespace {

struct Probe {
  int value = 7;
  base::WeakAnchor anchor;
  base::WeakRef<Probe> weak() { return anchor.ref(this); }
};

TEST(WeakRef, ReportsTheObjectUntilItIsFreedOrExpired) {
  struct Case {
    const char* name;
    std::function<void(std::unique_ptr<Probe>&, base::WeakRef<Probe>&)> step;
    bool alive_after;
  };
  const std::vector<Case> cases = {
      {"untouched", [](auto&, auto&) {}, true},
      {"object freed", [](auto& p, auto&) { p.reset(); }, false},
      {"anchor expired early", [](auto& p, auto&) { p->anchor.expire(); }, false},
      {"reference taken after expiry",
       [](auto& p, auto& r) {
         p->anchor.expire();
         r = p->weak();
       },
       false},
      {"reference copied, then the object freed",
       [](auto& p, auto& r) {
         const base::WeakRef<Probe> copy = r;
         p.reset();
         r = copy;
       },
       false},
      {"reference reset", [](auto&, auto& r) { r.reset(); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto probe = std::make_unique<Probe>();
    Probe* const raw = probe.get();
    base::WeakRef<Probe> ref = probe->weak();
    ASSERT_TRUE(ref.alive());
    c.step(probe, ref);
    EXPECT_EQ(ref.alive(), c.alive_after);
    EXPECT_EQ(static_cast<bool>(ref), c.alive_after);
    EXPECT_EQ(ref.lock(), c.alive_after ? raw : nullptr);
  }
  EXPECT_FALSE(base::WeakRef<Probe>().alive());
  EXPECT_EQ(base::WeakRef<Probe>().lock(), nullptr);
}

TEST(WeakRef, ACopiedObjectHasItsOwnAnchor) {
  auto original = std::make_unique<Probe>();
  const base::WeakRef<Probe> to_original = original->weak();
  auto copy = std::make_unique<Probe>(*original);
  const base::WeakRef<Probe> to_copy = copy->weak();
  EXPECT_EQ(to_copy.lock(), copy.get());
  copy.reset();
  EXPECT_FALSE(to_copy.alive());
  EXPECT_EQ(to_original.lock(), original.get());  // the copy's end is not the original's
}

// An object that reports each item to a handler, as the socket reports data,
// and must stop at once when a handler frees it.
class Reporter {
 public:
  std::function<void(Reporter&, int)> on_item;
  std::vector<int> items{1, 2, 3, 4};
  int reported = 0;

  // Returns how many items were reported before the loop ended.
  int report_all(int& calls) {
    const auto self = anchor_.ref(this);
    for (int item : std::vector<int>(items)) {
      ++calls;
      on_item(*this, item);
      if (!self.alive()) return calls;
      ++reported;  // touches the object: only safe while it lives
    }
    return calls;
  }

  ~Reporter() {
    anchor_.expire();
    if (on_teardown) on_teardown(anchor_.ref(this));
  }
  std::function<void(base::WeakRef<Reporter>)> on_teardown;

 private:
  base::WeakAnchor anchor_;
};

TEST(WeakRef, AHandlerThatFreesItsCallerEndsTheCallersLoop) {
  for (int free_at : {1, 2, 4}) {
    SCOPED_TRACE(free_at);
    auto r = std::make_unique<Reporter>();
    r->on_item = [&](Reporter&, int item) {
      if (item == free_at) r.reset();
    };
    int calls = 0;
    EXPECT_EQ(r->report_all(calls), free_at);
    EXPECT_EQ(r, nullptr);
  }
  // A handler that never frees sees every item.
  Reporter kept;
  kept.on_item = [](Reporter&, int) {};
  int calls = 0;
  EXPECT_EQ(kept.report_all(calls), 4);
  EXPECT_EQ(kept.reported, 4);
}

TEST(WeakRef, QueuedWorkForAFreedObjectDoesNothing) {
  std::vector<std::function<void()>> queue;
  std::vector<int> ran;
  auto keep = std::make_unique<Probe>();
  auto drop = std::make_unique<Probe>();
  keep->value = 1;
  drop->value = 2;
  for (Probe* p : {keep.get(), drop.get()}) {
    queue.emplace_back([ref = p->weak(), &ran] {
      if (Probe* q = ref.lock()) ran.push_back(q->value);
    });
  }
  drop.reset();
  for (auto& work : queue) work();
  EXPECT_EQ(ran, std::vector<int>{1});
}

TEST(WeakRef, HandlersRunDuringTeardownSeeTheObjectAsGone) {
  bool asked = false;
  bool seen_alive = true;
  {
    Reporter r;
    r.on_teardown = [&](base::WeakRef<Reporter> self) {
      asked = true;
      seen_alive = self.alive();
    };
  }
  EXPECT_TRUE(asked);
  EXPECT_FALSE(seen_alive);
}

}  // namespace
}  // namespace brevaro
