// Pictures of the tray program: BMP files carried as raw-data resources.
#pragma once

#include <string_view>

#include "platform/system.h"
#include "ui/types.h"

namespace brevaro::tray {

// The resource's picture, or an empty one when it is missing or not a
// readable BMP file.
ui::Bitmap load_picture(const platform::Process& process, std::string_view name);

}  // namespace brevaro::tray
