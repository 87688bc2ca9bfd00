// Storage steps the custom module's handlers share, on the session's main
// datasource (database/qelquery.h). Every value is bound.
#pragma once

#include <string>
#include <vector>

#include <json/json.h>

namespace qel {
namespace dataspace {

// Inserts one row object (its members as columns) into table. False on
// failure.
bool InsertRow(const std::string& table, const Json::Value& row);

// Queues one request object text in BEHAVIOR, the usage-record queue that
// the batch send (0x551) empties. 0 inserted, 1 otherwise.
int AddBehavior(const std::string& track);

// Deletes the rows of table whose integer key column holds one of ids; ids
// that are not decimal digits are left out. False on failure.
bool DeleteRowsById(const std::string& table, const std::string& column, const std::vector<std::string>& ids);

}  // namespace dataspace
}  // namespace qel
