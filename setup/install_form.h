// The installer wizard: a welcome page, the destination page and the last
// page, with Back, Next and Cancel below. The Next handler runs the
// installation steps of setup/installation.h.
#pragma once

#include <string>

#include "setup/setup_ports.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace brevaro::setup {

class Tfrm_install final : public ui::Form {
 public:
  Tfrm_install(ui::Component* owner, const SetupPorts& setup);

  ui::PageControl* Notebook;
  ui::TabSheet* P1;
  ui::TabSheet* P2;
  ui::TabSheet* P4;
  ui::Image* Image1;
  ui::Memo* Memo1;
  ui::Image* Image2;
  ui::Memo* Memo2;
  ui::Label* Label16;
  ui::Panel* panel1;
  ui::Label* edt_filename;
  ui::Button* btn_filename;
  ui::Image* Image3;
  ui::Memo* Memo3;
  ui::CheckBox* ckbxStartProgram;
  ui::Button* btn_back;
  ui::Button* btn_next;
  ui::Button* btn_cancel;
  ui::Panel* panWebLink;
  ui::Bevel* Bevel1;

  // The destination folder, as edt_filename shows it.
  const std::string& destination() const { return edt_filename->caption(); }
  const std::string& browse_start() const noexcept { return browse_start_; }

  // Published handlers.
  void FormCreate(ui::Form& sender);
  void FormShow(ui::Form& sender);
  void FormActivate(ui::Form& sender);
  void btn_nextClick(ui::Control& sender);
  void btn_backClick(ui::Control& sender);
  void btn_cancelClick(ui::Control& sender);
  void btn_filenameClick(ui::Control& sender);
  void panWebLinkMouseMove(ui::Control& sender, ui::Point pos);
  void panWebLinkMouseDown(ui::Control& sender, ui::MouseButton button, ui::Point pos);
  void NotebookMouseMove(ui::Control& sender, ui::Point pos);

 private:
  void install();
  void set_link_colour(ui::Color c);

  SetupPorts setup_;
  ui::Label* web_link_text_;  // the caption of panWebLink
  std::string source_folder_;
  std::string browse_start_;
  bool files_installed_ = false;
};

}  // namespace brevaro::setup
