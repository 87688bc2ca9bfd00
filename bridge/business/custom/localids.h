// The local ids of consultations and inquiries stored on this installation:
// negative (-2, -3, ...) while a row has not reached the service, positive
// once it has. MIN and MAX read the ids cast to integer, so that a shipped
// table that declares the id column TEXT gives the same ids ("10" > "9").
#pragma once

#include <cstdint>
#include <string>

#include <json/json.h>

namespace qel {
namespace dataspace {

class IQELDatasource;

namespace custom {

// The row count of table where idColumn equals id (quoted); false when the
// count cannot be read.
bool CountStoredId(IQELDatasource* datasource, const std::string& table, const std::string& idColumn,
                   const std::string& id, int64_t* count);

// Inserts row (one object) under a new unsent id: one below the smallest
// id, and at most -2. *id gets the id. False, with nothing stored, when the
// ids cannot be read or the insert fails.
bool StoreUnsent(IQELDatasource* datasource, const std::string& table, const std::string& idColumn,
                 Json::Value row, std::string* id);

// Inserts row (one object) under the id it came with (a positive id that is
// not stored yet: the row is not to be sent). False when the insert fails.
bool StoreUnderId(IQELDatasource* datasource, const std::string& table, const std::string& idColumn,
                  Json::Value row, const std::string& id);

// Renumbers the row with id from, which has just been sent, to one above
// the largest id, and at least 2 (an unreadable maximum counts as 1).
bool MarkSent(IQELDatasource* datasource, const std::string& table, const std::string& idColumn,
              const std::string& from);

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
