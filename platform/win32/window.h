// The one window primitive of the programs' Win32 parts (forms and controls,
// the tray's windows, the menu's owner, the media's utility windows):
// - a class is registered once, on its first use, with the shared procedure;
// - the object that handles a window's messages is bound at creation
//   (CREATESTRUCT::lpCreateParams at WM_NCCREATE, kept in GWLP_USERDATA), so
//   it sees every message from the first one on; a system control (BUTTON,
//   EDIT) is bound by subclassing it instead;
// - one exception barrier: an exception that leaves a handler is caught at
//   the procedure's boundary and handed to the application's handler (see
//   set_exception_handler); nothing passes through the system's code;
// - the window is owned by its handle type (UniqueWindow) and destroyed with
//   its Window, or released when the system destroyed it first (a child goes
//   with its parent);
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <functional>

#include "platform/win32/handles.h"

namespace brevaro::platform::win32 {

class Window;

// The object a window's messages go to.
class WindowHandler {
 public:
  // Handles one message; what it does not handle goes to
  // window.default_handling(...).
  virtual LRESULT on_message(Window& window, UINT message, WPARAM wp, LPARAM lp) = 0;

 protected:
  virtual ~WindowHandler() = default;
};

// One of the program's own window classes.
struct WindowClass {
  const wchar_t* name = nullptr;
  UINT style = 0;
  HICON icon = nullptr;
};

struct WindowPlacement {
  DWORD ex_style = 0;
  DWORD style = 0;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  HWND parent = nullptr;  // HWND_MESSAGE for a message-only window
};

class Window {
 public:
  // A window of one of the program's classes (registered here on first use),
  // its messages going to `handler` from WM_NCCREATE on. Throws when the
  // system refuses the window.
  Window(const WindowClass& cls, const WindowPlacement& placement, WindowHandler& handler);
  // A window of a system class (BUTTON, EDIT), subclassed so that its
  // messages go to `handler` first; default_handling is the class's own.
  Window(const wchar_t* system_class, const WindowPlacement& placement, WindowHandler& handler);
  // Unbinds the handler, gives a subclassed control its own procedure back,
  // then destroys the window (unless the system destroyed it already).
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // The window's handle: known to the handler from the first message on
  // (before the constructor returns), null once the window is gone.
  HWND get() const noexcept { return hwnd_; }
  // The system's handling of a message: DefWindowProcW, or a subclassed
  // control's own procedure.
  LRESULT default_handling(UINT message, WPARAM wp, LPARAM lp);
  // The handler bound to a window of ours, or null.
  static WindowHandler* handler_of(HWND hwnd) noexcept;

 private:
  static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wp, LPARAM lp);
  LRESULT dispatch(HWND hwnd, UINT message, WPARAM wp, LPARAM lp);

  WindowHandler& handler_;
  HWND hwnd_ = nullptr;  // known from WM_NCCREATE on, before CreateWindowEx returns
  WNDPROC original_ = nullptr;
  UniqueWindow window_;
};

// The application's handler of exceptions that reach a window procedure (or
// a hook chain) of this thread; the UI backend installs it. Without one the
// exception is dropped: it must not pass through the system.
using ExceptionHandler = std::function<void(std::exception_ptr)>;
void set_exception_handler(ExceptionHandler handler);
// Hands an exception to that handler (never throws).
void report_exception(std::exception_ptr e) noexcept;

}  // namespace brevaro::platform::win32
