#include "business/custom/customstore.h"

#include "database/qelquery.h"
#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {

bool InsertRow(const std::string& table, const Json::Value& row) {
  if (!row.isObject() || row.empty()) return false;
  std::string columns;
  std::string marks;
  std::vector<std::string> values;
  for (const std::string& name : row.getMemberNames()) {
    if (!columns.empty()) {
      columns += ",";
      marks += ",";
    }
    columns += name;
    marks += "?";
    values.push_back(ValueAsText(row[name]));
  }
  return ExecSql("INSERT INTO " + table + "(" + columns + ") VALUES(" + marks + ")", values);
}

int AddBehavior(const std::string& track) {
  Json::Value row(Json::objectValue);
  row["TRACK"] = track;
  return InsertRow("BEHAVIOR", row) ? 0 : 1;
}

bool DeleteRowsById(const std::string& table, const std::string& column,
                    const std::vector<std::string>& ids) {
  // In slices, so that a long queue stays below SQLite's limit of bound
  // values per statement.
  constexpr size_t kSlice = 500;
  std::vector<std::string> values;
  bool ok = true;
  for (size_t i = 0; i <= ids.size(); ++i) {
    if (i < ids.size() && IsDecimalId(ids[i])) values.push_back(ids[i]);
    if (values.empty() || (values.size() < kSlice && i < ids.size())) continue;
    std::string marks;
    for (size_t k = 0; k < values.size(); ++k) marks += k == 0 ? "?" : ",?";
    ok = ExecSql("DELETE FROM " + table + " WHERE " + column + " IN (" + marks + ")", values) && ok;
    values.clear();
  }
  return ok;
}

}  // namespace dataspace
}  // namespace qel
