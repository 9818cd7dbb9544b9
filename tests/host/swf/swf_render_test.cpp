// The renderer against cairo: each scene of the movie writer, frame by frame,
// played by our player and drawn by cairo from the writer's own description.
//
// Agreement stated and checked per pixel, per channel:
// - inside opaque solid fills and the inside of lines (more than 2 pixels
//   from any outline): exactly equal; in scenes with translucent colours, at
//   most 2 apart (rounding of the blend);
// - under gradients away from outlines: at most kGradientTolerance apart;
// - within 2 pixels of an outline (partial coverage, curves flattened to
//   0.1 pixel, round joins as polygons): at most kEdgeTolerance apart, and
//   on average (over those pixels) less than kEdgeMeanTolerance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "media/swf/swf_player.h"
#include "tests/host/swf/cairo_oracle.h"

namespace brevaro::media::swf {
namespace {

constexpr int kW = 468, kH = 60;
constexpr int kGradientTolerance = 3;
constexpr int kEdgeTolerance = 32;
constexpr double kEdgeMeanTolerance = 2.0;

// With BREVARO_SWF_DUMP set to a folder, both pictures of each frame are
// written there (PPM) for a look at a failure.
void dump(const std::string& name, const std::vector<std::uint32_t>& px) {
  const char* dir = std::getenv("BREVARO_SWF_DUMP");
  if (!dir) return;
  std::FILE* f = std::fopen((std::string(dir) + "/" + name + ".ppm").c_str(), "wb");
  if (!f) return;
  std::fprintf(f, "P6 %d %d 255\n", kW, kH);
  for (std::uint32_t p : px) {
    const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16), static_cast<unsigned char>(p >> 8),
                                  static_cast<unsigned char>(p)};
    std::fwrite(rgb, 1, 3, f);
  }
  std::fclose(f);
}

int channel_diff(std::uint32_t a, std::uint32_t b) {
  int d = 0;
  for (int s = 0; s < 32; s += 8)
    d = std::max(d, std::abs(static_cast<int>((a >> s) & 0xFF) - static_cast<int>((b >> s) & 0xFF)));
  return d;
}

class SceneTest : public ::testing::TestWithParam<swf_writer::Scene> {};

TEST_P(SceneTest, EveryFrameAgreesWithCairo) {
  const swf_writer::Scene& s = GetParam();
  Movie m;
  ASSERT_EQ(parse_movie(s.file, m), SwfStatus::ok);
  EXPECT_FALSE(m.truncated);
  Player player(std::move(m));
  std::vector<std::uint32_t> ours(static_cast<std::size_t>(kW * kH));
  const Target t{ours.data(), kW, kH, kW};
  for (std::size_t f = 0; f < s.frames.size(); ++f) {
    SCOPED_TRACE("frame " + std::to_string(f));
    if (f > 0) {
      EXPECT_TRUE(player.advance());
    }
    player.render(t);
    EXPECT_FALSE(player.limited());
    const auto ref = swf_test::cairo_frame(s, f, kW, kH);
    const auto cls = swf_test::classify(s, f, kW, kH);
    dump(s.name + "-" + std::to_string(f) + "-ours", ours);
    dump(s.name + "-" + std::to_string(f) + "-cairo", ref);
    int max_inner = 0, max_grad = 0, max_edge = 0;
    long edge_sum = 0, edge_n = 0, inner_n = 0, grad_n = 0;
    int worst_x = -1, worst_y = -1;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const std::size_t i = static_cast<std::size_t>(y * kW + x);
        const int d = channel_diff(ours[i], ref[i]);
        if (cls.edge[i]) {
          max_edge = std::max(max_edge, d);
          edge_sum += d;
          ++edge_n;
        } else if (cls.gradient[i]) {
          if (d > max_grad) worst_x = x, worst_y = y;
          max_grad = std::max(max_grad, d);
          ++grad_n;
        } else {
          if (d > max_inner) worst_x = x, worst_y = y;
          max_inner = std::max(max_inner, d);
          ++inner_n;
        }
      }
    }
    const double edge_mean = edge_n ? static_cast<double>(edge_sum) / edge_n : 0;
    std::printf(
        "[ scene    ] %s frame %zu: inner %ld px max %d, gradient %ld px max %d, edge %ld px max %d mean %.2f\n",
        s.name.c_str(), f, inner_n, max_inner, grad_n, max_grad, edge_n, max_edge, edge_mean);
    EXPECT_LE(max_inner, s.translucent ? 2 : 0) << "worst at " << worst_x << "," << worst_y;
    EXPECT_LE(max_grad, kGradientTolerance) << "worst at " << worst_x << "," << worst_y;
    EXPECT_LE(max_edge, kEdgeTolerance);
    EXPECT_LT(edge_mean, kEdgeMeanTolerance);
    // The comparison covers the picture: most pixels are judged strictly.
    EXPECT_GT(inner_n + grad_n, kW * kH / 2);
  }
}

INSTANTIATE_TEST_SUITE_P(Scenes, SceneTest, ::testing::ValuesIn(swf_writer::test_scenes()),
                         [](const auto& p) { return p.param.name; });

}  // namespace
}  // namespace brevaro::media::swf
