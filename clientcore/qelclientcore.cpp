// The singleton, its start-up, its two threads and their shutdown.
#include "qelclientcore.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <glog/logging.h>

#include "bridgecall.h"
#include "clientcoreruntime.h"
#include "common/qelcommon2.h"
#include "getterhelpers.h"
#include "qelgloghelper.h"
#include "qel/json.h"
#include "qel/text.h"
#include "qelbridge.h"
#include "qelhttpjsonrequest.h"
#include "qelresource.h"

namespace qelclientcore {

using detail::Call;
using detail::Guarded;
using detail::GuardedVoid;

namespace {

// Process-wide state beside the object. Never destroyed, so that a thread
// still running while statics go away finds it intact.
struct Runtime {
  std::mutex mutex;
  std::condition_variable wake;
  std::once_flag initOnce;
  std::mutex restartMutex;              // one start of the bridge after a failed one at a time
  std::atomic<bool> initResult{false};  // the bridge has started
  std::atomic<bool> started{false};     // Init has started the bridge
  bool stopping = false;                // guarded by mutex; mirrored in stopFlag
  std::atomic<bool> stopFlag{false};
  std::atomic<bool> updateRequested{false};
  std::atomic<bool> updateRunning{false};
  std::atomic<UpdateDownCallback> hostProgress{nullptr};
  std::thread cachedDataThread;
  std::thread dataUpdateThread;
  bool dataUpdateStarted = false;
  bool ownsGlog = false;
  std::mutex shutdownMutex;
  bool shutDown = false;  // guarded by shutdownMutex, like the two below
  int joining = 0;        // threads taken out by a shutdown call, not yet joined
  std::mutex caches;      // see LockCaches
};

Runtime& State() {
  static Runtime* runtime = new Runtime;
  return *runtime;
}

void OnBridgeLog(const char* text, const char* /*extra*/) {
  // Lines go to the one set of log files; while nobody has set glog up they
  // are dropped rather than copied to standard error.
  if (text == nullptr || !google::IsGoogleLoggingInitialized()) return;
  google::LogMessage("qelclientcore", 39, google::GLOG_INFO).stream() << text;
}

// The relay itself is registered with the bridge by Init: before it the
// bridge is not touched.
void StoreHostProgress(void* callback) {
  State().hostProgress.store(reinterpret_cast<UpdateDownCallback>(callback));
}

// A host that cannot find its installation would otherwise see only an
// empty catalogue: say which files were looked for.
void ReportMissingInstallation(const std::string& folder) {
  for (const char* file : {"/data/qel_data.db", "/data/qel_exdata.db"}) {
    const std::string path = folder + file;
    if (qel::FileExists(path)) continue;
    LOG(ERROR) << "installation incomplete: " << qel::NativePath(path)
               << " is missing (the installation folder is QEL_INSTALL_DIR, else the folder of "
                  "libQelClientCore.so)";
  }
}

void CachedDataSendThread() {
  Runtime& state = State();
  const auto interval = std::chrono::milliseconds(CachedDataIntervalMs());
  std::unique_lock<std::mutex> lock(state.mutex);
  while (!state.stopping) {
    lock.unlock();
    CQelClientCore::GetInstance()->sendCachedDataSync();
    lock.lock();
    state.wake.wait_for(lock, interval, [&state] { return state.stopping; });
  }
}

void DataUpdateThread() {
  Runtime& state = State();
  std::unique_lock<std::mutex> lock(state.mutex);
  while (true) {
    state.wake.wait(lock, [&state] { return state.stopping || state.updateRequested.load(); });
    if (state.stopping) return;
    lock.unlock();
    CQelClientCore::GetInstance()->DoDataUpdate();
    // A request made while the update ran is absorbed by it.
    state.updateRequested.store(false);
    lock.lock();
  }
}

void ShutdownAtExit() { ShutdownClientCore(); }

}  // namespace

int RelayUpdateProgress(int step, const char* text) {
  Runtime& state = State();
  if (state.stopFlag.load()) return 1;
  UpdateDownCallback host = state.hostProgress.load();
  return host != nullptr ? host(step, text) : 0;
}

std::unique_lock<std::mutex> LockCaches() { return std::unique_lock<std::mutex>(State().caches); }

int64_t CachedDataIntervalMs() {
  int64_t interval = CCommon2::instance().Services()->CachedDataIntervalMs();
  return interval > 0 ? interval : 900000;
}

namespace {

// The thread to join, moved out of its slot; none when it was never started,
// is being joined elsewhere or is the calling thread. A host callback (the
// update's progress, a log line) that shuts the client core down runs on one
// of these threads: that thread is left to end by itself once the callback
// returns, and a later shutdown call from another thread joins it.
std::thread TakeForJoin(std::thread& slot) {
  if (!slot.joinable() || slot.get_id() == std::this_thread::get_id()) return std::thread();
  return std::move(slot);
}

}  // namespace

void ShutdownClientCore() {
  Runtime& state = State();
  bool first = false;
  int taken = 0;
  std::thread cachedData;
  std::thread dataUpdate;
  {
    std::lock_guard<std::mutex> guard(state.shutdownMutex);
    first = !state.shutDown;
    state.shutDown = true;
    if (first) {
      std::lock_guard<std::mutex> lock(state.mutex);
      state.stopping = true;
      state.stopFlag.store(true);
      // A send or download in flight on one of the threads ends now instead
      // of waiting out its time-out; its records stay queued.
      qel::internet::SetTransfersStopped(true);
    }
    cachedData = TakeForJoin(state.cachedDataThread);
    dataUpdate = TakeForJoin(state.dataUpdateThread);
    taken = (cachedData.joinable() ? 1 : 0) + (dataUpdate.joinable() ? 1 : 0);
    state.joining += taken;
  }
  if (first) state.wake.notify_all();
  // Joined before the bridge, SQLite and glog go away; an update in progress
  // stops at its next progress report. Never under the lock: a callback on
  // the thread being joined may itself ask for shutdown.
  if (cachedData.joinable()) cachedData.join();
  if (dataUpdate.joinable()) dataUpdate.join();
  if (first) detail::BlockBridgeCalls();

  std::lock_guard<std::mutex> guard(state.shutdownMutex);
  state.joining -= taken;
  // glog goes last, once no thread of ours can still write a line.
  const bool threadsEnded =
      state.joining == 0 && !state.cachedDataThread.joinable() && !state.dataUpdateThread.joinable();
  if (threadsEnded && state.ownsGlog) {
    state.ownsGlog = false;
    qelGLogHelper::GetInstance()->Shutdown();
  }
}

bool ClientCoreShutDown() { return State().stopFlag.load(); }

void RequestDataUpdate() {
  Runtime& state = State();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.stopping || !state.started.load()) return;
    state.updateRequested.store(true);
    if (!state.dataUpdateStarted) {
      state.dataUpdateStarted = true;
      state.dataUpdateThread = std::thread(DataUpdateThread);
    }
  }
  state.wake.notify_all();
}

bool BeginDataUpdate() {
  bool expected = false;
  return State().updateRunning.compare_exchange_strong(expected, true);
}

void EndDataUpdate() { State().updateRunning.store(false); }

void SetHostProgressCallback(void* callback) { StoreHostProgress(callback); }

CQelClientCore* CQelClientCore::GetInstance() {
  static CQelClientCore instance;
  return &instance;
}

bool CQelClientCore::Initialize(std::string) { return true; }

void CQelClientCore::Uninitialize() { ShutdownClientCore(); }

CQelClientCore::CQelClientCore() : langType_(-100) {
  // Ids are fixed from the start; the names come from the captions in Init.
  modelParameter_.paramId = kModelParameterId;
  modelParameter_.paraType = 0;
  priceParameter_.paramId = kPriceParameterId;
  priceParameter_.paraType = 0;
}

CQelClientCore::~CQelClientCore() { ShutdownClientCore(); }

bool CQelClientCore::Init() {
  return Guarded(false, [this] {
    Runtime& state = State();
    if (ClientCoreShutDown()) return false;
    bool first = false;
    std::call_once(state.initOnce, [this, &state, &first] {
      first = true;
      if (CCommon2::instance().LogRecord()) {
        qelGLogHelper::GetInstance()->Init("", google::GLOG_WARNING);
        std::lock_guard<std::mutex> guard(state.shutdownMutex);
        state.ownsGlog = qelGLogHelper::GetInstance()->OwnsLogging();
      }
      std::string json = GetInitInfo();
      ReportMissingInstallation(GetMoudleDirA());
      SetLogCallback(&OnBridgeLog);
      SetUpdateDownCallback(&RelayUpdateProgress);
      int rc = InitQelbridge(260, json.c_str());
      detail::OpenBridgeCalls();
      state.started.store(true);
      const int lang = GetLangType();
      const wchar_t* modelName = getLANG(lang, 3);
      const wchar_t* priceName = getLANG(lang, 8);
      {
        auto caches = LockCaches();
        if (modelName != nullptr) modelParameter_.paramName = modelName;
        if (priceName != nullptr) priceParameter_.paramName = priceName;
      }
      // libcurl and OpenSSL register their own exit cleanup when they first
      // start: started here, before the hook below, so that the hook (run
      // first) joins the threads that transfer before that cleanup frees what
      // they still use.
      qel::internet::qelHttpJsonRequest();
      // Registered after the bridge started, so it runs before the bridge's
      // singletons are destroyed at exit.
      std::atexit(&ShutdownAtExit);
      {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (!state.stopping) state.cachedDataThread = std::thread(CachedDataSendThread);
      }
      state.initResult.store(rc == 0);
    });
    if (!first && !state.initResult.load()) {
      // The first start found a database it could not open or read (a lock
      // past the wait, a damaged file): this call starts the bridge again.
      std::lock_guard<std::mutex> restart(state.restartMutex);
      if (!state.initResult.load() && !ClientCoreShutDown())
        state.initResult.store(InitQelbridge(260, GetInitInfo().c_str()) == 0);
    }
    return state.initResult.load() && !ClientCoreShutDown();
  });
}

std::string CQelClientCore::GetInitInfo() {
  return Guarded(std::string(), [] {
    CCommon2& common = CCommon2::instance();
    std::string system, mac, ip, server;
    common.GetOperationSystemName(system);
    common.GetMac(mac);
    common.GetIP(ip);
    common.GetServer(server);
    Json::Value info(Json::objectValue);
    info["LOCAL_PATH"] = GetMoudleDirA();
    info["SERVER_PATH"] = server;
    info["IP"] = ip;
    info["UA"] = "Windows";
    info["PLATFORM"] = system;
    info["MAC"] = mac;
    return qel::WriteStyled(info);
  });
}

int CQelClientCore::GetLangType() {
  auto caches = LockCaches();
  if (langType_ == -100) langType_ = 0;
  return langType_;
}

void CQelClientCore::Clear() {}

bool CQelClientCore::Decrypt(std::string) { return false; }

std::string CQelClientCore::IntToStr(int value) { return "\"" + std::to_string(value) + "\""; }

}  // namespace qelclientcore
