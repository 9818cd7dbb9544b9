// What the client shows in its two browser controls: the service's sections
// in HTML1, the one-line message in HTML2, the local error page and the
// offline prompt while the service cannot be reached, the watch on the page
// title, and printing. The hot-spot labels, Timer1 and the title event
// delegate here.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "client/connectivity.h"
#include "ui/web_browser.h"

namespace brevaro::client {

inline constexpr std::string_view kOfflinePrompt =
    "You are NOT connected to the Internet,\rPlease connect to the Internet and try again.\r\rTry again now?";

class Navigation {
 public:
  struct Hooks {
    std::function<std::string()> error_page_url;  // "file://" + program folder + "data\error.htm"
    std::function<void()> end_dragging;           // the main window's dragging state to false
  };

  Navigation(ui::Application& app, Connectivity& connectivity, ui::WebBrowser& html1, ui::WebBrowser& html2,
             Hooks hooks);

  // A hot-spot label: the check, then the section's redirect link in HTML1;
  // offline, the error page and the prompt, and the whole action again for
  // as long as the user answers "&Yes".
  void open_section(std::string_view key);
  // The web-site label: the same, but the link opens in the user's browser,
  // maximised, and the dragging state is left alone.
  void open_web_site();
  // The first navigation after start-up. True when the user answered "&Yes"
  // to the offline prompt: the caller arms the next attempt.
  bool first_navigation();
  // Opens the message strip's page unless it already shows something other
  // than a local file.
  void refresh_message_strip();
  // The title watch: the browser's own error pages and not-found pages count
  // as "not connected".
  void title_changed(std::string_view title);
  // The print dialog for the page in HTML1; failures reach the caller.
  void print();

  // True for titles that mean the page could not be served.
  static bool is_failure_title(std::string_view title);

 private:
  // The offline prompt, asking form: error pages, the question; true on "&Yes".
  bool ask_offline();
  // The offline prompt, restoring form: back to the remembered pages on "&Yes".
  void offline_restoring();
  void show_error_pages();
  bool prompt();
  bool ended() const { return app_.terminated(); }

  ui::Application& app_;
  Connectivity& connectivity_;
  ui::WebBrowser& html1_;
  ui::WebBrowser& html2_;
  Hooks hooks_;
};

}  // namespace brevaro::client
