// Pictures that travel inside the programs as raw-data resources holding BMP
// files: the skin and its mask, the wizard's pictures, the tray menu's.
#pragma once

#include <string_view>

#include "platform/system.h"
#include "region/bitmap.h"
#include "ui/types.h"

namespace brevaro::ui {

// The resource's BMP file decoded, or an empty bitmap when the resource is
// missing or not a readable BMP file.
region::Bitmap load_bmp_resource(const platform::Process& process, std::string_view name);

// The resource's picture, or an empty one when it is missing or damaged.
Bitmap load_picture(const platform::Process& process, std::string_view name);

}  // namespace brevaro::ui
