// Catalogue requests of module 6 through Invoke on a synthetic catalogue of
// 100,000 products with their models and 10,000 categories, each beside a
// baseline that answers the same request with one hand-written query over
// the raw SQLite API and the same JSON writer. Prints the ratio of each pair.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "cataloguegen.h"
#include "qel/json.h"
#include "qel/text.h"
#include "ratiobench.h"

namespace {

sqlite3* g_db = nullptr;

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

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::string root = qelbench::BenchRoot("catalogue");
  std::string error;
  qelbench::CatalogueLayout layout;
  std::fprintf(stderr, "building the synthetic catalogue in %s\n", root.c_str());
  if (!qelbench::BuildInstallation(QEL_SCHEMA_DIR, root, &error) ||
      !qelbench::FillCatalogue(root, qelbench::CataloguePlan(), &layout, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  g_db = qelbench::StartInstallation(root);
  if (g_db == nullptr) return 1;

  const std::string top = layout.levels[0][0];
  const std::string second = layout.levels[1][0];
  const std::string fourth = layout.levels[3][0];
  const std::string product = qelbench::ProductId(layout.products / 2);
  const std::vector<qelbench::RatioPair> pairs = {
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

  const int result = qelbench::RunRatioPairs(pairs);
  // A folder whose replies differ is kept for a look.
  if (result == 1) return result;
  sqlite3_close(g_db);
  qelbench::RemoveBenchRoot(root);
  return result;
}
