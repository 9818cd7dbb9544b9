// A menu view for tests: it keeps what each popup showed and where, and
// answers with the entry a test chose beforehand (or dismisses the menu).
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "menu/popup_menu.h"

namespace brevaro::menu::headless {

class RecordingMenuView final : public MenuView {
 public:
  struct Shown {
    PopupModel model;
    ui::Point at;
  };
  std::vector<Shown> shown;
  // Runs while the menu is open (a test may look around or let time pass).
  std::function<void()> while_open;

  void cancel() override {
    ++cancels;
    cancelled_ = true;
  }

  // The caption of the entry to choose at the next popup; none dismisses it.
  void choose_next(std::optional<std::string> caption) { choices_.push_back(std::move(caption)); }

  std::size_t cancels = 0;

  std::optional<std::size_t> track(const PopupModel& model, ui::Point at) override {
    shown.push_back(Shown{model, at});
    cancelled_ = false;
    if (while_open) while_open();
    if (cancelled_ || choices_.empty()) return std::nullopt;
    const std::optional<std::string> caption = std::move(choices_.front());
    choices_.pop_front();
    if (!caption) return std::nullopt;
    for (std::size_t i = 0; i < model.entries.size(); ++i)
      if (model.entries[i].caption == *caption) return i;
    return std::nullopt;
  }

 private:
  std::deque<std::optional<std::string>> choices_;
  bool cancelled_ = false;
};

}  // namespace brevaro::menu::headless
