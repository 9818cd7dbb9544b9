// The tray components' system on Windows: Shell_NotifyIcon, hidden windows
// for the icon's callbacks, and the application window that stands for the
// program on the taskbar.
#pragma once

#include <memory>

#include "tray/tray_platform.h"

namespace brevaro::tray::win32 {

class Win32TrayPlatform final : public TrayPlatform {
 public:
  Win32TrayPlatform();
  ~Win32TrayPlatform() override;
  Win32TrayPlatform(const Win32TrayPlatform&) = delete;
  Win32TrayPlatform& operator=(const Win32TrayPlatform&) = delete;

  bool notify_icon(NotifyAction action, const NotifyIconRecord& record) override;
  std::uint32_t taskbar_created_message() override;
  std::unique_ptr<MessageWindow> create_message_window(WindowFilter proc) override;
  std::shared_ptr<const IconImage> load_icon(std::string_view resource, int size) override;
  std::uintptr_t application_window() override;
  void set_application_title(std::string_view title) override;
  std::unique_ptr<WindowSubclass> subclass_application_window(WindowFilter filter) override;
  void place_form(ui::Form& form, const FormPlacement& placement) override;
  void show_window(std::uintptr_t window, ShowCommand command) override;
  std::uint32_t ex_style(std::uintptr_t window) override;
  void set_ex_style(std::uintptr_t window, std::uint32_t style) override;
  void set_foreground(std::uintptr_t window) override;
  void post_message(std::uintptr_t window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override;
  std::optional<ui::Point> cursor_pos() override;
  ShiftState key_state() override;
  void set_current_directory(std::string_view path) override;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace brevaro::tray::win32
