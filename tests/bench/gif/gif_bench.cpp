// Decode throughput of brevaro's GIF parser against giflib's DGifSlurp on the
// same in-memory files in the same run; prints the ratio per file set.
// Goal: >= 2.0x giflib.
#include <benchmark/benchmark.h>
#include <gif_lib.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "media/gif/gif_parser.h"
#include "tests/bench/times_reporter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct FileSet {
  std::string name;
  std::vector<Bytes> files;
  std::size_t pixels = 0;  // decoded pixels per pass over the set
};

std::vector<FileSet>& sets() {
  static std::vector<FileSet> s;
  return s;
}

Bytes read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct MemReader {
  const Bytes* data;
  std::size_t pos;
};

int mem_read(GifFileType* g, GifByteType* buf, int n) {
  auto* r = static_cast<MemReader*>(g->UserData);
  const std::size_t left = r->data->size() - r->pos;
  const std::size_t take = std::min<std::size_t>(left, static_cast<std::size_t>(n));
  std::memcpy(buf, r->data->data() + r->pos, take);
  r->pos += take;
  return static_cast<int>(take);
}

std::size_t giflib_decode(const Bytes& b) {
  MemReader r{&b, 0};
  int err = 0;
  GifFileType* g = DGifOpen(&r, mem_read, &err);
  if (!g) return 0;
  std::size_t pixels = 0;
  if (DGifSlurp(g) == GIF_OK) {
    for (int i = 0; i < g->ImageCount; ++i) {
      pixels += static_cast<std::size_t>(g->SavedImages[i].ImageDesc.Width) *
                static_cast<std::size_t>(g->SavedImages[i].ImageDesc.Height);
    }
  }
  DGifCloseFile(g, &err);
  return pixels;
}

std::size_t brevaro_decode(const Bytes& b) {
  brevaro::gif::GifFile gif;
  if (brevaro::gif::parse_gif(b, brevaro::gif::ParseOptions{}, gif) != brevaro::gif::ParseStatus::ok) return 0;
  std::size_t pixels = 0;
  for (const auto& f : gif.frames) pixels += f.pixels.size();
  return pixels;
}

void BM_brevaro(benchmark::State& state, const FileSet* set) {
  for (auto _ : state) {
    for (const Bytes& b : set->files) benchmark::DoNotOptimize(brevaro_decode(b));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * set->pixels));
  state.counters["Mpixel/s"] =
      benchmark::Counter(static_cast<double>(set->pixels) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_giflib(benchmark::State& state, const FileSet* set) {
  for (auto _ : state) {
    for (const Bytes& b : set->files) benchmark::DoNotOptimize(giflib_decode(b));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * set->pixels));
  state.counters["Mpixel/s"] =
      benchmark::Counter(static_cast<double>(set->pixels) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

int main(int argc, char** argv) {
  // Freed memory stays with the process for both decoders: otherwise the
  // heap top is given back and faulted in again on every pass, depending on
  // how the allocations of the decoder just measured happen to fall, and the
  // times measure the page faults rather than the decoding.
#if defined(__GLIBC__)
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
#endif
  std::vector<std::filesystem::path> paths;
  for (const auto& e : std::filesystem::directory_iterator(BREVARO_GIF_CORPUS)) {
    if (e.path().extension() == ".gif") paths.push_back(e.path());
  }
  std::sort(paths.begin(), paths.end());
  FileSet all{"corpus", {}, 0};
  for (const auto& p : paths) {
    Bytes b = read_file(p);
    const std::size_t px = giflib_decode(b);
    if (px != brevaro_decode(b)) {
      std::fprintf(stderr, "pixel counts differ on %s\n", p.string().c_str());
      return 1;
    }
    if (p.filename().string().rfind("bench-", 0) == 0) {
      sets().push_back(FileSet{p.stem().string(), {b}, px});
    }
    all.files.push_back(std::move(b));
    all.pixels += px;
  }
  sets().push_back(std::move(all));
  for (const FileSet& s : sets()) {
    benchmark::RegisterBenchmark(("BM_giflib/" + s.name).c_str(), BM_giflib, &s);
    benchmark::RegisterBenchmark(("BM_brevaro/" + s.name).c_str(), BM_brevaro, &s);
  }
  benchmark::Initialize(&argc, argv);
  // Console output plus the ratio giflib time / brevaro time for each set.
  brevaro::bench::TimesReporter reporter([](const brevaro::bench::TimesReporter::Times& times) {
    std::printf("\nGIF decoding, giflib DGifSlurp time / brevaro time (goal >= 2.0):\n");
    for (const auto& [set, t] : times) {
      auto a = t.find("BM_giflib"), b = t.find("BM_brevaro");
      if (a == t.end() || b == t.end() || b->second <= 0) continue;
      std::printf("  %-28s %.2fx\n", set.c_str(), a->second / b->second);
    }
  });
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
