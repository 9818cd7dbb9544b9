// The movie file parser: the part of the SWF format that vector banners use.
// Bytes in, a `Movie` out; no I/O. The header is read by swf_header.h; this
// reads the tag stream after it: shapes (DefineShape 1-4), sprites, the
// display-list tags (PlaceObject 1-3, RemoveObject 1-2), frames and labels.
// Every other tag is skipped by its length. Hostile input is bounded by
// `MovieLimits`: what lies beyond a limit is dropped and the rest is kept.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "media/swf/swf_header.h"

namespace brevaro::media::swf {

// Straight (non-premultiplied) colour as the file stores it.
struct Rgba {
  std::uint8_t r = 0, g = 0, b = 0, a = 255;
  friend bool operator==(const Rgba&, const Rgba&) = default;
};

// x' = a*x + c*y + tx, y' = b*x + d*y + ty (twips). The file's ScaleX, RotateSkew0,
// RotateSkew1, ScaleY are a, b, c, d.
struct Matrix {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
  friend bool operator==(const Matrix&, const Matrix&) = default;
};
Matrix operator*(const Matrix& outer, const Matrix& inner);  // outer after inner
std::optional<Matrix> inverse(const Matrix& m);

// Colour transform: channel' = channel * mult / 256 + add, clamped to 0..255.
struct ColorTransform {
  std::int32_t mult_r = 256, mult_g = 256, mult_b = 256, mult_a = 256;
  std::int32_t add_r = 0, add_g = 0, add_b = 0, add_a = 0;
  friend bool operator==(const ColorTransform&, const ColorTransform&) = default;
};
Rgba apply(const ColorTransform& cx, Rgba c);
// `outer` applied after `inner`, as one transform (no clamping in between).
ColorTransform operator*(const ColorTransform& outer, const ColorTransform& inner);

enum class Spread : std::uint8_t { pad = 0, reflect = 1, repeat = 2 };
enum class Interpolation : std::uint8_t { rgb = 0, linear_rgb = 1 };

struct GradientStop {
  std::uint8_t ratio = 0;
  Rgba color;
  friend bool operator==(const GradientStop&, const GradientStop&) = default;
};

enum class FillKind : std::uint8_t {
  solid = 0x00,
  linear = 0x10,
  radial = 0x12,
  focal = 0x13,
  bitmap = 0x40,  // read and kept (0x40..0x43); not drawn by this player
};

// The gradient square is -16384..16384 twips on both axes, mapped into the
// shape by `matrix`. Linear: ratio 0 at x = -16384, 255 at x = +16384. Radial:
// ratio 0 at the centre, 255 on the circle of radius 16384. Focal: like
// radial, with ratio 0 at (focal * 16384, 0).
struct FillStyle {
  FillKind kind = FillKind::solid;
  Rgba color;  // solid
  Matrix matrix;
  Spread spread = Spread::pad;
  Interpolation interpolation = Interpolation::rgb;
  std::vector<GradientStop> stops;
  double focal = 0;                 // -1..1
  std::uint16_t bitmap_id = 0;      // bitmap fills
  std::uint8_t bitmap_type = 0x40;  // 0x40..0x43
  friend bool operator==(const FillStyle&, const FillStyle&) = default;
};

// A plain line: width in twips and colour; DefineShape4's cap and join styles
// are kept, and a filled line carries its fill. All lines draw with round caps
// and joins.
struct LineStyle {
  std::uint16_t width = 20;
  Rgba color;
  std::uint8_t start_cap = 0, end_cap = 0, join = 0;  // 0 round, 1 none/bevel, 2 square/miter
  std::optional<FillStyle> fill;
  friend bool operator==(const LineStyle&, const LineStyle&) = default;
};

// One edge in twips relative to the shape's origin. Style numbers index the
// shape's `fills` / `lines` plus one (0 = none).
struct Edge {
  std::int32_t x0 = 0, y0 = 0, cx = 0, cy = 0, x1 = 0, y1 = 0;
  std::uint32_t fill0 = 0, fill1 = 0, line = 0;
  bool curved = false;
  friend bool operator==(const Edge&, const Edge&) = default;
};

// Styles introduced together (the first arrays, and each "new styles" record)
// form a layer: its fills are drawn, then its lines, before the next layer.
struct ShapeLayer {
  std::uint32_t fill_begin = 0, fill_end = 0;  // 1-based style numbers [begin, end)
  std::uint32_t line_begin = 0, line_end = 0;
};

struct Shape {
  std::uint16_t id = 0;
  int version = 1;                                          // 1..4 (DefineShape .. DefineShape4)
  std::int32_t x_min = 0, x_max = 0, y_min = 0, y_max = 0;  // bounds, twips
  std::vector<FillStyle> fills;
  std::vector<LineStyle> lines;
  std::vector<ShapeLayer> layers;
  std::vector<Edge> edges;
  bool truncated = false;  // the records ended early or hit a limit
};

// PlaceObject 1-3. Fields the file leaves out are empty.
struct Place {
  int version = 1;
  std::uint16_t depth = 0;
  bool move = false;  // modify what is at `depth` (PlaceObject2/3)
  std::optional<std::uint16_t> character;
  std::optional<Matrix> matrix;
  std::optional<ColorTransform> color;
  std::optional<std::uint16_t> ratio;
  std::optional<std::string> name;
  std::optional<std::uint16_t> clip_depth;
  std::optional<std::string> class_name;
  std::optional<std::uint8_t> blend_mode;
  std::optional<std::uint8_t> cache_as_bitmap;
  std::optional<std::uint8_t> visible;
  std::uint8_t filter_count = 0;
  bool has_clip_actions = false;
};
struct Remove {
  std::uint16_t depth = 0;
  std::optional<std::uint16_t> character;  // RemoveObject (1) names it
};
using ControlTag = std::variant<Place, Remove>;

struct Frame {
  std::vector<ControlTag> tags;
  std::string label;
};
struct Timeline {
  std::vector<Frame> frames;
  std::uint16_t declared_frames = 0;
};

struct Sprite {
  std::uint16_t id = 0;
  Timeline timeline;
};

// Caps for hostile input. What would exceed one is dropped; parsing goes on
// where that makes sense (a shape keeps the edges before its cap).
struct MovieLimits {
  std::size_t max_bytes = 16u << 20;  // decompressed movie (CWS is inflated up to this)
  std::size_t max_edges_per_shape = 32768;
  std::size_t max_edges = 262144;  // in all shapes
  std::size_t max_styles_per_shape = 4096;
  std::size_t max_characters = 8192;
  std::size_t max_frames = 16000;         // per timeline
  std::size_t max_control_tags = 262144;  // place/remove in all timelines
};

struct Movie {
  SwfHeader header;
  Rgba background{255, 255, 255, 255};
  std::map<std::uint16_t, Shape> shapes;
  std::map<std::uint16_t, Sprite> sprites;
  Timeline timeline;
  std::map<unsigned, std::size_t> tag_counts;  // by tag code, sprites' tags included
  std::size_t skipped_tags = 0;                // tags of kinds this player does not read
  bool truncated = false;                      // a tag ran past the end, or a limit dropped something
};

// Parses a whole movie. Fails only when the header is unusable (not a movie,
// LZMA "ZWS", cut header, broken zlib at the very start); a cut or broken tag
// stream keeps what was read before it.
SwfStatus parse_movie(std::span<const std::uint8_t> bytes, Movie& out, const MovieLimits& limits = {});

// Single records, for tests and tools: each reads one record at the start of
// `bytes` (byte-aligned) and returns the bytes it used, 0 when cut.
std::size_t read_matrix(std::span<const std::uint8_t> bytes, Matrix& out);
std::size_t read_color_transform(std::span<const std::uint8_t> bytes, bool with_alpha, ColorTransform& out);
// A DefineShape tag body (after the tag header) of the given version.
bool read_shape(std::span<const std::uint8_t> body, int version, Shape& out, const MovieLimits& limits = {});

const char* tag_name(unsigned code);

}  // namespace brevaro::media::swf
