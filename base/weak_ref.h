// A reference that learns when its object is gone.
//
// An object that calls out to handlers (which may free it) or hands itself to
// queued work owns a WeakAnchor; the code at risk takes a WeakRef from it and
// asks alive() (or lock()) before it touches the object again. The anchor
// expires its references when it is destroyed or, earlier, when the owner's
// destructor calls expire() so that handlers run during the teardown already
// see the object as gone.
//
// Single-threaded by design: the program's objects live on one GUI thread, and
// a WeakRef is checked on the thread that owns the object.
#pragma once

#include <memory>

namespace brevaro::base {

template <class T>
class WeakRef;

class WeakAnchor {
 public:
  WeakAnchor() = default;
  ~WeakAnchor() = default;
  // An anchor belongs to one object: a copied or moved-from object keeps its
  // own references, so copying makes a fresh anchor and moving leaves both.
  WeakAnchor(const WeakAnchor&) noexcept : WeakAnchor() {}
  WeakAnchor& operator=(const WeakAnchor&) noexcept { return *this; }

  // A reference to the object that owns this anchor.
  template <class T>
  WeakRef<T> ref(T* object) const noexcept {
    return WeakRef<T>(token_, object);
  }

  // Marks every reference taken so far (and every later one) as gone.
  void expire() noexcept { token_.reset(); }
  bool expired() const noexcept { return token_ == nullptr; }

 private:
  // Only its lifetime matters; the weak references watch it.
  std::shared_ptr<const char> token_ = std::make_shared<const char>('\0');
};

template <class T>
class WeakRef {
 public:
  WeakRef() noexcept = default;

  bool alive() const noexcept { return object_ != nullptr && !token_.expired(); }
  explicit operator bool() const noexcept { return alive(); }
  // The object, or null once it is gone.
  T* lock() const noexcept { return alive() ? object_ : nullptr; }
  void reset() noexcept { *this = WeakRef(); }

 private:
  friend class WeakAnchor;
  WeakRef(const std::shared_ptr<const char>& token, T* object) noexcept : token_(token), object_(object) {}

  std::weak_ptr<const char> token_;
  T* object_ = nullptr;
};

}  // namespace brevaro::base
