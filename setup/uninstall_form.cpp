#include "setup/uninstall_form.h"

#include <initializer_list>

#include "install/layout.h"
#include "setup/close_wait.h"
#include "setup/uninstallation.h"
#include "setup/wizard_buttons.h"
#include "ui/application.h"
#include "ui/pictures.h"

namespace brevaro::setup {

Tfrm_uninstall::Tfrm_uninstall(ui::Component* owner, const SetupPorts& setup)
    : ui::Form(owner, "frm_uninstall", "brevaro program un-installer", ui::Size{435, 266}, ui::BorderStyle::dialog,
               ui::FormPosition::screen_center),
      setup_(setup) {
  Notebook = &make<ui::PageControl>("Notebook", this, ui::Rect{0, 0, 435, 213});
  P1 = &Notebook->add_page("P1");
  P2 = &Notebook->add_page("P2");

  Image1 = &make<ui::Image>("Image1", P1, ui::Rect{12, 16, 175, 175});
  Image1->set_picture(ui::load_picture(application().ports().process, "INSTALL1"));
  Memo1 = &make<ui::Memo>("Memo1", P1, ui::Rect{200, 16, 222, 181});
  Memo1->set_lines({"Thank you for using our software.", "",
                    "This program will Un-install the brevaro program from your system.", "",
                    "Please click 'Next' to continue."});

  Image3 = &make<ui::Image>("Image3", P2, ui::Rect{12, 16, 175, 175});
  Memo3 = &make<ui::Memo>("Memo3", P2, ui::Rect{200, 16, 222, 181});
  Memo3->set_lines({"brevaro program has been un-installed successfully."});

  std::tie(Bevel1, btn_back, btn_next, btn_cancel) = add_wizard_buttons(*this);

  set_on_create([this](ui::Form& f) { FormCreate(f); });
  set_on_activate([this](ui::Form& f) { FormActivate(f); });
  // The close box during the removal takes effect once the steps have run.
  set_on_close([this](ui::Form&, ui::CloseAction& action) {
    if (removing_) {
      close_pending_ = true;
      action = ui::CloseAction::none;
    }
  });
  btn_next->set_on_click([this](ui::Control& c) { btn_nextClick(c); });
  btn_cancel->set_on_click([this](ui::Control& c) { btn_cancelClick(c); });
  finish_create();
}

void Tfrm_uninstall::FormCreate(ui::Form&) {
  program_folder_ = install::program_folder_of(application().ports().process.executable_path());
  Notebook->set_active_page(*P1);
}

void Tfrm_uninstall::FormActivate(ui::Form&) { Image3->set_picture(Image1->picture()); }

void Tfrm_uninstall::btn_nextClick(ui::Control&) {
  if (Notebook->active_page() == P2) {
    close();
    return;
  }
  if (removing_) return;
  removing_ = true;
  for (ui::Control* c : std::initializer_list<ui::Control*>{btn_back, btn_next, btn_cancel}) c->set_enabled(false);
  try {
    uninstall();
  } catch (...) {
    removing_ = false;
    throw;
  }
  removing_ = false;
  if (close_pending_) close();
}

void Tfrm_uninstall::uninstall() {
  ui::Application& app = application();
  const platform::Ports& ports = app.ports();
  if (!install::is_installation(ports.fs, program_folder_)) {
    app.message_box("No brevaro installation was found in " + program_folder_ + "\rNothing has been removed.",
                    "Information", ui::MsgBoxButtons::ok, ui::MsgBoxIcon::information);
    back_to_welcome();
    return;
  }

  // A request file that cannot be written ends the step here with the
  // system's reason, before anything is removed.
  const install::CloseResult closed = close_programs(app, program_folder_);
  if (closed != install::CloseResult::closed) {
    const std::string_view program = closed == install::CloseResult::tray_running ? kTrayName : kClientName;
    app.message_box("The un-installation has been stopped because the " + std::string(program) +
                        " did not close.\rNothing else has been removed. Close it and run the un-installer again.",
                    "Information", ui::MsgBoxButtons::ok, ui::MsgBoxIcon::information);
    back_to_welcome();
    return;
  }
  remove_installation(ports, setup_.links, program_folder_);

  Notebook->set_active_page(*P2);
  btn_back->set_enabled(false);
  btn_next->set_enabled(true);
  btn_next->set_text("&Finish");
}

void Tfrm_uninstall::back_to_welcome() {
  btn_next->set_enabled(true);
  btn_cancel->set_enabled(true);
}

void Tfrm_uninstall::btn_cancelClick(ui::Control&) {
  if (application().message_box("Are you sure you want to abort the installation?", "Confirm",
                                ui::MsgBoxButtons::yes_no, ui::MsgBoxIcon::question) == ui::MsgBoxResult::yes)
    close();
}

}  // namespace brevaro::setup
