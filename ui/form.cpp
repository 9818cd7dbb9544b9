#include "ui/form.h"

#include "ui/application.h"

namespace brevaro::ui {

Form::Form(Component* owner, std::string_view name, std::string_view caption, Size client_size, BorderStyle border,
           FormPosition position)
    : WinControl(owner, name, nullptr, Rect{0, 0, client_size.width, client_size.height}, WindowKind::form),
      border_(border),
      position_(position) {
  create_peer();
  set_visible(false);
  set_text(caption);
}

Form::~Form() {
  free_all_components();
  if (!destroying_app()) application().form_destroyed(*this);
}

bool Form::destroying_app() const {
  const Component* c = this;
  while (c->owner()) c = c->owner();
  return c->destroying();
}

void Form::finish_create() {
  notify_loaded();
  if (on_create_) application().guarded([&] { on_create_(*this); });
}

void Form::show() {
  Application& app = application();
  if (!shown_once_) {
    shown_once_ = true;
    if (on_show_) app.guarded([&] { on_show_(*this); });
    if (position_ == FormPosition::screen_center) {
      const Size s = app.ports().screen.size();
      const Rect r = bounds();
      set_position(s.width / 2 - r.width / 2, s.height / 2 - r.height / 2);
    }
  }
  set_visible(true);
}

void Form::hide() { set_visible(false); }

void Form::activated() {
  if (on_activate_) application().guarded([&] { on_activate_(*this); });
}

void Form::close() {
  if (closing_) return;
  Application& app = application();
  const bool is_main = app.main_form() == this;
  CloseAction action = is_main ? CloseAction::free : CloseAction::hide;
  closing_ = true;
  if (on_close_) app.guarded([&] { on_close_(*this, action); });
  closing_ = false;
  if (action == CloseAction::none) return;
  if (modal_result_ == 0) modal_result_ = 2;  // a closed modal form ends its loop
  hide();
  if (is_main) app.terminate();
}

int Form::show_modal() {
  Application& app = application();
  modal_result_ = 0;
  show();
  app.backend().modal_loop(app, [&] { return modal_result_ != 0 || app.terminated(); });
  hide();
  return modal_result_;
}

bool Form::dispatch(const Message& m) {
  if (m.message == msg::close) {
    close();
    return true;
  }
  return WinControl::dispatch(m);
}

}  // namespace brevaro::ui
