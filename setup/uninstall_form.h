// The uninstaller: a welcome page and the last page. The Next handler asks
// the running programs to close and removes the installation
// (setup/uninstallation.h).
#pragma once

#include <string>

#include "setup/setup_ports.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace brevaro::setup {

class Tfrm_uninstall final : public ui::Form {
 public:
  Tfrm_uninstall(ui::Component* owner, const SetupPorts& setup);

  ui::PageControl* Notebook;
  ui::TabSheet* P1;
  ui::TabSheet* P2;
  ui::Image* Image1;
  ui::Memo* Memo1;
  ui::Image* Image3;
  ui::Memo* Memo3;
  ui::Button* btn_back;
  ui::Button* btn_next;
  ui::Button* btn_cancel;
  ui::Bevel* Bevel1;

  const std::string& program_folder() const noexcept { return program_folder_; }

  // Published handlers.
  void FormCreate(ui::Form& sender);
  void FormActivate(ui::Form& sender);
  void btn_nextClick(ui::Control& sender);
  void btn_cancelClick(ui::Control& sender);

 private:
  void uninstall();
  void back_to_welcome();

  SetupPorts setup_;
  std::string program_folder_;
  bool removing_ = false;
  bool close_pending_ = false;
};

}  // namespace brevaro::setup
