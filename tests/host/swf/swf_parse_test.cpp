// Parser fixtures decoded by hand from the format's published tables: each
// record is spelled out field by field as bit strings, so a misreading
// shared by our writer and our parser cannot hide.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string_view>
#include <vector>

#include "media/swf/swf_movie.h"

namespace brevaro::media::swf {
namespace {

using Bytes = std::vector<std::uint8_t>;

// "1 10001 ..." -> bytes, most significant bit first, the last byte padded with zeros.
Bytes bits(std::string_view s) {
  Bytes out;
  int n = 0;
  for (char c : s) {
    if (c != '0' && c != '1') continue;
    if (n % 8 == 0) out.push_back(0);
    if (c == '1') out.back() |= static_cast<std::uint8_t>(0x80 >> (n % 8));
    ++n;
  }
  return out;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(SwfRecords, MatrixWithScaleAndSignedTranslate) {
  // HasScale 1, NScaleBits 17, ScaleX 0x08000 (0.5), ScaleY 0x18000 (-0.5 in 17 bits),
  // HasRotate 0, NTranslateBits 7, TranslateX 20, TranslateY -40 (1011000).
  const Bytes b = bits("1 10001 01000000000000000 11000000000000000 0 00111 0010100 1011000");
  ASSERT_EQ(b.size(), 8u);
  Matrix m;
  EXPECT_EQ(read_matrix(b, m), 8u);
  EXPECT_EQ(m, (Matrix{0.5, 0, 0, -0.5, 20, -40}));
}

TEST(SwfRecords, MatrixWithRotateOnly) {
  // HasScale 0, HasRotate 1, NRotateBits 18, RotateSkew0 0x10000 (1.0), RotateSkew1 0x30000 (-1.0),
  // NTranslateBits 0.
  const Bytes b = bits("0 1 10010 010000000000000000 110000000000000000 00000");
  Matrix m;
  EXPECT_EQ(read_matrix(b, m), b.size());
  EXPECT_EQ(m, (Matrix{1, 1, -1, 1, 0, 0}));
}

TEST(SwfRecords, ColorTransformWithAlpha) {
  // HasAddTerms 1, HasMultTerms 1, Nbits 10; mult 256, 128, -256, 64; add 255, -255, 0, -1.
  const Bytes b =
      bits("1 1 1010 0100000000 0010000000 1100000000 0001000000 0011111111 1100000001 0000000000 1111111111");
  ColorTransform cx;
  EXPECT_EQ(read_color_transform(b, true, cx), 11u);
  EXPECT_EQ(cx, (ColorTransform{256, 128, -256, 64, 255, -255, 0, -1}));
  // Without alpha (PlaceObject's CXFORM): only add terms here, Nbits 9: 10, -10, 255.
  const Bytes c = bits("1 0 1001 000001010 111110110 011111111");
  EXPECT_EQ(read_color_transform(c, false, cx), c.size());
  EXPECT_EQ(cx, (ColorTransform{256, 256, 256, 256, 10, -10, 255, 0}));
  EXPECT_EQ(apply(cx, Rgba{250, 5, 0, 77}), (Rgba{255, 0, 255, 77}));
}

TEST(SwfRecords, CutRecordsAreRefused) {
  Matrix m;
  EXPECT_EQ(read_matrix(bits("1 10001 0100"), m), 0u);
  ColorTransform cx;
  EXPECT_EQ(read_color_transform(bits("1 1 1010 0100000000"), true, cx), 0u);
}

// DefineShape3 body: id 7, bounds 0..500 x 0..300, a translucent solid and a
// linear gradient (reflect, linear RGB), one line; a triangle of the three
// straight edge kinds, then a curve whose fill-0 index is out of range.
const Bytes kShape3 = Bytes{7, 0} + bits("01010 0000000000 0111110100 0000000000 0100101100") +
                      Bytes{2,                               // fill styles
                            0x00, 255,  0,   0,   128,       // solid RGBA
                            0x10, 0x00,                      // linear, identity matrix
                            0x52,                            // spread 01, interpolation 01, 2 records
                            0,    0,    0,   0,   255,       // ratio 0: black
                            255,  255,  255, 255, 255,       // ratio 255: white
                            1,                               // line styles
                            40,   0,    0,   0,   255, 255,  // width 40, blue
                            0x21} +                          // 2 fill bits, 1 line bit
                      bits(
                          // style change: line, fill1, move to (100, 200) in 9 bits, fill1 = 1, line = 1
                          "0 0 1 1 0 1 01001 001100100 011001000 01 1"
                          // straight, 10 bits, horizontal: dx 300
                          "1 1 1000 0 0 0100101100"
                          // straight, 7 bits, vertical: dy -50
                          "1 1 0101 0 1 1001110"
                          // straight, 10 bits, general: dx -300, dy 50
                          "1 1 1000 1 1011010100 0000110010"
                          // style change: fill1, fill0: fill0 = 3 (no such style), fill1 = 2
                          "0 0 0 1 1 0 11 10"
                          // curve, 7 bits: control (+50, +50), anchor (+50, -50)
                          "1 0 0101 0110010 0110010 0110010 1001110"
                          // end of shape
                          "0 00000");

TEST(SwfShapes, DefineShape3DecodedByHand) {
  Shape s;
  ASSERT_TRUE(read_shape(kShape3, 3, s));
  EXPECT_FALSE(s.truncated);
  EXPECT_EQ(s.id, 7);
  EXPECT_EQ(s.x_max, 500);
  EXPECT_EQ(s.y_max, 300);
  ASSERT_EQ(s.fills.size(), 2u);
  EXPECT_EQ(s.fills[0].kind, FillKind::solid);
  EXPECT_EQ(s.fills[0].color, (Rgba{255, 0, 0, 128}));
  EXPECT_EQ(s.fills[1].kind, FillKind::linear);
  EXPECT_EQ(s.fills[1].spread, Spread::reflect);
  EXPECT_EQ(s.fills[1].interpolation, Interpolation::linear_rgb);
  ASSERT_EQ(s.fills[1].stops.size(), 2u);
  EXPECT_EQ(s.fills[1].stops[1], (GradientStop{255, {255, 255, 255, 255}}));
  ASSERT_EQ(s.lines.size(), 1u);
  EXPECT_EQ(s.lines[0].width, 40);
  EXPECT_EQ(s.lines[0].color, (Rgba{0, 0, 255, 255}));
  const std::vector<Edge> want = {
      {100, 200, 250, 200, 400, 200, 0, 1, 1, false},
      {400, 200, 400, 175, 400, 150, 0, 1, 1, false},
      {400, 150, 250, 175, 100, 200, 0, 1, 1, false},
      {100, 200, 150, 250, 200, 200, 0, 2, 1, true},
  };
  EXPECT_EQ(s.edges, want);
}

TEST(SwfShapes, RgbColoursAndNewStylesStartALayer) {
  // DefineShape2: RGB colours, then a "new styles" record with its own
  // one-fill array.
  const Bytes body = Bytes{1, 0} + bits("00011 000 001 000 001") + Bytes{1,   0x00, 10, 20, 30,  // one RGB fill
                                                                         0,                      // no lines
                                                                         0x10} +  // 1 fill bit, 0 line bits
                     bits(
                         // style change: fill1 = 1, move to (1, 1) in 2 bits
                         "0 0 0 1 0 1 00010 01 01 1"
                         // straight horizontal dx 2 (2 bits + 2 = 4)
                         "1 1 0010 0 0 0010"
                         // style change: new styles, fill1 (index read before the arrays, meaning the new array)
                         "0 1 0 1 0 0 1") +
                     Bytes{1, 0x00, 40, 50, 60, 0, 0x10} +
                     bits(
                         // vertical dy 2
                         "1 1 0010 0 1 0010"
                         // end
                         "0 00000");
  Shape s;
  ASSERT_TRUE(read_shape(body, 2, s));
  ASSERT_EQ(s.fills.size(), 2u);
  EXPECT_EQ(s.fills[1].color, (Rgba{40, 50, 60, 255}));
  ASSERT_EQ(s.layers.size(), 2u);
  EXPECT_EQ(s.layers[1].fill_begin, 2u);
  EXPECT_EQ(s.layers[1].fill_end, 3u);
  ASSERT_EQ(s.edges.size(), 2u);
  EXPECT_EQ(s.edges[0].fill1, 1u);
  EXPECT_EQ(s.edges[1].fill1, 2u);  // the new array's first style
  EXPECT_EQ(s.edges[1].x0, 3);
  EXPECT_EQ(s.edges[1].y1, 3);
}

TEST(SwfShapes, DefineShape4LineStylesAndFocalGradient) {
  const Bytes body = Bytes{9, 0} + bits("00010 01 01 01 01") +                       // bounds
                     bits("00010 01 01 01 01") + Bytes{0x00} +                       // edge bounds, flags
                     Bytes{1,    0x13, 0x00,                                         // focal, identity
                           0x02,                                                     // pad, RGB, 2 records
                           0,    1,    2,    3, 255, 255, 4, 5, 6, 255, 0x80, 0xFF,  // focal point -0.5 (8.8)
                           2,                                                        // lines
                           60,   0} +
                     // start cap 00, join 10 (miter), has fill 1, 000, reserved 00000, no close 0, end cap 01
                     bits("00 10 1 000 00000 0 01") + Bytes{0x00, 0x03,             // miter limit 3.0
                                                            0x00, 9,    8, 7, 200,  // the line's fill: solid RGBA
                                                            20,   0} +              // second line: width 20,
                     bits("01 00 0 000 00000 0 10") +  // no cap, round join, no fill, square end
                     Bytes{1, 2, 3, 4,                 // RGBA
                           0x12} +
                     bits("0 00000");  // no edges
  Shape s;
  ASSERT_TRUE(read_shape(body, 4, s));
  ASSERT_EQ(s.fills.size(), 1u);
  EXPECT_EQ(s.fills[0].kind, FillKind::focal);
  EXPECT_DOUBLE_EQ(s.fills[0].focal, -0.5);
  EXPECT_EQ(s.fills[0].stops[1], (GradientStop{255, {4, 5, 6, 255}}));
  ASSERT_EQ(s.lines.size(), 2u);
  EXPECT_EQ(s.lines[0].width, 60);
  EXPECT_EQ(s.lines[0].join, 2);
  EXPECT_EQ(s.lines[0].end_cap, 1);
  ASSERT_TRUE(s.lines[0].fill.has_value());
  EXPECT_EQ(s.lines[0].color, (Rgba{9, 8, 7, 200}));
  EXPECT_EQ(s.lines[1].start_cap, 1);
  EXPECT_EQ(s.lines[1].end_cap, 2);
  EXPECT_FALSE(s.lines[1].fill.has_value());
  EXPECT_EQ(s.lines[1].color, (Rgba{1, 2, 3, 4}));
}

// A whole movie: header (RECT of 468 x 60 pixels in 15-bit fields, 12 fps,
// 2 frames), then SetBackgroundColor, PlaceObject2, ShowFrame,
// RemoveObject2, FrameLabel, a DoAction in the long tag form, ShowFrame, End.
Bytes movie_body() {
  return bits("01111 000000000000000 010010010010000 000000000000000 000010010110000") +
         Bytes{0x00, 12,   2,    0,                       // 12.0 fps, 2 frames
               0x43, 0x02, 0xBD, 0xD6, 0xEF,              // SetBackgroundColor
               0x86, 0x06, 0x06, 1,    0,    7, 0, 0x00,  // PlaceObject2: matrix + character, depth 1, char 7
               0x40, 0x00,                                // ShowFrame
               0x02, 0x07, 1,    0,                       // RemoveObject2 depth 1
               0xC4, 0x0A, 'e',  'n',  'd',  0,           // FrameLabel "end"
               0x3F, 0x03, 2,    0,    0,    0, 0, 0,     // DoAction, long form, 2 bytes
               0x40, 0x00,                                // ShowFrame
               0x00, 0x00};                               // End
}

Bytes with_header(char sig, const Bytes& body) {
  const auto len = static_cast<std::uint32_t>(8 + body.size());
  return Bytes{static_cast<std::uint8_t>(sig),      'W', 'S', 8, static_cast<std::uint8_t>(len),
               static_cast<std::uint8_t>(len >> 8), 0,   0} +
         body;
}

Bytes deflate(const Bytes& b) {
  uLongf n = compressBound(static_cast<uLong>(b.size()));
  Bytes z(n);
  EXPECT_EQ(compress(z.data(), &n, b.data(), static_cast<uLong>(b.size())), Z_OK);
  z.resize(n);
  return z;
}

void expect_movie(const Movie& m) {
  EXPECT_EQ(m.header.stage_width, 468);
  EXPECT_EQ(m.header.stage_height, 60);
  EXPECT_DOUBLE_EQ(m.header.frame_rate, 12.0);
  EXPECT_EQ(m.background, (Rgba{0xBD, 0xD6, 0xEF, 255}));
  EXPECT_EQ(m.skipped_tags, 1u);
  EXPECT_FALSE(m.truncated);
  ASSERT_EQ(m.timeline.frames.size(), 2u);
  ASSERT_EQ(m.timeline.frames[0].tags.size(), 1u);
  const Place& p = std::get<Place>(m.timeline.frames[0].tags[0]);
  EXPECT_EQ(p.version, 2);
  EXPECT_EQ(p.depth, 1);
  EXPECT_EQ(p.character, std::optional<std::uint16_t>(7));
  EXPECT_EQ(p.matrix, std::optional<Matrix>(Matrix{}));
  EXPECT_FALSE(p.move);
  EXPECT_FALSE(p.color.has_value());
  ASSERT_EQ(m.timeline.frames[1].tags.size(), 1u);
  EXPECT_EQ(std::get<Remove>(m.timeline.frames[1].tags[0]).depth, 1);
  EXPECT_EQ(m.timeline.frames[1].label, "end");
}

TEST(SwfMovie, PlainAndZlibCompressedReadAlike) {
  Movie m;
  ASSERT_EQ(parse_movie(with_header('F', movie_body()), m), SwfStatus::ok);
  expect_movie(m);
  Movie z;
  ASSERT_EQ(parse_movie(with_header('C', deflate(movie_body())), z), SwfStatus::ok);
  EXPECT_TRUE(z.header.compressed);
  expect_movie(z);
}

TEST(SwfMovie, LzmaCompressedIsRefusedLikeABrokenMovie) {
  Movie m;
  EXPECT_EQ(parse_movie(with_header('Z', movie_body()), m), SwfStatus::not_swf);
  EXPECT_TRUE(m.timeline.frames.empty());
}

TEST(SwfMovie, PlaceObject3KeepsNameClipDepthAndSkipsFiltersToTheBlendMode) {
  const Bytes body = Bytes{0x62, 0x03, 5, 0, 9, 0, 'm', 0, 6, 0,  // flags, depth 5, char 9, "m", clip depth 6
                           2,                                     // two filters
                           1,    0,    0, 1, 0, 0, 0,   1, 0, 1,  // blur: 4 + 4 + 1 bytes
                           2,    1,    2, 3, 4, 0, 0,   1, 0, 0, 0, 1, 0, 0, 1, 0x20,  // glow: 15 bytes
                           3};                                                         // blend mode
  const Bytes tags = Bytes{0xBF, 0x11, static_cast<std::uint8_t>(body.size()), 0, 0, 0} + body + Bytes{0x40, 0};
  const Bytes file = with_header('F', bits("00001 0 0 0 0") + Bytes{0, 12, 1, 0} + tags + Bytes{0, 0});
  Movie m;
  ASSERT_EQ(parse_movie(file, m), SwfStatus::ok);
  ASSERT_EQ(m.timeline.frames.size(), 1u);
  ASSERT_EQ(m.timeline.frames[0].tags.size(), 1u);
  const Place& p = std::get<Place>(m.timeline.frames[0].tags[0]);
  EXPECT_EQ(p.version, 3);
  EXPECT_EQ(p.depth, 5);
  EXPECT_EQ(p.character, std::optional<std::uint16_t>(9));
  EXPECT_EQ(p.name, std::optional<std::string>("m"));
  EXPECT_EQ(p.clip_depth, std::optional<std::uint16_t>(6));
  EXPECT_EQ(p.filter_count, 2);
  EXPECT_EQ(p.blend_mode, std::optional<std::uint8_t>(3));
}

}  // namespace
}  // namespace brevaro::media::swf
