#include "database/qeldatamanager.h"

#include "database/sqlite/qeldatasourcesqlite.h"
#include "logbridge.h"

namespace qel {
namespace dataspace {

qelDataManager* qelDataManager::GetInstance() {
  static qelDataManager instance;
  QEL_LOG("qel::dataspace::qelDataManager::GetInstance", "Init qelDataManager");
  return &instance;
}

qelDataManager::~qelDataManager() {
  for (auto& entry : m_sources) {
    if (entry.second) entry.second->Close();
  }
}

IQELDatasource* qelDataManager::GetDatasource(const std::string& path) {
  qelConnection connection;
  connection.SetType(1);
  connection.SetPath(path);
  return GetDatasource(&connection);
}

IQELDatasource* qelDataManager::GetDatasource(IQELConnection* connection) {
  if (!connection || connection->GetType() != 1) return nullptr;
  const std::string path = connection->GetPath();
  // Threads may ask at once; the list must not change under a lookup.
  std::lock_guard<std::mutex> lock(m_mutex);
  for (auto& entry : m_sources) {
    if (entry.first->GetPath() == path) return entry.second.get();
  }
  QEL_LOG("qel::dataspace::qelDataManager::GetDatasource", "new a qelDatasourceSqlite!");
  std::unique_ptr<IQELDatasource> source(new qelDatasourceSqlite(path));
  IQELConnection* clone = nullptr;
  connection->Clone(&clone);
  if (!clone) return nullptr;
  std::unique_ptr<IQELConnection> key(clone);
  IQELDatasource* result = source.get();
  m_sources.emplace_back(std::move(key), std::move(source));
  return result;
}

}  // namespace dataspace
}  // namespace qel
