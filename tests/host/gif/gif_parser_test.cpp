// The portable GIF parser and LZW decoder: format rules, limits
// and bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "media/gif/gif_compose.h"
#include "media/gif/gif_parser.h"
#include "media/gif/lzw.h"
#include "tests/host/gif/gif_writer.h"

namespace brevaro::gif {
namespace {

using testing::Bytes;
using testing::GifWriter;
using testing::WriterFrame;

ParseStatus parse(const Bytes& bytes, GifFile& gif, ParseOptions options = {}) {
  return parse_gif(bytes, options, gif);
}

std::vector<std::filesystem::path> corpus() {
  std::vector<std::filesystem::path> files;
  for (const auto& e : std::filesystem::directory_iterator(BREVARO_GIF_CORPUS)) {
    if (e.path().extension() == ".gif") files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

Bytes read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(GifParser, RoundTripsPixelsThroughTheEncoder) {
  for (int mcs : {1, 2, 3, 4, 5, 6, 7, 8}) {
    const int colors = mcs == 1 ? 2 : (1 << mcs);
    WriterFrame f = testing::pattern_frame(173, 61, colors);
    f.min_code_size = mcs;
    GifWriter w(173, 61, mcs);
    w.frame(f).trailer();
    GifFile gif;
    ASSERT_EQ(parse(w.bytes(), gif), ParseStatus::ok) << mcs;
    ASSERT_EQ(gif.frames.size(), 1u);
    EXPECT_EQ(gif.frames[0].pixels, f.pixels) << "min code size " << mcs;
    EXPECT_TRUE(gif.frames[0].data_complete);
    EXPECT_EQ(gif.end, ParseEnd::trailer);
  }
}

TEST(GifParser, LongRunsFillTheTableAndClearAgain) {
  // A large frame of one colour makes long strings; a noisy one fills the
  // 4096-entry table several times.
  WriterFrame solid = testing::solid_frame(1000, 300, 7);
  WriterFrame noisy = testing::pattern_frame(997, 203);
  std::uint32_t seed = 1;
  for (auto& p : noisy.pixels) {
    seed = seed * 1103515245u + 12345u;
    p = static_cast<std::uint8_t>((seed >> 16) % 37);
  }
  GifWriter w(1000, 300);
  w.frame(solid).frame(noisy).trailer();
  GifFile gif;
  ASSERT_EQ(parse(w.bytes(), gif), ParseStatus::ok);
  ASSERT_EQ(gif.frames.size(), 2u);
  EXPECT_EQ(gif.frames[0].pixels, solid.pixels);
  EXPECT_EQ(gif.frames[1].pixels, noisy.pixels);
}

TEST(GifParser, HeaderScreenAndVersion) {
  GifWriter w87(10, 20, 2, false);
  w87.frame(testing::solid_frame(3, 4, 1)).trailer();
  GifFile gif;
  ASSERT_EQ(parse(w87.bytes(), gif), ParseStatus::ok);
  EXPECT_EQ(gif.version, Version::gif87a);
  EXPECT_EQ(gif.screen_width, 10);
  EXPECT_EQ(gif.screen_height, 20);
  EXPECT_EQ(gif.global_depth, 2);
  EXPECT_EQ(gif.global_palette[3], (Rgb{3, 252, 21}));
  EXPECT_EQ(gif.global_palette[4], (Rgb{0, 0, 0}));  // past the table: black
  EXPECT_EQ(gif.loop_count, 1);
  GifWriter w89(1, 1);
  w89.frame(testing::solid_frame(1, 1, 0)).trailer();
  ASSERT_EQ(parse(w89.bytes(), gif), ParseStatus::ok);
  EXPECT_EQ(gif.version, Version::gif89a);
}

TEST(GifParser, NotAGifEmptyAndZeroSizedFrames) {
  GifFile gif;
  EXPECT_EQ(parse(Bytes{}, gif), ParseStatus::empty);
  EXPECT_EQ(parse(Bytes{'P', 'N', 'G', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0}, gif), ParseStatus::not_gif);
  EXPECT_EQ(parse(Bytes{'G', 'I', 'F'}, gif), ParseStatus::not_gif);
  WriterFrame zero = testing::solid_frame(4, 4, 0);
  zero.width = 0;
  zero.pixels.clear();
  GifWriter w(4, 4);
  w.frame(testing::solid_frame(4, 4, 1)).frame(zero).trailer();
  EXPECT_EQ(parse(w.bytes(), gif), ParseStatus::bad_frame);
  GifWriter none(4, 4);
  none.trailer();
  EXPECT_EQ(parse(none.bytes(), gif), ParseStatus::no_frames);
}

TEST(GifParser, ExtensionsControlCommentLoopPlainTextUnknown) {
  WriterFrame a = testing::solid_frame(2, 2, 5);
  a.delay_cs = 7;
  a.disposal = 3;
  a.transparent = true;
  a.transparent_index = 5;
  WriterFrame b = testing::solid_frame(2, 2, 6);
  b.control = false;
  GifWriter w(2, 2);
  w.loop(3)
      .comment("hello ")
      .comment("world")
      .plain_text()
      .extension(0xAB, Bytes{0x2C, 0x3B, 0x2C, 1, 2})
      .frame(a)
      .extension(0x77, Bytes(600, 0x2C))
      .frame(b)
      .trailer();
  GifFile gif;
  ASSERT_EQ(parse(w.bytes(), gif), ParseStatus::ok);
  EXPECT_EQ(gif.loop_count, 3);
  EXPECT_TRUE(gif.has_loop_block);
  ASSERT_EQ(gif.frames.size(), 2u);
  const Frame& f = gif.frames[0];
  EXPECT_EQ(f.comment, "hello world");
  EXPECT_EQ(f.delay_ms, 70u);
  EXPECT_EQ(f.disposal, Disposal::previous);
  EXPECT_TRUE(f.transparent);
  EXPECT_EQ(f.transparent_index, 5);
  EXPECT_EQ(f.transparent_color, (Rgb{5, 250, 35}));
  EXPECT_EQ(f.mask, Bytes(4, 1));
  // Frame 2 had no control block: the pending one was cleared.
  EXPECT_EQ(gif.frames[1].delay_ms, 0u);
  EXPECT_FALSE(gif.frames[1].transparent);
  EXPECT_EQ(gif.frames[1].comment, "");
  EXPECT_TRUE(gif.any_transparent);
}

TEST(GifParser, GarbageBetweenBlocksIsScannedInPairs) {
  GifWriter w(2, 2);
  w.raw(Bytes{0x00, 0x11, 0x47, 0x47}).frame(testing::solid_frame(2, 2, 1)).trailer();
  GifFile gif;
  ASSERT_EQ(parse(w.bytes(), gif), ParseStatus::ok);
  EXPECT_EQ(gif.frames.size(), 1u);
}

TEST(GifParser, DisposalValuesFourToSevenMapToTwo) {
  EXPECT_EQ(map_disposal(0), Disposal::none);
  EXPECT_EQ(map_disposal(1), Disposal::keep);
  EXPECT_EQ(map_disposal(2), Disposal::background);
  EXPECT_EQ(map_disposal(3), Disposal::previous);
  for (unsigned v = 4; v <= 7; ++v) EXPECT_EQ(map_disposal(v), Disposal::background) << v;
}

TEST(GifParser, InterlacedRowsGoToTheirPasses) {
  for (int h : {1, 2, 3, 4, 5, 7, 8, 9, 13, 16, 17, 31}) {
    WriterFrame f = testing::pattern_frame(11, h);
    f.interlaced = true;
    f.transparent = true;
    f.transparent_index = 3;
    GifWriter w(11, h);
    w.frame(f).trailer();
    GifFile gif;
    ASSERT_EQ(parse(w.bytes(), gif), ParseStatus::ok);
    EXPECT_EQ(gif.frames[0].pixels, f.pixels) << h;
    for (std::size_t i = 0; i < f.pixels.size(); ++i) {
      ASSERT_EQ(gif.frames[0].mask[i], f.pixels[i] == 3 ? 1 : 0) << h << " " << i;
    }
  }
}

TEST(GifParser, PixelsTheDataDoesNotReachAreZeroAndTransparent) {
  // Only the first 5 pixels of a 4x3 frame are coded (no end code).
  testing::BitWriter bw;
  bw.put(4, 3);  // clear (min code size 2)
  // Codes widen to 4 bits once code 7 is defined (after the third code).
  for (auto [c, width] : {std::pair{1u, 3u}, {2u, 3u}, {3u, 3u}, {3u, 4u}, {2u, 4u}}) bw.put(c, width);
  WriterFrame f;
  f.width = 4;
  f.height = 3;
  f.min_code_size = 2;
  f.raw = true;
  f.raw_data = bw.finish();
  f.transparent = true;
  f.transparent_index = 2;
  GifWriter w(4, 3, 2);
  w.frame(f).trailer();
  GifFile gif;
  ASSERT_EQ(parse(w.bytes(), gif), ParseStatus::ok);
  const Frame& fr = gif.frames[0];
  // The 7 padding bits of the last byte still hold one 4-bit code: 0.
  EXPECT_EQ(fr.pixels_decoded, 6u);
  EXPECT_EQ(fr.pixels, (Bytes{1, 2, 3, 3, 2, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(fr.mask, (Bytes{0, 1, 0, 0, 1, 0, 1, 1, 1, 1, 1, 1}));
  EXPECT_FALSE(fr.data_complete);
}

Bytes one_frame_with_codes(int mcs, const std::vector<std::pair<unsigned, unsigned>>& codes, int w = 6, int h = 2) {
  testing::BitWriter bw;
  for (auto [code, width] : codes) bw.put(code, width);
  WriterFrame f;
  f.width = w;
  f.height = h;
  f.min_code_size = mcs;
  f.raw = true;
  f.raw_data = bw.finish();
  GifWriter g(w, h, 2);
  g.frame(f).frame(testing::solid_frame(w, h, 1)).trailer();
  return g.bytes();
}

TEST(GifParser, BrokenCodeStreamsEndTheFrameOnly) {
  GifFile gif;
  // A code that refers forward: after clear, 1, 2 the next free code is 7;
  // code 7 is the KwKwK case (valid), code 8 refers forward.
  ASSERT_EQ(parse(one_frame_with_codes(2, {{4, 3}, {1, 3}, {2, 3}, {7, 3}, {1, 4}}), gif), ParseStatus::ok);
  EXPECT_EQ(gif.frames[0].pixels, (Bytes{1, 2, 2, 2, 1, 0, 0, 0, 0, 0, 0, 0}));
  ASSERT_EQ(parse(one_frame_with_codes(2, {{4, 3}, {1, 3}, {2, 3}, {0, 3}, {15, 4}, {1, 4}}), gif), ParseStatus::ok);
  EXPECT_EQ(gif.frames[0].pixels, (Bytes{1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(gif.frames.size(), 2u);  // decoding of frame 1 ended; the parse went on
  // A code that refers to itself right after a clear.
  ASSERT_EQ(parse(one_frame_with_codes(2, {{4, 3}, {6, 3}, {1, 3}}), gif), ParseStatus::ok);
  EXPECT_EQ(gif.frames[0].pixels, Bytes(12, 0));
  EXPECT_FALSE(gif.frames[0].data_complete);
  EXPECT_EQ(gif.frames.size(), 2u);
  // A first code that is not a clear is fine; data past the frame is ignored.
  ASSERT_EQ(parse(one_frame_with_codes(2, {{3, 3}, {1, 3}, {6, 3}, {7, 3}, {8, 4}, {9, 4}, {5, 4}}, 2, 2), gif),
            ParseStatus::ok);
  EXPECT_EQ(gif.frames[0].pixels, (Bytes{3, 1, 3, 1}));
  EXPECT_TRUE(gif.frames[0].data_complete);
}

TEST(GifParser, MinimumCodeSizes) {
  GifFile gif;
  // 0: clear = 1, end = 2, codes start 1 bit wide and widen like any other.
  {
    WriterFrame f = testing::solid_frame(5, 3, 0);
    f.min_code_size = 0;
    GifWriter w(5, 3, 1);
    w.frame(f).trailer();
    ASSERT_EQ(parse(w.bytes(), gif), ParseStatus::ok);
    EXPECT_EQ(gif.frames[0].pixels, f.pixels);
    EXPECT_TRUE(gif.frames[0].data_complete);
  }
  // 1: two colours with 2-bit codes widening after the first code.
  {
    WriterFrame f = testing::pattern_frame(31, 17, 2);
    f.min_code_size = 1;
    GifWriter w(31, 17, 1);
    w.frame(f).trailer();
    ASSERT_EQ(parse(w.bytes(), gif), ParseStatus::ok);
    EXPECT_EQ(gif.frames[0].pixels, f.pixels);
  }
  // 9..11: wider root codes, decoded by the same rules; root codes above 255
  // are stored modulo 256 (300 -> 44), a string of them repeats those bytes.
  for (int mcs : {9, 10, 11}) {
    WriterFrame f = testing::pattern_frame(31, 17);
    f.min_code_size = mcs;
    GifWriter w(31, 17);
    w.frame(f).trailer();
    ASSERT_EQ(parse(w.bytes(), gif), ParseStatus::ok) << mcs;
    EXPECT_EQ(gif.frames[0].pixels, f.pixels) << mcs;

    const unsigned clear = 1u << mcs, width = static_cast<unsigned>(mcs) + 1;
    testing::BitWriter bits;
    bits.put(clear, width);
    bits.put(300, width);
    bits.put(5, width);
    bits.put(clear + 2, width);  // "300 5"
    bits.put(clear + 1, width);
    WriterFrame raw;
    raw.width = 4;
    raw.height = 1;
    raw.min_code_size = mcs;
    raw.raw = true;
    raw.raw_data = bits.finish();
    GifWriter wr(4, 1);
    wr.frame(raw).trailer();
    ASSERT_EQ(parse(wr.bytes(), gif), ParseStatus::ok) << mcs;
    EXPECT_EQ(gif.frames[0].pixels, (Bytes{44, 5, 44, 5})) << mcs;
  }
  // 12 and 255: no pixel data, the frame is kept, loading goes on.
  for (int mcs : {12, 15, 16, 255}) {
    WriterFrame f;
    f.width = 3;
    f.height = 2;
    f.min_code_size = mcs;
    f.raw = true;
    f.raw_data = Bytes{0xFF, 0xFF, 0xFF, 0x12};
    f.transparent = true;
    f.transparent_index = 9;
    GifWriter w(3, 2);
    w.frame(f).frame(testing::solid_frame(3, 2, 4)).trailer();
    ASSERT_EQ(parse(w.bytes(), gif), ParseStatus::ok) << mcs;
    ASSERT_EQ(gif.frames.size(), 2u);
    EXPECT_EQ(gif.frames[0].min_code_size, mcs);
    EXPECT_EQ(gif.frames[0].pixels, Bytes(6, 0));
    EXPECT_EQ(gif.frames[0].mask, Bytes(6, 1));
    EXPECT_EQ(gif.frames[1].pixels, Bytes(6, 4));
  }
}

TEST(GifParser, The257thFrameIsNotRead) {
  GifWriter w(4, 4, 2);
  for (int i = 0; i < 300; ++i) w.frame(testing::solid_frame(4, 4, static_cast<std::uint8_t>(i & 3)));
  w.trailer();
  GifFile gif;
  ASSERT_EQ(parse(w.bytes(), gif), ParseStatus::ok);
  EXPECT_EQ(gif.frames.size(), 256u);
  EXPECT_EQ(gif.end, ParseEnd::frame_limit);
}

TEST(GifParser, FirstImageOnly) {
  GifWriter w(4, 4, 2);
  w.frame(testing::solid_frame(4, 4, 1)).frame(testing::solid_frame(4, 4, 2)).trailer();
  GifFile gif;
  ParseOptions o;
  o.first_image_only = true;
  ASSERT_EQ(parse(w.bytes(), gif, o), ParseStatus::ok);
  EXPECT_EQ(gif.frames.size(), 1u);
  EXPECT_EQ(gif.end, ParseEnd::first_image_only);
}

TEST(GifParser, FrameLargerThan16384IsDroppedAndLoadingEnds) {
  GifFile gif;
  {
    WriterFrame big = testing::solid_frame(16385, 1, 1);
    GifWriter w(20, 20);
    w.frame(testing::solid_frame(4, 4, 1)).frame(big).frame(testing::solid_frame(4, 4, 2)).trailer();
    ASSERT_EQ(parse(w.bytes(), gif), ParseStatus::ok);
    EXPECT_EQ(gif.frames.size(), 1u);
    EXPECT_EQ(gif.end, ParseEnd::frame_too_large);
  }
  {
    // As the only frame: nothing to show, the load fails cleanly.
    GifWriter w(20, 20);
    w.frame(testing::solid_frame(16385, 1, 1)).trailer();
    EXPECT_EQ(parse(w.bytes(), gif), ParseStatus::no_frames);
  }
  {
    // 16384 x 1 is within the limit.
    GifWriter w(20, 20);
    w.frame(testing::solid_frame(16384, 1, 1)).trailer();
    ASSERT_EQ(parse(w.bytes(), gif), ParseStatus::ok);
    EXPECT_EQ(gif.picture_width, 16384);
    EXPECT_EQ(gif.picture_height, 20);
  }
}

TEST(GifParser, PictureAbove16384FailsCleanly) {
  GifFile gif;
  {
    GifWriter w(65535, 65535);
    w.frame(testing::solid_frame(2, 2, 1)).trailer();
    EXPECT_EQ(parse(w.bytes(), gif), ParseStatus::canvas_too_large);
  }
  {
    // A frame within the limit at an offset that takes the picture past it.
    WriterFrame f = testing::solid_frame(2, 2, 1);
    f.left = 16383;
    GifWriter w(10, 10);
    w.frame(f).trailer();
    EXPECT_EQ(parse(w.bytes(), gif), ParseStatus::canvas_too_large);
    f.left = 16382;
    GifWriter ok(10, 10);
    ok.frame(f).trailer();
    EXPECT_EQ(parse(ok.bytes(), gif), ParseStatus::ok);
  }
}

TEST(GifParser, MemoryBudgetBoundsHugeFrames) {
  // 256 frames of 16384 x 16384 declared in a few kilobytes: the budget
  // stops the load long before 64 GiB.
  WriterFrame f;
  f.width = 16384;
  f.height = 16384;
  f.raw = true;
  f.raw_data = Bytes{0x00, 0x02};  // clear, end (min code size 8)
  GifWriter w(16, 16);
  for (int i = 0; i < 256; ++i) w.frame(f);
  w.trailer();
  GifFile gif;
  ParseOptions o;
  o.limits.max_frame_bytes = std::size_t{64} << 20;  // keeps the test light
  EXPECT_EQ(parse(w.bytes(), gif, o), ParseStatus::no_frames);
  o.limits.max_frame_bytes = std::size_t{300} << 20;
  o.limits.max_canvas_pixels = 1;  // no canvas needed to check the frame count
  EXPECT_EQ(parse(w.bytes(), gif, o), ParseStatus::canvas_too_large);
  EXPECT_EQ(gif.frames.size(), 1u);
  EXPECT_EQ(gif.end, ParseEnd::frame_too_large);
}

TEST(GifParser, ProgressReportsAndAborts) {
  GifWriter w(400, 300);
  w.frame(testing::pattern_frame(400, 300)).frame(testing::solid_frame(4, 4, 1)).trailer();
  GifFile gif;
  ParseOptions o;
  std::vector<std::size_t> positions;
  o.progress = [&](std::size_t pos, std::size_t size) {
    EXPECT_EQ(size, w.bytes().size());
    positions.push_back(pos);
    return true;
  };
  ASSERT_EQ(parse(w.bytes(), gif, o), ParseStatus::ok);
  // Blocks plus rows: 300 rows of 400 pixels report every 32nd row.
  EXPECT_GE(positions.size(), 9u + 3u);
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_EQ(positions.back(), w.bytes().size());
  int calls = 0;
  o.progress = [&](std::size_t, std::size_t) { return ++calls < 4; };
  EXPECT_EQ(parse(w.bytes(), gif, o), ParseStatus::aborted);
}

TEST(GifParser, TruncatedDataKeepsTheFramesReadSoFar) {
  GifWriter w(8, 8);
  w.frame(testing::pattern_frame(8, 8)).frame(testing::pattern_frame(8, 8)).trailer();
  const Bytes full = w.bytes();
  GifFile gif;
  ASSERT_EQ(parse(full, gif), ParseStatus::ok);
  ASSERT_EQ(gif.frames.size(), 2u);
  // Cut inside the second frame's data: the first frame stays.
  Bytes cut(full.begin(), full.end() - 5);
  ASSERT_EQ(parse(cut, gif), ParseStatus::ok);
  EXPECT_EQ(gif.frames.size(), 1u);
  EXPECT_EQ(gif.end, ParseEnd::truncated);
}

TEST(GifParser, EveryTruncationOfTheCorpusIsSafe) {
  std::size_t parses = 0;
  for (const auto& path : corpus()) {
    const Bytes full = read_file(path);
    GifFile whole;
    ASSERT_EQ(parse(full, whole), ParseStatus::ok) << path;
    // Large files: every offset near the start and end, a stride in between.
    const std::size_t n = full.size();
    for (std::size_t cut = 0; cut < n; ++cut) {
      if (n > 8192 && cut > 2048 && cut + 2048 < n && cut % 61 != 0) continue;
      GifFile gif;
      const ParseStatus st = parse_gif(std::span<const std::uint8_t>(full.data(), cut), ParseOptions{}, gif);
      ++parses;
      if (st == ParseStatus::ok) {
        ASSERT_LE(gif.frames.size(), whole.frames.size());
        // The frames kept are the file's frames.
        for (std::size_t i = 0; i < gif.frames.size(); ++i) {
          ASSERT_EQ(gif.frames[i].pixels, whole.frames[i].pixels) << path << " cut " << cut;
        }
        Composer c;
        c.reset(gif);
        for (std::size_t i = 0; i < gif.frames.size(); ++i) {
          if (i) c.dispose(gif, i - 1);
          c.draw(gif, i);
        }
      }
    }
  }
  EXPECT_GT(parses, 1000u);
}

TEST(GifParser, CorruptedBytesNeverCrash) {
  std::uint32_t seed = 12345;
  for (const auto& path : corpus()) {
    const Bytes full = read_file(path);
    if (full.size() > 8192) continue;
    for (int round = 0; round < 200; ++round) {
      Bytes b = full;
      for (int k = 0; k < 4; ++k) {
        seed = seed * 1664525u + 1013904223u;
        b[seed % b.size()] = static_cast<std::uint8_t>(seed >> 24);
      }
      GifFile gif;
      ParseOptions o;
      o.limits.max_canvas_pixels = 1u << 22;
      if (parse_gif(b, o, gif) == ParseStatus::ok) {
        Composer c;
        c.reset(gif);
        for (std::size_t i = 0; i < gif.frames.size(); ++i) {
          if (i) c.dispose(gif, i - 1);
          c.draw(gif, i);
        }
      }
    }
  }
}

TEST(LzwDecoder, ResumesAtSoftLimits) {
  WriterFrame f = testing::pattern_frame(97, 89);
  const Bytes codes = testing::lzw_encode(f.pixels, 8);
  Bytes buffer(LzwDecoder::kLiteralRoom + f.pixels.size(), 0xEE);
  LzwDecoder d;
  ASSERT_TRUE(d.start(8, codes.data(), codes.size()));
  std::size_t pos = 0;
  LzwDecoder::Result r;
  int calls = 0;
  do {
    r = d.decode(buffer.data(), f.pixels.size(), pos + 13, pos);
    ++calls;
  } while (r == LzwDecoder::Result::limit);
  EXPECT_GT(calls, 100);
  EXPECT_EQ(pos, f.pixels.size());
  EXPECT_EQ(Bytes(buffer.begin() + LzwDecoder::kLiteralRoom, buffer.end()), f.pixels);
}

}  // namespace
}  // namespace brevaro::gif

namespace brevaro::gif {
namespace {

// A frame of w x h whose code stream is only "clear, end": it costs its full
// size in the budget but nothing to encode or decode.
WriterFrame empty_frame(int w, int h, int left = 0, int top = 0, bool transparent = false, int disposal = 0) {
  WriterFrame f;
  f.width = w;
  f.height = h;
  f.left = left;
  f.top = top;
  f.transparent = transparent;
  f.disposal = disposal;
  f.raw = true;
  f.raw_data = Bytes{0x00, 0x02};
  return f;
}

// The budget for pictures from the network (a canvas of 4 M pixels, 32 MiB in
// all) against screen sizes, frame offsets and transparency.
TEST(GifBudget, BannerLimitsAgainstScreensOffsetsAndTransparency) {
  struct Case {
    const char* name;
    int screen_w, screen_h;
    std::vector<WriterFrame> frames;
    ParseStatus status;
    std::size_t frames_kept;
  };
  const Case cases[] = {
      {"a banner", 468, 60, {empty_frame(468, 60), empty_frame(468, 60, 0, 0, true, 3)}, ParseStatus::ok, 2},
      {"4 M pixels exactly", 2048, 2048, {empty_frame(1, 1)}, ParseStatus::ok, 1},
      {"one row more than 4 M pixels", 2048, 2049, {empty_frame(1, 1)}, ParseStatus::canvas_too_large, 1},
      {"a screen whose canvas alone is over 32 MiB", 2897, 2897, {empty_frame(1, 1)}, ParseStatus::canvas_too_large, 0},
      {"16384 x 16384", 16384, 16384, {empty_frame(1, 1, 0, 0, true)}, ParseStatus::canvas_too_large, 0},
      {"an offset within the budget", 10, 10, {empty_frame(1, 1, 2047, 2047)}, ParseStatus::ok, 1},
      {"an offset that takes the canvas past 32 MiB",
       10,
       10,
       {empty_frame(1, 1, 3000, 3000)},
       ParseStatus::no_frames,
       0},
      {"the same offset on a later frame",
       10,
       10,
       {empty_frame(10, 10), empty_frame(1, 1, 3000, 3000), empty_frame(2, 2)},
       ParseStatus::ok,
       1},
      {"an offset past 16384 in a small budget",
       10,
       10,
       {empty_frame(1, 1, 65000, 0)},
       ParseStatus::canvas_too_large,
       1},
      {"two opaque full frames", 2048, 2048, {empty_frame(2048, 2048), empty_frame(2048, 2048)}, ParseStatus::ok, 2},
      {"the first one transparent: mask and frame mask pass the budget",
       2048,
       2048,
       {empty_frame(2048, 2048, 0, 0, true), empty_frame(2048, 2048)},
       ParseStatus::ok,
       1},
      {"a saved area for disposal 3", 2048, 2048, {empty_frame(2048, 2048, 0, 0, false, 3)}, ParseStatus::no_frames, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GifWriter w(c.screen_w, c.screen_h);
    for (const WriterFrame& f : c.frames) w.frame(f);
    w.trailer();
    GifFile gif;
    ParseOptions o;
    o.limits = banner_limits();
    EXPECT_EQ(parse(w.bytes(), gif, o), c.status);
    EXPECT_EQ(gif.frames.size(), c.frames_kept);
    if (c.status != ParseStatus::ok) continue;
    // What composing it takes stays within the budget.
    const std::uint64_t area = std::uint64_t(gif.picture_width) * std::uint64_t(gif.picture_height);
    EXPECT_LE(area, o.limits.max_canvas_pixels);
    std::uint64_t bytes = area * (gif.any_transparent ? 5 : 4);
    for (const Frame& f : gif.frames)
      bytes += f.pixels.size() + f.mask.size() + (f.disposal == Disposal::previous ? f.pixels.size() * 5 : 0);
    EXPECT_LE(bytes, o.limits.max_total_bytes);
    Composer composer;
    composer.reset(gif);
    for (std::size_t i = 0; i < gif.frames.size(); ++i) composer.draw(gif, i);
  }
}

// The 43-byte file that declares a 16384 x 16384 screen: refused before any
// frame is decoded or any canvas allocated, and quickly.
TEST(GifBudget, TheFortyThreeByteHugeScreenIsRefusedBeforeAllocating) {
  const Bytes huge = testing::huge_screen_gif();
  ASSERT_EQ(huge.size(), 43u);
  GifFile gif;
  ParseOptions o;
  o.limits = banner_limits();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(parse(huge, gif, o), ParseStatus::canvas_too_large);
  EXPECT_TRUE(gif.frames.empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));

  // The file itself is sound: with room for its canvas it parses to one frame.
  ParseOptions roomy;
  roomy.limits.max_total_bytes = std::uint64_t{2} << 30;
  EXPECT_EQ(parse(huge, gif, roomy), ParseStatus::ok);
  ASSERT_EQ(gif.frames.size(), 1u);
  EXPECT_TRUE(gif.frames[0].transparent);
  EXPECT_EQ(gif.picture_width, 16384);
}

}  // namespace
}  // namespace brevaro::gif
