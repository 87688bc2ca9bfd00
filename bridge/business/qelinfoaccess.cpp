#include "business/qelinfoaccess.h"

#include <glog/logging.h>

#include "cqelbridge.h"
#include "database/qelconnection.h"
#include "database/qeldatamanager.h"
#include "database/qeldatasource.h"
#include "logbridge.h"

namespace qel {
namespace dataspace {

qelInfoAccess* qelInfoAccess::GetInstance() {
  QEL_LOG("qel::dataspace::qelInfoAccess::GetInstance", "qelInfoAccess GetInstance");
  static qelInfoAccess instance;
  return &instance;
}

qelInfoAccess::qelInfoAccess() {
  QEL_LOG("qel::dataspace::qelInfoAccess::qelInfoAccess", "qelInfoAccess inside！");
  qelConnection connection;
  connection.SetType(1);
  // The file is opened, never created: a missing one leaves the datasource
  // closed and every later query fails.
  connection.SetPath(GetLocalPath() + "/data/qel_data.db");
  datasource = qelDataManager::GetInstance()->GetDatasource(&connection);
  if (datasource != nullptr) {
    bool opened = datasource->Open();
    SetLangID();
    LOG(INFO) << "DB Open Result :" << (opened ? "Success" : "Fail");
    QEL_LOG_DIRECT(opened ? "DB Open Success!" : "DB Open Fail!");
  }
}

IQELDatasource* qelInfoAccess::GetDatasource() { return datasource; }

std::string qelInfoAccess::GetLangID() { return langIdText; }

// Runs once, from the constructor: the language id is fixed for the process.
void qelInfoAccess::SetLangID() {
  langId = 3;
  langIdText = std::to_string(langId);
}

}  // namespace dataspace
}  // namespace qel
