// Fuzzes the BMP reader and the bitmap scan: any bytes give a bitmap or
// EBitmapError; any bitmap gives the same region as its runs all at once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "region/bitmap.h"
#include "region/bitmap_region.h"

using namespace brevaro::region;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const uint32_t trans = (uint32_t{data[0]} << 16 | uint32_t{data[1]} << 8 | data[2]) & 0xFFFFFF;
  const bool inverted = (data[3] & 1) != 0;
  Bitmap b;
  try {
    b = read_bmp(std::span<const uint8_t>(data + 4, size - 4));
  } catch (const EBitmapError&) {
    return 0;
  }
  if (int64_t{b.width()} * b.height() > (1 << 22)) return 0;
  std::vector<Rect> runs;
  scan_runs(b, trans, inverted, [&](int32_t l, int32_t r, int32_t y) {
    if (l >= r || r > b.width() || y >= b.height()) std::abort();
    runs.push_back({l, y, r, y + 1});
  });
  const Region got = bitmap_to_region(b, trans, inverted);
  if (got.rects() != canonicalize(runs)) std::abort();
  return 0;
}
