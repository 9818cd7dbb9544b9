// The web-browser control: a windowed control that shows pages. On Windows
// it hosts the system's WebBrowser ActiveX control; the headless backend
// records navigations and lets tests raise its events.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "ui/control.h"

namespace brevaro::ui {

// The browser's in-place active object, which translates accelerator keys
// for the page.
class InPlaceObject {
 public:
  virtual ~InPlaceObject() = default;
  virtual void translate_accelerator(const Message& m) = 0;
};

class BrowserPeer {
 public:
  virtual ~BrowserPeer() = default;
  virtual void navigate(std::string_view url) = 0;
  virtual std::string location_url() const = 0;
  virtual bool busy() const = 0;
  // The print command with the option "prompt the user"; throws on failure.
  virtual void print_with_prompt() = 0;
  // The platform's dialog-message processing of `m` for the control's window.
  virtual bool is_dialog_message(Message& m) = 0;
  // The Application object's IOleInPlaceActiveObject, when there is one.
  virtual std::shared_ptr<InPlaceObject> in_place_object() = 0;
};

class WebBrowser final : public WinControl {
 public:
  WebBrowser(Component* owner, std::string_view name, WinControl* parent, Rect bounds);
  ~WebBrowser() override;

  void Navigate(std::string_view url);
  std::string LocationURL() const;
  bool Busy() const;
  void PrintWithPrompt();
  bool IsDialogMessage(Message& m);
  std::shared_ptr<InPlaceObject> InPlaceActiveObject();

  using TitleHandler = std::function<void(WebBrowser& sender, const std::string& text)>;
  using NavigateHandler = std::function<void(WebBrowser& sender, const std::string& url)>;
  void set_on_title_change(TitleHandler h) { on_title_change_ = std::move(h); }
  void set_on_navigate_complete2(NavigateHandler h) { on_navigate_complete2_ = std::move(h); }

  // The peer raises the control's events through these.
  void fire_title_change(const std::string& text);
  void fire_navigate_complete2(const std::string& url);

  BrowserPeer& browser() const { return *browser_; }

 private:
  std::unique_ptr<BrowserPeer> browser_;
  TitleHandler on_title_change_;
  NavigateHandler on_navigate_complete2_;
};

}  // namespace brevaro::ui
