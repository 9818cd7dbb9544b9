// Fuzzes the movie player: the header reader (FWS and zlib-compressed CWS),
// the whole parse, then three frames played and drawn at the banner's size.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "media/swf/swf_header.h"
#include "media/swf/swf_movie.h"
#include "media/swf/swf_player.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brevaro::media;
  const std::span<const std::uint8_t> bytes(data, size);
  SwfHeader h;
  if (parse_swf_header(bytes, h) == SwfStatus::ok) {
    (void)stage_rect("ShowAll", 468, 60, h.stage_width, h.stage_height);
    (void)stage_rect("NoBorder", 468, 60, h.stage_width, h.stage_height);
  }
  swf::Movie movie;
  if (swf::parse_movie(bytes, movie) != SwfStatus::ok) return 0;
  swf::Player player(std::move(movie));
  std::vector<std::uint32_t> pixels(468 * 60);
  const swf::Target target{pixels.data(), 468, 60, 468};
  for (int frame = 0; frame < 3; ++frame) {
    if (frame > 0) player.advance();
    player.render(target);
  }
  return 0;
}
