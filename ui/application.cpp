#include "ui/application.h"

#include "ui/form.h"

namespace brevaro::ui {

Application::Application(Backend& backend, platform::Ports ports)
    : Component(nullptr, "Application"), backend_(backend), ports_(ports) {}

Application::~Application() {
  on_message_ = nullptr;
  free_all_components();
}

void Application::register_form(Form& form) {
  if (!main_form_) main_form_ = &form;
}

void Application::form_destroyed(Form& form) {
  if (main_form_ == &form) main_form_ = nullptr;
  if (active_form_ == &form) active_form_ = nullptr;
}

void Application::run() {
  if (!main_form_ || terminated_) return;
  if (!main_form_->visible() || !main_form_->shown_once()) main_form_->show();
  if (terminated_) return;
  backend_.run(*this);
}

void Application::process_messages() { backend_.process_messages(*this); }

void Application::terminate() {
  terminated_ = true;
  backend_.quit();
}

bool Application::filter_message(Message& message) {
  if (!on_message_) return false;
  bool handled = false;
  try {
    on_message_(message, handled);
  } catch (const std::exception& e) {
    show_exception(e);
  }
  return handled;
}

void Application::guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    show_exception(e);
  } catch (...) {
    show_exception(std::runtime_error("Unknown error"));
  }
}

void Application::show_exception(const std::exception& e) {
  std::string text = e.what();
  if (!text.empty() && text.back() != '.') text += '.';
  errors_.push_back(text);
  backend_.message_box(*this, text, title_, MsgBoxButtons::ok, MsgBoxIcon::error);
}

MsgBoxResult Application::message_box(std::string_view text, std::string_view caption, MsgBoxButtons buttons,
                                      MsgBoxIcon icon) {
  return backend_.message_box(*this, text, caption, buttons, icon);
}

void Application::form_activated(Form& form) {
  if (active_form_ == &form) return;
  active_form_ = &form;
  form.activated();
}

}  // namespace brevaro::ui
