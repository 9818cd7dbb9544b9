// The headless web-browser: it records what the program asks of it; tests
// set its answers and raise its events through the control.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/web_browser.h"

namespace brevaro::ui::headless {

class RecordingInPlaceObject final : public InPlaceObject {
 public:
  void translate_accelerator(const Message& m) override { translated.push_back(m); }
  std::vector<Message> translated;
};

class HeadlessBrowser final : public BrowserPeer {
 public:
  explicit HeadlessBrowser(std::uintptr_t window) : window_(window) {}
  void navigate(std::string_view url) override {
    navigations.emplace_back(url);
    location = url;
  }
  std::string location_url() const override { return location; }
  bool busy() const override { return is_busy; }
  void print_with_prompt() override {
    ++prints;
    if (print_fails) throw std::runtime_error("Trying to revoke a drop target that has not been registered");
  }
  bool is_dialog_message(Message& m) override {
    dialog_messages.push_back(m);
    // Dialog processing only takes messages of the control's own window.
    return dialog_handles && m.window == window_;
  }
  std::shared_ptr<InPlaceObject> in_place_object() override {
    ++in_place_queries;
    return in_place;
  }

  std::vector<std::string> navigations;
  std::string location;
  bool is_busy = false;
  bool print_fails = false;
  int prints = 0;
  bool dialog_handles = true;
  std::vector<Message> dialog_messages;
  int in_place_queries = 0;
  std::shared_ptr<RecordingInPlaceObject> in_place = std::make_shared<RecordingInPlaceObject>();

 private:
  std::uintptr_t window_;
};

}  // namespace brevaro::ui::headless
