#include "tray/headless/headless_tray_platform.h"

#include <algorithm>

#include "platform/filesystem.h"

namespace brevaro::tray::headless {

namespace {

class RecordedWindow final : public MessageWindow {
 public:
  RecordedWindow(std::map<std::uintptr_t, WindowFilter>& windows, std::uintptr_t handle)
      : windows_(windows), handle_(handle) {}
  ~RecordedWindow() override { windows_.erase(handle_); }
  RecordedWindow(const RecordedWindow&) = delete;
  RecordedWindow& operator=(const RecordedWindow&) = delete;
  std::uintptr_t handle() const override { return handle_; }

 private:
  std::map<std::uintptr_t, WindowFilter>& windows_;
  std::uintptr_t handle_;
};

class RecordedIcon final : public IconImage {
 public:
  explicit RecordedIcon(std::uintptr_t handle) : handle_(handle) {}
  std::uintptr_t handle() const override { return handle_; }

 private:
  std::uintptr_t handle_;
};

class RecordedSubclass final : public WindowSubclass {
 public:
  RecordedSubclass(WindowFilters& filters, int id) : filters_(filters), id_(id) {}
  ~RecordedSubclass() override { filters_.remove(id_); }
  RecordedSubclass(const RecordedSubclass&) = delete;
  RecordedSubclass& operator=(const RecordedSubclass&) = delete;

 private:
  WindowFilters& filters_;
  int id_;
};

}  // namespace

HeadlessTrayPlatform::HeadlessTrayPlatform() {
  ex_styles[kApplicationWindow] = 0x00040000;  // WS_EX_APPWINDOW, as a program's window starts
  icon_hide_.original_ex_style = ex_styles[kApplicationWindow];
}

bool HeadlessTrayPlatform::notify_icon(NotifyAction action, const NotifyIconRecord& record) {
  shell_calls.push_back(ShellCall{action, record});
  return shell_accepts;
}

std::unique_ptr<MessageWindow> HeadlessTrayPlatform::create_message_window(WindowFilter proc) {
  const std::uintptr_t h = next_window_++;
  windows_[h] = std::move(proc);
  return std::make_unique<RecordedWindow>(windows_, h);
}

std::shared_ptr<const IconImage> HeadlessTrayPlatform::load_icon(std::string_view resource, int size) {
  if (std::find(icon_resources.begin(), icon_resources.end(), resource) == icon_resources.end()) return nullptr;
  return std::make_shared<RecordedIcon>(0x1C00 + static_cast<std::uintptr_t>(size));
}

std::unique_ptr<WindowSubclass> HeadlessTrayPlatform::subclass_application_window(WindowFilter filter) {
  return std::make_unique<RecordedSubclass>(app_filters_, app_filters_.add(std::move(filter)));
}

void HeadlessTrayPlatform::place_form(ui::Form& form, const FormPlacement& placement) { placements[&form] = placement; }

void HeadlessTrayPlatform::show_window(std::uintptr_t window, ShowCommand command) {
  show_calls.push_back(Shown{window, command});
  if (window == kApplicationWindow) application_visible = command != ShowCommand::hide;
}

std::uint32_t HeadlessTrayPlatform::ex_style(std::uintptr_t window) { return ex_styles[window]; }

void HeadlessTrayPlatform::set_ex_style(std::uintptr_t window, std::uint32_t style) { ex_styles[window] = style; }

void HeadlessTrayPlatform::post_message(std::uintptr_t window, std::uint32_t message, std::uintptr_t, std::intptr_t) {
  posted.push_back(Posted{window, message});
}

void HeadlessTrayPlatform::set_current_directory(std::string_view path) {
  if (current_directory_fails || path.empty())
    throw platform::FileError(platform::FileErrorKind::not_found, "I/O error 3");
  current_directories.emplace_back(path);
}

std::intptr_t HeadlessTrayPlatform::send(std::uintptr_t window, std::uint32_t message, std::uintptr_t wparam,
                                         std::intptr_t lparam) {
  if (window == kApplicationWindow) {
    // As on Windows: the filters' chain, the window's own handling last, and
    // a filter's exception given to the application's handler (recorded).
    return app_filters_.run(
        message, wparam, lparam, [] { return std::intptr_t{0}; },
        [this](const std::exception& e) { filter_errors.emplace_back(e.what()); });
  }
  const auto it = windows_.find(window);
  if (it == windows_.end()) return 0;
  const WindowFilter proc = it->second;
  return proc(message, wparam, lparam, [] { return std::intptr_t{0}; });
}

std::vector<std::uintptr_t> HeadlessTrayPlatform::message_windows() const {
  std::vector<std::uintptr_t> out;
  for (const auto& [h, proc] : windows_) out.push_back(h);
  return out;
}

}  // namespace brevaro::tray::headless
