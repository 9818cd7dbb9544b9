// Bitmap to region and the BMP reader.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "region/bitmap.h"
#include "region/bitmap_region.h"
#include "tests/host/region/test_util.h"

namespace brevaro::region {
namespace {

using testing::rects_of;
using testing::to_string;

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;

// Reference: every run of the scan as one rectangle, in one region.
Region all_runs_at_once(const Bitmap& b, uint32_t trans, bool inverted) {
  std::vector<Rect> runs;
  for (int32_t y = 0; y < b.height(); ++y) {
    int32_t x = 0;
    while (x < b.width()) {
      if (((b.rgb_at(x, y) == trans) == inverted)) {
        const int32_t x0 = x;
        while (x < b.width() && ((b.rgb_at(x, y) == trans) == inverted)) ++x;
        runs.push_back({x0, y, x, y + 1});
      } else {
        ++x;
      }
    }
  }
  return Region::from_rects(runs);
}

TEST(BitmapRegion, RowNTNNT) {
  Bitmap b = Bitmap::rgb(5, 1, kBlack);
  b.set(1, 0, kWhite);
  b.set(4, 0, kWhite);
  std::vector<Rect> runs;
  scan_runs(b, kWhite, false, [&](int32_t l, int32_t r, int32_t y) { runs.push_back({l, y, r, y + 1}); });
  EXPECT_EQ(to_string(runs), "(0,0,1,1)(2,0,4,1)");
  EXPECT_EQ(rects_of(bitmap_to_region(b, kWhite, false)), "(0,0,1,1)(2,0,4,1)");
  // Inverted: the transparent pixels.
  EXPECT_EQ(rects_of(bitmap_to_region(b, kWhite, true)), "(1,0,2,1)(4,0,5,1)");
}

TEST(BitmapRegion, AllTransparentIsEmptyNotNone) {
  const Bitmap b = Bitmap::rgb(7, 4, kWhite);
  Region r = bitmap_to_region(b, kWhite, false);
  ASSERT_TRUE(r.valid());
  EXPECT_TRUE(r.is_empty());
  EXPECT_EQ(rects_of(bitmap_to_region(b, kWhite, true)), "(0,0,7,4)");
}

TEST(BitmapRegion, EmptyBitmapGivesEmptyRegion) {
  const Bitmap b = Bitmap::rgb(0, 0);
  Region r = bitmap_to_region(b, kWhite, false);
  ASSERT_TRUE(r.valid());
  EXPECT_TRUE(r.is_empty());
}

TEST(BitmapRegion, OnlyRgbIsCompared) {
  Bitmap b = Bitmap::rgb(2, 1, 0xFF000000u | kWhite);  // top byte set
  EXPECT_TRUE(bitmap_to_region(b, kWhite, false).is_empty());
}

TEST(BitmapRegion, MoreThan2000RunsSameAsAllAtOnce) {
  // Checkerboard-ish rows: 150 runs per row, 40 rows = 6000 runs, and the
  // batch boundaries fall inside rows.
  Bitmap b = Bitmap::rgb(300, 40, kWhite);
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = (y % 3 == 0 ? 0 : 1); x < 300; x += 2) b.set(x, y, kBlack);
  const Region got = bitmap_to_region(b, kWhite, false);
  const Region want = all_runs_at_once(b, kWhite, false);
  EXPECT_EQ(to_string(got.rects()), to_string(want.rects()));
  EXPECT_GT(got.rect_count(), 2000u);
}

TEST(BitmapRegion, RandomPicturesAllFormatsAgreeWithReference) {
  std::mt19937 rng(3);
  for (int round = 0; round < 40; ++round) {
    const int32_t w = 1 + static_cast<int32_t>(rng() % 200);
    const int32_t h = 1 + static_cast<int32_t>(rng() % 60);
    const int bits = std::vector<int>{1, 4, 8, 32}[rng() % 4];
    const int density = 1 + static_cast<int>(rng() % 9);
    Bitmap b = bits == 32 ? Bitmap::rgb(w, h, kWhite) : Bitmap::indexed(w, h, bits, {kWhite, kBlack, 0x123456, kWhite});
    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x < w; ++x) {
        if (static_cast<int>(rng() % 10) < density) {
          const uint32_t v =
              bits == 32 ? (rng() % 2 ? kBlack : 0x123456) : static_cast<uint32_t>(rng() % (bits == 1 ? 2 : 4));
          b.set(x, y, v);
        }
      }
    }
    for (bool inverted : {false, true}) {
      const Region got = bitmap_to_region(b, kWhite, inverted);
      const Region want = all_runs_at_once(b, kWhite, inverted);
      ASSERT_EQ(to_string(got.rects()), to_string(want.rects()))
          << "round " << round << " bits " << bits << " w " << w << " inverted " << inverted;
    }
  }
}

TEST(BitmapRegion, OneBitPaletteWithEqualEntries) {
  const Bitmap b = Bitmap::indexed(70, 3, 1, {kWhite, kWhite});
  EXPECT_TRUE(bitmap_to_region(b, kWhite, false).is_empty());
  EXPECT_EQ(rects_of(bitmap_to_region(b, kWhite, true)), "(0,0,70,3)");
}

TEST(BitmapRegion, Huge16384SquareOneBit) {
  // 16384 x 16384 one-bit picture (32 MiB): a black frame of width 1 and a
  // black diagonal band; scanned word by word.
  Bitmap b = Bitmap::indexed(16384, 16384, 1, {kBlack, kWhite});
  for (int32_t y = 0; y < 16384; ++y) {
    uint8_t* row = b.row(y);
    std::fill(row, row + b.stride(), 0xFF);  // white
    if (y == 0 || y == 16383) {
      std::fill(row, row + b.stride(), 0x00);
    } else {
      b.set(0, y, 0);
      b.set(16383, y, 0);
    }
  }
  const Region r = bitmap_to_region(b, kWhite, false);
  EXPECT_EQ(r.bbox(), (Rect{0, 0, 16384, 16384}));
  EXPECT_EQ(to_string(r.rects()), "(0,0,16384,1)(0,1,1,16383)(16383,1,16384,16383)(0,16383,16384,16384)");
}

TEST(Bmp, RoundTripAllDepths) {
  std::mt19937 rng(11);
  for (int bits : {1, 4, 8, 32}) {
    const int32_t w = 13;
    const int32_t h = 5;
    Bitmap b = bits == 32 ? Bitmap::rgb(w, h) : Bitmap::indexed(w, h, bits, {kWhite, kBlack, 0x00FF00});
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x)
        b.set(x, y, bits == 32 ? rng() & 0xFFFFFF : static_cast<uint32_t>(rng() % (bits == 1 ? 2 : 3)));
    const auto file = write_bmp(b);
    const Bitmap back = read_bmp(file);
    ASSERT_EQ(back.width(), w);
    ASSERT_EQ(back.height(), h);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) ASSERT_EQ(back.rgb_at(x, y), b.rgb_at(x, y)) << bits;
  }
}

// Pictures with no pixels in a row, in every depth: written and read
// without touching pixel memory (the sanitizers watch the copies); reading
// gives an empty picture or a clear error.
TEST(Bmp, ZeroWidthPictures) {
  for (int bits : {1, 4, 8, 32}) {
    const Bitmap b = bits == 32 ? Bitmap::rgb(0, 7) : Bitmap::indexed(0, 7, bits, {kWhite, kBlack});
    const auto file = write_bmp(b);
    try {
      EXPECT_TRUE(read_bmp(file).empty()) << bits;
    } catch (const EBitmapError&) {
    }
  }
}

// A 32-bit top-down BMP written by hand.
TEST(Bmp, Reads32BitTopDown) {
  std::vector<uint8_t> f(54 + 2 * 4, 0);
  f[0] = 'B';
  f[1] = 'M';
  f[10] = 54;
  f[14] = 40;
  f[18] = 2;  // width 2
  f[22] = 0xFF;
  f[23] = 0xFF;
  f[24] = 0xFF;
  f[25] = 0xFF;  // height -1
  f[26] = 1;
  f[28] = 32;
  f[54] = 0x11;
  f[55] = 0x22;
  f[56] = 0x33;  // B G R
  f[58] = 0xAA;
  f[59] = 0xBB;
  f[60] = 0xCC;
  const Bitmap b = read_bmp(f);
  EXPECT_EQ(b.rgb_at(0, 0), 0x332211u);
  EXPECT_EQ(b.rgb_at(1, 0), 0xCCBBAAu);
}

// A run-length encoded 8-bit file (4 x 3, rows bottom first) built by hand:
// runs, a literal run with its pad byte, a move, a run past the row's end,
// a row ended early and the end marker.
std::vector<uint8_t> rle8_file(std::vector<uint8_t> data, int32_t height = 3) {
  auto f = write_bmp(Bitmap::indexed(4, 3, 8, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF}));
  f.resize(size_t{f[10]} | size_t{f[11]} << 8);  // header and palette; the runs follow
  std::memcpy(&f[22], &height, 4);
  f[30] = 1;  // BI_RLE8
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

TEST(Bmp, ReadsRunLengthEncoded8Bit) {
  const auto f = rle8_file({
      2, 1, 0, 3, 2, 3, 1, 0,  // bottom row: 1 1, then the literal 2 3 1 (padded): 2 3 1 dropped after x 4
      0, 0,                    // end of the bottom row
      0, 2, 1, 0,              // move one right: the middle row starts at x 1
      9, 3,                    // nine 3s, three fit
      0, 0,                    // end of the middle row
      1, 2,                    // top row: one 2, the rest stays 0
      0, 1,                    // end of the picture
  });
  const Bitmap b = read_bmp(f);
  ASSERT_EQ(b.width(), 4);
  ASSERT_EQ(b.height(), 3);
  const uint32_t want[3][4] = {{2, 0, 0, 0}, {0, 3, 3, 3}, {1, 1, 2, 3}};
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(b.value_at(x, y), want[y][x]) << x << "," << y;
  EXPECT_EQ(b.rgb_at(0, 2), 0xFF0000u);

  // Damaged or impossible files are refused.
  EXPECT_THROW(read_bmp(rle8_file({4, 1, 0, 0})), EBitmapError);  // ends before the end marker
  EXPECT_THROW(read_bmp(rle8_file({0, 5, 1, 2})), EBitmapError);  // literal run cut short
  EXPECT_THROW(read_bmp(rle8_file({0, 1}, -3)), EBitmapError);    // top-down
  auto four_bit = rle8_file({0, 1});
  four_bit[28] = 4;
  EXPECT_THROW(read_bmp(four_bit), EBitmapError);
  // A move above the top row ends the picture without touching memory.
  EXPECT_EQ(read_bmp(rle8_file({0, 2, 0, 200, 5, 1})).value_at(0, 0), 0u);
}

TEST(Bmp, RejectsBadInput) {
  EXPECT_THROW(read_bmp(std::vector<uint8_t>{}), EBitmapError);
  EXPECT_THROW(read_bmp(std::vector<uint8_t>{'B', 'M', 0}), EBitmapError);
  Bitmap b = Bitmap::indexed(8, 8, 1, {kWhite, kBlack});
  auto f = write_bmp(b);
  auto truncated = f;
  truncated.resize(f.size() - 5);
  EXPECT_THROW(read_bmp(truncated), EBitmapError);
  auto rle = f;
  rle[30] = 1;  // BI_RLE8
  EXPECT_THROW(read_bmp(rle), EBitmapError);
  auto huge = f;
  huge[18] = 0;
  huge[19] = 0;
  huge[20] = 1;
  huge[21] = 0;  // width 65536
  huge[22] = 0;
  huge[23] = 0;
  huge[24] = 1;
  huge[25] = 0;  // height 65536
  EXPECT_THROW(read_bmp(huge), EBitmapError);
  EXPECT_THROW(Bitmap::rgb(70000, 70000), EBitmapError);
}

TEST(Colors, SystemColoursResolveThroughTheResolver) {
  const Color c = resolve_color(clBtnFace, [](int index) { return index == 15 ? 0x00336699u : 0u; });
  EXPECT_EQ(c, 0x00336699u);
  EXPECT_EQ(resolve_color(0x00010203, nullptr), 0x00010203u);
  EXPECT_EQ(color_to_pixel(clOlive), 0x808000u);
}

}  // namespace
}  // namespace brevaro::region
