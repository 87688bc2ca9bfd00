#include "business/custom/customstore.h"

#include <memory>

#include "business/qelinfoaccess.h"
#include "database/qeldatasource.h"
#include "database/qelsqltext.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {

IQELDatasource* CustomDatasource() { return qelInfoAccess::GetInstance()->GetDatasource(); }

bool ForEachCustomRow(qelQueryDef* def, const std::function<void(Json::Value& row)>& visit) {
  IQELDatasource* datasource = CustomDatasource();
  if (datasource == nullptr) return false;
  IQELQueryCursor* raw = nullptr;
  bool ok = datasource->Query(def, &raw);
  std::unique_ptr<IQELQueryCursor> cursor(raw);
  if (!ok || !cursor) return false;
  while (cursor->MoveNext()) {
    qelRecord row;
    if (cursor->GetRecord(&row)) visit(row.GetJson());
  }
  return true;
}

bool CountRows(const std::string& table, const std::string& filter, long long* count) {
  IQELDatasource* datasource = CustomDatasource();
  std::string text;
  if (datasource == nullptr || datasource->GetFieldValue(table, "COUNT(*)", filter, &text) != 0) return false;
  if (!IsDecimalId(text)) return false;
  *count = StringToInt64(text);
  return true;
}

bool InsertRow(const std::string& table, const Json::Value& row) {
  IQELDatasource* datasource = CustomDatasource();
  if (datasource == nullptr) return false;
  qelRecord record;
  record.Append(row);
  return datasource->AddRecord(table, &record);
}

bool UpdateRows(const std::string& table, const Json::Value& values, const std::string& filter) {
  IQELDatasource* datasource = CustomDatasource();
  if (datasource == nullptr) return false;
  Json::Value row = values;
  row["UPFILTER"] = filter;
  qelRecord record;
  record.Append(row);
  return datasource->UpdateRecord(table, &record);
}

bool DeleteRowsById(const std::string& table, const std::string& column,
                    const std::vector<std::string>& ids) {
  std::string list;
  for (const std::string& id : ids) {
    if (!IsDecimalId(id)) continue;
    if (!list.empty()) list += ",";
    list += id;
  }
  if (list.empty()) return true;
  IQELDatasource* datasource = CustomDatasource();
  int changes = 0;
  return datasource != nullptr && datasource->ExecDelete(table, column + " IN (" + list + ")", &changes);
}

std::string JoinQuotedIds(const std::vector<std::string>& ids) {
  std::string list;
  for (const std::string& id : ids) {
    if (!list.empty()) list += ",";
    list += QuoteSqlText(id);
  }
  return list;
}

}  // namespace dataspace
}  // namespace qel
