// Helpers shared by the tests.
#pragma once

#include <string>
#include <vector>

namespace qeltest {

// The process's own temporary folder (also its working directory).
const std::string& TestDir();

// GBK form of a UTF-8 literal, and back.
std::string Gbk(const std::string& utf8);
std::string Utf8(const std::string& gbk);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

// An installation folder built from the schema files under data/schema:
// data/qel_data.db, data/qel_exdata.db and ver.qel. Tests add their rows
// with Main()/Ex(); SQL is UTF-8, as SQLite stores it.
class Installation {
 public:
  explicit Installation(const std::string& name = "install", const std::string& version = "1");
  const std::string& root() const { return root_; }
  std::string dataDb() const { return root_ + "/data/qel_data.db"; }
  std::string exDb() const { return root_ + "/data/qel_exdata.db"; }

  // Runs SQL on the main or the second database; a failure fails the test.
  void Main(const std::string& sql) const;
  void Ex(const std::string& sql) const;
  // Rows of a query as text (NULL reads "<null>"), columns joined by "|".
  std::vector<std::string> QueryMain(const std::string& sql) const;
  std::vector<std::string> QueryEx(const std::string& sql) const;

  void SetVersion(const std::string& firstLine) const;
  // The start-up JSON for InitQelbridge with this folder as LOCAL_PATH.
  std::string StartupJson(const std::string& serverPath = "http://127.0.0.1:9/qelservice") const;

 private:
  std::string root_;
};

// Runs SQL on any database file (created when missing).
void ExecSql(const std::string& dbPath, const std::string& sql);
std::vector<std::string> QuerySql(const std::string& dbPath, const std::string& sql);
// Every byte of the pages of a table and of its indexes overwritten, the
// file header and schema left intact: the start attaches the file, and
// every statement that reads the table fails (SQLITE_CORRUPT).
void DamageTable(const std::string& dbPath, const std::string& table);
// Schema files of one database ("qel_data" or "qel_exdata"), in name order.
std::vector<std::string> SchemaFiles(const std::string& database);

}  // namespace qeltest
