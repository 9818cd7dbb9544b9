#include "setup/install_form.h"
#include "setup/uninstall_form.h"

namespace brevaro::setup {

Tfrm_install::Tfrm_install(ui::Component* owner)
    : ui::Form(owner, "frm_install", "brevaro program installation", ui::Size{480, 360}, ui::BorderStyle::dialog,
               ui::FormPosition::screen_center) {
  finish_create();
}

Tfrm_uninstall::Tfrm_uninstall(ui::Component* owner)
    : ui::Form(owner, "frm_uninstall", "brevaro program un-installer", ui::Size{400, 200}, ui::BorderStyle::dialog,
               ui::FormPosition::screen_center) {
  finish_create();
}

}  // namespace brevaro::setup
