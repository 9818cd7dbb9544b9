// The client's main window: a borderless window cut to the outline of its
// skin picture, with two web-browser controls, a column of hot-spot labels
// over the picture, the banner area, the hidden sign-out notice, the timers
// that drive the client, and the application-wide message hook.
#pragma once

#include <array>
#include <functional>
#include <optional>

#include "client/advert_refresh.h"
#include "client/banner_links.h"
#include "client/banner_rotation.h"
#include "client/connectivity.h"
#include "client/file_list.h"
#include "client/form_region.h"
#include "client/navigation.h"
#include "client/process_state.h"
#include "client/proxy.h"
#include "client/shutdown.h"
#include "media/ui/flash_control.h"
#include "media/ui/gif_control.h"
#include "net/httpcli.h"
#include "net/icmp.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/timer.h"
#include "ui/web_browser.h"

namespace brevaro::client {

class TForm1 final : public ui::Form {
 public:
  // `icmp` is the echo backend for the connectivity check; by default the
  // platform's own.
  TForm1(ui::Component* owner, ProcessState& state, net::SocketApi& sockets, std::unique_ptr<net::IcmpApi> icmp = {});
  ~TForm1() override;

  // Components, by their stored names.
  ui::Image* Image1;
  ui::WebBrowser* HTML1;
  ui::WebBrowser* HTML2;
  ui::Label* lblAccounts;
  ui::Label* lblSetup;
  ui::Label* lblMyDetails;
  ui::Label* lblSecurity;
  ui::Label* lblHelp;
  ui::Label* lblContactUs;
  ui::Label* lblWebSite;
  ui::Label* lblSendToFriend;
  ui::Label* lblPrint;
  ui::Label* lblSignOut;
  media::TGIFImage* imgBanner;  // the banner area
  ui::Label* lblVerNo;
  ui::Memo* memErrorPage;
  ui::Button* btnPrint;
  ui::Panel* panSignOut;
  ui::Label* Label1;
  TFileListBox* FileListBox1;
  TFileListBox* FileListBox2;
  ui::Memo* Memo1;
  ui::Memo* Memo3;
  ui::Timer* Timer1;
  ui::Timer* ExitTimer;
  ui::Timer* CloseTimer;
  ui::Timer* timBannerChange;
  ui::Timer* timTMDS;
  ui::Timer* TimerGetImage;
  // The connectivity check and the three HTTP clients (adverts, banners, logs).
  std::unique_ptr<net::TPing> Ping1;
  std::unique_ptr<net::THttpCli> MyHttp1;
  std::unique_ptr<net::THttpCli> MyHttp2;
  std::unique_ptr<net::THttpCli> MyHttp3;
  // The window's shape: the mask picture's black pixels, at the window's corner.
  std::unique_ptr<region::TFormRegion> FormRegion1;
  std::unique_ptr<region::TPictExtRgn> PictExtRgn1;

  // Event handlers.
  void FormCreate(ui::Form& sender);
  void FormShow(ui::Form& sender);
  void FormActivate(ui::Form& sender);
  void FormClose(ui::Form& sender, ui::CloseAction& action);
  void Image1MouseDown(ui::Control& sender, ui::MouseButton button, ui::Point pos);
  void Image1MouseMove(ui::Control& sender, ui::Point pos);
  void Image1MouseUp(ui::Control& sender, ui::MouseButton button, ui::Point pos);
  void ExitTimerTimer(ui::Timer& sender);
  void Timer1Timer(ui::Timer& sender);
  void timTMDSTimer(ui::Timer& sender);
  void CloseTimerTimer(ui::Timer& sender);
  void Ping1EchoReply(net::TPing& sender, net::TICMP& icmp, int replies);
  void HTML1oTitleChange(ui::WebBrowser& sender, const std::string& text);
  void HTML1NavigateComplete2(ui::WebBrowser& sender, const std::string& url);
  void lblAccountsMouseDown(ui::Control& sender, ui::MouseButton button, ui::Point pos);
  void lblSetupMouseDown(ui::Control& sender, ui::MouseButton button, ui::Point pos);
  void lblMyDetailsMouseDown(ui::Control& sender, ui::MouseButton button, ui::Point pos);
  void lblSecurityMouseDown(ui::Control& sender, ui::MouseButton button, ui::Point pos);
  void lblHelpMouseDown(ui::Control& sender, ui::MouseButton button, ui::Point pos);
  void lblContactUsMouseDown(ui::Control& sender, ui::MouseButton button, ui::Point pos);
  void lblWebSiteMouseDown(ui::Control& sender, ui::MouseButton button, ui::Point pos);
  void lblSendToFriendMouseDown(ui::Control& sender, ui::MouseButton button, ui::Point pos);
  void lblPrintMouseDown(ui::Control& sender, ui::MouseButton button, ui::Point pos);
  void btnPrintClick(ui::Control& sender);
  void lblSignOutMouseDown(ui::Control& sender, ui::MouseButton button, ui::Point pos);
  void timBannerChangeTimer(ui::Timer& sender);
  void TimerGetImageTimer(ui::Timer& sender);
  // The application-wide message hook.
  void AppMessage(ui::Message& m, bool& handled);

  // State beside the components.
  bool dragging() const noexcept { return dragging_; }
  void set_dragging(bool d) noexcept { dragging_ = d; }
  const std::optional<ProxySetting>& proxy() const noexcept { return proxy_; }
  const std::string& settings_path() const noexcept { return settings_path_; }
  std::string error_page_url() const;
  const std::string& program_folder() const noexcept { return state_.program_folder; }
  // True while a close request would be answered (by the folder watch or CloseTimer).
  bool watching_for_close_request() const;

  // The advert-list refresh that timTMDS runs every tenth tick while the
  // service answers, and the version check it runs once per activation.
  void RefreshAdverts();
  void CheckLatestVersion();

  // The service links of the banners, built on the service base URL (tests
  // point them at a service of their own).
  BannerLinks banner_links;

  // The movie banner shown over the banner area, or none.
  media::TShockwaveFlash* FlashBanner = nullptr;
  void FreeFlashBanner();

  // What a press on the banner area does (click log and link).
  std::function<void()> on_banner_click;

 private:
  ui::Label& make_hot_spot(std::string_view name, int top, std::string_view hint);
  void write_error_page();

  ProcessState& state_;
  std::unique_ptr<Connectivity> connectivity_;
  std::unique_ptr<Navigation> navigation_;
  std::unique_ptr<Shutdown> shutdown_;
  std::unique_ptr<BannerRotation> rotation_;
  std::unique_ptr<AdvertRefresh> adverts_;
  std::unique_ptr<FormRegionOwner> region_owner_;
  bool dragging_ = false;
  ui::Point drag_offset_{};
  ui::Point cursor_{};
  std::optional<ProxySetting> proxy_;
  std::string settings_path_;
};

// The lines the error page is made of (the memo stores a fifth, empty one).
inline constexpr std::array<std::string_view, 5> kErrorPageLines = {
    "<html><head><title>Error</title>",
    "</head>",
    "<body bgcolor=\"#BDD6EF\" text=\"#000000\" scroll=\"no\" marginwidth=\"0\" marginheight=\"0\">",
    "</body></html>",
    "",
};

inline constexpr std::string_view kLargeFontsQuestion =
    "Warning!  Your computer has LARGE fonts set-up.\rThis application may not display properly on this "
    "system.\rContinue "
    "anyway?";

}  // namespace brevaro::client
