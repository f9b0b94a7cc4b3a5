// A benchmark main that also prints the ratios of named pairs of benchmarks,
// measured side by side in the same run: absolute times on a shared machine
// are noise, ratios are not.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace setup::bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration)
        times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double time(const std::string& name) const {
    const auto it = times_.find(name);
    return it == times_.end() ? 0.0 : it->second;
  }

 private:
  std::map<std::string, double> times_;
};

// pairs: {numerator, denominator} benchmark names; prints numerator / denominator.
inline int runWithRatios(int argc, char** argv,
                         const std::vector<std::pair<std::string, std::string>>& pairs) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  for (const auto& [numerator, denominator] : pairs) {
    const double a = reporter.time(numerator);
    const double b = reporter.time(denominator);
    if (a > 0 && b > 0)
      std::printf("ratio %s / %s = %.2f\n", numerator.c_str(), denominator.c_str(), a / b);
  }
  benchmark::Shutdown();
  return 0;
}

}  // namespace setup::bench
