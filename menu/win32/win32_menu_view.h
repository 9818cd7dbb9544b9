// The styled popup on Windows: a system popup menu whose entries are drawn
// by the owner (a hidden window of this view) from the portable painting.
#pragma once

#include <memory>

#include "menu/popup_menu.h"

namespace brevaro::menu::win32 {

class Win32MenuView final : public MenuView {
 public:
  Win32MenuView();
  ~Win32MenuView() override;
  Win32MenuView(const Win32MenuView&) = delete;
  Win32MenuView& operator=(const Win32MenuView&) = delete;

  std::optional<std::size_t> track(const PopupModel& model, ui::Point at) override;
  void cancel() override;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace brevaro::menu::win32
