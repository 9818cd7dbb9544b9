// Bitmap to region (TPictExtRgn.CreateRegion): every pixel that is
// not of the transparent colour (or, inverted, every pixel that is) becomes
// part of the region. Runs of a row become one-pixel-high rectangles that are
// batched into region data of at most kScanBatch rectangles; each full batch
// becomes a partial region merged into the result by OR.
#pragma once

#include <cstdint>
#include <functional>

#include "region/bitmap.h"
#include "region/region.h"

namespace brevaro::region {

inline constexpr size_t kScanBatch = 2000;
inline constexpr size_t kScanBatchStep = 100;

// The framework's colour encoding 0x00BBGGRR; values with the top bit set
// are system colours (index in the low byte).
using Color = uint32_t;
inline constexpr Color clWhite = 0x00FFFFFF;
inline constexpr Color clBlack = 0x00000000;
inline constexpr Color clOlive = 0x00008080;
inline constexpr Color clSystemColor = 0x80000000;
inline constexpr Color clBtnFace = clSystemColor | 15;
inline constexpr Color clWindow = clSystemColor | 5;

inline bool is_system_color(Color c) { return (c & 0x80000000u) != 0; }
// 0x00BBGGRR -> 0x00RRGGBB (the Bitmap's pixel encoding).
inline uint32_t color_to_pixel(Color c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

// Resolves a system colour (index 0..255) to its current 0x00BBGGRR value.
using SystemColorResolver = std::function<Color(int index)>;
// A plain RGB colour for any colour value: system colours through the
// resolver (or, without one, a fixed table of the classic defaults).
Color resolve_color(Color c, const SystemColorResolver& resolver);

// Region of the bitmap, in bitmap coordinates. `transparent` is 0x00RRGGBB.
// An empty bitmap gives an empty region. Never none.
Region bitmap_to_region(const Bitmap& bitmap, uint32_t transparent, bool inverted);

// The runs of the scan, for tests and tools: emit(x_left, x_end, y) in scan
// order.
void scan_runs(const Bitmap& bitmap, uint32_t transparent, bool inverted,
               const std::function<void(int32_t, int32_t, int32_t)>& emit);

}  // namespace brevaro::region
