// Portable scan conversion of the shapes of the region language, following
// the pixel rules of the platform's region API (checked against GDI under
// Wine by tests/wine/region): an ellipse inscribed in a rectangle, a rounded
// rectangle and a polygon in alternate or winding fill mode. Each returns the
// rectangles of the shape, row by row, top to bottom (not yet canonical:
// callers pass them through `canonicalize` or `Region::from_rects`).
#pragma once

#include <span>
#include <vector>

#include "region/geometry.h"

namespace brevaro::region {

// Shapes taller than this many pixel rows are treated like a failed platform
// call: they yield no rectangles (an empty region). GDI itself fails on such
// sizes for lack of memory; the bound keeps every evaluation finite.
inline constexpr int64_t kMaxShapeRows = 1 << 16;
// A polygon whose scanline count times edge count exceeds this is treated
// the same way.
inline constexpr int64_t kMaxShapeWork = int64_t{1} << 26;

// The bounds in force (the constants above unless changed): a fuzzer
// lowers them to keep every input fast. Set once, before any evaluation.
struct ShapeLimits {
  int64_t max_rows = kMaxShapeRows;
  int64_t max_work = kMaxShapeWork;
};
ShapeLimits shape_limits();
void set_shape_limits(ShapeLimits limits);

// The same bounds as checks, for backends that call the platform instead.
bool round_rect_within_limits(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t ellipse_width,
                              int32_t ellipse_height);
bool polygon_within_limits(std::span<const Point> points);

std::vector<Rect> round_rect_rects(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t ellipse_width,
                                   int32_t ellipse_height);
std::vector<Rect> ellipse_rects(int32_t left, int32_t top, int32_t right, int32_t bottom);
std::vector<Rect> polygon_rects(std::span<const Point> points, FillMode mode);

}  // namespace brevaro::region
