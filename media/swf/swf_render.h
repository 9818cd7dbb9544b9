// The movie renderer: an anti-aliased scan-line rasterizer of our own that
// draws the shapes of swf_movie.h into a 32-bit premultiplied ARGB buffer.
//
// Pixel format: one std::uint32_t per pixel, 0xAARRGGBB with the colour
// channels premultiplied by alpha; in memory on a little-endian machine the
// bytes are B, G, R, A: the layout of a 32-bit top-down Windows DIB section
// and of cairo's CAIRO_FORMAT_ARGB32. Rows are `stride` pixels apart.
//
// Fills use the non-zero winding rule over the edges on each fill style's
// side (edges with the style as fill 1 as they run, with it as fill 0
// reversed), so shapes with holes and shared edges come out right. Curves are
// flattened to 0.1 device pixel. Coverage: 16 sub-scan-lines per pixel row,
// exact horizontal coverage in 1/256 pixel. Lines are stroked as outlines
// (round caps and joins) in the shape's own space, so a non-uniform stretch
// widens them as it widens the shape.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/swf/swf_movie.h"

namespace brevaro::media::swf {

struct Target {
  std::uint32_t* pixels = nullptr;
  int width = 0, height = 0;
  std::ptrdiff_t stride = 0;  // in pixels
};

std::uint32_t premultiply(Rgba c);

// Fills the whole target with an opaque colour.
void fill_background(const Target& t, Rgba c);

// The stage (twips) onto a target of w x h pixels, stretched to fill it
// ("ExactFit"). A stage of zero width or height maps everything away.
Matrix stage_to_target(const SwfHeader& h, int w, int h_px);

// The work of one frame is bounded: shapes past a limit are left out.
struct RenderLimits {
  std::size_t max_segments = 262144;    // line segments rasterized per frame
  std::size_t max_crossings = 4000000;  // segment crossings of sub-scan-lines per frame
};

class Renderer {
 public:
  explicit Renderer(RenderLimits limits = {}) : limits_(limits) {}

  // Starts the budget of a new frame.
  void begin_frame() {
    used_ = 0;
    crossings_used_ = 0;
    over_budget_ = false;
  }
  // Draws a shape whose twips `to_target` maps to target pixels, with its
  // colours transformed by `cx`.
  void draw_shape(const Target& t, const Shape& s, const Matrix& to_target, const ColorTransform& cx);
  // A shape was left out because the frame's segment budget was used up.
  bool over_budget() const { return over_budget_; }
  std::size_t segments_used() const { return used_; }

  struct Segment {
    double y_top, y_bottom, x_top, dxdy;
    int dir;
  };

 private:
  void add_line(double x0, double y0, double x1, double y1);
  void add_polygon(const std::vector<double>& xy, const Matrix& m);
  // `outline`: a line's outline, made of overlapping pieces (only the
  // sub-scan-line path suits it).
  void fill(const Target& t, const FillStyle& style, const Matrix& shape_to_target, const ColorTransform& cx,
            bool outline);

  RenderLimits limits_;
  std::size_t used_ = 0;
  std::size_t crossings_used_ = 0;
  bool over_budget_ = false;
  // Scratch, kept between calls.
  std::vector<Segment> segs_;
  std::vector<const Segment*> active_;
  std::vector<std::pair<double, int>> crossings_;
  std::vector<std::int32_t> delta_;
  std::vector<std::uint8_t> coverage_;
  std::vector<double> points_;
  std::vector<std::uint32_t> point_start_;
  std::vector<double> poly_;
  std::array<std::uint32_t, 1024> lut_{};
};

}  // namespace brevaro::media::swf
