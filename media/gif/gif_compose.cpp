#include "media/gif/gif_compose.h"

#include <algorithm>
#include <cstring>

namespace brevaro::gif {

void Composer::clear() {
  canvas_ = Canvas{};
  colors_.clear();
  saved_.clear();
}

void Composer::reset(const GifFile& gif) {
  clear();
  canvas_.width = gif.picture_width;
  canvas_.height = gif.picture_height;
  const std::size_t area = static_cast<std::size_t>(canvas_.width) * static_cast<std::size_t>(canvas_.height);
  canvas_.pixels.assign(area, 0);
  if (gif.any_transparent) canvas_.mask.assign(area, 1);
  colors_.resize(gif.frames.size());
  saved_.resize(gif.frames.size());
  for (std::size_t i = 0; i < gif.frames.size(); ++i) {
    const Frame& f = gif.frames[i];
    // The image's palette has 2^palette_depth entries; indices past it are
    // drawn black (entries past the file's table are zero anyway).
    const std::size_t used = f.palette_depth > 0 ? (std::size_t{1} << f.palette_depth) : 1;
    for (std::size_t c = 0; c < 256; ++c) colors_[i][c] = c < used ? pixel_of(f.palette[c]) : 0;
  }
}

void Composer::draw(const GifFile& gif, std::size_t index) {
  if (index >= gif.frames.size() || canvas_.pixels.empty()) return;
  const Frame& f = gif.frames[index];
  const std::size_t cw = static_cast<std::size_t>(canvas_.width);
  const std::size_t fw = static_cast<std::size_t>(f.width);
  const bool has_mask = canvas_.has_mask();
  if (f.disposal == Disposal::previous) {
    SavedArea& s = saved_[index];
    s.pixels.resize(fw * static_cast<std::size_t>(f.height));
    if (has_mask) s.mask.resize(s.pixels.size());
    for (int y = 0; y < f.height; ++y) {
      const std::size_t row = static_cast<std::size_t>(f.top + y) * cw + static_cast<std::size_t>(f.left);
      std::memcpy(&s.pixels[static_cast<std::size_t>(y) * fw], &canvas_.pixels[row], fw * sizeof(Pixel));
      if (has_mask) std::memcpy(&s.mask[static_cast<std::size_t>(y) * fw], &canvas_.mask[row], fw);
    }
  }
  const std::array<Pixel, 256>& colors = colors_[index];
  for (int y = 0; y < f.height; ++y) {
    const std::size_t row = static_cast<std::size_t>(f.top + y) * cw + static_cast<std::size_t>(f.left);
    const std::uint8_t* src = &f.pixels[static_cast<std::size_t>(y) * fw];
    Pixel* dst = &canvas_.pixels[row];
    if (f.transparent) {
      // canvas := ((canvas XOR image) AND frame mask) XOR image; mask AND= frame mask.
      const std::uint8_t* fm = &f.mask[static_cast<std::size_t>(y) * fw];
      std::uint8_t* cm = has_mask ? &canvas_.mask[row] : nullptr;
      for (std::size_t x = 0; x < fw; ++x) {
        if (!fm[x]) {
          dst[x] = colors[src[x]];
          if (cm) cm[x] = 0;
        }
      }
    } else {
      for (std::size_t x = 0; x < fw; ++x) dst[x] = colors[src[x]];
      if (has_mask) std::memset(&canvas_.mask[row], 0, fw);
    }
  }
}

void Composer::dispose(const GifFile& gif, std::size_t index) {
  if (index >= gif.frames.size() || canvas_.pixels.empty()) return;
  const Frame& f = gif.frames[index];
  const std::size_t cw = static_cast<std::size_t>(canvas_.width);
  const std::size_t fw = static_cast<std::size_t>(f.width);
  const bool has_mask = canvas_.has_mask();
  if (f.disposal == Disposal::background) {
    for (int y = 0; y < f.height; ++y) {
      const std::size_t row = static_cast<std::size_t>(f.top + y) * cw + static_cast<std::size_t>(f.left);
      std::fill_n(&canvas_.pixels[row], fw, Pixel{0});
      if (has_mask) std::memset(&canvas_.mask[row], 1, fw);
    }
  } else if (f.disposal == Disposal::previous) {
    const SavedArea& s = saved_[index];
    if (s.pixels.empty()) return;  // never drawn
    for (int y = 0; y < f.height; ++y) {
      const std::size_t row = static_cast<std::size_t>(f.top + y) * cw + static_cast<std::size_t>(f.left);
      std::memcpy(&canvas_.pixels[row], &s.pixels[static_cast<std::size_t>(y) * fw], fw * sizeof(Pixel));
      if (has_mask && !s.mask.empty()) std::memcpy(&canvas_.mask[row], &s.mask[static_cast<std::size_t>(y) * fw], fw);
    }
  }
}

}  // namespace brevaro::gif
