// The local ids of consultations and inquiries stored on this installation:
// negative (-2, -3, ...) while a row has not reached the service, positive
// once it has. MIN and MAX read the ids cast to integer, so that a shipped
// table that declares the id column TEXT gives the same ids ("10" > "9").
#pragma once

#include <cstdint>
#include <string>

namespace qel {
namespace dataspace {

class IQELDatasource;

namespace custom {

// The row count of table where idColumn equals id (quoted); false when the
// count cannot be read.
bool CountStoredId(IQELDatasource* datasource, const std::string& table, const std::string& idColumn,
                   const std::string& id, int64_t* count);

// The id for a new unsent row: one below the smallest id, and at most -2.
// False when the ids cannot be read.
bool NextUnsentId(IQELDatasource* datasource, const std::string& table, const std::string& idColumn,
                  int64_t* id);

// The id for a row that has just been sent: one above the largest id, and
// at least 2 (an unreadable maximum counts as 1).
int64_t NextSentId(IQELDatasource* datasource, const std::string& table, const std::string& idColumn);

// Renumbers the rows with id from to id to. False when the update fails.
bool RenumberStoredId(IQELDatasource* datasource, const std::string& table, const std::string& idColumn,
                      const std::string& from, const std::string& to);

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
