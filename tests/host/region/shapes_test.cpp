// Scan conversion of ellipses, rounded rectangles and polygons. The expected
// rectangles were read from GDI under Wine (CreateEllipticRgn,
// CreateRoundRectRgn, CreatePolygonRgn, canonicalised); tests/wine/region
// checks a larger table against GDI itself.
#include <gtest/gtest.h>

#include "region/shapes.h"
#include "tests/host/region/test_util.h"

namespace brevaro::region {
namespace {

using testing::to_string;

TEST(Shapes, EllipseTenByTenMatchesGdi) {
  EXPECT_EQ(to_string(canonicalize(ellipse_rects(0, 0, 10, 10))), "(3,0,6,1)(1,1,8,3)(0,3,9,6)(1,6,8,8)(3,8,6,9)");
}

TEST(Shapes, RoundRectMatchesGdi) {
  EXPECT_EQ(to_string(canonicalize(round_rect_rects(0, 0, 10, 10, 4, 4))), "(1,0,8,1)(0,1,9,8)(1,8,8,9)");
}

TEST(Shapes, RoundRectWithSmallCornersIsTheInnerRectangle) {
  // Corners below 2 pixels: the rectangle with right and bottom moved in.
  EXPECT_EQ(to_string(canonicalize(round_rect_rects(0, 0, 10, 10, 1, 1))), "(0,0,9,9)");
  EXPECT_EQ(to_string(canonicalize(round_rect_rects(10, 10, 0, 0, 0, 0))), "(0,0,9,9)");
}

TEST(Shapes, FlatArcsHaveNoMissingRows) {
  // Narrow corners against a tall rectangle: every row of the shape has a
  // span, the first and last rows the arc's tip.
  for (const auto& rects :
       {round_rect_rects(-811, 562, -702, 1376, 19, 705), ellipse_rects(0, 0, 3, 40), ellipse_rects(5, 7, 8, 30)}) {
    const auto canon = canonicalize(rects);
    ASSERT_FALSE(canon.empty());
    int32_t y = canon.front().top;
    for (const Rect& r : canon) {
      EXPECT_EQ(r.top, y) << "gap";
      y = r.bottom;
    }
  }
  EXPECT_EQ(to_string(canonicalize(ellipse_rects(0, 0, 3, 10))), "(0,0,2,9)");
}

TEST(Shapes, EllipseSwappedCornersIsTheSame) {
  EXPECT_EQ(canonicalize(ellipse_rects(20, 30, 0, 0)), canonicalize(ellipse_rects(0, 0, 20, 30)));
}

TEST(Shapes, TriangleAlternateMatchesGdi) {
  const std::vector<Point> tri = {{0, 0}, {10, 0}, {0, 10}};
  EXPECT_EQ(to_string(canonicalize(polygon_rects(tri, FillMode::Alternate))),
            "(0,0,10,1)(0,1,9,2)(0,2,8,3)(0,3,7,4)(0,4,6,5)(0,5,5,6)(0,6,4,7)(0,7,3,8)(0,8,2,9)"
            "(0,9,1,10)");
}

TEST(Shapes, PolygonRectangleIsExact) {
  const std::vector<Point> sq = {{2, 3}, {12, 3}, {12, 8}, {2, 8}};
  EXPECT_EQ(to_string(canonicalize(polygon_rects(sq, FillMode::Alternate))), "(2,3,12,8)");
}

TEST(Shapes, StarAlternateHasAHoleWindingHasNone) {
  // A five-pointed star drawn in one stroke.
  const std::vector<Point> star = {{50, 0}, {79, 90}, {2, 35}, {98, 35}, {21, 90}};
  const auto alt = canonicalize(polygon_rects(star, FillMode::Alternate));
  const auto win = canonicalize(polygon_rects(star, FillMode::Winding));
  EXPECT_NE(alt, win);
  // Row 50 crosses the centre pentagon: two spans in alternate, one in winding.
  auto spans_at = [](const std::vector<Rect>& rs, int y) {
    int n = 0;
    for (const Rect& r : rs) n += (r.top <= y && y < r.bottom) ? 1 : 0;
    return n;
  };
  EXPECT_EQ(spans_at(alt, 50), 2);
  EXPECT_EQ(spans_at(win, 50), 1);
}

TEST(Shapes, HugeShapesAreBoundedNotHung) {
  EXPECT_TRUE(ellipse_rects(0, 0, 2000000000, 2000000000).empty());
  EXPECT_TRUE(round_rect_rects(-2147483647 - 1, -2147483647 - 1, 2147483647, 2147483647, 2147483647, 5).empty());
  const std::vector<Point> big = {{0, 0}, {5, 2000000000}, {-7, 100}};
  EXPECT_TRUE(polygon_rects(big, FillMode::Winding).empty());
  // A huge rounded rectangle with small corners is still fine (few rows).
  EXPECT_FALSE(round_rect_rects(0, 0, 2000000000, 2000000000, 10, 10).empty());
}

TEST(Canonicalize, MergesOverlapsAndEqualBands) {
  std::vector<Rect> in = {{0, 0, 5, 5}, {5, 0, 10, 5}, {0, 5, 10, 6}, {20, 0, 30, 2}, {25, 1, 35, 3}};
  EXPECT_EQ(to_string(canonicalize(in)), "(0,0,10,1)(20,0,30,1)(0,1,10,2)(20,1,35,2)(0,2,10,3)(25,2,35,3)(0,3,10,6)");
  EXPECT_TRUE(is_canonical(canonicalize(in)));
  EXPECT_FALSE(is_canonical(in));
  EXPECT_TRUE(canonicalize({{5, 5, 5, 9}, {3, 3, 1, 1}}).empty());
}

}  // namespace
}  // namespace brevaro::region
