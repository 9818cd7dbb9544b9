// The owner-drawn popup menu of the tray program: items with a caption, a
// small bitmap and a click action, drawn over a tiled background beside a
// vertical title strip, the default item in bold. The components hold the
// menu as the form sets it up; a MenuView shows it (the system's popup menu
// on Windows, a recording stand-in in tests) and says which entry was chosen.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/weak_ref.h"
#include "ui/component.h"
#include "ui/types.h"

namespace brevaro::menu {

// Drawing options of the menu.
enum MenuOption : std::uint32_t {
  mfNoBitmapRect = 1u << 0,  // no frame around the bitmap of the highlighted item
  mfNoTitle = 1u << 1,       // no title strip
  mfNoTile = 1u << 2,        // plain background instead of the tile picture
};

// One line of the popup as it is shown: only visible items take part.
struct PopupEntry {
  std::string caption;
  ui::Bitmap bitmap;  // empty: no bitmap
  bool separator = false;
  bool is_default = false;
  bool enabled = true;
};

// How the popup looks: the menu component's properties, handed to the view
// with the entries.
struct PopupStyle {
  std::string title;  // drawn upwards in the title strip; empty: only the title picture
  int title_width = 27;
  ui::Font title_font{"Arial", -19, ui::kWhite, false};
  ui::Font font{"Tahoma", -11, ui::kBlack, false};
  int left_margin = 25;
  int right_margin = 10;
  std::uint32_t options = 0;
  ui::Bitmap tile;           // background, repeated; empty: a plain colour
  ui::Bitmap title_picture;  // title strip background, bottom-aligned; empty: a plain colour
};

// Everything the view needs to draw the popup.
struct PopupModel : PopupStyle {
  std::vector<PopupEntry> entries;
};

class MenuView {
 public:
  virtual ~MenuView() = default;
  // Shows the popup with its top-left corner at a screen point and returns
  // the index of the entry the user chose, or nothing when the menu was
  // dismissed.
  virtual std::optional<std::size_t> track(const PopupModel& model, ui::Point at) = 0;
  // Closes the popup that `track` shows now, as if the user had dismissed it.
  virtual void cancel() = 0;
};

class TMenuItem2000 final : public ui::Component {
 public:
  TMenuItem2000(ui::Component* owner, std::string_view name, std::string_view caption);

  const std::string& caption() const noexcept { return caption_; }
  void set_caption(std::string_view c) { caption_ = c; }
  // A caption of "-" makes the item a separator line.
  bool is_separator() const noexcept { return caption_ == "-"; }
  bool visible() const noexcept { return visible_; }
  void set_visible(bool v) noexcept { visible_ = v; }
  bool enabled() const noexcept { return enabled_; }
  void set_enabled(bool e) noexcept { enabled_ = e; }
  bool is_default() const noexcept { return default_; }
  void set_default(bool d) noexcept { default_ = d; }
  const ui::Bitmap& bitmap() const noexcept { return bitmap_; }
  void set_bitmap(ui::Bitmap b) { bitmap_ = std::move(b); }

  using Handler = std::function<void(TMenuItem2000& sender)>;
  void set_on_click(Handler h) { on_click_ = std::move(h); }
  bool has_click_action() const noexcept { return static_cast<bool>(on_click_); }
  // Runs the item's click action (nothing for disabled items); an exception
  // from it reaches the standard error box.
  void click();

 private:
  std::string caption_;
  bool visible_ = true;
  bool enabled_ = true;
  bool default_ = false;
  ui::Bitmap bitmap_;
  Handler on_click_;
};

class TPopupMenu2000 final : public ui::Component, public PopupStyle {
 public:
  TPopupMenu2000(ui::Component* owner, std::string_view name, MenuView& view);

  // Items are owned by the menu and kept in the order they were added.
  TMenuItem2000& add_item(std::string_view name, std::string_view caption);
  const std::vector<TMenuItem2000*>& items() const noexcept { return items_; }
  // The first item, in menu order, that is marked default.
  TMenuItem2000* default_item() const;

  bool auto_popup = true;
  bool show_hints = true;

  // The component that popped the menu up last (the tray icon).
  ui::Component* popup_component() const noexcept { return popup_component_; }
  void set_popup_component(ui::Component* c) noexcept { popup_component_ = c; }

  using Handler = std::function<void(TPopupMenu2000& sender)>;
  void set_on_popup(Handler h) { on_popup_ = std::move(h); }

  // What the view is given: the visible items, in order.
  PopupModel model() const;
  // Runs OnPopup, then shows the menu at the screen point. The chosen item's
  // click action runs from the message loop once the menu has closed, as a
  // command from the menu would. An OnPopup that fails shows its error and
  // the menu stays shut.
  void popup(ui::Point at);
  bool is_open() const noexcept { return open_; }
  // Closes the menu while it is open (the program is ending): nothing is chosen.
  void close_popup();

  // A reference that expires when the menu is freed.
  base::WeakRef<TPopupMenu2000> weak() { return anchor_.ref(this); }

 private:
  MenuView& view_;
  std::vector<TMenuItem2000*> items_;
  ui::Component* popup_component_ = nullptr;
  bool open_ = false;
  Handler on_popup_;
  base::WeakAnchor anchor_;
};

// Sizes of the popup at a screen resolution (96 dots per inch is 100 %).
struct MenuLayout {
  int title_width = 0;  // the strip at the left edge
  int bitmap_size = 0;  // bitmaps are square
  int bitmap_left = 0;  // inside the left margin, centred
  int text_left = 0;
  int right_margin = 0;
  int item_height = 0;
  int separator_height = 0;
  int title_font_height = 0;  // negative, like Font::height
  int font_height = 0;

  int scale(int v) const;
  int dpi = 96;
  int entry_height(const PopupEntry& e) const { return e.separator ? separator_height : item_height; }
  // The width an item needs for a caption of this many pixels.
  int item_width(int text_width) const { return text_left + text_width + right_margin; }
  // The top of each entry and the total height.
  std::vector<int> tops(const PopupModel& model) const;
  int height(const PopupModel& model) const;
};

MenuLayout layout_menu(const PopupModel& model, int dpi);

// Paints one entry's background into a picture of the entry's size: the
// title strip's slice (the title picture stands on the menu's bottom edge),
// the tile (aligned with the menu's corner), the highlight and the bitmap
// (the colour of its bottom-left pixel shows the background through) or the
// separator line. `top` is the entry's top in the menu, `menu_height` the
// menu's total height. Text is left to the view.
ui::Bitmap paint_entry(const PopupModel& model, const MenuLayout& layout, std::size_t index, int top, int width,
                       int menu_height, bool selected);

// Colours of the drawing (0x00RRGGBB, as in pictures).
inline constexpr std::uint32_t kMenuBackground = 0xF3F6FA;
inline constexpr std::uint32_t kTitleBackground = 0x1F3F73;
inline constexpr std::uint32_t kHighlightFill = 0xC9DCF5;
inline constexpr std::uint32_t kHighlightFrame = 0x3D6AAE;
inline constexpr std::uint32_t kSeparatorDark = 0xA9B6C8;
inline constexpr std::uint32_t kSeparatorLight = 0xFFFFFF;

}  // namespace brevaro::menu
