// The movie banner control's portable part: SWF headers (FWS and CWS).
#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <optional>

#include "media/swf/swf_header.h"

namespace brevaro::media {
namespace {

using Bytes = std::vector<std::uint8_t>;

// An SWF file: RECT of the stage in twips, frame rate, count, then tags.
Bytes make_swf(bool compressed, int w_px, int h_px, double rate, int frames, bool background = true) {
  Bytes body;
  // RECT with 16-bit fields (nbits = 16): 5 + 64 bits.
  std::uint64_t acc = 0;
  int nbits = 0;
  auto put = [&](std::uint32_t v, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      acc = (acc << 1) | ((v >> i) & 1);
      if (++nbits == 8) {
        body.push_back(static_cast<std::uint8_t>(acc));
        acc = 0;
        nbits = 0;
      }
    }
  };
  put(16, 5);
  put(0, 16);
  put(static_cast<std::uint32_t>(w_px * 20), 16);
  put(0, 16);
  put(static_cast<std::uint32_t>(h_px * 20), 16);
  if (nbits) put(0, 8 - nbits);
  const unsigned fixed = static_cast<unsigned>(rate * 256);
  body.push_back(static_cast<std::uint8_t>(fixed & 0xFF));
  body.push_back(static_cast<std::uint8_t>(fixed >> 8));
  body.push_back(static_cast<std::uint8_t>(frames & 0xFF));
  body.push_back(static_cast<std::uint8_t>(frames >> 8));
  // FileAttributes (69, 4 bytes), then SetBackgroundColor (9, 3 bytes), ShowFrame, End.
  const unsigned fa = (69u << 6) | 4;
  body.insert(body.end(), {static_cast<std::uint8_t>(fa & 0xFF), static_cast<std::uint8_t>(fa >> 8), 0, 0, 0, 0});
  if (background) {
    const unsigned bg = (9u << 6) | 3;
    body.insert(body.end(),
                {static_cast<std::uint8_t>(bg & 0xFF), static_cast<std::uint8_t>(bg >> 8), 0x12, 0x34, 0x56});
  }
  body.insert(body.end(), {0x40, 0x00, 0x00, 0x00});
  const std::uint32_t length = static_cast<std::uint32_t>(body.size() + 8);
  Bytes out = {static_cast<std::uint8_t>(compressed ? 'C' : 'F'),
               'W',
               'S',
               6,
               static_cast<std::uint8_t>(length),
               static_cast<std::uint8_t>(length >> 8),
               static_cast<std::uint8_t>(length >> 16),
               static_cast<std::uint8_t>(length >> 24)};
  if (compressed) {
    uLongf n = compressBound(static_cast<uLong>(body.size()));
    Bytes z(n);
    compress(z.data(), &n, body.data(), static_cast<uLong>(body.size()));
    z.resize(n);
    body = z;
  }
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

TEST(SwfHeader, ReadsUncompressedAndCompressed) {
  for (bool compressed : {false, true}) {
    SwfHeader h;
    ASSERT_EQ(parse_swf_header(make_swf(compressed, 468, 60, 12.5, 40), h), SwfStatus::ok) << compressed;
    EXPECT_EQ(h.compressed, compressed);
    EXPECT_EQ(h.version, 6);
    EXPECT_EQ(h.stage_width, 468);
    EXPECT_EQ(h.stage_height, 60);
    EXPECT_DOUBLE_EQ(h.frame_rate, 12.5);
    EXPECT_EQ(h.frame_count, 40);
    EXPECT_TRUE(h.has_background);
    EXPECT_EQ(h.background_r, 0x12);
    EXPECT_EQ(h.background_g, 0x34);
    EXPECT_EQ(h.background_b, 0x56);
  }
  SwfHeader h;
  ASSERT_EQ(parse_swf_header(make_swf(false, 100, 50, 24, 1, false), h), SwfStatus::ok);
  EXPECT_FALSE(h.has_background);
  EXPECT_EQ(h.background_r, 255);
}

TEST(SwfHeader, BadInput) {
  SwfHeader h;
  EXPECT_EQ(parse_swf_header(Bytes{}, h), SwfStatus::too_short);
  EXPECT_EQ(parse_swf_header(Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0}, h), SwfStatus::not_swf);
  EXPECT_EQ(parse_swf_header(Bytes{'Z', 'W', 'S', 13, 0, 0, 0, 0, 0}, h), SwfStatus::not_swf);
  EXPECT_EQ(parse_swf_header(Bytes{'C', 'W', 'S', 6, 0, 0, 0, 0, 1, 2, 3, 4, 5}, h), SwfStatus::bad_compression);
  const Bytes full = make_swf(false, 468, 60, 12, 3);
  for (std::size_t cut = 0; cut < full.size(); ++cut) {
    parse_swf_header(std::span<const std::uint8_t>(full.data(), cut), h);  // never crashes
  }
  const Bytes z = make_swf(true, 468, 60, 12, 3);
  for (std::size_t cut = 0; cut < z.size(); ++cut) parse_swf_header(std::span<const std::uint8_t>(z.data(), cut), h);
}

TEST(SwfHeader, StageRectByScale) {
  EXPECT_EQ(stage_rect("ExactFit", 468, 60, 100, 100).width, 468);
  EXPECT_EQ(stage_rect("exactfit", 468, 60, 100, 100).height, 60);
  StageRect r = stage_rect("ShowAll", 468, 60, 100, 100);
  EXPECT_EQ(r.width, 60);
  EXPECT_EQ(r.left, 204);
  r = stage_rect("NoBorder", 468, 60, 100, 100);
  EXPECT_EQ(r.width, 468);
  EXPECT_EQ(r.top, (60 - 468) / 2);
  r = stage_rect("NoScale", 468, 60, 100, 100);
  EXPECT_EQ(r.width, 100);
  EXPECT_EQ(r.left, 184);
}

TEST(MovieModel, SettingMovieReadsTheHeader) {
  std::map<std::string, Bytes> files{{"bv.swf", make_swf(true, 400, 40, 20, 10)}};
  MovieModel m([&](const std::string& p) -> std::optional<Bytes> {
    auto it = files.find(p);
    if (it == files.end()) return std::nullopt;
    return it->second;
  });
  m.set_scale("ExactFit");
  m.set_movie("bv.swf");
  EXPECT_TRUE(m.loaded());
  EXPECT_EQ(m.background(), 0x123456u);
  EXPECT_EQ(m.stage_in(468, 60).width, 468);
  m.set_movie("missing.swf");
  EXPECT_FALSE(m.loaded());
  EXPECT_EQ(m.movie(), "missing.swf");
}

}  // namespace
}  // namespace brevaro::media
