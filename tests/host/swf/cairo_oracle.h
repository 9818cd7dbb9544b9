// The independent rasterizer of the movie tests and benchmark: cairo draws a
// scene's frame from the writer's own description of it (contours, styles,
// placements), not from what our parser read.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <vector>

#include "tools/swf/scenes.h"

namespace brevaro::swf_test {

// A w x h premultiplied ARGB32 picture (cairo's format, the renderer's too), rows w apart.
std::vector<std::uint32_t> cairo_frame(const swf_writer::Scene& s, std::size_t frame, int w, int h);

// The same drawing into a context of the caller's (a w x h target), for the benchmark.
void cairo_draw(cairo_t* cr, const swf_writer::Scene& s, std::size_t frame, int w, int h);

// Where the two renderings may differ, per pixel: near an edge (partial
// coverage, flattened curves, round joins drawn as polygons) or under a
// gradient fill.
struct PixelClasses {
  std::vector<std::uint8_t> edge;      // 1: within 2 pixels of a fill's outline or a line's border
  std::vector<std::uint8_t> gradient;  // 1: a gradient paints this pixel
};
PixelClasses classify(const swf_writer::Scene& s, std::size_t frame, int w, int h);

}  // namespace brevaro::swf_test
