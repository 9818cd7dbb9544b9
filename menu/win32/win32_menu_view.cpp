#include "menu/win32/win32_menu_view.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/win32/bitmap_info.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide.h"
#include "platform/win32/window.h"

namespace brevaro::menu::win32 {

namespace {

constexpr platform::win32::WindowClass kOwnerClass{.name = L"TBrevaroMenuOwner"};

using platform::win32::SelectedObject;
using platform::win32::UniqueGdiObject;
using platform::win32::UniqueMenu;
using platform::win32::widen;
using platform::win32::WindowDc;

UniqueGdiObject<HFONT> make_font(const ui::Font& font, int height, bool bold, int escapement = 0) {
  return UniqueGdiObject<HFONT>{CreateFontW(height, 0, escapement, escapement, bold ? FW_BOLD : FW_NORMAL, 0, 0, 0,
                                            DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                            ANTIALIASED_QUALITY, DEFAULT_PITCH, widen(font.name).c_str())};
}

int screen_dpi() {
  const WindowDc dc(nullptr);
  const int dpi = dc.get() ? GetDeviceCaps(dc.get(), LOGPIXELSY) : 96;
  return dpi > 0 ? dpi : 96;
}

}  // namespace

struct Win32MenuView::Impl final : platform::win32::WindowHandler {
  // The popup being shown (only during track).
  const PopupModel* model = nullptr;
  MenuLayout layout;
  int menu_height = 0;
  std::vector<int> tops;
  // The hidden owner of the popups, which measures and draws their entries.
  platform::win32::Window owner_window{kOwnerClass, {.ex_style = WS_EX_TOOLWINDOW, .style = WS_POPUP}, *this};
  HWND owner = owner_window.get();

  LRESULT on_message(platform::win32::Window& w, UINT message, WPARAM wp, LPARAM lp) override;
  void measure(MEASUREITEMSTRUCT& mis);
  void draw(const DRAWITEMSTRUCT& dis);
  int text_width(const PopupEntry& e);
};

int Win32MenuView::Impl::text_width(const PopupEntry& e) {
  const WindowDc dc(owner);
  if (!dc.get()) return 0;
  const auto font = make_font(model->font, layout.font_height, e.is_default);
  const SelectedObject selected(dc.get(), font.get());
  SIZE size{};
  const std::wstring caption = widen(e.caption);
  GetTextExtentPoint32W(dc.get(), caption.c_str(), static_cast<int>(caption.size()), &size);
  return size.cx;
}

void Win32MenuView::Impl::measure(MEASUREITEMSTRUCT& mis) {
  if (!model || mis.itemData >= model->entries.size()) return;
  const PopupEntry& e = model->entries[mis.itemData];
  mis.itemHeight = static_cast<UINT>(layout.entry_height(e));
  mis.itemWidth = static_cast<UINT>(e.separator ? layout.item_width(0) : layout.item_width(text_width(e)));
}

void Win32MenuView::Impl::draw(const DRAWITEMSTRUCT& dis) {
  if (!model || dis.itemData >= model->entries.size()) return;
  const std::size_t index = dis.itemData;
  const PopupEntry& e = model->entries[index];
  const RECT& rc = dis.rcItem;
  const int width = rc.right - rc.left;
  const bool selected = (dis.itemState & ODS_SELECTED) != 0;
  // Our own layout places the entry in the menu: the system may start the
  // first entry below a small margin.
  const ui::Bitmap pic = paint_entry(*model, layout, index, tops[index], width, menu_height, selected);
  if (pic.width <= 0) return;
  const BITMAPINFO bi = platform::win32::top_down_32bit(pic.width, pic.height);
  SetDIBitsToDevice(dis.hDC, rc.left, rc.top, static_cast<DWORD>(pic.width), static_cast<DWORD>(pic.height), 0, 0, 0,
                    static_cast<UINT>(pic.height), pic.pixels.data(), &bi, DIB_RGB_COLORS);

  const int saved = SaveDC(dis.hDC);
  SetBkMode(dis.hDC, TRANSPARENT);
  if (!e.separator && !e.caption.empty()) {
    const auto font = make_font(model->font, layout.font_height, e.is_default);
    SelectObject(dis.hDC, font.get());
    SetTextColor(dis.hDC, e.enabled ? RGB(0x10, 0x1C, 0x30) : RGB(0x8C, 0x94, 0xA0));
    RECT text{rc.left + layout.text_left, rc.top, rc.right - layout.right_margin, rc.bottom};
    std::wstring caption = widen(e.caption);
    DrawTextW(dis.hDC, caption.data(), static_cast<int>(caption.size()), &text,
              DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(dis.hDC, GetStockObject(SYSTEM_FONT));
  }
  // The title text runs upwards from the menu's bottom edge; each entry
  // draws the part that crosses it.
  if (!model->title.empty() && layout.title_width > 0) {
    IntersectClipRect(dis.hDC, rc.left, rc.top, rc.left + layout.title_width, rc.bottom);
    const auto font = make_font(model->title_font, layout.title_font_height, model->title_font.bold, 900);
    SelectObject(dis.hDC, font.get());
    SetTextColor(dis.hDC, static_cast<COLORREF>(model->title_font.color));
    const int x = rc.left + (layout.title_width - std::abs(layout.title_font_height)) / 2;
    const int y = rc.top - tops[index] + menu_height - layout.scale(6);
    const std::wstring title = widen(model->title);
    TextOutW(dis.hDC, x, y, title.c_str(), static_cast<int>(title.size()));
    SelectObject(dis.hDC, GetStockObject(SYSTEM_FONT));
  }
  RestoreDC(dis.hDC, saved);
}

// An exception from measuring or drawing leaves an entry undrawn; the
// window's barrier hands it to the application's handler.
LRESULT Win32MenuView::Impl::on_message(platform::win32::Window& w, UINT message, WPARAM wp, LPARAM lp) {
  if (message == WM_MEASUREITEM && lp) {
    auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
    if (mis->CtlType == ODT_MENU) {
      measure(*mis);
      return TRUE;
    }
  }
  if (message == WM_DRAWITEM && lp) {
    const auto* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
    if (dis->CtlType == ODT_MENU) {
      draw(*dis);
      return TRUE;
    }
  }
  return w.default_handling(message, wp, lp);
}

Win32MenuView::Win32MenuView() : impl_(std::make_unique<Impl>()) {}

Win32MenuView::~Win32MenuView() = default;

std::optional<std::size_t> Win32MenuView::track(const PopupModel& model, ui::Point at) {
  if (!impl_->owner || model.entries.empty() || impl_->model) return std::nullopt;  // no nested popups
  const platform::win32::UniqueMenu menu{CreatePopupMenu()};
  if (!menu) return std::nullopt;
  impl_->model = &model;
  impl_->layout = layout_menu(model, screen_dpi());
  impl_->tops = impl_->layout.tops(model);
  impl_->menu_height = impl_->layout.height(model);
  for (std::size_t i = 0; i < model.entries.size(); ++i) {
    const PopupEntry& e = model.entries[i];
    UINT flags = MF_OWNERDRAW;
    if (e.separator) flags |= MF_SEPARATOR;
    else if (!e.enabled) flags |= MF_GRAYED;
    // Owner-drawn entries carry their index as the item data; commands count from 1.
    AppendMenuW(menu.get(), flags, e.separator ? 0 : i + 1, reinterpret_cast<LPCWSTR>(i));
    if (e.is_default && !e.separator) SetMenuDefaultItem(menu.get(), static_cast<UINT>(i + 1), FALSE);
  }
  const BOOL chosen =
      TrackPopupMenuEx(menu.get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, at.x,
                       at.y, impl_->owner, nullptr);
  impl_->model = nullptr;
  if (chosen <= 0 || static_cast<std::size_t>(chosen) > model.entries.size()) return std::nullopt;
  return static_cast<std::size_t>(chosen - 1);
}

void Win32MenuView::cancel() {
  // The system's menu loop runs on this thread; it ends at once.
  if (impl_->model) EndMenu();
}

}  // namespace brevaro::menu::win32
