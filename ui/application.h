// The application object: title, the message loop, the application-wide
// message hook, the forms, and the standard error box for an exception that
// leaves an event handler.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system.h"
#include "ui/backend.h"
#include "ui/component.h"

namespace brevaro::ui {

class Form;

class Application final : public Component {
 public:
  Application(Backend& backend, platform::Ports ports);
  ~Application() override;

  Backend& backend() const noexcept { return backend_; }
  const platform::Ports& ports() const noexcept { return ports_; }

  const std::string& title() const noexcept { return title_; }
  void set_title(std::string_view title) { title_ = title; }

  // Creates a form owned by the application. The first form created is the
  // main form: closing it ends the program.
  template <class F, class... Args>
  F& create_form(Args&&... args) {
    F& form = make<F>(std::forward<Args>(args)...);
    register_form(form);
    return form;
  }
  Form* main_form() const noexcept { return main_form_; }
  Form* active_form() const noexcept { return active_form_; }

  // Shows the main form (when there is one) and runs the message loop until
  // the program ends. Without a form it returns at once.
  void run();
  // Lets every waiting message be handled, then returns.
  void process_messages();
  // Ends the message loop.
  void terminate();
  bool terminated() const noexcept { return terminated_; }

  // The application-wide message hook: sees every message taken from the
  // queue (also inside modal loops and message boxes) before it is
  // dispatched; it may change the message or set `handled`.
  using MessageHook = std::function<void(Message& message, bool& handled)>;
  void set_on_message(MessageHook hook) { on_message_ = std::move(hook); }
  bool has_message_hook() const noexcept { return static_cast<bool>(on_message_); }
  // Called by the backends for each message; true when it must not be
  // dispatched.
  bool filter_message(Message& message);

  // Runs an event handler: an exception that leaves it is shown in the
  // standard error box and ends only that handler.
  void guarded(const std::function<void()>& handler);
  void show_exception(const std::exception& e);
  // The text of the last error box shown (for the transcript of tests).
  const std::vector<std::string>& errors_shown() const noexcept { return errors_; }

  MsgBoxResult message_box(std::string_view text, std::string_view caption, MsgBoxButtons buttons, MsgBoxIcon icon);

  // Forms report their activation here; the form becomes the active form.
  void form_activated(Form& form);
  void form_destroyed(Form& form);

 private:
  void register_form(Form& form);

  Backend& backend_;
  platform::Ports ports_;
  std::string title_;
  Form* main_form_ = nullptr;
  Form* active_form_ = nullptr;
  MessageHook on_message_;
  bool terminated_ = false;
  std::vector<std::string> errors_;
};

}  // namespace brevaro::ui
