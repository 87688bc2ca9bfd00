#include "business/custom/localids.h"

#include <limits>

#include <json/json.h>

#include "database/qeldatasource.h"
#include "database/qelrecord.h"
#include "database/qelsqltext.h"
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

}  // namespace

bool CountStoredId(IQELDatasource* datasource, const std::string& table, const std::string& idColumn,
                   const std::string& id, int64_t* count) {
  std::string text;
  if (datasource == nullptr ||
      datasource->GetFieldValue(table, "COUNT(*)", IdCondition(idColumn, id), &text) != 0 ||
      !qel::IsDecimalId(text)) {
    return false;
  }
  *count = qel::StringToInt64(text);
  return true;
}

bool NextUnsentId(IQELDatasource* datasource, const std::string& table, const std::string& idColumn,
                  int64_t* id) {
  std::string text;
  if (!IdBound(datasource, table, idColumn, "MIN", &text)) return false;
  int64_t smallest = qel::StringToInt64(text);
  if (smallest == std::numeric_limits<int64_t>::min()) return false;
  if (smallest >= 0) smallest = -1;
  *id = smallest - 1;
  return true;
}

int64_t NextSentId(IQELDatasource* datasource, const std::string& table, const std::string& idColumn) {
  std::string text;
  int64_t largest = 1;
  if (IdBound(datasource, table, idColumn, "MAX", &text)) largest = qel::StringToInt64(text);
  if (largest < 1) largest = 1;
  return largest < std::numeric_limits<int64_t>::max() ? largest + 1 : largest;
}

bool RenumberStoredId(IQELDatasource* datasource, const std::string& table, const std::string& idColumn,
                      const std::string& from, const std::string& to) {
  if (datasource == nullptr) return false;
  Json::Value row(Json::objectValue);
  row[idColumn] = to;
  row["UPFILTER"] = IdCondition(idColumn, from);
  qelRecord record;
  record.Append(row);
  return datasource->UpdateRecord(table, &record);
}

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
