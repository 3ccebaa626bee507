// A console reporter that also keeps one figure per benchmark (the median
// when repetitions are asked for, else the single run) and prints ratios of
// chosen pairs after the run, so every program ends with its own comparison.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace bench {

class RatioTable : public benchmark::ConsoleReporter {
 public:
  // A row: our benchmark, the one it is compared with, and whether the figure
  // is a rate (higher is better: ratio ours / theirs) or a time (ratio
  // theirs / ours). Either way a ratio above 1 means ours is ahead.
  struct Row {
    std::string label, ours, theirs;
  };

  // counter: the name of a rate counter to compare; empty: CPU time.
  explicit RatioTable(std::string counter = "")
      : counter_(std::move(counter)) {}

  void Add(std::string label, std::string ours, std::string theirs) {
    rows_.push_back({std::move(label), std::move(ours), std::move(theirs)});
  }

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const std::string name = run.run_name.str();
      double value = Figure(run);
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        figures_[name] = value;
        medians_.insert(name);
      } else if (run.run_type == Run::RT_Iteration && !medians_.count(name)) {
        figures_[name] = value;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The figure kept for a benchmark, 0 when it did not run.
  double FigureOf(const std::string& name) const {
    auto it = figures_.find(name);
    return it == figures_.end() ? 0 : it->second;
  }

  void Print() const {
    std::printf("\n%-44s %8s\n", "comparison (above 1: ours is ahead)",
                "ratio");
    for (const Row& row : rows_) {
      auto a = figures_.find(row.ours), b = figures_.find(row.theirs);
      if (a == figures_.end() || b == figures_.end() || a->second <= 0 ||
          b->second <= 0)
        continue;
      double ratio =
          counter_.empty() ? b->second / a->second : a->second / b->second;
      std::printf("%-44s %7.2fx\n", row.label.c_str(), ratio);
    }
  }

 private:
  double Figure(const Run& run) const {
    if (counter_.empty()) return run.GetAdjustedCPUTime();
    auto it = run.counters.find(counter_);
    return it == run.counters.end() ? 0 : it->second.value;
  }

  std::string counter_;
  std::vector<Row> rows_;
  std::map<std::string, double> figures_;
  std::set<std::string> medians_;
};

// Runs the registered benchmarks with table as the reporter and prints it.
inline int RunWithTable(int argc, char** argv, RatioTable& table) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks(&table);
  benchmark::Shutdown();
  table.Print();
  return 0;
}

}  // namespace bench
