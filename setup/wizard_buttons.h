// The strip below a wizard's pages, the same in the installer and the
// uninstaller: a bevel line, then Back (disabled at first), Next and Cancel.
#pragma once

#include <tuple>

#include "ui/controls.h"
#include "ui/form.h"

namespace brevaro::setup {

inline std::tuple<ui::Bevel*, ui::Button*, ui::Button*, ui::Button*> add_wizard_buttons(ui::Form& form) {
  auto& bevel = form.make<ui::Bevel>("Bevel1", &form, ui::Rect{0, 233, 435, 2});
  auto& back = form.make<ui::Button>("btn_back", &form, ui::Rect{190, 239, 75, 23}, "< &Back");
  back.set_enabled(false);
  auto& next = form.make<ui::Button>("btn_next", &form, ui::Rect{265, 239, 75, 23}, "&Next >");
  auto& cancel = form.make<ui::Button>("btn_cancel", &form, ui::Rect{350, 239, 75, 23}, "Cancel");
  return {&bevel, &back, &next, &cancel};
}

}  // namespace brevaro::setup
