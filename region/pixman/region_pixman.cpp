// Host backend of Region: pixman_region32_t for rectangles, set operations,
// offset and bounding box; shapes come from region/shapes.cpp.
//
// Two fast paths keep the bitmap scan linear: rectangle lists
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

pixman_region32_data_t* alloc_data(size_t capacity) {
  auto* data = static_cast<pixman_region32_data_t*>(
      std::malloc(sizeof(pixman_region32_data_t) + std::max<size_t>(capacity, 1) * sizeof(Box)));
  if (!data) throw std::bad_alloc();
  data->size = static_cast<long>(std::max<size_t>(capacity, 1));
  data->numRects = 0;
  return data;
}

Box* boxes_in(pixman_region32_data_t* data) { return reinterpret_cast<Box*>(data + 1); }

// Takes `data` (numRects canonical boxes) as the region's representation,
// without validation; frees it when a plainer form fits.
void install_data(pixman_region32_t* reg, pixman_region32_data_t* data) {
  pixman_region32_fini(reg);
  const size_t n = static_cast<size_t>(data->numRects);
  if (n <= 1) {
    if (n == 0) {
      pixman_region32_init(reg);
    } else {
      pixman_region32_init_with_extents(reg, &boxes_in(data)[0]);
    }
    std::free(data);
    return;
  }
  const Box* b = boxes_in(data);
  int32_t x1 = b[0].x1;
  int32_t x2 = b[0].x2;
  for (size_t i = 1; i < n; ++i) {
    x1 = std::min(x1, b[i].x1);
    x2 = std::max(x2, b[i].x2);
  }
  reg->extents = Box{x1, b[0].y1, x2, b[n - 1].y2};
  reg->data = data;
}

void install_boxes(pixman_region32_t* reg, const Box* boxes, size_t n) {
  pixman_region32_data_t* data = alloc_data(n);
  std::memcpy(boxes_in(data), boxes, n * sizeof(Box));
  data->numRects = static_cast<long>(n);
  install_data(reg, data);
}

bool same_spans(const Box* a, size_t na, const Box* b, size_t nb) {
  if (na != nb) return false;
  for (size_t i = 0; i < na; ++i) {
    if (a[i].x1 != b[i].x1 || a[i].x2 != b[i].x2) return false;
  }
  return true;
}

// An output buffer of canonical boxes that bands are appended to, band by
// band, merging a band into the previous one when it touches it and has the
// same spans.
struct BandWriter {
  Box* out;
  size_t n;
  size_t last_band;  // start of the last band in out[0, n)

  BandWriter(Box* o, size_t count) : out(o), n(count), last_band(count) {
    while (last_band > 0 && out[last_band - 1].y1 == out[n - 1].y1) --last_band;
  }
  void append_band(const Box* band, size_t k) {
    if (k == 0) return;
    if (n > 0 && out[n - 1].y2 == band[0].y1 && same_spans(out + last_band, n - last_band, band, k)) {
      for (size_t i = last_band; i < n; ++i) out[i].y2 = band[0].y2;
      return;
    }
    std::memcpy(out + n, band, k * sizeof(Box));
    last_band = n;
    n += k;
  }
  void append_bands(const Box* boxes, size_t m) {
    size_t i = 0;
    while (i < m) {
      size_t j = i + 1;
      while (j < m && boxes[j].y1 == boxes[i].y1) ++j;
      append_band(boxes + i, j - i);
      i = j;
    }
  }
};

// One pass over rectangles given band by band (each band: equal top and
// bottom, increasing left, no overlap; bands in increasing order without
// overlap) into canonical boxes: touching spans merged, equal adjacent bands
// merged. Returns false when the input is not banded.
bool coalesce_banded(std::span<const Rect> rects, Box* out, size_t& count) {
  BandWriter w(out, 0);
  size_t i = 0;
  int32_t prev_bottom = 0;
  bool have_prev = false;
  while (i < rects.size()) {
    const Rect& first = rects[i];
    if (first.left >= first.right || first.top >= first.bottom) {
      ++i;  // empty rectangles are dropped
      continue;
    }
    const int32_t top = first.top;
    const int32_t bottom = first.bottom;
    if (have_prev && top < prev_bottom) return false;
    // Collect the band at the end of the output, then let the writer merge.
    Box* band = out + w.n;
    size_t k = 0;
    for (; i < rects.size(); ++i) {
      const Rect& r = rects[i];
      if (r.left >= r.right || r.top >= r.bottom) continue;
      if (r.top != top) break;
      if (r.bottom != bottom) return false;
      if (k > 0) {
        Box& last = band[k - 1];
        if (r.left < last.x2) return false;
        if (r.left == last.x2) {
          last.x2 = r.right;
          continue;
        }
      }
      band[k++] = Box{r.left, top, r.right, bottom};
    }
    if (w.n > 0 && w.out[w.n - 1].y2 == top && same_spans(w.out + w.last_band, w.n - w.last_band, band, k)) {
      for (size_t q = w.last_band; q < w.n; ++q) w.out[q].y2 = bottom;
    } else {
      w.last_band = w.n;
      w.n += k;
    }
    prev_bottom = bottom;
    have_prev = true;
  }
  count = w.n;
  return true;
}

const Box* boxes_of(const pixman_region32_t* reg, size_t& n) {
  int count = 0;
  const Box* b = pixman_region32_rectangles(const_cast<pixman_region32_t*>(reg), &count);
  n = static_cast<size_t>(count);
  return b;
}

// reg := reg OR other without rebuilding all of reg, when other starts at
// or below reg's last band (the bitmap scan's partial regions do):
//  - other below reg: its bands are appended;
//  - other's first band is reg's last band continued to the right (a row
//    split between two partial regions): the two are joined;
//  - otherwise only the bands of reg that reach below other's top take part
//    in a real union.
// Returns false when none of these applies (reg's first band reaches below
// other's top).
bool union_tail(pixman_region32_t* reg, const pixman_region32_t* other) {
  size_t n = 0;
  size_t m = 0;
  const Box* a = boxes_of(reg, n);
  const Box* b = boxes_of(other, m);
  if (n == 0 || m == 0) return false;
  size_t last_start = n - 1;
  while (last_start > 0 && a[last_start - 1].y1 == a[n - 1].y1) --last_start;
  size_t first_end = 1;
  while (first_end < m && b[first_end].y1 == b[0].y1) ++first_end;

  size_t keep = 0;
  std::vector<Box> joined;  // case 2: the joined band
  const Box* src = b;
  size_t src_n = m;
  pixman_region32_t tmp;
  pixman_region32_init(&tmp);
  if (b[0].y1 >= a[n - 1].y2) {
    keep = n;
  } else if (b[0].y1 == a[n - 1].y1 && b[0].y2 == a[n - 1].y2 && a[n - 1].x2 < b[0].x1) {
    keep = last_start;
    joined.assign(a + last_start, a + n);
    joined.insert(joined.end(), b, b + first_end);
    src = b + first_end;
    src_n = m - first_end;
  } else {
    const int32_t oy1 = other->extents.y1;
    const Box* k = std::partition_point(a, a + n, [oy1](const Box& x) { return x.y2 <= oy1; });
    keep = static_cast<size_t>(k - a);
    if (keep == 0) {
      pixman_region32_fini(&tmp);
      return false;
    }
    pixman_region32_t tail;
    pixman_region32_init(&tail);
    install_boxes(&tail, k, n - keep);
    pixman_region32_union(&tmp, &tail, const_cast<pixman_region32_t*>(other));
    pixman_region32_fini(&tail);
    src = boxes_of(&tmp, src_n);
  }

  const size_t needed = keep + joined.size() + src_n;
  pixman_region32_data_t* data;
  if (reg->data && reg->data->size > 0) {
    data = reg->data;
    if (static_cast<size_t>(data->size) < needed) {
      const size_t cap = std::max(needed, static_cast<size_t>(data->size) * 2);
      auto* grown =
          static_cast<pixman_region32_data_t*>(std::realloc(data, sizeof(pixman_region32_data_t) + cap * sizeof(Box)));
      if (!grown) throw std::bad_alloc();
      grown->size = static_cast<long>(cap);
      data = grown;
    }
    reg->data = nullptr;  // taken over; reg is rebuilt below
  } else {
    data = alloc_data(std::max<size_t>(needed, 16));
    std::memcpy(boxes_in(data), a, keep * sizeof(Box));
  }
  BandWriter w(boxes_in(data), keep);
  w.append_band(joined.data(), joined.size());
  w.append_bands(src, src_n);
  data->numRects = static_cast<long>(w.n);
  pixman_region32_fini(&tmp);

  const Box ext{std::min(reg->extents.x1, other->extents.x1), 0, std::max(reg->extents.x2, other->extents.x2), 0};
  pixman_region32_init(reg);  // (data was taken over: nothing to free)
  if (w.n == 1) {
    pixman_region32_init_with_extents(reg, &boxes_in(data)[0]);
    std::free(data);
  } else {
    reg->data = data;
    reg->extents = Box{ext.x1, boxes_in(data)[0].y1, ext.x2, boxes_in(data)[w.n - 1].y2};
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

Region Region::round_rect(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t ellipse_width,
                          int32_t ellipse_height) {
  const auto rects = round_rect_rects(left, top, right, bottom, ellipse_width, ellipse_height);
  return from_rects(rects);
}

Region Region::polygon(std::span<const Point> points, FillMode mode) {
  const auto rects = polygon_rects(points, mode);
  return from_rects(rects);
}

Region Region::from_rects(std::span<const Rect> rects) {
  Region result = empty();
  pixman_region32_data_t* data = alloc_data(rects.size());
  size_t n = 0;
  if (!coalesce_banded(rects, boxes_in(data), n)) {
    // Not banded: the general (and larger) canonical form.
    const auto canon = canonicalize(std::vector<Rect>(rects.begin(), rects.end()));
    n = canon.size();
    std::free(data);
    data = alloc_data(n);
    for (size_t i = 0; i < n; ++i)
      boxes_in(data)[i] = Box{canon[i].left, canon[i].top, canon[i].right, canon[i].bottom};
  }
  data->numRects = static_cast<long>(n);
  install_data(pr(result.handle_), data);
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
    case CombineMode::And: pixman_region32_intersect(a, a, b); break;
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
    case CombineMode::Diff: pixman_region32_subtract(a, a, b); break;
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

bool Region::equals(const Region& other) const { return pixman_region32_equal(pr(handle_), pr(other.handle_)); }

size_t Region::rect_count() const { return handle_ ? static_cast<size_t>(pixman_region32_n_rects(pr(handle_))) : 0; }

}  // namespace brevaro::region
