// GIF87a/GIF89a parser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "media/gif/gif_types.h"

namespace brevaro::gif {

struct ParseOptions {
  Limits limits;
  bool first_image_only = false;
  // Called with (bytes processed, bytes to process); returning false aborts
  // the parse (ParseStatus::aborted). Reported before every block, once at
  // the end, and while decoding frames of more than 100 000 pixels.
  std::function<bool(std::size_t position, std::size_t size)> progress;
};

// Parses a whole GIF file held in memory into `out` (replaced). Frames hold
// their decoded indices; nothing is composed here. On any status but ok the
// contents of `out` are left undefined.
ParseStatus parse_gif(std::span<const std::uint8_t> data, const ParseOptions& options, GifFile& out);

// Puts rows decoded in interlaced order (passes from rows 0/8, 4/8, 2/4, 1/2)
// into their places. `src` and `dst` hold height rows of width bytes.
void deinterlace(const std::uint8_t* src, std::uint8_t* dst, int width, int height);

}  // namespace brevaro::gif
