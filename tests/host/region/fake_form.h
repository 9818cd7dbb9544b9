// A headless owner form for the region components: records window regions,
// message boxes, invalidations and the messages it dispatches.
#pragma once

#include <string>
#include <vector>

#include "region/components.h"

namespace brevaro::region::testing {

class FakeForm : public RegionOwner {
 public:
  bool form = true;
  bool is_designing = false;
  bool is_visible = true;
  Geometry geo = Geometry::whole_window(871, 488);
  std::vector<std::string> messages;
  std::vector<uint32_t> sent;
  int region_sets = 0;
  int invalidations = 0;
  bool last_redraw = false;
  Region window_region;  // none until set
  std::vector<MessageHook*> hooks;
  int default_proc_calls = 0;
  intptr_t default_result = kHtClient;

  bool is_form() const override { return form; }
  bool designing() const override { return is_designing; }
  bool visible() const override { return is_visible; }
  Geometry geometry() const override { return geo; }
  void set_window_region(Region region, bool redraw) override {
    window_region = std::move(region);
    last_redraw = redraw;
    ++region_sets;
  }
  void invalidate() override { ++invalidations; }
  void show_message(const std::string& text) override { messages.push_back(text); }
  void install_hook(MessageHook* hook) override { hooks.push_back(hook); }
  void remove_hook(MessageHook* hook) override { std::erase(hooks, hook); }
  intptr_t send_message(uint32_t msg, uintptr_t wparam, intptr_t lparam) override {
    sent.push_back(msg);
    return dispatch(hooks.size(), msg, wparam, lparam);
  }
  // Resizes the window and sends WM_SIZE.
  void resize(int32_t w, int32_t h) {
    geo = Geometry::whole_window(w, h);
    send_message(kWmSize, 0, 0);
  }

 private:
  intptr_t dispatch(size_t n, uint32_t msg, uintptr_t wparam, intptr_t lparam) {
    if (n == 0) {
      ++default_proc_calls;
      return msg == kWmNcHitTest ? default_result : 0;
    }
    return hooks[n - 1]->window_proc(msg, wparam, lparam, [&] { return dispatch(n - 1, msg, wparam, lparam); });
  }
};

}  // namespace brevaro::region::testing
