// The interface through which everything reads and writes the local
// database. SQL texts and values are GBK.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "database/qelquerycursor.h"
#include "database/qelquerydef.h"
#include "database/qelread.h"
#include "database/qelrecord.h"

namespace qel {
namespace dataspace {

class IQELDatasource {
 public:
  virtual ~IQELDatasource() = default;

  virtual bool Open() = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() = 0;
  // rec holds one row object as element 0; its members are bound.
  virtual bool AddRecord(const std::string& table, IQELRecord* rec) = 0;
  virtual bool AddRecords(const std::string& table, IQELRecord* rec) = 0;  // always false
  // Deletes the rows equal to every non-null member of element 0 (bound).
  virtual bool DeleteRecord(const std::string& table, IQELRecord* rec) = 0;
  virtual bool DeleteRecords(const std::string& table, IQELRecord* rec) = 0;  // always false
  // DELETE with an optional WHERE text; *changes gets the count of rows.
  virtual bool ExecDelete(const std::string& table, const std::string& filter, int* changes) = 0;
  // Element 0's members become "name = ?" assignments; its member
  // "UPFILTER" is the WHERE text (empty: every row).
  virtual bool UpdateRecord(const std::string& table, IQELRecord* rec) = 0;
  // False when the definition is empty, the database closed or the SQL
  // fails to prepare. The caller deletes the cursor.
  virtual bool Query(IQELQueryDef* def, IQELQueryCursor** cursor) = 0;
  virtual bool Reserved10(void* unused1, void* unused2) = 0;  // always false
  virtual bool Reserved11(void* unused1, void* unused2) = 0;  // always false
  virtual bool BeginTransaction() = 0;
  virtual bool InTransaction() = 0;
  virtual bool Commit() = 0;
  virtual bool Rollback() = 0;
  // Column 0 of the first row: 0 found (*value set, NULL as ""),
  // 1 not found or failed (*value unchanged).
  virtual int GetFieldValue(const std::string& table, const std::string& field, const std::string& filter,
                            std::string* value) = 0;
  // UID of the USERINFO row with REMEMBER = 1; as GetFieldValue.
  virtual int GetRememberUser(std::string* uid) = 0;
  virtual bool ClearTable(const std::string& table) = 0;
};

// Query and GetFieldValue of a datasource without SQL as reads: a query
// that does not run is kFailed, a value not found kNoRow.
inline StorageRead<CursorPtr> QueryOf(IQELDatasource* datasource, IQELQueryDef* def) {
  IQELQueryCursor* raw = nullptr;
  const bool ok = datasource->Query(def, &raw);
  CursorPtr cursor(raw);
  if (!ok) return StorageRead<CursorPtr>{ReadState::kFailed, nullptr, "the query failed"};
  return ReadValue(std::move(cursor));
}
inline StorageRead<std::string> FieldValueOf(IQELDatasource* datasource, const std::string& table,
                                             const std::string& field, const std::string& filter) {
  std::string value;
  if (datasource->GetFieldValue(table, field, filter, &value) != 0) {
    return StorageRead<std::string>{ReadState::kNoRow};
  }
  return ReadValue(std::move(value));
}

// What the storage layer adds to the interface: reads that report what
// they found (StorageRead: a failed read, a missing table and no row told
// apart), SQL texts with bound values, and the writer lock that
// transactions hold (qelTransaction).
// Reached through the helpers of database/qelquery.h. The defaults suit a
// datasource without SQL (a stand-in): its Query and GetFieldValue, no
// statement, a lock of its own.
class qelDatasource : public IQELDatasource {
 public:
  // Query with its outcome: the cursor (kRead), or kMissing or kFailed with
  // the engine's message when the definition cannot run.
  virtual StorageRead<CursorPtr> RunQuery(IQELQueryDef* def) { return QueryOf(this, def); }
  // Prepares sql and binds values to its "?" marks in order; the cursor
  // owns the statement. kMissing or kFailed when the database is closed or
  // the SQL does not prepare.
  virtual StorageRead<CursorPtr> QuerySql(const std::string& /*sql*/,
                                          const std::vector<std::string>& /*values*/) {
    return StorageRead<CursorPtr>{ReadState::kFailed, nullptr, "no SQL on this datasource"};
  }
  // Runs one statement with bound values to its end; *changes (when given)
  // gets its changed-row count, read under the writer lock. False when it
  // does not prepare or fails.
  virtual bool ExecSql(const std::string& /*sql*/, const std::vector<std::string>& /*values*/,
                       int* /*changes*/) {
    return false;
  }
  // GetFieldValue that tells a failed statement and a missing table from
  // a missing row.
  virtual StorageRead<std::string> ReadFieldValue(const std::string& table, const std::string& field,
                                                  const std::string& filter) {
    return FieldValueOf(this, table, field, filter);
  }
  // The connection's writer lock (see qelSqlite::WriterMutex).
  virtual std::recursive_mutex& WriterMutex() { return m_ownWriter; }

 private:
  std::recursive_mutex m_ownWriter;
};

}  // namespace dataspace
}  // namespace qel
