// A console reporter that also keeps the median of every benchmark run with
// repetitions, so that a benchmark's main() can print its summary and ratios
// from figures of the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace tsumugi::bench {

class MedianReporter : public benchmark::ConsoleReporter {
 public:
  struct Median {
    double real = NAN;  // wall-clock time, in the benchmark's unit
    double cpu = NAN;   // processor time: the work alone on a busy machine
  };

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        // Keyed by name and arguments ("BM_Step/crisp:1"); fixed iteration
        // counts are not part of the key.
        std::string name = run.run_name.function_name;
        if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
        medians_[name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The median of a benchmark, NaN when it did not run.
  Median Of(const std::string& name) const {
    const auto it = medians_.find(name);
    return it == medians_.end() ? Median{} : it->second;
  }

 private:
  std::map<std::string, Median> medians_;
};

// Runs the benchmarks the command line asks for, keeping their medians in
// `reporter`. False when the command line holds arguments the library does
// not know (it has said so).
inline bool RunBenchmarks(int argc, char** argv, MedianReporter& reporter) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return false;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return true;
}

}  // namespace tsumugi::bench
