// The controls the program's forms use.
#pragma once

#include <string>
#include <vector>

#include "ui/control.h"

namespace brevaro::ui {

// A windowless text, optionally transparent: over a picture it serves as an
// invisible hot spot with a cursor and a hint.
class Label final : public Control {
 public:
  Label(Component* owner, std::string_view name, WinControl* parent, Rect bounds, std::string_view caption = {});
  const std::string& caption() const noexcept { return caption_; }
  void set_caption(std::string_view c);
  bool transparent() const noexcept { return transparent_; }
  void set_transparent(bool t) { transparent_ = t; }
  Font& font() noexcept { return font_; }
  void set_alignment(Canvas::Align a) { align_ = a; }
  void set_word_wrap(bool w) { word_wrap_ = w; }
  Color color = kButtonFace;
  void paint(Canvas& canvas) override;

 private:
  std::string caption_;
  bool transparent_ = false;
  bool word_wrap_ = false;
  Canvas::Align align_ = Canvas::Align::left;
  Font font_;
};

// A windowless picture.
class Image final : public Control {
 public:
  Image(Component* owner, std::string_view name, WinControl* parent, Rect bounds);
  const Bitmap& picture() const noexcept { return picture_; }
  // With auto-size the control takes the picture's size.
  void set_picture(Bitmap b);
  void set_auto_size(bool a) { auto_size_ = a; }
  void paint(Canvas& canvas) override;

 private:
  Bitmap picture_;
  bool auto_size_ = false;
};

class Bevel final : public Control {
 public:
  Bevel(Component* owner, std::string_view name, WinControl* parent, Rect bounds);
  void paint(Canvas& canvas) override;
};

class Button final : public WinControl {
 public:
  Button(Component* owner, std::string_view name, WinControl* parent, Rect bounds, std::string_view caption);
  const std::string& caption() const noexcept { return text(); }
};

class CheckBox final : public WinControl {
 public:
  CheckBox(Component* owner, std::string_view name, WinControl* parent, Rect bounds, std::string_view caption);
  bool checked();
  void set_checked(bool c);
  void click() override;
};

// A multi-line text; read-only ones show text the program sets.
class Memo final : public WinControl {
 public:
  Memo(Component* owner, std::string_view name, WinControl* parent, Rect bounds);
  const std::vector<std::string>& lines() const noexcept { return lines_; }
  void set_lines(std::vector<std::string> lines);
  void add_line(std::string_view line);
  void clear();
  bool read_only = true;

 private:
  void sync();
  std::vector<std::string> lines_;
};

class Panel final : public WinControl {
 public:
  Panel(Component* owner, std::string_view name, WinControl* parent, Rect bounds);
  Color color = kButtonFace;
  Color background() const override { return color; }
};

class TabSheet;

// Pages shown one at a time, without tabs (the program steps between them).
class PageControl final : public WinControl {
 public:
  PageControl(Component* owner, std::string_view name, WinControl* parent, Rect bounds);
  TabSheet& add_page(std::string_view name);
  std::size_t page_count() const noexcept { return pages_.size(); }
  TabSheet& page(std::size_t i) const { return *pages_[i]; }
  TabSheet* active_page() const noexcept { return active_; }
  void set_active_page(TabSheet& page);
  int active_page_index() const;

 private:
  std::vector<TabSheet*> pages_;
  TabSheet* active_ = nullptr;
};

class TabSheet final : public WinControl {
 public:
  TabSheet(Component* owner, std::string_view name, PageControl* parent);
};

}  // namespace brevaro::ui
