// The datasource over one SQLite database file.
#pragma once

#include <memory>
#include <string>

#include "database/qeldatasource.h"

namespace qel {
namespace dataspace {

class qelSqlite;

class qelDatasourceSqlite : public qelDatasource {
 public:
  // Nothing is opened yet.
  explicit qelDatasourceSqlite(const std::string& path);
  ~qelDatasourceSqlite() override;
  qelDatasourceSqlite(const qelDatasourceSqlite&) = delete;
  qelDatasourceSqlite& operator=(const qelDatasourceSqlite&) = delete;

  bool Open() override;
  void Close() override;
  bool IsOpen() override;
  bool AddRecord(const std::string& table, IQELRecord* rec) override;
  bool AddRecords(const std::string& table, IQELRecord* rec) override;
  bool DeleteRecord(const std::string& table, IQELRecord* rec) override;
  bool DeleteRecords(const std::string& table, IQELRecord* rec) override;
  bool ExecDelete(const std::string& table, const std::string& filter, int* changes) override;
  bool UpdateRecord(const std::string& table, IQELRecord* rec) override;
  bool Query(IQELQueryDef* def, IQELQueryCursor** cursor) override;
  bool Reserved10(void* unused1, void* unused2) override;
  bool Reserved11(void* unused1, void* unused2) override;
  bool BeginTransaction() override;
  bool InTransaction() override;
  bool Commit() override;
  bool Rollback() override;
  int GetFieldValue(const std::string& table, const std::string& field, const std::string& filter,
                    std::string* value) override;
  int GetRememberUser(std::string* uid) override;
  bool ClearTable(const std::string& table) override;
  StorageRead<CursorPtr> RunQuery(IQELQueryDef* def) override;
  StorageRead<CursorPtr> QuerySql(const std::string& sql, const std::vector<std::string>& values) override;
  bool ExecSql(const std::string& sql, const std::vector<std::string>& values, int* changes) override;
  StorageRead<std::string> ReadFieldValue(const std::string& table, const std::string& field,
                                          const std::string& filter) override;
  std::recursive_mutex& WriterMutex() override;

  // Attaches another existing database file under alias; its tables are
  // then visible without a prefix. A missing file is refused. failure, when
  // given, gets SQLite's message when the statement fails.
  bool AttachExDB(const std::string& path, const std::string& alias, std::string* failure = nullptr);

  // Statements not finalized yet (see qelSqlite::PendingStatements).
  int PendingStatements();

  // The SELECT text Query runs for def ("" for a definition without tables).
  static std::string BuildSelectSql(IQELQueryDef* def);

 private:
  std::unique_ptr<qelSqlite> m_sqlite;
};

}  // namespace dataspace
}  // namespace qel
