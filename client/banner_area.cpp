#include "client/banner_area.h"

namespace brevaro::client {

void FreeFlashBanner(BannerArea& area) {
  if (area.flash) {
    try {
      area.form.free_component(*area.flash);
    } catch (...) {
      // Whatever the control does while it goes, it is gone.
    }
  }
  area.flash = nullptr;
}

void ShowFlashBanner(BannerArea& area, std::string_view path) {
  FreeFlashBanner(area);
  auto& flash = area.form.make<media::TShockwaveFlash>("FlashBanner", &area.form, area.gif.bounds());
  area.flash = &flash;
  flash.set_visible(false);
  flash.set_scale("ExactFit");
  flash.set_cursor(ui::Cursor::hand);
  flash.set_movie(path);
  area.gif.set_visible(false);
  flash.set_visible(true);
}

}  // namespace brevaro::client
