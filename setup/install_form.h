// The installer wizard: a welcome page, the destination page and the last
// page, with Back, Next and Cancel below. The Next handler runs the
// installation steps of setup/installation.h.
#pragma once

#include <string>

#include "setup/installation.h"
#include "setup/setup_ports.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace brevaro::setup {

inline constexpr std::string_view kOtherAccount =
    "This installer runs with the rights of another account, so brevaro would be installed for that account and "
    "not for you.\rRun the installer again without giving another account's password.";
inline constexpr std::string_view kProgramsStillRunning =
    "brevaro is still running in that folder, so it cannot be replaced.\rClose it, or choose another folder.";
inline constexpr std::string_view kStartFromTheStartMenu =
    "brevaro has been installed. The installer runs as administrator, so it does not start brevaro itself.\r"
    "Start brevaro from the Start menu (brevaro).";

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
  void make_welcome_page();
  void make_destination_page();
  void make_done_page();
  void make_web_link();
  void bind_handlers();
  void install();
  void finish();
  void information(const std::string& text);
  // Asks the programs in the way to close; false (with a message) when they
  // did not, or could not be asked.
  bool close_running_programs(const CopyResult& copied);
  void set_link_colour(ui::Color c);

  SetupPorts setup_;
  ui::Label* web_link_text_;  // the caption of panWebLink
  std::string source_folder_;
  std::string browse_start_;
  bool files_installed_ = false;
};

}  // namespace brevaro::setup
