// brevaro-swf: inspects movie files with the product's own player.
//   brevaro-swf info FILE                   header, tags, characters, frames
//   brevaro-swf frames FILE DIR [COUNT]     frame pictures (24-bit BMP, 468 x 60)
//   brevaro-swf scenes DIR                  writes the writer's test scenes as .swf files
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/swf/swf_movie.h"
#include "media/swf/swf_player.h"
#include "tools/swf/scenes.h"

namespace {

using namespace brevaro::media::swf;
using brevaro::media::SwfStatus;

constexpr int kWidth = 468, kHeight = 60;

int usage() {
  std::fprintf(stderr,
               "usage: brevaro-swf info FILE\n"
               "       brevaro-swf frames FILE DIR [COUNT]\n"
               "       brevaro-swf scenes DIR\n");
  return 2;
}

const char* describe(SwfStatus st) {
  switch (st) {
    case SwfStatus::ok: return "ok";
    case SwfStatus::too_short: return "cut inside the header";
    case SwfStatus::not_swf: return "not a movie (or an LZMA-compressed one)";
    case SwfStatus::bad_compression: return "broken zlib stream";
  }
  return "unknown";
}

bool load(const char* path, Movie& movie) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "error: cannot open %s\n", path);
    return false;
  }
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const SwfStatus st = parse_movie(bytes, movie);
  if (st != SwfStatus::ok) {
    std::fprintf(stderr, "error: %s: %s\n", path, describe(st));
    return false;
  }
  return true;
}

void print_timeline(const char* indent, const Timeline& tl) {
  for (std::size_t i = 0; i < tl.frames.size(); ++i) {
    const Frame& f = tl.frames[i];
    std::printf("%sframe %zu:", indent, i);
    if (!f.label.empty()) std::printf(" label \"%s\"", f.label.c_str());
    for (const ControlTag& t : f.tags) {
      if (const auto* p = std::get_if<Place>(&t)) {
        std::printf(" place%d(depth %u", p->version, p->depth);
        if (p->character) std::printf(" char %u", *p->character);
        if (p->move) std::printf(" move");
        if (p->matrix) std::printf(" at %g,%g", p->matrix->tx / 20, p->matrix->ty / 20);
        if (p->color) std::printf(" cxform");
        std::printf(")");
      } else {
        std::printf(" remove(depth %u)", std::get<Remove>(t).depth);
      }
    }
    std::printf("\n");
  }
}

int info(const char* path) {
  Movie m;
  if (!load(path, m)) return 1;
  const auto& h = m.header;
  std::printf("signature %s, version %d, declared length %u\n", h.compressed ? "CWS" : "FWS", h.version, h.file_length);
  std::printf("stage %d x %d px (twips %d..%d, %d..%d)\n", h.stage_width, h.stage_height, h.x_min, h.x_max, h.y_min,
              h.y_max);
  std::printf("frame rate %.2f, declared frames %u, frames %zu\n", h.frame_rate, h.frame_count,
              m.timeline.frames.size());
  std::printf("background %02X%02X%02X\n", m.background.r, m.background.g, m.background.b);
  std::printf("tags:");
  for (const auto& [code, n] : m.tag_counts) std::printf(" %s(%u)x%zu", tag_name(code), code, n);
  std::printf("\nskipped tags %zu%s\n", m.skipped_tags, m.truncated ? ", cut or over a limit" : "");
  for (const auto& [id, s] : m.shapes) {
    std::printf("shape %u: DefineShape%d, %zu fills, %zu lines, %zu edges, bounds %g,%g..%g,%g px%s\n", id, s.version,
                s.fills.size(), s.lines.size(), s.edges.size(), s.x_min / 20.0, s.y_min / 20.0, s.x_max / 20.0,
                s.y_max / 20.0, s.truncated ? " (cut)" : "");
  }
  for (const auto& [id, sp] : m.sprites) {
    std::printf("sprite %u: %zu frames\n", id, sp.timeline.frames.size());
    print_timeline("  ", sp.timeline);
  }
  print_timeline("", m.timeline);
  return 0;
}

bool write_bmp(const std::filesystem::path& p, const std::vector<std::uint32_t>& px, int w, int h) {
  const std::uint32_t row = static_cast<std::uint32_t>((w * 3 + 3) & ~3);
  const std::uint32_t size = 54 + row * static_cast<std::uint32_t>(h);
  std::vector<std::uint8_t> b(size, 0);
  const auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, size);
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(w));
  put32(22, static_cast<std::uint32_t>(h));
  b[26] = 1;
  b[28] = 24;
  put32(34, row * static_cast<std::uint32_t>(h));
  for (int y = 0; y < h; ++y) {
    std::uint8_t* out = b.data() + 54 + static_cast<std::size_t>(h - 1 - y) * row;
    for (int x = 0; x < w; ++x) {
      const std::uint32_t v = px[static_cast<std::size_t>(y * w + x)];  // opaque: premultiplied = straight
      out[3 * x] = static_cast<std::uint8_t>(v);
      out[3 * x + 1] = static_cast<std::uint8_t>(v >> 8);
      out[3 * x + 2] = static_cast<std::uint8_t>(v >> 16);
    }
  }
  std::ofstream f(p, std::ios::binary);
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  return static_cast<bool>(f);
}

int frames(const char* path, const char* dir, const char* count_arg) {
  Movie m;
  if (!load(path, m)) return 1;
  std::size_t count = std::max<std::size_t>(1, m.timeline.frames.size());
  for (const auto& [id, sp] : m.sprites) count = std::max(count, sp.timeline.frames.size());
  if (count_arg) count = static_cast<std::size_t>(std::clamp(std::atol(count_arg), 1L, 10000L));
  std::filesystem::create_directories(dir);
  Player player(std::move(m));
  std::vector<std::uint32_t> px(static_cast<std::size_t>(kWidth * kHeight));
  const Target t{px.data(), kWidth, kHeight, kWidth};
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) player.advance();
    player.render(t);
    char name[32];
    std::snprintf(name, sizeof name, "frame-%04zu.bmp", i);
    if (!write_bmp(std::filesystem::path(dir) / name, px, kWidth, kHeight)) {
      std::fprintf(stderr, "error: cannot write %s\n", name);
      return 1;
    }
  }
  std::printf("%zu frames at %d ms%s\n", count, player.frame_interval_ms(),
              player.limited() ? " (a cap left something out)" : "");
  return 0;
}

int scenes(const char* dir) {
  std::filesystem::create_directories(dir);
  for (const auto& s : brevaro::swf_writer::test_scenes()) {
    std::ofstream f(std::filesystem::path(dir) / (s.name + ".swf"), std::ios::binary);
    f.write(reinterpret_cast<const char*>(s.file.data()), static_cast<std::streamsize>(s.file.size()));
    if (!f) return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc < 2) return usage();
    const std::string cmd = argv[1];
    if (cmd == "info" && argc == 3) return info(argv[2]);
    if (cmd == "frames" && (argc == 4 || argc == 5)) return frames(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
    if (cmd == "scenes" && argc == 3) return scenes(argv[2]);
    return usage();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
}
