#include "database/qelquery.h"

#include <sqlite3.h>

#include "database/qelinfoaccess.h"
#include "database/sqlite/qelsqlite.h"
#include "database/qelsqltext.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {

namespace {
thread_local IQELDatasource* t_mainOverride = nullptr;
}  // namespace

IQELDatasource* MainDatasource() {
  if (t_mainOverride != nullptr) return t_mainOverride;
  return qelInfoAccess::GetInstance()->GetDatasource();
}

ScopedMainDatasource::ScopedMainDatasource(IQELDatasource* datasource) : previous_(t_mainOverride) {
  t_mainOverride = datasource;
}

ScopedMainDatasource::~ScopedMainDatasource() { t_mainOverride = previous_; }

CursorPtr RunQuery(IQELDatasource* datasource, IQELQueryDef* def) {
  if (datasource == nullptr) return nullptr;
  IQELQueryCursor* raw = nullptr;
  bool ok = datasource->Query(def, &raw);
  CursorPtr cursor(raw);
  if (!ok) return nullptr;
  return cursor;
}

CursorPtr RunQuery(IQELQueryDef* def) { return RunQuery(MainDatasource(), def); }

CursorPtr RunSql(IQELDatasource* datasource, const std::string& sql, const std::vector<std::string>& values) {
  auto* source = dynamic_cast<qelDatasource*>(datasource);
  return source != nullptr ? source->QuerySql(sql, values) : nullptr;
}

CursorPtr RunSql(const std::string& sql, const std::vector<std::string>& values) {
  return RunSql(MainDatasource(), sql, values);
}

bool ExecSql(IQELDatasource* datasource, const std::string& sql, const std::vector<std::string>& values,
             int* changes) {
  auto* source = dynamic_cast<qelDatasource*>(datasource);
  return source != nullptr && source->ExecSql(sql, values, changes);
}

bool ExecSql(const std::string& sql, const std::vector<std::string>& values, int* changes) {
  return ExecSql(MainDatasource(), sql, values, changes);
}

bool CursorFailed(IQELQueryCursor* cursor) {
  auto* own = dynamic_cast<qelQueryCursor*>(cursor);
  return own != nullptr && own->Failed();
}

bool LastFailureIsSqlError() { return (qelSqlite::LastFailure() & 0xFF) == SQLITE_ERROR; }

namespace {

// The first row of a cursor: 1 with *row set, 0 when there is none, -1
// when the step failed.
int FirstRow(IQELQueryCursor* cursor, Json::Value* row) {
  qelRecord record;
  if (!cursor->MoveNext()) return CursorFailed(cursor) ? -1 : 0;
  if (!cursor->GetRecord(&record)) return 0;
  if (row != nullptr) *row = std::move(record.GetJson());
  return 1;
}

}  // namespace

int QueryFirstRow(IQELDatasource* datasource, IQELQueryDef* def, Json::Value* row) {
  CursorPtr cursor = RunQuery(datasource, def);
  return cursor ? FirstRow(cursor.get(), row) : -1;
}

bool QueryRows(IQELQueryDef* def, Json::Value* rows) {
  Json::Value found = rows->isArray() ? *rows : Json::Value(Json::arrayValue);
  if (!ForEachRow(def, [&found](Json::Value& row) { found.append(std::move(row)); })) return false;
  *rows = std::move(found);
  return true;
}

bool QueryColumn(IQELQueryDef* def, const char* column, std::vector<std::string>* values) {
  std::vector<std::string> found = *values;
  if (!ForEachRow(def, [column, &found](Json::Value& row) { found.push_back(StringMember(row, column)); })) {
    return false;
  }
  *values = std::move(found);
  return true;
}

bool QueryValue(const std::string& sql, const std::vector<std::string>& values, std::string* value) {
  CursorPtr cursor = RunSql(sql, values);
  Json::Value object;
  if (!cursor || FirstRow(cursor.get(), &object) != 1) return false;
  if (!object.isObject() || object.empty()) return false;
  if (value != nullptr) *value = ValueAsText(object[object.getMemberNames().front()]);
  return true;
}

FieldRead ReadFieldValue(IQELDatasource* datasource, const std::string& table, const std::string& field,
                         const std::string& filter, std::string* value) {
  if (datasource == nullptr) {
    qelSqlite::NoteFailure(SQLITE_CANTOPEN);
    return FieldRead::kFailed;
  }
  if (auto* source = dynamic_cast<qelDatasource*>(datasource)) {
    return source->ReadFieldValue(table, field, filter, value);
  }
  return datasource->GetFieldValue(table, field, filter, value) == 0 ? FieldRead::kFound : FieldRead::kNoRow;
}

FieldRead ReadOptionalFieldValue(IQELDatasource* datasource, const std::string& table,
                                 const std::string& field, const std::string& filter, std::string* value) {
  const FieldRead read = ReadFieldValue(datasource, table, field, filter, value);
  return read == FieldRead::kFailed && LastFailureIsSqlError() ? FieldRead::kNoRow : read;
}

bool CountRows(IQELDatasource* datasource, const std::string& table, const std::string& filter,
               int64_t* count) {
  std::string text;
  int64_t value = 0;
  if (ReadFieldValue(datasource, table, "COUNT(*)", filter, &text) != FieldRead::kFound ||
      ScanInteger(text, &value) != IntegerScan::kExact) {
    return false;
  }
  *count = value;
  return true;
}

bool CountRows(const std::string& table, const std::string& filter, int64_t* count) {
  return CountRows(MainDatasource(), table, filter, count);
}

std::string QueryCount(const std::string& table, const std::string& filter) {
  int64_t count = 0;
  if (!CountRows(table, filter, &count)) {
    QEL_LOG_DIRECT("Queryscalar error");
    return "";
  }
  return Int64ToString(count);
}

std::string RowsText(const Json::Value& rows) {
  if (rows.isNull() || (rows.isArray() && rows.empty())) return "[]";
  return WriteStyled(rows);
}

int RowsReply(IQELQueryDef* def, const char* failText, std::string* reply) {
  Json::Value rows(Json::arrayValue);
  if (!QueryRows(def, &rows)) {
    if (failText != nullptr) QEL_LOG_DIRECT(failText);
    return 1;
  }
  if (reply != nullptr) *reply = RowsText(rows);
  return 0;
}

int PageReply(IQELQueryDef* def, int limit, int offset, const char* failText, std::string* reply) {
  def->SetLimit(limit);
  def->SetOffset(offset);
  return RowsReply(def, failText, reply);
}

std::string CountReply(const std::string& count) {
  if (count.empty()) return "";
  Json::Value item(Json::objectValue);
  item["COUNT"] = count;
  Json::Value rows(Json::arrayValue);
  rows.append(std::move(item));
  return RowsText(rows);
}

int CountResult(const std::string& count, std::string* reply) {
  if (count.empty()) return 1;
  if (reply != nullptr) *reply = CountReply(count);
  return 0;
}

std::string JoinQuoted(const std::vector<std::string>& values) {
  std::string list;
  for (const std::string& value : values) {
    if (!list.empty()) list += ",";
    list += QuoteSqlText(value);
  }
  return list;
}

}  // namespace dataspace
}  // namespace qel
