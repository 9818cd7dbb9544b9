#include "platform/win32/window.h"

#include <stdexcept>
#include <string>
#include <utility>

namespace brevaro::platform::win32 {

namespace {

// The application's handler for this GUI thread: the one place the window
// procedures, which have no context of their own, find it.
thread_local ExceptionHandler t_exception_handler;

HINSTANCE instance() { return GetModuleHandleW(nullptr); }

// Registers the class with the shared procedure the first time it is used;
// registering it again fails harmlessly (ERROR_CLASS_ALREADY_EXISTS).
void register_once(const WindowClass& cls, WNDPROC proc) {
  WNDCLASSW existing{};
  if (GetClassInfoW(instance(), cls.name, &existing)) return;
  WNDCLASSW wc{};
  wc.style = cls.style;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance();
  wc.hIcon = cls.icon;
  wc.lpszClassName = cls.name;
  RegisterClassW(&wc);
}

[[noreturn]] void creation_failed() {
  throw std::runtime_error("Error creating window (" + std::to_string(GetLastError()) + ")");
}

Window* window_of(HWND hwnd) { return reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

}  // namespace

void set_exception_handler(ExceptionHandler handler) { t_exception_handler = std::move(handler); }

void report_exception(std::exception_ptr e) noexcept {
  if (!t_exception_handler || !e) return;
  try {
    t_exception_handler(e);
  } catch (...) {
  }
}

Window::Window(const WindowClass& cls, const WindowPlacement& p, WindowHandler& handler) : handler_(handler) {
  register_once(cls, &Window::procedure);
  window_.reset(CreateWindowExW(p.ex_style, cls.name, L"", p.style, p.x, p.y, p.width, p.height, p.parent, nullptr,
                                instance(), this));
  if (!window_) {
    hwnd_ = nullptr;
    creation_failed();
  }
}

Window::Window(const wchar_t* system_class, const WindowPlacement& p, WindowHandler& handler) : handler_(handler) {
  window_.reset(CreateWindowExW(p.ex_style, system_class, L"", p.style, p.x, p.y, p.width, p.height, p.parent, nullptr,
                                instance(), nullptr));
  if (!window_) creation_failed();
  hwnd_ = window_.get();
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  // A wide subclass: default_handling passes messages on with CallWindowProcW.
  original_ =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Window::procedure)));
}

Window::~Window() {
  if (!window_) return;
  // The handler is going: the window's last messages get the default
  // handling, and a subclassed control its own procedure, so that its
  // WM_DESTROY and WM_NCDESTROY free what it keeps.
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  if (original_) SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
}

LRESULT Window::default_handling(UINT message, WPARAM wp, LPARAM lp) {
  return original_ ? CallWindowProcW(original_, hwnd_, message, wp, lp) : DefWindowProcW(hwnd_, message, wp, lp);
}

WindowHandler* Window::handler_of(HWND hwnd) noexcept {
  Window* w = hwnd ? window_of(hwnd) : nullptr;
  return w ? &w->handler_ : nullptr;
}

LRESULT CALLBACK Window::procedure(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
  if (message == WM_NCCREATE && lp) {
    auto* self = static_cast<Window*>(reinterpret_cast<const CREATESTRUCTW*>(lp)->lpCreateParams);
    if (self) {
      self->hwnd_ = hwnd;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
  }
  Window* self = window_of(hwnd);
  if (!self) return DefWindowProcW(hwnd, message, wp, lp);
  if (message != WM_NCDESTROY) return self->dispatch(hwnd, message, wp, lp);
  // The window's last message: the handle is the system's to free now.
  const LRESULT r = self->dispatch(hwnd, message, wp, lp);
  if (window_of(hwnd) == self) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    (void)self->window_.release();
    self->hwnd_ = nullptr;
  }
  return r;
}

LRESULT Window::dispatch(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
  // A handler may free this Window (and destroy its window) while it runs:
  // nothing of it is touched after the handler returns.
  const WNDPROC original = original_;
  // The exception barrier of every window of ours.
  try {
    return handler_.on_message(*this, message, wp, lp);
  } catch (...) {
    report_exception(std::current_exception());
    // A subclassed control still needs its own handling of the message.
    if (original) return CallWindowProcW(original, hwnd, message, wp, lp);
    return 0;
  }
}

}  // namespace brevaro::platform::win32
