#include "ratiobench.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

#include "qelbridge.h"

namespace qelbench {

std::string InvokeText(int code, const std::string& request) {
  char* out = nullptr;
  Invoke(code, request.c_str(), &out);
  std::string text = out != nullptr ? out : "";
  DeleteJsonStr(&out);
  return text;
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
  MeanTimeReporter reporter;
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
