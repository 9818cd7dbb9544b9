// Fuzzes the SWF header reader (FWS and zlib-compressed CWS).
#include <cstddef>
#include <cstdint>
#include <span>

#include "media/swf/swf_header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  brevaro::media::SwfHeader h;
  if (brevaro::media::parse_swf_header(std::span<const std::uint8_t>(data, size), h) == brevaro::media::SwfStatus::ok) {
    (void)brevaro::media::stage_rect("ShowAll", 468, 60, h.stage_width, h.stage_height);
    (void)brevaro::media::stage_rect("NoBorder", 468, 60, h.stage_width, h.stage_height);
  }
  return 0;
}
