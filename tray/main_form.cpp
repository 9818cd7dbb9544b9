#include "tray/main_form.h"

#include "base/scope_exit.h"
#include "config/product_config.h"
#include "install/close_request.h"
#include "install/layout.h"
#include "ui/application.h"
#include "ui/pictures.h"

namespace brevaro::tray {

namespace {

// The menu, in order: stored name, caption, bitmap resource (none for separators).
struct ItemSpec {
  std::string_view name;
  std::string_view caption;
  std::string_view bitmap;
};
constexpr ItemSpec kItems[] = {
    {"Activate1", "Activate", "ACTIVATE"},
    {"Options1", "Options", "OPTIONS"},
    {"N1", "-", ""},
    {"ContactInformation1", "Contact Information", "CONTACT"},
    {"connecttoourwebsite1", "Connect to our Website", "WEBSITE"},
    {"Emailus1", "Email us", "EMAIL"},
    {"N2", "-", ""},
    {"Exit1", "Exit", "EXIT"},
};

}  // namespace

TfrmMain::TfrmMain(ui::Component* owner, TrayPlatform& platform, menu::MenuView& menu_view)
    : ui::Form(owner, "frmMain", "Task Tray Program", ui::Size{104, 62}, ui::BorderStyle::none), platform_(platform) {
  popup = &make<menu::TPopupMenu2000>("popup", menu_view);
  popup->title_width = 27;
  popup->title_font = ui::Font{"Arial", -19, ui::kWhite, false};
  popup->left_margin = 25;
  popup->right_margin = 10;
  popup->options = menu::mfNoBitmapRect;
  popup->show_hints = false;
  const platform::Process& process = application().ports().process;
  popup->tile = ui::load_picture(process, "MENUTILE");
  popup->title_picture = ui::load_picture(process, "MENUTITLE");
  popup->set_on_popup([this](menu::TPopupMenu2000& m) { popupPopup(m); });
  menu::TMenuItem2000* items[std::size(kItems)];
  for (std::size_t i = 0; i < std::size(kItems); ++i) items[i] = &popup->add_item(kItems[i].name, kItems[i].caption);
  Activate1 = items[0];
  Options1 = items[1];
  N1 = items[2];
  ContactInformation1 = items[3];
  connecttoourwebsite1 = items[4];
  Emailus1 = items[5];
  N2 = items[6];
  Exit1 = items[7];
  Activate1->set_default(true);
  Options1->set_visible(false);
  Activate1->set_on_click([this](ui::Component& s) { Activate1Click(s); });
  ContactInformation1->set_on_click([this](ui::Component& s) { ContactInformation1Click(s); });
  connecttoourwebsite1->set_on_click([this](ui::Component& s) { connecttoourwebsite1Click(s); });
  Emailus1->set_on_click([this](ui::Component& s) { Emailus1Click(s); });
  Exit1->set_on_click([this](ui::Component& s) { Exit1Click(s); });

  tray = &make<TCoolTrayIcon>("tray", platform);
  tray->set_hint("brevaro");
  tray->set_show_hint(true);
  tray->set_icon(platform.load_icon("MAINICON", 32));
  tray->set_popup_menu(popup);
  tray->MinimizeToTray = true;
  tray->set_cycle_interval(0);
  tray->OnDblClick = [this](ui::Component& s) { Activate1Click(s); };

  CloseTimer = &make<ui::Timer>("CloseTimer", install::kClosePollMs, true);
  CloseTimer->set_on_timer([this](ui::Timer& t) { CloseTimerTimer(t); });

  IconHide1 = &make<TIconHide>("IconHide1", platform);
  IconHide1->set_hidden(true);

  platform.place_form(*this, FormPlacement{true, false});
  set_on_create([this](ui::Form& f) { FormCreate(f); });
  set_on_show([this](ui::Form& f) { FormShow(f); });
  finish_create();
}

void TfrmMain::FormCreate(ui::Form&) {
  set_position(-1000, -1000);
  const platform::Process& process = application().ports().process;
  for (std::size_t i = 0; i < std::size(kItems); ++i)
    if (!kItems[i].bitmap.empty()) popup->items()[i]->set_bitmap(ui::load_picture(process, kItems[i].bitmap));
  application().process_messages();
}

void TfrmMain::FormShow(ui::Form&) {
  program_folder_ = install::program_folder_of(application().ports().process.executable_path());
  if (!close_request_) close_request_.emplace(application().ports().fs, program_folder_, install::kTrayMarkers);
}

void TfrmMain::popupPopup(menu::TPopupMenu2000&) {
  // The menu's own loop does not wait for the program folder's change
  // signal: the backend looks meanwhile, so that a close request is still
  // answered while the menu is open.
  application().backend().system_modal_loop_ahead();
  // Relative paths of whatever the menu starts resolve in the program folder.
  platform_.set_current_directory(program_folder_);
}

void TfrmMain::Activate1Click(ui::Component&) {
  // The client decides by its own mutex whether a new window opens.
  application().ports().shell.open(program_folder_ + std::string(install::kClientExe), platform::ShowState::normal);
}

void TfrmMain::ContactInformation1Click(ui::Component&) {
  if (!frmContacts) return;
  ContactInformation1->set_enabled(false);
  const base::ScopeExit enable_again([this] { ContactInformation1->set_enabled(true); });
  const platform::Size screen = application().ports().screen.size();
  frmContacts->set_position(screen.width / 2 - frmContacts->width() / 2, screen.height / 2 - frmContacts->height() / 2);
  frmContacts->show_modal();
}

void TfrmMain::connecttoourwebsite1Click(ui::Component&) {
  application().ports().shell.open(config::website_url, platform::ShowState::maximized);
}

void TfrmMain::Emailus1Click(ui::Component&) {
  application().ports().shell.open("mailto:" + std::string(config::mail_info), platform::ShowState::maximized);
}

void TfrmMain::Exit1Click(ui::Component&) { close(); }

void TfrmMain::CloseTimerTimer(ui::Timer& sender) {
  sender.set_enabled(false);
  // Before the form is shown there is no folder to look in.
  if (!close_request_) {
    sender.set_enabled(true);
    return;
  }
  if (!folder_watch_) {
    // Watched before the first look, so that a request written between the
    // two is not missed; from then on each change of the folder's file names
    // brings the next look, and this timer looks only where the folder
    // cannot be watched.
    folder_watch_ = std::make_unique<ui::FolderWatch>(application().backend(), application().ports().fs,
                                                      program_folder_, [this] { (void)look_for_close_request(); });
  }
  if (look_for_close_request()) return;
  if (!folder_watch_->watching()) sender.set_enabled(true);
}

bool TfrmMain::look_for_close_request() {
  if (!close_request_ || !close_request_->poll()) return false;
  // Answered once: a later request is left for whoever comes next.
  folder_watch_.reset();
  // Closed even when the answer could not be written: the uninstaller
  // waits only for the program's exit. An open menu would hold the
  // program in its own loop: it goes first.
  popup->close_popup();
  close();
  return true;
}

bool TfrmMain::watching_for_close_request() const {
  return CloseTimer->enabled() || (folder_watch_ && folder_watch_->watching());
}

}  // namespace brevaro::tray
