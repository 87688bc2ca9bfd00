#include "database/sqlite/qelquerycursorsqlite.h"

#include <sqlite3.h>

#include "database/sqlite/qelsqlite.h"

namespace qel {
namespace dataspace {

qelQueryCursorSqlite::qelQueryCursorSqlite(qelSqlite* sqlite, sqlite3_stmt* stmt)
    : m_sqlite(sqlite), m_stmt(stmt) {}

qelQueryCursorSqlite::~qelQueryCursorSqlite() { CloseCursor(); }

bool qelQueryCursorSqlite::IsEOF() { return m_eof; }

bool qelQueryCursorSqlite::MoveNext() {
  int rc = (m_sqlite && m_stmt) ? m_sqlite->ExecStep(m_stmt) : QEL_SQLITE_NULL_STATEMENT;
  m_eof = rc != QEL_SQLITE_ROW;
  return rc == QEL_SQLITE_ROW;
}

bool qelQueryCursorSqlite::Reset() {
  m_eof = false;
  return true;
}

bool qelQueryCursorSqlite::GetRecord(IQELRecord* rec) {
  if (!rec) return false;
  rec->Clear();
  if (!m_sqlite) return true;
  int count = 0;
  if (m_sqlite->ColumnCount(m_stmt, &count) != QEL_SQLITE_SUCCESS) return true;
  for (int i = 0; i < count; ++i) {
    std::string name;
    std::string text;
    m_sqlite->ColumnName(m_stmt, &name, i);
    m_sqlite->ColumnText(m_stmt, &text, i);
    if (!rec->SetValue(name, text)) return false;
  }
  return true;
}

bool qelQueryCursorSqlite::CloseCursor() {
  if (!m_stmt) return true;
  // sqlite3_finalize frees the statement whatever it returns (an error
  // only repeats the last step's failure), so it is dropped either way.
  sqlite3_stmt* stmt = m_stmt;
  m_stmt = nullptr;
  if (!m_sqlite) return sqlite3_finalize(stmt) == SQLITE_OK;
  return m_sqlite->ExecFinalize(stmt) == QEL_SQLITE_SUCCESS;
}

}  // namespace dataspace
}  // namespace qel
