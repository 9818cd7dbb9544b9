#include "client/form_region.h"

#include "region/errors.h"
#include "ui/application.h"

namespace brevaro::client {

FormRegionOwner::~FormRegionOwner() {
  for (const auto& [hook, id] : hooks_) form_.remove_window_hook(id);
}

region::Geometry FormRegionOwner::geometry() const {
  const ui::Rect b = form_.bounds();
  const ui::Size client = form_.peer().client_size();
  region::Geometry g;
  g.window_width = b.width;
  g.window_height = b.height;
  // The frame is as wide on the left, right and bottom; the caption adds to the top.
  const int frame = (b.width - client.width) / 2;
  g.client_left = frame;
  g.client_top = b.height - client.height - frame;
  g.client_width = client.width;
  g.client_height = client.height;
  g.caption_height = g.client_top - frame;
  return g;
}

void FormRegionOwner::set_window_region(region::Region region, bool redraw) {
  std::vector<ui::Rect> rects;
  for (const auto& r : region.rects()) rects.push_back(ui::Rect{r.left, r.top, r.right - r.left, r.bottom - r.top});
  form_.set_window_region(&rects, redraw);
}

void FormRegionOwner::show_message(const std::string& text) {
  ui::Application& app = form_.application();
  app.message_box(text, app.title(), ui::MsgBoxButtons::ok, ui::MsgBoxIcon::none);
}

void FormRegionOwner::install_hook(region::MessageHook* hook) {
  if (hooks_.count(hook)) return;
  hooks_[hook] = form_.add_window_hook(
      [hook](std::uint32_t m, std::uintptr_t wp, std::intptr_t lp, const std::function<std::intptr_t()>& pass_on) {
        return hook->window_proc(m, wp, lp, pass_on);
      });
}

void FormRegionOwner::remove_hook(region::MessageHook* hook) {
  const auto it = hooks_.find(hook);
  if (it == hooks_.end()) return;
  form_.remove_window_hook(it->second);
  hooks_.erase(it);
}

intptr_t FormRegionOwner::send_message(uint32_t msg, uintptr_t wparam, intptr_t lparam) {
  return form_.send_message(msg, wparam, lparam);
}

void FormRegionOwner::validate_name(const region::RegionComponent* component, const std::string& name) const {
  region::RegionOwner::validate_name(component, name);
  if (!name.empty() && form_.find_component(name)) throw region::EComponentError::duplicate_name(name);
}

}  // namespace brevaro::client
