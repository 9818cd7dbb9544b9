// Bitmap to region against pixman_region32_init_from_image on the
// same pixels in the same run: a 582 x 488 skin-outline mask made
// procedurally and a 2048 x 2048 random mask. Ours reads the one-bit
// picture as the glyph holds it (and, for information, a 32-bit copy);
// pixman reads the same mask as an a1 image. Prints pixman time / ours time
// (goal: >= 1.0 on both masks).
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "region/bitmap_region.h"
#include "region/pixman/native.h"
#include "region/region.h"
#include "tests/bench/times_reporter.h"

namespace {

using namespace brevaro::region;

struct Mask {
  std::string name;
  Bitmap one_bit;  // palette: 0 black (kept), 1 white (transparent)
  Bitmap rgb;
  std::vector<uint32_t> a1;  // pixman a1 bits: set = kept
  int stride_bytes = 0;
};

Mask make_mask(const std::string& name, int32_t w, int32_t h, const std::function<bool(int32_t, int32_t)>& kept) {
  Mask m;
  m.name = name;
  m.one_bit = Bitmap::indexed(w, h, 1, {0x000000, 0xFFFFFF});
  m.rgb = Bitmap::rgb(w, h, 0xFFFFFF);
  m.stride_bytes = ((w + 31) / 32) * 4;
  m.a1.assign(static_cast<size_t>(m.stride_bytes / 4) * static_cast<size_t>(h), 0);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const bool k = kept(x, y);
      m.one_bit.set(x, y, k ? 0 : 1);
      if (k) {
        m.rgb.set(x, y, 0x000000);
        // a1 on a little-endian machine: pixel x is bit (x & 31) of word x / 32.
        m.a1[static_cast<size_t>(y) * static_cast<size_t>(m.stride_bytes / 4) + static_cast<size_t>(x / 32)] |=
            1u << (x & 31);
      }
    }
  }
  return m;
}

// A plausible skin outline: a rounded body, a round head on the left, a
// notched top edge, a tab on the right and a few holes (speaker grille).
bool skin(int32_t x, int32_t y) {
  auto in_ellipse = [](double px, double py, double cx, double cy, double rx, double ry) {
    const double dx = (px - cx) / rx, dy = (py - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
  };
  const double px = x + 0.5, py = y + 0.5;
  bool body = (px > 40 && px < 560 && py > 60 && py < 470) &&
              !(px < 70 && py < 90 && !in_ellipse(px, py, 70, 90, 30, 30)) &&
              !(px > 530 && py > 440 && !in_ellipse(px, py, 530, 440, 30, 30));
  if (in_ellipse(px, py, 110, 110, 105, 105)) body = true;                                   // head
  if (px > 540 && px < 582 && py > 180 && py < 300) body = true;                             // tab
  if (py < 70 && px > 200 && px < 520 && (static_cast<int>(px) / 24) % 2 == 0) body = true;  // notches
  if (in_ellipse(px, py, 300, 300, 60, 40)) body = false;                                    // window
  for (int i = 0; i < 6; ++i)                                                                // grille
    if (in_ellipse(px, py, 420 + i * 20, 400, 6, 6)) body = false;
  return body;
}

const std::vector<Mask>& masks() {
  static const std::vector<Mask> all = [] {
    std::vector<Mask> v;
    v.push_back(make_mask("skin_582x488", 582, 488, skin));
    std::mt19937 rng(42);
    std::vector<uint8_t> bits(2048 * 2048);
    for (auto& b : bits) b = static_cast<uint8_t>(rng() & 1);
    v.push_back(make_mask("random_2048x2048", 2048, 2048, [&](int32_t x, int32_t y) {
      return bits[static_cast<size_t>(y) * 2048 + static_cast<size_t>(x)] != 0;
    }));
    return v;
  }();
  return all;
}

void BM_ours(benchmark::State& state, const Mask* m) {
  for (auto _ : state) {
    Region r = bitmap_to_region(m->one_bit, 0xFFFFFF, false);
    benchmark::DoNotOptimize(r.native_handle());
  }
}

void BM_ours_rgb32(benchmark::State& state, const Mask* m) {
  for (auto _ : state) {
    Region r = bitmap_to_region(m->rgb, 0xFFFFFF, false);
    benchmark::DoNotOptimize(r.native_handle());
  }
}

void BM_pixman(benchmark::State& state, const Mask* m) {
  pixman_image_t* img = pixman_image_create_bits(PIXMAN_a1, m->one_bit.width(), m->one_bit.height(),
                                                 const_cast<uint32_t*>(m->a1.data()), m->stride_bytes);
  for (auto _ : state) {
    pixman_region32_t r;
    pixman_region32_init_from_image(&r, img);
    benchmark::DoNotOptimize(r.data);
    pixman_region32_fini(&r);
  }
  pixman_image_unref(img);
}

// Both give the same region (checked once before timing).
bool same_region(const Mask& m) {
  pixman_image_t* img = pixman_image_create_bits(PIXMAN_a1, m.one_bit.width(), m.one_bit.height(),
                                                 const_cast<uint32_t*>(m.a1.data()), m.stride_bytes);
  pixman_region32_t ref;
  pixman_region32_init_from_image(&ref, img);
  pixman_image_unref(img);
  Region ours = bitmap_to_region(m.one_bit, 0xFFFFFF, false);
  Region ours32 = bitmap_to_region(m.rgb, 0xFFFFFF, false);
  const bool same = pixman_region32_equal(&ref, pixman_of(ours)) && ours.equals(ours32);
  std::printf("%s: %d rectangles, %s\n", m.name.c_str(), pixman_region32_n_rects(&ref),
              same ? "same region as pixman" : "DIFFERENT REGION FROM PIXMAN");
  pixman_region32_fini(&ref);
  return same;
}

}  // namespace

int main(int argc, char** argv) {
  bool ok = true;
  for (const Mask& m : masks()) ok = same_region(m) && ok;
  for (const Mask& m : masks()) {
    benchmark::RegisterBenchmark(("BM_pixman/" + m.name).c_str(), BM_pixman, &m);
    benchmark::RegisterBenchmark(("BM_ours/" + m.name).c_str(), BM_ours, &m);
    benchmark::RegisterBenchmark(("BM_ours_rgb32/" + m.name).c_str(), BM_ours_rgb32, &m);
  }
  benchmark::Initialize(&argc, argv);
  brevaro::bench::TimesReporter reporter([](const brevaro::bench::TimesReporter::Times& times) {
    std::printf("\nBitmap to region, pixman_region32_init_from_image time / ours (goal >= 1.0):\n");
    for (const auto& [set, t] : times) {
      const auto p = t.find("BM_pixman");
      const auto o = t.find("BM_ours");
      const auto o32 = t.find("BM_ours_rgb32");
      if (p == t.end() || o == t.end() || o->second <= 0) continue;
      std::printf("  %-20s one-bit %.2fx", set.c_str(), p->second / o->second);
      if (o32 != t.end() && o32->second > 0) std::printf("   (32-bit copy %.2fx)", p->second / o32->second);
      std::printf("\n");
    }
  });
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return ok ? 0 : 1;
}
