// Hostile movies: each is parsed, played for three frames and drawn. No
// crash (the host build runs under ASan and UBSan), bounded time, the caps
// hold, and the picture shows what the movie validly holds or its background.
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "media/swf/swf_player.h"
#include "tools/swf/swf_writer.h"

namespace brevaro::media::swf {
namespace {

namespace w = swf_writer;
using Bytes = std::vector<std::uint8_t>;

const Rgba kBg{0x10, 0x20, 0x30, 255}, kRed{255, 0, 0, 255};

Bytes red_box_shape(std::uint16_t id = 1) {
  w::ShapeSpec s;
  s.id = id;
  s.fills = {w::solid(kRed)};
  s.contours = {w::rect(0, 0, 9360, 1200, 1)};
  return w::define_shape(s);
}

Bytes red_box_movie_tags() { return w::cat({w::background(kBg), red_box_shape(), w::place_object(1, 1, Matrix{})}); }

// A long-form tag header claiming `length` bytes.
Bytes long_tag_header(unsigned code, std::uint32_t length) {
  return {static_cast<std::uint8_t>(((code << 6) | 0x3F) & 0xFF),
          static_cast<std::uint8_t>(code >> 2),
          static_cast<std::uint8_t>(length),
          static_cast<std::uint8_t>(length >> 8),
          static_cast<std::uint8_t>(length >> 16),
          static_cast<std::uint8_t>(length >> 24)};
}

// A movie without the End tag and with a raw tail, the header's length left as the writer put it.
Bytes movie_with_tail(const Bytes& tags, const Bytes& tail, int w_px = 468, int h_px = 60, double fps = 12) {
  Bytes m = w::movie(8, w_px, h_px, fps, 1, tags);
  m.resize(m.size() - 2);  // drop End
  m.insert(m.end(), tail.begin(), tail.end());
  return m;
}

Bytes deflate(const Bytes& b) {
  uLongf n = compressBound(static_cast<uLong>(b.size()));
  Bytes z(n);
  EXPECT_EQ(compress2(z.data(), &n, b.data(), static_cast<uLong>(b.size()), 9), Z_OK);
  z.resize(n);
  return z;
}

// "1 10001 ..." -> bytes, most significant bit first, zero padded.
Bytes bits(std::string_view s) {
  Bytes out;
  int n = 0;
  for (char ch : s) {
    if (ch != '0' && ch != '1') continue;
    if (n % 8 == 0) out.push_back(0);
    if (ch == '1') out.back() |= static_cast<std::uint8_t>(0x80 >> (n % 8));
    ++n;
  }
  return out;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::size_t tree_size(const std::vector<Instance>& list) {
  std::size_t n = list.size();
  for (const Instance& in : list) n += tree_size(in.children);
  return n;
}

enum class Shows { background, red, any };

struct Case {
  std::string name;
  std::function<Bytes()> make;
  SwfStatus status = SwfStatus::ok;
  Shows shows = Shows::any;
  std::function<void(const Movie&, const Player&)> check = nullptr;
};

std::vector<Case> cases() {
  std::vector<Case> c;
  c.push_back({"tag_length_past_the_end",
               [] {
                 return movie_with_tail(w::cat({red_box_movie_tags(), w::show_frame()}), long_tag_header(2, 1u << 30));
               },
               SwfStatus::ok, Shows::red, [](const Movie& m, const Player&) { EXPECT_TRUE(m.truncated); }});
  c.push_back({"place_after_the_last_show_frame_in_a_cut_file",
               [] { return movie_with_tail(red_box_movie_tags(), Bytes{0x12}); }, SwfStatus::ok, Shows::red,
               [](const Movie& m, const Player&) { EXPECT_EQ(m.timeline.frames.size(), 1u); }});
  c.push_back({"zlib_bomb",
               [] {
                 // 64 MiB of zeros inside one tag, behind a valid start.
                 Bytes body = w::movie(8, 468, 60, 12, 1, w::cat({w::background(kBg), w::show_frame()}));
                 body.resize(body.size() - 2);
                 const Bytes head = long_tag_header(12, 64u << 20);
                 body.insert(body.end(), head.begin(), head.end());
                 body.resize(body.size() + (64u << 20), 0);
                 Bytes out(body.begin(), body.begin() + 8);
                 out[0] = 'C';
                 const Bytes z = deflate(Bytes(body.begin() + 8, body.end()));
                 out.insert(out.end(), z.begin(), z.end());
                 return out;
               },
               SwfStatus::ok, Shows::background, [](const Movie& m, const Player&) { EXPECT_TRUE(m.truncated); }});
  c.push_back({"broken_zlib_stream", [] { return Bytes{'C', 'W', 'S', 8, 100, 0, 0, 0, 0x78, 0x9C, 0xFF, 0xFF}; },
               SwfStatus::bad_compression, Shows::any});
  c.push_back({"header_cut_in_the_stage_rect", [] { return Bytes{'F', 'W', 'S', 8, 9, 0, 0, 0, 0xF8}; },
               SwfStatus::too_short, Shows::any});
  c.push_back({"sprite_places_itself",
               [] {
                 w::Place2 a;
                 a.character = 5;
                 a.depth = 1;
                 a.matrix = Matrix{0.9, 0, 0, 0.9, 10, 0};
                 w::Place2 b = a;
                 b.depth = 2;
                 const Bytes sprite = w::cat({w::place_object(1, 3, Matrix{}), w::place_object2(a), w::place_object2(b),
                                              w::show_frame(), w::show_frame()});
                 return w::movie(8, 468, 60, 12, 1,
                                 w::cat({w::background(kBg), red_box_shape(), w::define_sprite(5, 2, sprite),
                                         w::place_object(5, 1, Matrix{}), w::show_frame()}));
               },
               SwfStatus::ok, Shows::red,
               [](const Movie&, const Player& p) {
                 EXPECT_LE(p.instance_count(), PlayerLimits{}.max_instances);
                 EXPECT_TRUE(p.limited());
               }});
  c.push_back({"a_million_edges",
               [] {
                 w::ShapeSpec s;
                 s.fills = {w::solid(kRed)};
                 w::Contour zig;
                 zig.fill1 = 1;
                 for (int i = 0; i < 1000000; ++i)
                   zig.pieces.push_back({false, 0, 0, (i % 2) * 9000, 1200 * (i % 3) / 2});
                 s.contours = {zig};
                 return w::movie(8, 468, 60, 12, 1,
                                 w::cat({w::background(kBg), w::define_shape(s), w::place_object(1, 1, Matrix{}),
                                         w::show_frame()}));
               },
               SwfStatus::ok, Shows::any,
               [](const Movie& m, const Player&) {
                 ASSERT_EQ(m.shapes.size(), 1u);
                 EXPECT_EQ(m.shapes.begin()->second.edges.size(), MovieLimits{}.max_edges_per_shape);
                 EXPECT_TRUE(m.truncated);
               }});
  c.push_back({"many_shapes_over_the_total_edge_cap",
               [] {
                 w::ShapeSpec s;
                 s.fills = {w::solid(kRed)};
                 w::Contour zig;
                 zig.fill1 = 1;
                 for (int i = 0; i < 30000; ++i) zig.pieces.push_back({false, 0, 0, (i % 2) * 9000, (i % 3) * 600});
                 s.contours = {zig};
                 Bytes tags = w::background(kBg);
                 for (std::uint16_t id = 1; id <= 12; ++id) {
                   s.id = id;
                   tags = w::cat({tags, w::define_shape(s), w::place_object(id, id, Matrix{})});
                 }
                 return w::movie(8, 468, 60, 12, 1, w::cat({tags, w::show_frame()}));
               },
               SwfStatus::ok, Shows::any,
               [](const Movie& m, const Player& p) {
                 std::size_t edges = 0;
                 for (const auto& [id, s] : m.shapes) edges += s.edges.size();
                 EXPECT_LE(edges, MovieLimits{}.max_edges);
                 EXPECT_TRUE(m.truncated);
                 EXPECT_TRUE(p.limited());  // the frame's segment budget ran out
               }});
  c.push_back({"fill_style_index_out_of_range",
               [] {
                 // DefineShape2 with one fill style; the triangle over the whole
                 // stage names style 3 (in two fill bits).
                 const Bytes body = Bytes{1, 0,    0x00,        // id 1, RECT with 0-bit fields
                                          1, 0x00, 255,  0, 0,  // one solid RGB fill
                                          0, 0x20} +            // no lines; 2 fill bits, 0 line bits
                                    bits(
                                        "0 0 0 1 0 1 00001 0 0 11"                    // fill1 = 3, move to (0, 0)
                                        "1 1 1101 0 0 010010010010000"                // dx 9360
                                        "1 1 1101 0 1 000010010110000"                // dy 1200
                                        "1 1 1101 1 101101101110000 111101101010000"  // back to (0, 0)
                                        "0 00000");
                 return w::movie(
                     8, 468, 60, 12, 1,
                     w::cat({w::background(kBg), w::tag(22, body), w::place_object(1, 1, Matrix{}), w::show_frame()}));
               },
               SwfStatus::ok, Shows::background,
               [](const Movie& m, const Player&) {
                 ASSERT_EQ(m.shapes.size(), 1u);
                 EXPECT_FALSE(m.shapes.begin()->second.truncated);
                 // Edges with no style at all are not kept.
                 EXPECT_TRUE(m.shapes.begin()->second.edges.empty());
                 for (const Edge& e : m.shapes.begin()->second.edges) {
                   EXPECT_EQ(e.fill0, 0u);
                   EXPECT_EQ(e.fill1, 0u);
                 }
               }});
  c.push_back({"gradient_without_records",
               [] {
                 w::ShapeSpec s;
                 s.fills = {w::gradient(FillKind::radial, Matrix{}, {})};
                 s.contours = {w::rect(0, 0, 9360, 1200, 1)};
                 return w::movie(8, 468, 60, 12, 1,
                                 w::cat({w::background(kBg), w::define_shape(s), w::place_object(1, 1, Matrix{}),
                                         w::show_frame()}));
               },
               SwfStatus::ok, Shows::background});
  c.push_back(
      {"gradient_squeezed_to_nothing",
       [] {
         w::ShapeSpec s;
         s.fills = {w::gradient(FillKind::linear, Matrix{0, 0, 0, 0, 0, 0}, {{0, {0, 0, 0, 255}}, {255, kRed}})};
         s.contours = {w::rect(0, 0, 9360, 1200, 1)};
         return w::movie(
             8, 468, 60, 12, 1,
             w::cat({w::background(kBg), w::define_shape(s), w::place_object(1, 1, Matrix{}), w::show_frame()}));
       },
       SwfStatus::ok, Shows::red});
  c.push_back({"unknown_fill_type",
               [] {
                 const Bytes body = {1, 0, 0x00, 1, 0x99, 1, 2, 3, 0, 0x10, 0x00};
                 return w::movie(
                     8, 468, 60, 12, 1,
                     w::cat({w::background(kBg), w::tag(32, body), w::place_object(1, 1, Matrix{}), w::show_frame()}));
               },
               SwfStatus::ok, Shows::background});
  c.push_back({"stage_0_by_0",
               [] {
                 return w::movie(8, 0, 0, 12, 1, w::cat({red_box_movie_tags(), w::show_frame()}));
               },
               SwfStatus::ok, Shows::background});
  c.push_back({"stage_65535_by_65535",
               [] {
                 return w::movie(8, 65535, 65535, 12, 1, w::cat({red_box_movie_tags(), w::show_frame()}));
               },
               SwfStatus::ok, Shows::background});
  c.push_back({"frame_rate_0",
               [] {
                 return w::movie(8, 468, 60, 0, 1, w::cat({red_box_movie_tags(), w::show_frame()}));
               },
               SwfStatus::ok, Shows::red,
               [](const Movie&, const Player& p) { EXPECT_EQ(p.frame_interval_ms(), 1000); }});
  c.push_back({"frame_rate_255",
               [] {
                 return w::movie(8, 468, 60, 255, 1, w::cat({red_box_movie_tags(), w::show_frame()}));
               },
               SwfStatus::ok, Shows::red, [](const Movie&, const Player& p) { EXPECT_EQ(p.frame_interval_ms(), 17); }});
  c.push_back({"huge_placement_scale",
               [] {
                 w::ShapeSpec s;
                 s.fills = {w::solid(kRed)};
                 s.contours = {w::ellipse(0, 0, 100, 100, 1)};
                 return w::movie(
                     8, 468, 60, 12, 1,
                     w::cat({w::background(kBg), w::define_shape(s),
                             w::place_object(1, 1, Matrix{16000, 0, 0, 16000, 4680, 600}), w::show_frame()}));
               },
               SwfStatus::ok, Shows::red});
  c.push_back({"ten_thousand_frames_of_places",
               [] {
                 Bytes tags = w::cat({w::background(kBg), red_box_shape()});
                 for (int i = 0; i < 10000; ++i) {
                   tags = w::cat(
                       {tags, w::place_object(1, static_cast<std::uint16_t>(i % 5000 + 1), Matrix{}), w::show_frame()});
                 }
                 return w::movie(8, 468, 60, 60, 10000, tags);
               },
               SwfStatus::ok, Shows::red,
               [](const Movie& m, const Player& p) {
                 EXPECT_EQ(m.timeline.frames.size(), 10000u);
                 EXPECT_LE(p.instance_count(), PlayerLimits{}.max_per_list);
               }});
  return c;
}

class Hostile : public ::testing::TestWithParam<Case> {};

TEST_P(Hostile, BoundedAndShowsWhatItValidlyHolds) {
  const Case& c = GetParam();
  const Bytes file = c.make();
  const auto start = std::chrono::steady_clock::now();
  Movie m;
  ASSERT_EQ(parse_movie(file, m), c.status);
  if (c.status != SwfStatus::ok) return;
  Player p(m);
  std::vector<std::uint32_t> px(468 * 60);
  const Target t{px.data(), 468, 60, 468};
  for (int i = 0; i < 3; ++i) {
    if (i > 0) p.advance();
    p.render(t);
    // The player's count of instances is the true one, and within its cap.
    EXPECT_EQ(p.instance_count(), tree_size(p.display_list()));
    EXPECT_LE(p.instance_count(), PlayerLimits{}.max_instances);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 10.0) << "parse and three frames (debug build with sanitizers)";
  const std::uint32_t centre = px[30 * 468 + 234];
  if (c.shows == Shows::background) {
    EXPECT_EQ(centre, premultiply(kBg));
  } else if (c.shows == Shows::red) {
    EXPECT_EQ(centre, premultiply(kRed));
  }
  if (c.check) c.check(m, p);
}

INSTANTIATE_TEST_SUITE_P(Movies, Hostile, ::testing::ValuesIn(cases()), [](const auto& p) { return p.param.name; });

}  // namespace
}  // namespace brevaro::media::swf
