// The owner of the local database connection and of the language id that
// every language-twin table and the error texts are read with.
#pragma once

#include <string>

namespace qel {
namespace dataspace {

class IQELDatasource;

class qelInfoAccess {
 public:
  // Built on first use: opens LOCAL_PATH + "/data/qel_data.db" (never
  // creating it). Later calls return the same object.
  static qelInfoAccess* GetInstance();

  // The datasource of the main database; null when none could be made. It
  // may be closed (missing file): every query then fails.
  IQELDatasource* GetDatasource();
  // The language id as text ("3").
  std::string GetLangID();

 private:
  // Fixes the language id at 3; only the constructor calls it, so readers
  // on other threads never see it change.
  void SetLangID();
  qelInfoAccess();
  ~qelInfoAccess() = default;
  qelInfoAccess(const qelInfoAccess&) = delete;
  qelInfoAccess& operator=(const qelInfoAccess&) = delete;

  IQELDatasource* datasource = nullptr;
  int langId = 3;
  std::string langIdText = "3";
};

}  // namespace dataspace
}  // namespace qel
