// The tray components' system for host tests: shell calls are recorded,
// message windows and the application window are records whose procedures a
// test can send messages to, and the cursor, keys and current directory are
// what the test sets.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tray/tray_platform.h"

namespace brevaro::tray::headless {

class HeadlessTrayPlatform final : public TrayPlatform {
 public:
  HeadlessTrayPlatform();

  // ---- TrayPlatform
  bool notify_icon(NotifyAction action, const NotifyIconRecord& record) override;
  std::uint32_t taskbar_created_message() override { return kTaskbarCreated; }
  std::unique_ptr<MessageWindow> create_message_window(WindowFilter proc) override;
  std::shared_ptr<const IconImage> load_icon(std::string_view resource, int size) override;
  std::uintptr_t application_window() override { return kApplicationWindow; }
  void set_application_title(std::string_view title) override { application_title = title; }
  std::unique_ptr<WindowSubclass> subclass_application_window(WindowFilter filter) override;
  void place_form(ui::Form& form, const FormPlacement& placement) override;
  void show_window(std::uintptr_t window, ShowCommand command) override;
  std::uint32_t ex_style(std::uintptr_t window) override;
  void set_ex_style(std::uintptr_t window, std::uint32_t style) override;
  void set_foreground(std::uintptr_t window) override { foreground.push_back(window); }
  void post_message(std::uintptr_t window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override;
  std::optional<ui::Point> cursor_pos() override { return cursor; }
  ShiftState key_state() override { return keys; }
  void set_current_directory(std::string_view path) override;

  // ---- test control
  static constexpr std::uint32_t kTaskbarCreated = 0xC0DE;
  static constexpr std::uintptr_t kApplicationWindow = 0xA000;

  struct ShellCall {
    NotifyAction action;
    NotifyIconRecord record;
  };
  std::vector<ShellCall> shell_calls;
  bool shell_accepts = true;  // false: no notification area (the calls still count)
  // Icons that load (by resource name); others fail.
  std::vector<std::string> icon_resources{"MAINICON"};

  // Sends a message to a window's procedure (message windows and the
  // application window); the default handling answers 0.
  std::intptr_t send(std::uintptr_t window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);
  std::vector<std::uintptr_t> message_windows() const;

  std::string application_title;
  bool application_visible = true;
  std::map<std::uintptr_t, std::uint32_t> ex_styles;
  std::map<const ui::Form*, FormPlacement> placements;
  struct Shown {
    std::uintptr_t window;
    ShowCommand command;
  };
  std::vector<Shown> show_calls;
  std::vector<std::uintptr_t> foreground;
  struct Posted {
    std::uintptr_t window;
    std::uint32_t message;
  };
  std::vector<Posted> posted;
  std::optional<ui::Point> cursor = ui::Point{1200, 1000};
  ShiftState keys = 0;
  std::vector<std::string> current_directories;
  bool current_directory_fails = false;
  // What the application window's filters threw (the product hands it to
  // the application's handler).
  std::vector<std::string> filter_errors;

 private:
  std::map<std::uintptr_t, WindowFilter> windows_;
  WindowFilters app_filters_;
  std::uintptr_t next_window_ = 0xB000;
};

}  // namespace brevaro::tray::headless
