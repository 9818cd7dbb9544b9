#include "tray/win32/win32_tray_platform.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/filesystem.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide.h"
#include "platform/win32/window.h"
#include "ui/form.h"

namespace brevaro::tray::win32 {

namespace {

constexpr platform::win32::WindowClass kIconWindowClass{.name = L"TBrevaroTrayIconWindow"};

// The shell's first notification record in its wide form: 152 bytes on
// 32-bit Windows (a tip of 64 UTF-16 units), the same fields with 64-bit
// handles on 64-bit Windows.
constexpr DWORD kRecordSize = NOTIFYICONDATAW_V1_SIZE;
#if !defined(_WIN64)
static_assert(NOTIFYICONDATAW_V1_SIZE == 152, "the first wide notification record is 152 bytes");
#endif
constexpr std::size_t kWideTipSize = sizeof(NOTIFYICONDATAW::szTip) / sizeof(wchar_t);
static_assert(kWideTipSize >= kTipSize);

// The tip in UTF-16, cut to the record's room without splitting a
// surrogate pair, and terminated.
void copy_tip(std::string_view tip, wchar_t (&out)[kWideTipSize]) {
  std::wstring wide = platform::win32::widen(tip);
  if (wide.size() > kWideTipSize - 1) {
    wide.resize(kWideTipSize - 1);
    if (wide.back() >= 0xD800 && wide.back() <= 0xDBFF) wide.pop_back();
  }
  std::copy(wide.begin(), wide.end(), out);
  out[wide.size()] = L'\0';
}

HWND hwnd_of(std::uintptr_t h) { return reinterpret_cast<HWND>(h); }

// A hidden window whose messages go to one procedure; what it passes on gets
// the system's default handling.
class IconWindow final : public MessageWindow, platform::win32::WindowHandler {
 public:
  explicit IconWindow(WindowFilter proc) : proc_(std::move(proc)) {}
  IconWindow(const IconWindow&) = delete;
  IconWindow& operator=(const IconWindow&) = delete;
  std::uintptr_t handle() const override { return reinterpret_cast<std::uintptr_t>(window_.get()); }

 private:
  LRESULT on_message(platform::win32::Window& w, UINT message, WPARAM wp, LPARAM lp) override {
    if (!proc_) return w.default_handling(message, wp, lp);
    return proc_(message, static_cast<std::uintptr_t>(wp), static_cast<std::intptr_t>(lp),
                 [&]() -> std::intptr_t { return w.default_handling(message, wp, lp); });
  }

  WindowFilter proc_;
  // A hidden top-level window rather than a message-only one: only
  // top-level windows hear the shell's "TaskbarCreated" broadcast.
  platform::win32::Window window_{kIconWindowClass, {.ex_style = WS_EX_TOOLWINDOW, .style = WS_POPUP}, *this};
};

class Win32Icon final : public IconImage {
 public:
  explicit Win32Icon(HICON icon) : icon_(icon) {}
  std::uintptr_t handle() const override { return reinterpret_cast<std::uintptr_t>(icon_.get()); }

 private:
  platform::win32::UniqueIcon icon_;
};

}  // namespace

struct Win32TrayPlatform::Impl final : platform::win32::WindowHandler {
  // The application window's filters; its own handling is the system's default.
  WindowFilters filters;
  // The application window: a window without size in the middle of the
  // screen, the owner of the forms and the program's button on the taskbar.
  // It has no frame to draw: nothing of it is ever seen but its button.
  platform::win32::Window application_window{
      {.name = L"TBrevaroTrayApplication", .icon = LoadIconW(GetModuleHandleW(nullptr), L"MAINICON")},
      {.style = WS_POPUP | WS_CLIPSIBLINGS | WS_MINIMIZEBOX,
       .x = GetSystemMetrics(SM_CXSCREEN) / 2,
       .y = GetSystemMetrics(SM_CYSCREEN) / 2},
      *this};
  HWND application = application_window.get();

  LRESULT on_message(platform::win32::Window& w, UINT message, WPARAM wp, LPARAM lp) override {
    // The program never closes through its application window: the forms decide.
    if (message == WM_CLOSE) return 0;
    return filters.run(
        message, static_cast<std::uintptr_t>(wp), static_cast<std::intptr_t>(lp),
        [&]() -> std::intptr_t { return w.default_handling(message, wp, lp); },
        [](const std::exception&) { platform::win32::report_exception(std::current_exception()); });
  }
};

namespace {

class ApplicationSubclass final : public WindowSubclass {
 public:
  ApplicationSubclass(Win32TrayPlatform::Impl& impl, int id) : impl_(impl), id_(id) {}
  ~ApplicationSubclass() override { impl_.filters.remove(id_); }
  ApplicationSubclass(const ApplicationSubclass&) = delete;
  ApplicationSubclass& operator=(const ApplicationSubclass&) = delete;

 private:
  Win32TrayPlatform::Impl& impl_;
  int id_;
};

}  // namespace

Win32TrayPlatform::Win32TrayPlatform() : impl_(std::make_unique<Impl>()) {
  icon_hide_.original_ex_style = static_cast<std::uint32_t>(GetWindowLongPtrW(impl_->application, GWL_EXSTYLE));
}

Win32TrayPlatform::~Win32TrayPlatform() = default;

bool Win32TrayPlatform::notify_icon(NotifyAction action, const NotifyIconRecord& record) {
  NOTIFYICONDATAW nid{};
  nid.cbSize = kRecordSize;
  nid.hWnd = hwnd_of(record.window);
  nid.uID = record.id;
  nid.uFlags = record.flags;
  nid.uCallbackMessage = record.callback_message;
  nid.hIcon = reinterpret_cast<HICON>(record.icon);
  copy_tip(
      std::string_view(record.tip.data(), std::find(record.tip.begin(), record.tip.end(), '\0') - record.tip.begin()),
      nid.szTip);
  const DWORD message = action == NotifyAction::add      ? NIM_ADD
                        : action == NotifyAction::modify ? NIM_MODIFY
                                                         : NIM_DELETE;
  return Shell_NotifyIconW(message, &nid) != FALSE;
}

std::uint32_t Win32TrayPlatform::taskbar_created_message() { return RegisterWindowMessageW(L"TaskbarCreated"); }

std::unique_ptr<MessageWindow> Win32TrayPlatform::create_message_window(WindowFilter proc) {
  return std::make_unique<IconWindow>(std::move(proc));
}

std::shared_ptr<const IconImage> Win32TrayPlatform::load_icon(std::string_view resource, int size) {
  HANDLE h = LoadImageW(GetModuleHandleW(nullptr), platform::win32::widen(resource).c_str(), IMAGE_ICON, size, size,
                        LR_DEFAULTCOLOR);
  if (!h) return nullptr;
  return std::make_shared<Win32Icon>(static_cast<HICON>(h));
}

std::uintptr_t Win32TrayPlatform::application_window() { return reinterpret_cast<std::uintptr_t>(impl_->application); }

void Win32TrayPlatform::set_application_title(std::string_view title) {
  if (impl_->application) SetWindowTextW(impl_->application, platform::win32::widen(title).c_str());
}

std::unique_ptr<WindowSubclass> Win32TrayPlatform::subclass_application_window(WindowFilter filter) {
  return std::make_unique<ApplicationSubclass>(*impl_, impl_->filters.add(std::move(filter)));
}

void Win32TrayPlatform::place_form(ui::Form& form, const FormPlacement& placement) {
  HWND hwnd = reinterpret_cast<HWND>(form.handle());
  if (!hwnd) return;
  // Owned by the application window, a form has no taskbar button of its own.
  if (impl_->application) SetWindowLongPtrW(hwnd, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(impl_->application));
  SetWindowLongPtrW(hwnd, GWL_EXSTYLE, GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & ~static_cast<LONG_PTR>(WS_EX_APPWINDOW));
  if (placement.no_system_menu)
    SetWindowLongPtrW(hwnd, GWL_STYLE, GetWindowLongPtrW(hwnd, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_SYSMENU));
  SetWindowPos(
      hwnd, placement.stay_on_top ? HWND_TOPMOST : nullptr, 0, 0, 0, 0,
      SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_FRAMECHANGED | (placement.stay_on_top ? 0 : SWP_NOZORDER));
}

void Win32TrayPlatform::show_window(std::uintptr_t window, ShowCommand command) {
  // Shown without taking the focus: the window has nothing to offer the
  // user, whose window keeps the keyboard.
  ShowWindow(hwnd_of(window), command == ShowCommand::hide ? SW_HIDE : SW_SHOWNA);
}

std::uint32_t Win32TrayPlatform::ex_style(std::uintptr_t window) {
  return static_cast<std::uint32_t>(GetWindowLongPtrW(hwnd_of(window), GWL_EXSTYLE));
}

void Win32TrayPlatform::set_ex_style(std::uintptr_t window, std::uint32_t style) {
  HWND hwnd = hwnd_of(window);
  SetWindowLongPtrW(hwnd, GWL_EXSTYLE, static_cast<LONG_PTR>(style));
  // The system keeps "topmost" only when the window is moved into (or out
  // of) the topmost band.
  const bool topmost = (style & WS_EX_TOPMOST) != 0;
  if (((GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0) != topmost)
    SetWindowPos(hwnd, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Win32TrayPlatform::set_foreground(std::uintptr_t window) { SetForegroundWindow(hwnd_of(window)); }

void Win32TrayPlatform::post_message(std::uintptr_t window, std::uint32_t message, std::uintptr_t wparam,
                                     std::intptr_t lparam) {
  PostMessageW(hwnd_of(window), message, static_cast<WPARAM>(wparam), static_cast<LPARAM>(lparam));
}

std::optional<ui::Point> Win32TrayPlatform::cursor_pos() {
  POINT p{};
  if (!GetCursorPos(&p)) return std::nullopt;
  return ui::Point{p.x, p.y};
}

ShiftState Win32TrayPlatform::key_state() {
  ShiftState s = 0;
  if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
  return s;
}

void Win32TrayPlatform::set_current_directory(std::string_view path) {
  if (!SetCurrentDirectoryW(platform::win32::widen(path).c_str()))
    throw platform::FileError(platform::FileErrorKind::io, "I/O error " + std::to_string(GetLastError()));
}

}  // namespace brevaro::tray::win32
