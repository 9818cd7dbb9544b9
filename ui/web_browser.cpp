#include "ui/web_browser.h"

#include "ui/application.h"

namespace brevaro::ui {

WebBrowser::WebBrowser(Component* owner, std::string_view name, WinControl* parent, Rect bounds)
    : WinControl(owner, name, parent, bounds, WindowKind::host),
      browser_(application().backend().create_browser(*this)) {}

WebBrowser::~WebBrowser() { browser_.reset(); }

void WebBrowser::Navigate(std::string_view url) { browser_->navigate(url); }
std::string WebBrowser::LocationURL() const { return browser_->location_url(); }
bool WebBrowser::Busy() const { return browser_->busy(); }
void WebBrowser::PrintWithPrompt() { browser_->print_with_prompt(); }
bool WebBrowser::IsDialogMessage(Message& m) { return browser_->is_dialog_message(m); }
std::shared_ptr<InPlaceObject> WebBrowser::InPlaceActiveObject() { return browser_->in_place_object(); }

void WebBrowser::fire_title_change(const std::string& text) {
  if (on_title_change_) application().guarded([&] { on_title_change_(*this, text); });
}

void WebBrowser::fire_navigate_complete2(const std::string& url) {
  if (on_navigate_complete2_) application().guarded([&] { on_navigate_complete2_(*this, url); });
}

}  // namespace brevaro::ui
