#include "setup/pictures.h"

#include <exception>

#include "region/bitmap.h"

namespace brevaro::setup {

ui::Bitmap load_picture(const platform::Process& process, std::string_view resource) {
  const auto res = process.raw_resource(resource);
  if (!res || res->empty()) return {};
  region::Bitmap bmp;
  try {
    bmp = region::read_bmp(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(res->data()), res->size()));
  } catch (const std::exception&) {
    return {};
  }
  ui::Bitmap out;
  out.width = bmp.width();
  out.height = bmp.height();
  out.pixels.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x)
      out.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(out.width) + static_cast<std::size_t>(x)] =
          bmp.rgb_at(x, y);
  return out;
}

}  // namespace brevaro::setup
