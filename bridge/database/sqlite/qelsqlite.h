// The one wrapper around a SQLite connection. SQL and values cross it as
// GBK; SQLite itself only ever sees UTF-8.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "database/qelread.h"

struct sqlite3;
struct sqlite3_stmt;

namespace qel {
namespace dataspace {

// Statement-layer result codes.
enum {
  QEL_SQLITE_SUCCESS = -1,
  QEL_SQLITE_DB_CLOSED = 0,
  QEL_SQLITE_FINALIZE_FAILED = 1,
  QEL_SQLITE_PREPARE_FAILED = 2,
  QEL_SQLITE_STEP_FAILED = 3,
  QEL_SQLITE_NULL_STATEMENT = 4,
  QEL_SQLITE_ROW = 5,
  QEL_SQLITE_DONE = 6,
};

// How long a connection waits for another process's lock before a
// statement fails as busy. An installation is shared with a second client,
// the update's apply or a backup tool, each of which holds locks briefly.
constexpr int kLockWaitMilliseconds = 5000;

// Whether a path names an existing plain file. SQLite must never be handed
// anything else: it would create a missing file, or fail late on a folder.
bool IsExistingDatabaseFile(const std::string& gbkPath);

class qelSqlite {
 public:
  explicit qelSqlite(std::string path);
  ~qelSqlite();
  qelSqlite(const qelSqlite&) = delete;
  qelSqlite& operator=(const qelSqlite&) = delete;

  // Opens the existing file (never creates one); true when open. The
  // connection waits up to kLockWaitMilliseconds for another process's
  // lock, from its first statement on.
  bool Open();
  bool IsOpen();
  void Close();

  // -1, 2 (prepare failed, *out null) or 0 (database closed). On a
  // failure, *failure (when given) says why (see ReadFailure).
  int ExecPrepare(const std::string& sql, sqlite3_stmt** out, StorageRead<>* failure = nullptr);
  // 5 row, 6 done, 3 failed, 4 null statement. Runs under the writer
  // lock; with changes, the connection's changed-row count is read under
  // the same hold, so another thread's statement cannot slip in between,
  // and so is a failure's message for *failure (when given). A failure is
  // logged at WARNING with SQLite's message.
  int ExecStep(sqlite3_stmt* stmt, int* changes = nullptr, StorageRead<>* failure = nullptr);

  // The read outcome of a SQLite result code that is no success: kMissing
  // for a statement refused as SQL (SQLITE_ERROR: a table or column the
  // database lacks, a syntax or arithmetic error), kFailed for a database
  // that cannot be read (busy past the wait, damaged, I/O, closed).
  static StorageRead<> ReadFailure(int sqliteCode, std::string message);
  // The outcome of a read on a closed database.
  static StorageRead<> ClosedRead();
  // -1 for a statement, 4 for null; the statement is not rewound.
  int ResetStatement(sqlite3_stmt* stmt);
  // -1 or 1. The statement is freed either way.
  int ExecFinalize(sqlite3_stmt* stmt);
  // -1 or 4. Names and texts come back as GBK; NULL reads "".
  int ColumnCount(sqlite3_stmt* stmt, int* out);
  int ColumnName(sqlite3_stmt* stmt, std::string* out, int column);
  int ColumnText(sqlite3_stmt* stmt, std::string* out, int column);

  // The connection's writer lock. Every statement steps under it, and a
  // transaction owner (qelTransaction) holds it from BEGIN to COMMIT or
  // ROLLBACK, so one thread's transaction never takes in the statements of
  // another thread sharing this connection. Recursive: the owning thread's
  // own statements run inside its transaction.
  std::recursive_mutex& WriterMutex() { return m_writer; }

  bool BeginTransaction();
  // Follows SQLite's own state, so a transaction that SQLite ended by
  // itself (a failed commit's rollback, for instance) is not reported open.
  bool InTransaction();
  bool Commit();
  bool Rollback();

  // Helpers for the datasource, which binds values: the GBK value is bound
  // as UTF-8 (a SQLite result code comes back), and the error state and
  // change count of the connection.
  int BindText(sqlite3_stmt* stmt, int index, const std::string& gbkValue);
  int BindUtf8Text(sqlite3_stmt* stmt, int index, const std::string& utf8Value);
  int Changes();
  int ErrorCode();
  std::string ErrorMessage();
  const std::string& GetPath() const { return m_strDBPath; }
  // Statements prepared on this connection and not finalized yet; 0 while
  // closed. Lets checks prove that no statement is left behind.
  int PendingStatements();

 private:
  std::string m_strDBPath;
  // Atomic: a start that failed opens it again while other threads may
  // already ask whether it is open.
  std::atomic<sqlite3*> db{nullptr};
  std::mutex m_openMutex;
  std::recursive_mutex m_writer;
};

// Owns one prepared statement and finalizes it exactly once: on Finalize or
// on destruction, whichever comes first. Movable, so a cursor can take it
// over and nothing finalizes by hand.
class ScopedStatement {
 public:
  explicit ScopedStatement(qelSqlite* sqlite) : sqlite_(sqlite) {}
  ~ScopedStatement() { Finalize(); }
  ScopedStatement(const ScopedStatement&) = delete;
  ScopedStatement& operator=(const ScopedStatement&) = delete;
  ScopedStatement(ScopedStatement&& other) noexcept : sqlite_(other.sqlite_), stmt_(other.stmt_) {
    other.stmt_ = nullptr;
  }
  ScopedStatement& operator=(ScopedStatement&& other) noexcept;

  // Prepares sql into this holder (finalizing a previous statement first);
  // *failure as for qelSqlite::ExecPrepare.
  int Prepare(const std::string& sql, StorageRead<>* failure = nullptr);
  // The finalize code of the statement (-1 or 1); -1 when none is held.
  int Finalize();
  sqlite3_stmt* get() const { return stmt_; }
  qelSqlite* sqlite() const { return sqlite_; }
  // Hands the statement over; the holder is empty afterwards.
  sqlite3_stmt* release();

 private:
  qelSqlite* sqlite_;
  sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace dataspace
}  // namespace qel
