#include "testsupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "qel/json.h"
#include "qel/text.h"

namespace fs = std::filesystem;

namespace qeltest {

std::string Gbk(const std::string& utf8) { return qel::Utf8ToGbk(utf8); }
std::string Utf8(const std::string& gbk) { return qel::GbkToUtf8(gbk); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  fs::path p(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

namespace {
// Longer than any lock a test's client holds on a loaded machine.
constexpr int kTestBusyWaitMs = 60000;
}  // namespace

void ExecSql(const std::string& dbPath, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(dbPath.c_str(), &db), SQLITE_OK) << dbPath;
  // A client's own threads may hold a short lock on the file (the usage
  // records' sender at its start): wait it out, as the libraries do.
  sqlite3_busy_timeout(db, kTestBusyWaitMs);
  char* err = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
  std::string message = err ? err : "";
  sqlite3_free(err);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << message << "\nin: " << dbPath << "\nSQL: " << sql;
}

void DamageTable(const std::string& dbPath, const std::string& table) {
  const int pageSize = std::stoi(QuerySql(dbPath, "PRAGMA page_size").at(0));
  const std::vector<std::string> roots =
      QuerySql(dbPath, "SELECT rootpage FROM sqlite_master WHERE tbl_name = '" + table + "'");
  ASSERT_FALSE(roots.empty()) << table;
  std::fstream file(dbPath, std::ios::in | std::ios::out | std::ios::binary);
  ASSERT_TRUE(file) << dbPath;
  const std::string garbage(static_cast<size_t>(pageSize), '\xFF');
  for (const std::string& root : roots) {
    file.seekp(static_cast<std::streamoff>(std::stoll(root) - 1) * pageSize);
    file.write(garbage.data(), pageSize);
  }
  ASSERT_TRUE(file.good()) << dbPath;
}

std::vector<std::string> QuerySql(const std::string& dbPath, const std::string& sql) {
  std::vector<std::string> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(dbPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    ADD_FAILURE() << "cannot open " << dbPath;
    return rows;
  }
  sqlite3_busy_timeout(db, kTestBusyWaitMs);
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sqlite3_errmsg(db) << "\nSQL: " << sql;
  } else {
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        if (i) row += "|";
        const unsigned char* text = sqlite3_column_text(stmt, i);
        row += text ? reinterpret_cast<const char*>(text) : "<null>";
      }
      rows.push_back(row);
    }
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rows;
}

std::vector<std::string> SchemaFiles(const std::string& database) {
  std::vector<std::string> files;
  fs::path dir = fs::path(QEL_SCHEMA_DIR) / database;
  if (fs::is_directory(dir)) {
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.path().extension() == ".sql") files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

Installation::Installation(const std::string& name, const std::string& version)
    : root_(TestDir() + "/" + name) {
  // Several installations in one process (a whole test binary run by hand)
  // each get a folder of their own.
  for (int n = 2; fs::exists(root_); ++n) root_ = TestDir() + "/" + name + "-" + std::to_string(n);
  fs::create_directories(root_ + "/data");
  for (const char* db : {"qel_data", "qel_exdata"}) {
    std::string path = root_ + "/data/" + db + ".db";
    ExecSql(path, "PRAGMA user_version = 1;");
    for (const auto& file : SchemaFiles(db)) ExecSql(path, ReadFile(file));
  }
  SetVersion(version);
}

void Installation::Main(const std::string& sql) const { ExecSql(dataDb(), sql); }
void Installation::Ex(const std::string& sql) const { ExecSql(exDb(), sql); }
std::vector<std::string> Installation::QueryMain(const std::string& sql) const {
  return QuerySql(dataDb(), sql);
}
std::vector<std::string> Installation::QueryEx(const std::string& sql) const { return QuerySql(exDb(), sql); }

void Installation::SetVersion(const std::string& firstLine) const {
  WriteFile(root_ + "/ver.qel", firstLine);
}

std::string Installation::StartupJson(const std::string& serverPath) const {
  Json::Value start(Json::objectValue);
  start["LOCAL_PATH"] = Gbk(root_);  // narrow texts handed to the bridge are GBK
  start["SERVER_PATH"] = serverPath;
  start["IP"] = "127.0.0.1";
  start["UA"] = "Windows";
  start["PLATFORM"] = "Linux";
  start["MAC"] = "00-11-22-33-44-55";
  return qel::WriteStyled(start);
}

}  // namespace qeltest
