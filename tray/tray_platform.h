// What the tray components need of the system beyond the framework's ports:
// the shell's notification area, hidden message windows, the application
// window (the hidden top-level window that stands for the program on the
// taskbar), icons, the cursor and keys, foreground and posted messages. One
// object per program; the win32 implementation is the product, the headless
// one records and plays the system for tests.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/hook_chain.h"
#include "base/winapi_numbers.h"
#include "ui/types.h"

namespace brevaro::ui {
class Form;
}

namespace brevaro::tray {

// The shell's notification record, field by field.
inline constexpr std::uint32_t kTrayCallbackMessage = 0x0800;
inline constexpr std::size_t kTipSize = 64;  // bytes, with the terminating zero

struct NotifyIconRecord {
  std::uintptr_t window = 0;  // the message window that hears the icon's callbacks
  std::uint32_t id = 1;
  std::uint32_t flags = winapi::nif_message | winapi::nif_icon | winapi::nif_tip;
  std::uint32_t callback_message = kTrayCallbackMessage;
  std::uintptr_t icon = 0;
  std::array<char, kTipSize> tip{};
  std::string_view tip_text() const { return std::string_view(tip.data()); }
};

enum class NotifyAction { add = 0, modify = 1, remove = 2 };

// Window messages the components use.
namespace wm = winapi::msg;

// Shift state: keys held and the button of the event.
enum ShiftFlag : std::uint32_t { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32 };
using ShiftState = std::uint32_t;

// A window procedure in front of another one (or of the system's default
// handling): message, wparam, lparam, and `pass_on`, which runs the one
// behind it and returns its result. Several in front of one window follow
// the rules of base::HookChain.
using WindowFilters = base::HookChain<std::intptr_t, std::uint32_t, std::uintptr_t, std::intptr_t>;
using WindowFilter = WindowFilters::Hook;

// A hidden window whose messages go to one procedure; destroyed with the object.
class MessageWindow {
 public:
  virtual ~MessageWindow() = default;
  virtual std::uintptr_t handle() const = 0;
};

// An icon picture; freed with the object.
class IconImage {
 public:
  virtual ~IconImage() = default;
  virtual std::uintptr_t handle() const = 0;
};

// Replaces a window's procedure while it lives and restores the saved one
// when it goes.
class WindowSubclass {
 public:
  virtual ~WindowSubclass() = default;
};

enum class ShowCommand { hide = 0, show = 5 };

// How a form sits among the program's windows.
struct FormPlacement {
  bool stay_on_top = false;
  bool no_system_menu = false;  // a dialog frame without border icons
};

// What TIconHide remembers once per program: the application window's
// extended style when the program started, and whether it is hidden now.
struct IconHideState {
  std::uint32_t original_ex_style = 0;
  bool hidden = false;
};

class TrayPlatform {
 public:
  virtual ~TrayPlatform() = default;

  // Shell_NotifyIcon; true when the shell took the call.
  virtual bool notify_icon(NotifyAction action, const NotifyIconRecord& record) = 0;
  // The message the shell broadcasts when the taskbar has been re-created.
  virtual std::uint32_t taskbar_created_message() = 0;
  // A hidden top-level window (it hears the shell's broadcasts); messages
  // the procedure passes on get the system's default handling.
  virtual std::unique_ptr<MessageWindow> create_message_window(WindowFilter proc) = 0;
  // The program's icon resource at the given size, or nothing when it cannot be loaded.
  virtual std::shared_ptr<const IconImage> load_icon(std::string_view resource, int size) = 0;

  // The application window.
  virtual std::uintptr_t application_window() = 0;
  virtual void set_application_title(std::string_view title) = 0;
  virtual std::unique_ptr<WindowSubclass> subclass_application_window(WindowFilter filter) = 0;
  // A form is owned by the application window (it has no taskbar button of its own).
  virtual void place_form(ui::Form& form, const FormPlacement& placement) = 0;

  virtual void show_window(std::uintptr_t window, ShowCommand command) = 0;
  virtual std::uint32_t ex_style(std::uintptr_t window) = 0;
  virtual void set_ex_style(std::uintptr_t window, std::uint32_t style) = 0;
  virtual void set_foreground(std::uintptr_t window) = 0;
  virtual void post_message(std::uintptr_t window, std::uint32_t message, std::uintptr_t wparam,
                            std::intptr_t lparam) = 0;

  // The cursor in screen coordinates, when it can be read.
  virtual std::optional<ui::Point> cursor_pos() = 0;
  // Shift, Alt and Ctrl as they are held now.
  virtual ShiftState key_state() = 0;

  // Makes a folder the process's current directory; FileError when it cannot.
  virtual void set_current_directory(std::string_view path) = 0;

  IconHideState& icon_hide_state() noexcept { return icon_hide_; }

 protected:
  IconHideState icon_hide_;
};

}  // namespace brevaro::tray
