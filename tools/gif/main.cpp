// brevaro-gif: inspects GIF files with the product's own decoder.
//   brevaro-gif info FILE
//   brevaro-gif frames FILE DIR
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/gif/gif_compose.h"
#include "media/gif/gif_parser.h"

namespace {

using namespace brevaro::gif;

int usage() {
  std::fprintf(stderr,
               "usage: brevaro-gif info FILE\n"
               "       brevaro-gif frames FILE DIR\n");
  return 2;
}

const char* describe(ParseStatus st) {
  switch (st) {
    case ParseStatus::ok: return "ok";
    case ParseStatus::empty: return "empty file";
    case ParseStatus::not_gif: return "not a GIF file";
    case ParseStatus::bad_frame: return "a frame with zero width or height";
    case ParseStatus::no_frames: return "no frame could be read";
    case ParseStatus::canvas_too_large: return "picture larger than 16384 pixels";
    case ParseStatus::aborted: return "aborted";
  }
  return "unknown";
}

bool load(const char* path, GifFile& gif) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "error: cannot open %s\n", path);
    return false;
  }
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ParseStatus st = parse_gif(bytes, ParseOptions{}, gif);
  if (st != ParseStatus::ok) {
    std::fprintf(stderr, "error: %s: %s\n", path, describe(st));
    return false;
  }
  return true;
}

int info(const char* path) {
  GifFile gif;
  if (!load(path, gif)) return 1;
  std::printf("version %s\n", gif.version == Version::gif89a ? "89a" : "87a");
  std::printf("screen %d %d\n", gif.screen_width, gif.screen_height);
  std::printf("loop %d\n", gif.loop_count);
  std::printf("frames %zu\n", gif.frames.size());
  for (std::size_t i = 0; i < gif.frames.size(); ++i) {
    const Frame& f = gif.frames[i];
    std::printf(
        "frame %zu left %d top %d width %d height %d delay %u disposal %d transparent %d index %d interlaced %d "
        "localpalette %d\n",
        i + 1, f.left, f.top, f.width, f.height, f.delay_ms, static_cast<int>(f.disposal), f.transparent ? 1 : 0,
        static_cast<int>(f.transparent_index), f.interlaced ? 1 : 0, f.has_local_palette ? 1 : 0);
  }
  return 0;
}

bool write_pam(const std::filesystem::path& file, const Canvas& c) {
  std::FILE* out = std::fopen(file.string().c_str(), "wb");
  if (!out) return false;
  std::fprintf(out, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n", c.width, c.height);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(c.width) * 4);
  for (int y = 0; y < c.height; ++y) {
    for (int x = 0; x < c.width; ++x) {
      const Pixel p = c.at(x, y);
      std::uint8_t* o = &row[static_cast<std::size_t>(x) * 4];
      o[0] = red_of(p);
      o[1] = green_of(p);
      o[2] = blue_of(p);
      o[3] = c.transparent_at(x, y) ? 0 : 255;
    }
    std::fwrite(row.data(), 1, row.size(), out);
  }
  return std::fclose(out) == 0;
}

int frames(const char* path, const char* dir) {
  GifFile gif;
  if (!load(path, gif)) return 1;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  Composer composer;
  composer.reset(gif);
  for (std::size_t i = 0; i < gif.frames.size(); ++i) {
    if (i > 0) composer.dispose(gif, i - 1);
    composer.draw(gif, i);
    char name[32];
    std::snprintf(name, sizeof name, "frame-%03zu.pam", i + 1);
    const std::filesystem::path file = std::filesystem::path(dir) / name;
    if (!write_pam(file, composer.canvas())) {
      std::fprintf(stderr, "error: cannot write %s\n", file.string().c_str());
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 3 && std::strcmp(argv[1], "info") == 0) return info(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "frames") == 0) return frames(argv[2], argv[3]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
  return usage();
}
