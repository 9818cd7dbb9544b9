#include "ui/pictures.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>

namespace brevaro::ui {

namespace {

// The bitmap's pixels as a picture the controls draw.
Bitmap to_picture(const region::Bitmap& bmp) {
  Bitmap out;
  if (bmp.empty()) return out;
  out.width = bmp.width();
  out.height = bmp.height();
  out.pixels.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x)
      out.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(out.width) + static_cast<std::size_t>(x)] =
          bmp.rgb_at(x, y);
  return out;
}

}  // namespace

region::Bitmap load_bmp_resource(const platform::Process& process, std::string_view name) {
  const auto res = process.raw_resource(name);
  if (!res || res->empty()) return {};
  try {
    return region::read_bmp(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(res->data()), res->size()));
  } catch (const std::exception&) {
    return {};
  }
}

Bitmap load_picture(const platform::Process& process, std::string_view name) {
  return to_picture(load_bmp_resource(process, name));
}

}  // namespace brevaro::ui
