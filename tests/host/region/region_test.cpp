// The region value type (host backend: pixman).
#include <gtest/gtest.h>

#include <random>
#include <type_traits>

#include "region/region.h"
#include "tests/host/region/test_util.h"

namespace brevaro::region {
namespace {

using testing::rects_of;
using testing::to_string;

static_assert(!std::is_copy_constructible_v<Region>);
static_assert(!std::is_copy_assignable_v<Region>);
static_assert(std::is_nothrow_move_constructible_v<Region>);

TEST(Region, DefaultIsNoneEmptyIsARegion) {
  Region none;
  EXPECT_FALSE(none.valid());
  Region e = Region::empty();
  EXPECT_TRUE(e.valid());
  EXPECT_TRUE(e.is_empty());
  EXPECT_EQ(e.bbox(), (Rect{0, 0, 0, 0}));
}

TEST(Region, MoveLeavesNone) {
  Region a = Region::rect(0, 0, 5, 5);
  Region b = std::move(a);
  EXPECT_FALSE(a.valid());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(rects_of(b), "(0,0,5,5)");
  b = Region::rect(1, 1, 2, 2);
  EXPECT_EQ(rects_of(b), "(1,1,2,2)");
}

TEST(Region, RectNormalisesAndEmptyWhenFlat) {
  EXPECT_EQ(rects_of(Region::rect(10, 20, 0, 5)), "(0,5,10,20)");
  EXPECT_TRUE(Region::rect(3, 3, 3, 10).is_empty());
  EXPECT_EQ(Region::rect(-2147483647 - 1, -5, 2147483647, 5).bbox(), (Rect{-2147483647 - 1, -5, 2147483647, 5}));
}

TEST(Region, CombineModes) {
  const Region b = Region::rect(5, 0, 15, 10);
  auto with = [&](CombineMode m) {
    Region a = Region::rect(0, 0, 10, 10);
    a.combine(b, m);
    return rects_of(a);
  };
  EXPECT_EQ(with(CombineMode::And), "(5,0,10,10)");
  EXPECT_EQ(with(CombineMode::Or), "(0,0,15,10)");
  EXPECT_EQ(with(CombineMode::Xor), "(0,0,5,10)(10,0,15,10)");
  EXPECT_EQ(with(CombineMode::Diff), "(0,0,5,10)");
  EXPECT_EQ(with(CombineMode::Copy), "(5,0,15,10)");
}

TEST(Region, CopyIsIndependent) {
  Region a = Region::rect(0, 0, 4, 4);
  Region c = a.copy();
  a.offset(10, 10);
  EXPECT_EQ(rects_of(c), "(0,0,4,4)");
  EXPECT_EQ(rects_of(a), "(10,10,14,14)");
  EXPECT_FALSE(a.equals(c));
  c.offset(10, 10);
  EXPECT_TRUE(a.equals(c));
}

TEST(Region, FromRectsIsTheUnion) {
  const std::vector<Rect> in = {{0, 0, 2, 1}, {2, 0, 4, 1}, {0, 1, 4, 2}, {9, 9, 9, 9}, {6, 6, 1, 1}};
  EXPECT_EQ(rects_of(Region::from_rects(in)), "(0,0,4,2)");
  const std::vector<Rect> overlap = {{0, 0, 10, 10}, {5, 5, 15, 15}};
  EXPECT_EQ(rects_of(Region::from_rects(overlap)), "(0,0,10,5)(0,5,15,10)(5,10,15,15)");
  EXPECT_TRUE(Region::from_rects({}).is_empty());
}

// OR has a fast path for regions that lie (mostly) below the receiver; it
// must agree with the plain union everywhere.
TEST(Region, OrAgreesWithPlainUnionOnRandomBands) {
  std::mt19937 rng(7);
  auto random_rects = [&](int y0, int rows) {
    std::vector<Rect> rs;
    for (int y = y0; y < y0 + rows; ++y) {
      int x = static_cast<int>(rng() % 5);
      while (x < 60) {
        const int len = 1 + static_cast<int>(rng() % 6);
        if (rng() % 3 != 0) rs.push_back({x, y, x + len, y + 1 + static_cast<int>(rng() % 2) * 0});
        x += len + 1 + static_cast<int>(rng() % 4);
      }
      if (rng() % 4 == 0 && y + 1 < y0 + rows) {  // repeat a row to make taller bands
        const auto n = rs.size();
        for (size_t i = 0; i < n; ++i)
          if (rs[i].top == y) rs.push_back({rs[i].left, y + 1, rs[i].right, y + 2});
        ++y;
      }
    }
    return rs;
  };
  for (int round = 0; round < 300; ++round) {
    const int y0 = static_cast<int>(rng() % 20);
    const auto ra = random_rects(y0, 1 + static_cast<int>(rng() % 30));
    const int y1 = y0 + static_cast<int>(rng() % 40) - 5;
    const auto rb = random_rects(y1, 1 + static_cast<int>(rng() % 30));
    Region a = Region::from_rects(ra);
    const Region b = Region::from_rects(rb);
    a.combine(b, CombineMode::Or);
    std::vector<Rect> both = ra;
    both.insert(both.end(), rb.begin(), rb.end());
    const auto expected = canonicalize(both);
    ASSERT_EQ(to_string(a.rects()), to_string(expected)) << "round " << round;
    ASSERT_EQ(a.bbox(), Region::from_rects(both).bbox());
    ASSERT_EQ(a.rect_count(), expected.size());
  }
}

TEST(Region, OrRepeatedAppendsStayCanonical) {
  Region acc = Region::empty();
  std::vector<Rect> all;
  for (int y = 0; y < 500; ++y) {
    const std::vector<Rect> row = {{0, y, 3 + (y / 7) % 3, y + 1}, {10, y, 12, y + 1}};
    acc.combine(Region::from_rects(row), CombineMode::Or);
    all.insert(all.end(), row.begin(), row.end());
  }
  EXPECT_EQ(acc.rects(), canonicalize(all));
  EXPECT_TRUE(is_canonical(acc.rects()));
}

TEST(Region, OffsetAndBbox) {
  Region r = Region::ellipse(0, 0, 10, 10);
  r.offset(-3, 4);
  EXPECT_EQ(r.bbox(), (Rect{-3, 4, 6, 13}));
  Region big = Region::rect(0, 0, 10, 10);
  big.offset(2147483647, 0);  // pixman clamps instead of overflowing
  EXPECT_TRUE(big.valid());
}

}  // namespace
}  // namespace brevaro::region
