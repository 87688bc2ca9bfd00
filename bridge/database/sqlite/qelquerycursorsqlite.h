// Cursor over one prepared SQLite statement, which it owns.
#pragma once

#include "database/qelquerycursor.h"

struct sqlite3_stmt;

namespace qel {
namespace dataspace {

class qelSqlite;

class qelQueryCursorSqlite : public qelQueryCursor {
 public:
  // Takes over stmt (may be null); sqlite must outlive the cursor.
  qelQueryCursorSqlite(qelSqlite* sqlite, sqlite3_stmt* stmt);
  ~qelQueryCursorSqlite() override;
  qelQueryCursorSqlite(const qelQueryCursorSqlite&) = delete;
  qelQueryCursorSqlite& operator=(const qelQueryCursorSqlite&) = delete;

  bool IsEOF() override;
  bool MoveNext() override;
  bool Reset() override;
  bool GetRecord(IQELRecord* rec) override;
  // Finalizes the statement once; it is gone afterwards even when SQLite
  // reports an error (false), so it is never finalized twice.
  bool CloseCursor() override;

 private:
  qelSqlite* m_sqlite;
  sqlite3_stmt* m_stmt;
  bool m_eof = false;
};

}  // namespace dataspace
}  // namespace qel
