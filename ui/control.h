// Controls: components with a place on a parent. Windowless (graphic)
// controls are drawn by their parent and receive the mouse through it;
// windowed controls have a native window of their own.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/hook_chain.h"
#include "ui/backend.h"
#include "ui/component.h"
#include "ui/types.h"

namespace brevaro::ui {

class WinControl;

class Control : public Component {
 public:
  Control(Component* owner, std::string_view name, WinControl* parent, Rect bounds);
  ~Control() override;

  WinControl* parent() const noexcept { return parent_; }
  virtual bool windowless() const noexcept { return true; }

  virtual Rect bounds() const { return bounds_; }
  virtual void set_bounds(Rect r);
  void set_position(int left, int top) { set_bounds(Rect{left, top, bounds().width, bounds().height}); }
  bool visible() const noexcept { return visible_; }
  virtual void set_visible(bool v);
  bool enabled() const noexcept { return enabled_; }
  virtual void set_enabled(bool e);
  Cursor cursor() const noexcept { return cursor_; }
  void set_cursor(Cursor c) { cursor_ = c; }
  const std::string& hint() const noexcept { return hint_; }
  void set_hint(std::string_view h) { hint_ = h; }
  bool show_hint() const noexcept { return show_hint_; }
  void set_show_hint(bool s) { show_hint_ = s; }
  // Repaints the control's area.
  virtual void invalidate();

  using MouseHandler = std::function<void(Control& sender, MouseButton button, Point pos)>;
  using MoveHandler = std::function<void(Control& sender, Point pos)>;
  using NotifyHandler = std::function<void(Control& sender)>;
  void set_on_mouse_down(MouseHandler h) { on_mouse_down_ = std::move(h); }
  void set_on_mouse_up(MouseHandler h) { on_mouse_up_ = std::move(h); }
  void set_on_mouse_move(MoveHandler h) { on_mouse_move_ = std::move(h); }
  void set_on_click(NotifyHandler h) { on_click_ = std::move(h); }

  // Input as the parent routes it (client coordinates of this control).
  virtual void mouse_down(MouseButton b, Point p);
  virtual void mouse_up(MouseButton b, Point p);
  virtual void mouse_move(Point p);
  virtual void click();

  // Windowless controls draw themselves on their parent's canvas, in the
  // parent's client coordinates.
  virtual void paint(Canvas&) {}

 protected:
  Rect bounds_;

 private:
  WinControl* parent_;
  bool visible_ = true;
  bool enabled_ = true;
  Cursor cursor_ = Cursor::arrow;
  std::string hint_;
  bool show_hint_ = false;
  MouseHandler on_mouse_down_, on_mouse_up_;
  MoveHandler on_mouse_move_;
  NotifyHandler on_click_;
};

// A control with a native window. It keeps the list of its child controls
// (the owner keeps their lifetime) and routes the mouse to windowless ones.
class WinControl : public Control {
 public:
  WinControl(Component* owner, std::string_view name, WinControl* parent, Rect bounds, WindowKind kind);
  ~WinControl() override;

  bool windowless() const noexcept override { return false; }
  WindowKind kind() const noexcept { return kind_; }
  WindowPeer& peer();
  bool has_peer() const noexcept { return static_cast<bool>(peer_); }
  std::uintptr_t handle() { return peer().handle(); }

  Rect bounds() const override;
  void set_bounds(Rect r) override;
  void set_visible(bool v) override;
  void set_enabled(bool e) override;
  void invalidate() override;
  Size client_size();
  const std::string& text() const noexcept { return text_; }
  void set_text(std::string_view t);

  const std::vector<Control*>& children() const noexcept { return children_; }
  void add_child(Control& c);
  void remove_child(Control& c);
  // The topmost visible windowless child at a client point, if any.
  Control* windowless_child_at(Point p) const;

  // Window hooks see every message of the window before its own handling,
  // with the rules of base::HookChain (the newest hook first; `pass_on` runs
  // the next hook, or the window's own handling, once and returns its result;
  // an exception from a hook is shown like any handler's).
  using WindowHooks = base::HookChain<std::intptr_t, std::uint32_t, std::uintptr_t, std::intptr_t>;
  using WindowHook = WindowHooks::Hook;
  int add_window_hook(WindowHook hook);
  void remove_window_hook(int id);
  bool has_window_hooks() const noexcept { return !hooks_.empty(); }
  std::intptr_t run_window_hooks(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam,
                                 const std::function<std::intptr_t()>& own_handling);
  std::intptr_t send_message(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);
  void set_window_region(const std::vector<Rect>* rects, bool redraw);

  // Handles a message for this window (both backends route here); true when
  // it was handled.
  virtual bool dispatch(const Message& m);
  // Draws the windowless children (the backend calls this while painting).
  virtual void paint_children(Canvas& canvas);
  virtual Color background() const { return kButtonFace; }
  // The cursor to show at a client point.
  Cursor cursor_at(Point p) const;

 protected:
  void create_peer();

 private:
  // The mouse messages, to the windowless child under the pointer (or the
  // one holding the capture) or to this control itself.
  void route_button_down(Point p, MouseButton b);
  void route_button_up(Point p, MouseButton b);
  void route_mouse_move(Point p);

  WindowKind kind_;
  std::unique_ptr<WindowPeer> peer_;
  std::vector<Control*> children_;
  Control* captured_ = nullptr;
  std::string text_;
  WindowHooks hooks_;
};

}  // namespace brevaro::ui
