#include "database/qelinfoaccess.h"

#include <glog/logging.h>

#include "database/qeldatamanager.h"
#include "database/qeldatasource.h"
#include "logbridge.h"
#include "qel/text.h"

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
  SetLangID();
  // Until the installation folder is known the session holds a closed
  // datasource: every query fails, and the first use after a start opens
  // the real database instead of one below "/".
  datasource.store(qelDataManager::GetInstance()->GetDatasource(std::string()));
  OpenSession();
}

void qelInfoAccess::OpenSession() {
  std::lock_guard<std::mutex> lock(openMutex);
  if (opened.load()) return;
  std::string localPath;
  {
    std::lock_guard<std::mutex> start(StartMutex());
    localPath = StartPath();
  }
  if (localPath.empty()) return;
  // The file is opened, never created: a missing one leaves the datasource
  // closed and every later query fails.
  const std::string path = localPath + "/data/qel_data.db";
  IQELDatasource* source = qelDataManager::GetInstance()->GetDatasource(path);
  if (source != nullptr) {
    bool isOpen = source->Open();
    LOG(INFO) << "DB Open Result :" << (isOpen ? "Success" : "Fail");
    if (!isOpen) LOG(ERROR) << "cannot open the main database " << NativePath(path);
    QEL_LOG_DIRECT(isOpen ? "DB Open Success!" : "DB Open Fail!");
    datasource.store(source);
  }
  opened.store(true);
}

IQELDatasource* qelInfoAccess::GetDatasource() {
  if (!opened.load()) OpenSession();
  return datasource.load();
}

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
