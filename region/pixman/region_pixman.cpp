// Host backend of Region: pixman_region32_t for rectangles, set operations,
// offset and bounding box; shapes come from region/shapes.cpp.
//
// Two fast paths keep the bitmap scan of Part 4.2 linear: rectangle lists
// that are already banded (as the scan and the shape converters produce)
// are turned into the canonical form in one pass and handed to pixman as
// they are, and OR with a region that lies (mostly) below the receiver only
// rebuilds the overlapping tail instead of the whole region.
#include <pixman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "region/pixman/native.h"
#include "region/region.h"
#include "region/shapes.h"

namespace brevaro::region {

namespace {

using Box = pixman_box32_t;

pixman_region32_t* pr(void* h) { return static_cast<pixman_region32_t*>(h); }

pixman_region32_t* new_region() {
  auto* r = new pixman_region32_t;
  pixman_region32_init(r);
  return r;
}

// Canonical boxes -> region, taking them as they are (no validation).
void install_boxes(pixman_region32_t* reg, const Box* boxes, size_t n, size_t capacity) {
  pixman_region32_fini(reg);
  if (n == 0) {
    pixman_region32_init(reg);
    return;
  }
  if (n == 1) {
    pixman_region32_init_with_extents(reg, &boxes[0]);
    return;
  }
  capacity = std::max(capacity, n);
  auto* data = static_cast<pixman_region32_data_t*>(
      std::malloc(sizeof(pixman_region32_data_t) + capacity * sizeof(Box)));
  if (!data) throw std::bad_alloc();
  data->size = static_cast<long>(capacity);
  data->numRects = static_cast<long>(n);
  Box* dst = reinterpret_cast<Box*>(data + 1);
  std::memcpy(dst, boxes, n * sizeof(Box));
  int32_t x1 = boxes[0].x1;
  int32_t x2 = boxes[0].x2;
  for (size_t i = 1; i < n; ++i) {
    x1 = std::min(x1, boxes[i].x1);
    x2 = std::max(x2, boxes[i].x2);
  }
  reg->extents = Box{x1, boxes[0].y1, x2, boxes[n - 1].y2};
  reg->data = data;
}

// Appends the band starting at in[i] (ending before in[end]) to out,
// merging touching spans; returns false if the band is not sorted.
bool same_spans(const Box* a, size_t na, const Box* b, size_t nb) {
  if (na != nb) return false;
  for (size_t i = 0; i < na; ++i) {
    if (a[i].x1 != b[i].x1 || a[i].x2 != b[i].x2) return false;
  }
  return true;
}

// One pass over rectangles given band by band (each band: equal top and
// bottom, increasing left, no overlap; bands in increasing order without
// overlap). Produces the canonical form: touching spans merged, equal
// adjacent bands merged. Returns false when the input is not banded.
bool coalesce_banded(std::span<const Rect> rects, std::vector<Box>& out) {
  out.clear();
  out.reserve(rects.size());
  size_t prev_band = 0;  // start of the previous band in out
  bool have_prev = false;
  int32_t prev_bottom = 0;
  size_t i = 0;
  while (i < rects.size()) {
    const Rect& first = rects[i];
    if (first.left >= first.right || first.top >= first.bottom) {
      ++i;  // empty rectangles are dropped
      continue;
    }
    const int32_t top = first.top;
    const int32_t bottom = first.bottom;
    if (have_prev && top < prev_bottom) return false;
    const size_t band = out.size();
    for (; i < rects.size(); ++i) {
      const Rect& r = rects[i];
      if (r.left >= r.right || r.top >= r.bottom) continue;
      if (r.top != top) break;
      if (r.bottom != bottom) return false;
      if (out.size() > band) {
        Box& last = out.back();
        if (r.left < last.x2) return false;
        if (r.left == last.x2) {
          last.x2 = r.right;
          continue;
        }
      }
      out.push_back(Box{r.left, top, r.right, bottom});
    }
    if (have_prev && prev_bottom == top &&
        same_spans(&out[prev_band], band - prev_band, &out[band], out.size() - band)) {
      for (size_t k = prev_band; k < band; ++k) out[k].y2 = bottom;
      out.resize(band);
    } else {
      prev_band = band;
    }
    prev_bottom = bottom;
    have_prev = true;
  }
  return true;
}

const Box* boxes_of(const pixman_region32_t* reg, size_t& n) {
  int count = 0;
  const Box* b = pixman_region32_rectangles(const_cast<pixman_region32_t*>(reg), &count);
  n = static_cast<size_t>(count);
  return b;
}

// reg := reg OR other, where other starts below reg's first band: only the
// bands of reg that reach below other's top take part in a real union.
bool union_tail(pixman_region32_t* reg, const pixman_region32_t* other) {
  size_t n = 0;
  size_t m = 0;
  const Box* a = boxes_of(reg, n);
  const Box* b = boxes_of(other, m);
  if (n == 0 || m == 0) return false;
  const int32_t oy1 = other->extents.y1;
  // First box whose band reaches below other's top.
  const Box* k = std::partition_point(a, a + n, [oy1](const Box& x) { return x.y2 <= oy1; });
  const size_t head = static_cast<size_t>(k - a);
  if (head == 0) return false;

  std::vector<Box> tail_union;
  const Box* rb;
  size_t rn;
  pixman_region32_t tmp;
  pixman_region32_init(&tmp);
  if (head == n) {
    rb = b;
    rn = m;
  } else {
    pixman_region32_t tail;
    pixman_region32_init(&tail);
    install_boxes(&tail, k, n - head, n - head);
    pixman_region32_union(&tmp, &tail, const_cast<pixman_region32_t*>(other));
    pixman_region32_fini(&tail);
    rb = boxes_of(&tmp, rn);
  }
  // Does reg's last head band coalesce with the first band of the rest?
  size_t skip = 0;
  size_t last_band = head;
  while (last_band > 0 && a[last_band - 1].y1 == a[head - 1].y1) --last_band;
  size_t first_band_end = 0;
  while (first_band_end < rn && rb[first_band_end].y1 == rb[0].y1) ++first_band_end;
  const bool merge = a[head - 1].y2 == rb[0].y1 &&
                     same_spans(a + last_band, head - last_band, rb, first_band_end);
  if (merge) skip = first_band_end;

  const size_t total = head + rn - skip;
  const bool owned = reg->data && reg->data->size > 0;
  if (owned && static_cast<size_t>(reg->data->size) >= total) {
    Box* dst = reinterpret_cast<Box*>(reg->data + 1);
    if (merge) {
      for (size_t i = last_band; i < head; ++i) dst[i].y2 = rb[0].y2;
    }
    std::memmove(dst + head, rb + skip, (rn - skip) * sizeof(Box));
    reg->data->numRects = static_cast<long>(total);
  } else {
    const size_t cap = std::max(total, owned ? static_cast<size_t>(reg->data->size) * 2 : total * 2);
    auto* data = static_cast<pixman_region32_data_t*>(
        std::malloc(sizeof(pixman_region32_data_t) + cap * sizeof(Box)));
    if (!data) throw std::bad_alloc();
    Box* dst = reinterpret_cast<Box*>(data + 1);
    std::memcpy(dst, a, head * sizeof(Box));
    if (merge) {
      for (size_t i = last_band; i < head; ++i) dst[i].y2 = rb[0].y2;
    }
    std::memcpy(dst + head, rb + skip, (rn - skip) * sizeof(Box));
    data->size = static_cast<long>(cap);
    data->numRects = static_cast<long>(total);
    const Box ext = reg->extents;
    pixman_region32_fini(reg);
    reg->extents = ext;
    reg->data = data;
  }
  pixman_region32_fini(&tmp);
  reg->extents.x1 = std::min(reg->extents.x1, other->extents.x1);
  reg->extents.x2 = std::max(reg->extents.x2, other->extents.x2);
  reg->extents.y2 = std::max(reg->extents.y2, other->extents.y2);
  if (total == 1) {
    const Box only = reinterpret_cast<Box*>(reg->data + 1)[0];
    pixman_region32_fini(reg);
    pixman_region32_init_with_extents(reg, &only);
  }
  return true;
}

}  // namespace

void Region::reset() noexcept {
  if (handle_) {
    pixman_region32_fini(pr(handle_));
    delete pr(handle_);
    handle_ = nullptr;
  }
}

Region Region::empty() { return adopt(new_region()); }

Region Region::rect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  auto* r = new_region();
  if (left != right && top != bottom) {
    const Box b{left, top, right, bottom};
    pixman_region32_fini(r);
    pixman_region32_init_with_extents(r, &b);
  }
  return adopt(r);
}

Region Region::ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  const auto rects = ellipse_rects(left, top, right, bottom);
  return from_rects(rects);
}

Region Region::round_rect(int32_t left, int32_t top, int32_t right, int32_t bottom,
                          int32_t ellipse_width, int32_t ellipse_height) {
  const auto rects = round_rect_rects(left, top, right, bottom, ellipse_width, ellipse_height);
  return from_rects(rects);
}

Region Region::polygon(std::span<const Point> points, FillMode mode) {
  const auto rects = polygon_rects(points, mode);
  return from_rects(rects);
}

Region Region::from_rects(std::span<const Rect> rects) {
  Region result = empty();
  std::vector<Box> boxes;
  if (coalesce_banded(rects, boxes)) {
    install_boxes(pr(result.handle_), boxes.data(), boxes.size(), boxes.size());
    return result;
  }
  const auto canon = canonicalize(std::vector<Rect>(rects.begin(), rects.end()));
  boxes.clear();
  for (const Rect& r : canon) boxes.push_back(Box{r.left, r.top, r.right, r.bottom});
  install_boxes(pr(result.handle_), boxes.data(), boxes.size(), boxes.size());
  return result;
}

Region Region::copy() const {
  auto* r = new_region();
  pixman_region32_copy(r, pr(handle_));
  return adopt(r);
}

void Region::combine(const Region& other, CombineMode mode) {
  pixman_region32_t* a = pr(handle_);
  pixman_region32_t* b = pr(other.handle_);
  switch (mode) {
    case CombineMode::Copy:
      if (a != b) pixman_region32_copy(a, b);
      break;
    case CombineMode::And:
      pixman_region32_intersect(a, a, b);
      break;
    case CombineMode::Or:
      if (a == b || !pixman_region32_not_empty(b)) break;
      if (!pixman_region32_not_empty(a)) {
        pixman_region32_copy(a, b);
        break;
      }
      if (!union_tail(a, b)) pixman_region32_union(a, a, b);
      break;
    case CombineMode::Xor: {
      if (a == b) {
        pixman_region32_clear(a);
        break;
      }
      pixman_region32_t ab, ba;
      pixman_region32_init(&ab);
      pixman_region32_init(&ba);
      pixman_region32_subtract(&ab, a, b);
      pixman_region32_subtract(&ba, b, a);
      pixman_region32_union(a, &ab, &ba);
      pixman_region32_fini(&ab);
      pixman_region32_fini(&ba);
      break;
    }
    case CombineMode::Diff:
      pixman_region32_subtract(a, a, b);
      break;
  }
}

void Region::offset(int32_t dx, int32_t dy) { pixman_region32_translate(pr(handle_), dx, dy); }

Rect Region::bbox() const {
  if (!handle_ || !pixman_region32_not_empty(pr(handle_))) return {};
  const Box* e = pixman_region32_extents(pr(handle_));
  return Rect{e->x1, e->y1, e->x2, e->y2};
}

bool Region::is_empty() const { return !handle_ || !pixman_region32_not_empty(pr(handle_)); }

std::vector<Rect> Region::rects() const {
  std::vector<Rect> out;
  if (!handle_) return out;
  size_t n = 0;
  const Box* b = boxes_of(pr(handle_), n);
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) out.push_back(Rect{b[i].x1, b[i].y1, b[i].x2, b[i].y2});
  return out;
}

bool Region::equals(const Region& other) const {
  return pixman_region32_equal(pr(handle_), pr(other.handle_));
}

size_t Region::rect_count() const {
  return handle_ ? static_cast<size_t>(pixman_region32_n_rects(pr(handle_))) : 0;
}

}  // namespace brevaro::region
