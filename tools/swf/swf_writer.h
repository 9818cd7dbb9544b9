// The movie writer: builds SWF files from shapes described as closed
// contours, for test scenes, fuzz seeds and the benchmark. It writes the
// format from its published tables, independently of the parser's code.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "media/swf/swf_movie.h"

namespace brevaro::swf_writer {

using media::swf::ColorTransform;
using media::swf::FillStyle;
using media::swf::LineStyle;
using media::swf::Matrix;
using media::swf::Rgba;

using Bytes = std::vector<std::uint8_t>;

// A contour in twips: a start point and straight or curved pieces. Style
// numbers are 1-based into the shape's fills / lines, 0 = none. A contour
// carries its fill as fill1; a hole is the outer contour's fill as fill0 on
// a contour running the same way (or as fill1 running the other way).
struct Piece {
  bool curved = false;
  std::int32_t cx = 0, cy = 0;  // control point (curves)
  std::int32_t x = 0, y = 0;    // end point
};
struct Contour {
  std::uint32_t fill0 = 0, fill1 = 0, line = 0;
  std::int32_t x = 0, y = 0;
  std::vector<Piece> pieces;
};
struct ShapeSpec {
  std::uint16_t id = 1;
  int version = 3;  // 1..4
  std::vector<FillStyle> fills;
  std::vector<LineStyle> lines;
  std::vector<Contour> contours;
};

// Contour helpers (clockwise on screen, y down).
Contour rect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, std::uint32_t fill1,
             std::uint32_t line = 0);
// An ellipse from eight quadratic curves.
Contour ellipse(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry, std::uint32_t fill1,
                std::uint32_t line = 0);
// The same contour running the other way, its fill moved to fill0 (a hole
// in a fill1 shape, or the same area described from the other side).
Contour reversed(const Contour& c);

FillStyle solid(Rgba c);
FillStyle gradient(media::swf::FillKind kind, const Matrix& m, std::vector<media::swf::GradientStop> stops,
                   media::swf::Spread spread = media::swf::Spread::pad,
                   media::swf::Interpolation interp = media::swf::Interpolation::rgb, double focal = 0);

// Tags.
Bytes tag(unsigned code, std::span<const std::uint8_t> body);
Bytes define_shape(const ShapeSpec& s);
Bytes background(Rgba c);
Bytes show_frame();
Bytes end_tag();
Bytes frame_label(const std::string& label);
Bytes place_object(std::uint16_t character, std::uint16_t depth, const Matrix& m,
                   std::optional<ColorTransform> cx = std::nullopt);
struct Place2 {
  std::uint16_t depth = 1;
  bool move = false;
  std::optional<std::uint16_t> character;
  std::optional<Matrix> matrix;
  std::optional<ColorTransform> color;
  std::optional<std::uint16_t> ratio;
  std::optional<std::string> name;
  std::optional<std::uint16_t> clip_depth;
};
Bytes place_object2(const Place2& p);
Bytes remove_object(std::uint16_t character, std::uint16_t depth);
Bytes remove_object2(std::uint16_t depth);
// A sprite: its control tags (place/remove/show frame), End added here.
Bytes define_sprite(std::uint16_t id, std::uint16_t frames, std::span<const std::uint8_t> tags);

// Records.
Bytes matrix_record(const Matrix& m);
Bytes cxform_record(const ColorTransform& c, bool with_alpha);

// A whole movie from its tags (End added here): "FWS", or "CWS" when compressed.
Bytes movie(int version, int width_px, int height_px, double fps, std::uint16_t frames,
            std::span<const std::uint8_t> tags, bool compressed = false);

// Joins byte strings.
Bytes cat(std::initializer_list<std::span<const std::uint8_t>> parts);

}  // namespace brevaro::swf_writer
