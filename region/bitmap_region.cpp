#include "region/bitmap_region.h"

#include <array>
#include <bit>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brevaro::region {

Color resolve_color(Color c, const SystemColorResolver& resolver) {
  if (!is_system_color(c)) return c & 0x00FFFFFFu;
  const int index = static_cast<int>(c & 0xFF);
  if (resolver) return resolver(index) & 0x00FFFFFFu;
  // Classic Windows defaults, for headless use without a resolver.
  static constexpr std::array<Color, 31> defaults = {
      0xC8D0D4, 0x000000, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000, 0x000000, 0xFFFFFF, 0xC8D0D4,
      0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4, 0x808080, 0x808080, 0x000000, 0xC8D0D4, 0xFFFFFF, 0x404040,
      0xC8D0D4, 0x000000, 0xE1FFFF, 0x000000, 0x800000, 0xF0CAA6, 0xC0C0C0, 0xFF9933, 0xC8D0D4};
  return static_cast<size_t>(index) < defaults.size() ? defaults[static_cast<size_t>(index)] : 0;
}

namespace {

// Index of the first pixel in [x, w) of `row` whose "matches the key"
// result equals `want`; w when there is none.
int32_t find_match(const uint32_t* row, int32_t x, int32_t w, uint32_t key, bool want) {
#if defined(__SSE2__)
  const __m128i mask = _mm_set1_epi32(0x00FFFFFF);
  const __m128i k = _mm_set1_epi32(static_cast<int>(key));
  while (x + 4 <= w) {
    __m128i v;
    std::memcpy(&v, row + x, sizeof v);
    const __m128i eq = _mm_cmpeq_epi32(_mm_and_si128(v, mask), k);
    unsigned bits = static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(eq)));
    if (!want) bits = ~bits & 0xFu;
    if (bits) return x + std::countr_zero(bits);
    x += 4;
  }
#endif
  for (; x < w; ++x) {
    if (((row[x] & 0x00FFFFFFu) == key) == want) return x;
  }
  return w;
}

// Rows of a 1-bit bitmap as 64-bit words, pixel 0 in the most significant
// bit, with the run pixels set.
struct BitRow {
  std::vector<uint64_t> words;
  void load(const uint8_t* src, size_t stride, int32_t w, bool complement) {
    const size_t n = (static_cast<size_t>(w) + 63) / 64;
    words.assign(n, 0);
    const size_t full = stride / 8;
    for (size_t i = 0; i < full && i < n; ++i) {
      uint64_t v;
      std::memcpy(&v, src + i * 8, 8);
      if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
      words[i] = v;
    }
    for (size_t b = full * 8; b < stride; ++b) {
      words[b / 8] |= uint64_t{src[b]} << (56 - 8 * (b % 8));
    }
    if (complement) {
      for (auto& v : words) v = ~v;
    }
    const unsigned tail = static_cast<unsigned>(w % 64);
    if (tail) words[n - 1] &= ~0ull << (64 - tail);
  }
  // First pixel >= x whose bit equals `one`; w when none.
  int32_t find(int32_t x, int32_t w, bool one) const {
    size_t i = static_cast<size_t>(x) / 64;
    uint64_t v = one ? words[i] : ~words[i];
    v &= ~0ull >> (x % 64);
    for (;;) {
      if (v) {
        const int64_t p = static_cast<int64_t>(i * 64) + std::countl_zero(v);
        return p < w ? static_cast<int32_t>(p) : w;
      }
      if (++i >= words.size()) return w;
      v = one ? words[i] : ~words[i];
    }
  }
};

template <typename Emit>
void scan(const Bitmap& bmp, uint32_t transparent, bool inverted, Emit&& emit) {
  if (bmp.empty()) return;
  const int32_t w = bmp.width();
  const int32_t h = bmp.height();
  const uint32_t key = transparent & 0x00FFFFFFu;
  if (bmp.bits() == 32) {
    // A run pixel matches the key exactly when `inverted`.
    for (int32_t y = 0; y < h; ++y) {
      const uint32_t* row = bmp.rgb_row(y);
      int32_t x = 0;
      while (x < w) {
        const int32_t x_left = find_match(row, x, w, key, inverted);
        if (x_left >= w) break;
        const int32_t x_end = find_match(row, x_left + 1, w, key, !inverted);
        emit(x_left, x_end, y);
        x = x_end + 1;
      }
    }
    return;
  }
  const auto& pal = bmp.palette();
  std::array<bool, 256> run_index{};
  for (size_t i = 0; i < pal.size(); ++i) run_index[i] = ((pal[i] & 0xFFFFFFu) == key) == inverted;
  if (bmp.bits() == 1) {
    if (run_index[0] == run_index[1]) {
      if (run_index[0]) {
        for (int32_t y = 0; y < h; ++y) emit(0, w, y);
      }
      return;
    }
    BitRow bits;
    const bool complement = run_index[0];  // runs are the 0 bits
    for (int32_t y = 0; y < h; ++y) {
      bits.load(bmp.row(y), bmp.stride(), w, complement);
      int32_t x = 0;
      while (x < w) {
        const int32_t x_left = bits.find(x, w, true);
        if (x_left >= w) break;
        const int32_t x_end = x_left + 1 >= w ? w : bits.find(x_left + 1, w, false);
        emit(x_left, x_end, y);
        x = x_end + 1;
      }
    }
    return;
  }
  for (int32_t y = 0; y < h; ++y) {
    int32_t x = 0;
    while (x < w) {
      while (x < w && !run_index[bmp.value_at(x, y)]) ++x;
      if (x >= w) break;
      const int32_t x_left = x;
      while (x < w && run_index[bmp.value_at(x, y)]) ++x;
      emit(x_left, x, y);
      ++x;
    }
  }
}

}  // namespace

Region bitmap_to_region(const Bitmap& bitmap, uint32_t transparent, bool inverted) {
  std::vector<Rect> batch;
  batch.reserve(kScanBatchStep);
  Region accumulated;
  auto flush = [&] {
    Region part = Region::from_rects(batch);
    if (accumulated) {
      accumulated.combine(part, CombineMode::Or);
    } else {
      accumulated = std::move(part);
    }
    batch.clear();
  };
  scan(bitmap, transparent, inverted, [&](int32_t x_left, int32_t x_end, int32_t y) {
    if (batch.size() == batch.capacity()) batch.reserve(batch.capacity() + kScanBatchStep);
    batch.push_back(Rect{x_left, y, x_end, y + 1});
    if (batch.size() == kScanBatch) flush();
  });
  flush();
  return accumulated;
}

void scan_runs(const Bitmap& bitmap, uint32_t transparent, bool inverted,
               const std::function<void(int32_t, int32_t, int32_t)>& emit) {
  scan(bitmap, transparent, inverted, emit);
}

}  // namespace brevaro::region
