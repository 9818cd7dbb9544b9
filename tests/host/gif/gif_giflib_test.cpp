// Differential test against Debian's giflib: every frame of every corpus
// file decodes to the same index raster, position and palette.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "media/gif/gif_parser.h"

namespace brevaro::gif {
namespace {

std::vector<std::filesystem::path> corpus() {
  std::vector<std::filesystem::path> files;
  for (const auto& e : std::filesystem::directory_iterator(BREVARO_GIF_CORPUS)) {
    if (e.path().extension() == ".gif") files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(GifGiflib, CorpusIsThere) { EXPECT_GE(corpus().size(), 30u); }

TEST(GifGiflib, EveryFrameMatchesGiflib) {
  std::size_t frames_compared = 0;
  for (const auto& path : corpus()) {
    SCOPED_TRACE(path.filename().string());
    int error = 0;
    GifFileType* g = DGifOpenFileName(path.string().c_str(), &error);
    ASSERT_NE(g, nullptr) << GifErrorString(error);
    ASSERT_EQ(DGifSlurp(g), GIF_OK) << GifErrorString(g->Error);

    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    GifFile ours;
    ASSERT_EQ(parse_gif(bytes, ParseOptions{}, ours), ParseStatus::ok);

    EXPECT_EQ(ours.screen_width, g->SWidth);
    EXPECT_EQ(ours.screen_height, g->SHeight);
    ASSERT_EQ(static_cast<int>(ours.frames.size()), g->ImageCount);
    for (int i = 0; i < g->ImageCount; ++i) {
      SCOPED_TRACE("frame " + std::to_string(i + 1));
      const SavedImage& s = g->SavedImages[i];
      const Frame& f = ours.frames[static_cast<std::size_t>(i)];
      EXPECT_EQ(f.left, s.ImageDesc.Left);
      EXPECT_EQ(f.top, s.ImageDesc.Top);
      ASSERT_EQ(f.width, s.ImageDesc.Width);
      ASSERT_EQ(f.height, s.ImageDesc.Height);
      EXPECT_EQ(f.interlaced, s.ImageDesc.Interlace);
      const std::size_t area = static_cast<std::size_t>(f.width) * static_cast<std::size_t>(f.height);
      ASSERT_EQ(f.pixels.size(), area);
      ASSERT_TRUE(std::equal(f.pixels.begin(), f.pixels.end(), s.RasterBits)) << "raster differs";
      const ColorMapObject* map = s.ImageDesc.ColorMap ? s.ImageDesc.ColorMap : g->SColorMap;
      ASSERT_NE(map, nullptr);
      for (int c = 0; c < map->ColorCount; ++c) {
        ASSERT_EQ(f.palette[static_cast<std::size_t>(c)],
                  (Rgb{map->Colors[c].Red, map->Colors[c].Green, map->Colors[c].Blue}));
      }
      GraphicsControlBlock gcb;
      if (DGifSavedExtensionToGCB(g, i, &gcb) == GIF_OK) {
        EXPECT_EQ(f.delay_ms, static_cast<std::uint32_t>(gcb.DelayTime) * 10);
        EXPECT_EQ(f.disposal_raw, gcb.DisposalMode);
        EXPECT_EQ(f.transparent, gcb.TransparentColor != NO_TRANSPARENT_COLOR);
      }
      ++frames_compared;
    }
    DGifCloseFile(g, &error);
  }
  EXPECT_GT(frames_compared, 50u);
  if (!HasFailure()) {
    std::printf("giflib differential: %zu files, %zu frames, every index raster equal\n", corpus().size(),
                frames_compared);
  }
}

}  // namespace
}  // namespace brevaro::gif
