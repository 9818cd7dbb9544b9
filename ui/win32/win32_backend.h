// The UI framework on real windows.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "ui/backend.h"

namespace brevaro::ui::win32 {

class Win32Backend final : public Backend {
 public:
  Win32Backend();
  ~Win32Backend() override;
  Win32Backend(const Win32Backend&) = delete;
  Win32Backend& operator=(const Win32Backend&) = delete;

  void run(Application& app) override;
  void process_messages(Application& app) override;
  bool wait_for_event(std::uint32_t max_ms) override;
  void system_modal_loop_ahead() override;
  void quit() override;
  bool quitting() const override { return quit_; }
  void post(std::function<void()> fn) override;
  std::unique_ptr<TimerPeer> create_timer(std::function<void()> on_tick) override;
  std::unique_ptr<FolderWatchPeer> watch_folder(const platform::FileSystem& fs, std::string_view folder,
                                                std::function<void()> on_change) override;
  std::unique_ptr<WindowPeer> create_window(WinControl& control, WindowKind kind) override;
  std::unique_ptr<BrowserPeer> create_browser(WebBrowser& control) override;
  MsgBoxResult message_box(Application& app, std::string_view text, std::string_view caption, MsgBoxButtons buttons,
                           MsgBoxIcon icon) override;
  void modal_loop(Application& app, const std::function<bool()>& done) override;
  Point cursor_pos() const override;
  bool client_area_animation() const override;
  bool load_cursor(int number, std::string_view resource_name) override;

  // For the window procedures.
  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
  bool quit_ = false;
};

}  // namespace brevaro::ui::win32
