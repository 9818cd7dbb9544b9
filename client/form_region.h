// Connects the region components to a form of the UI framework: the frame
// geometry, the window region, the window hook and synchronous sends.
#pragma once

#include <map>

#include "region/components.h"
#include "ui/form.h"

namespace brevaro::client {

class FormRegionOwner final : public region::RegionOwner {
 public:
  explicit FormRegionOwner(ui::Form& form) : form_(form) {}
  ~FormRegionOwner() override;
  FormRegionOwner(const FormRegionOwner&) = delete;
  FormRegionOwner& operator=(const FormRegionOwner&) = delete;

  bool visible() const override { return form_.visible(); }
  region::Geometry geometry() const override;
  void set_window_region(region::Region region, bool redraw) override;
  void invalidate() override { form_.invalidate(); }
  void show_message(const std::string& text) override;
  void install_hook(region::MessageHook* hook) override;
  void remove_hook(region::MessageHook* hook) override;
  intptr_t send_message(uint32_t msg, uintptr_t wparam, intptr_t lparam) override;
  // Names are unique among all the form's components, not only its region ones.
  void validate_name(const region::RegionComponent* component, const std::string& name) const override;

 private:
  ui::Form& form_;
  std::map<region::MessageHook*, int> hooks_;
};

}  // namespace brevaro::client
