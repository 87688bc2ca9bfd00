#include "cqelbridge.h"

#include <glog/logging.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "database/qeldatasource.h"
#include "database/qelinfoaccess.h"
#include "database/qelquery.h"
#include "database/sqlite/qeldatasourcesqlite.h"
#include "database/sqlite/qelsqlite.h"
#include "logbridge.h"
#include "qel/glogsetup.h"
#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {
namespace {

// Start-up values are written by InitQelbridge and read by every thread.
std::mutex& StartupMutex() {
  static std::mutex mutex;
  return mutex;
}
InitParams& StartupValues() {
  static InitParams values;
  return values;
}
StartupHooks& Hooks() {
  static StartupHooks hooks;
  return hooks;
}
std::atomic<int> g_platform{0};

// How far the bridge's start has come; it only moves forward.
enum class StartState : int {
  kIdle,
  // A load has reached the session: its database may be open from then on,
  // even while the load has not succeeded yet.
  kSessionStarted,
  // The second database is attached (a later load does not attach again).
  kAttached,
  // The singleton has loaded its data.
  kLoaded,
};
std::atomic<StartState> g_startState{StartState::kIdle};

bool StartReached(StartState state) { return g_startState.load() >= state; }
// Moves the state forward to state (never back).
void AdvanceStart(StartState state) {
  StartState current = g_startState.load();
  while (current < state && !g_startState.compare_exchange_weak(current, state)) {
  }
}

// glog is one per process; whichever library sets it up owns the shutdown.
class BridgeLogHelper {
 public:
  static void Setup() {
    static std::once_flag once;
    std::call_once(once, [] {
      // The link is read whole, however long the path.
      std::error_code ec;
      std::string name = std::filesystem::read_symlink("/proc/self/exe", ec).string();
      if (StartGlog(ec || name.empty() ? std::string("qelbridge") : name, "91_", google::GLOG_WARNING))
        owner_ = true;
    });
  }

  // The single shutdown, only by the owner and only once.
  static void Shutdown() {
    bool expected = true;
    if (owner_.compare_exchange_strong(expected, false)) StopGlog();
  }

 private:
  static std::atomic<bool> owner_;
};
std::atomic<bool> BridgeLogHelper::owner_{false};

// The first line of a file without its line break; false when the file
// cannot be read.
bool ReadFirstLine(const std::string& path, std::string* line) {
  std::ifstream in(NativePath(path), std::ios::binary);
  if (!in) return false;
  std::string text;
  std::getline(in, text);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  *line = text;
  return true;
}

}  // namespace

const char kStartCompanyTable[] = "COMPANY";
const char* const kStartCompanyFields[3] = {"ID", "SERIALID", "COMTEMP"};

bool ReadsStartCompanyRow(IQELDatasource* datasource) {
  for (const char* field : kStartCompanyFields) {
    if (!ReadFieldValue(datasource, kStartCompanyTable, field, "").Found()) return false;
  }
  return true;
}

std::string PlatformCodeFor(int platform) {
  switch (platform) {
    case 513:
      return "430000";
    case 514:
      return "530000";
    case 1025:
      return "420000";
    case 1026:
      return "520000";
    case 260:
    default:
      return "310000";
  }
}

std::string UploadUrlFor(const std::string& serverPath) {
  static const char kUploadPath[] = "/servlet/UpLoadServer?";
  if (serverPath.empty()) return "";
  std::string::size_type scheme = serverPath.find("://");
  if (scheme != std::string::npos && serverPath.find('/', scheme + 3) == std::string::npos) {
    // Only a host: cutting at the last "/" would cut into the scheme.
    return serverPath + kUploadPath;
  }
  std::string::size_type last = serverPath.rfind('/');
  if (last == std::string::npos) return "";
  return serverPath.substr(0, last) + kUploadPath;
}

InitParams GetInitParams() {
  std::lock_guard<std::mutex> lock(StartupMutex());
  return StartupValues();
}
std::string GetLocalPath() {
  std::lock_guard<std::mutex> lock(StartupMutex());
  return StartupValues().LOCAL_PATH;
}
std::string GetServerPath() {
  std::lock_guard<std::mutex> lock(StartupMutex());
  return StartupValues().SERVER_PATH;
}
std::string GetUploadUrl() {
  std::lock_guard<std::mutex> lock(StartupMutex());
  return StartupValues().uploadUrl;
}
std::string GetUploadDir() {
  std::lock_guard<std::mutex> lock(StartupMutex());
  return StartupValues().uploadDir;
}
std::string GetMac() {
  std::lock_guard<std::mutex> lock(StartupMutex());
  return StartupValues().MAC;
}
int GetPlatform() { return g_platform.load(); }

void SetStartupHooks(const StartupHooks& hooks) {
  std::lock_guard<std::mutex> lock(StartupMutex());
  Hooks() = hooks;
}

int StartQelbridge(int platform, const std::string& json) {
  QEL_LOG("InitQelbridge", "Init json:" + json);
  g_platform.store(platform);

  Json::Value root;
  bool parsed = ParseGbkJson(json, &root);
  // Members are read only from an object; any other shape counts as empty.
  if (!parsed || !root.isObject() || root.empty()) {
    QEL_LOG("InitQelbridge", "jsongParam error ");
    root = Json::Value(Json::objectValue);
  }
  StartupHooks hooks;
  {
    std::lock_guard<std::mutex> lock(StartupMutex());
    hooks = Hooks();
    InitParams& values = StartupValues();
    values.LOCAL_PATH = TextMember(root, "LOCAL_PATH");
    values.SERVER_PATH = TextMember(root, "SERVER_PATH");
    values.IP = TextMember(root, "IP");
    values.UA = TextMember(root, "UA");
    values.PLATFORM = TextMember(root, "PLATFORM");
    values.MAC = TextMember(root, "MAC");
    values.IMEI = TextMember(root, "IMEI");
    values.IMSI = TextMember(root, "IMSI");
    if (values.LOCAL_PATH.empty() && !StartReached(StartState::kLoaded)) {
      LOG(ERROR) << "InitQelbridge: LOCAL_PATH is empty, no database is opened until a start names the "
                    "installation folder";
    }
    values.uploadDir = values.LOCAL_PATH + "/uploadfile";
    std::string uploadUrl = UploadUrlFor(values.SERVER_PATH);
    if (!uploadUrl.empty()) values.uploadUrl = uploadUrl;
    // The session opens its database below the installation folder; only
    // the first start counts, since the database is opened once.
    qelInfoAccess::Start(values.LOCAL_PATH);
    qelInfoAccess::SetPlatform(platform, PlatformCodeFor(platform), values.MAC);
  }

  // A staged update replaces the second database file: never while the
  // connection that has it attached is open.
  IQELDatasource* open =
      StartReached(StartState::kSessionStarted) ? qelInfoAccess::GetInstance()->GetDatasource() : nullptr;
  if (open != nullptr && open->IsOpen()) {
    QEL_LOG("InitQelbridge", "updateOperate skipped: the database is open");
  } else {
    std::string message;
    if (hooks.applyFinishedDataUpdate != nullptr && hooks.applyFinishedDataUpdate(&message) != 0)
      QEL_LOG("InitQelbridge", "updateOperate Error！" + message);
  }

  cqelbridge::GetInstance();
  // A folder whose databases could not be opened: the host learns it (the
  // client core's Init() fails), and a later call opens them. The census
  // waits for a start that has them.
  if (!GetLocalPath().empty() && !StartReached(StartState::kLoaded)) return 1;

  std::string message;
  if (hooks.queueUpdateCensus != nullptr && hooks.queueUpdateCensus(&message) != 0)
    QEL_LOG("InitQelbridge", "UpdateCensus Error！" + message);
  return 0;
}

cqelbridge* cqelbridge::GetInstance() {
  QEL_LOG("qel::dataspace::cqelbridge::GetInstance", "qelbridge_Ins bigein Instance");
  static cqelbridge instance;
  instance.LoadOnce();
  return &instance;
}

void cqelbridge::LoadOnce() {
  if (StartReached(StartState::kLoaded)) return;
  std::lock_guard<std::mutex> lock(loadMutex_);
  // Without an installation folder nothing is opened, so that a later start
  // still opens the real databases.
  if (StartReached(StartState::kLoaded) || GetLocalPath().empty()) return;
  AdvanceStart(StartState::kSessionStarted);
  if (InitAllData().Failed()) return;
  AdvanceStart(StartState::kLoaded);
  // Registered after the session and the registry were built, so it runs
  // before they are torn down at exit: the host's callbacks are not called
  // while the process is ending.
  std::atexit([] {
    StoreLogCallback(nullptr);
    StoreUpdateDownCallback(nullptr);
  });
}

cqelbridge::cqelbridge() {
  QEL_LOG("qel::dataspace::cqelbridge::cqelbridge", "bigein InitAllData outside！");
  qelInfoAccess::SetUserId("");
}

cqelbridge::~cqelbridge() { BridgeLogHelper::Shutdown(); }

StorageRead<> cqelbridge::InitAllData() {
  static const char kFun[] = "qel::dataspace::cqelbridge::InitAllData";
  QEL_LOG(kFun, "InitAllData Start！");
  BridgeLogHelper::Setup();
  QEL_LOG(kFun, "QEL_TRANSOUT_UTF8 UN defined");
  QEL_LOG(kFun, "qelInfoAccess outside");

  IQELDatasource* datasource = qelInfoAccess::GetInstance()->GetDatasource();
  std::string localPath = GetLocalPath();
  const std::string mainPath = localPath + "/data/qel_data.db";
  const std::string exPath = localPath + "/data/qel_exdata.db";
  auto* sqlite = dynamic_cast<qelDatasourceSqlite*>(datasource);
  if (sqlite == nullptr) {
    LOG(ERROR) << "cannot attach the second database " << NativePath(exPath);
    QEL_LOG(kFun, "attach exdatabase error");
    return StorageRead<>(ReadState::kMissing);
  }
  // A file that exists and still cannot be opened or attached after the
  // lock wait leaves the bridge unloaded; a missing one starts without it.
  if (!sqlite->IsOpen() && IsExistingDatabaseFile(mainPath) && !sqlite->Open()) {
    LOG(ERROR) << "cannot open the main database " << NativePath(mainPath) << "; a later call tries again";
    return StorageRead<>(ReadState::kFailed);
  }
  if (!StartReached(StartState::kAttached)) {
    std::string failure;
    if (!sqlite->AttachExDB(exPath, "EXDB", &failure)) {
      const bool retry = sqlite->IsOpen() && IsExistingDatabaseFile(exPath);
      LOG(ERROR) << "cannot attach the second database " << NativePath(exPath)
                 << (retry ? ": " + failure + "; a later call tries again" : std::string());
      QEL_LOG(kFun, "attach exdatabase error");
      return StorageRead<>(retry ? ReadState::kFailed : ReadState::kMissing);
    }
    AdvanceStart(StartState::kAttached);
  }

  // A read that fails on a database that cannot be read now leaves the
  // bridge unloaded too; a value that is not there (no row, no table)
  // stays as it was.
  const StorageRead<std::string> user = ReadFieldValue(datasource, "USERINFO", "UID", "REMEMBER = 1");
  if (user.Failed()) {
    QEL_LOG(kFun, "Get remember user ERROR, please check the database");
    return user.Outcome();
  }
  if (!user.Found()) {
    QEL_LOG(kFun, "Get remember user ERROR, please check the database");
  } else {
    qelInfoAccess::SetUserId(user.value);
    QEL_LOG(kFun, "User Login Success. UseID:" + user.value);
  }

  struct CompanyValue {
    const char* error;
    const char* found;
  };
  // In the order of kStartCompanyFields.
  const CompanyValue company[] = {
      {"Get CompanyID error", "Company ID is "},
      {"Get SerialID error", "Serial ID is "},
      {"Get COMTEMP error", "COMTEMP ID is "},
  };
  // A value that cannot be read stays as it was.
  const SessionIdentity before = qelInfoAccess::Identity();
  std::string values[] = {before.companyId, before.serialId, before.templateId};
  for (std::size_t i = 0; i < 3; ++i) {
    const CompanyValue& item = company[i];
    const StorageRead<std::string> read =
        ReadFieldValue(datasource, kStartCompanyTable, kStartCompanyFields[i], "");
    if (read.Failed()) {
      QEL_LOG(kFun, item.error);
      return read.Outcome();
    }
    if (!read.Found()) {
      QEL_LOG(kFun, item.error);
      continue;
    }
    values[i] = read.value;
    QEL_LOG(kFun, item.found + read.value);
  }
  qelInfoAccess::SetCompany(values[0], values[1], values[2]);

  std::string verPath = localPath + "/" + "ver.qel";
  QEL_LOG(kFun, " verPath:" + verPath);
  std::string version;
  if (ReadFirstLine(verPath, &version)) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      localVersion = version;
    }
    QEL_LOG(kFun, " LocalVersion:" + version);
  }
  return StorageRead<>(datasource->IsOpen() ? ReadState::kRead : ReadState::kMissing);
}

std::string cqelbridge::GetCurrentUID() { return qelInfoAccess::Identity().userId; }
std::string cqelbridge::GetCompanyID() { return qelInfoAccess::Identity().companyId; }
std::string cqelbridge::GetSerialID() { return qelInfoAccess::Identity().serialId; }
std::string cqelbridge::GetLocalVersion() {
  std::lock_guard<std::mutex> lock(mutex_);
  return localVersion;
}
std::string cqelbridge::GetComTemp() { return qelInfoAccess::Identity().templateId; }
std::string cqelbridge::PlatformCode() { return PlatformCodeFor(GetPlatform()); }

int cqelbridge::SetCurrentUID(std::string uid) {
  qelInfoAccess::SetUserId(uid);
  QEL_LOG("qel::dataspace::cqelbridge::SetCurrentUID", "Current User Changed To: " + uid);
  return 0;
}

}  // namespace dataspace
}  // namespace qel
