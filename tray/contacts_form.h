// The contact window: one picture of a contact sheet with four mail lines
// and a close button, and invisible hot areas over it. Pointing at a line
// marks it with a red square, pointing at the close button lights it; a
// press on a line opens a new mail message to its address.
#pragma once

#include <array>
#include <string_view>

#include "config/product_config.h"
#include "tray/tray_platform.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace brevaro::tray {

// The addresses of the four lines, as the contact sheet shows them.
inline constexpr std::array<std::string_view, 4> kContactAddresses = {config::mail_support, config::mail_passwords,
                                                                      config::mail_suggestions, config::mail_marketing};

class TfrmContacts final : public ui::Form {
 public:
  TfrmContacts(ui::Component* owner, TrayPlatform& platform);

  // Components, by their stored names, in their z-order (bottom first).
  ui::Image* imgContacts;
  ui::Label* Label5;
  ui::Label* Label6;
  ui::Label* Label7;
  ui::Label* Label8;
  ui::Label* Label1;
  ui::Label* Label2;
  ui::Label* Label3;
  ui::Label* Label4;
  ui::Image* Image1;
  ui::Label* lblClose;

  // Event handlers.
  void Label1MouseMove(ui::Control& sender, ui::Point pos);
  void Label2MouseMove(ui::Control& sender, ui::Point pos);
  void Label3MouseMove(ui::Control& sender, ui::Point pos);
  void Label4MouseMove(ui::Control& sender, ui::Point pos);
  void Label1MouseDown(ui::Control& sender, ui::MouseButton button, ui::Point pos);
  void Label2MouseDown(ui::Control& sender, ui::MouseButton button, ui::Point pos);
  void Label3MouseDown(ui::Control& sender, ui::MouseButton button, ui::Point pos);
  void Label4MouseDown(ui::Control& sender, ui::MouseButton button, ui::Point pos);
  void lblCloseMouseMove(ui::Control& sender, ui::Point pos);
  void lblCloseMouseDown(ui::Control& sender, ui::MouseButton button, ui::Point pos);
  void imgContactsMouseMove(ui::Control& sender, ui::Point pos);

 private:
  // Shows the mark of line `n` (0 to 3) and hides every other highlight.
  void mark_line(std::size_t n);
  void open_mail(std::size_t n);
  std::array<ui::Label*, 4> marks() const { return {Label5, Label6, Label7, Label8}; }
};

}  // namespace brevaro::tray
