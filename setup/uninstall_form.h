// The uninstaller's form.
#pragma once

#include "ui/form.h"

namespace brevaro::setup {

class Tfrm_uninstall final : public ui::Form {
 public:
  explicit Tfrm_uninstall(ui::Component* owner);
};

}  // namespace brevaro::setup
