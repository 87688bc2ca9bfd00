// Cursor over one prepared SQLite statement, which it owns.
#pragma once

#include "database/qelquerycursor.h"
#include "database/sqlite/qelsqlite.h"

namespace qel {
namespace dataspace {

class qelQueryCursorSqlite : public qelQueryCursor {
 public:
  // Takes over the prepared statement (an empty holder gives a cursor at
  // its end); the statement's connection must outlive the cursor.
  explicit qelQueryCursorSqlite(ScopedStatement statement);
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
  StorageRead<> Outcome() override;

 private:
  ScopedStatement m_stmt;
  bool m_eof = false;
  StorageRead<> m_outcome{ReadState::kRead, {}, {}};
};

}  // namespace dataspace
}  // namespace qel
