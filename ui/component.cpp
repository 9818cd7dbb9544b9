#include "ui/component.h"

#include <algorithm>
#include <stdexcept>

#include "base/ascii.h"
#include "ui/application.h"

namespace brevaro::ui {

Component::Component(Component* owner, std::string_view name) : owner_(owner), name_(name) {}

Component::~Component() { free_all_components(); }

void Component::free_all_components() noexcept {
  destroying_ = true;
  while (!owned_.empty()) {
    std::unique_ptr<Component> doomed = std::move(owned_.back());  // last created, first freed
    owned_.pop_back();
    doomed->begin_destroy();
  }
}

Application& Component::application() const {
  const Component* c = this;
  while (c->owner_) c = c->owner_;
  auto* app = dynamic_cast<const Application*>(c);
  if (!app) throw std::logic_error("component '" + name_ + "' has no application");
  return const_cast<Application&>(*app);
}

void Component::free_component(Component& c) {
  const auto it = std::find_if(owned_.begin(), owned_.end(), [&](const auto& p) { return p.get() == &c; });
  if (it == owned_.end()) return;
  std::unique_ptr<Component> doomed = std::move(*it);
  owned_.erase(it);
  doomed->begin_destroy();
}

Component* Component::find_component(std::string_view name) const {
  for (const auto& c : owned_)
    if (base::iequals(c->name(), name)) return c.get();
  return nullptr;
}

void Component::notify_loaded() {
  for (std::size_t i = 0; i < owned_.size(); ++i) {
    owned_[i]->notify_loaded();
    owned_[i]->loaded();
  }
}

}  // namespace brevaro::ui
