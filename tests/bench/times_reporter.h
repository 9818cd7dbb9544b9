// Console output of Google Benchmark, plus each run's CPU time kept by its
// argument name and benchmark family ("BM_x/set" -> times[set]["BM_x"]), so a
// benchmark can print its ratios against the reference at the end.
#pragma once

#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace brevaro::bench {

class TimesReporter : public benchmark::ConsoleReporter {
 public:
  using Times = std::map<std::string, std::map<std::string, double>>;
  explicit TimesReporter(std::function<void(const Times&)> summary) : summary_(std::move(summary)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration || r.error_occurred) continue;
      const std::string name = r.benchmark_name();
      const auto slash = name.find('/');
      if (slash == std::string::npos) continue;
      times_[name.substr(slash + 1)][name.substr(0, slash)] = r.GetAdjustedCPUTime();
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    summary_(times_);
  }

 private:
  std::function<void(const Times&)> summary_;
  Times times_;
};

}  // namespace brevaro::bench
