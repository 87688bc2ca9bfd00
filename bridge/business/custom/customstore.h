// Small storage steps the custom module's handlers share.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <json/json.h>

namespace qel {
namespace dataspace {

class IQELDatasource;
class qelQueryDef;

// The main database's datasource; null when there is none.
IQELDatasource* CustomDatasource();

// Runs def and hands every row object to visit, in row order. False when
// there is no datasource or the query fails; the cursor is released on
// every path.
bool ForEachCustomRow(qelQueryDef* def, const std::function<void(Json::Value& row)>& visit);

// COUNT(*) of table under filter; false when the count cannot be read.
bool CountRows(const std::string& table, const std::string& filter, long long* count);

// Inserts one row object into table (values bound). False on failure.
bool InsertRow(const std::string& table, const Json::Value& row);
// Sets the members of values on the rows meeting filter (values bound;
// an empty filter means every row). False on failure.
bool UpdateRows(const std::string& table, const Json::Value& values, const std::string& filter);

// Deletes the rows of table whose integer key column holds one of ids.
// Ids that are not decimal digits are left out. False on failure.
bool DeleteRowsById(const std::string& table, const std::string& column, const std::vector<std::string>& ids);

// The ids as a list of SQL text literals joined by ",".
std::string JoinQuotedIds(const std::vector<std::string>& ids);

}  // namespace dataspace
}  // namespace qel
