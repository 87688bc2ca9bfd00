// Start-up, the cached-data and data-update threads, and shutdown. Each
// test runs in its own process, so the singleton starts fresh.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <thread>

#include "clientcoreruntime.h"
#include "common/qelcommon2.h"
#include "fakebridge.h"
#include "qelclientcore.h"
#include "qelresource.h"

namespace {

using namespace qelclientcore;
using qeltest::FakeBridge;

class FixedServices : public ICommonServices {
 public:
  FixedServices(std::string moduleDir, int64_t intervalMs, bool logRecord = false)
      : moduleDir_(std::move(moduleDir)), interval_(intervalMs), logRecord_(logRecord) {}
  bool LogRecord() override { return logRecord_; }
  std::string Server() override { return "http://127.0.0.1:9/svc"; }
  std::string Ip() override { return "10.0.0.2"; }
  std::string Mac() override { return "02:00:00:00:00:01"; }
  std::string OperationSystemName() override { return "Linux 6.1"; }
  std::string ModuleDir() override { return moduleDir_; }
  int64_t CachedDataIntervalMs() override { return interval_; }
  std::string DownloadFile(const std::string& url, const std::string& second, const std::string& path,
                           CommonDownloadProgress* progress) override {
    downloads.push_back({url, second, path, progress == nullptr ? "null" : "set"});
    return "100000";
  }

  std::vector<std::vector<std::string>> downloads;

 private:
  std::string moduleDir_;
  int64_t interval_;
  bool logRecord_;
};

class StartupTest : public ::testing::Test {
 protected:
  void Use(int64_t intervalMs) {
    CCommon2::instance().SetServices(std::make_shared<FixedServices>(install_.root(), intervalMs));
  }
  CQelClientCore& Core() { return *CQelClientCore::GetInstance(); }

  // Waits until the fake saw `count` requests of `code`; false on time-out.
  static bool WaitForCode(const FakeBridge& bridge, int code, size_t count) {
    for (int i = 0; i < 6000; ++i) {
      size_t seen = 0;
      for (int c : bridge.Codes()) seen += c == code ? 1 : 0;
      if (seen >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  qeltest::Installation install_;
};

TEST_F(StartupTest, StartupJsonHoldsTheSixKeys) {
  Use(900000);
  Json::Value info;
  ASSERT_TRUE(qel::ParseGbkJson(Core().GetInitInfo(), &info));
  EXPECT_EQ(info.getMemberNames(),
            (std::vector<std::string>{"IP", "LOCAL_PATH", "MAC", "PLATFORM", "SERVER_PATH", "UA"}));
  EXPECT_EQ(info["LOCAL_PATH"].asString(), install_.root());
  EXPECT_EQ(info["SERVER_PATH"].asString(), "http://127.0.0.1:9/svc");
  EXPECT_EQ(info["IP"].asString(), "10.0.0.2");
  EXPECT_EQ(info["MAC"].asString(), "02:00:00:00:00:01");
  EXPECT_EQ(info["PLATFORM"].asString(), "Linux 6.1");
  EXPECT_EQ(info["UA"].asString(), "Windows");
}

TEST_F(StartupTest, InitRunsOnceAndSetsTheBuiltInParameters) {
  Use(900000);
  FakeBridge bridge;
  bridge.Script(0x422, 1, qeltest::ErrorReply(1, ""));
  ASSERT_TRUE(Core().Init());
  ASSERT_TRUE(WaitForCode(bridge, 0x551, 1));
  EXPECT_TRUE(Core().Init());
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  size_t sends = 0;
  for (int c : bridge.Codes()) sends += c == 0x551 ? 1 : 0;
  EXPECT_EQ(sends, 1u);  // a second Init starts no second thread

  std::vector<ProductParameter> params;
  Core().GetProductParametersAll(1, params);
  ASSERT_EQ(params.size(), 2u);
  EXPECT_EQ(params[0].paramId, -1);
  EXPECT_EQ(params[0].paramName, getLANG(0, 3));
  EXPECT_EQ(params[0].paraType, 0);
  EXPECT_EQ(params[1].paramId, -2);
  EXPECT_EQ(params[1].paramName, getLANG(0, 8));
}

TEST_F(StartupTest, CachedDataThreadSendsAtOnceThenEveryIntervalAndStopsPromptly) {
  Use(20);
  FakeBridge bridge;
  ASSERT_TRUE(Core().Init());
  ASSERT_TRUE(WaitForCode(bridge, 0x551, 3));
  bridge.Script(0x607, 0, std::string(R"([{"PRODUCT_ID":"7"}])"));
  ASSERT_NE(Core().GetProductByID(7), nullptr);
  CQelClientCore::Uninitialize();
  size_t after = bridge.Count();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(bridge.Count(), after);  // joined: no send after shutdown

  // After shutdown every call gives its failure result without a request.
  std::vector<Product> products;
  EXPECT_EQ(Core().GetProductByID(1), nullptr);
  EXPECT_EQ(Core().GetProductByID(7), nullptr);  // cached before shutdown
  Core().GetProductsByCategory(1, products, -1, 10, 0);
  EXPECT_TRUE(products.empty());
  EXPECT_FALSE(Core().DoDataUpdate());
  EXPECT_FALSE(Core().UpdateEntCertsStatusByCategory(3));
  Core().DoDataUpdateAsync(nullptr);
  EXPECT_FALSE(Core().Init());
  EXPECT_EQ(bridge.Count(), after);
  CQelClientCore::Uninitialize();  // idempotent
}

TEST_F(StartupTest, ShutdownWakesALongWait) {
  Use(900000);
  FakeBridge bridge;
  ASSERT_TRUE(Core().Init());
  ASSERT_TRUE(WaitForCode(bridge, 0x551, 1));
  auto start = std::chrono::steady_clock::now();
  CQelClientCore::Uninitialize();
  // Far below the 15-minute pause: the wait was woken.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

// With log recording on, the client core's own files appear in ./qellog and
// carry the bridge's lines.
TEST_F(StartupTest, LogRecordingWritesTheClientCoreFiles) {
  CCommon2::instance().SetServices(std::make_shared<FixedServices>(install_.root(), 900000, true));
  FakeBridge bridge;
  ASSERT_TRUE(Core().Init());
  CQelClientCore::Uninitialize();
  bool found = false;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("qellog", ec)) {
    std::string name = entry.path().filename().string();
    if (name.find("PC_CORE_") != std::string::npos && name.rfind("INFO_", 0) == 0) {
      found = qeltest::ReadFile(entry.path().string()).find("qelclientcore:39") != std::string::npos;
    }
  }
  EXPECT_TRUE(found);
}

TEST_F(StartupTest, DownloadFileGoesToTheCommonLibrary) {
  auto services = std::make_shared<FixedServices>(install_.root(), 900000);
  CCommon2::instance().SetServices(services);
  Core().DownloadFile("http://h/a.bin", "/tmp/x/a.bin");
  ASSERT_EQ(services->downloads.size(), 1u);
  EXPECT_EQ(services->downloads[0], (std::vector<std::string>{"http://h/a.bin", "", "/tmp/x/a.bin", "null"}));
}

// Before Init the bridge is not started: every call gives its failure
// result, without a crash.
TEST_F(StartupTest, CallsBeforeInitFail) {
  Use(900000);
  std::vector<ProductCategory> categories;
  std::vector<Product> products;
  std::wstring error;
  Core().GetTopProuductCategorys(categories);
  Core().GetProductsByCategory(1, products, -1, 10, 0);
  EXPECT_TRUE(categories.empty());
  EXPECT_TRUE(products.empty());
  EXPECT_EQ(Core().GetProductByID(UINT64_MAX), nullptr);
  EXPECT_EQ(Core().GetCompanyInfo(), nullptr);
  EXPECT_EQ(Core().GetAllProuductsCount(-1), 0);
  EXPECT_NE(Core().LogIn("u", "p", true, error), LOGIN_OK);
  EXPECT_FALSE(Core().DoDataUpdate());
}

// Holds the data update (0x570) until released, so a test can act while it
// runs.
class BlockingBridge : public FakeBridge {
 public:
  int Invoke(int code, const char* request, char** reply) override {
    if (code == 0x570) {
      std::unique_lock<std::mutex> lock(mutex_);
      ++running_;
      changed_.notify_all();
      changed_.wait(lock, [this] { return released_; });
      --running_;
    }
    return FakeBridge::Invoke(code, request, reply);
  }
  void WaitRunning() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return running_ > 0; });
  }
  void ReleaseUpdate() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int running_ = 0;
  bool released_ = false;
};

TEST_F(StartupTest, OneDataUpdateAtATime) {
  Use(900000);
  BlockingBridge bridge;
  ASSERT_TRUE(Core().Init());
  Core().DoDataUpdateAsync(nullptr);
  bridge.WaitRunning();
  EXPECT_FALSE(Core().DoDataUpdate());  // a direct update while one runs
  Core().DoDataUpdateAsync(nullptr);    // absorbed by the running one
  Core().DoDataUpdateAsync(nullptr);
  bridge.ReleaseUpdate();
  ASSERT_TRUE(WaitForCode(bridge, 0x570, 1));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  size_t updates = 0;
  for (int c : bridge.Codes()) updates += c == 0x570 ? 1 : 0;
  EXPECT_EQ(updates, 1u);
  EXPECT_TRUE(Core().DoDataUpdate());  // free again
  CQelClientCore::Uninitialize();
}

// A running update is told to stop at its next progress report once the
// client core shuts down; the host's callback is relayed until then.
int g_progressCalls = 0;
int CountProgress(int, const char*) {
  ++g_progressCalls;
  return 0;
}

TEST_F(StartupTest, ProgressIsRelayedUntilShutdown) {
  Use(900000);
  FakeBridge bridge;
  ASSERT_TRUE(Core().Init());
  Core().SetDownloadCallback(reinterpret_cast<void*>(&CountProgress));
  EXPECT_EQ(RelayUpdateProgress(5, "x"), 0);
  EXPECT_EQ(g_progressCalls, 1);
  CQelClientCore::Uninitialize();
  EXPECT_NE(RelayUpdateProgress(6, "x"), 0);
  EXPECT_EQ(g_progressCalls, 1);
}

// The update's progress reaches the host on the data-update thread. A host
// that shuts the client core down from there (as one that restarts on
// "finished" does) gets control back, and the process ends normally with
// its own exit status: no thread joins itself.
void (*g_inCallback)() = nullptr;
std::atomic<bool> g_callbackReturned{false};
int ActInCallback(int, const char*) {
  g_inCallback();
  g_callbackReturned.store(true);
  return 0;
}

// Reports progress from inside the data update, as the bridge does.
class ReportingBridge : public FakeBridge {
 public:
  int Invoke(int code, const char* request, char** reply) override {
    if (code == 0x570) RelayUpdateProgress(100, "finished");
    return FakeBridge::Invoke(code, request, reply);
  }
};

TEST_F(StartupTest, ShutdownFromTheProgressCallbackEndsTheProcessNormally) {
  const struct {
    const char* name;
    void (*inCallback)();
    int status;
  } cases[] = {
      {"Uninitialize, then main exits", [] { CQelClientCore::Uninitialize(); }, 0},
      {"exit: the at-exit shutdown and the destructor run on the callback's thread", [] { std::exit(7); }, 7},
      {"Uninitialize, then exit",
       [] {
         CQelClientCore::Uninitialize();
         std::exit(9);
       },
       9},
  };
  Use(900000);
  for (const auto& c : cases) {
    g_inCallback = c.inCallback;
    EXPECT_EXIT(
        {
          ReportingBridge bridge;
          Core().Init();
          Core().DoDataUpdateAsync(reinterpret_cast<void*>(&ActInCallback));
          for (int i = 0; i < 6000 && !g_callbackReturned.load(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          std::exit(g_callbackReturned.load() ? 0 : 3);
        },
        ::testing::ExitedWithCode(c.status), "")
        << "case: " << c.name;
  }
}

// Shutdown returns only once the data-update thread has ended: the update
// below notices the stop late and is still on its way out when the stop
// flag is set.
class LateStoppingBridge : public FakeBridge {
 public:
  std::atomic<bool> running{false};
  std::atomic<bool> ended{false};
  int Invoke(int code, const char* request, char** reply) override {
    if (code == 0x570) {
      running.store(true);
      while (!ClientCoreShutDown()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      // Widens the window in which a shutdown that does not wait returns.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      ended.store(true);
    }
    return FakeBridge::Invoke(code, request, reply);
  }
};

TEST_F(StartupTest, ShutdownWaitsForTheDataUpdateThread) {
  Use(900000);
  LateStoppingBridge bridge;
  ASSERT_TRUE(Core().Init());
  Core().DoDataUpdateAsync(nullptr);
  for (int i = 0; i < 6000 && !bridge.running.load(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(bridge.running.load());
  CQelClientCore::Uninitialize();
  EXPECT_TRUE(bridge.ended.load());
}

// Returning from main right after Init, with the thread running, ends the
// process cleanly: the threads are joined before the bridge goes away.
TEST_F(StartupTest, ExitRightAfterInitIsClean) {
  Use(900000);
  EXPECT_EXIT(
      {
        CQelClientCore::GetInstance()->Init();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
