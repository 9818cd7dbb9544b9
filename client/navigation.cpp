#include "client/navigation.h"

#include "base/ascii.h"
#include "client/service_links.h"

namespace brevaro::client {

Navigation::Navigation(ui::Application& app, Connectivity& connectivity, ui::WebBrowser& html1, ui::WebBrowser& html2,
                       Hooks hooks)
    : app_(app), connectivity_(connectivity), html1_(html1), html2_(html2), hooks_(std::move(hooks)) {}

bool Navigation::prompt() {
  return app_.message_box(kOfflinePrompt, "Information", ui::MsgBoxButtons::yes_no, ui::MsgBoxIcon::information) ==
         ui::MsgBoxResult::yes;
}

void Navigation::show_error_pages() {
  const std::string url = hooks_.error_page_url();
  html1_.Navigate(url);
  html2_.Navigate(url);
}

bool Navigation::ask_offline() {
  show_error_pages();
  const bool yes = prompt();
  app_.process_messages();
  return yes && !ended();
}

void Navigation::open_section(std::string_view key) {
  // Each "&Yes" runs the whole action again, the check first.
  for (;;) {
    if (connectivity_.check()) {
      html1_.Navigate(links::redirect(key));
      break;
    }
    if (ended() || !ask_offline()) break;
  }
  hooks_.end_dragging();
}

void Navigation::open_web_site() {
  for (;;) {
    if (connectivity_.check()) {
      app_.ports().shell.open(links::redirect(links::website), platform::ShowState::maximized);
      return;
    }
    if (ended() || !ask_offline()) return;
  }
}

bool Navigation::first_navigation() {
  try {
    if (connectivity_.check()) {
      html1_.Navigate(links::redirect(links::accounts));
      hooks_.end_dragging();
      refresh_message_strip();
      return false;
    }
    if (ended()) return false;
    show_error_pages();
    app_.process_messages();
    hooks_.end_dragging();
    if (ended()) return false;
    const bool yes = prompt();
    app_.process_messages();
    return yes && !ended();
  } catch (const std::exception&) {
    // A navigation that fails here is left for the next user action.
    return false;
  }
}

void Navigation::refresh_message_strip() {
  try {
    const std::string url = html2_.LocationURL();
    if (url.empty() || base::lower(std::string_view(url).substr(0, 4)) == "file")
      html2_.Navigate(links::redirect(links::scrollingmessage));
  } catch (const std::exception&) {
    // The strip keeps what it shows.
  }
}

bool Navigation::is_failure_title(std::string_view title) {
  const std::string t = base::lower(title);
  return t == "cannot find server" || t == "no page to display" || t.find("404") != std::string::npos;
}

void Navigation::title_changed(std::string_view title) {
  if (is_failure_title(title)) offline_restoring();
  else refresh_message_strip();
}

void Navigation::offline_restoring() {
  const std::string page1 = html1_.LocationURL();
  const std::string page2 = html2_.LocationURL();
  show_error_pages();
  app_.process_messages();
  if (ended()) return;
  if (prompt() && !ended()) {
    app_.process_messages();
    if (!ended()) {
      html1_.Navigate(page1);
      html2_.Navigate(page2);
    }
  }
  hooks_.end_dragging();
}

void Navigation::print() { html1_.PrintWithPrompt(); }

}  // namespace brevaro::client
