// What every benchmark shares, free of the libraries under test.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace qelbench {

// Where a benchmark builds its installation: $QEL_BENCH_DIR when set (it is
// kept), else /tmp/qel-<name>-bench-<pid>.
std::string BenchRoot(const std::string& name);
// Removes root unless it came from $QEL_BENCH_DIR.
void RemoveBenchRoot(const std::string& root);

// Prints as the console reporter does and keeps the mean wall time per
// iteration of every run, by name.
class MeanTimeReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override;
  std::map<std::string, double> times;
};

}  // namespace qelbench
