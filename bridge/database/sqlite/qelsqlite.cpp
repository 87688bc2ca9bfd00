#include "database/sqlite/qelsqlite.h"

#include <glog/logging.h>
#include <sqlite3.h>

#include <filesystem>
#include <system_error>

#include "logbridge.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {

namespace {

std::string ErrorText(sqlite3* db) {
  const char* message = db ? sqlite3_errmsg(db) : nullptr;
  return message ? message : "";
}

}  // namespace

bool IsExistingDatabaseFile(const std::string& gbkPath) {
  if (gbkPath.empty()) return false;
  std::error_code ec;
  return std::filesystem::is_regular_file(std::filesystem::path(qel::NativePath(gbkPath)), ec);
}

StorageRead<> qelSqlite::ReadFailure(int sqliteCode, std::string message) {
  const ReadState state = (sqliteCode & 0xFF) == SQLITE_ERROR ? ReadState::kMissing : ReadState::kFailed;
  return StorageRead<>{state, {}, std::move(message)};
}

StorageRead<> qelSqlite::ClosedRead() { return ReadFailure(SQLITE_CANTOPEN, "database is closed"); }

qelSqlite::qelSqlite(std::string path) : m_strDBPath(std::move(path)) {
  QEL_LOG("qel::dataspace::qelSqlite::qelSqlite", "Init qelSqlite :" + m_strDBPath);
  QEL_LOG_DIRECT("qelSqlite Init  m_strDBPath = " + m_strDBPath);
}

qelSqlite::~qelSqlite() {
  if (IsOpen()) Close();
}

bool qelSqlite::Open() {
  std::lock_guard<std::mutex> lock(m_openMutex);
  if (db) return true;
  if (!IsExistingDatabaseFile(m_strDBPath)) {
    QEL_LOG_DIRECT("Database: " + m_strDBPath + " not exists");
    return false;
  }
  // Read-write without create: a file that vanished since the check is a
  // failure, not a new empty database. Serialized, because one connection
  // serves every thread.
  sqlite3* handle = nullptr;
  const std::string nativePath = qel::NativePath(m_strDBPath);
  int rc =
      sqlite3_open_v2(nativePath.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
  QEL_LOG_DIRECT("sqlite3_open ret " + std::to_string(rc));
  QEL_LOG_DIRECT(m_strDBPath);
  if (rc != SQLITE_OK) {
    LOG(ERROR) << "打开数据库失败" << nativePath;
    // SQLite may hand back a handle even on failure; it must not stay.
    sqlite3_close_v2(handle);
    return false;
  }
  // Set before any statement (the ATTACH of the start included), so that a
  // lock held by another process is waited out instead of failing at once.
  sqlite3_busy_timeout(handle, kLockWaitMilliseconds);
  db = handle;
  return true;
}

bool qelSqlite::IsOpen() { return db != nullptr; }

void qelSqlite::Close() {
  std::lock_guard<std::mutex> lock(m_openMutex);
  // close_v2 defers the close until statements still held are finalized,
  // instead of failing and leaking the connection.
  if (sqlite3* handle = db.exchange(nullptr)) sqlite3_close_v2(handle);
  QEL_LOG_DIRECT("sqlite3_closed ");
}

int qelSqlite::ExecPrepare(const std::string& sql, sqlite3_stmt** out, StorageRead<>* failure) {
  sqlite3* handle = db;
  if (!handle) {
    if (failure) *failure = ClosedRead();
    QEL_LOG_DIRECT("Database is closed");
    return QEL_SQLITE_DB_CLOSED;
  }
  sqlite3_stmt* stmt = nullptr;
  const std::string utf8 = qel::GbkToUtf8(sql);
  int rc = sqlite3_prepare_v2(handle, utf8.c_str(), -1, &stmt, nullptr);
  QEL_LOG("qel::dataspace::qelSqlite::ExecPrepare",
          "SQL:" + sql + " \nsqlite3_prepare_v2 ret = " + std::to_string(rc));
  if (rc != SQLITE_OK) {
    const std::string message = ErrorText(handle);
    if (failure) *failure = ReadFailure(rc, message);
    QEL_LOG_DIRECT("sqlite3_prepare_v2  Error : " + message);
    sqlite3_finalize(stmt);  // null after a failure; harmless
    if (out) *out = nullptr;
    return QEL_SQLITE_PREPARE_FAILED;
  }
  if (out) {
    *out = stmt;
  } else {
    sqlite3_finalize(stmt);
  }
  return QEL_SQLITE_SUCCESS;
}

int qelSqlite::ExecStep(sqlite3_stmt* stmt, int* changes, StorageRead<>* failure) {
  if (!stmt) return QEL_SQLITE_NULL_STATEMENT;
  int rc = SQLITE_MISUSE;
  std::string message;
  {
    std::lock_guard<std::recursive_mutex> lock(m_writer);
    rc = sqlite3_step(stmt);
    if (changes) *changes = sqlite3_changes(sqlite3_db_handle(stmt));
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) message = ErrorText(sqlite3_db_handle(stmt));
  }
  if (rc == SQLITE_ROW) return QEL_SQLITE_ROW;
  if (rc == SQLITE_DONE) return QEL_SQLITE_DONE;
  if (failure) *failure = ReadFailure(rc, message);
  // A failed write (a read-only or full installation) or a read that waited
  // out another process's lock in vain: the host's log callback may be
  // unset, so the bridge's own log keeps it.
  LOG(WARNING) << "SQLite statement failed, code " << rc << ": " << message;
  QEL_LOG("qel::dataspace::qelSqlite::ExecStep",
          "Sqlite_step error. Result : " + std::to_string(rc) + ", Msg: " + message);
  return QEL_SQLITE_STEP_FAILED;
}

int qelSqlite::ResetStatement(sqlite3_stmt* stmt) {
  return stmt ? QEL_SQLITE_SUCCESS : QEL_SQLITE_NULL_STATEMENT;
}

int qelSqlite::ExecFinalize(sqlite3_stmt* stmt) {
  sqlite3* owner = stmt ? sqlite3_db_handle(stmt) : nullptr;
  int rc = sqlite3_finalize(stmt);
  if (rc == SQLITE_OK) return QEL_SQLITE_SUCCESS;
  QEL_LOG("qel::dataspace::qelSqlite::ExecFinalize",
          "sqlite3_finalize error. Rst :" + std::to_string(rc) + " Msg :" + ErrorText(owner));
  return QEL_SQLITE_FINALIZE_FAILED;
}

int qelSqlite::ColumnCount(sqlite3_stmt* stmt, int* out) {
  if (!stmt) return QEL_SQLITE_NULL_STATEMENT;
  if (out) *out = sqlite3_column_count(stmt);
  return QEL_SQLITE_SUCCESS;
}

int qelSqlite::ColumnName(sqlite3_stmt* stmt, std::string* out, int column) {
  if (!stmt) return QEL_SQLITE_NULL_STATEMENT;
  const char* name = sqlite3_column_name(stmt, column);
  if (out) *out = qel::Utf8ToGbk(name ? name : "");
  return QEL_SQLITE_SUCCESS;
}

int qelSqlite::ColumnText(sqlite3_stmt* stmt, std::string* out, int column) {
  if (!stmt) return QEL_SQLITE_NULL_STATEMENT;
  const unsigned char* text = sqlite3_column_text(stmt, column);
  // The byte count follows column_text, so a value with a zero byte inside
  // is read whole.
  int size = text ? sqlite3_column_bytes(stmt, column) : 0;
  if (out) {
    *out = text ? qel::Utf8ToGbk(std::string_view(reinterpret_cast<const char*>(text), size)) : std::string();
  }
  return QEL_SQLITE_SUCCESS;
}

bool qelSqlite::BeginTransaction() {
  std::lock_guard<std::recursive_mutex> lock(m_writer);
  if (InTransaction()) {
    LOG(ERROR) << "开启事务失败: 事务已开启";
    return false;
  }
  // Immediate: the write lock is taken (waiting out another process's) when
  // the transaction begins. A deferred one that reads first and then writes
  // would meet another process's pending commit as a deadlock, which SQLite
  // refuses at once without waiting. A read-only database takes no write
  // lock: there the transaction begins deferred, and its writes fail as
  // writes.
  int rc = db ? sqlite3_exec(db, "begin immediate transaction", nullptr, nullptr, nullptr) : SQLITE_MISUSE;
  if (rc == SQLITE_READONLY) rc = sqlite3_exec(db, "begin transaction", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    LOG(ERROR) << "开始事务记录失败，错误码:" << rc << " ，错误原因:"
               << "-------------" << (db ? ErrorText(db) : std::string("database is closed"));
    return false;
  }
  return InTransaction();
}

bool qelSqlite::InTransaction() { return db != nullptr && sqlite3_get_autocommit(db) == 0; }

bool qelSqlite::Commit() {
  std::lock_guard<std::recursive_mutex> lock(m_writer);
  int rc = db ? sqlite3_exec(db, "commit transaction", nullptr, nullptr, nullptr) : SQLITE_MISUSE;
  if (rc != SQLITE_OK) {
    LOG(ERROR) << "提交事务记录失败，错误码:" << rc << " ，错误原因:"
               << "-------------" << (db ? ErrorText(db) : std::string("database is closed"));
    return false;
  }
  return true;
}

bool qelSqlite::Rollback() {
  std::lock_guard<std::recursive_mutex> lock(m_writer);
  int rc = db ? sqlite3_exec(db, "rollback transaction", nullptr, nullptr, nullptr) : SQLITE_MISUSE;
  if (rc != SQLITE_OK) {
    LOG(ERROR) << "回滚事务记录失败，错误码:" << rc << " ，错误原因:"
               << "-------------" << (db ? ErrorText(db) : std::string("database is closed"));
    return false;
  }
  return true;
}

int qelSqlite::BindText(sqlite3_stmt* stmt, int index, const std::string& gbkValue) {
  return BindUtf8Text(stmt, index, qel::GbkToUtf8(gbkValue));
}

int qelSqlite::BindUtf8Text(sqlite3_stmt* stmt, int index, const std::string& utf8Value) {
  if (!stmt) return SQLITE_MISUSE;
  return sqlite3_bind_text(stmt, index, utf8Value.data(), static_cast<int>(utf8Value.size()),
                           SQLITE_TRANSIENT);
}

int qelSqlite::Changes() { return db ? sqlite3_changes(db) : 0; }

int qelSqlite::ErrorCode() { return db ? sqlite3_errcode(db) : SQLITE_MISUSE; }

std::string qelSqlite::ErrorMessage() { return ErrorText(db); }

int qelSqlite::PendingStatements() {
  int count = 0;
  for (sqlite3_stmt* stmt = db ? sqlite3_next_stmt(db, nullptr) : nullptr; stmt;
       stmt = sqlite3_next_stmt(db, stmt)) {
    ++count;
  }
  return count;
}

ScopedStatement& ScopedStatement::operator=(ScopedStatement&& other) noexcept {
  if (this != &other) {
    Finalize();
    sqlite_ = other.sqlite_;
    stmt_ = other.stmt_;
    other.stmt_ = nullptr;
  }
  return *this;
}

int ScopedStatement::Prepare(const std::string& sql, StorageRead<>* failure) {
  Finalize();
  if (!sqlite_) {
    if (failure) *failure = qelSqlite::ClosedRead();
    return QEL_SQLITE_DB_CLOSED;
  }
  return sqlite_->ExecPrepare(sql, &stmt_, failure);
}

int ScopedStatement::Finalize() {
  if (!stmt_) return QEL_SQLITE_SUCCESS;
  sqlite3_stmt* stmt = stmt_;
  stmt_ = nullptr;
  return sqlite_ ? sqlite_->ExecFinalize(stmt) : (sqlite3_finalize(stmt) == SQLITE_OK ? -1 : 1);
}

sqlite3_stmt* ScopedStatement::release() {
  sqlite3_stmt* stmt = stmt_;
  stmt_ = nullptr;
  return stmt;
}

}  // namespace dataspace
}  // namespace qel
