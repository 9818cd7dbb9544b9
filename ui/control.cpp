#include "ui/control.h"

#include <algorithm>
#include <exception>

#include "ui/application.h"

namespace brevaro::ui {

// ---- Control -------------------------------------------------------------------

Control::Control(Component* owner, std::string_view name, WinControl* parent, Rect bounds)
    : Component(owner, name), bounds_(bounds), parent_(parent) {
  if (parent_) parent_->add_child(*this);
}

Control::~Control() {
  if (parent_) parent_->remove_child(*this);
}

void Control::set_bounds(Rect r) {
  if (r == bounds_) return;
  const Rect old = bounds_;
  bounds_ = r;
  if (parent_ && windowless() && parent_->has_peer()) {
    (void)old;
    parent_->invalidate();
  }
}

void Control::set_visible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  if (parent_ && windowless()) parent_->invalidate();
}

void Control::set_enabled(bool e) { enabled_ = e; }

void Control::invalidate() {
  if (parent_) parent_->invalidate();
}

void Control::mouse_down(MouseButton b, Point p) {
  if (on_mouse_down_) application().guarded([&] { on_mouse_down_(*this, b, p); });
}

void Control::mouse_up(MouseButton b, Point p) {
  if (on_mouse_up_) application().guarded([&] { on_mouse_up_(*this, b, p); });
}

void Control::mouse_move(Point p) {
  if (on_mouse_move_) application().guarded([&] { on_mouse_move_(*this, p); });
}

void Control::click() {
  if (on_click_) application().guarded([&] { on_click_(*this); });
}

// ---- WinControl ----------------------------------------------------------------

WinControl::WinControl(Component* owner, std::string_view name, WinControl* parent, Rect bounds, WindowKind kind)
    : Control(owner, name, parent, bounds), kind_(kind) {
  // A form creates its window at the end of its own constructor, once its
  // border style and position are known.
  if (kind != WindowKind::form) create_peer();
}

WinControl::~WinControl() {
  // Child controls point back at this window: let them go while it is whole.
  free_all_components();
  peer_.reset();
}

void WinControl::create_peer() {
  if (!peer_) peer_ = application().backend().create_window(*this, kind_);
}

WindowPeer& WinControl::peer() {
  create_peer();
  return *peer_;
}

Rect WinControl::bounds() const { return peer_ ? peer_->bounds() : bounds_; }

void WinControl::set_bounds(Rect r) {
  bounds_ = r;
  if (peer_) peer_->set_bounds(r);
}

void WinControl::set_visible(bool v) {
  Control::set_visible(v);
  if (peer_) peer_->set_visible(v);
}

void WinControl::set_enabled(bool e) {
  Control::set_enabled(e);
  if (peer_) peer_->set_enabled(e);
}

void WinControl::invalidate() {
  if (peer_) peer_->invalidate();
}

Size WinControl::client_size() { return peer().client_size(); }

void WinControl::set_text(std::string_view t) {
  text_ = t;
  if (peer_) peer_->set_text(t);
}

int WinControl::add_window_hook(WindowHook hook) { return hooks_.add(std::move(hook)); }

void WinControl::remove_window_hook(int id) { hooks_.remove(id); }

std::intptr_t WinControl::run_window_hooks(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam,
                                           const std::function<std::intptr_t()>& own_handling) {
  // Nothing may leave a window procedure: an error is shown like any
  // handler's, and the message still reaches the window once.
  return hooks_.run(message, wparam, lparam, own_handling,
                    [this](const std::exception& e) { application().show_exception(e); });
}

std::intptr_t WinControl::send_message(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
  return peer().send(message, wparam, lparam);
}

void WinControl::set_window_region(const std::vector<Rect>* rects, bool redraw) {
  peer().set_window_region(rects, redraw);
}

void WinControl::add_child(Control& c) { children_.push_back(&c); }

void WinControl::remove_child(Control& c) {
  children_.erase(std::remove(children_.begin(), children_.end(), &c), children_.end());
  if (captured_ == &c) captured_ = nullptr;
}

Control* WinControl::windowless_child_at(Point p) const {
  for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
    Control* c = *it;
    if (c->windowless() && c->visible() && c->enabled() && c->bounds().contains(p)) return c;
  }
  return nullptr;
}

Cursor WinControl::cursor_at(Point p) const {
  if (const Control* c = windowless_child_at(p)) return c->cursor();
  return cursor();
}

namespace {

MouseButton button_of(std::uint32_t id) {
  switch (id) {
    case msg::rbutton_down:
    case msg::rbutton_up: return MouseButton::right;
    case msg::mbutton_down:
    case msg::mbutton_up: return MouseButton::middle;
    default: return MouseButton::left;
  }
}

}  // namespace

bool WinControl::dispatch(const Message& m) {
  switch (m.message) {
    case msg::lbutton_down:
    case msg::rbutton_down:
    case msg::mbutton_down:
    case msg::lbutton_dblclk:
      route_button_down(point_from_lparam(m.lparam),
                        button_of(m.message == msg::lbutton_dblclk ? msg::lbutton_down : m.message));
      return true;
    case msg::lbutton_up:
    case msg::rbutton_up:
    case msg::mbutton_up: route_button_up(point_from_lparam(m.lparam), button_of(m.message)); return true;
    case msg::mouse_move: route_mouse_move(point_from_lparam(m.lparam)); return true;
    default: return false;
  }
}

void WinControl::route_button_down(Point p, MouseButton b) {
  Control* target = windowless_child_at(p);
  if (!target) {
    mouse_down(b, p);
    return;
  }
  // The control keeps the mouse until the button is released, so a drag
  // that leaves it still reaches it.
  captured_ = target;
  if (has_peer()) peer_->set_capture(true);
  const Rect r = target->bounds();
  target->mouse_down(b, Point{p.x - r.left, p.y - r.top});
}

void WinControl::route_button_up(Point p, MouseButton b) {
  Control* target = captured_ ? captured_ : windowless_child_at(p);
  if (captured_) {
    captured_ = nullptr;
    if (has_peer()) peer_->set_capture(false);
  }
  if (!target) {
    mouse_up(b, p);
    if (b == MouseButton::left) click();
    return;
  }
  const Rect r = target->bounds();
  const Point local{p.x - r.left, p.y - r.top};
  const bool inside = Rect{0, 0, r.width, r.height}.contains(local);
  target->mouse_up(b, local);
  if (inside && b == MouseButton::left) target->click();
}

void WinControl::route_mouse_move(Point p) {
  Control* target = captured_ ? captured_ : windowless_child_at(p);
  if (!target) {
    mouse_move(p);
    return;
  }
  const Rect r = target->bounds();
  target->mouse_move(Point{p.x - r.left, p.y - r.top});
}

void WinControl::paint_children(Canvas& canvas) {
  for (Control* c : children_)
    if (c->windowless() && c->visible()) c->paint(canvas);
}

}  // namespace brevaro::ui
