// The banner area of the main window: the GIF control that shows picture
// banners and the movie control created over it for movie banners.
#pragma once

#include <string_view>

#include "media/ui/flash_control.h"
#include "media/ui/gif_control.h"
#include "ui/form.h"

namespace brevaro::client {

struct BannerArea {
  ui::Form& form;                  // owner and parent of the movie control
  media::TGIFImage& gif;           // imgBanner
  media::TShockwaveFlash*& flash;  // FlashBanner: the movie control or none
};

// Frees the movie control if there is one; whatever freeing raises is ignored.
void FreeFlashBanner(BannerArea& area);
// Replaces the movie control by a new one over the GIF control's bounds,
// stretched to them, playing `path`; the GIF control is hidden.
void ShowFlashBanner(BannerArea& area, std::string_view path);

}  // namespace brevaro::client
