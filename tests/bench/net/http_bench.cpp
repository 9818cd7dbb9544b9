// GET of a 100 MB body from the reference service on 127.0.0.1: THttpCli into
// a memory stream against curl (to /dev/null) in the same run. Prints the
// ratio curl time / THttpCli time (above 1.0: THttpCli is faster).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "net/httpcli.h"
#include "net/platform_api.h"
#include "service/server.h"

namespace {

constexpr std::uint64_t body_size = 100ull * 1024 * 1024;

brevaro::service::Server& service() {
  static brevaro::service::Server svc;
  return svc;
}

std::string url() { return service().url("/bench/bytes?n=" + std::to_string(body_size)); }

void BM_THttpCliGet(benchmark::State& state) {
  auto api = brevaro::net::makePlatformSocketApi();
  brevaro::net::THttpCli cli(*api);
  brevaro::net::TMemoryStream body;
  cli.SetReceiveStream(&body);
  cli.SetURL(url());
  for (auto _ : state) {
    body.Clear();
    cli.Get();
    if (body.Size() != body_size) state.SkipWithError("short body");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body_size));
}

void BM_CurlGet(benchmark::State& state) {
  std::string cmd = "curl -s -f -o /dev/null '" + url() + "'";
  for (auto _ : state) {
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("curl failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body_size));
}

BENCHMARK(BM_THttpCliGet)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_CurlGet)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // With --benchmark_repetitions the median counts; otherwise the single run.
    for (const auto& r : runs) {
      if (r.error_occurred) continue;
      std::string key = r.run_name.str();
      if (r.run_type == Run::RT_Aggregate) {
        if (r.aggregate_name == "median") {
          times[key] = r.GetAdjustedRealTime();
          medians.insert(key);
        }
      } else if (!medians.count(key)) {
        times[key] = r.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
  std::set<std::string> medians;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto ours = reporter.times.find("BM_THttpCliGet/min_time:3.000/real_time");
  auto curl = reporter.times.find("BM_CurlGet/min_time:3.000/real_time");
  if (ours != reporter.times.end() && curl != reporter.times.end() && ours->second > 0) {
    std::printf("http_get_100MB ratio (curl time / THttpCli time): %.2f (goal >= 1.0)\n", curl->second / ours->second);
  } else {
    std::printf("http_get_100MB ratio: not measured\n");
    for (const auto& [name, t] : reporter.times) std::printf("  measured %s\n", name.c_str());
  }
  benchmark::Shutdown();
  return 0;
}
