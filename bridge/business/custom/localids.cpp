#include "business/custom/localids.h"

#include <limits>
#include <utility>

#include <json/json.h>

#include "business/qelbusinesshelper.h"
#include "business/qelmethodtable.h"
#include "database/qeldatasource.h"
#include "database/qelquery.h"
#include "database/qelrecord.h"
#include "database/qelsqltext.h"
#include "database/qeltransaction.h"
#include "errorcodehelper.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {
namespace custom {
namespace {

std::string IdCondition(const std::string& idColumn, const std::string& id) {
  return idColumn + " = " + QuoteSqlText(id);
}

// MIN or MAX of the ids as integers; "" for an empty table.
bool IdBound(IQELDatasource* datasource, const std::string& table, const std::string& idColumn,
             const char* function, std::string* text) {
  return datasource != nullptr &&
         datasource->GetFieldValue(table, std::string(function) + "(CAST(" + idColumn + " AS INTEGER))", "",
                                   text) == 0;
}

bool Renumber(IQELDatasource* datasource, const std::string& table, const std::string& idColumn,
              const std::string& from, const std::string& to) {
  if (datasource == nullptr) return false;
  Json::Value row(Json::objectValue);
  row[idColumn] = to;
  row["UPFILTER"] = IdCondition(idColumn, from);
  qelRecord record;
  record.Append(row);
  return datasource->UpdateRecord(table, &record);
}

}  // namespace

bool ReadRequest(const MethodRequest& request, const char* table, const char* idColumn,
                 const char* formatErrorText, Members* members) {
  if (!request.parsed) {
    QEL_LOG_DIRECT(formatErrorText);
    return false;
  }
  if (JsonObjectToMap(qel::ObjectMember(qel::ObjectMember(request.root, "PARAM"), table), members) != 0 ||
      !qel::IsKeyText(Get(*members, idColumn)) || !qel::IsKeyText(Get(*members, "PRODUCT_ID"))) {
    QEL_LOG_DIRECT("Can not get params from json in");
    return false;
  }
  return true;
}

std::string Get(const Members& members, const char* name) {
  auto it = members.find(name);
  return it != members.end() ? it->second : std::string();
}

Json::Value UnsentRow(const std::string& uid, const Members& members, const char* const* names,
                      size_t count) {
  Json::Value row(Json::objectValue);
  for (size_t i = 0; i < count; ++i) row[names[i]] = Get(members, names[i]);
  row["SENTSTATUS"] = "2";
  row["ITYPE"] = "1";
  row["USERID"] = uid;
  return row;
}

bool CountStoredId(IQELDatasource* datasource, const std::string& table, const std::string& idColumn,
                   const std::string& id, int64_t* count) {
  const StorageRead<int64_t> read = CountRows(datasource, table, IdCondition(idColumn, id));
  if (read.Found()) *count = read.value;
  return read.Found();
}

bool StoreUnsent(IQELDatasource* datasource, const std::string& table, const std::string& idColumn,
                 Json::Value row, std::string* id) {
  // The smallest id and the insert go together: two rows stored at once
  // never share an id.
  qelTransaction transaction(datasource);
  std::string text;
  if (!transaction.Active() || !IdBound(datasource, table, idColumn, "MIN", &text)) return false;
  int64_t smallest = qel::StringToInt64(text);
  if (smallest == std::numeric_limits<int64_t>::min()) return false;
  if (smallest >= 0) smallest = -1;
  const std::string localId = qel::Int64ToString(smallest - 1);
  row[idColumn] = localId;
  qelRecord record;
  record.Append(row);
  if (!datasource->AddRecord(table, &record) || !transaction.Commit()) return false;
  *id = localId;
  return true;
}

bool StoreUnderId(IQELDatasource* datasource, const std::string& table, const std::string& idColumn,
                  Json::Value row, const std::string& id) {
  if (datasource == nullptr) return false;
  row[idColumn] = id;
  qelRecord record;
  record.Append(row);
  return datasource->AddRecord(table, &record);
}

bool StoreRequest(IQELDatasource* datasource, const std::string& table, const std::string& idColumn,
                  Json::Value row, const std::string& id, std::string* localId) {
  if (qel::StringToInt64(id) < 1) return StoreUnsent(datasource, table, idColumn, std::move(row), localId);
  return StoreUnderId(datasource, table, idColumn, std::move(row), id);
}

bool MarkSent(IQELDatasource* datasource, const std::string& table, const std::string& idColumn,
              const std::string& from) {
  qelTransaction transaction(datasource);
  if (!transaction.Active()) return false;
  std::string text;
  int64_t largest = 1;
  if (IdBound(datasource, table, idColumn, "MAX", &text)) largest = qel::StringToInt64(text);
  if (largest < 1) largest = 1;
  if (largest == std::numeric_limits<int64_t>::max()) return false;
  return Renumber(datasource, table, idColumn, from, qel::Int64ToString(largest + 1)) && transaction.Commit();
}

int NotTaken(int result, const char* idColumn, const std::string& keptId, std::string* reply) {
  const std::string code = qel::IntToString(result);
  Json::Value error;
  if (qelErrorHelper::GetErrorINFO(code, &error) != 0 || !error.isObject()) {
    error = Json::Value(Json::objectValue);
    error["ERRORCODE"] = code;
  }
  error[idColumn] = keptId;
  *reply = qel::WriteStyled(error);
  return result;
}

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
