// What the UI framework needs of a windowing system. The win32 backend puts
// real windows on the screen; the headless backend keeps them as records and
// runs the loop on virtual time for tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ui/types.h"

namespace brevaro::platform {
class FileSystem;
}

namespace brevaro::ui {

class Application;
class WinControl;
class WebBrowser;
class BrowserPeer;

// Drawing on a window's client area (or an off-screen picture of it).
class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual void fill_rect(Rect r, Color c) = 0;
  virtual void frame_rect(Rect r, Color c) = 0;
  virtual void draw_bitmap(Point at, const Bitmap& bitmap) = 0;
  // Draws `bitmap` except where `transparent` (one byte per pixel, same size
  // and order, non-zero = transparent) is set: the destination shows through
  // there. This fallback draws the opaque runs one row piece at a time.
  virtual void draw_masked_bitmap(Point at, const Bitmap& bitmap, std::span<const std::uint8_t> transparent) {
    const auto w = static_cast<std::size_t>(bitmap.width);
    if (bitmap.width <= 0 || bitmap.height <= 0 || transparent.size() < w * static_cast<std::size_t>(bitmap.height))
      return;
    for (int y = 0; y < bitmap.height; ++y) {
      const std::size_t row = static_cast<std::size_t>(y) * w;
      std::size_t x = 0;
      while (x < w) {
        while (x < w && transparent[row + x] != 0) ++x;
        const std::size_t start = x;
        while (x < w && transparent[row + x] == 0) ++x;
        if (x == start) continue;
        Bitmap run;
        run.width = static_cast<int>(x - start);
        run.height = 1;
        run.pixels.assign(bitmap.pixels.begin() + static_cast<std::ptrdiff_t>(row + start),
                          bitmap.pixels.begin() + static_cast<std::ptrdiff_t>(row + x));
        draw_bitmap(Point{at.x + static_cast<int>(start), at.y + y}, run);
      }
    }
  }
  enum class Align { left, center, right };
  virtual void draw_text(Rect r, std::string_view text, const Font& font, Align align, bool word_wrap) = 0;
};

// The native side of a windowed control.
class WindowPeer {
 public:
  virtual ~WindowPeer() = default;
  virtual std::uintptr_t handle() const = 0;
  // Forms: the window's outer rectangle on the screen. Child controls: their
  // rectangle in the parent's client coordinates.
  virtual void set_bounds(Rect r) = 0;
  virtual Rect bounds() const = 0;
  virtual Size client_size() const = 0;
  virtual void set_visible(bool visible) = 0;
  virtual void set_enabled(bool enabled) = 0;
  virtual void set_text(std::string_view text) = 0;
  virtual std::string text() const = 0;
  virtual void invalidate() = 0;
  // Repaints only this part of the client area (by default: all of it).
  virtual void invalidate_rect(Rect) { invalidate(); }
  // Paints what is invalid now instead of at the next turn of the loop
  // (windowless controls that animate draw their frames at once this way).
  virtual void update() {}
  virtual Point screen_to_client(Point p) const = 0;
  virtual Point client_to_screen(Point p) const = 0;
  virtual void set_capture(bool capture) = 0;
  // Sends a message to the window and returns its result (synchronously).
  virtual std::intptr_t send(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) = 0;
  // Cuts the window to these rectangles (window coordinates); none: the
  // whole window again.
  virtual void set_window_region(const std::vector<Rect>* rects, bool redraw) = 0;
  // Check boxes.
  virtual void set_checked(bool) {}
  virtual bool checked() const { return false; }
};

// A repeating timer of the GUI thread.
class TimerPeer {
 public:
  virtual ~TimerPeer() = default;
  // (Re)starts the countdown with this interval; the tick callback given at
  // creation runs every `interval_ms` from now on.
  virtual void start(std::uint32_t interval_ms) = 0;
  virtual void stop() = 0;
};

// A watch on one folder's file names; the watch ends with its peer.
class FolderWatchPeer {
 public:
  virtual ~FolderWatchPeer() = default;
};

// How often changes are looked for while a modal loop of the system (a
// message box, a menu) holds the thread: such loops do not wait for the
// folder's change signal, so a timer looks for it meanwhile.
inline constexpr std::uint32_t kModalFolderLookMs = 100;

enum class WindowKind { form, button, check_box, memo, panel, page_control, tab_sheet, host };

class Backend {
 public:
  virtual ~Backend() = default;

  // Runs the message loop until quit() is called.
  virtual void run(Application& app) = 0;
  // Handles every message that is waiting, then returns.
  virtual void process_messages(Application& app) = 0;
  // Sleeps until a message arrives, a watched folder changes (its handler
  // then runs) or `max_ms` pass: for handlers that wait for something else
  // (a transfer) between calls of process_messages. False when the backend
  // cannot wait this way; the caller then sleeps as it would otherwise.
  virtual bool wait_for_event(std::uint32_t /*max_ms*/) { return false; }
  virtual void quit() = 0;
  virtual bool quitting() const = 0;
  // Runs `fn` later on the GUI thread, from the message loop.
  virtual void post(std::function<void()> fn) = 0;

  virtual std::unique_ptr<TimerPeer> create_timer(std::function<void()> on_tick) = 0;
  // Calls `on_change` from the message loop after a file in `folder` (with
  // or without its trailing backslash; not its subfolders) is created,
  // deleted or renamed. The program's own loops wait for the change signal
  // with the messages, so an idle program costs nothing; while a modal loop
  // of the system runs, the backend looks every kModalFolderLookMs. `fs` is
  // the file system the folder belongs to. Null when the folder cannot be
  // watched: the caller then looks by itself.
  virtual std::unique_ptr<FolderWatchPeer> watch_folder(const platform::FileSystem& fs, std::string_view folder,
                                                        std::function<void()> on_change) = 0;
  // The caller is about to run a modal loop of the system (a popup menu):
  // the watched folders are looked at every kModalFolderLookMs until the
  // program's own loop runs again. Message boxes need no such call.
  virtual void system_modal_loop_ahead() {}
  virtual std::unique_ptr<WindowPeer> create_window(WinControl& control, WindowKind kind) = 0;
  // The browser side of a web-browser control (its window exists already).
  virtual std::unique_ptr<BrowserPeer> create_browser(WebBrowser& control) = 0;

  // A modal message box, centred on the screen, with the application's
  // message hook applied to the messages of its modal loop.
  virtual MsgBoxResult message_box(Application& app, std::string_view text, std::string_view caption,
                                   MsgBoxButtons buttons, MsgBoxIcon icon) = 0;
  // Runs a modal loop until `done()` is true.
  virtual void modal_loop(Application& app, const std::function<bool()>& done) = 0;

  virtual Point cursor_pos() const = 0;
  // The system's "show animations" setting: false when the user asked for
  // still pictures (controls then show their first frame only).
  virtual bool client_area_animation() const { return true; }
  // Registers the program's own cursor under a number (its bytes are a
  // resource name for the win32 backend).
  virtual bool load_cursor(int number, std::string_view resource_name) = 0;
};

}  // namespace brevaro::ui
