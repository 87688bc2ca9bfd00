// Process-wide registry: one datasource per database file.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "database/qelconnection.h"
#include "database/qeldatasource.h"

namespace qel {
namespace dataspace {

class qelDataManager {
 public:
  static qelDataManager* GetInstance();

  // The datasource for the connection's path (exact match), created closed
  // on first request; null for a null connection or a type other than 1.
  // The registry keeps it until process exit.
  IQELDatasource* GetDatasource(IQELConnection* connection);
  // GetDatasource for the SQLite file at path.
  IQELDatasource* GetDatasource(const std::string& path);

 private:
  qelDataManager() = default;
  ~qelDataManager();
  qelDataManager(const qelDataManager&) = delete;
  qelDataManager& operator=(const qelDataManager&) = delete;

  std::mutex m_mutex;
  std::vector<std::pair<std::unique_ptr<IQELConnection>, std::unique_ptr<IQELDatasource>>> m_sources;
};

}  // namespace dataspace
}  // namespace qel
