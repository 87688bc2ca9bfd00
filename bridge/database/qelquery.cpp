#include "database/qelquery.h"

#include "database/qelinfoaccess.h"
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

namespace {

StorageRead<CursorPtr> NoDatasource() {
  return StorageRead<CursorPtr>{ReadState::kFailed, nullptr, "no datasource"};
}

}  // namespace

StorageRead<CursorPtr> RunQuery(IQELDatasource* datasource, IQELQueryDef* def) {
  if (datasource == nullptr) return NoDatasource();
  if (auto* source = dynamic_cast<qelDatasource*>(datasource)) return source->RunQuery(def);
  return QueryOf(datasource, def);
}

StorageRead<CursorPtr> RunQuery(IQELQueryDef* def) { return RunQuery(MainDatasource(), def); }

StorageRead<CursorPtr> RunSql(IQELDatasource* datasource, const std::string& sql,
                              const std::vector<std::string>& values) {
  auto* source = dynamic_cast<qelDatasource*>(datasource);
  return source != nullptr ? source->QuerySql(sql, values) : NoDatasource();
}

StorageRead<CursorPtr> RunSql(const std::string& sql, const std::vector<std::string>& values) {
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
  return own != nullptr && !own->Outcome().Found();
}

namespace {

// The first row of a cursor: kRead with the row, kNoRow, or the failed
// step's outcome.
StorageRead<Json::Value> FirstRow(IQELQueryCursor* cursor) {
  qelRecord record;
  if (!cursor->MoveNext()) {
    auto* own = dynamic_cast<qelQueryCursor*>(cursor);
    StorageRead<> outcome = own != nullptr ? own->Outcome() : StorageRead<>{ReadState::kRead};
    return outcome.Found() ? StorageRead<Json::Value>{ReadState::kNoRow} : outcome.With(Json::Value());
  }
  if (!cursor->GetRecord(&record)) return StorageRead<Json::Value>{ReadState::kNoRow};
  return ReadValue(std::move(record.GetJson()));
}

}  // namespace

StorageRead<Json::Value> QueryFirstRow(IQELDatasource* datasource, IQELQueryDef* def) {
  StorageRead<CursorPtr> query = RunQuery(datasource, def);
  return query.Found() ? FirstRow(query.value.get()) : query.With(Json::Value());
}

StorageRead<> QueryRows(IQELQueryDef* def, Json::Value* rows) {
  Json::Value found = rows->isArray() ? *rows : Json::Value(Json::arrayValue);
  StorageRead<> read = ForEachRow(def, [&found](Json::Value& row) { found.append(std::move(row)); });
  if (read.Ran()) *rows = std::move(found);
  return read;
}

StorageRead<> QueryColumn(IQELQueryDef* def, const char* column, std::vector<std::string>* values) {
  std::vector<std::string> found = *values;
  StorageRead<> read =
      ForEachRow(def, [column, &found](Json::Value& row) { found.push_back(StringMember(row, column)); });
  if (read.Ran()) *values = std::move(found);
  return read;
}

StorageRead<std::string> QueryValue(const std::string& sql, const std::vector<std::string>& values) {
  StorageRead<CursorPtr> query = RunSql(sql, values);
  if (!query.Found()) return query.With(std::string());
  StorageRead<Json::Value> row = FirstRow(query.value.get());
  if (!row.Found()) return row.With(std::string());
  if (!row.value.isObject() || row.value.empty()) return StorageRead<std::string>{ReadState::kNoRow};
  return ReadValue(ValueAsText(row.value[row.value.getMemberNames().front()]));
}

StorageRead<std::string> ReadFieldValue(IQELDatasource* datasource, const std::string& table,
                                        const std::string& field, const std::string& filter) {
  if (datasource == nullptr) return StorageRead<std::string>{ReadState::kFailed, {}, "no datasource"};
  if (auto* source = dynamic_cast<qelDatasource*>(datasource))
    return source->ReadFieldValue(table, field, filter);
  return FieldValueOf(datasource, table, field, filter);
}

StorageRead<int64_t> CountRows(IQELDatasource* datasource, const std::string& table,
                               const std::string& filter) {
  StorageRead<std::string> text = ReadFieldValue(datasource, table, "COUNT(*)", filter);
  if (!text.Found()) return text.With(int64_t{0});
  int64_t value = 0;
  if (ScanInteger(text.value, &value) != IntegerScan::kExact) {
    return StorageRead<int64_t>{ReadState::kFailed, 0, "the count is no integer: " + text.value};
  }
  return ReadValue(value);
}

StorageRead<int64_t> CountRows(const std::string& table, const std::string& filter) {
  return CountRows(MainDatasource(), table, filter);
}

StorageRead<int64_t> QueryCount(const std::string& table, const std::string& filter) {
  StorageRead<int64_t> count = CountRows(table, filter);
  if (!count.Found()) QEL_LOG_DIRECT("Queryscalar error");
  return count;
}

std::string CountText(const StorageRead<int64_t>& count) {
  return count.Found() ? Int64ToString(count.value) : std::string();
}

std::string RowsText(const Json::Value& rows) {
  if (rows.isNull() || (rows.isArray() && rows.empty())) return "[]";
  return WriteStyled(rows);
}

int RowsReply(IQELQueryDef* def, const char* failText, std::string* reply) {
  Json::Value rows(Json::arrayValue);
  if (!QueryRows(def, &rows).Ran()) {
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

std::string CountReply(const StorageRead<int64_t>& count) {
  if (!count.Found()) return "";
  Json::Value item(Json::objectValue);
  item["COUNT"] = Int64ToString(count.value);
  Json::Value rows(Json::arrayValue);
  rows.append(std::move(item));
  return RowsText(rows);
}

int CountResult(const StorageRead<int64_t>& count, std::string* reply) {
  if (!count.Found()) return 1;
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
