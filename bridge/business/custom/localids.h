// Reading and storing consultations and inquiries, and their local ids on
// this installation: negative (-2, -3, ...) while a row has not reached the
// service, positive once it has. MIN and MAX read the ids cast to integer,
// so that a shipped table that declares the id column TEXT gives the same
// ids ("10" > "9").
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include <json/json.h>

namespace qel {
namespace dataspace {

class IQELDatasource;
struct MethodRequest;

namespace custom {

using Members = std::map<std::string, std::string>;

// PARAM[table] of a request as members. False, with formatErrorText or
// "Can not get params from json in" logged straight to the host, when the
// text did not parse, the object cannot be read, or its keys (idColumn and
// PRODUCT_ID) are not whole text (qel::IsKeyText).
bool ReadRequest(const MethodRequest& request, const char* table, const char* idColumn,
                 const char* formatErrorText, Members* members);

// The member name of members; "" when it is missing.
std::string Get(const Members& members, const char* name);

// The stored row of a request: the members named (missing ones as ""),
// SENTSTATUS "2", ITYPE "1" and USERID uid; the id is set when it is stored.
Json::Value UnsentRow(const std::string& uid, const Members& members, const char* const* names, size_t count);
template <size_t N>
Json::Value UnsentRow(const std::string& uid, const Members& members, const char* const (&names)[N]) {
  return UnsentRow(uid, members, names, N);
}

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

// Stores a request's row not stored yet: under a new unsent id (*localId
// gets it) when id is below 1, else under id itself.
bool StoreRequest(IQELDatasource* datasource, const std::string& table, const std::string& idColumn,
                  Json::Value row, const std::string& id, std::string* localId);

// Renumbers the row with id from, which has just been sent, to one above
// the largest id, and at least 2 (an unreadable maximum counts as 1).
bool MarkSent(IQELDatasource* datasource, const std::string& table, const std::string& idColumn,
              const std::string& from);

// The reply of a submission the service did not take (result not 0): the
// error object of result, with idColumn naming the id the row is kept under
// ("0" when no row is kept), so that the host can tell a kept item, which
// it sends by submitting it again with that id, from a lost one. Returns
// result.
int NotTaken(int result, const char* idColumn, const std::string& keptId, std::string* reply);

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
