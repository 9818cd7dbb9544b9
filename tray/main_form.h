// The tray program's main form: never seen (it stands off-screen), it holds
// the tray icon with its styled menu, the taskbar hiding and the timer that
// answers the uninstaller's close request.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "install/close_request.h"
#include "menu/popup_menu.h"
#include "tray/contacts_form.h"
#include "tray/cool_tray_icon.h"
#include "tray/tray_platform.h"
#include "ui/folder_watch.h"
#include "ui/form.h"
#include "ui/timer.h"

namespace brevaro::tray {

class TfrmMain final : public ui::Form {
 public:
  TfrmMain(ui::Component* owner, TrayPlatform& platform, menu::MenuView& menu_view);

  // Components, by their stored names.
  TCoolTrayIcon* tray;
  menu::TPopupMenu2000* popup;
  menu::TMenuItem2000* Activate1;
  menu::TMenuItem2000* Options1;
  menu::TMenuItem2000* N1;
  menu::TMenuItem2000* ContactInformation1;
  menu::TMenuItem2000* connecttoourwebsite1;
  menu::TMenuItem2000* Emailus1;
  menu::TMenuItem2000* N2;
  menu::TMenuItem2000* Exit1;
  ui::Timer* CloseTimer;
  TIconHide* IconHide1;

  // The contact window, created after this form.
  TfrmContacts* frmContacts = nullptr;

  // Event handlers.
  void FormCreate(ui::Form& sender);
  void FormShow(ui::Form& sender);
  void popupPopup(menu::TPopupMenu2000& sender);
  void Activate1Click(ui::Component& sender);
  void ContactInformation1Click(ui::Component& sender);
  void connecttoourwebsite1Click(ui::Component& sender);
  void Emailus1Click(ui::Component& sender);
  void Exit1Click(ui::Component& sender);
  void CloseTimerTimer(ui::Timer& sender);

  // The folder of Tray.exe with its trailing backslash; empty until the form is shown.
  const std::string& program_folder() const noexcept { return program_folder_; }
  // True while a close request would be answered (by the folder watch or CloseTimer).
  bool watching_for_close_request() const;

 private:
  // True when the request was there and the program is closing.
  bool look_for_close_request();

  TrayPlatform& platform_;
  std::string program_folder_;
  // Made when the program folder is known.
  std::optional<install::CloseRequestWatch> close_request_;
  std::unique_ptr<ui::FolderWatch> folder_watch_;
};

}  // namespace brevaro::tray
