#include "media/ui/flash_control.h"

#include <algorithm>

#include "ui/application.h"

namespace brevaro::media {

TShockwaveFlash::TShockwaveFlash(ui::Component* owner, std::string_view name, ui::WinControl* parent, ui::Rect bounds)
    : ui::Control(owner, name, parent, bounds),
      model_([fs = &application().ports().fs](const std::string& path) -> std::optional<std::vector<std::uint8_t>> {
        const auto bytes = fs->read_file(path);
        if (!bytes) return std::nullopt;
        return std::vector<std::uint8_t>(bytes->begin(), bytes->end());
      }) {}

void TShockwaveFlash::set_scale(std::string_view s) {
  if (s == model_.scale()) return;
  model_.set_scale(std::string(s));
  invalidate();
}

void TShockwaveFlash::set_movie(std::string_view path) {
  model_.set_movie(std::string(path));
  invalidate();
}

void TShockwaveFlash::paint(ui::Canvas& canvas) {
  if (!model_.loaded()) return;
  const ui::Rect b = bounds();
  const StageRect st = model_.stage_in(b.width, b.height);
  // The stage, clipped to the control.
  const int left = std::max(st.left, 0), top = std::max(st.top, 0);
  const int right = std::min(st.left + st.width, b.width), bottom = std::min(st.top + st.height, b.height);
  if (right <= left || bottom <= top) return;
  const std::uint32_t bg = model_.background();  // 0x00RRGGBB
  canvas.fill_rect(
      ui::Rect{b.left + left, b.top + top, right - left, bottom - top},
      ui::rgb(static_cast<int>((bg >> 16) & 0xFF), static_cast<int>((bg >> 8) & 0xFF), static_cast<int>(bg & 0xFF)));
}

}  // namespace brevaro::media
