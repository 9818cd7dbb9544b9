#include "tray/contacts_form.h"

#include <string>

#include "ui/application.h"
#include "ui/pictures.h"

namespace brevaro::tray {

namespace {

ui::Label& make_mark(ui::Form& form, std::string_view name, int top) {
  auto& mark = form.make<ui::Label>(name, &form, ui::Rect{29, top, 13, 13});
  mark.color = ui::kRed;
  mark.set_visible(false);
  return mark;
}

ui::Label& make_hot_area(ui::Form& form, std::string_view name, ui::Rect r) {
  auto& label = form.make<ui::Label>(name, &form, r);
  label.set_transparent(true);
  return label;
}

}  // namespace

TfrmContacts::TfrmContacts(ui::Component* owner, TrayPlatform& platform)
    : ui::Form(owner, "frmContacts", "Contact Information...", ui::Size{406, 306}, ui::BorderStyle::dialog) {
  const platform::Process& process = application().ports().process;

  imgContacts = &make<ui::Image>("imgContacts", this, ui::Rect{3, 3, 400, 300});
  imgContacts->set_auto_size(true);
  imgContacts->set_picture(ui::load_picture(process, "CONTACTS"));
  imgContacts->set_on_mouse_move([this](ui::Control& s, ui::Point p) { imgContactsMouseMove(s, p); });

  Label5 = &make_mark(*this, "Label5", 114);
  Label6 = &make_mark(*this, "Label6", 134);
  Label7 = &make_mark(*this, "Label7", 154);
  Label8 = &make_mark(*this, "Label8", 174);

  Label1 = &make_hot_area(*this, "Label1", ui::Rect{29, 114, 259, 13});
  Label2 = &make_hot_area(*this, "Label2", ui::Rect{29, 134, 287, 13});
  Label3 = &make_hot_area(*this, "Label3", ui::Rect{29, 154, 272, 13});
  Label4 = &make_hot_area(*this, "Label4", ui::Rect{29, 174, 345, 13});
  Label1->set_on_mouse_move([this](ui::Control& s, ui::Point p) { Label1MouseMove(s, p); });
  Label2->set_on_mouse_move([this](ui::Control& s, ui::Point p) { Label2MouseMove(s, p); });
  Label3->set_on_mouse_move([this](ui::Control& s, ui::Point p) { Label3MouseMove(s, p); });
  Label4->set_on_mouse_move([this](ui::Control& s, ui::Point p) { Label4MouseMove(s, p); });
  Label1->set_on_mouse_down([this](ui::Control& s, ui::MouseButton b, ui::Point p) { Label1MouseDown(s, b, p); });
  Label2->set_on_mouse_down([this](ui::Control& s, ui::MouseButton b, ui::Point p) { Label2MouseDown(s, b, p); });
  Label3->set_on_mouse_down([this](ui::Control& s, ui::MouseButton b, ui::Point p) { Label3MouseDown(s, b, p); });
  Label4->set_on_mouse_down([this](ui::Control& s, ui::MouseButton b, ui::Point p) { Label4MouseDown(s, b, p); });
  for (ui::Label* line : {Label1, Label2, Label3, Label4}) line->set_cursor(ui::Cursor::hand);

  Image1 = &make<ui::Image>("Image1", this, ui::Rect{167, 258, 73, 25});
  Image1->set_picture(ui::load_picture(process, "CONTACTSLIT"));
  Image1->set_visible(false);

  lblClose = &make_hot_area(*this, "lblClose", ui::Rect{166, 257, 72, 24});
  lblClose->set_cursor(ui::Cursor::hand);
  lblClose->set_on_mouse_move([this](ui::Control& s, ui::Point p) { lblCloseMouseMove(s, p); });
  lblClose->set_on_mouse_down([this](ui::Control& s, ui::MouseButton b, ui::Point p) { lblCloseMouseDown(s, b, p); });

  platform.place_form(*this, FormPlacement{false, true});
  finish_create();
}

void TfrmContacts::mark_line(std::size_t n) {
  const auto all = marks();
  if (all[n]->visible()) return;
  Image1->set_visible(false);
  for (std::size_t i = 0; i < all.size(); ++i)
    if (i != n) all[i]->set_visible(false);
  all[n]->set_visible(true);
}

void TfrmContacts::open_mail(std::size_t n) {
  // The shell's answer is not acted upon: without a mail program nothing opens.
  application().ports().shell.open("mailto:" + std::string(kContactAddresses[n]), platform::ShowState::maximized);
}

void TfrmContacts::Label1MouseMove(ui::Control&, ui::Point) { mark_line(0); }
void TfrmContacts::Label2MouseMove(ui::Control&, ui::Point) { mark_line(1); }
void TfrmContacts::Label3MouseMove(ui::Control&, ui::Point) { mark_line(2); }
void TfrmContacts::Label4MouseMove(ui::Control&, ui::Point) { mark_line(3); }
void TfrmContacts::Label1MouseDown(ui::Control&, ui::MouseButton, ui::Point) { open_mail(0); }
void TfrmContacts::Label2MouseDown(ui::Control&, ui::MouseButton, ui::Point) { open_mail(1); }
void TfrmContacts::Label3MouseDown(ui::Control&, ui::MouseButton, ui::Point) { open_mail(2); }
void TfrmContacts::Label4MouseDown(ui::Control&, ui::MouseButton, ui::Point) { open_mail(3); }

void TfrmContacts::lblCloseMouseMove(ui::Control&, ui::Point) {
  if (Image1->visible()) return;
  for (ui::Label* mark : marks()) mark->set_visible(false);
  Image1->set_visible(true);
}

void TfrmContacts::lblCloseMouseDown(ui::Control&, ui::MouseButton, ui::Point) { close(); }

void TfrmContacts::imgContactsMouseMove(ui::Control&, ui::Point) {
  for (ui::Label* mark : marks()) mark->set_visible(false);
  Image1->set_visible(false);
}

}  // namespace brevaro::tray
