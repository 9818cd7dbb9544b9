// Frames per second of the movie renderer at the banner's 468 x 60 against
// cairo drawing the same paths, fills, gradients and lines (the writer's
// scenes, a heavy one, and the default banner res/art/bv.swf) in the same run;
// prints cairo time / our time per scene. Goal: >= 1.0x. For the default
// banner cairo draws the shapes our parser read, each frame's display list as
// the player holds it (the banner has no description of the writer's).
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "media/swf/swf_player.h"
#include "tests/bench/times_reporter.h"
#include "tests/host/swf/cairo_oracle.h"

namespace {

using brevaro::swf_writer::Scene;
namespace swf = brevaro::media::swf;

constexpr int kW = 468, kH = 60;

// Every frame of a scene: the renderer draws the frames the player shows.
void BM_brevaro(benchmark::State& state, const Scene* s) {
  swf::Movie m;
  if (swf::parse_movie(s->file, m) != brevaro::media::SwfStatus::ok) {
    state.SkipWithError("movie does not parse");
    return;
  }
  std::vector<std::unique_ptr<swf::Player>> frames;
  for (std::size_t f = 0; f < s->frames.size(); ++f) {
    auto p = std::make_unique<swf::Player>(m);
    for (std::size_t k = 0; k < f; ++k) p->advance();
    frames.push_back(std::move(p));
  }
  std::vector<std::uint32_t> px(kW * kH);
  const swf::Target t{px.data(), kW, kH, kW};
  for (auto _ : state) {
    for (auto& p : frames) p->render(t);
    benchmark::DoNotOptimize(px.data());
  }
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(s->frames.size()), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_cairo(benchmark::State& state, const Scene* s) {
  cairo_surface_t* surf = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kW, kH);
  cairo_t* cr = cairo_create(surf);
  for (auto _ : state) {
    for (std::size_t f = 0; f < s->frames.size(); ++f) brevaro::swf_test::cairo_draw(cr, *s, f, kW, kH);
    cairo_surface_flush(surf);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surf));
  }
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(s->frames.size()), benchmark::Counter::kIsIterationInvariantRate);
  cairo_destroy(cr);
  cairo_surface_destroy(surf);
}

// ---- the default banner

struct LoadedMovie {
  std::string name;
  swf::Movie movie;
  std::vector<std::unique_ptr<swf::Player>> frames;  // one player per frame of the loop
};

std::unique_ptr<LoadedMovie> load_movie(const std::string& name, const char* path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto lm = std::make_unique<LoadedMovie>();
  lm->name = name;
  if (swf::parse_movie(bytes, lm->movie) != brevaro::media::SwfStatus::ok) return nullptr;
  const std::size_t n = std::max<std::size_t>(1, lm->movie.timeline.frames.size());
  for (std::size_t f = 0; f < n; ++f) {
    auto p = std::make_unique<swf::Player>(lm->movie);
    for (std::size_t k = 0; k < f; ++k) p->advance();
    lm->frames.push_back(std::move(p));
  }
  return lm;
}

void BM_brevaro_movie(benchmark::State& state, const LoadedMovie* lm) {
  std::vector<std::uint32_t> px(kW * kH);
  const swf::Target t{px.data(), kW, kH, kW};
  for (auto _ : state) {
    for (auto& p : lm->frames) p->render(t);
    benchmark::DoNotOptimize(px.data());
  }
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(lm->frames.size()), benchmark::Counter::kIsIterationInvariantRate);
}

void set_source(cairo_t* cr, swf::Rgba c) {
  cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
}

// A fill style as a cairo source; the current matrix maps the shape's twips.
void set_fill(cairo_t* cr, const swf::FillStyle& f, const swf::ColorTransform& cx) {
  if (f.kind == swf::FillKind::solid || f.stops.empty()) {
    set_source(cr, swf::apply(cx, f.kind == swf::FillKind::solid ? f.color : swf::Rgba{}));
    return;
  }
  cairo_pattern_t* pat =
      f.kind == swf::FillKind::linear
          ? cairo_pattern_create_linear(-16384, 0, 16384, 0)
          : cairo_pattern_create_radial(f.kind == swf::FillKind::focal ? f.focal * 16384 : 0, 0, 0, 0, 0, 16384);
  for (const swf::GradientStop& st : f.stops) {
    const swf::Rgba c = swf::apply(cx, st.color);
    cairo_pattern_add_color_stop_rgba(pat, st.ratio / 255.0, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
  }
  cairo_pattern_set_extend(pat, f.spread == swf::Spread::reflect  ? CAIRO_EXTEND_REFLECT
                                : f.spread == swf::Spread::repeat ? CAIRO_EXTEND_REPEAT
                                                                  : CAIRO_EXTEND_PAD);
  cairo_matrix_t m;
  cairo_matrix_init(&m, f.matrix.a, f.matrix.b, f.matrix.c, f.matrix.d, f.matrix.tx, f.matrix.ty);
  cairo_matrix_invert(&m);
  cairo_pattern_set_matrix(pat, &m);
  cairo_set_source(cr, pat);
  cairo_pattern_destroy(pat);
}

void edge_to(cairo_t* cr, double x0, double y0, double cx, double cy, double x1, double y1, bool curved) {
  if (!curved) {
    cairo_line_to(cr, x1, y1);
    return;
  }
  cairo_curve_to(cr, x0 + 2.0 / 3 * (cx - x0), y0 + 2.0 / 3 * (cy - y0), x1 + 2.0 / 3 * (cx - x1),
                 y1 + 2.0 / 3 * (cy - y1), x1, y1);
}

// The edges of one fill style as closed contours (fill 1 edges as they run,
// fill 0 edges reversed, joined end to start).
void fill_path(cairo_t* cr, const swf::Shape& s, std::uint32_t style) {
  struct Dir {
    std::int32_t x0, y0, cx, cy, x1, y1;
    bool curved, used;
  };
  std::vector<Dir> dirs;
  for (const swf::Edge& e : s.edges) {
    if (e.fill1 == style) dirs.push_back({e.x0, e.y0, e.cx, e.cy, e.x1, e.y1, e.curved, false});
    if (e.fill0 == style) dirs.push_back({e.x1, e.y1, e.cx, e.cy, e.x0, e.y0, e.curved, false});
  }
  std::multimap<std::pair<std::int32_t, std::int32_t>, std::size_t> from;
  for (std::size_t i = 0; i < dirs.size(); ++i) from.emplace(std::pair{dirs[i].x0, dirs[i].y0}, i);
  cairo_new_path(cr);
  for (std::size_t i = 0; i < dirs.size(); ++i) {
    if (dirs[i].used) continue;
    cairo_move_to(cr, dirs[i].x0, dirs[i].y0);
    for (std::size_t k = i; !dirs[k].used;) {
      Dir& d = dirs[k];
      d.used = true;
      edge_to(cr, d.x0, d.y0, d.cx, d.cy, d.x1, d.y1, d.curved);
      auto [lo, hi] = from.equal_range(std::pair{d.x1, d.y1});
      for (; lo != hi && dirs[lo->second].used; ++lo) {
      }
      if (lo == hi) break;
      k = lo->second;
    }
    cairo_close_path(cr);
  }
}

void cairo_shape(cairo_t* cr, const swf::Shape& s, const cairo_matrix_t& m, const swf::ColorTransform& cx) {
  cairo_set_matrix(cr, &m);
  for (const swf::ShapeLayer& layer : s.layers) {
    for (std::uint32_t f = layer.fill_begin; f < layer.fill_end && f <= s.fills.size(); ++f) {
      fill_path(cr, s, f);
      set_fill(cr, s.fills[f - 1], cx);
      cairo_fill(cr);
    }
    for (std::uint32_t l = layer.line_begin; l < layer.line_end && l <= s.lines.size(); ++l) {
      cairo_new_path(cr);
      bool open = false;
      double px = 0, py = 0;
      for (const swf::Edge& e : s.edges) {
        if (e.line != l) {
          open = false;
          continue;
        }
        if (!open || e.x0 != px || e.y0 != py) cairo_move_to(cr, e.x0, e.y0);
        edge_to(cr, e.x0, e.y0, e.cx, e.cy, e.x1, e.y1, e.curved);
        open = true;
        px = e.x1;
        py = e.y1;
      }
      const swf::LineStyle& ls = s.lines[l - 1];
      set_source(cr, swf::apply(cx, ls.color));
      cairo_set_line_width(cr, ls.width);
      cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
      cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
      cairo_stroke(cr);
    }
  }
}

void cairo_list(cairo_t* cr, const swf::Movie& movie, const std::vector<swf::Instance>& list, const swf::Matrix& m,
                const swf::ColorTransform& cx) {
  for (const swf::Instance& in : list) {
    if (in.clip_depth || !in.visible) continue;
    const swf::Matrix mm = m * in.matrix;
    const swf::ColorTransform cc = cx * in.color;
    if (const auto s = movie.shapes.find(in.character); s != movie.shapes.end()) {
      cairo_matrix_t cm;
      cairo_matrix_init(&cm, mm.a, mm.b, mm.c, mm.d, mm.tx, mm.ty);
      cairo_shape(cr, s->second, cm, cc);
    } else {
      cairo_list(cr, movie, in.children, mm, cc);
    }
  }
}

void BM_cairo_movie(benchmark::State& state, const LoadedMovie* lm) {
  cairo_surface_t* surf = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kW, kH);
  cairo_t* cr = cairo_create(surf);
  const swf::Matrix to_target = swf::stage_to_target(lm->movie.header, kW, kH);
  for (auto _ : state) {
    for (const auto& p : lm->frames) {
      cairo_identity_matrix(cr);
      set_source(cr, lm->movie.background);
      cairo_paint(cr);
      cairo_list(cr, lm->movie, p->display_list(), to_target, swf::ColorTransform{});
    }
    cairo_surface_flush(surf);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surf));
  }
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(lm->frames.size()), benchmark::Counter::kIsIterationInvariantRate);
  cairo_destroy(cr);
  cairo_surface_destroy(surf);
}

}  // namespace

int main(int argc, char** argv) {
  static std::vector<Scene> scenes = brevaro::swf_writer::test_scenes();
  scenes.push_back(brevaro::swf_writer::heavy_scene());
  for (const Scene& s : scenes) {
    benchmark::RegisterBenchmark(("BM_cairo/" + s.name).c_str(), BM_cairo, &s);
    benchmark::RegisterBenchmark(("BM_brevaro/" + s.name).c_str(), BM_brevaro, &s);
  }
  static const std::unique_ptr<LoadedMovie> banner = load_movie("default-banner", BREVARO_DEFAULT_MOVIE);
  if (banner) {
    benchmark::RegisterBenchmark("BM_cairo/default-banner", BM_cairo_movie, banner.get());
    benchmark::RegisterBenchmark("BM_brevaro/default-banner", BM_brevaro_movie, banner.get());
  } else {
    std::fprintf(stderr, "warning: %s does not load\n", BREVARO_DEFAULT_MOVIE);
  }
  benchmark::Initialize(&argc, argv);
  brevaro::bench::TimesReporter reporter([](const brevaro::bench::TimesReporter::Times& times) {
    std::printf("\nMovie frames at %d x %d, cairo time / brevaro time (goal >= 1.0):\n", kW, kH);
    for (const auto& [set, t] : times) {
      const auto c = t.find("BM_cairo"), b = t.find("BM_brevaro");
      if (c != t.end() && b != t.end() && b->second > 0)
        std::printf("  %-18s %.2fx\n", set.c_str(), c->second / b->second);
    }
  });
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
