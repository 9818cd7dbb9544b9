// The UI framework without windows, for host tests. Windows are records,
// input is queued as messages that go through the application's message hook
// like real ones, and the loop runs on the virtual clock: advance(ms) moves
// time on and fires every timer that falls due, in order, in microseconds of
// real time. Message boxes are answered from a script and written to a
// transcript.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "ui/backend.h"

namespace brevaro::ui {
class Form;
class Control;
class Button;
}  // namespace brevaro::ui

namespace brevaro::ui::headless {

struct BoxRecord {
  std::string caption;
  std::string text;
  MsgBoxButtons buttons;
  MsgBoxIcon icon;
  MsgBoxResult answer;
  std::uint64_t at_ms;  // virtual time when it opened
};

class HeadlessBackend final : public Backend {
 public:
  HeadlessBackend(platform::headless::VirtualClock& clock, platform::headless::FakeScreen& screen);
  ~HeadlessBackend() override;

  // ---- Backend
  void run(Application& app) override;
  void process_messages(Application& app) override;
  void quit() override {
    if (!quit_) quit_at_ = now();
    quit_ = true;
  }
  // The virtual time at which the loop was last told to end.
  std::uint64_t quit_at() const { return quit_at_; }
  // A test that starts the program again after it ended: a new process has
  // a new message loop.
  void new_process() { quit_ = false; }
  bool quitting() const override { return quit_; }
  void post(std::function<void()> fn) override { posted_.push_back(std::move(fn)); }
  std::unique_ptr<TimerPeer> create_timer(std::function<void()> on_tick) override;
  // The folder's file names are compared with those of the last look each
  // time the loop runs dry, as the system signals a change; inside a message
  // box only a timer looks, every kModalFolderLookMs, as on the system.
  std::unique_ptr<FolderWatchPeer> watch_folder(const platform::FileSystem& fs, std::string_view folder,
                                                std::function<void()> on_change) override;
  std::unique_ptr<WindowPeer> create_window(WinControl& control, WindowKind kind) override;
  std::unique_ptr<BrowserPeer> create_browser(WebBrowser& control) override;
  MsgBoxResult message_box(Application& app, std::string_view text, std::string_view caption, MsgBoxButtons buttons,
                           MsgBoxIcon icon) override;
  void modal_loop(Application& app, const std::function<bool()>& done) override;
  Point cursor_pos() const override;
  bool client_area_animation() const override { return show_animations; }
  bool load_cursor(int number, std::string_view resource_name) override;

  // ---- test control
  // Moves virtual time on by `ms`, handling messages and firing timers as
  // they fall due.
  void advance(Application& app, std::uint64_t ms);
  std::uint64_t now() const { return clock_.ticks_ms(); }
  // run() gives up after this much virtual time (a program that never ends).
  std::uint64_t run_limit_ms = 24ull * 3600 * 1000;

  // Answers for the next message boxes, in order; each keeps its box open
  // for `after_ms` of virtual time (timers tick meanwhile).
  void answer_next_box(MsgBoxResult answer, std::uint64_t after_ms = 0) { answers_.push_back({answer, after_ms}); }
  const std::vector<BoxRecord>& boxes() const { return boxes_; }
  std::size_t unexpected_boxes() const { return unexpected_boxes_; }

  // Queues input as the platform would deliver it.
  void post_message(const Message& m) { queue_.push_back(m); }
  void mouse(WinControl& window, std::uint32_t message, Point client);
  // Presses and releases the left (or right) button over a control.
  void click(Control& control, MouseButton button = MouseButton::left);
  void press(Control& control, MouseButton button = MouseButton::left);
  void release(Control& control, MouseButton button = MouseButton::left);
  void key(WinControl& window, std::uint32_t message, std::uint32_t virtual_key);

  // The top-level windows that are visible, as a user would see them.
  std::vector<Form*> visible_forms() const;
  WinControl* window(std::uintptr_t handle) const;
  std::map<int, std::string> cursors;  // number -> resource name
  // The "show animations" setting the system reports.
  bool show_animations = true;

  // Active timers (for tests that check there is one tick source).
  std::size_t active_timer_count() const;
  // Timer ticks fired so far (for tests of what an idle program does).
  std::uint64_t ticks_fired() const { return ticks_fired_; }
  // Folder watches: how many there are, and whether a test makes the
  // system refuse new ones (a folder that cannot be watched).
  std::size_t folder_watch_count() const { return watches.size(); }
  bool refuse_folder_watches = false;

  // Peers report here.
  void window_shown(WinControl& control);
  void forget_window(std::uintptr_t handle);
  struct TimerRec {
    std::function<void()> tick;
    std::uint32_t interval = 0;
    std::uint64_t due = 0;
    bool running = false;
  };
  std::map<int, TimerRec> timers;
  struct WatchRec {
    const platform::FileSystem* fs = nullptr;
    std::string folder;
    std::vector<std::string> names;  // as the last look found them
    std::function<void()> on_change;
  };
  std::map<int, WatchRec> watches;

 private:
  bool fire_one_due_timer();
  // Calls the handler of each watch whose folder changed since its last
  // look; true when one was called.
  bool look_at_folders(Application& app);
  std::uint64_t next_due() const;

  platform::headless::VirtualClock& clock_;
  platform::headless::FakeScreen& screen_;
  std::deque<Message> queue_;
  std::deque<std::function<void()>> posted_;
  std::map<std::uintptr_t, WinControl*> windows_;
  std::uintptr_t next_handle_ = 0x1000;
  int next_timer_ = 1;
  int next_watch_ = 1;
  std::uint64_t ticks_fired_ = 0;
  std::uint64_t quit_at_ = 0;
  int system_modal_ = 0;  // message boxes open
  bool quit_ = false;
  struct Answer {
    MsgBoxResult answer;
    std::uint64_t after_ms;
  };
  std::deque<Answer> answers_;
  std::vector<BoxRecord> boxes_;
  std::size_t unexpected_boxes_ = 0;
};

// Draws a form's windowless controls into a picture (text is not rasterised;
// it is listed in `texts`).
class RasterCanvas final : public Canvas {
 public:
  explicit RasterCanvas(Size size, Color background);
  void fill_rect(Rect r, Color c) override;
  void frame_rect(Rect r, Color c) override;
  void draw_bitmap(Point at, const Bitmap& bitmap) override;
  void draw_masked_bitmap(Point at, const Bitmap& bitmap, std::span<const std::uint8_t> transparent) override;
  void draw_text(Rect r, std::string_view text, const Font& font, Align align, bool word_wrap) override;
  Bitmap picture;
  std::vector<std::string> texts;
};

Bitmap render(WinControl& window);
// The window's region as the program last set it, if any.
std::optional<std::vector<Rect>> window_region(WinControl& window);

}  // namespace brevaro::ui::headless
