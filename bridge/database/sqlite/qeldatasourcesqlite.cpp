#include "database/sqlite/qeldatasourcesqlite.h"

#include <sqlite3.h>

#include <vector>

#include "database/sqlite/qelquerycursorsqlite.h"
#include "database/sqlite/qelsqlite.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {

namespace {

const char kAddRecordFun[] = "qel::dataspace::qelDatasourceSqlite::AddRecord";
const char kUpdateRecordFun[] = "qel::dataspace::qelDatasourceSqlite::UpdateRecord";
const char kAttachFun[] = "qel::dataspace::qelDatasourceSqlite::AttachExDB";

// The row object a write operation works on: element 0 of the record's
// array, or null when the record holds no usable row.
const Json::Value* FirstRow(IQELRecord* rec) {
  if (!rec) return nullptr;
  const Json::Value& row = qel::Element(rec->GetJson(), 0);
  if (!row.isObject() || row.empty()) return nullptr;
  return &row;
}

// A column name between backquotes, a backquote inside doubled.
std::string BackquoteName(const std::string& name) {
  std::string quoted = "`";
  for (char c : name) {
    if (c == '`') quoted += '`';
    quoted += c;
  }
  return quoted + "`";
}

std::string LimitText(IQELQueryDef* def) {
  return " LIMIT " + std::to_string(def->GetLimit()) + " OFFSET " + std::to_string(def->GetOffset());
}

}  // namespace

qelDatasourceSqlite::qelDatasourceSqlite(const std::string& path) {
  QEL_LOG("qel::dataspace::qelDatasourceSqlite::qelDatasourceSqlite", "new a qelSqlite！");
  m_sqlite.reset(new qelSqlite(path));
}

qelDatasourceSqlite::~qelDatasourceSqlite() = default;

bool qelDatasourceSqlite::Open() { return m_sqlite->Open(); }

void qelDatasourceSqlite::Close() { m_sqlite->Close(); }

bool qelDatasourceSqlite::IsOpen() { return m_sqlite->IsOpen(); }

int qelDatasourceSqlite::PendingStatements() { return m_sqlite->PendingStatements(); }

bool qelDatasourceSqlite::AddRecord(const std::string& table, IQELRecord* rec) {
  const Json::Value* row = FirstRow(rec);
  if (!row) {
    QEL_LOG(kAddRecordFun, " param is null");
    return false;
  }
  const Json::Value::Members names = row->getMemberNames();
  std::string columns;
  std::string marks;
  for (const std::string& name : names) {
    if (!columns.empty()) {
      columns += ",";
      marks += ",";
    }
    columns += BackquoteName(name);
    marks += "?";
  }
  const std::string sql = "INSERT INTO " + table + "(" + columns + ") VALUES(" + marks + ")";
  ScopedStatement stmt(m_sqlite.get());
  if (stmt.Prepare(sql) != QEL_SQLITE_SUCCESS) {
    QEL_LOG_DIRECT("Add record error.prepare SQL : " + sql + "  . SQLITE Error Code : " +
                   std::to_string(m_sqlite->ErrorCode()) + " . Msg: " + m_sqlite->ErrorMessage());
    return false;
  }
  int index = 1;
  for (const std::string& name : names) {
    const Json::Value& value = (*row)[name];
    if (value.isNull()) QEL_LOG_DIRECT("Field [" + name + "] has no value");
    m_sqlite->BindText(stmt.get(), index++, value.isNull() ? std::string() : qel::ValueAsText(value));
  }
  if (m_sqlite->ExecStep(stmt.get()) != QEL_SQLITE_DONE) {
    QEL_LOG_DIRECT("Add record error. step SQL: " + sql + " . SQLITE Error Code : " +
                   std::to_string(m_sqlite->ErrorCode()) + " . errmsg: " + m_sqlite->ErrorMessage());
    return false;
  }
  return true;
}

bool qelDatasourceSqlite::AddRecords(const std::string&, IQELRecord*) { return false; }

bool qelDatasourceSqlite::DeleteRecord(const std::string& table, IQELRecord* rec) {
  const Json::Value* row = FirstRow(rec);
  if (!row) {
    QEL_LOG_DIRECT("record is null");
    return false;
  }
  // Values are bound, so a quote in a value is just a character.
  std::string conditions;
  std::vector<std::string> values;
  for (const std::string& name : row->getMemberNames()) {
    const Json::Value& value = (*row)[name];
    if (value.isNull()) continue;
    if (!conditions.empty()) conditions += " AND ";
    conditions += name + "=?";
    values.push_back(qel::ValueAsText(value));
  }
  if (conditions.empty()) {
    QEL_LOG_DIRECT("Can delete from database. filter is empty");
    return false;
  }
  ScopedStatement stmt(m_sqlite.get());
  if (stmt.Prepare("DELETE FROM " + table + " WHERE " + conditions) != QEL_SQLITE_SUCCESS) return false;
  for (size_t i = 0; i < values.size(); ++i)
    m_sqlite->BindText(stmt.get(), static_cast<int>(i + 1), values[i]);
  return m_sqlite->ExecStep(stmt.get()) == QEL_SQLITE_DONE;
}

bool qelDatasourceSqlite::DeleteRecords(const std::string&, IQELRecord*) { return false; }

bool qelDatasourceSqlite::ExecDelete(const std::string& table, const std::string& filter, int* changes) {
  std::string sql = "DELETE FROM [" + table + "]";
  if (!filter.empty()) sql += " WHERE " + filter;
  ScopedStatement stmt(m_sqlite.get());
  if (stmt.Prepare(sql) != QEL_SQLITE_SUCCESS) return false;
  int changed = 0;
  int rc = m_sqlite->ExecStep(stmt.get(), &changed);
  if (rc != QEL_SQLITE_ROW && rc != QEL_SQLITE_DONE) return false;
  if (changes) *changes = changed;
  return true;
}

bool qelDatasourceSqlite::UpdateRecord(const std::string& table, IQELRecord* rec) {
  const Json::Value* row = FirstRow(rec);
  if (!row) {
    QEL_LOG_DIRECT("record is null");
    return false;
  }
  std::string assignments;
  std::vector<std::string> values;
  for (const std::string& name : row->getMemberNames()) {
    if (name == "UPFILTER") continue;
    assignments += assignments.empty() ? name + " = ?" : "," + name + "=?";
    values.push_back(qel::ValueAsText((*row)[name]));
  }
  const std::string filter = qel::ValueAsText((*row)["UPFILTER"]);
  std::string sql = "UPDATE " + table + " SET " + assignments;
  if (!filter.empty()) sql += " WHERE " + filter;

  ScopedStatement stmt(m_sqlite.get());
  if (stmt.Prepare(sql) != QEL_SQLITE_SUCCESS) {
    QEL_LOG_DIRECT("Updata record error");
    return false;
  }
  QEL_LOG(kUpdateRecordFun, "UTF8TRANS");
  for (size_t i = 0; i < values.size(); ++i) {
    const std::string utf8 = qel::GbkToUtf8(values[i]);
    QEL_LOG(kUpdateRecordFun, "Bind TRANS");
    QEL_LOG(kUpdateRecordFun, values[i]);
    QEL_LOG(kUpdateRecordFun, utf8);
    int index = static_cast<int>(i + 1);
    if (m_sqlite->BindUtf8Text(stmt.get(), index, utf8) != 0) {
      QEL_LOG_DIRECT("sqlite3 bind text error. No.:" + std::to_string(index) +
                     " Msg:" + m_sqlite->ErrorMessage());
    }
  }
  QEL_LOG(kUpdateRecordFun, "UTF8TRANSOK");
  QEL_LOG(kUpdateRecordFun, "ExecStepBEGIN");
  int step = m_sqlite->ExecStep(stmt.get());
  QEL_LOG(kUpdateRecordFun, "ExecStepEND");
  QEL_LOG(kUpdateRecordFun, std::to_string(step));
  QEL_LOG(kUpdateRecordFun, "ExecFinalizeBEGIN");
  QEL_LOG(kUpdateRecordFun, std::to_string(step));
  int finalize = stmt.Finalize();
  QEL_LOG(kUpdateRecordFun, "ExecFinalizeEND");
  QEL_LOG(kUpdateRecordFun, std::to_string(finalize));
  if (step != QEL_SQLITE_DONE || finalize != QEL_SQLITE_SUCCESS) {
    QEL_LOG_DIRECT("update Record error");
    return false;
  }
  return true;
}

std::string qelDatasourceSqlite::BuildSelectSql(IQELQueryDef* def) {
  if (!def || def->TableCount() <= 0) return "";
  const int tables = def->TableCount();
  const std::string filter = def->GetFilter();
  const std::string orderBy = def->GetOrderBy();
  std::string sql = "SELECT ";
  if (tables == 1) {
    const std::string table = def->GetTable(0);
    const int fields = def->FieldCount(table);
    if (fields <= 0) {
      sql += "*";
    } else {
      for (int i = 0; i < fields; ++i) {
        const std::string field = def->GetField(table, static_cast<unsigned>(i));
        if (i > 0) sql += ",";
        sql += field;
        // An aggregate written in lower case closes the list.
        if (field.compare(0, 6, "count(") == 0) break;
      }
    }
    sql += " FROM '" + table + "'";
    if (!filter.empty()) sql += " WHERE " + filter;
    if (!orderBy.empty()) sql += " ORDER BY " + orderBy;
    sql += LimitText(def);
    return sql;
  }

  std::string from = " FROM ";
  bool wroteFields = false;
  for (int k = 0; k < tables; ++k) {
    const std::string table = def->GetTable(static_cast<unsigned>(k));
    const std::string alias = "t" + std::to_string(k + 1);
    from += table + " " + alias;
    if (k < tables - 1) from += ",";
    from += " ";

    const int fields = def->FieldCount(table);
    if (fields <= 0) continue;
    if (wroteFields) sql += ",";
    for (int i = 0; i < fields; ++i) {
      const std::string field = def->GetField(table, static_cast<unsigned>(i));
      if (field.compare(0, 8, "COUNT(*)") != 0 && field.compare(0, 8, "count(*)") != 0) sql += alias + ".";
      sql += field;
      if (i < fields - 1) sql += ",";
      sql += " ";
    }
    wroteFields = true;
  }
  sql += from;
  if (!filter.empty()) sql += " WHERE " + filter;
  if (!orderBy.empty()) sql += " ORDER BY " + orderBy;
  sql += LimitText(def) + " ";
  return sql;
}

bool qelDatasourceSqlite::Query(IQELQueryDef* def, IQELQueryCursor** cursor) {
  if (!cursor) return false;
  StorageRead<CursorPtr> read = RunQuery(def);
  *cursor = read.value.release();
  return *cursor != nullptr;
}

StorageRead<CursorPtr> qelDatasourceSqlite::RunQuery(IQELQueryDef* def) {
  if (!def || def->TableCount() <= 0) {
    return StorageRead<CursorPtr>{ReadState::kFailed, nullptr, "the query names no table"};
  }
  if (!IsOpen()) return qelSqlite::ClosedRead().With(CursorPtr());
  ScopedStatement stmt(m_sqlite.get());
  StorageRead<> failure;
  if (stmt.Prepare(BuildSelectSql(def), &failure) != QEL_SQLITE_SUCCESS) return failure.With(CursorPtr());
  return ReadValue<CursorPtr>(std::make_unique<qelQueryCursorSqlite>(std::move(stmt)));
}

StorageRead<CursorPtr> qelDatasourceSqlite::QuerySql(const std::string& sql,
                                                     const std::vector<std::string>& values) {
  if (sql.empty()) return StorageRead<CursorPtr>{ReadState::kFailed, nullptr, "no SQL text"};
  if (!IsOpen()) return qelSqlite::ClosedRead().With(CursorPtr());
  ScopedStatement stmt(m_sqlite.get());
  StorageRead<> failure;
  if (stmt.Prepare(sql, &failure) != QEL_SQLITE_SUCCESS) return failure.With(CursorPtr());
  for (size_t i = 0; i < values.size(); ++i)
    m_sqlite->BindText(stmt.get(), static_cast<int>(i + 1), values[i]);
  return ReadValue<CursorPtr>(std::make_unique<qelQueryCursorSqlite>(std::move(stmt)));
}

bool qelDatasourceSqlite::ExecSql(const std::string& sql, const std::vector<std::string>& values,
                                  int* changes) {
  if (sql.empty() || !IsOpen()) return false;
  ScopedStatement stmt(m_sqlite.get());
  if (stmt.Prepare(sql) != QEL_SQLITE_SUCCESS) return false;
  for (size_t i = 0; i < values.size(); ++i)
    m_sqlite->BindText(stmt.get(), static_cast<int>(i + 1), values[i]);
  int changed = 0;
  int rc = m_sqlite->ExecStep(stmt.get(), &changed);
  // A statement that returns rows (a PRAGMA, say) counts as run.
  if (rc != QEL_SQLITE_ROW && rc != QEL_SQLITE_DONE) return false;
  if (changes) *changes = changed;
  return true;
}

std::recursive_mutex& qelDatasourceSqlite::WriterMutex() { return m_sqlite->WriterMutex(); }

bool qelDatasourceSqlite::Reserved10(void*, void*) { return false; }

bool qelDatasourceSqlite::Reserved11(void*, void*) { return false; }

bool qelDatasourceSqlite::BeginTransaction() { return m_sqlite->BeginTransaction(); }

bool qelDatasourceSqlite::InTransaction() { return m_sqlite->InTransaction(); }

bool qelDatasourceSqlite::Commit() { return m_sqlite->Commit(); }

bool qelDatasourceSqlite::Rollback() { return m_sqlite->Rollback(); }

int qelDatasourceSqlite::GetFieldValue(const std::string& table, const std::string& field,
                                       const std::string& filter, std::string* value) {
  StorageRead<std::string> read = ReadFieldValue(table, field, filter);
  if (!read.Found()) return 1;
  if (value) *value = std::move(read.value);
  return 0;
}

StorageRead<std::string> qelDatasourceSqlite::ReadFieldValue(const std::string& table,
                                                             const std::string& field,
                                                             const std::string& filter) {
  if (!m_sqlite || !m_sqlite->IsOpen()) {
    QEL_LOG_DIRECT("Database error");
    return qelSqlite::ClosedRead().With(std::string());
  }
  std::string sql = " SELECT  " + field + " FROM " + table;
  if (!filter.empty()) sql += " WHERE " + filter;
  ScopedStatement stmt(m_sqlite.get());
  StorageRead<> outcome;
  if (stmt.Prepare(sql, &outcome) != QEL_SQLITE_SUCCESS) return outcome.With(std::string());
  const int rc = m_sqlite->ExecStep(stmt.get(), nullptr, &outcome);
  if (rc == QEL_SQLITE_DONE) return StorageRead<std::string>{ReadState::kNoRow};
  if (rc != QEL_SQLITE_ROW) return outcome.With(std::string());
  std::string text;
  m_sqlite->ColumnText(stmt.get(), &text, 0);
  return ReadValue(std::move(text));
}

int qelDatasourceSqlite::GetRememberUser(std::string* uid) {
  return GetFieldValue("USERINFO", "UID", "REMEMBER = 1", uid);
}

bool qelDatasourceSqlite::ClearTable(const std::string& table) {
  ScopedStatement stmt(m_sqlite.get());
  if (stmt.Prepare("DELETE FROM [" + table + "]") != QEL_SQLITE_SUCCESS) return false;
  int rc = m_sqlite->ExecStep(stmt.get());
  return rc == QEL_SQLITE_ROW || rc == QEL_SQLITE_DONE;
}

bool qelDatasourceSqlite::AttachExDB(const std::string& path, const std::string& alias,
                                     std::string* failure) {
  if (!IsOpen()) {
    QEL_LOG(kAttachFun, "Database is not open");
    return false;
  }
  if (path.empty()) {
    QEL_LOG(kAttachFun, "strDBPath is empty");
    return false;
  }
  // ATTACH would create a missing file; only an existing database is taken.
  if (!IsExistingDatabaseFile(path)) {
    QEL_LOG(kAttachFun, "Database: " + path + " not exists");
    return false;
  }
  ScopedStatement stmt(m_sqlite.get());
  bool attached = stmt.Prepare("ATTACH DATABASE ? AS [" + alias + "]") == QEL_SQLITE_SUCCESS;
  if (attached) {
    // The path is bound (a "]" or quote in it is harmless) in its UTF-8 form.
    m_sqlite->BindUtf8Text(stmt.get(), 1, qel::NativePath(path));
    attached = m_sqlite->ExecStep(stmt.get()) == QEL_SQLITE_DONE;
  }
  if (!attached && failure) *failure = m_sqlite->ErrorMessage();
  return attached;
}

}  // namespace dataspace
}  // namespace qel
