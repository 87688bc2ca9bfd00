#include "database/sqlite/qelquerycursorsqlite.h"

#include <utility>

namespace qel {
namespace dataspace {

qelQueryCursorSqlite::qelQueryCursorSqlite(ScopedStatement statement) : m_stmt(std::move(statement)) {}

qelQueryCursorSqlite::~qelQueryCursorSqlite() = default;

bool qelQueryCursorSqlite::IsEOF() { return m_eof; }

bool qelQueryCursorSqlite::MoveNext() {
  qelSqlite* sqlite = m_stmt.sqlite();
  int rc = (sqlite && m_stmt.get()) ? sqlite->ExecStep(m_stmt.get(), nullptr, &m_outcome)
                                    : QEL_SQLITE_NULL_STATEMENT;
  m_eof = rc != QEL_SQLITE_ROW;
  return rc == QEL_SQLITE_ROW;
}

StorageRead<> qelQueryCursorSqlite::Outcome() { return m_outcome; }

bool qelQueryCursorSqlite::Reset() {
  m_eof = false;
  return true;
}

bool qelQueryCursorSqlite::GetRecord(IQELRecord* rec) {
  if (!rec) return false;
  rec->Clear();
  qelSqlite* sqlite = m_stmt.sqlite();
  if (!sqlite) return true;
  int count = 0;
  if (sqlite->ColumnCount(m_stmt.get(), &count) != QEL_SQLITE_SUCCESS) return true;
  for (int i = 0; i < count; ++i) {
    std::string name;
    std::string text;
    sqlite->ColumnName(m_stmt.get(), &name, i);
    sqlite->ColumnText(m_stmt.get(), &text, i);
    if (!rec->SetValue(name, text)) return false;
  }
  return true;
}

bool qelQueryCursorSqlite::CloseCursor() { return m_stmt.Finalize() == QEL_SQLITE_SUCCESS; }

}  // namespace dataspace
}  // namespace qel
