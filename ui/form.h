// Forms: top-level windows with create, show, activate and close events.
#pragma once

#include <functional>
#include <string>

#include "ui/control.h"

namespace brevaro::ui {

enum class BorderStyle { none, single, sizeable, dialog };
enum class FormPosition { designed, screen_center };
enum class CloseAction { none, hide, free, minimize };

class Form : public WinControl {
 public:
  Form(Component* owner, std::string_view name, std::string_view caption, Size client_size,
       BorderStyle border = BorderStyle::single, FormPosition position = FormPosition::designed);
  ~Form() override;

  const std::string& caption() const noexcept { return text(); }
  void set_caption(std::string_view c) { set_text(c); }
  BorderStyle border_style() const noexcept { return border_; }
  FormPosition position_kind() const noexcept { return position_; }
  bool double_buffered() const noexcept { return double_buffered_; }
  void set_double_buffered(bool d) { double_buffered_ = d; }
  Color color() const noexcept { return color_; }
  void set_color(Color c) { color_ = c; }
  Color background() const override { return color_; }

  int left() { return bounds().left; }
  int top() { return bounds().top; }
  int width() { return bounds().width; }
  int height() { return bounds().height; }
  void set_left(int x) { set_position(x, top()); }
  void set_top(int y) { set_position(left(), y); }

  void show();
  void hide();
  // Asks the form to close: the close handler may refuse (action none).
  void close();
  int show_modal();
  void set_modal_result(int r) { modal_result_ = r; }
  int modal_result() const noexcept { return modal_result_; }
  bool shown_once() const noexcept { return shown_once_; }

  using Handler = std::function<void(Form& sender)>;
  using CloseHandler = std::function<void(Form& sender, CloseAction& action)>;
  void set_on_create(Handler h) { on_create_ = std::move(h); }
  void set_on_show(Handler h) { on_show_ = std::move(h); }
  void set_on_activate(Handler h) { on_activate_ = std::move(h); }
  void set_on_close(CloseHandler h) { on_close_ = std::move(h); }

  // Backends call these.
  void activated();
  bool dispatch(const Message& m) override;

 protected:
  // Subclasses call this at the end of their constructor, once all
  // components are in place: the components' loaded step, then OnCreate.
  void finish_create();

 private:
  bool destroying_app() const;
  BorderStyle border_;
  FormPosition position_;
  bool double_buffered_ = false;
  Color color_ = kButtonFace;
  bool shown_once_ = false;
  bool closing_ = false;
  int modal_result_ = 0;
  Handler on_create_, on_show_, on_activate_;
  CloseHandler on_close_;
};

}  // namespace brevaro::ui
