#include "benchdb.h"

namespace qelbench {

bool Fail(std::string* error, const std::string& message) {
  if (error != nullptr) *error = message;
  return false;
}

Db OpenDb(const std::string& path, bool create, std::string* error) {
  sqlite3* raw = nullptr;
  int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  Db db(raw);
  if (rc != SQLITE_OK) {
    Fail(error, "cannot open " + path + ": " + (raw != nullptr ? sqlite3_errmsg(raw) : "out of memory"));
    return nullptr;
  }
  return db;
}

bool Exec(sqlite3* db, const std::string& sql, std::string* error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
  std::string text = message != nullptr ? message : "unknown error";
  sqlite3_free(message);
  return Fail(error, text + "\nin: " + sql.substr(0, 200));
}

}  // namespace qelbench
