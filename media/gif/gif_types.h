// Portable GIF data model: the parsed file, its frames and the
// limits under which it is read. No operating-system headers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace brevaro::gif {

// One RGB triple of a colour table.
struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A colour table of 256 entries; entries past the file's table are black.
using Palette = std::array<Rgb, 256>;

enum class Version { gif87a, gif89a };

// Disposal as the control uses it: 0 none, 1 keep, 2 restore to background
// (transparent black), 3 restore previous. File values 2 and 4..7 map to 2.
enum class Disposal : std::uint8_t { none = 0, keep = 1, background = 2, previous = 3 };

Disposal map_disposal(unsigned file_value);

// A decoded frame: the image as 8-bit colour indices, top-down rows of
// exactly `width` bytes (the Win32 side turns them into bottom-up DIB rows),
// and for transparent frames a mask of one byte per pixel (1 = transparent).
struct Frame {
  int left = 0, top = 0, width = 0, height = 0;
  int depth = 0;                  // 1..8 for a local palette; 0 when the global one is used
  int palette_depth = 0;          // entries used by the image's palette: 2^palette_depth
  std::uint32_t delay_ms = 0;     // graphic control delay x 10
  std::uint8_t disposal_raw = 0;  // (packed >> 2) & 7 as in the file
  Disposal disposal = Disposal::none;
  bool has_local_palette = false;
  bool interlaced = false;
  bool transparent = false;
  std::uint8_t transparent_index = 0;
  Rgb transparent_color;
  bool has_control_block = false;
  int min_code_size = 0;
  bool data_complete = false;  // the code stream reached its end code or filled the frame
  std::size_t pixels_decoded = 0;
  std::string comment;
  Palette palette{};                 // the local palette, or a copy of the global palette
  std::vector<std::uint8_t> pixels;  // width * height colour indices
  std::vector<std::uint8_t> mask;    // width * height, 1 = transparent (transparent frames only)
};

// Why a parse ended.
enum class ParseEnd {
  trailer,           // ';' seen
  end_of_data,       // the data ran out between blocks
  truncated,         // the data ran out inside a block; that frame (if any) was dropped
  frame_too_large,   // a frame above the dimension limit or the memory budget was dropped
  frame_limit,       // the 257th image block was not read
  first_image_only,  // FirstImageOnly stopped after frame 1
};

enum class ParseStatus {
  ok,
  empty,             // no bytes at all (control status 2)
  not_gif,           // no "GIF" signature, or the header / screen descriptor is cut
  bad_frame,         // an image descriptor with zero width or height
  no_frames,         // nothing to show: no frame could be read
  canvas_too_large,  // the picture would exceed the dimension limit
  aborted,           // the progress callback asked to stop (control status 1)
};

struct GifFile {
  Version version = Version::gif87a;
  int screen_width = 0, screen_height = 0;
  bool has_global_palette = false;
  int global_depth = 0;
  Palette global_palette{};
  int color_depth = 0;  // largest colour depth seen
  int loop_count = 1;   // 1 when the file has no NETSCAPE2.0 block; 0 = for ever
  bool has_loop_block = false;
  bool any_transparent = false;
  bool any_interlaced = false;
  int picture_width = 0, picture_height = 0;  // screen enlarged to cover every frame
  ParseEnd end = ParseEnd::end_of_data;
  std::vector<Frame> frames;
};

// Limits under which a file is read. The defaults are those of the product.
struct Limits {
  int max_frames = 256;
  int max_frame_dimension = 16384;   // a larger frame is dropped, loading ends
  int max_canvas_dimension = 16384;  // a larger picture fails to load instead of allocating gigabytes
  // Memory budget for decoded frames (pixels + masks + saved areas), in bytes:
  // the frame that would exceed it is dropped and loading ends, like a frame
  // that is too large. Keeps 256 frames of 16384 x 16384 from taking 64 GiB.
  std::size_t max_frame_bytes = std::size_t{256} << 20;
  // Largest canvas in pixels (width x height); the default allows every
  // picture within the dimension limit. Fuzzers lower it.
  std::uint64_t max_canvas_pixels = std::uint64_t{16384} * 16384;
  // Budget for everything a loaded picture holds, in bytes: the canvas (4
  // bytes a pixel, and a mask byte once a frame is transparent), the frames'
  // pixels and masks, the disposal-3 saved areas and each frame's colour
  // table. Checked before anything is allocated: a logical screen over it
  // fails the load at once; a frame that would take the total over it (by
  // its size, or by an offset that enlarges the canvas) is dropped and
  // loading ends. None by default; the product's network pictures use
  // banner_limits().
  std::uint64_t max_total_bytes = std::numeric_limits<std::uint64_t>::max();
};

// The limits for pictures that come from the network, fit for a 468 x 60
// banner with room to spare: a canvas of at most 4 M pixels (2048 x 2048),
// and 32 MiB in all for canvas, mask, frames and saved areas.
constexpr Limits banner_limits() {
  Limits l;
  l.max_canvas_pixels = std::uint64_t{4} << 20;
  l.max_frame_bytes = std::size_t{32} << 20;
  l.max_total_bytes = std::uint64_t{32} << 20;
  return l;
}

}  // namespace brevaro::gif
