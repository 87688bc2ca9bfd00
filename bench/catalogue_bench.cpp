// Catalogue requests of module 6 through Invoke on a synthetic catalogue of
// 100,000 products with their models and 10,000 categories, each beside a
// baseline that answers the same request with one hand-written query over
// the raw SQLite API and the same JSON writer. Prints the ratio of each pair.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "cataloguegen.h"
#include "qel/json.h"
#include "qel/text.h"
#include "qelbridge.h"

namespace {

struct Pair {
  std::string name;
  int code;
  std::string request;
  std::function<std::string()> baseline;
};

sqlite3* g_db = nullptr;

std::string InvokeText(int code, const std::string& request) {
  char* out = nullptr;
  Invoke(code, request.c_str(), &out);
  std::string text = out != nullptr ? out : "";
  DeleteJsonStr(&out);
  return text;
}

// Rows of sql as GBK objects; keep decides per row whether it is listed.
std::string QueryReply(const std::string& sql,
                       const std::function<bool(const Json::Value&)>& keep = nullptr) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(g_db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "baseline: %s\n%s\n", sqlite3_errmsg(g_db), sql.c_str());
    std::exit(1);
  }
  Json::Value rows(Json::arrayValue);
  const int columns = sqlite3_column_count(stmt);
  std::vector<std::string> names;
  for (int i = 0; i < columns; ++i) names.push_back(sqlite3_column_name(stmt, i));
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    Json::Value row(Json::objectValue);
    for (int i = 0; i < columns; ++i) {
      const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
      row[names[static_cast<size_t>(i)]] =
          text != nullptr ? qel::Utf8ToGbk(std::string_view(text, sqlite3_column_bytes(stmt, i)))
                          : std::string();
    }
    if (!keep || keep(row)) rows.append(std::move(row));
  }
  sqlite3_finalize(stmt);
  return rows.empty() ? "[]" : qel::WriteStyled(rows);
}

// Categories whose id is a category-id prefix of length n below id: the
// ids are decimal, so "starts with id" is the range [id, id + ':').
std::string CategoryBaselineSql(const std::string& where) {
  const std::string range =
      "q.PRO_CATEGORY_ID >= c.PRO_CATEGORY_ID AND q.PRO_CATEGORY_ID < c.PRO_CATEGORY_ID || ':'";
  return "SELECT c.PRO_CATEGORY_ID, c.CANEXTEND, c.LEVEL, c.BEUSE, c.SORT, l.NAME, l.\"DESC\", l.ALIAS1, "
         "l.ALIAS2, "
         "l.TIPS, (SELECT COUNT(*) FROM PRODUCT_CLASS q WHERE " +
         range + ") AS PRODUCTCOUNT, (SELECT COUNT(*) FROM PRODUCT_CLASS q WHERE " + range +
         " AND NOT EXISTS (SELECT 1 FROM PRODUCT_EXTEND e JOIN PRODUCT p ON p.PRODUCT_ID = e.PROD_ID WHERE "
         "e.PROD_ID = q.PRODUCT_ID AND e.LASTTIME > p.LASTTIME)) AS NEWPRODUCTCOUNT, (SELECT COUNT(*) FROM "
         "PRODUCT_CATEGORY s WHERE s.PRO_CATEGORY_ID > c.PRO_CATEGORY_ID AND s.PRO_CATEGORY_ID < "
         "c.PRO_CATEGORY_ID "
         "|| ':') AS HASSUBCATEGORY FROM PRODUCT_CATEGORY c JOIN PRODUCT_CATEGORY_LANG l ON "
         "l.PRO_CATEGORY_ID = "
         "c.PRO_CATEGORY_ID AND l.LANGID = 3 WHERE " +
         where + " ORDER BY c.SORT";
}

std::string CategoryBaseline(const std::string& where) {
  return QueryReply(CategoryBaselineSql(where),
                    [](const Json::Value& row) { return qel::StringMember(row, "PRODUCTCOUNT") != "0"; });
}

std::string ProductBaseline(const std::string& where, const std::string& page) {
  return QueryReply(
      "SELECT p.PRODUCT_ID, p.PICFIRST, p.PRICE, p.PRICETYPE, p.DESCPTYPE, p.BRAND_ID, p.SORT, p.SSORT, "
      "p.TEMPLATESORT, p.LASTTIME, l.NAME, l.UNIT, l.PRICEUNIT, l.\"DESC\", l.INTRODUCE, CASE WHEN EXISTS "
      "(SELECT 1 "
      "FROM PRODUCT_EXTEND e WHERE e.PROD_ID = p.PRODUCT_ID AND e.LASTTIME > p.LASTTIME) THEN '1' ELSE '2' "
      "END AS "
      "STATUS, CASE WHEN EXISTS (SELECT 1 FROM FAVORITES f WHERE f.PRODUCT_ID = p.PRODUCT_ID) THEN '1' ELSE "
      "'0' END "
      "AS FAVORITE, COALESCE(NULLIF((SELECT s.SHOW_WAY FROM PROD_SHOW s WHERE s.PRODUCT_ID = p.PRODUCT_ID), "
      "''), "
      "'0') AS SHOWWAY, COALESCE((SELECT b.BRANDNAME FROM BRAND_LANG b WHERE b.BRAND_ID = p.BRAND_ID AND "
      "b.LANGID = "
      "3), '') AS BRANDNAME FROM PRODUCT p JOIN PRODUCT_LANG l ON l.PRODUCT_ID = p.PRODUCT_ID AND l.LANGID = "
      "3 "
      "WHERE length(p.PRODUCT_ID) = 11" +
      where + " ORDER BY p.TEMPLATESORT DESC, p.PRODUCT_ID" + page);
}

std::string CountBaseline() {
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(g_db, "SELECT COUNT(*) FROM PRODUCT WHERE length(PRODUCT_ID) = 11", -1, &stmt, nullptr);
  std::string count = "0";
  if (sqlite3_step(stmt) == SQLITE_ROW) count = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
  sqlite3_finalize(stmt);
  Json::Value rows(Json::arrayValue);
  rows.append(Json::Value(Json::objectValue))["COUNT"] = count;
  return qel::WriteStyled(rows);
}

std::string BrandBaseline(const std::string& category) {
  return QueryReply(
      "SELECT b.BRAND_ID, l.BRANDNAME, l.BRANDDESC FROM BRAND b JOIN BRAND_LANG l ON l.BRAND_ID = b.BRAND_ID "
      "AND "
      "l.LANGID = 3 WHERE b.BRAND_ID IN (SELECT p.BRAND_ID FROM PRODUCT_CLASS c JOIN PRODUCT p ON "
      "p.PRODUCT_ID = "
      "c.PRODUCT_ID WHERE c.PRO_CATEGORY_ID GLOB '" +
      category + "*')");
}

std::string CategoryRequest(const std::string& id, const std::string& paging = "") {
  return "{\"PARAM\":{\"PRODUCT_CATEGORY\":{\"PRO_CATEGORY_ID\":\"" + id + "\"}}" +
         (paging.empty() ? "" : "," + paging) + "}";
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

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const char* dir = std::getenv("QEL_BENCH_DIR");
  const std::string root =
      dir != nullptr && *dir != '\0' ? dir : "/tmp/qel-catalogue-bench-" + std::to_string(getpid());
  std::string error;
  qelbench::CatalogueLayout layout;
  std::fprintf(stderr, "building the synthetic catalogue in %s\n", root.c_str());
  if (!qelbench::BuildInstallation(QEL_SCHEMA_DIR, root, &error) ||
      !qelbench::FillCatalogue(root, qelbench::CataloguePlan(), &layout, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const std::string startup = "{\"LOCAL_PATH\":\"" + root + "\",\"SERVER_PATH\":\"http://127.0.0.1:9/qel\"}";
  InitQelbridge(260, startup.c_str());
  if (sqlite3_open_v2((root + "/data/qel_data.db").c_str(), &g_db, SQLITE_OPEN_READWRITE, nullptr) !=
          SQLITE_OK ||
      sqlite3_exec(g_db, ("ATTACH DATABASE '" + root + "/data/qel_exdata.db' AS EXDB").c_str(), nullptr,
                   nullptr, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "cannot open the baseline connection\n");
    return 1;
  }

  const std::string top = layout.levels[0][0];
  const std::string second = layout.levels[1][0];
  const std::string fourth = layout.levels[3][0];
  const std::string product = qelbench::ProductId(layout.products / 2);
  std::vector<Pair> pairs = {
      {"0x601 top level", 0x601, "", [] { return CategoryBaseline("length(c.PRO_CATEGORY_ID) = 7"); }},
      {"0x602 children of a top category", 0x602, CategoryRequest(top),
       [top] {
         return CategoryBaseline("length(c.PRO_CATEGORY_ID) = 10 AND c.PRO_CATEGORY_ID GLOB '" + top + "*'");
       }},
      {"0x602 children of a 4th-level category", 0x602, CategoryRequest(fourth),
       [fourth] {
         return CategoryBaseline("length(c.PRO_CATEGORY_ID) = 19 AND c.PRO_CATEGORY_ID GLOB '" + fourth +
                                 "*'");
       }},
      {"0x604 page of 50", 0x604, CategoryRequest(second, "\"LIMIT\":50,\"OFFSET\":50"),
       [second] {
         return ProductBaseline(
             " AND p.PRODUCT_ID IN (SELECT PRODUCT_ID FROM PRODUCT_CLASS WHERE PRO_CATEGORY_ID GLOB '" +
                 second + "*')",
             " LIMIT 50 OFFSET 50");
       }},
      {"0x606 all products", 0x606, "", [] { return ProductBaseline("", ""); }},
      {"0x607 one product", 0x607, "{\"PARAM\":{\"PRODUCT\":{\"PRODUCT_ID\":\"" + product + "\"}}}",
       [product] { return ProductBaseline(" AND p.PRODUCT_ID = '" + product + "'", ""); }},
      {"0x609 product count", 0x609, "", [] { return CountBaseline(); }},
      {"0x60a brands of a category", 0x60a, CategoryRequest(second),
       [second] { return BrandBaseline(second); }},
  };

  // Both sides must give the same reply, byte for byte.
  bool same = true;
  for (const Pair& pair : pairs) {
    std::string invoked = InvokeText(pair.code, pair.request);
    std::string expected = pair.baseline();
    if (invoked != expected || invoked.size() < 3) {
      std::fprintf(stderr, "%s: the replies differ (%zu and %zu bytes)\n", pair.name.c_str(), invoked.size(),
                   expected.size());
      same = false;
    }
  }
  if (!same) return 1;

  for (const Pair& pair : pairs) {
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
  for (const Pair& pair : pairs) {
    auto invoked = reporter.times.find("Invoke/" + pair.name);
    auto baseline = reporter.times.find("Baseline/" + pair.name);
    if (invoked == reporter.times.end() || baseline == reporter.times.end() || baseline->second <= 0)
      continue;
    double ratio = invoked->second / baseline->second;
    if (ratio > 3) ++over;
    std::printf("  %-42s %6.2f\n", pair.name.c_str(), ratio);
  }
  sqlite3_close(g_db);
  if (dir == nullptr || *dir == '\0') {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
  return over == 0 ? 0 : 2;
}
