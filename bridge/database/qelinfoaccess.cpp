#include "database/qelinfoaccess.h"

#include <glog/logging.h>

#include "database/qelconnection.h"
#include "database/qeldatamanager.h"
#include "database/qeldatasource.h"
#include "logbridge.h"

namespace qel {
namespace dataspace {
namespace {

std::mutex& StartMutex() {
  static std::mutex mutex;
  return mutex;
}
std::string& StartPath() {
  static std::string path;
  return path;
}

std::mutex& IdentityMutex() {
  static std::mutex mutex;
  return mutex;
}
SessionIdentity& StoredIdentity() {
  static SessionIdentity identity{"", "", "", "", "", "3", 0, ""};
  return identity;
}

}  // namespace

void qelInfoAccess::Start(const std::string& localPath) {
  std::lock_guard<std::mutex> lock(StartMutex());
  StartPath() = localPath;
}

qelInfoAccess* qelInfoAccess::GetInstance() {
  QEL_LOG("qel::dataspace::qelInfoAccess::GetInstance", "qelInfoAccess GetInstance");
  static qelInfoAccess instance;
  return &instance;
}

qelInfoAccess::qelInfoAccess() {
  QEL_LOG("qel::dataspace::qelInfoAccess::qelInfoAccess", "qelInfoAccess inside！");
  std::string localPath;
  {
    std::lock_guard<std::mutex> lock(StartMutex());
    localPath = StartPath();
  }
  qelConnection connection;
  connection.SetType(1);
  // The file is opened, never created: a missing one leaves the datasource
  // closed and every later query fails.
  connection.SetPath(localPath + "/data/qel_data.db");
  datasource = qelDataManager::GetInstance()->GetDatasource(&connection);
  SetLangID();
  if (datasource != nullptr) {
    bool opened = datasource->Open();
    LOG(INFO) << "DB Open Result :" << (opened ? "Success" : "Fail");
    QEL_LOG_DIRECT(opened ? "DB Open Success!" : "DB Open Fail!");
  }
}

IQELDatasource* qelInfoAccess::GetDatasource() { return datasource; }

std::string qelInfoAccess::GetLangID() { return langIdText; }

SessionIdentity qelInfoAccess::Identity() {
  std::lock_guard<std::mutex> lock(IdentityMutex());
  return StoredIdentity();
}

void qelInfoAccess::SetUserId(const std::string& userId) {
  std::lock_guard<std::mutex> lock(IdentityMutex());
  StoredIdentity().userId = userId;
}

void qelInfoAccess::SetCompany(const std::string& companyId, const std::string& serialId,
                               const std::string& templateId) {
  std::lock_guard<std::mutex> lock(IdentityMutex());
  SessionIdentity& identity = StoredIdentity();
  identity.companyId = companyId;
  identity.serialId = serialId;
  identity.templateId = templateId;
}

void qelInfoAccess::SetPlatform(int platform, const std::string& platformCode, const std::string& mac) {
  std::lock_guard<std::mutex> lock(IdentityMutex());
  SessionIdentity& identity = StoredIdentity();
  identity.platform = platform;
  identity.platformCode = platformCode;
  identity.mac = mac;
}

// Runs once, from the constructor: the language id is fixed for the process.
void qelInfoAccess::SetLangID() {
  langId = 3;
  langIdText = std::to_string(langId);
}

}  // namespace dataspace
}  // namespace qel
