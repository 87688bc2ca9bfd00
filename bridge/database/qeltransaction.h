// A transaction on a datasource as an owner object.
//
//   qelTransaction tx(datasource);
//   if (!tx.Active()) return 1;
//   if (!ExecSql(datasource, "DELETE FROM DOWNLOADINFO WHERE NAME = ?", {name})) return 1;  // rolled back
//   return tx.Commit() ? 0 : 1;
//
// Threads share one SQLite connection, so the owner holds the connection's
// writer lock from BEGIN until it commits, rolls back or goes away: another
// thread's statements wait for it instead of landing inside it (and being
// rolled back with it, or committed by it). The owning thread's own
// statements run inside it as usual. Keep transactions short.
#pragma once

#include <mutex>

namespace qel {
namespace dataspace {

class IQELDatasource;
class qelDatasource;

class qelTransaction {
 public:
  // Takes the writer lock and begins. Not active (and no lock held) when
  // the datasource is null or not one of ours, or BEGIN fails (closed
  // database, or a transaction already open on this connection).
  explicit qelTransaction(IQELDatasource* datasource);
  // Rolls back unless committed, then releases the lock.
  ~qelTransaction();
  qelTransaction(const qelTransaction&) = delete;
  qelTransaction& operator=(const qelTransaction&) = delete;

  // Begun and not yet committed or rolled back.
  bool Active() const { return m_active; }
  // COMMIT. On failure the transaction is rolled back (SQLite may already
  // have done so) and false is returned. Either way it is no longer active.
  bool Commit();
  // ROLLBACK; false when it was not active or SQLite refuses. When SQLite
  // has already rolled it back itself (a failed write on a full disk), no
  // ROLLBACK is run and the result is true.
  bool Rollback();

 private:
  qelDatasource* m_datasource = nullptr;
  std::unique_lock<std::recursive_mutex> m_lock;
  bool m_active = false;
};

}  // namespace dataspace
}  // namespace qel
