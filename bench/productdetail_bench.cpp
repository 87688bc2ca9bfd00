// Product-detail requests of module 4 through Invoke on the synthetic
// catalogue with its detail tables: the detail head (0x430), the parameter
// values of a product with 20 models (0x423) and its test reports with
// their pictures (0x414). Each runs beside a baseline that builds the same
// reply from one hand-written query over the raw SQLite API and the same
// JSON writer; the ratio of each pair is printed.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cataloguegen.h"
#include "productdetailgen.h"
#include "qel/json.h"
#include "qel/text.h"
#include "ratiobench.h"

namespace {

sqlite3* g_db = nullptr;

// A prepared statement that is finalized on every path.
class Statement {
 public:
  explicit Statement(const std::string& sql) {
    if (sqlite3_prepare_v2(g_db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) {
      std::fprintf(stderr, "baseline: %s\n%s\n", sqlite3_errmsg(g_db), sql.c_str());
      std::exit(1);
    }
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Step() { return sqlite3_step(stmt_) == SQLITE_ROW; }
  int Columns() { return sqlite3_column_count(stmt_); }
  std::string Name(int i) { return sqlite3_column_name(stmt_, i); }
  // GBK, NULL as "".
  std::string Text(int i) {
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
    return text != nullptr ? qel::Utf8ToGbk(std::string_view(text, sqlite3_column_bytes(stmt_, i)))
                           : std::string();
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

std::string Styled(const Json::Value& rows) { return rows.empty() ? "[]" : qel::WriteStyled(rows); }

std::string HeadBaseline(const std::string& id) {
  const std::string quoted = "'" + id + "'";
  Statement sql(
      "SELECT (SELECT INTRODUCE FROM PRODUCT_LANG WHERE PRODUCT_ID = " + quoted +
      " AND LANGID = 3 LIMIT 1), (SELECT COUNT(*) FROM PRODUCT WHERE PRODUCT_ID LIKE '" + id +
      "____%' AND length(PRODUCT_ID) = 15) + (SELECT COUNT(*) FROM PROD_MODELPICS WHERE PRODUCT_ID LIKE '" +
      id + "%'), (SELECT COUNT(*) FROM PROD_CERTGROUP WHERE PRODUCT_ID = " + quoted +
      "), (SELECT COUNT(*) FROM PRODUCT_RESOURCE WHERE PRODUCT_ID = " + quoted +
      " AND RES_TYPE = 2), (SELECT COUNT(*) FROM PRODUCT_RESOURCE WHERE PRODUCT_ID = " + quoted +
      " AND RES_TYPE = 1), (SELECT COUNT(*) FROM PROD_PRODCASE WHERE PRODUCT_ID = " + quoted +
      "), (SELECT COUNT(*) FROM REPORT_RESOURCE WHERE PRODUCT_ID = " + quoted + "), '1', '1'");
  Json::Value rows(Json::arrayValue);
  if (!sql.Step()) return "";
  for (int type = 0; type < sql.Columns(); ++type) {
    Json::Value& item = rows.append(Json::Value(Json::objectValue));
    item["TYPE"] = std::to_string(type);
    item["COUNT"] = type == 0 ? (sql.Text(0).empty() ? "0" : "1") : sql.Text(type);
  }
  return Styled(rows);
}

std::string ParameterValuesBaseline(const std::string& id) {
  Statement sql(
      "SELECT v.PRODUCT_ID, v.PARAM_ID, v.PARAMUNIT_ID, v.VALTYPE, IFNULL(v.VALUE, '') || IFNULL('(' || "
      "u.NAME || "
      "')', '') AS VALUE, v.SORT FROM PROD_PRODPARAMS v LEFT JOIN PARAM_UNIT_LANG u ON u.PARAMUNIT_ID = "
      "v.PARAMUNIT_ID AND u.LANGID = 3 WHERE v.PRODUCT_ID LIKE '" +
      id + "%' GROUP BY v.PRODUCT_ID, v.PARAM_ID");
  std::vector<std::string> names;
  for (int i = 0; i < sql.Columns(); ++i) names.push_back(sql.Name(i));
  Json::Value rows(Json::arrayValue);
  while (sql.Step()) {
    Json::Value& row = rows.append(Json::Value(Json::objectValue));
    for (int i = 0; i < sql.Columns(); ++i) row[names[static_cast<size_t>(i)]] = sql.Text(i);
  }
  return Styled(rows);
}

std::string ReportsBaseline(const std::string& id) {
  Statement sql(
      "SELECT r.REPORT_ID, rl.NAME, rl.\"DESC\", p.RES_ID, p.PATH, p.IMG, pl.NAME, pl.\"DESC\", pl.TIPS FROM "
      "PROD_REPORT r JOIN PROD_REPORT_LANG rl ON rl.REPORT_ID = r.REPORT_ID AND rl.LANGID = 3 JOIN "
      "REPORT_RESOURCE "
      "rr ON rr.REPORT_ID = r.REPORT_ID JOIN PICTURE p ON p.RES_ID = rr.RES_ID JOIN PICTURE_LANG pl ON "
      "pl.RES_ID = "
      "p.RES_ID AND pl.LANGID = 3 WHERE r.PRODUCT_ID = '" +
      id + "' ORDER BY r.SORT, r.REPORT_ID, p.RES_ID");
  Json::Value rows(Json::arrayValue);
  Json::Value* report = nullptr;
  std::string current;
  while (sql.Step()) {
    std::string reportId = sql.Text(0);
    if (report == nullptr || reportId != current) {
      current = reportId;
      report = &rows.append(Json::Value(Json::objectValue));
      (*report)["REPORT_ID"] = reportId;
      (*report)["NAME"] = sql.Text(1);
      (*report)["DESC"] = sql.Text(2);
      (*report)["PICTURE"] = Json::Value(Json::arrayValue);
    }
    Json::Value& picture = (*report)["PICTURE"].append(Json::Value(Json::objectValue));
    picture["RES_ID"] = sql.Text(3);
    picture["PATH"] = sql.Text(4);
    picture["IMG"] = sql.Text(5);
    picture["NAME"] = sql.Text(6);
    picture["DESC"] = sql.Text(7);
    picture["TIPS"] = sql.Text(8);
  }
  return Styled(rows);
}

std::string ProductRequest(const std::string& id) {
  return "{\"PARAM\":{\"PRODUCT\":{\"PRODUCT_ID\":\"" + id + "\"}}}";
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::string root = qelbench::BenchRoot("productdetail");
  std::string error;
  qelbench::CatalogueLayout layout;
  const qelbench::DetailPlan detail;
  std::fprintf(stderr, "building the synthetic catalogue in %s\n", root.c_str());
  if (!qelbench::BuildInstallation(QEL_SCHEMA_DIR, root, &error) ||
      !qelbench::FillCatalogue(root, qelbench::CataloguePlan(), &layout, &error) ||
      !qelbench::FillProductDetail(root, layout, detail, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  g_db = qelbench::StartInstallation(root);
  if (g_db == nullptr) return 1;

  const std::string rich = qelbench::ProductId(qelbench::RichProductIndex(layout, detail));
  const std::string small = qelbench::ProductId(detail.detailEvery);
  const std::vector<qelbench::RatioPair> pairs = {
      {"0x430 detail head", 0x430, ProductRequest(rich), [rich] { return HeadBaseline(rich); }},
      {"0x430 detail head, small product", 0x430, ProductRequest(small),
       [small] { return HeadBaseline(small); }},
      {"0x423 parameter values, 20 models", 0x423, ProductRequest(rich),
       [rich] { return ParameterValuesBaseline(rich); }},
      {"0x414 reports with pictures, 10 of 11", 0x414, ProductRequest(rich),
       [rich] { return ReportsBaseline(rich); }},
  };

  const int result = qelbench::RunRatioPairs(pairs);
  // A folder whose replies differ is kept for a look.
  if (result == 1) return result;
  sqlite3_close(g_db);
  qelbench::RemoveBenchRoot(root);
  return result;
}
