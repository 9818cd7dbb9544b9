#include "tests/host/swf/cairo_oracle.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace brevaro::swf_test {

namespace {

using media::swf::FillKind;
using media::swf::FillStyle;
using swf_writer::Contour;
using swf_writer::Scene;
using swf_writer::ShapeSpec;

struct SurfaceFree {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextFree {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct PatternFree {
  void operator()(cairo_pattern_t* p) const { cairo_pattern_destroy(p); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceFree>;
using Context = std::unique_ptr<cairo_t, ContextFree>;
using Pattern = std::unique_ptr<cairo_pattern_t, PatternFree>;

// channel * mult / 256 + add, clamped: the colour transform as the format describes it.
swf_writer::Rgba transformed(const media::swf::ColorTransform& cx, swf_writer::Rgba c) {
  const auto ch = [](int v, int mult, int add) {
    return static_cast<std::uint8_t>(std::clamp(static_cast<int>(std::floor(v * mult / 256.0)) + add, 0, 255));
  };
  return {ch(c.r, cx.mult_r, cx.add_r), ch(c.g, cx.mult_g, cx.add_g), ch(c.b, cx.mult_b, cx.add_b),
          ch(c.a, cx.mult_a, cx.add_a)};
}

cairo_matrix_t to_cairo(const media::swf::Matrix& m) {
  cairo_matrix_t c;
  cairo_matrix_init(&c, m.a, m.b, m.c, m.d, m.tx, m.ty);
  return c;
}

// Shape twips -> target pixels: the ExactFit stretch after the placement.
cairo_matrix_t placement(const Scene& s, const swf_writer::Drawn& d, int w, int h) {
  cairo_matrix_t world = to_cairo(d.world), stage, out;
  cairo_matrix_init_scale(&stage, w / (s.stage_w * 20.0), h / (s.stage_h * 20.0));
  cairo_matrix_multiply(&out, &world, &stage);  // world first, then stage
  return out;
}

void add_contour(cairo_t* cr, const Contour& c, bool backwards) {
  // Points of the contour in order, each with the control point of the piece that ends there.
  struct P {
    double x, y, cx, cy;
    bool curved;
  };
  std::vector<P> pts{{static_cast<double>(c.x), static_cast<double>(c.y), 0, 0, false}};
  for (const auto& p : c.pieces) pts.push_back({double(p.x), double(p.y), double(p.cx), double(p.cy), p.curved});
  const auto quad = [&](double x0, double y0, double qx, double qy, double x1, double y1) {
    cairo_curve_to(cr, x0 + 2.0 / 3 * (qx - x0), y0 + 2.0 / 3 * (qy - y0), x1 + 2.0 / 3 * (qx - x1),
                   y1 + 2.0 / 3 * (qy - y1), x1, y1);
  };
  if (!backwards) {
    cairo_move_to(cr, pts[0].x, pts[0].y);
    for (std::size_t i = 1; i < pts.size(); ++i) {
      if (pts[i].curved) {
        quad(pts[i - 1].x, pts[i - 1].y, pts[i].cx, pts[i].cy, pts[i].x, pts[i].y);
      } else {
        cairo_line_to(cr, pts[i].x, pts[i].y);
      }
    }
  } else {
    cairo_move_to(cr, pts.back().x, pts.back().y);
    for (std::size_t i = pts.size() - 1; i > 0; --i) {
      if (pts[i].curved) {
        quad(pts[i].x, pts[i].y, pts[i].cx, pts[i].cy, pts[i - 1].x, pts[i - 1].y);
      } else {
        cairo_line_to(cr, pts[i - 1].x, pts[i - 1].y);
      }
    }
  }
}

double srgb_to_linear(double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); }
double linear_to_srgb(double c) { return c <= 0.0031308 ? c * 12.92 : 1.055 * std::pow(c, 1 / 2.4) - 0.055; }

// The source for a fill, with the CTM already the shape's.
void set_paint(cairo_t* cr, const FillStyle& f, const media::swf::ColorTransform& cx) {
  if (f.kind == FillKind::solid) {
    const auto c = transformed(cx, f.color);
    cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
    return;
  }
  Pattern p;
  if (f.kind == FillKind::linear) {
    p.reset(cairo_pattern_create_linear(-1, 0, 1, 0));
  } else if (f.kind == FillKind::radial) {
    p.reset(cairo_pattern_create_radial(0, 0, 0, 0, 0, 1));
  } else {
    p.reset(cairo_pattern_create_radial(f.focal, 0, 0, 0, 0, 1));
  }
  // The gradient square (+-16384 twips) as a unit square: pixman's gradients
  // lose precision with pattern coordinates in the tens of thousands.
  cairo_matrix_t unit, m = to_cairo(f.matrix);
  cairo_matrix_init_scale(&unit, 16384, 16384);
  cairo_matrix_multiply(&m, &unit, &m);
  cairo_matrix_invert(&m);
  cairo_pattern_set_matrix(p.get(), &m);
  cairo_pattern_set_extend(p.get(), f.spread == media::swf::Spread::pad       ? CAIRO_EXTEND_PAD
                                    : f.spread == media::swf::Spread::reflect ? CAIRO_EXTEND_REFLECT
                                                                              : CAIRO_EXTEND_REPEAT);
  for (std::size_t i = 0; i < f.stops.size(); ++i) {
    const auto c = transformed(cx, f.stops[i].color);
    const double at = f.stops[i].ratio / 255.0;
    if (i > 0 && f.interpolation == media::swf::Interpolation::linear_rgb) {
      // Linear-light interpolation drawn as many small sRGB steps.
      const auto c0 = transformed(cx, f.stops[i - 1].color);
      const double at0 = f.stops[i - 1].ratio / 255.0;
      for (int k = 1; k < 256; ++k) {
        const double u = k / 256.0;
        const auto mix = [&](int a, int b) {
          const double la = srgb_to_linear(a / 255.0), lb = srgb_to_linear(b / 255.0);
          return linear_to_srgb(la + (lb - la) * u);
        };
        cairo_pattern_add_color_stop_rgba(p.get(), at0 + (at - at0) * u, mix(c0.r, c.r), mix(c0.g, c.g), mix(c0.b, c.b),
                                          (c0.a + (c.a - c0.a) * u) / 255.0);
      }
    }
    cairo_pattern_add_color_stop_rgba(p.get(), at, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
  }
  cairo_set_source(cr, p.get());
}

void draw_shape(cairo_t* cr, const ShapeSpec& s, const cairo_matrix_t& m, const media::swf::ColorTransform& cx) {
  for (std::uint32_t f = 1; f <= s.fills.size(); ++f) {
    cairo_set_matrix(cr, &m);
    cairo_new_path(cr);
    for (const auto& c : s.contours) {
      if (c.fill1 == f) add_contour(cr, c, false);
      if (c.fill0 == f) add_contour(cr, c, true);
    }
    set_paint(cr, s.fills[f - 1], cx);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_fill(cr);
  }
  for (std::uint32_t l = 1; l <= s.lines.size(); ++l) {
    const auto& ls = s.lines[l - 1];
    cairo_set_matrix(cr, &m);
    cairo_new_path(cr);
    for (const auto& c : s.contours) {
      if (c.line == l) add_contour(cr, c, false);
    }
    if (ls.fill) {
      set_paint(cr, *ls.fill, cx);
    } else {
      FillStyle solid;
      solid.color = ls.color;
      set_paint(cr, solid, cx);
    }
    cairo_set_line_width(cr, ls.width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
  }
}

double min_scale(const cairo_matrix_t& m) {
  const double sa = m.xx * m.xx + m.yx * m.yx + m.xy * m.xy + m.yy * m.yy;
  const double det = m.xx * m.yy - m.yx * m.xy;
  return std::sqrt(std::max(0.0, (sa - std::sqrt(std::max(0.0, sa * sa - 4 * det * det))) / 2));
}

}  // namespace

void cairo_draw(cairo_t* cr, const Scene& s, std::size_t frame, int w, int h) {
  cairo_identity_matrix(cr);
  cairo_set_source_rgb(cr, s.background.r / 255.0, s.background.g / 255.0, s.background.b / 255.0);
  cairo_paint(cr);
  for (const auto& d : s.frames.at(frame)) draw_shape(cr, s.shapes.at(d.shape), placement(s, d, w, h), d.color);
}

std::vector<std::uint32_t> cairo_frame(const Scene& s, std::size_t frame, int w, int h) {
  Surface surf(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h));
  Context cr(cairo_create(surf.get()));
  cairo_draw(cr.get(), s, frame, w, h);
  cairo_surface_flush(surf.get());
  std::vector<std::uint32_t> out(static_cast<std::size_t>(w * h));
  const unsigned char* data = cairo_image_surface_get_data(surf.get());
  const int stride = cairo_image_surface_get_stride(surf.get());
  for (int y = 0; y < h; ++y) std::memcpy(&out[static_cast<std::size_t>(y * w)], data + y * stride, 4u * w);
  return out;
}

PixelClasses classify(const Scene& s, std::size_t frame, int w, int h) {
  PixelClasses pc{std::vector<std::uint8_t>(static_cast<std::size_t>(w * h)),
                  std::vector<std::uint8_t>(static_cast<std::size_t>(w * h))};
  const auto a8 = [&]() { return Surface(cairo_image_surface_create(CAIRO_FORMAT_A8, w, h)); };
  const auto read = [&](cairo_surface_t* sf, auto&& fn) {
    cairo_surface_flush(sf);
    const unsigned char* data = cairo_image_surface_get_data(sf);
    const int stride = cairo_image_surface_get_stride(sf);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) fn(static_cast<std::size_t>(y * w + x), data[y * stride + x]);
    }
  };
  for (const auto& d : s.frames.at(frame)) {
    const ShapeSpec& shape = s.shapes.at(d.shape);
    const cairo_matrix_t m = placement(s, d, w, h);
    const double margin = 2.0 / std::max(min_scale(m), 1e-9);  // two pixels, in twips
    for (const auto& c : shape.contours) {
      if (c.fill0 || c.fill1) {
        Surface sf = a8();
        Context cr(cairo_create(sf.get()));
        cairo_set_matrix(cr.get(), &m);
        add_contour(cr.get(), c, false);
        cairo_identity_matrix(cr.get());
        cairo_set_line_width(cr.get(), 4);
        cairo_stroke(cr.get());
        read(sf.get(), [&](std::size_t i, unsigned v) { pc.edge[i] |= v > 0; });
        const auto is_gradient = [&](std::uint32_t f) { return f && shape.fills[f - 1].kind != FillKind::solid; };
        if (is_gradient(c.fill0) || is_gradient(c.fill1)) {
          Surface g = a8();
          Context gc(cairo_create(g.get()));
          cairo_set_matrix(gc.get(), &m);
          add_contour(gc.get(), c, false);
          cairo_fill(gc.get());
          read(g.get(), [&](std::size_t i, unsigned v) { pc.gradient[i] |= v > 0; });
        }
      }
      if (c.line) {
        const auto& ls = shape.lines[c.line - 1];
        Surface outer = a8(), inner = a8();
        for (int k = 0; k < 2; ++k) {
          Context cr(cairo_create(k == 0 ? outer.get() : inner.get()));
          cairo_set_matrix(cr.get(), &m);
          add_contour(cr.get(), c, false);
          cairo_set_line_cap(cr.get(), CAIRO_LINE_CAP_ROUND);
          cairo_set_line_join(cr.get(), CAIRO_LINE_JOIN_ROUND);
          const double width = k == 0 ? ls.width + 2 * margin : ls.width - 2 * margin;
          if (width <= 0) continue;
          cairo_set_line_width(cr.get(), width);
          cairo_stroke(cr.get());
        }
        std::vector<std::uint8_t> out(pc.edge.size());
        read(outer.get(), [&](std::size_t i, unsigned v) { out[i] = v > 0; });
        read(inner.get(), [&](std::size_t i, unsigned v) {
          if (out[i] && v < 255) pc.edge[i] = 1;
          if (out[i] && ls.fill && ls.fill->kind != FillKind::solid) pc.gradient[i] = 1;
        });
      }
    }
  }
  return pc;
}

}  // namespace brevaro::swf_test
