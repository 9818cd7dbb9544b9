// Components: objects with an owner, a name and a tag. An owner keeps its
// components and frees them with itself, last created first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brevaro::ui {

class Application;

class Component {
 public:
  explicit Component(Component* owner, std::string_view name = {});
  virtual ~Component();
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  Component* owner() const noexcept { return owner_; }
  const std::string& name() const noexcept { return name_; }
  virtual void set_name(std::string_view name) { name_ = name; }
  std::intptr_t tag() const noexcept { return tag_; }
  void set_tag(std::intptr_t tag) noexcept { tag_ = tag; }

  // The application at the root of the owner chain.
  Application& application() const;

  // Creates a component owned by this one; T's constructor takes the owner
  // first.
  template <class T, class... Args>
  T& make(Args&&... args) {
    auto p = std::make_unique<T>(this, std::forward<Args>(args)...);
    T& ref = *p;
    owned_.push_back(std::move(p));
    static_cast<Component&>(ref).inserted();
    return ref;
  }

  // Frees an owned component now (with everything it owns).
  void free_component(Component& c);
  // An owned component by name, compared without regard to case.
  Component* find_component(std::string_view name) const;
  std::size_t component_count() const noexcept { return owned_.size(); }
  Component& component(std::size_t i) const { return *owned_[i]; }

  // Called on every owned component, depth first, once the owner has set up
  // all of them (the framework's "loaded" step).
  void notify_loaded();

  // True while the component's destructor chain runs.
  bool destroying() const noexcept { return destroying_; }

 protected:
  // A new component joined this owner (after construction).
  virtual void inserted() {}
  virtual void loaded() {}
  // The owner calls this before it frees its components.
  void begin_destroy() noexcept { destroying_ = true; }
  // Frees every owned component now, last created first. Classes whose
  // components refer back to them call this first thing in their destructor,
  // while they are still whole.
  void free_all_components() noexcept;

 private:
  Component* owner_;
  std::string name_;
  std::intptr_t tag_ = 0;
  bool destroying_ = false;
  std::vector<std::unique_ptr<Component>> owned_;
};

}  // namespace brevaro::ui
