// Ownership of one operating-system handle: the handle and the function that
// closes it, called once when the owner goes or takes another handle.
#pragma once

#include <utility>

namespace brevaro::base {

// Traits name the handle type, the value an empty owner holds (none()), which
// values are real handles (valid(); false for every "no handle" value the
// kind's creating functions return) and how one is closed (close()).
template <class Traits>
class UniqueHandle {
 public:
  using handle_type = typename Traits::handle_type;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(handle_type h) noexcept : h_(h) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  handle_type get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return Traits::valid(h_); }
  // Gives the handle away without closing it.
  [[nodiscard]] handle_type release() noexcept { return std::exchange(h_, Traits::none()); }
  void reset(handle_type h = Traits::none()) noexcept {
    const handle_type old = std::exchange(h_, h);
    if (Traits::valid(old)) Traits::close(old);
  }

 private:
  handle_type h_ = Traits::none();
};

}  // namespace brevaro::base
