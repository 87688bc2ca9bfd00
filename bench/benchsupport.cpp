#include "benchsupport.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace qelbench {
namespace {

const char* BenchDirSetting() {
  const char* dir = std::getenv("QEL_BENCH_DIR");
  return dir != nullptr && *dir != '\0' ? dir : nullptr;
}

}  // namespace

std::string BenchRoot(const std::string& name) {
  const char* dir = BenchDirSetting();
  return dir != nullptr ? dir : "/tmp/qel-" + name + "-bench-" + std::to_string(getpid());
}

void RemoveBenchRoot(const std::string& root) {
  if (BenchDirSetting() != nullptr) return;
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
}

void MeanTimeReporter::ReportRuns(const std::vector<Run>& runs) {
  ConsoleReporter::ReportRuns(runs);
  for (const Run& run : runs) {
    if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
    times[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
  }
}

}  // namespace qelbench
