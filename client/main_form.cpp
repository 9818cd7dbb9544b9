#include "client/main_form.h"

#include "base/identifier.h"
#include "base/scope_exit.h"
#include "base/winpath.h"
#include "client/banner_click.h"
#include "client/service_links.h"
#include "client/settings.h"
#include "client/version_check.h"
#include "config/product_config.h"
#include "install/close_request.h"
#include "install/layout.h"
#include "region/bitmap.h"
#include "ui/application.h"
#include "ui/pictures.h"

namespace brevaro::client {

namespace {

constexpr int kSkinWidth = 582;
constexpr int kSkinHeight = 488;

bool is_right_button(std::uint32_t m) {
  return m == ui::msg::rbutton_down || m == ui::msg::rbutton_up || m == ui::msg::rbutton_dblclk;
}

}  // namespace

TForm1::TForm1(ui::Component* owner, ProcessState& state, net::SocketApi& sockets, std::unique_ptr<net::IcmpApi> icmp)
    : ui::Form(owner, "Form1", "brevaro", ui::Size{871, 488}, ui::BorderStyle::none), state_(state) {
  platform::FileSystem& fs = application().ports().fs;

  Image1 = &make<ui::Image>("Image1", this, ui::Rect{0, 0, kSkinWidth, kSkinHeight});
  Image1->set_auto_size(true);
  Image1->set_picture(ui::load_picture(application().ports().process, "SKIN"));
  Image1->set_on_mouse_down([this](ui::Control& s, ui::MouseButton b, ui::Point p) { Image1MouseDown(s, b, p); });
  Image1->set_on_mouse_move([this](ui::Control& s, ui::Point p) { Image1MouseMove(s, p); });
  Image1->set_on_mouse_up([this](ui::Control& s, ui::MouseButton b, ui::Point p) { Image1MouseUp(s, b, p); });

  HTML1 = &make<ui::WebBrowser>("HTML1", this, ui::Rect{90, 129, 478, 307});
  HTML2 = &make<ui::WebBrowser>("HTML2", this, ui::Rect{131, 455, 397, 20});
  HTML1->set_on_title_change([this](ui::WebBrowser& b, const std::string& t) { HTML1oTitleChange(b, t); });
  HTML1->set_on_navigate_complete2([this](ui::WebBrowser& b, const std::string& u) { HTML1NavigateComplete2(b, u); });

  lblAccounts = &make_hot_spot("lblAccounts", 125, "View latest results");
  lblSetup = &make_hot_spot("lblSetup", 154, "Add / Remove / Edit accounts");
  lblMyDetails = &make_hot_spot("lblMyDetails", 185, "General configuration options");
  lblSecurity = &make_hot_spot("lblSecurity", 215, "");
  lblHelp = &make_hot_spot("lblHelp", 244, "");
  lblContactUs = &make_hot_spot("lblContactUs", 276, "");
  lblWebSite = &make_hot_spot("lblWebSite", 305, "Launch browser to " + std::string(config::website_host));
  lblSendToFriend = &make_hot_spot("lblSendToFriend", 335, "Send an brevaro recommendation to a friend");
  lblPrint = &make_hot_spot("lblPrint", 366, "");
  lblSignOut = &make_hot_spot("lblSignOut", 395, "End session and quit the brevaro application");
  using LabelHandler = void (TForm1::*)(ui::Control&, ui::MouseButton, ui::Point);
  const std::pair<ui::Label*, LabelHandler> label_handlers[] = {
      {lblAccounts, &TForm1::lblAccountsMouseDown},   {lblSetup, &TForm1::lblSetupMouseDown},
      {lblMyDetails, &TForm1::lblMyDetailsMouseDown}, {lblSecurity, &TForm1::lblSecurityMouseDown},
      {lblHelp, &TForm1::lblHelpMouseDown},           {lblContactUs, &TForm1::lblContactUsMouseDown},
      {lblWebSite, &TForm1::lblWebSiteMouseDown},     {lblSendToFriend, &TForm1::lblSendToFriendMouseDown},
      {lblPrint, &TForm1::lblPrintMouseDown},         {lblSignOut, &TForm1::lblSignOutMouseDown},
  };
  for (const auto& [label, handler] : label_handlers)
    label->set_on_mouse_down(
        [this, h = handler](ui::Control& s, ui::MouseButton b, ui::Point p) { (this->*h)(s, b, p); });

  imgBanner = &make<media::TGIFImage>("imgBanner", this, ui::Rect{95, 54, 468, 60});
  imgBanner->set_cursor(ui::Cursor::hand);
  imgBanner->set_animate(true);
  imgBanner->set_loop(true);
  imgBanner->set_visible(false);

  lblVerNo = &make<ui::Label>("lblVerNo", this, ui::Rect{5, 93, 20, 13}, "1.0");
  lblVerNo->set_visible(false);

  memErrorPage = &make<ui::Memo>("memErrorPage", this, ui::Rect{600, 10, 200, 80});
  memErrorPage->set_lines({kErrorPageLines.begin(), kErrorPageLines.end()});
  memErrorPage->set_visible(false);
  memErrorPage->set_enabled(false);

  btnPrint = &make<ui::Button>("btnPrint", this, ui::Rect{600, 100, 75, 25}, "Print");
  btnPrint->set_visible(false);
  btnPrint->set_on_click([this](ui::Control& s) { btnPrintClick(s); });

  panSignOut = &make<ui::Panel>("panSignOut", this, ui::Rect{264, 256, 130, 53});
  panSignOut->color = 15718077;  // #BDD6EF
  panSignOut->set_visible(false);
  Label1 = &make<ui::Label>("Label1", panSignOut, ui::Rect{0, 8, 130, 40}, "Signing Out Please Wait.");
  Label1->font().color = ui::kRed;
  Label1->font().height = -16;
  Label1->set_transparent(true);
  Label1->set_alignment(ui::Canvas::Align::center);
  Label1->set_word_wrap(true);

  FileListBox1 = &make<TFileListBox>("FileListBox1", fs, "*.gif;*.swf");
  FileListBox2 = &make<TFileListBox>("FileListBox2", fs, "*.dat");
  Memo1 = &make<ui::Memo>("Memo1", this, ui::Rect{600, 140, 200, 80});
  Memo1->set_visible(false);
  Memo3 = &make<ui::Memo>("Memo3", this, ui::Rect{600, 230, 200, 80});
  Memo3->set_visible(false);

  Timer1 = &make<ui::Timer>("Timer1", 1000, false);
  Timer1->set_on_timer([this](ui::Timer& t) { Timer1Timer(t); });
  ExitTimer = &make<ui::Timer>("ExitTimer", 5000, false);
  ExitTimer->set_on_timer([this](ui::Timer& t) { ExitTimerTimer(t); });
  CloseTimer = &make<ui::Timer>("CloseTimer", install::kClosePollMs, true);
  CloseTimer->set_on_timer([this](ui::Timer& t) { CloseTimerTimer(t); });
  timBannerChange = &make<ui::Timer>("timBannerChange", 1000, false);
  timTMDS = &make<ui::Timer>("timTMDS", 5000, true);
  timTMDS->set_tag(10);
  timTMDS->set_on_timer([this](ui::Timer& t) { timTMDSTimer(t); });
  TimerGetImage = &make<ui::Timer>("TimerGetImage", 30000, false);

  Ping1 = icmp ? std::make_unique<net::TPing>(sockets, std::move(icmp)) : std::make_unique<net::TPing>(sockets);
  Ping1->SetAddress(config::service_ip);
  Ping1->SetSize(56);
  Ping1->SetTimeout(4000);
  Ping1->SetTTL(64);
  Ping1->SetFlags(0);
  Ping1->OnEchoReply = [this](net::TPing& p, net::TICMP& i, int replies) { Ping1EchoReply(p, i, replies); };
  for (auto* http : {&MyHttp1, &MyHttp2, &MyHttp3}) {
    *http = std::make_unique<net::THttpCli>(sockets);
    net::THttpCli& h = **http;
    h.SetProxy("");
    h.SetProxyPort("80");
    h.SetAgent("Mozilla/3.0 (compatible)");
    h.SetAccept("image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*");
    h.SetNoCache(false);
    h.SetContentTypePost("application/x-www-form-urlencoded");
    h.SetMultiThreaded(false);
    // While a transfer waits, the window's messages are handled and the
    // thread sleeps until the next message or network event; a quit ends
    // the transfer at once, and its time limits run on the ports' clock.
    // The backend's wait also wakes for a close request, where it can.
    h.SetApplicationPump([this] { application().process_messages(); },
                         [this, &sockets](std::uint32_t ms) {
                           if (!application().backend().wait_for_event(ms)) sockets.waitForEvent(ms);
                         });
    h.SetQuitting([this] { return application().terminated() || application().backend().quitting(); });
    h.SetClock([this] { return application().ports().clock.ticks_ms(); });
  }

  // The logic behind the handlers.
  connectivity_ = std::make_unique<Connectivity>(application(), *Ping1);
  navigation_ = std::make_unique<Navigation>(
      application(), *connectivity_, *HTML1, *HTML2,
      Navigation::Hooks{[this] { return error_page_url(); }, [this] { dragging_ = false; }});
  shutdown_ = std::make_unique<Shutdown>(*this, *connectivity_);
  banner_links = BannerLinks{[this] { return links::advert_list(state_.installation_id); },
                             [this](std::string_view id) { return links::download_log(state_.installation_id, id); },
                             [this](std::string_view id) { return links::click_log(state_.installation_id, id); },
                             links::redirect(links::defaultbanner), links::redirect(links::downloadnewversion)};
  rotation_ = std::make_unique<BannerRotation>(BannerArea{*this, *imgBanner, FlashBanner}, *FileListBox1,
                                               *timBannerChange, application().ports(), state_, banner_links);
  adverts_ = std::make_unique<AdvertRefresh>(
      application(), AdvertParts{*Memo1, *Memo3, *FileListBox2, *TimerGetImage, *MyHttp1, *MyHttp2, *MyHttp3}, state_,
      banner_links, [this] { CheckLatestVersion(); });
  timBannerChange->set_on_timer([this](ui::Timer& t) { timBannerChangeTimer(t); });
  TimerGetImage->set_on_timer([this](ui::Timer& t) { TimerGetImageTimer(t); });
  on_banner_click = [this] { BannerClick(*adverts_, banner_links, state_, application().ports().shell); };

  // The window's shape, built while the form is loaded.
  region_owner_ = std::make_unique<FormRegionOwner>(*this);
  FormRegion1 = std::make_unique<region::TFormRegion>(region_owner_.get());
  PictExtRgn1 = std::make_unique<region::TPictExtRgn>(region_owner_.get());
  FormRegion1->begin_loading();
  PictExtRgn1->begin_loading();
  FormRegion1->set_draw_on_designing(false);
  PictExtRgn1->set_name("PictExtRgn1");
  PictExtRgn1->set_trans_color(region::clWhite);
  PictExtRgn1->set_hor_align(region::RegionAlignment::raSource);
  PictExtRgn1->set_vert_align(region::RegionAlignment::raSource);
  PictExtRgn1->set_glyph(ui::load_bmp_resource(application().ports().process, "MASK"));
  // Without its mask picture the window keeps its whole rectangle.
  if (!PictExtRgn1->glyph().empty()) FormRegion1->set_region("TLT0,0,PictExtRgn1");
  PictExtRgn1->loaded();
  FormRegion1->loaded();

  set_on_create([this](ui::Form& f) { FormCreate(f); });
  set_on_show([this](ui::Form& f) { FormShow(f); });
  set_on_activate([this](ui::Form& f) { FormActivate(f); });
  set_on_close([this](ui::Form& f, ui::CloseAction& a) { FormClose(f, a); });
  finish_create();
}

TForm1::~TForm1() {
  // The hook refers to this window: it goes first.
  if (application().has_message_hook()) application().set_on_message(nullptr);
  FormRegion1.reset();
  PictExtRgn1.reset();
  adverts_.reset();
  rotation_.reset();
  MyHttp3.reset();
  MyHttp2.reset();
  MyHttp1.reset();
  shutdown_.reset();
  navigation_.reset();
  connectivity_.reset();
  Ping1.reset();
  region_owner_.reset();
  free_all_components();
}

ui::Label& TForm1::make_hot_spot(std::string_view name, int top, std::string_view hint) {
  auto& l = make<ui::Label>(name, this, ui::Rect{5, top, 68, 23});
  l.set_transparent(true);
  l.set_cursor(ui::Cursor::hand);
  l.set_hint(hint);
  l.set_show_hint(!hint.empty());
  return l;
}

std::string TForm1::error_page_url() const { return "file://" + state_.program_folder + "data\\error.htm"; }

// ---- creation --------------------------------------------------------------------

void TForm1::FormCreate(ui::Form&) {
  ui::Application& app = application();
  const platform::Ports& ports = app.ports();

  // 1. The program's own cursor for dragging the window by its picture.
  app.backend().load_cursor(static_cast<int>(ui::Cursor::custom_1), "MOVE");
  Image1->set_cursor(ui::Cursor::custom_1);

  // 2.-3. The movie player control is written out of the executable and
  // registered at every start; any failure just leaves it out.
  const std::string system_folder = ports.process.system_folder();
  try {
    const auto control = ports.process.raw_resource("flashocx");
    if (!control) throw std::runtime_error("no movie player resource");
    ports.fs.write_file(system_folder + "\\swflash.ocx",
                        std::string_view(reinterpret_cast<const char*>(control->data()), control->size()));
    // By its full path: a bare name would be looked for in the program's
    // own folder first, where anything may lie.
    ports.shell.start_program("\"" + system_folder + "\\REGSVR32.EXE\" /s \"" + system_folder + "\\SWFLASH.OCX\"",
                              platform::ShowState::hide);
  } catch (...) {
    // Banners that need the control will not show; the client runs on.
  }

  // 4.-5. Program folder and data folders.
  state_.program_folder = std::string(base::winpath::folder(ports.process.executable_path()));
  for (const char* dir : {"Data", "Data\\Download", "Data\\Banners"}) {
    const std::string path = state_.program_folder + dir;
    if (!ports.fs.directory_exists(path)) platform::create_directories(ports.fs, path);
  }
  settings_path_ = state_.program_folder + std::string(install::kSettingsFile);

  // 6. Double buffering.
  set_double_buffered(true);

  // 7. The system's proxy for the HTTP clients (the browsers follow the
  // system themselves; the echo has no proxy).
  proxy_ = read_system_proxy(ports.registry);
  if (proxy_) {
    for (auto* http : {MyHttp1.get(), MyHttp2.get(), MyHttp3.get()}) {
      http->SetProxy(proxy_->host);
      http->SetProxyPort(proxy_->port);
    }
  }
}

void TForm1::FormShow(ui::Form&) {
  const platform::Ports& ports = application().ports();
  base::IniDocument ini = load_settings(ports.fs, settings_path_);
  set_position(ini.read_integer(kDefaultSection, "Left", -1000), ini.read_integer(kDefaultSection, "Top", -1000));
  FileListBox1->set_tag(ini.read_integer(kDefaultSection, "NextAd", 0));

  state_.installation_id = ini.read_string(kDefaultSection, "UN", base::kNoIdentifier);
  if (state_.installation_id == base::kNoIdentifier) {
    const auto id =
        base::generate_installation_id([&] { return ports.clock.date(); }, [&] { return ports.clock.time(); });
    if (id) {
      state_.installation_id = *id;
      ini.write_string(kDefaultSection, "UN", *id);
      try {
        save_settings(ports.fs, settings_path_, ini);
      } catch (const platform::FileError&) {
        // A settings file that cannot be written (locked, read-only folder)
        // must not leave the window unplaced: the identifier is used for
        // this run and written at a later start.
      }
    }
  }

  if (top() == -1000 || left() == -1000) {
    const ui::Size screen = ports.screen.size();
    set_position(screen.width / 2 - width() / 2, screen.height / 2 - height() / 2);
  }
}

void TForm1::FormActivate(ui::Form&) {
  ui::Application& app = application();
  if (app.ports().screen.logical_dpi() == 120) {
    const auto answer =
        app.message_box(kLargeFontsQuestion, "Information", ui::MsgBoxButtons::yes_no, ui::MsgBoxIcon::information);
    if (answer == ui::MsgBoxResult::no) {
      Timer1->set_enabled(false);
      ExitTimer->set_enabled(true);
      return;
    }
  }
  app.set_on_message([this](ui::Message& m, bool& handled) { AppMessage(m, handled); });
  write_error_page();
  HTML1->Navigate(error_page_url());
  HTML2->Navigate(error_page_url());
  dragging_ = false;
  Timer1->set_enabled(true);
  state_.version_checked = false;
  for (TFileListBox* list : {FileListBox1, FileListBox2}) {
    list->SetDirectory(state_.program_folder + "Data\\Banners");
    list->Update();
  }
  timBannerChange->set_enabled(true);
}

void TForm1::write_error_page() {
  std::string page;
  for (const auto& line : memErrorPage->lines()) {
    page += line;
    page += "\r\n";
  }
  application().ports().fs.write_file(state_.program_folder + "data\\error.htm", page);
}

void TForm1::FreeFlashBanner() {
  BannerArea area{*this, *imgBanner, FlashBanner};
  client::FreeFlashBanner(area);
}

void TForm1::FormClose(ui::Form&, ui::CloseAction&) {
  FreeFlashBanner();
  platform::FileSystem& fs = application().ports().fs;
  base::IniDocument ini = load_settings(fs, settings_path_);
  ini.write_integer(kDefaultSection, "Top", top());
  ini.write_integer(kDefaultSection, "Left", left());
  ini.write_integer(kDefaultSection, "NextAd", static_cast<std::int32_t>(FileListBox1->tag()));
  save_settings(fs, settings_path_, ini);
}

// ---- navigation ---------------------------------------------------------------------

void TForm1::Ping1EchoReply(net::TPing&, net::TICMP&, int replies) { connectivity_->echo_reply(replies); }

void TForm1::Timer1Timer(ui::Timer& sender) {
  sender.set_enabled(false);
  if (navigation_->first_navigation()) sender.set_enabled(true);
}

void TForm1::HTML1oTitleChange(ui::WebBrowser&, const std::string& text) { navigation_->title_changed(text); }

void TForm1::lblAccountsMouseDown(ui::Control&, ui::MouseButton, ui::Point) {
  navigation_->open_section(links::accounts);
}
void TForm1::lblSetupMouseDown(ui::Control&, ui::MouseButton, ui::Point) { navigation_->open_section(links::setup); }
void TForm1::lblMyDetailsMouseDown(ui::Control&, ui::MouseButton, ui::Point) {
  navigation_->open_section(links::mydetails);
}
void TForm1::lblSecurityMouseDown(ui::Control&, ui::MouseButton, ui::Point) {
  navigation_->open_section(links::security);
}
void TForm1::lblHelpMouseDown(ui::Control&, ui::MouseButton, ui::Point) { navigation_->open_section(links::help); }
void TForm1::lblContactUsMouseDown(ui::Control&, ui::MouseButton, ui::Point) {
  navigation_->open_section(links::contactus);
}
void TForm1::lblWebSiteMouseDown(ui::Control&, ui::MouseButton, ui::Point) { navigation_->open_web_site(); }
void TForm1::lblSendToFriendMouseDown(ui::Control&, ui::MouseButton, ui::Point) {
  navigation_->open_section(links::sendtoafriend);
}
void TForm1::lblPrintMouseDown(ui::Control&, ui::MouseButton, ui::Point) { btnPrintClick(*btnPrint); }
void TForm1::btnPrintClick(ui::Control&) { navigation_->print(); }

void TForm1::timTMDSTimer(ui::Timer& sender) {
  sender.set_enabled(false);
  sender.set_interval(config::advert_refresh_seconds * 100);
  // Enabled again however the refresh ends: a failed refresh waits for the next.
  const base::ScopeExit again([&sender] { sender.set_enabled(true); });
  sender.set_tag(sender.tag() + 1);
  if (sender.tag() <= 9) return;
  sender.set_tag(0);
  if (connectivity_->check() && !application().terminated()) RefreshAdverts();
}

void TForm1::RefreshAdverts() { adverts_->RefreshAdverts(); }

void TForm1::CheckLatestVersion() {
  ui::Application& app = application();
  client::CheckLatestVersion(
      Memo1->lines(), lblVerNo->caption(), state_,
      [&app](std::string_view text) {
        return app.message_box(text, "Information", ui::MsgBoxButtons::yes_no, ui::MsgBoxIcon::information);
      },
      app.ports().shell, banner_links.new_version);
}

// ---- banners -------------------------------------------------------------------------

void TForm1::timBannerChangeTimer(ui::Timer&) { rotation_->step(); }
void TForm1::TimerGetImageTimer(ui::Timer&) { adverts_->TimerGetImageTimer(); }

// ---- sign-out and closing -----------------------------------------------------------------

void TForm1::lblSignOutMouseDown(ui::Control&, ui::MouseButton, ui::Point) { shutdown_->sign_out(); }
void TForm1::HTML1NavigateComplete2(ui::WebBrowser&, const std::string&) { shutdown_->navigation_completed(); }
void TForm1::ExitTimerTimer(ui::Timer&) { shutdown_->exit_timer(); }
void TForm1::CloseTimerTimer(ui::Timer&) { shutdown_->poll_close_request(); }
bool TForm1::watching_for_close_request() const { return shutdown_->watching_for_close_request(); }

// ---- dragging by the picture ---------------------------------------------------------

void TForm1::Image1MouseDown(ui::Control&, ui::MouseButton, ui::Point) {
  application().process_messages();
  dragging_ = true;
  cursor_ = application().ports().screen.cursor_pos();
  drag_offset_ = peer().screen_to_client(cursor_);
}

void TForm1::Image1MouseMove(ui::Control&, ui::Point) {
  if (!dragging_) return;
  cursor_ = application().ports().screen.cursor_pos();
  set_bounds(ui::Rect{cursor_.x - drag_offset_.x, cursor_.y - drag_offset_.y, Image1->bounds().width,
                      Image1->bounds().height});
  invalidate();
}

void TForm1::Image1MouseUp(ui::Control&, ui::MouseButton, ui::Point) { dragging_ = false; }

// ---- the message hook ------------------------------------------------------------------

void TForm1::AppMessage(ui::Message& m, bool& handled) {
  // No context menus anywhere, the browser pages included.
  if (is_right_button(m.message)) m.message = ui::msg::null;

  // The banner area: what the cursor is over now, not where the message says.
  if (m.message == ui::msg::lbutton_down || m.message == ui::msg::lbutton_up || m.message == ui::msg::lbutton_dblclk) {
    const ui::Point p = peer().screen_to_client(application().ports().screen.cursor_pos());
    if (imgBanner->bounds().strictly_contains(p)) {
      const bool press = m.message == ui::msg::lbutton_down;
      m.message = ui::msg::null;
      if (press && on_banner_click) on_banner_click();
    }
  }

  // Keyboard for the page in HTML1.
  if (!HTML1) {
    handled = false;
    return;
  }
  handled = HTML1->IsDialogMessage(m);
  if (handled && !HTML1->Busy()) {
    if (!state_.in_place) state_.in_place = HTML1->InPlaceActiveObject();
    const bool key = m.message == ui::msg::key_down || m.message == ui::msg::key_up;
    const bool kept_from_page =
        key && (m.wparam == winapi::vk_back || m.wparam == winapi::vk_left || m.wparam == winapi::vk_right);
    if (state_.in_place && !kept_from_page) state_.in_place->translate_accelerator(m);
  }
}

}  // namespace brevaro::client
