#include <gtest/gtest.h>

#include "menu/popup_menu.h"

namespace brevaro::menu {
namespace {

ui::Bitmap solid(int w, int h, std::uint32_t c) {
  return ui::Bitmap{w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w * h), c)};
}

PopupModel tray_like_model() {
  PopupModel m;
  ui::Bitmap icon = solid(16, 16, 0xF0F0F0);  // the bottom-left colour is the transparent one
  for (int y = 4; y < 12; ++y)
    for (int x = 4; x < 12; ++x) icon.pixels[static_cast<std::size_t>(y * 16 + x)] = 0x0000FF;
  m.entries = {{"Activate", icon, false, true, true}, {"", {}, true, false, true}, {"Exit", icon, false, false, true}};
  m.options = mfNoBitmapRect;
  m.tile = solid(4, 4, 0xEEEEEE);
  m.tile.pixels[0] = 0x111111;
  m.title_picture = solid(27, 40, 0x203040);
  for (int x = 0; x < 27; ++x) m.title_picture.pixels[static_cast<std::size_t>(39 * 27 + x)] = 0xABCDEF;  // bottom row
  return m;
}

TEST(MenuLayout, ScalesWithTheScreen) {
  const PopupModel m = tray_like_model();
  struct Case {
    int dpi, title, bitmap, bitmap_left, text_left, item, separator, font;
  };
  for (const Case& c : {Case{96, 27, 16, 31, 56, 22, 9, -11}, Case{192, 54, 32, 63, 112, 44, 18, -22}}) {
    const MenuLayout l = layout_menu(m, c.dpi);
    EXPECT_EQ(l.title_width, c.title) << c.dpi;
    EXPECT_EQ(l.bitmap_size, c.bitmap) << c.dpi;
    EXPECT_EQ(l.bitmap_left, c.bitmap_left) << c.dpi;
    EXPECT_EQ(l.text_left, c.text_left) << c.dpi;
    EXPECT_EQ(l.item_height, c.item) << c.dpi;
    EXPECT_EQ(l.separator_height, c.separator) << c.dpi;
    EXPECT_EQ(l.font_height, c.font) << c.dpi;
    EXPECT_EQ(l.title_font_height, -19 * c.dpi / 96) << c.dpi;
    EXPECT_EQ(l.tops(m), (std::vector<int>{0, c.item, c.item + c.separator}));
    EXPECT_EQ(l.height(m), 2 * c.item + c.separator);
  }
}

TEST(MenuPaint, EntriesShowStripTileBitmapAndHighlight) {
  const PopupModel m = tray_like_model();
  for (int dpi : {96, 192}) {
    const MenuLayout l = layout_menu(m, dpi);
    const int width = l.item_width(60), height = l.height(m);
    const std::vector<int> tops = l.tops(m);
    const ui::Bitmap first = paint_entry(m, l, 0, tops[0], width, height, false);
    const ui::Bitmap last = paint_entry(m, l, 2, tops[2], width, height, true);
    ASSERT_EQ(first.width, width);
    ASSERT_EQ(last.height, l.item_height);
    // The title picture stands on the menu's bottom edge; above it its top row goes on.
    EXPECT_EQ(last.at(0, last.height - 1), 0xABCDEFu) << dpi;
    EXPECT_EQ(first.at(l.title_width - 1, 0), 0x203040u) << dpi;
    // The tile starts at the menu's corner, right of the strip.
    EXPECT_EQ(first.at(l.title_width + 1, 1), 0xEEEEEEu) << dpi;
    const int tile_px = 4 * dpi / 96;
    EXPECT_EQ(first.at(tile_px * ((l.title_width + tile_px) / tile_px), 0), 0x111111u) << dpi;
    // The bitmap: its transparent colour shows the tile, the rest is drawn, scaled.
    const int by = (l.item_height - l.bitmap_size) / 2;
    EXPECT_EQ(first.at(l.bitmap_left + l.bitmap_size / 2, by + l.bitmap_size / 2), 0x0000FFu) << dpi;
    EXPECT_NE(first.at(l.bitmap_left + 1, by + 1), 0xF0F0F0u) << dpi;
    // The highlighted entry: filled and framed; no frame around its bitmap (mfNoBitmapRect).
    EXPECT_EQ(last.at(l.title_width + 2, 1), kHighlightFrame) << dpi;
    EXPECT_EQ(last.at(l.text_left + 5, l.item_height / 2), kHighlightFill) << dpi;
    EXPECT_EQ(last.at(l.bitmap_left + l.bitmap_size + 1, by + l.bitmap_size / 2), kHighlightFill) << dpi;
  }
}

TEST(MenuPaint, SeparatorIsAnEtchedLineAndBitmapRectWithoutTheOption) {
  PopupModel m = tray_like_model();
  m.options = 0;
  const MenuLayout l = layout_menu(m, 96);
  const int width = l.item_width(60), height = l.height(m);
  const ui::Bitmap sep = paint_entry(m, l, 1, l.tops(m)[1], width, height, false);
  ASSERT_EQ(sep.height, 9);
  EXPECT_EQ(sep.at(width / 2, 4), kSeparatorDark);
  EXPECT_EQ(sep.at(width / 2, 5), kSeparatorLight);
  EXPECT_NE(sep.at(width / 2, 2), kSeparatorDark);
  const ui::Bitmap lit = paint_entry(m, l, 0, 0, width, height, true);
  const int by = (l.item_height - l.bitmap_size) / 2;
  EXPECT_EQ(lit.at(l.bitmap_left + l.bitmap_size + 1, by + l.bitmap_size / 2), kHighlightFrame);
  // Out of range or without pictures: no crash, a plain entry.
  EXPECT_EQ(paint_entry(m, l, 9, 0, width, height, false).width, 0);
  m.tile = {};
  m.title_picture = ui::Bitmap{27, 40, {}};  // claims a size without pixels
  const ui::Bitmap plain = paint_entry(m, l, 0, 0, width, height, false);
  EXPECT_EQ(plain.at(0, 0), kTitleBackground);
  EXPECT_EQ(plain.at(width - 1, 0), kMenuBackground);
}

}  // namespace
}  // namespace brevaro::menu
