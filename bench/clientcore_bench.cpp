// The client core's getters on the synthetic catalogue of 100,000 products,
// each beside the bare Invoke of the same request (reply text out, nothing
// converted), and a cached GetProductByID beside its first call. Prints
// each ratio; exits 2 when one misses its target.
//
// The bridge's log callback is taken off after Init, so that both sides
// time the request and its conversion, not the writing of log lines.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "benchsupport.h"
#include "cataloguegen.h"
#include "productdetailgen.h"
#include "qel/json.h"
#include "qelbridge.h"
#include "qelclientcore.h"

namespace {

using qelclientcore::CQelClientCore;

std::string BareInvoke(int code, const std::string& request) {
  char* out = nullptr;
  Invoke(code, request.c_str(), &out);
  std::string text = out != nullptr ? out : "";
  DeleteJsonStr(&out);
  return text;
}

std::string Request(const char* key, const char* idKey, const std::string& id, int limit = -2,
                    int offset = 0) {
  Json::Value request(Json::objectValue);
  if (key != nullptr) {
    request["PARAM"][key][idKey] = id;
  } else {
    request["PARAM"] = Json::Value();
  }
  if (limit != -2) {
    request["LIMIT"] = limit;
    request["OFFSET"] = offset;
  }
  return qel::WriteStyled(request);
}

struct Pair {
  std::string name;
  std::function<void()> getter;
  std::function<void()> bare;
  double target;  // largest getter/bare ratio
};

// The category of the second level whose product count is nearest 1,000.
std::string CategoryNear(const std::vector<std::string>& ids, int wanted, int* count) {
  std::string best;
  int bestCount = -1;
  for (const std::string& id : ids) {
    Json::Value rows;
    qel::ParseGbkJson(BareInvoke(0x604, Request("PRODUCT_CATEGORY", "PRO_CATEGORY_ID", id, 100000, 0)),
                      &rows);
    int n = static_cast<int>(rows.size());
    if (bestCount < 0 || std::abs(n - wanted) < std::abs(bestCount - wanted)) {
      best = id;
      bestCount = n;
    }
  }
  *count = bestCount;
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::string root = qelbench::BenchRoot("clientcore");
  std::string error;
  qelbench::CatalogueLayout layout;
  qelbench::DetailPlan detail;
  std::fprintf(stderr, "building the synthetic catalogue in %s\n", root.c_str());
  if (!qelbench::BuildInstallation(QEL_SCHEMA_DIR, root, &error) ||
      !qelbench::FillCatalogue(root, qelbench::CataloguePlan(), &layout, &error) ||
      !qelbench::FillProductDetail(root, layout, detail, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  setenv("QEL_INSTALL_DIR", root.c_str(), 1);
  CQelClientCore& core = *CQelClientCore::GetInstance();
  if (!core.Init()) {
    std::fprintf(stderr, "the client core did not start\n");
    return 1;
  }
  SetLogCallback(nullptr);

  int wholeCount = 0;
  const std::string page = layout.levels[1][0];
  const std::string whole = CategoryNear(layout.levels[2], 1000, &wholeCount);
  const uint64_t pageId = std::stoull(page);
  const uint64_t wholeId = std::stoull(whole);
  const std::string rich = qelbench::ProductId(qelbench::RichProductIndex(layout, detail));
  const uint64_t richId = std::stoull(rich);
  std::fprintf(stderr, "whole category %s: %d products\n", whole.c_str(), wholeCount);

  std::vector<qelclientcore::Product> products;
  std::vector<qelclientcore::ProductModel> models;
  // A fresh product for every first call, so that each one misses the cache.
  int next = 0;
  const std::vector<Pair> pairs = {
      {"GetProductsByCategory page of 50", [&] { core.GetProductsByCategory(pageId, products, -1, 50, 50); },
       [&] { BareInvoke(0x604, Request("PRODUCT_CATEGORY", "PRO_CATEGORY_ID", page, 50, 50)); }, 2},
      {"GetProductsByCategory whole category",
       [&] { core.GetProductsByCategory(wholeId, products, -1, 100000, 0); },
       [&] { BareInvoke(0x604, Request("PRODUCT_CATEGORY", "PRO_CATEGORY_ID", whole, 100000, 0)); }, 2},
      {"GetAllProuducts 1000", [&] { core.GetAllProuducts(-1, 1000, 0); },
       [&] { BareInvoke(0x606, Request(nullptr, nullptr, "", 1000, 0)); }, 2},
      {"GetProductByID first",
       [&] { core.GetProductByID(std::stoull(qelbench::ProductId(next++ % layout.products))); },
       [&] {
         BareInvoke(0x607, Request("PRODUCT", "PRODUCT_ID", qelbench::ProductId(next++ % layout.products)));
       },
       2},
      {"GetProductModels", [&] { core.GetProductModels(richId, models); },
       [&] { BareInvoke(0x421, Request("PRODUCT", "PRODUCT_ID", rich)); }, 2},
      {"GetProductParameterValues", [&] { core.GetProductParameterValues(richId); },
       [&] {
         // The getter asks for the values and then the models.
         BareInvoke(0x423, Request("PRODUCT", "PRODUCT_ID", rich));
         BareInvoke(0x421, Request("PRODUCT", "PRODUCT_ID", rich));
       },
       2},
  };
  for (const Pair& pair : pairs) {
    benchmark::RegisterBenchmark(("ClientCore/" + pair.name).c_str(), [pair](benchmark::State& state) {
      for (auto _ : state) pair.getter();
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Invoke/" + pair.name).c_str(), [pair](benchmark::State& state) {
      for (auto _ : state) pair.bare();
    })->Unit(benchmark::kMicrosecond);
  }
  const uint64_t cachedId = std::stoull(qelbench::ProductId(layout.products / 2));
  core.GetProductByID(cachedId);
  benchmark::RegisterBenchmark("ClientCore/GetProductByID cached", [&](benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(core.GetProductByID(cachedId));
  })->Unit(benchmark::kMicrosecond);

  qelbench::MeanTimeReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  int missed = 0;
  std::printf("\nClient-core time / bare Invoke time (target: at most 2)\n");
  for (const Pair& pair : pairs) {
    auto getter = reporter.times.find("ClientCore/" + pair.name);
    auto bare = reporter.times.find("Invoke/" + pair.name);
    if (getter == reporter.times.end() || bare == reporter.times.end() || bare->second <= 0) continue;
    double ratio = getter->second / bare->second;
    if (ratio > pair.target) ++missed;
    std::printf("  %-42s %6.2f\n", pair.name.c_str(), ratio);
  }
  auto first = reporter.times.find("ClientCore/GetProductByID first");
  auto cached = reporter.times.find("ClientCore/GetProductByID cached");
  if (first != reporter.times.end() && cached != reporter.times.end() && cached->second > 0) {
    double speedup = first->second / cached->second;
    if (speedup < 100) ++missed;
    std::printf("\nGetProductByID first / cached (target: at least 100)\n  %-42s %6.0f\n", "GetProductByID",
                speedup);
  }
  CQelClientCore::Uninitialize();
  qelbench::RemoveBenchRoot(root);
  return missed == 0 ? 0 : 2;
}
