#include "tray/cool_tray_icon.h"

#include <algorithm>

#include "ui/application.h"
#include "ui/form.h"

namespace brevaro::tray {

std::array<char, kTipSize> tip_for(std::string_view hint, bool show_hint) {
  std::array<char, kTipSize> tip{};
  if (show_hint && !hint.empty()) {
    const std::size_t n = std::min(hint.size(), kTipSize - 1);
    std::copy_n(hint.begin(), n, tip.begin());
  }
  return tip;
}

// ---- TCoolTrayIcon -------------------------------------------------------------

TCoolTrayIcon::TCoolTrayIcon(ui::Component* owner, std::string_view name, TrayPlatform& platform)
    : ui::Component(owner, name), platform_(platform) {
  window_ = platform_.create_message_window(
      [this](std::uint32_t m, std::uintptr_t wp, std::intptr_t lp, const std::function<std::intptr_t()>& pass_on) {
        const std::optional<std::intptr_t> r = handle_message(m, wp, lp);
        return r ? *r : pass_on();
      });
  record_.window = window_ ? window_->handle() : 0;
  taskbar_created_ = platform_.taskbar_created_message();
  cycle_timer_ = &make<ui::Timer>("", cycle_interval_, false);
  cycle_timer_->set_on_timer([this](ui::Timer&) { cycle_tick(); });
  // Minimising the application reaches its window first.
  app_filter_ = platform_.subclass_application_window(
      [this](std::uint32_t m, std::uintptr_t wp, std::intptr_t, const std::function<std::intptr_t()>& pass_on) {
        if (m == wm::size && wp == wm::size_minimized && MinimizeToTray) application().guarded([&] { HideToTray(); });
        return pass_on();
      });
}

TCoolTrayIcon::~TCoolTrayIcon() {
  free_all_components();
  send(NotifyAction::remove);
  app_filter_.reset();
  window_.reset();
}

void TCoolTrayIcon::loaded() {
  loading_ = false;
  if (icon_visible_) AddTrayIcon();
  else RemoveTrayIcon();
  if (StartMinimized) platform_.show_window(platform_.application_window(), ShowCommand::hide);
  UpdateTrayIcon();
}

std::uintptr_t TCoolTrayIcon::message_window() const { return record_.window; }

void TCoolTrayIcon::send(NotifyAction action) {
  // The form's settings arrive before the icon is added.
  if (loading_) return;
  record_.icon = icon_ ? icon_->handle() : 0;
  record_.tip = tip_for(hint_, show_hint_);
  // The shell's answer changes nothing: without a tray the program runs on
  // without an icon.
  platform_.notify_icon(action, record_);
}

void TCoolTrayIcon::AddTrayIcon() {
  icon_visible_ = true;
  send(NotifyAction::add);
}

void TCoolTrayIcon::RemoveTrayIcon() {
  icon_visible_ = false;
  send(NotifyAction::remove);
}

void TCoolTrayIcon::UpdateTrayIcon() { send(NotifyAction::modify); }

void TCoolTrayIcon::set_hint(std::string_view h) {
  hint_ = h;
  UpdateTrayIcon();
}

void TCoolTrayIcon::set_show_hint(bool s) {
  show_hint_ = s;
  UpdateTrayIcon();
}

void TCoolTrayIcon::set_icon(std::shared_ptr<const IconImage> icon) {
  icon_ = std::move(icon);
  UpdateTrayIcon();
}

void TCoolTrayIcon::set_icon_visible(bool v) {
  if (v) AddTrayIcon();
  else RemoveTrayIcon();
}

void TCoolTrayIcon::set_popup_menu(menu::TPopupMenu2000* m) {
  menu_ = m ? m->weak() : base::WeakRef<menu::TPopupMenu2000>();
}

menu::TPopupMenu2000* TCoolTrayIcon::popup_menu() const { return menu_.lock(); }

void TCoolTrayIcon::set_icon_list(TIconList* list) { icon_list_ = list ? list->weak() : base::WeakRef<TIconList>(); }

TIconList* TCoolTrayIcon::icon_list() const { return icon_list_.lock(); }

void TCoolTrayIcon::set_cycle_icons(bool on) {
  cycle_icons_ = on;
  if (on) cycle_index_ = 0;
  cycle_timer_->set_enabled(on);
}

void TCoolTrayIcon::set_cycle_interval(std::uint32_t ms) {
  cycle_interval_ = ms;
  cycle_timer_->set_interval(ms);
}

void TCoolTrayIcon::cycle_tick() {
  const TIconList* list = icon_list();
  if (!list || list->icons.empty()) return;
  if (cycle_index_ >= list->icons.size()) cycle_index_ = 0;
  const std::size_t index = cycle_index_;
  icon_ = list->icons[index];
  if (OnCycle) OnCycle(*this, index);
  UpdateTrayIcon();
  cycle_index_ = index + 1 >= list->icons.size() ? 0 : index + 1;
}

std::uintptr_t TCoolTrayIcon::main_form_window() const {
  ui::Form* main = application().main_form();
  return main ? main->handle() : 0;
}

std::optional<std::intptr_t> TCoolTrayIcon::handle_message(std::uint32_t message, std::uintptr_t,
                                                           std::intptr_t lparam) {
  if (message == kTrayCallbackMessage) {
    if (Enabled) application().guarded([&] { handle_callback(static_cast<std::uint32_t>(lparam)); });
    return 0;
  }
  if (taskbar_created_ != 0 && message == taskbar_created_) {
    // A new taskbar knows no icons: ours goes back in.
    if (icon_visible_) send(NotifyAction::add);
    return 0;
  }
  if (message == wm::query_end_session) return 1;
  return std::nullopt;
}

void TCoolTrayIcon::handle_callback(std::uint32_t mouse_message) {
  const ui::Point pos = platform_.cursor_pos().value_or(ui::Point{});
  const ShiftState keys = platform_.key_state();
  const auto down = [&](ui::MouseButton b, ShiftState button) {
    if (OnMouseDown) OnMouseDown(*this, b, keys | button, pos.x, pos.y);
  };
  const auto up = [&](ui::MouseButton b, ShiftState button) {
    if (OnMouseUp) OnMouseUp(*this, b, keys | button, pos.x, pos.y);
  };
  switch (mouse_message) {
    case wm::mouse_move:
      if (OnMouseMove) OnMouseMove(*this, keys, pos.x, pos.y);
      break;
    case wm::lbutton_down:
      down(ui::MouseButton::left, ssLeft);
      left_click_pending_ = true;
      if (LeftPopup) ShowMenuAtCursor();
      break;
    case wm::lbutton_up:
      // A release without a press seen on the icon is no click.
      if (left_click_pending_) {
        left_click_pending_ = false;
        if (OnClick) OnClick(*this);
      }
      up(ui::MouseButton::left, ssLeft);
      break;
    case wm::lbutton_dblclk:
      if (OnDblClick) OnDblClick(*this);
      if (menu::TPopupMenu2000* m = popup_menu(); m && m->auto_popup && !LeftPopup) {
        if (menu::TMenuItem2000* item = m->default_item()) item->click();
      }
      break;
    case wm::rbutton_down:
      down(ui::MouseButton::right, ssRight);
      ShowMenuAtCursor();
      break;
    case wm::rbutton_up: up(ui::MouseButton::right, ssRight); break;
    case wm::mbutton_down: down(ui::MouseButton::middle, ssMiddle); break;
    case wm::mbutton_up: up(ui::MouseButton::middle, ssMiddle); break;
    default: break;  // the right double-click and anything else: nothing
  }
}

void TCoolTrayIcon::ShowMenuAtCursor() {
  {
    const menu::TPopupMenu2000* m = popup_menu();
    if (!m || !m->auto_popup || !platform_.cursor_pos()) return;
  }
  application().process_messages();
  // Pending messages may have changed the menu.
  menu::TPopupMenu2000* m = popup_menu();
  const std::optional<ui::Point> at = platform_.cursor_pos();
  if (!m || !m->auto_popup || !at) return;
  const std::uintptr_t main = main_form_window();
  // The menu closes when the user clicks elsewhere only when the program
  // owns the foreground while it is open.
  if (main) platform_.set_foreground(main);
  m->set_popup_component(this);
  m->popup(*at);
  if (main) platform_.post_message(main, wm::null, 0, 0);
}

void TCoolTrayIcon::HideToTray() {
  platform_.show_window(platform_.application_window(), ShowCommand::hide);
  if (ui::Form* main = application().main_form()) main->hide();
  AddTrayIcon();
}

// ---- TIconHide -----------------------------------------------------------------

TIconHide::TIconHide(ui::Component* owner, std::string_view name, TrayPlatform& platform)
    : ui::Component(owner, name), platform_(platform) {
  set_hidden(true);
}

void TIconHide::set_hidden(bool hidden) {
  IconHideState& state = platform_.icon_hide_state();
  if (hidden == state.hidden) return;
  state.hidden = hidden;
  const std::uintptr_t app = platform_.application_window();
  platform_.show_window(app, ShowCommand::hide);
  platform_.set_ex_style(app, hidden ? (state.original_ex_style | winapi::ws_ex_tool_window | winapi::ws_ex_topmost)
                                     : state.original_ex_style);
  platform_.show_window(app, ShowCommand::show);
}

}  // namespace brevaro::tray
