#include "ui/controls.h"

#include <algorithm>

namespace brevaro::ui {

// ---- Label ---------------------------------------------------------------------

Label::Label(Component* owner, std::string_view name, WinControl* parent, Rect bounds, std::string_view caption)
    : Control(owner, name, parent, bounds), caption_(caption) {}

void Label::set_caption(std::string_view c) {
  caption_ = c;
  invalidate();
}

void Label::paint(Canvas& canvas) {
  if (!transparent_) canvas.fill_rect(bounds(), color);
  if (!caption_.empty()) canvas.draw_text(bounds(), caption_, font_, align_, word_wrap_);
}

// ---- Image ---------------------------------------------------------------------

Image::Image(Component* owner, std::string_view name, WinControl* parent, Rect bounds)
    : Control(owner, name, parent, bounds) {}

void Image::set_picture(Bitmap b) {
  picture_ = std::move(b);
  if (auto_size_ && picture_.width > 0 && picture_.height > 0)
    set_bounds(Rect{bounds().left, bounds().top, picture_.width, picture_.height});
  invalidate();
}

void Image::paint(Canvas& canvas) {
  if (picture_.width > 0) canvas.draw_bitmap(Point{bounds().left, bounds().top}, picture_);
}

// ---- Bevel ---------------------------------------------------------------------

Bevel::Bevel(Component* owner, std::string_view name, WinControl* parent, Rect bounds)
    : Control(owner, name, parent, bounds) {}

void Bevel::paint(Canvas& canvas) {
  const Rect r = bounds();
  canvas.frame_rect(r, rgb(128, 128, 128));
  canvas.frame_rect(Rect{r.left + 1, r.top + 1, r.width - 2, r.height - 2}, kWhite);
}

// ---- Button, CheckBox ------------------------------------------------------------

Button::Button(Component* owner, std::string_view name, WinControl* parent, Rect bounds, std::string_view caption)
    : WinControl(owner, name, parent, bounds, WindowKind::button) {
  set_text(caption);
}

CheckBox::CheckBox(Component* owner, std::string_view name, WinControl* parent, Rect bounds, std::string_view caption)
    : WinControl(owner, name, parent, bounds, WindowKind::check_box) {
  set_text(caption);
}

bool CheckBox::checked() { return peer().checked(); }
void CheckBox::set_checked(bool c) { peer().set_checked(c); }

void CheckBox::click() { WinControl::click(); }

// ---- Memo ----------------------------------------------------------------------

Memo::Memo(Component* owner, std::string_view name, WinControl* parent, Rect bounds)
    : WinControl(owner, name, parent, bounds, WindowKind::memo) {}

void Memo::set_lines(std::vector<std::string> lines) {
  lines_ = std::move(lines);
  sync();
}

void Memo::add_line(std::string_view line) {
  lines_.emplace_back(line);
  sync();
}

void Memo::clear() {
  lines_.clear();
  sync();
}

void Memo::sync() {
  std::string all;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (i) all += "\r\n";
    all += lines_[i];
  }
  set_text(all);
}

// ---- Panel ---------------------------------------------------------------------

Panel::Panel(Component* owner, std::string_view name, WinControl* parent, Rect bounds)
    : WinControl(owner, name, parent, bounds, WindowKind::panel) {}

// ---- PageControl ---------------------------------------------------------------

PageControl::PageControl(Component* owner, std::string_view name, WinControl* parent, Rect bounds)
    : WinControl(owner, name, parent, bounds, WindowKind::page_control) {}

TabSheet& PageControl::add_page(std::string_view name) {
  Component* form_owner = owner() ? owner() : this;
  TabSheet& sheet = form_owner->make<TabSheet>(name, this);
  pages_.push_back(&sheet);
  if (!active_) set_active_page(sheet);
  else sheet.set_visible(false);
  return sheet;
}

void PageControl::set_active_page(TabSheet& page) {
  active_ = &page;
  for (TabSheet* p : pages_) p->set_visible(p == &page);
}

int PageControl::active_page_index() const {
  const auto it = std::find(pages_.begin(), pages_.end(), active_);
  return it == pages_.end() ? -1 : static_cast<int>(it - pages_.begin());
}

TabSheet::TabSheet(Component* owner, std::string_view name, PageControl* parent)
    : WinControl(owner, name, parent, Rect{0, 0, parent->bounds().width, parent->bounds().height},
                 WindowKind::tab_sheet) {}

}  // namespace brevaro::ui
