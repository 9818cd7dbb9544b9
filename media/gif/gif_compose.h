// Composition of frames onto the picture canvas and mask. Pure data: the Win32 side blits the same raster
// operations with GDI, the headless side reads these buffers.
#pragma once

#include <cstdint>
#include <vector>

#include "media/gif/gif_types.h"

namespace brevaro::gif {

// A colour as the canvas stores it: 0x00RRGGBB (a 32-bit DIB pixel, B G R 0
// in memory on little-endian machines).
using Pixel = std::uint32_t;
inline constexpr Pixel pixel_of(Rgb c) {
  return (static_cast<Pixel>(c.r) << 16) | (static_cast<Pixel>(c.g) << 8) | c.b;
}
inline constexpr std::uint8_t red_of(Pixel p) { return static_cast<std::uint8_t>(p >> 16); }
inline constexpr std::uint8_t green_of(Pixel p) { return static_cast<std::uint8_t>(p >> 8); }
inline constexpr std::uint8_t blue_of(Pixel p) { return static_cast<std::uint8_t>(p); }

// The composed picture: canvas pixels and, when any frame is transparent,
// the composed mask (one byte per pixel, 1 = transparent).
struct Canvas {
  int width = 0, height = 0;
  std::vector<Pixel> pixels;
  std::vector<std::uint8_t> mask;  // empty when no frame is transparent
  bool has_mask() const { return !mask.empty(); }
  Pixel at(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
  }
  bool transparent_at(int x, int y) const {
    return has_mask() &&
           mask[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] != 0;
  }
};

// The area under a disposal-3 frame, saved before it was drawn.
struct SavedArea {
  std::vector<Pixel> pixels;
  std::vector<std::uint8_t> mask;
};

// Composes the frames of a file. Frames must lie inside the picture (the
// parser enlarges the picture to cover them).
class Composer {
 public:
  // Sets up the canvas for the file: black, and a mask all transparent when
  // any frame is transparent. Precomputes each frame's colours.
  void reset(const GifFile& gif);
  void clear();

  // Draws frame `index` (0-based) onto the canvas (saving the area beneath
  // first for disposal 3).
  void draw(const GifFile& gif, std::size_t index);
  // Disposes of frame `index`: 2 fills black and transparent; 3 restores.
  void dispose(const GifFile& gif, std::size_t index);

  const Canvas& canvas() const { return canvas_; }

 private:
  Canvas canvas_;
  std::vector<std::array<Pixel, 256>> colors_;  // per frame
  std::vector<SavedArea> saved_;                // per frame (disposal 3 only)
};

}  // namespace brevaro::gif
