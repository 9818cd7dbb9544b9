// Fuzzes composition with every disposal and the control's model (load,
// frame changes, painting) under the product's limits; the parser and the
// LZW decoder get their depth in gif_parse_fuzzer.
#include <cstddef>
#include <cstdint>
#include <span>

#include "media/gif/gif_compose.h"
#include "media/gif/gif_image.h"
#include "media/gif/gif_parser.h"

namespace {

// The product's limits for pictures from the network, as the banner control
// loads them: whatever passes them must compose within their budget.
brevaro::gif::Limits fuzz_limits() { return brevaro::gif::banner_limits(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brevaro;
  const std::span<const std::uint8_t> bytes(data, size);

  gif::ParseOptions options;
  options.limits = fuzz_limits();
  options.first_image_only = size > 0 && (data[size - 1] & 1);
  gif::GifFile file;
  if (gif::parse_gif(bytes, options, file) == gif::ParseStatus::ok) {
    gif::Composer composer;
    composer.reset(file);
    for (int pass = 0; pass < 2; ++pass) {
      for (std::size_t i = 0; i < file.frames.size(); ++i) {
        composer.dispose(file, i == 0 ? file.frames.size() - 1 : i - 1);
        composer.draw(file, i);
      }
    }
  }

  media::GifImage image;
  image.set_limits(fuzz_limits());
  image.set_bounds(0, 0, 37, 23);
  if (image.load_from_memory(bytes)) {
    media::Surface surface(40, 30, 0x123456);
    image.set_stretch_ratio(size & 2);
    image.set_tile(size & 4);
    image.set_center(size & 8);
    image.wm_paint(surface, 1, 2);
    for (int n = image.frame_count(); n >= 1; n -= 3) image.set_current_frame(n);
    image.paint_to(surface, -5, -5);
  }
  return 0;
}
