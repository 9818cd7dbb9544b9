// The wizard's pictures travel as raw-data resources holding BMP files.
#pragma once

#include <string_view>

#include "platform/system.h"
#include "ui/types.h"

namespace brevaro::setup {

// The picture, or an empty one when the resource is missing or damaged.
ui::Bitmap load_picture(const platform::Process& process, std::string_view resource);

}  // namespace brevaro::setup
