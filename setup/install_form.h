// The installer wizard's form.
#pragma once

#include "ui/form.h"

namespace brevaro::setup {

class Tfrm_install final : public ui::Form {
 public:
  explicit Tfrm_install(ui::Component* owner);
};

}  // namespace brevaro::setup
