#include "media/swf/swf_render.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

namespace brevaro::media::swf {

namespace {

constexpr int kSub = 16;             // sub-scan-lines per pixel row
constexpr double kTolerance = 0.1;   // curve and circle flattening, target pixels
constexpr int kMaxCurvePieces = 32;  // per quadratic curve
constexpr double kGradientSquare = 16384.0;

std::uint32_t mul255(std::uint32_t a, std::uint32_t b) {
  const std::uint32_t t = a * b + 128;
  return (t + (t >> 8)) >> 8;
}

std::uint32_t scale_pixel(std::uint32_t p, std::uint32_t k) {
  return (mul255(p >> 24, k) << 24) | (mul255((p >> 16) & 0xFF, k) << 16) | (mul255((p >> 8) & 0xFF, k) << 8) |
         mul255(p & 0xFF, k);
}

// Source over destination, both premultiplied.
void blend(std::uint32_t& d, std::uint32_t s) {
  const std::uint32_t sa = s >> 24;
  if (sa == 255) {
    d = s;
    return;
  }
  if (s == 0) return;
  const std::uint32_t k = 255 - sa;
  const std::uint32_t a = sa + mul255(d >> 24, k);
  const std::uint32_t r = std::min<std::uint32_t>(255, ((s >> 16) & 0xFF) + mul255((d >> 16) & 0xFF, k));
  const std::uint32_t g = std::min<std::uint32_t>(255, ((s >> 8) & 0xFF) + mul255((d >> 8) & 0xFF, k));
  const std::uint32_t b = std::min<std::uint32_t>(255, (s & 0xFF) + mul255(d & 0xFF, k));
  d = (a << 24) | (r << 16) | (g << 8) | b;
}

double srgb_to_linear(double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); }
double linear_to_srgb(double c) { return c <= 0.0031308 ? c * 12.92 : 1.055 * std::pow(c, 1 / 2.4) - 0.055; }

// Premultiplied colours for ratios 0..255 in kLut steps (finer than the
// ratios, for the steep curves of linear-light interpolation). False when
// there are no stops.
constexpr int kLut = 1024;
using Lut = std::array<std::uint32_t, kLut>;

bool build_lut(const FillStyle& f, const ColorTransform& cx, Lut& lut) {
  if (f.stops.empty()) return false;
  std::vector<GradientStop> stops = f.stops;
  std::stable_sort(stops.begin(), stops.end(), [](const auto& a, const auto& b) { return a.ratio < b.ratio; });
  for (auto& s : stops) s.color = apply(cx, s.color);
  const bool lin = f.interpolation == Interpolation::linear_rgb;
  for (int i = 0; i < kLut; ++i) {
    const double ratio = i * 255.0 / (kLut - 1);
    std::size_t k = 0;
    while (k < stops.size() && stops[k].ratio < ratio) ++k;
    Rgba c;
    if (k == 0) {
      c = stops.front().color;
    } else if (k == stops.size()) {
      c = stops.back().color;
    } else {
      const GradientStop& s0 = stops[k - 1];
      const GradientStop& s1 = stops[k];
      const double w = (ratio - s0.ratio) / (s1.ratio - s0.ratio);
      const auto mix = [&](std::uint8_t a, std::uint8_t b, bool gamma) {
        if (!gamma) return static_cast<std::uint8_t>(std::lround(a + (b - a) * w));
        const double la = srgb_to_linear(a / 255.0), lb = srgb_to_linear(b / 255.0);
        return static_cast<std::uint8_t>(std::lround(std::clamp(linear_to_srgb(la + (lb - la) * w), 0.0, 1.0) * 255));
      };
      c = Rgba{mix(s0.color.r, s1.color.r, lin), mix(s0.color.g, s1.color.g, lin), mix(s0.color.b, s1.color.b, lin),
               mix(s0.color.a, s1.color.a, false)};
    }
    lut[static_cast<std::size_t>(i)] = premultiply(c);
  }
  return true;
}

double spread(double t, Spread s) {
  switch (s) {
    case Spread::repeat: return t - std::floor(t);
    case Spread::reflect: {
      const double m = t - 2 * std::floor(t / 2);
      return m > 1 ? 2 - m : m;
    }
    case Spread::pad: break;
  }
  return std::clamp(t, 0.0, 1.0);
}

double max_scale(const Matrix& m) {
  const double sa = m.a * m.a + m.b * m.b + m.c * m.c + m.d * m.d;
  const double det = m.a * m.d - m.b * m.c;
  const double disc = std::max(0.0, sa * sa - 4 * det * det);
  return std::sqrt((sa + std::sqrt(disc)) / 2);
}

bool finite(const Matrix& m) {
  return std::isfinite(m.a) && std::isfinite(m.b) && std::isfinite(m.c) && std::isfinite(m.d) && std::isfinite(m.tx) &&
         std::isfinite(m.ty);
}

// What a coverage row is painted with.
struct Paint {
  bool gradient = false;
  std::uint32_t color = 0;
  const std::uint32_t* lut = nullptr;  // kLut entries
  FillKind kind = FillKind::solid;
  Spread spread_mode = Spread::pad;
  double focal = 0;
  Matrix to_gradient;  // target pixel -> gradient square

  double t_at(double gx, double gy) const {
    double t;
    if (kind == FillKind::linear) {
      t = (gx + kGradientSquare) / (2 * kGradientSquare);
    } else if (kind == FillKind::radial) {
      t = std::hypot(gx, gy) / kGradientSquare;
    } else {
      // Focal: circles from the focal point (radius 0) out to the unit circle;
      // t solves |p - F(1 - t)| = t.
      const double px = gx / kGradientSquare - focal, py = gy / kGradientSquare;
      const double pf = px * focal, a = 1 - focal * focal;
      t = (pf + std::sqrt(pf * pf + a * (px * px + py * py))) / a;
    }
    return spread(t, spread_mode);
  }

  void row(std::uint32_t* dst, int y, int x0, int x1, const std::uint8_t* cov) const {
    if (!gradient) {
      for (int x = x0; x < x1; ++x) {
        const std::uint32_t c = cov[x];
        if (c == 0) continue;
        blend(dst[x], c == 255 ? color : scale_pixel(color, c));
      }
      return;
    }
    const double fy = y + 0.5;
    for (int x = x0; x < x1; ++x) {
      const std::uint32_t c = cov[x];
      if (c == 0) continue;
      const double fx = x + 0.5;
      const double gx = to_gradient.a * fx + to_gradient.c * fy + to_gradient.tx;
      const double gy = to_gradient.b * fx + to_gradient.d * fy + to_gradient.ty;
      const double t = t_at(gx, gy);
      const std::uint32_t s = lut[static_cast<std::size_t>((std::isfinite(t) ? t : 1.0) * (kLut - 1) + 0.5)];
      blend(dst[x], c == 255 ? s : scale_pixel(s, c));
    }
  }
};

bool make_paint(const FillStyle& f, const Matrix& shape_to_target, const ColorTransform& cx, Lut& lut, Paint& p) {
  switch (f.kind) {
    case FillKind::solid:
      p.gradient = false;
      p.color = premultiply(apply(cx, f.color));
      return true;
    case FillKind::linear:
    case FillKind::radial:
    case FillKind::focal: {
      if (!build_lut(f, cx, lut)) return false;  // a gradient with no colours draws nothing
      p.lut = lut.data();
      const auto inv = inverse(shape_to_target * f.matrix);
      if (!inv) {
        // A gradient squeezed to nothing: everything lies past its end.
        p.gradient = false;
        p.color = p.lut[kLut - 1];
        return true;
      }
      p.gradient = true;
      p.kind = f.kind;
      p.spread_mode = f.spread;
      p.focal = std::clamp(f.focal, -0.98, 0.98);
      p.to_gradient = *inv;
      return true;
    }
    case FillKind::bitmap: return false;  // bitmaps are not drawn by this player
  }
  return false;
}

// Coverage of one pixel row is kept as differences (`delta`, prefix sums give
// coverage) in units of 1/kFull of a pixel: 16 sub-scan-lines of 1/256 pixel
// each, or the same scale for exact areas.
constexpr int kFull = 256 * kSub;

struct Scan {
  const Target& t;
  std::vector<const Renderer::Segment*>& active;
  std::vector<std::pair<double, int>>& crossings;
  std::vector<std::int32_t>& delta;
  int lo = 0, hi = -1;  // touched part of delta

  void add(double x, int sign) {
    const int ix = static_cast<int>(x);
    const int f = static_cast<int>((x - ix) * 256 + 0.5);  // x >= 0 here
    delta[static_cast<std::size_t>(ix)] += sign * (256 - f);
    delta[static_cast<std::size_t>(ix) + 1] += sign * f;
    lo = std::min(lo, ix);
    hi = std::max(hi, ix + 1);
  }

  // The general case: 16 sub-scan-lines, each with exact horizontal spans
  // by the non-zero rule.
  void sub_scan_lines(int y) {
    const double w = t.width;
    for (int s = 0; s < kSub; ++s) {
      const double ys = y + (s + 0.5) / kSub;
      // The active segments ordered by x at this sub-scan-line. Their order
      // changes little from one sub-scan-line to the next (only where two
      // cross), so `active` keeps the last order and an insertion sort puts
      // it right; segments that do not reach `ys` sort by their nearest end
      // and are left out below.
      keyed.clear();
      for (const Renderer::Segment* a : active) {
        const double yc = std::clamp(ys, a->y_top, a->y_bottom);
        keyed.emplace_back(a->x_top + (yc - a->y_top) * a->dxdy, a);
      }
      std::size_t moves = 0;
      const std::size_t budget = 8 * keyed.size() + 64;
      for (std::size_t k = 1; k < keyed.size() && moves <= budget; ++k) {
        const auto c = keyed[k];
        std::size_t j = k;
        for (; j > 0 && keyed[j - 1].first > c.first; --j) keyed[j] = keyed[j - 1];
        keyed[j] = c;
        moves += k - j;
      }
      if (moves > budget)
        std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
      crossings.clear();
      for (std::size_t k = 0; k < keyed.size(); ++k) {
        const Renderer::Segment* a = keyed[k].second;
        active[k] = a;
        if (a->y_top > ys || a->y_bottom <= ys) continue;
        crossings.emplace_back(keyed[k].first, a->dir);
      }
      int wind = 0;
      double start = 0;
      for (const auto& [x, dir] : crossings) {
        const int before = wind;
        wind += dir;
        if (before == 0 && wind != 0) {
          start = x;
        } else if (before != 0 && wind == 0) {
          const double xa = std::clamp(start, 0.0, w), xb = std::clamp(x, 0.0, w);
          if (xb > xa) {
            add(xa, 1);
            add(xb, -1);
          }
        }
      }
    }
  }

  // The common case, exactly: the row cut into strips at the segments' ends;
  // within a strip no two segments cross, so the edges where the winding
  // number leaves or reaches zero bound the covered area, and each adds the
  // area on its right side column by column. False (nothing added) when the
  // row is not that simple: segments crossing, too many strips, or an
  // outline edge outside the target's width.
  struct Item {
    double xa, xb;
    int dir;
  };
  struct Toggle {
    int height;
    double xa, xb;
    int sign;
  };
  std::vector<int> bounds;
  std::vector<Item> items;
  std::vector<Toggle> toggles;
  std::vector<std::pair<double, const Renderer::Segment*>> keyed;  // the active segments by x

  bool exact_row(int y) {
    bounds.assign({0, kFull});
    for (const Renderer::Segment* a : active) {
      for (const double v : {a->y_top, a->y_bottom}) {
        if (v > y && v < y + 1) {
          const int q = static_cast<int>((v - y) * kFull + 0.5);
          if (q > 0 && q < kFull) bounds.push_back(q);
        }
      }
    }
    std::sort(bounds.begin(), bounds.end());
    bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());
    if (bounds.size() > 9) return false;
    toggles.clear();
    const double w = t.width;
    for (std::size_t i = 0; i + 1 < bounds.size(); ++i) {
      const double ya = y + static_cast<double>(bounds[i]) / kFull, yb = y + static_cast<double>(bounds[i + 1]) / kFull;
      const double ym = (ya + yb) / 2;
      items.clear();
      for (const Renderer::Segment* a : active) {
        if (a->y_top > ym || a->y_bottom <= ym) continue;
        items.push_back({a->x_top + (ya - a->y_top) * a->dxdy, a->x_top + (yb - a->y_top) * a->dxdy, a->dir});
      }
      std::sort(items.begin(), items.end(),
                [](const Item& p, const Item& q) { return p.xa < q.xa || (p.xa == q.xa && p.xb < q.xb); });
      for (std::size_t k = 1; k < items.size(); ++k) {
        if (items[k].xb < items[k - 1].xb - 1e-9) return false;  // two segments cross in this strip
      }
      int wind = 0;
      for (const Item& it : items) {
        const int before = wind;
        wind += it.dir;
        const bool starts = before == 0 && wind != 0, ends = before != 0 && wind == 0;
        if (!starts && !ends) continue;
        if (std::min(it.xa, it.xb) < 0 || std::max(it.xa, it.xb) > w) return false;
        toggles.push_back({bounds[i + 1] - bounds[i], it.xa, it.xb, starts ? 1 : -1});
      }
    }
    for (const Toggle& tg : toggles) area_right_of(tg);
    return true;
  }

  // Adds the part of a strip of `height` (in 1/kFull) right of an edge from
  // (xa, top) to (xb, bottom): column j gets G(j+1) - G(j) of the strip,
  // where G(c) is the area between the edge and the vertical line x = c.
  void area_right_of(const Toggle& tg) {
    const double x0 = std::min(tg.xa, tg.xb), x1 = std::max(tg.xa, tg.xb), wd = x1 - x0;
    const auto g = [&](double c) {
      if (c <= x0) return 0.0;
      if (c >= x1) return c - (x0 + x1) / 2;
      return (c - x0) * (c - x0) / (2 * wd);
    };
    const int j0 = static_cast<int>(x0), j1 = static_cast<int>(x1);
    int prev = 0;
    for (int j = j0; j <= j1; ++j) {
      const int c = static_cast<int>(tg.height * (g(j + 1) - g(j)) + 0.5);
      delta[static_cast<std::size_t>(j)] += tg.sign * (c - prev);
      prev = c;
    }
    delta[static_cast<std::size_t>(j1) + 1] += tg.sign * (tg.height - prev);
    lo = std::min(lo, j0);
    hi = std::max(hi, j1 + 1);
  }
};

void rasterize(const Target& t, std::vector<Renderer::Segment>& segs, std::vector<const Renderer::Segment*>& active,
               std::vector<std::pair<double, int>>& crossings, std::vector<std::int32_t>& delta,
               std::vector<std::uint8_t>& coverage, const Paint& paint, bool try_exact) {
  if (segs.empty() || t.width <= 0 || t.height <= 0) return;
  double ymin = segs.front().y_top, ymax = segs.front().y_bottom;
  for (const auto& s : segs) {
    ymin = std::min(ymin, s.y_top);
    ymax = std::max(ymax, s.y_bottom);
  }
  const int row0 = static_cast<int>(std::clamp(std::floor(ymin), 0.0, static_cast<double>(t.height)));
  const int row1 = static_cast<int>(std::clamp(std::ceil(ymax), 0.0, static_cast<double>(t.height)));
  if (row0 >= row1) return;
  std::sort(segs.begin(), segs.end(), [](const auto& a, const auto& b) { return a.y_top < b.y_top; });
  const int w = t.width;
  delta.assign(static_cast<std::size_t>(w) + 2, 0);
  coverage.assign(static_cast<std::size_t>(w), 0);
  active.clear();
  Scan scan{t, active, crossings, delta, 0, -1, {}, {}, {}, {}};
  std::size_t next = 0;
  for (int y = row0; y < row1; ++y) {
    // The segments that reach into this row.
    while (next < segs.size() && segs[next].y_top < y + 1) active.push_back(&segs[next++]);
    std::erase_if(active, [y](const Renderer::Segment* a) { return a->y_bottom <= y; });
    if (active.empty()) {
      if (next == segs.size()) break;
      continue;
    }
    scan.lo = w + 1;
    scan.hi = -1;
    if (!try_exact || !scan.exact_row(y)) scan.sub_scan_lines(y);
    if (scan.hi < scan.lo) continue;
    const int lo = scan.lo, hi = scan.hi, end = std::min(hi, w - 1);
    std::int32_t sum = 0;
    for (int x = lo; x <= end; ++x) {
      sum += delta[static_cast<std::size_t>(x)];
      coverage[static_cast<std::size_t>(x)] =
          static_cast<std::uint8_t>((std::clamp(sum, 0, kFull) * 255 + kFull / 2) / kFull);
    }
    std::fill(delta.begin() + lo, delta.begin() + hi + 1, 0);
    paint.row(t.pixels + static_cast<std::ptrdiff_t>(y) * t.stride, y, lo, end + 1, coverage.data());
  }
}

}  // namespace

std::uint32_t premultiply(Rgba c) {
  return (static_cast<std::uint32_t>(c.a) << 24) | (mul255(c.r, c.a) << 16) | (mul255(c.g, c.a) << 8) |
         mul255(c.b, c.a);
}

void fill_background(const Target& t, Rgba c) {
  c.a = 255;
  const std::uint32_t p = premultiply(c);
  for (int y = 0; y < t.height; ++y) std::fill_n(t.pixels + static_cast<std::ptrdiff_t>(y) * t.stride, t.width, p);
}

Matrix stage_to_target(const SwfHeader& h, int w, int h_px) {
  const double sw = static_cast<double>(h.x_max) - h.x_min, sh = static_cast<double>(h.y_max) - h.y_min;
  if (sw <= 0 || sh <= 0) return Matrix{0, 0, 0, 0, 0, 0};
  Matrix m;
  m.a = w / sw;
  m.d = h_px / sh;
  m.tx = -h.x_min * m.a;
  m.ty = -h.y_min * m.d;
  return m;
}

void Renderer::add_line(double x0, double y0, double x1, double y1) {
  if (y0 == y1) return;
  int dir = 1;
  if (y0 > y1) {
    std::swap(x0, x1);
    std::swap(y0, y1);
    dir = -1;
  }
  segs_.push_back(Segment{y0, y1, x0, (x1 - x0) / (y1 - y0), dir});
}

void Renderer::add_polygon(const std::vector<double>& xy, const Matrix& m) {
  const std::size_t n = xy.size() / 2;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t j = (i + 1) % n;
    const double x0 = xy[2 * i], y0 = xy[2 * i + 1], x1 = xy[2 * j], y1 = xy[2 * j + 1];
    add_line(m.a * x0 + m.c * y0 + m.tx, m.b * x0 + m.d * y0 + m.ty, m.a * x1 + m.c * y1 + m.tx,
             m.b * x1 + m.d * y1 + m.ty);
  }
}

void Renderer::fill(const Target& t, const FillStyle& style, const Matrix& m, const ColorTransform& cx, bool outline) {
  if (segs_.empty()) return;
  if (used_ + segs_.size() > limits_.max_segments) {
    over_budget_ = true;
    segs_.clear();
    return;
  }
  // Each segment costs one crossing per sub-scan-line it spans on the target.
  double crossings = 0;
  for (const Segment& sg : segs_) {
    const double top = std::clamp(sg.y_top, 0.0, static_cast<double>(t.height));
    const double bottom = std::clamp(sg.y_bottom, 0.0, static_cast<double>(t.height));
    crossings += (bottom - top) * kSub + 1;
  }
  if (static_cast<double>(crossings_used_) + crossings > static_cast<double>(limits_.max_crossings)) {
    over_budget_ = true;
    segs_.clear();
    return;
  }
  crossings_used_ += static_cast<std::size_t>(crossings);
  used_ += segs_.size();
  Paint paint;
  if (make_paint(style, m, cx, lut_, paint))
    rasterize(t, segs_, active_, crossings_, delta_, coverage_, paint, !outline);
  segs_.clear();
}

void Renderer::draw_shape(const Target& t, const Shape& s, const Matrix& m, const ColorTransform& cx) {
  if (!finite(m) || s.edges.empty() || t.width <= 0 || t.height <= 0) return;
  const double scale = max_scale(m);
  if (!(scale > 1e-9)) return;
  const double tol = kTolerance / scale;  // in twips

  // Flatten every edge once, in shape space.
  points_.clear();
  point_start_.clear();
  for (const Edge& e : s.edges) {
    point_start_.push_back(static_cast<std::uint32_t>(points_.size() / 2));
    points_.push_back(e.x0);
    points_.push_back(e.y0);
    if (e.curved) {
      const double ddx = static_cast<double>(e.x0) - 2.0 * e.cx + e.x1;
      const double ddy = static_cast<double>(e.y0) - 2.0 * e.cy + e.y1;
      const int n =
          std::clamp(static_cast<int>(std::ceil(std::sqrt(std::hypot(ddx, ddy) / (4 * tol)))), 1, kMaxCurvePieces);
      for (int i = 1; i < n; ++i) {
        const double u = static_cast<double>(i) / n, v = 1 - u;
        points_.push_back(v * v * e.x0 + 2 * u * v * e.cx + u * u * e.x1);
        points_.push_back(v * v * e.y0 + 2 * u * v * e.cy + u * u * e.y1);
      }
    }
    points_.push_back(e.x1);
    points_.push_back(e.y1);
    if (points_.size() / 2 > limits_.max_segments) {
      over_budget_ = true;
      return;
    }
  }
  point_start_.push_back(static_cast<std::uint32_t>(points_.size() / 2));

  // The edges of each style, in style order.
  struct Use {
    std::uint32_t style;
    std::uint32_t edge;
    bool reversed;
  };
  std::vector<Use> fills, lines;
  for (std::uint32_t i = 0; i < s.edges.size(); ++i) {
    const Edge& e = s.edges[i];
    if (e.fill1 && e.fill1 != e.fill0) fills.push_back({e.fill1, i, false});
    if (e.fill0 && e.fill0 != e.fill1) fills.push_back({e.fill0, i, true});
    if (e.line) lines.push_back({e.line, i, false});
  }
  const auto by_style = [](const Use& a, const Use& b) { return a.style < b.style; };
  std::stable_sort(fills.begin(), fills.end(), by_style);
  std::stable_sort(lines.begin(), lines.end(), by_style);

  const auto pt = [&](std::uint32_t k, double& x, double& y) {
    const double sx = points_[2 * k], sy = points_[2 * k + 1];
    x = m.a * sx + m.c * sy + m.tx;
    y = m.b * sx + m.d * sy + m.ty;
  };
  std::size_t fi = 0, li = 0;
  for (const ShapeLayer& layer : s.layers) {
    while (fi < fills.size() && fills[fi].style < layer.fill_end) {
      const std::uint32_t style = fills[fi].style;
      for (; fi < fills.size() && fills[fi].style == style; ++fi) {
        const std::uint32_t a = point_start_[fills[fi].edge], b = point_start_[fills[fi].edge + 1];
        for (std::uint32_t k = a; k + 1 < b; ++k) {
          double x0, y0, x1, y1;
          pt(k, x0, y0);
          pt(k + 1, x1, y1);
          if (fills[fi].reversed) {
            add_line(x1, y1, x0, y0);
          } else {
            add_line(x0, y0, x1, y1);
          }
        }
      }
      if (style >= layer.fill_begin) fill(t, s.fills[style - 1], m, cx, false);
      segs_.clear();
    }
    while (li < lines.size() && lines[li].style < layer.line_end) {
      const std::uint32_t style = lines[li].style;
      const LineStyle& ls = s.lines[style - 1];
      const double width = std::max(static_cast<double>(ls.width), 1.0 / scale);
      const double r = width / 2;
      const double r_px = r * scale;
      const int sides =
          r_px <= kTolerance
              ? 8
              : std::clamp(static_cast<int>(std::ceil(std::numbers::pi / std::acos(1 - kTolerance / r_px))), 8, 64);
      double last_x = std::nan(""), last_y = std::nan("");
      double last_dx = 0, last_dy = 0;  // the direction the previous edge ended in
      const auto circle = [&](double x, double y) {
        poly_.clear();
        for (int i = 0; i < sides; ++i) {
          const double ang = 2 * std::numbers::pi * i / sides;
          poly_.push_back(x + r * std::cos(ang));
          poly_.push_back(y + r * std::sin(ang));
        }
        add_polygon(poly_, m);
      };
      // A join at (x, y) from direction u to direction v: only the outer
      // side of the turn needs filling beyond the two bands. A small turn
      // takes the triangle between the bands' corners (it misses a sliver far
      // below the flattening tolerance), a larger one the pie slice of the
      // round join, with as many sides as the circle has on that arc.
      const auto join = [&](double x, double y, double ux, double uy, double vx, double vy) {
        const double lu = std::hypot(ux, uy), lv = std::hypot(vx, vy);
        if (!(lu > 0) || !(lv > 0)) {
          circle(x, y);
          return;
        }
        const double side = ux * vy - uy * vx >= 0 ? -1.0 : 1.0;
        const double ax = x - side * uy / lu * r, ay = y + side * ux / lu * r;
        const double bx = x - side * vy / lv * r, by = y + side * vx / lv * r;
        if ((ux * vx + uy * vy) >= 0.985 * lu * lv) {
          poly_.assign({x, y, ax, ay, bx, by});
          if ((ax - x) * (by - y) - (ay - y) * (bx - x) < 0) poly_.assign({x, y, bx, by, ax, ay});
          add_polygon(poly_, m);
          return;
        }
        const double ta = std::atan2(ay - y, ax - x);
        const double sweep = std::remainder(std::atan2(by - y, bx - x) - ta, 2 * std::numbers::pi);
        // From the smaller angle up, turned the same way as the circles.
        const double from = sweep >= 0 ? ta : ta + sweep, span = std::abs(sweep);
        const int n = std::max(1, static_cast<int>(std::ceil(span * sides / (2 * std::numbers::pi))));
        poly_.assign({x, y});
        for (int i = 0; i <= n; ++i) {
          const double ang = from + span * i / n;
          poly_.push_back(x + r * std::cos(ang));
          poly_.push_back(y + r * std::sin(ang));
        }
        add_polygon(poly_, m);
      };
      for (; li < lines.size() && lines[li].style == style; ++li) {
        if (used_ + segs_.size() > limits_.max_segments) {
          over_budget_ = true;
          continue;
        }
        const std::uint32_t a = point_start_[lines[li].edge], b = point_start_[lines[li].edge + 1];
        // Whether the next edge of this line goes on from this one's end.
        bool goes_on = false;
        if (li + 1 < lines.size() && lines[li + 1].style == style && b > a) {
          const std::uint32_t na = point_start_[lines[li + 1].edge], nb = point_start_[lines[li + 1].edge + 1];
          goes_on =
              nb > na + 1 && points_[2 * na] == points_[2 * (b - 1)] && points_[2 * na + 1] == points_[2 * (b - 1) + 1];
        }
        for (std::uint32_t k = a; k < b; ++k) {
          const double x = points_[2 * k], y = points_[2 * k + 1];
          // Round caps where a line starts or ends; joins where it goes on,
          // within an edge (a flattened curve) or from one edge to the next
          // (handled at the next edge's start).
          if (k == a) {
            if (k + 1 < b && x == last_x && y == last_y) {
              join(x, y, last_dx, last_dy, points_[2 * k + 2] - x, points_[2 * k + 3] - y);
            } else {
              circle(x, y);
            }
          } else if (k + 1 == b) {
            if (!goes_on) circle(x, y);
          } else {
            join(x, y, x - points_[2 * k - 2], y - points_[2 * k - 1], points_[2 * k + 2] - x, points_[2 * k + 3] - y);
          }
          if (k + 1 < b) {
            const double x1 = points_[2 * k + 2], y1 = points_[2 * k + 3];
            const double len = std::hypot(x1 - x, y1 - y);
            if (len > 0) {
              // The band along the segment, turned the same way as the circles.
              const double nx = -(y1 - y) / len * r, ny = (x1 - x) / len * r;
              poly_.assign({x - nx, y - ny, x1 - nx, y1 - ny, x1 + nx, y1 + ny, x + nx, y + ny});
              add_polygon(poly_, m);
            }
          }
        }
        last_x = points_[2 * (b - 1)];
        last_y = points_[2 * (b - 1) + 1];
        if (b >= a + 2) {
          last_dx = last_x - points_[2 * (b - 2)];
          last_dy = last_y - points_[2 * (b - 2) + 1];
        } else {
          last_x = last_y = std::nan("");  // a single point: the next edge starts with a cap
        }
      }
      FillStyle solid;
      solid.color = ls.color;
      fill(t, ls.fill ? *ls.fill : solid, m, cx, true);
    }
  }
}

}  // namespace brevaro::media::swf
