#include "database/qeltransaction.h"

#include <utility>

#include "database/qeldatasource.h"

namespace qel {
namespace dataspace {

qelTransaction::qelTransaction(IQELDatasource* datasource)
    : m_datasource(dynamic_cast<qelDatasource*>(datasource)) {
  if (m_datasource == nullptr) return;
  std::unique_lock<std::recursive_mutex> lock(m_datasource->WriterMutex());
  // A transaction already open on the connection belongs to this thread
  // (any other thread's would hold the lock): nesting is refused.
  if (!m_datasource->BeginTransaction()) return;
  m_lock = std::move(lock);
  m_active = true;
}

qelTransaction::~qelTransaction() {
  if (m_active) Rollback();
}

bool qelTransaction::Commit() {
  if (!m_active) return false;
  m_active = false;
  bool committed = m_datasource->Commit();
  // A failed COMMIT may leave the transaction open; it must not outlive
  // its owner.
  if (!committed && m_datasource->InTransaction()) m_datasource->Rollback();
  m_lock = std::unique_lock<std::recursive_mutex>();
  return committed;
}

bool qelTransaction::Rollback() {
  if (!m_active) return false;
  m_active = false;
  // A failed write on a full disk or after an I/O error ends the
  // transaction inside SQLite already; a ROLLBACK then would only fail.
  bool rolledBack = !m_datasource->InTransaction() || m_datasource->Rollback();
  m_lock = std::unique_lock<std::recursive_mutex>();
  return rolledBack;
}

}  // namespace dataspace
}  // namespace qel
