#include "region/shapes.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <limits>

namespace brevaro::region {

namespace {
std::atomic<int64_t> g_max_rows{kMaxShapeRows};
std::atomic<int64_t> g_max_work{kMaxShapeWork};
}  // namespace

ShapeLimits shape_limits() {
  return ShapeLimits{g_max_rows.load(std::memory_order_relaxed), g_max_work.load(std::memory_order_relaxed)};
}

void set_shape_limits(ShapeLimits limits) {
  g_max_rows.store(limits.max_rows, std::memory_order_relaxed);
  g_max_work.store(limits.max_work, std::memory_order_relaxed);
}

namespace {

int32_t wrap_sub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

std::vector<Rect> plain_rect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  if (left == right || top == bottom) return {};
  return {Rect{left, top, right, bottom}};
}

}  // namespace

bool round_rect_within_limits(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t ellipse_width,
                              int32_t ellipse_height) {
  const int64_t width = std::llabs(int64_t{right} - left) - 1;
  const int64_t height = std::llabs(int64_t{bottom} - top) - 1;
  const int64_t ew = std::min<int64_t>(width, std::llabs(int64_t{ellipse_width}));
  const int64_t eh = std::min<int64_t>(height, std::llabs(int64_t{ellipse_height}));
  if (ew < 2 || eh < 2) return true;
  const int64_t max_rows = shape_limits().max_rows;
  return eh <= max_rows && ew <= max_rows;
}

bool polygon_within_limits(std::span<const Point> points) {
  if (points.empty()) return true;
  int64_t ymin = points[0].y;
  int64_t ymax = points[0].y;
  for (const Point& p : points) {
    ymin = std::min<int64_t>(ymin, p.y);
    ymax = std::max<int64_t>(ymax, p.y);
  }
  const int64_t rows = ymax - ymin;
  const ShapeLimits limits = shape_limits();
  return rows <= limits.max_rows && rows * static_cast<int64_t>(points.size()) <= limits.max_work;
}

// The rounded rectangle covers the interior of the given rectangle with its
// right and bottom edges moved in by one pixel; the corner arcs are traced
// with an integer ellipse algorithm (A. Zingl's), one span per arc row.
std::vector<Rect> round_rect_rects(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t ellipse_width,
                                   int32_t ellipse_height) {
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  // The platform works in 64 bits here only after this point; keep the
  // differences in 64 bits so that far-apart coordinates cannot overflow.
  const int64_t r = int64_t{right} - 1;
  const int64_t b = int64_t{bottom} - 1;
  const int64_t width = r - left;
  const int64_t height = b - top;
  int64_t ew = std::min<int64_t>(width, std::llabs(int64_t{ellipse_width}));
  int64_t eh = std::min<int64_t>(height, std::llabs(int64_t{ellipse_height}));
  if (ew < 2 || eh < 2) {
    return plain_rect(left, top, static_cast<int32_t>(r), static_cast<int32_t>(b));
  }
  if (eh > shape_limits().max_rows || ew > shape_limits().max_rows) return {};

  std::vector<Rect> rects(static_cast<size_t>(eh));
  const int64_t a = ew - 1;
  const int64_t bb = eh - 1;
  const int64_t asq = 8 * a * a;
  const int64_t bsq = 8 * bb * bb;
  int64_t dx = 4 * bb * bb * (1 - a);
  int64_t dy = 4 * a * a * (1 + (bb % 2));
  int64_t err = dx + dy + a * a * (bb % 2);
  int64_t x = 0;
  int64_t y = eh / 2;
  rects[static_cast<size_t>(y)].left = left;
  rects[static_cast<size_t>(y)].right = static_cast<int32_t>(r);
  while (x <= ew / 2) {
    const int64_t e2 = 2 * err;
    if (e2 >= dx) {
      ++x;
      dx += bsq;
      err += dx;
    }
    if (e2 <= dy) {
      ++y;
      dy += asq;
      err += dy;
      if (y < eh) {
        rects[static_cast<size_t>(y)].left = static_cast<int32_t>(left + x);
        rects[static_cast<size_t>(y)].right = static_cast<int32_t>(r - x);
      }
    }
  }
  // Flat arcs: the loop can stop before the last rows of the arc (the
  // platform leaves them uninitialised). Give them the arc's tip, the
  // narrowest span, as the completion step of the same algorithm does.
  const int64_t tip = (ew - 1) / 2;
  for (int64_t row = y + 1; row < eh; ++row) {
    rects[static_cast<size_t>(row)].left = static_cast<int32_t>(left + tip);
    rects[static_cast<size_t>(row)].right = static_cast<int32_t>(r - tip);
  }
  int64_t i = 0;
  for (; i < eh / 2; ++i) {
    auto& row = rects[static_cast<size_t>(i)];
    row.left = rects[static_cast<size_t>(bb - i)].left;
    row.right = rects[static_cast<size_t>(bb - i)].right;
    row.top = static_cast<int32_t>(top + i);
    row.bottom = static_cast<int32_t>(top + i + 1);
  }
  for (; i < eh; ++i) {
    auto& row = rects[static_cast<size_t>(i)];
    row.top = static_cast<int32_t>(b - eh + i);
    row.bottom = static_cast<int32_t>(b - eh + i + 1);
  }
  rects[static_cast<size_t>(eh / 2)].top = static_cast<int32_t>(top + eh / 2);
  std::erase_if(rects, [](const Rect& q) { return q.left >= q.right || q.top >= q.bottom; });
  return rects;
}

std::vector<Rect> ellipse_rects(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return round_rect_rects(left, top, right, bottom, wrap_sub(right, left), wrap_sub(bottom, top));
}

namespace {

// One polygon edge stepped from its upper end down, one scanline at a time,
// with the integer Bresenham-style increments of the classic X11 polygon
// scan converter (which the platform's region code shares).
struct Edge {
  int64_t ymax;  // last scanline (inclusive) on which the edge is active
  int64_t x;     // x on the current scanline
  int64_t m, m1, incr1, incr2, d;
  int ytop;
  bool clockwise;
  size_t order;

  void init(int64_t dy, int64_t x1, int64_t x2) {
    x = x1;
    const int64_t ddx = x2 - x1;
    if (ddx < 0) {
      m = ddx / dy;
      m1 = m - 1;
      incr1 = -2 * ddx + 2 * dy * m1;
      incr2 = -2 * ddx + 2 * dy * m;
      d = 2 * m * dy - 2 * ddx - 2 * dy;
    } else {
      m = ddx / dy;
      m1 = m + 1;
      incr1 = 2 * ddx - 2 * dy * m1;
      incr2 = 2 * ddx - 2 * dy * m;
      d = -2 * m * dy + 2 * ddx;
    }
  }
  void step() {
    if (m1 > 0) {
      if (d > 0) {
        x += m1;
        d += incr1;
      } else {
        x += m;
        d += incr2;
      }
    } else {
      if (d >= 0) {
        x += m1;
        d += incr1;
      } else {
        x += m;
        d += incr2;
      }
    }
  }
};

}  // namespace

std::vector<Rect> polygon_rects(std::span<const Point> pts, FillMode mode) {
  const size_t n = pts.size();
  if (n < 2) return {};
  // An axis-aligned rectangle given as four points (or five, closed) is
  // taken as that rectangle, as the platform does.
  if ((n == 4 || (n == 5 && pts[4] == pts[0])) &&
      ((pts[0].y == pts[1].y && pts[1].x == pts[2].x && pts[2].y == pts[3].y && pts[3].x == pts[0].x) ||
       (pts[0].x == pts[1].x && pts[1].y == pts[2].y && pts[2].x == pts[3].x && pts[3].y == pts[0].y))) {
    return plain_rect(std::min(pts[0].x, pts[2].x), std::min(pts[0].y, pts[2].y), std::max(pts[0].x, pts[2].x),
                      std::max(pts[0].y, pts[2].y));
  }

  std::vector<Edge> edges;
  edges.reserve(n);
  int64_t ymin = std::numeric_limits<int64_t>::max();
  int64_t ymax = std::numeric_limits<int64_t>::min();
  Point prev = pts[n - 1];
  for (size_t i = 0; i < n; ++i) {
    const Point cur = pts[i];
    Point upper, lower;
    bool clockwise;
    if (prev.y > cur.y) {
      lower = prev;
      upper = cur;
      clockwise = false;
    } else {
      lower = cur;
      upper = prev;
      clockwise = true;
    }
    if (lower.y != upper.y) {
      Edge e{};
      e.ymax = int64_t{lower.y} - 1;
      e.ytop = upper.y;
      e.clockwise = clockwise;
      e.init(int64_t{lower.y} - upper.y, upper.x, lower.x);
      ymax = std::max<int64_t>(ymax, prev.y);
      ymin = std::min<int64_t>(ymin, prev.y);
      edges.push_back(e);
    }
    prev = cur;
  }
  // Work bound: scanlines, and scanlines times points (as the GDI backend
  // checks before calling the platform).
  if (edges.empty() || !polygon_within_limits(pts)) return {};

  // Edge table: edges by starting scanline, each bucket sorted by x with a
  // later edge placed before earlier ones of equal x (the order that
  // successive sorted insertions give).
  std::vector<size_t> et(edges.size());
  for (size_t i = 0; i < edges.size(); ++i) et[i] = i;
  std::sort(et.begin(), et.end(), [&](size_t a, size_t b) {
    if (edges[a].ytop != edges[b].ytop) return edges[a].ytop < edges[b].ytop;
    if (edges[a].x != edges[b].x) return edges[a].x < edges[b].x;
    return a > b;
  });

  std::vector<Rect> rects;
  std::vector<size_t> aet;  // active edges in x order
  std::vector<size_t> waet;
  size_t next = 0;
  bool fix_waet = false;

  auto compute_waet = [&] {
    waet.clear();
    bool inside = true;
    int is_inside = 0;
    for (size_t idx : aet) {
      is_inside += edges[idx].clockwise ? 1 : -1;
      if ((!inside && is_inside == 0) || (inside && is_inside != 0)) {
        waet.push_back(idx);
        inside = !inside;
      }
    }
  };

  std::vector<int64_t> xs;
  for (int64_t y = ymin; y < ymax; ++y) {
    if (next < et.size() && edges[et[next]].ytop == y) {
      size_t pos = 0;
      while (next < et.size() && edges[et[next]].ytop == y) {
        const size_t idx = et[next++];
        while (pos < aet.size() && edges[aet[pos]].x < edges[idx].x) ++pos;
        aet.insert(aet.begin() + static_cast<std::ptrdiff_t>(pos), idx);
        ++pos;
      }
      if (mode == FillMode::Winding) compute_waet();
    }
    xs.clear();
    if (mode == FillMode::Alternate) {
      for (size_t idx : aet) xs.push_back(edges[idx].x);
    } else {
      for (size_t idx : waet) xs.push_back(edges[idx].x);
    }
    for (size_t k = 0; k + 1 < xs.size(); k += 2) {
      if (xs[k] == xs[k + 1]) continue;
      rects.push_back({static_cast<int32_t>(xs[k]), static_cast<int32_t>(y), static_cast<int32_t>(xs[k + 1]),
                       static_cast<int32_t>(y + 1)});
    }
    // Step or retire every active edge.
    size_t w = 0;
    for (size_t k = 0; k < aet.size(); ++k) {
      Edge& e = edges[aet[k]];
      if (e.ymax == y) {
        fix_waet = true;
        continue;
      }
      e.step();
      aet[w++] = aet[k];
    }
    aet.resize(w);
    // Stable insertion sort by x.
    bool changed = false;
    for (size_t k = 1; k < aet.size(); ++k) {
      const size_t idx = aet[k];
      size_t j = k;
      while (j > 0 && edges[aet[j - 1]].x > edges[idx].x) {
        aet[j] = aet[j - 1];
        --j;
      }
      if (j != k) {
        aet[j] = idx;
        changed = true;
      }
    }
    if (mode == FillMode::Winding && (changed || fix_waet)) {
      compute_waet();
      fix_waet = false;
    }
  }
  return rects;
}

}  // namespace brevaro::region
