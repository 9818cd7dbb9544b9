#include "region/geometry.h"

#include <algorithm>

namespace brevaro::region {

namespace {
struct Span {
  int32_t left;
  int32_t right;
  friend bool operator==(const Span&, const Span&) = default;
};
}  // namespace

std::vector<Rect> canonicalize(std::vector<Rect> rects) {
  std::erase_if(rects, [](const Rect& r) { return r.left >= r.right || r.top >= r.bottom; });
  std::vector<Rect> out;
  if (rects.empty()) return out;
  std::sort(rects.begin(), rects.end(),
            [](const Rect& a, const Rect& b) { return a.top < b.top || (a.top == b.top && a.left < b.left); });
  std::vector<int32_t> ys;
  ys.reserve(rects.size() * 2);
  for (const Rect& r : rects) {
    ys.push_back(r.top);
    ys.push_back(r.bottom);
  }
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());

  std::vector<const Rect*> active;
  std::vector<Span> spans;
  std::vector<Span> prev_spans;
  size_t next = 0;
  size_t prev_band_start = 0;
  bool have_prev = false;
  int32_t prev_bottom = 0;
  for (size_t i = 0; i + 1 < ys.size(); ++i) {
    const int32_t y0 = ys[i];
    const int32_t y1 = ys[i + 1];
    bool changed = false;
    while (next < rects.size() && rects[next].top <= y0) {
      active.push_back(&rects[next++]);
      changed = true;
    }
    const size_t before = active.size();
    std::erase_if(active, [y0](const Rect* r) { return r->bottom <= y0; });
    changed = changed || active.size() != before;
    if (active.empty()) {
      have_prev = false;
      continue;
    }
    if (changed || !have_prev) {
      std::sort(active.begin(), active.end(), [](const Rect* a, const Rect* b) { return a->left < b->left; });
      spans.clear();
      for (const Rect* r : active) {
        if (!spans.empty() && r->left <= spans.back().right) {
          spans.back().right = std::max(spans.back().right, r->right);
        } else {
          spans.push_back({r->left, r->right});
        }
      }
    }
    if (have_prev && prev_bottom == y0 && spans == prev_spans) {
      for (size_t k = prev_band_start; k < out.size(); ++k) out[k].bottom = y1;
    } else {
      prev_band_start = out.size();
      for (const Span& s : spans) out.push_back({s.left, y0, s.right, y1});
      prev_spans = spans;
      have_prev = true;
    }
    prev_bottom = y1;
  }
  return out;
}

bool is_canonical(const std::vector<Rect>& rects) {
  size_t i = 0;
  bool have_prev = false;
  int32_t prev_top = 0;
  int32_t prev_bottom = 0;
  std::vector<Span> prev_spans;
  std::vector<Span> spans;
  while (i < rects.size()) {
    const int32_t top = rects[i].top;
    const int32_t bottom = rects[i].bottom;
    if (top >= bottom) return false;
    if (have_prev && top < prev_bottom) return false;
    spans.clear();
    for (; i < rects.size() && rects[i].top == top; ++i) {
      const Rect& r = rects[i];
      if (r.bottom != bottom || r.left >= r.right) return false;
      if (!spans.empty() && r.left <= spans.back().right) return false;
      spans.push_back({r.left, r.right});
    }
    if (have_prev && prev_bottom == top && spans == prev_spans) return false;
    prev_spans = spans;
    prev_top = top;
    prev_bottom = bottom;
    have_prev = true;
  }
  (void)prev_top;
  return true;
}

}  // namespace brevaro::region
