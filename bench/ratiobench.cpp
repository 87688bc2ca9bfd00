#include "ratiobench.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <system_error>

#include "qelbridge.h"

namespace qelbench {
namespace {

const char* BenchDirSetting() {
  const char* dir = std::getenv("QEL_BENCH_DIR");
  return dir != nullptr && *dir != '\0' ? dir : nullptr;
}

// Mean wall time per iteration of every run, by name.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      times[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
    }
  }
  std::map<std::string, double> times;
};

}  // namespace

std::string InvokeText(int code, const std::string& request) {
  char* out = nullptr;
  Invoke(code, request.c_str(), &out);
  std::string text = out != nullptr ? out : "";
  DeleteJsonStr(&out);
  return text;
}

std::string BenchRoot(const std::string& name) {
  const char* dir = BenchDirSetting();
  return dir != nullptr ? dir : "/tmp/qel-" + name + "-bench-" + std::to_string(getpid());
}

void RemoveBenchRoot(const std::string& root) {
  if (BenchDirSetting() != nullptr) return;
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
}

sqlite3* StartInstallation(const std::string& root) {
  const std::string startup = "{\"LOCAL_PATH\":\"" + root + "\",\"SERVER_PATH\":\"http://127.0.0.1:9/qel\"}";
  InitQelbridge(260, startup.c_str());
  sqlite3* db = nullptr;
  if (sqlite3_open_v2((root + "/data/qel_data.db").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
          SQLITE_OK ||
      sqlite3_exec(db, ("ATTACH DATABASE '" + root + "/data/qel_exdata.db' AS EXDB").c_str(), nullptr,
                   nullptr, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "cannot open the baseline connection\n");
    sqlite3_close(db);
    return nullptr;
  }
  return db;
}

int RunRatioPairs(const std::vector<RatioPair>& pairs) {
  bool same = true;
  for (const RatioPair& pair : pairs) {
    std::string invoked = InvokeText(pair.code, pair.request);
    std::string expected = pair.baseline();
    if (invoked != expected || invoked.size() < 3) {
      std::fprintf(stderr, "%s: the replies differ (%zu and %zu bytes)\n", pair.name.c_str(), invoked.size(),
                   expected.size());
      same = false;
    }
  }
  if (!same) return 1;

  for (const RatioPair& pair : pairs) {
    benchmark::RegisterBenchmark(("Invoke/" + pair.name).c_str(), [pair](benchmark::State& state) {
      for (auto _ : state) benchmark::DoNotOptimize(InvokeText(pair.code, pair.request));
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Baseline/" + pair.name).c_str(), [pair](benchmark::State& state) {
      for (auto _ : state) benchmark::DoNotOptimize(pair.baseline());
    })->Unit(benchmark::kMicrosecond);
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nInvoke time / baseline time (target: at most 3)\n");
  int over = 0;
  for (const RatioPair& pair : pairs) {
    auto invoked = reporter.times.find("Invoke/" + pair.name);
    auto baseline = reporter.times.find("Baseline/" + pair.name);
    if (invoked == reporter.times.end() || baseline == reporter.times.end() || baseline->second <= 0)
      continue;
    double ratio = invoked->second / baseline->second;
    if (ratio > 3) ++over;
    std::printf("  %-42s %6.2f\n", pair.name.c_str(), ratio);
  }
  return over == 0 ? 0 : 2;
}

}  // namespace qelbench
