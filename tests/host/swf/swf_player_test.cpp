// The player's timeline: frames, sprites with their own timelines, the
// display-list tags, looping, the frame clock, and when the picture changes.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

#include "media/swf/swf_player.h"
#include "tools/swf/swf_writer.h"

namespace brevaro::media::swf {
namespace {

namespace w = swf_writer;

const Rgba kRed{255, 0, 0, 255}, kBlue{0, 0, 255, 255}, kBg{255, 255, 255, 255};

// Shape 1: a red 100 x 60 pixel box at the stage's origin; shape 2: the same, blue.
w::Bytes boxes() {
  w::ShapeSpec red;
  red.id = 1;
  red.fills = {w::solid(kRed)};
  red.contours = {w::rect(0, 0, 2000, 1200, 1)};
  w::ShapeSpec blue = red;
  blue.id = 2;
  blue.fills = {w::solid(kBlue)};
  return w::cat({w::background(kBg), w::define_shape(red), w::define_shape(blue)});
}

Player play(const w::Bytes& tags, std::uint16_t frames, double fps = 12) {
  Movie m;
  EXPECT_EQ(parse_movie(w::movie(8, 468, 60, fps, frames, tags), m), SwfStatus::ok);
  return Player(std::move(m));
}

// The colour at stage pixel (x, 30) of a 468 x 60 rendering.
Rgba pixel(Player& p, int x) {
  std::vector<std::uint32_t> px(468 * 60);
  p.render(Target{px.data(), 468, 60, 468});
  const std::uint32_t v = px[30 * 468 + static_cast<std::size_t>(x)];
  return Rgba{static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v),
              static_cast<std::uint8_t>(v >> 24)};
}

w::Bytes place(std::uint16_t ch, std::uint16_t depth, double x) {
  w::Place2 p;
  p.character = ch;
  p.depth = depth;
  p.matrix = Matrix{1, 0, 0, 1, x * 20, 0};
  return w::place_object2(p);
}
w::Bytes move_to(std::uint16_t depth, double x, std::optional<std::uint16_t> ch = std::nullopt) {
  w::Place2 p;
  p.move = true;
  p.depth = depth;
  p.character = ch;
  p.matrix = Matrix{1, 0, 0, 1, x * 20, 0};
  return w::place_object2(p);
}

TEST(SwfPlayer, FrameRateFromTheHeaderClampedToOneToSixty) {
  const struct {
    double fps;
    double rate;
    int interval_ms;
  } cases[] = {{0, 1, 1000}, {0.5, 1, 1000}, {12, 12, 83}, {24.5, 24.5, 41}, {60, 60, 17}, {255, 60, 17}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fps);
    Player p = play(w::cat({boxes(), w::show_frame()}), 1, c.fps);
    EXPECT_DOUBLE_EQ(p.frame_rate(), c.rate);
    EXPECT_EQ(p.frame_interval_ms(), c.interval_ms);
  }
}

TEST(SwfPlayer, AStillMovieNeverChanges) {
  Player p = play(w::cat({boxes(), place(1, 1, 0), w::show_frame()}), 1);
  EXPECT_EQ(pixel(p, 50), kRed);
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(p.advance());
  EXPECT_EQ(p.current_frame(), 0u);
  EXPECT_EQ(pixel(p, 50), kRed);
}

TEST(SwfPlayer, MainTimelineMovesReplacesRemovesAndLoops) {
  const w::Bytes tags = w::cat({boxes(), place(1, 1, 0), w::show_frame(),  // frame 0: red at 0
                                move_to(1, 200), w::show_frame(),          // frame 1: moved to 200
                                move_to(1, 200, 2), w::show_frame(),       // frame 2: now blue
                                w::show_frame(),                           // frame 3: nothing new
                                w::remove_object2(1), w::show_frame()});   // frame 4: gone
  Player p = play(tags, 5);
  ASSERT_EQ(p.frame_count(), 5u);
  EXPECT_EQ(pixel(p, 50), kRed);
  EXPECT_EQ(pixel(p, 250), kBg);
  EXPECT_TRUE(p.advance());
  EXPECT_EQ(pixel(p, 50), kBg);
  EXPECT_EQ(pixel(p, 250), kRed);
  EXPECT_TRUE(p.advance());
  EXPECT_EQ(pixel(p, 250), kBlue);
  EXPECT_FALSE(p.advance());  // a frame without display-list changes
  EXPECT_EQ(p.current_frame(), 3u);
  EXPECT_TRUE(p.advance());
  EXPECT_EQ(pixel(p, 250), kBg);
  EXPECT_TRUE(p.display_list().empty());
  EXPECT_TRUE(p.advance());  // loops to the first frame
  EXPECT_EQ(p.current_frame(), 0u);
  EXPECT_EQ(pixel(p, 50), kRed);
  EXPECT_EQ(p.instance_count(), 1u);
}

TEST(SwfPlayer, ASpritePlaysWhileTheMainTimelineHasOneFrame) {
  // Sprite 5: the red box stepping right 100 px per frame, three frames.
  const w::Bytes sprite =
      w::cat({place(1, 1, 0), w::show_frame(), move_to(1, 100), w::show_frame(), move_to(1, 200), w::show_frame()});
  Player p = play(w::cat({boxes(), w::define_sprite(5, 3, sprite), place(5, 1, 0), w::show_frame()}), 1);
  ASSERT_EQ(p.display_list().size(), 1u);
  EXPECT_EQ(p.display_list()[0].frame, 0);
  const int expected_x[] = {0, 100, 200, 0, 100};
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    if (i > 0) {
      EXPECT_TRUE(p.advance());
    }
    EXPECT_EQ(p.current_frame(), 0u);
    EXPECT_EQ(pixel(p, expected_x[i] + 50), kRed);
    EXPECT_EQ(pixel(p, (expected_x[i] + 150) % 300 + 50), kBg);
  }
}

TEST(SwfPlayer, SpritesNestAndTheirMatricesCompose) {
  // Sprite 6 holds the box at x 10; the main timeline places sprite 6 at 100, twice as wide.
  const w::Bytes sprite = w::cat({place(1, 1, 10), w::show_frame()});
  w::Place2 big;
  big.character = 6;
  big.depth = 3;
  big.matrix = Matrix{2, 0, 0, 1, 100 * 20, 0};
  Player p = play(w::cat({boxes(), w::define_sprite(6, 1, sprite), w::place_object2(big), w::show_frame()}), 1);
  // The box covers 100 + 2 * 10 .. 100 + 2 * 110 = 120 .. 320.
  EXPECT_EQ(pixel(p, 115), kBg);
  EXPECT_EQ(pixel(p, 125), kRed);
  EXPECT_EQ(pixel(p, 315), kRed);
  EXPECT_EQ(pixel(p, 325), kBg);
  EXPECT_EQ(p.instance_count(), 2u);
}

TEST(SwfPlayer, ColourTransformsOfNestedInstancesCombine) {
  ColorTransform half;
  half.mult_r = 128;
  ColorTransform plus;
  plus.add_b = 100;
  w::Place2 inner;
  inner.character = 1;
  inner.depth = 1;
  inner.color = half;
  w::Place2 outer;
  outer.character = 7;
  outer.depth = 1;
  outer.color = plus;
  Player p = play(w::cat({boxes(), w::define_sprite(7, 1, w::cat({w::place_object2(inner), w::show_frame()})),
                          w::place_object2(outer), w::show_frame()}),
                  1);
  EXPECT_EQ(pixel(p, 50), (Rgba{127, 0, 100, 255}));  // 255 * 128 / 256, whole numbers
}

TEST(SwfPlayer, DisplayListTagsForNothingAreIgnored) {
  const w::Bytes tags = w::cat({boxes(), place(9, 1, 0),  // character 9 is not defined
                                move_to(4, 100),          // nothing at depth 4
                                w::remove_object2(8),     // nor at 8
                                w::remove_object(1, 2),   // RemoveObject (1) of an empty depth
                                place(2, 2, 0), w::show_frame()});
  Player p = play(tags, 1);
  ASSERT_EQ(p.display_list().size(), 1u);
  EXPECT_EQ(p.display_list()[0].depth, 2);
  EXPECT_EQ(pixel(p, 50), kBlue);
}

TEST(SwfPlayer, DepthOrderDecidesWhatIsOnTop) {
  // Placed in the file top first: depth 2 (blue) must still cover depth 1 (red).
  Player p = play(w::cat({boxes(), place(2, 2, 0), place(1, 1, 0), w::show_frame()}), 1);
  EXPECT_EQ(pixel(p, 50), kBlue);
}

}  // namespace
}  // namespace brevaro::media::swf

namespace brevaro::media::swf {
namespace {

std::vector<std::uint32_t> picture(Player& p) {
  std::vector<std::uint32_t> px(468 * 60);
  p.render(Target{px.data(), 468, 60, 468});
  return px;
}

// The default banner the artwork generator writes: it animates, loops after
// four seconds back to its first picture, and its compressed twin is the same movie.
TEST(SwfDefaultBanner, PlaysAndLoops) {
  const auto read = [](const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  Movie m, z;
  ASSERT_EQ(parse_movie(read(BREVARO_ART_DIR "/bv.swf"), m), SwfStatus::ok);
  ASSERT_EQ(parse_movie(read(BREVARO_ART_DIR "/bv-cws.swf"), z), SwfStatus::ok);
  EXPECT_FALSE(m.truncated);
  EXPECT_EQ(m.skipped_tags, 0u);
  EXPECT_EQ(m.timeline.frames.size(), 48u);
  EXPECT_EQ(z.timeline.frames.size(), 48u);
  EXPECT_EQ(m.shapes.size(), z.shapes.size());
  Player p(std::move(m));
  EXPECT_EQ(p.frame_interval_ms(), 83);
  const auto first = picture(p);
  std::set<std::vector<std::uint32_t>> seen{first};
  for (int i = 1; i < 48; ++i) {
    EXPECT_TRUE(p.advance()) << "tick " << i;  // the mark's sprite pulses on every frame
    seen.insert(picture(p));
  }
  EXPECT_GT(seen.size(), 24u);
  EXPECT_FALSE(p.limited());
  EXPECT_TRUE(p.advance());
  EXPECT_EQ(p.current_frame(), 0u);
  EXPECT_EQ(picture(p), first);
}

}  // namespace
}  // namespace brevaro::media::swf
