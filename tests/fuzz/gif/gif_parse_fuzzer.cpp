// Fuzzes the GIF parser with its LZW decoding, and the LZW decoder alone on
// raw code streams. Nothing is composed here (that is gif_compose_fuzzer), so
// this target runs thousands of inputs a second.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "media/gif/gif_parser.h"
#include "media/gif/lzw.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

void parse(std::span<const std::uint8_t> bytes) {
  using namespace brevaro::gif;
  ParseOptions options;
  // The product's limits for pictures from the network: what the parser
  // accepts must fit the budget the banner control composes it in.
  options.limits = banner_limits();
  options.first_image_only = !bytes.empty() && (bytes.back() & 1);
  GifFile file;
  if (parse_gif(bytes, options, file) != ParseStatus::ok) return;
  check(!file.frames.empty());
  check(file.frames.size() <= static_cast<std::size_t>(options.limits.max_frames));
  check(!options.first_image_only || file.frames.size() == 1);
  const std::uint64_t area = std::uint64_t(file.picture_width) * std::uint64_t(file.picture_height);
  check(area <= options.limits.max_canvas_pixels);
  std::uint64_t held = area * (file.any_transparent ? 5 : 4);
  for (const Frame& f : file.frames)
    held += f.pixels.size() + f.mask.size() + (f.disposal == Disposal::previous ? 5 * f.pixels.size() : 0);
  check(held <= options.limits.max_total_bytes);
  for (const Frame& f : file.frames) {
    check(f.width > 0 && f.height > 0);
    check(f.left + f.width <= file.picture_width && f.top + f.height <= file.picture_height);
    check(f.pixels.size() == std::size_t(f.width) * std::size_t(f.height));
    check(f.mask.empty() || f.mask.size() == f.pixels.size());
    check(f.pixels_decoded <= f.pixels.size());
  }
}

// The first byte picks the minimum code size and the output size; the rest is
// the code stream, decoded in steps of a soft limit as the parser does.
void lzw(std::span<const std::uint8_t> bytes) {
  using brevaro::gif::LzwDecoder;
  if (bytes.empty()) return;
  const int min_code_size = bytes[0] % 13;  // 12 is refused
  const std::size_t out_size = std::size_t{1} << (bytes[0] >> 4);
  const std::span<const std::uint8_t> codes = bytes.subspan(1);
  auto decoder = std::make_unique<LzwDecoder>();
  const bool started = decoder->start(min_code_size, codes.data(), codes.size());
  check(started == (min_code_size <= LzwDecoder::kMaxMinCodeSize));
  if (!started) return;
  std::vector<std::uint8_t> buffer(LzwDecoder::kLiteralRoom + out_size);
  std::size_t pos = 0;
  for (;;) {
    const std::size_t before = pos;
    const auto result = decoder->decode(buffer.data(), out_size, pos + 97, pos);
    check(pos <= out_size && decoder->consumed() <= codes.size());
    if (result != LzwDecoder::Result::limit) break;
    check(pos > before);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  parse(bytes);
  lzw(bytes);
  return 0;
}
