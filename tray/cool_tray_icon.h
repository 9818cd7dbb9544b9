// TCoolTrayIcon: one icon in the notification area. It adds, updates and
// removes the icon through the shell, turns the shell's callback messages
// into mouse events, pops its menu up at the cursor, runs the menu's default
// item on a double-click, hides the application to the tray when it is
// minimised, and adds the icon again when the taskbar is re-created.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/weak_ref.h"
#include "menu/popup_menu.h"
#include "tray/tray_platform.h"
#include "ui/component.h"
#include "ui/timer.h"

namespace brevaro::tray {

// A list of icons for cycling.
class TIconList final : public ui::Component {
 public:
  TIconList(ui::Component* owner, std::string_view name = {}) : ui::Component(owner, name) {}
  std::vector<std::shared_ptr<const IconImage>> icons;
  base::WeakRef<TIconList> weak() { return anchor_.ref(this); }

 private:
  base::WeakAnchor anchor_;
};

// The tip as the shell shows it: the hint cut to what the record holds
// (63 characters), empty when there is no hint or hints are off.
std::array<char, kTipSize> tip_for(std::string_view hint, bool show_hint);

class TCoolTrayIcon final : public ui::Component {
 public:
  TCoolTrayIcon(ui::Component* owner, std::string_view name, TrayPlatform& platform);
  ~TCoolTrayIcon() override;

  // Published properties.
  bool DesignPreview = false;
  void set_icon_list(TIconList* list);
  TIconList* icon_list() const;
  bool cycle_icons() const noexcept { return cycle_icons_; }
  void set_cycle_icons(bool on);
  std::uint32_t cycle_interval() const noexcept { return cycle_interval_; }
  void set_cycle_interval(std::uint32_t ms);
  bool Enabled = true;
  const std::string& hint() const noexcept { return hint_; }
  void set_hint(std::string_view h);
  bool show_hint() const noexcept { return show_hint_; }
  void set_show_hint(bool s);
  // The icon shown; an empty icon (none) shows the shell's blank.
  const std::shared_ptr<const IconImage>& icon() const noexcept { return icon_; }
  void set_icon(std::shared_ptr<const IconImage> icon);
  bool icon_visible() const noexcept { return icon_visible_; }
  void set_icon_visible(bool v);
  void set_popup_menu(menu::TPopupMenu2000* menu);
  menu::TPopupMenu2000* popup_menu() const;
  bool LeftPopup = false;
  bool StartMinimized = false;
  bool MinimizeToTray = false;

  using NotifyHandler = std::function<void(ui::Component& sender)>;
  using MouseHandler =
      std::function<void(ui::Component& sender, ui::MouseButton button, ShiftState shift, int x, int y)>;
  using MoveHandler = std::function<void(ui::Component& sender, ShiftState shift, int x, int y)>;
  using CycleHandler = std::function<void(ui::Component& sender, std::size_t index)>;
  NotifyHandler OnClick, OnDblClick;
  MouseHandler OnMouseDown, OnMouseUp;
  MoveHandler OnMouseMove;
  CycleHandler OnCycle;

  // Operations.
  void AddTrayIcon();
  void RemoveTrayIcon();
  void UpdateTrayIcon();
  void ShowMenuAtCursor();
  void HideToTray();

  // The record as the last shell call sent it.
  const NotifyIconRecord& record() const noexcept { return record_; }
  std::uintptr_t message_window() const;
  // The message window's procedure: the result, or nothing for the
  // system's default handling.
  std::optional<std::intptr_t> handle_message(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);

 protected:
  void loaded() override;

 private:
  void send(NotifyAction action);
  void handle_callback(std::uint32_t mouse_message);
  void cycle_tick();
  std::uintptr_t main_form_window() const;

  TrayPlatform& platform_;
  NotifyIconRecord record_;
  std::unique_ptr<MessageWindow> window_;
  std::unique_ptr<WindowSubclass> app_filter_;
  std::uint32_t taskbar_created_ = 0;
  std::string hint_;
  bool show_hint_ = false;
  std::shared_ptr<const IconImage> icon_;
  bool icon_visible_ = true;
  bool loading_ = true;  // until the form has loaded: no shell calls yet
  bool left_click_pending_ = false;
  bool cycle_icons_ = false;
  std::uint32_t cycle_interval_ = 0;
  std::size_t cycle_index_ = 0;
  ui::Timer* cycle_timer_ = nullptr;
  base::WeakRef<menu::TPopupMenu2000> menu_;
  base::WeakRef<TIconList> icon_list_;
};

// TIconHide: takes the application's button off the taskbar by making the
// application window a tool window.
class TIconHide final : public ui::Component {
 public:
  TIconHide(ui::Component* owner, std::string_view name, TrayPlatform& platform);
  bool hidden() const noexcept { return platform_.icon_hide_state().hidden; }
  void set_hidden(bool hidden);

 private:
  TrayPlatform& platform_;
};

}  // namespace brevaro::tray
