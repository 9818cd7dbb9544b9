// Runs a function when the scope is left, normally or by an exception: for
// state that must be put back whatever a handler called inside it does.
#pragma once

#include <utility>

namespace brevaro::base {

template <class F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  ~ScopeExit() { f_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  F f_;
};

}  // namespace brevaro::base
