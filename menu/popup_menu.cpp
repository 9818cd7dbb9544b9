#include "menu/popup_menu.h"

#include <algorithm>
#include <cstdlib>

#include "ui/application.h"

namespace brevaro::menu {

// ---- items ---------------------------------------------------------------------

TMenuItem2000::TMenuItem2000(ui::Component* owner, std::string_view name, std::string_view caption)
    : ui::Component(owner, name), caption_(caption) {}

void TMenuItem2000::click() {
  if (!enabled_ || !on_click_) return;
  application().guarded([&] { on_click_(*this); });
}

// ---- the menu ------------------------------------------------------------------

TPopupMenu2000::TPopupMenu2000(ui::Component* owner, std::string_view name, MenuView& view)
    : ui::Component(owner, name), view_(view) {}

TMenuItem2000& TPopupMenu2000::add_item(std::string_view name, std::string_view caption) {
  TMenuItem2000& item = make<TMenuItem2000>(name, caption);
  items_.push_back(&item);
  return item;
}

TMenuItem2000* TPopupMenu2000::default_item() const {
  const auto it = std::find_if(items_.begin(), items_.end(), [](const TMenuItem2000* i) { return i->is_default(); });
  return it == items_.end() ? nullptr : *it;
}

PopupModel TPopupMenu2000::model() const {
  PopupModel m;
  for (const TMenuItem2000* item : items_) {
    if (!item->visible()) continue;
    m.entries.push_back(PopupEntry{item->is_separator() ? std::string() : item->caption(),
                                   item->is_separator() ? ui::Bitmap{} : item->bitmap(), item->is_separator(),
                                   item->is_default(), item->enabled()});
  }
  static_cast<PopupStyle&>(m) = *this;
  return m;
}

void TPopupMenu2000::popup(ui::Point at) {
  ui::Application& app = application();
  bool ready = false;
  app.guarded([&] {
    if (on_popup_) on_popup_(*this);
    ready = true;
  });
  if (!ready) return;

  std::vector<TMenuItem2000*> shown;
  for (TMenuItem2000* item : items_)
    if (item->visible()) shown.push_back(item);
  open_ = true;
  const std::optional<std::size_t> chosen = view_.track(model(), at);
  open_ = false;
  if (!chosen || *chosen >= shown.size()) return;
  TMenuItem2000* item = shown[*chosen];
  if (item->is_separator()) return;
  // The menu's items live as long as the menu.
  app.backend().post([item, menu = anchor_.ref(this)] {
    if (menu.alive()) item->click();
  });
}

void TPopupMenu2000::close_popup() {
  if (open_) view_.cancel();
}

// ---- layout --------------------------------------------------------------------

int MenuLayout::scale(int v) const {
  const int sign = v < 0 ? -1 : 1;
  return sign * ((std::abs(v) * dpi + 48) / 96);
}

std::vector<int> MenuLayout::tops(const PopupModel& model) const {
  std::vector<int> out;
  int y = 0;
  for (const PopupEntry& e : model.entries) {
    out.push_back(y);
    y += entry_height(e);
  }
  return out;
}

int MenuLayout::height(const PopupModel& model) const {
  int y = 0;
  for (const PopupEntry& e : model.entries) y += entry_height(e);
  return y;
}

MenuLayout layout_menu(const PopupModel& model, int dpi) {
  MenuLayout l;
  l.dpi = dpi > 0 ? dpi : 96;
  l.title_width = (model.options & mfNoTitle) ? 0 : l.scale(std::max(model.title_width, 0));
  l.bitmap_size = l.scale(16);
  const int margin = std::max(l.scale(std::max(model.left_margin, 0)), l.bitmap_size);
  l.bitmap_left = l.title_width + (margin - l.bitmap_size) / 2;
  l.text_left = l.title_width + margin + l.scale(4);
  l.right_margin = l.scale(std::max(model.right_margin, 0));
  l.font_height = l.scale(model.font.height);
  l.title_font_height = l.scale(model.title_font.height);
  l.item_height = std::max(l.bitmap_size + l.scale(6), std::abs(l.font_height) + l.scale(10));
  l.separator_height = l.scale(9);
  return l;
}

// ---- painting ------------------------------------------------------------------

namespace {

class Canvas32 {
 public:
  Canvas32(int w, int h, std::uint32_t fill) {
    pic.width = std::max(w, 0);
    pic.height = std::max(h, 0);
    pic.pixels.assign(static_cast<std::size_t>(pic.width) * static_cast<std::size_t>(pic.height), fill);
  }
  void set(int x, int y, std::uint32_t c) {
    if (x < 0 || y < 0 || x >= pic.width || y >= pic.height) return;
    pic.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(pic.width) + static_cast<std::size_t>(x)] = c;
  }
  void fill(int x0, int y0, int x1, int y1, std::uint32_t c) {
    for (int y = std::max(y0, 0); y < std::min(y1, pic.height); ++y)
      for (int x = std::max(x0, 0); x < std::min(x1, pic.width); ++x) set(x, y, c);
  }
  void frame(int x0, int y0, int x1, int y1, std::uint32_t c) {
    fill(x0, y0, x1, y0 + 1, c);
    fill(x0, y1 - 1, x1, y1, c);
    fill(x0, y0, x0 + 1, y1, c);
    fill(x1 - 1, y0, x1, y1, c);
  }
  ui::Bitmap pic;
};

bool usable(const ui::Bitmap& b) {
  return b.width > 0 && b.height > 0 &&
         b.pixels.size() >= static_cast<std::size_t>(b.width) * static_cast<std::size_t>(b.height);
}

std::uint32_t greyed(std::uint32_t c) {
  const std::uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
  const std::uint32_t luma = (r * 30 + g * 59 + b * 11) / 100;
  const std::uint32_t v = 128 + luma / 2;  // lighter, so that it reads as unavailable
  return (v << 16) | (v << 8) | v;
}

}  // namespace

ui::Bitmap paint_entry(const PopupModel& model, const MenuLayout& l, std::size_t index, int top, int width,
                       int menu_height, bool selected) {
  if (index >= model.entries.size()) return {};
  const PopupEntry& e = model.entries[index];
  const int h = l.entry_height(e);
  Canvas32 c(width, h, kMenuBackground);

  // The background: the tile, aligned with the menu's corner, so the entries
  // join without seams.
  if (usable(model.tile) && !(model.options & mfNoTile)) {
    for (int y = 0; y < h; ++y)
      for (int x = l.title_width; x < width; ++x) {
        const int sx = (x * 96 / l.dpi) % model.tile.width;
        const int sy = ((top + y) * 96 / l.dpi) % model.tile.height;
        c.set(x, y, model.tile.at(sx, sy));
      }
  }

  // The title strip's slice: the picture stands on the menu's bottom edge;
  // above it, its top row continues.
  if (l.title_width > 0) {
    if (usable(model.title_picture)) {
      const ui::Bitmap& p = model.title_picture;
      const int pic_h = std::max(1, p.height * l.title_width / p.width);
      for (int y = 0; y < h; ++y) {
        const int py = top + y - (menu_height - pic_h);
        const int sy = py < 0 ? 0 : std::min(p.height - 1, py * p.height / pic_h);
        for (int x = 0; x < l.title_width; ++x)
          c.set(x, y, p.at(std::min(p.width - 1, x * p.width / l.title_width), sy));
      }
    } else {
      c.fill(0, 0, l.title_width, h, kTitleBackground);
    }
  }

  if (e.separator) {
    const int mid = h / 2;
    c.fill(l.title_width + l.scale(4), mid - 1 + (h % 2), width - l.scale(4), mid + (h % 2), kSeparatorDark);
    c.fill(l.title_width + l.scale(4), mid + (h % 2), width - l.scale(4), mid + 1 + (h % 2), kSeparatorLight);
    return std::move(c.pic);
  }

  if (selected && e.enabled) {
    c.fill(l.title_width + 2, 1, width - 2, h - 1, kHighlightFill);
    c.frame(l.title_width + 2, 1, width - 2, h - 1, kHighlightFrame);
  }

  if (usable(e.bitmap)) {
    const ui::Bitmap& b = e.bitmap;
    const int size = l.bitmap_size;
    const int bx = l.bitmap_left, by = (h - size) / 2;
    const std::uint32_t key = b.at(0, b.height - 1);
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) {
        const std::uint32_t px =
            b.at(std::min(b.width - 1, x * b.width / size), std::min(b.height - 1, y * b.height / size));
        if (px == key) continue;
        c.set(bx + x, by + y, e.enabled ? px : greyed(px));
      }
    if (selected && e.enabled && !(model.options & mfNoBitmapRect))
      c.frame(bx - 2, by - 2, bx + size + 2, by + size + 2, kHighlightFrame);
  }
  return std::move(c.pic);
}

}  // namespace brevaro::menu
