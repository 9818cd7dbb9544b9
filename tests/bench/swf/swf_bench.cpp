// Frames per second of the movie renderer at the banner's 468 x 60 against
// cairo drawing the same paths, fills, gradients and lines (the writer's
// scenes, and a heavy one) in the same run; prints cairo time / our time per
// scene. Goal: >= 1.0x.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cstdio>
#include <memory>
#include <string>
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

}  // namespace

int main(int argc, char** argv) {
  static std::vector<Scene> scenes = brevaro::swf_writer::test_scenes();
  scenes.push_back(brevaro::swf_writer::heavy_scene());
  for (const Scene& s : scenes) {
    benchmark::RegisterBenchmark(("BM_cairo/" + s.name).c_str(), BM_cairo, &s);
    benchmark::RegisterBenchmark(("BM_brevaro/" + s.name).c_str(), BM_brevaro, &s);
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
