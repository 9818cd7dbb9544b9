#include "setup/install_form.h"

#include <initializer_list>
#include <vector>

#include "config/product_config.h"
#include "install/destination.h"
#include "install/layout.h"
#include "setup/close_wait.h"
#include "setup/installation.h"
#include "setup/wizard_buttons.h"
#include "ui/application.h"
#include "ui/pictures.h"

namespace brevaro::setup {

namespace {

ui::Memo& make_memo(ui::Component& owner, std::string_view name, ui::WinControl* page, ui::Rect r,
                    std::vector<std::string> lines) {
  auto& m = owner.make<ui::Memo>(name, page, r);
  m.set_lines(std::move(lines));
  return m;
}

}  // namespace

Tfrm_install::Tfrm_install(ui::Component* owner, const SetupPorts& setup)
    : ui::Form(owner, "frm_install", "brevaro program installation", ui::Size{435, 266}, ui::BorderStyle::dialog,
               ui::FormPosition::screen_center),
      setup_(setup) {
  Notebook = &make<ui::PageControl>("Notebook", this, ui::Rect{0, 0, 435, 213});
  P1 = &Notebook->add_page("P1");
  P2 = &Notebook->add_page("P2");
  P4 = &Notebook->add_page("P4");
  make_welcome_page();
  make_destination_page();
  make_done_page();
  make_web_link();
  std::tie(Bevel1, btn_back, btn_next, btn_cancel) = add_wizard_buttons(*this);
  bind_handlers();
  finish_create();
}

void Tfrm_install::make_welcome_page() {
  Image1 = &make<ui::Image>("Image1", P1, ui::Rect{12, 16, 175, 175});
  Image1->set_picture(ui::load_picture(application().ports().process, "INSTALL1"));
  Memo1 = &make_memo(*this, "Memo1", P1, ui::Rect{200, 16, 222, 181},
                     {"Welcome to brevaro.", "",
                      "Account aggregation is the consolidation of information from multiple online accounts on a "
                      "single screen with one password delivered in a totally secure and private environment. The "
                      "brevaro application delivers unprecedented levels of privacy, security, speed and ease of "
                      "access to information and services for users who hold accounts with financial, stock broking, "
                      "insurance, telecommunications, airlines, utilities and other service providers."});
}

void Tfrm_install::make_destination_page() {
  Image2 = &make<ui::Image>("Image2", P2, ui::Rect{12, 16, 130, 130});
  Image2->set_picture(ui::load_picture(application().ports().process, "INSTALL2"));
  Memo2 = &make_memo(*this, "Memo2", P2, ui::Rect{156, 16, 266, 130},
                     {"Your private information - passwords, account names, account numbers and aggregated data - is "
                      "encrypted & stored on your PC. Your private information is never seen by brevaro."});
  Label16 = &make<ui::Label>("Label16", P2, ui::Rect{12, 158, 410, 16},
                             "Select the directory you wish to install into . . .");
  Label16->font().name = "Arial";
  Label16->font().height = -12;
  Label16->font().bold = true;
  panel1 = &make<ui::Panel>("panel1", P2, ui::Rect{12, 180, 328, 24});
  panel1->color = ui::kWhite;
  make<ui::Bevel>("panel1Edge", panel1, ui::Rect{0, 0, 328, 24});  // the lowered edge
  edt_filename = &make<ui::Label>("edt_filename", panel1, ui::Rect{6, 5, 316, 14});
  edt_filename->set_transparent(true);
  btn_filename = &make<ui::Button>("btn_filename", P2, ui::Rect{347, 181, 75, 23}, "Browse");
}

void Tfrm_install::make_done_page() {
  Image3 = &make<ui::Image>("Image3", P4, ui::Rect{12, 16, 175, 175});
  Memo3 = &make_memo(*this, "Memo3", P4, ui::Rect{200, 16, 222, 140},
                     {"The brevaro program has been installed successfully.", "",
                      "brevaro requires an internet connection to operate. You can launch brevaro by clicking the "
                      "task tray icon or by selecting the program from the start menu."});
  ckbxStartProgram =
      &make<ui::CheckBox>("ckbxStartProgram", P4, ui::Rect{200, 168, 222, 20}, "Start brevaro product now?");
  ckbxStartProgram->set_checked(true);
}

// Below the pages, on every page.
void Tfrm_install::make_web_link() {
  panWebLink = &make<ui::Panel>("panWebLink", this, ui::Rect{10, 216, 120, 15});
  panWebLink->set_text(config::website_host);
  panWebLink->set_cursor(ui::Cursor::hand);
  web_link_text_ = &make<ui::Label>("panWebLinkCaption", panWebLink, ui::Rect{0, 0, 120, 15}, config::website_host);
  web_link_text_->set_transparent(true);
  web_link_text_->set_enabled(false);  // the panel takes the mouse
  web_link_text_->font().color = ui::kBlack;
}

void Tfrm_install::bind_handlers() {
  set_on_create([this](ui::Form& f) { FormCreate(f); });
  set_on_show([this](ui::Form& f) { FormShow(f); });
  set_on_activate([this](ui::Form& f) { FormActivate(f); });
  btn_next->set_on_click([this](ui::Control& c) { btn_nextClick(c); });
  btn_back->set_on_click([this](ui::Control& c) { btn_backClick(c); });
  btn_cancel->set_on_click([this](ui::Control& c) { btn_cancelClick(c); });
  btn_filename->set_on_click([this](ui::Control& c) { btn_filenameClick(c); });
  panWebLink->set_on_mouse_move([this](ui::Control& c, ui::Point p) { panWebLinkMouseMove(c, p); });
  panWebLink->set_on_mouse_down(
      [this](ui::Control& c, ui::MouseButton b, ui::Point p) { panWebLinkMouseDown(c, b, p); });
  // Leaving the link over the form, the pages or the welcome page's picture
  // and text turns it black again.
  for (ui::Control* c : std::initializer_list<ui::Control*>{this, Notebook, P1, P2, P4, Image1, Memo1})
    c->set_on_mouse_move([this](ui::Control& s, ui::Point p) { NotebookMouseMove(s, p); });
}

void Tfrm_install::FormCreate(ui::Form&) {
  source_folder_ = install::program_folder_of(application().ports().process.executable_path());
  browse_start_ = source_folder_;
}

void Tfrm_install::FormShow(ui::Form&) {
  edt_filename->set_caption(install::default_destination(setup_.links).value_or(std::string()));
}

void Tfrm_install::FormActivate(ui::Form&) { Image3->set_picture(Image1->picture()); }

void Tfrm_install::btn_nextClick(ui::Control&) {
  ui::TabSheet* page = Notebook->active_page();
  if (page == P1) {
    Notebook->set_active_page(*P2);
    btn_back->set_enabled(true);
    btn_next->set_enabled(true);
  } else if (page == P2) {
    install();
  } else if (page == P4) {
    finish();
  }
}

void Tfrm_install::information(const std::string& text) {
  application().message_box(text, "Information", ui::MsgBoxButtons::ok, ui::MsgBoxIcon::information);
}

void Tfrm_install::install() {
  const platform::Ports& ports = application().ports();
  const std::string d = destination();
  // Refused before anything is created: the user chooses again on this page.
  if (const auto check = install::check_destination(ports.fs, d, source_folder_); !check.ok()) {
    information(install::destination_message(check));
    return;
  }
  // An installer elevated with another account's credentials would install
  // into that account's profile, not the user's.
  if (ports.process.elevation().other_account) {
    information(std::string(kOtherAccount));
    close();
    return;
  }
  if (!prepare_destination(ports.fs, d)) {
    information(std::string(kCannotCreateDestination));
    close();
    return;
  }
  for (ui::Control* c : std::initializer_list<ui::Control*>{btn_filename, btn_back, btn_next, btn_cancel})
    c->set_enabled(false);
  files_installed_ = true;

  CopyResult copied = copy_program_files(ports, source_folder_, d);
  if (copied.client_busy || copied.tray_busy) {
    // An installation in D is running: its programs are asked to close
    // through the handshake, then the copy is made again.
    if (!close_running_programs(copied)) {
      for (ui::Control* c : std::initializer_list<ui::Control*>{btn_filename, btn_back, btn_next, btn_cancel})
        c->set_enabled(true);
      return;
    }
    copied = copy_program_files(ports, source_folder_, d);
  }
  if (!copied.files_installed()) files_installed_ = false;
  if (!files_installed_) {
    information(std::string(kFilesNotInstalled) + "\r" + copied.failed_file);
    close();
    return;
  }
  write_settings(ports, d);
  create_shortcuts(ports.fs, setup_.links, d);
  register_tray_at_logon(ports.registry, d);
  register_apps_entry(ports, d);

  Notebook->set_active_page(*P4);
  btn_back->set_enabled(false);
  btn_next->set_enabled(true);
  btn_next->set_text("&Finish");
}

bool Tfrm_install::close_running_programs(const CopyResult& copied) {
  const std::string folder = install::path_in(destination(), "");
  try {
    if (close_programs(application(), folder, install::ClosePrograms{copied.tray_busy, copied.client_busy}) ==
        install::CloseResult::closed) {
      // A program that saw its request while it was still being written
      // could not delete it (the file was open) and closed all the same; a
      // request left in the folder would close the program's next start.
      for (const install::CloseMarkers* m : {&install::kTrayMarkers, &install::kClientMarkers})
        platform::try_delete_file(application().ports().fs, install::path_in(folder, m->request));
      return true;
    }
    information(std::string(kProgramsStillRunning));
  } catch (const platform::FileError& e) {
    information(e.what());
  }
  return false;
}

void Tfrm_install::finish() {
  const platform::Ports& ports = application().ports();
  // Programs started from an elevated installer would run with its
  // administrator rights for as long as they run: the user starts them.
  if (ports.process.elevation().elevated) {
    information(std::string(kStartFromTheStartMenu));
    close();
    return;
  }
  if (ckbxStartProgram->checked())
    ports.shell.start_program(install::program_command(destination(), install::kClientExe),
                              platform::ShowState::normal);
  ports.shell.start_program(install::program_command(destination(), install::kTrayExe), platform::ShowState::normal);
  close();
}

void Tfrm_install::btn_backClick(ui::Control&) {
  if (Notebook->active_page() != P2) return;
  Notebook->set_active_page(*P1);
  btn_back->set_enabled(false);
  btn_next->set_enabled(true);
}

void Tfrm_install::btn_cancelClick(ui::Control&) {
  if (application().message_box("Are you sure you want to abort the installation?", "Confirm",
                                ui::MsgBoxButtons::yes_no, ui::MsgBoxIcon::question) == ui::MsgBoxResult::yes)
    close();
}

void Tfrm_install::btn_filenameClick(ui::Control&) {
  platform::FileSystem& fs = application().ports().fs;
  const auto picked = setup_.folders.select_directory(browse_start_);
  if (!picked || picked->empty()) return;
  // What the user typed into the dialog's edit box is taken as a full path
  // and checked like the default before anything is made.
  const auto chosen = install::absolute_folder(*picked);
  if (!chosen) {
    information(install::destination_message({install::DestinationProblem::not_absolute, *picked}));
    return;
  }
  const std::string d = install::destination_in(*chosen);
  if (const auto check = install::check_destination(fs, d, source_folder_); !check.ok()) {
    information(install::destination_message(check));
    return;
  }
  if (!fs.directory_exists(*chosen)) {
    if (application().message_box("The directory " + *chosen + " does not exist. Create it?", "Confirm",
                                  ui::MsgBoxButtons::yes_no, ui::MsgBoxIcon::question) != ui::MsgBoxResult::yes)
      return;
    try {
      platform::create_directories(fs, *chosen);
    } catch (const platform::FileError&) {
    }
    if (!fs.directory_exists(*chosen)) {
      information("The directory " + *chosen + " could not be created.");
      return;
    }
  }
  browse_start_ = *chosen;
  edt_filename->set_caption(d);
}

void Tfrm_install::set_link_colour(ui::Color c) {
  if (web_link_text_->font().color == c) return;
  web_link_text_->font().color = c;
  web_link_text_->invalidate();
}

void Tfrm_install::panWebLinkMouseMove(ui::Control&, ui::Point) { set_link_colour(ui::kRed); }

void Tfrm_install::panWebLinkMouseDown(ui::Control&, ui::MouseButton, ui::Point) {
  set_link_colour(ui::kBlack);
  application().ports().shell.open(config::website_url, platform::ShowState::maximized);
}

void Tfrm_install::NotebookMouseMove(ui::Control&, ui::Point) { set_link_colour(ui::kBlack); }

}  // namespace brevaro::setup
