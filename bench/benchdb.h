// The SQLite handles and steps that the catalogue generators share.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>

namespace qelbench {

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StmtFinalizer {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// Sets *error (when there is one) and returns false.
bool Fail(std::string* error, const std::string& message);

// Opens a database file read-write; create also makes a missing one. Null,
// with *error set, when it cannot be opened.
Db OpenDb(const std::string& path, bool create, std::string* error);

// Runs SQL text; false with *error set to SQLite's message and the start of
// the SQL.
bool Exec(sqlite3* db, const std::string& sql, std::string* error);

}  // namespace qelbench
