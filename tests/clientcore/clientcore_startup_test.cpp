// Start-up, the cached-data and data-update threads, and shutdown. Each
// test runs in its own process, so the singleton starts fresh.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>
#include <vector>

#include <glog/logging.h>
#include <sqlite3.h>

#include "clientcoreruntime.h"
#include "common/qelcommon2.h"
#include "fakebridge.h"
#include "qelbridge.h"
#include "qelclientcore.h"
#include "qelresource.h"
#include "testsupport.h"

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
  EXPECT_EQ(FLAGS_stderrthreshold, google::GLOG_WARNING);  // the files take every line
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

// After shutdown every getter that fills the caller's container empties it,
// as it does on any other failure.
TEST_F(StartupTest, GettersAfterShutdownEmptyTheCallersContainer) {
  Use(900000);
  ASSERT_TRUE(Core().Init());
  CQelClientCore::Uninitialize();
  // Each case hands a container holding one element to its getter and
  // answers the size the getter left.
  auto with = [](auto element, auto call) {
    return [element, call]() mutable {
      std::vector<decltype(element)> out{element};
      call(out);
      return out.size();
    };
  };
  CQelClientCore& core = Core();
  ProductParameterFilter filter;
  const struct {
    const char* name;
    std::function<size_t()> call;
  } cases[] = {
      {"top categories", with(ProductCategory(), [&](auto& out) { core.GetTopProuductCategorys(out); })},
      {"sub categories",
       with(ProductCategory(), [&](auto& out) { core.GetSubProuductCategorys(1000001, out); })},
      {"brands", with(ProductBrand(), [&](auto& out) { core.GetProuductBrandsByCategory(out, 1000001); })},
      {"products", with(Product(), [&](auto& out) { core.GetProductsByCategory(1000001, out, -1, 10, 0); })},
      {"search", with(Product(), [&](auto& out) { core.SearchProduct("a", out); })},
      {"pictures", with(ProductPic(), [&](auto& out) { core.GetProuductPics(10000000001, -1, out); })},
      {"videos", with(ProductVideo(), [&](auto& out) { core.GetProuductVideos(10000000001, out); })},
      {"models", with(ProductModel(), [&](auto& out) { core.GetProductModels(10000000001, out); })},
      {"parameters",
       with(ProductParameter(), [&](auto& out) { core.GetProductParametersAll(10000000001, out); })},
      {"reports", with(ProductReport(), [&](auto& out) { core.GetProductReports(10000000001, out, -1, 0); })},
      {"filtered models",
       with(ProductModel(), [&](auto& out) { core.GetProductModelsByFilter(10000000001, filter, out); })},
      {"consultations",
       with(MyConsultation(), [&](auto& out) { core.GetConsultation(10000000001, out, -1, 0); })},
      {"inquiries", with(MyInquire(), [&](auto& out) { core.GetInquire(10000000001, out, -1, 0); })},
      {"areas", with(GeoTag(), [&](auto& out) { core.GetSubGeoTags(out, 0); })},
      {"certificate categories", with(EntCertCategory(), [&](auto& out) { core.GetEntCertCategorys(out); })},
      {"certificates", with(EntCert(), [&](auto& out) { core.GetEntCertsByCategory(1, out, -1, 0); })},
      {"certificate groups", with(EntCertsGroup(), [&](auto& out) { core.GetAllEntCertGroup(out); })},
      {"case resources", with(EntCaseRes(), [&](auto& out) { core.GetEntCaseRes(1, 1, out); })},
  };
  for (const auto& c : cases) EXPECT_EQ(c.call(), 0u) << "getter: " << c.name;

  std::map<PRODUCTDETAILHEAD, ProductDetailHead> tabs{{PRODUCTDETAILHEAD(), ProductDetailHead()}};
  EXPECT_FALSE(core.GetProductDetailHead(10000000001, tabs));
  EXPECT_TRUE(tabs.empty());
  ProductParameterValueMap values{{1, {}}};
  core.GetProductParameterValuesByFilter(10000000001, filter, values);
  EXPECT_TRUE(values.empty());
}

// A start that fails on a damaged table the start reads: Init() is false,
// and once the file is repaired the next Init() starts the bridge and the
// catalogue loads.
struct DamagedAtStart {
  const char* table;
  bool mainDatabase;
};

class DamagedStartTest : public StartupTest, public ::testing::WithParamInterface<DamagedAtStart> {};

TEST_P(DamagedStartTest, NextInitLoadsTheRepairedFile) {
  const DamagedAtStart& c = GetParam();
  install_.Ex("INSERT INTO COMPANY (ID, SERIALID, COMTEMP) VALUES ('1001', 'S77', 'T5');");
  install_.Main("INSERT INTO USERINFO (UID, USERID, REMEMBER) VALUES ('u7', 'li', 1);");
  const std::string db = c.mainDatabase ? install_.dataDb() : install_.exDb();
  const std::string copy = db + ".good";
  std::filesystem::copy_file(db, copy);
  qeltest::DamageTable(db, c.table);
  Use(900000);
  EXPECT_FALSE(Core().Init());
  EXPECT_FALSE(Core().Init()) << "still damaged";

  // Repaired as a tool would, through SQLite: the good copy restored.
  sqlite3* good = nullptr;
  sqlite3* target = nullptr;
  ASSERT_EQ(sqlite3_open(copy.c_str(), &good), SQLITE_OK);
  ASSERT_EQ(sqlite3_open(db.c_str(), &target), SQLITE_OK);
  // The usage records' sender reads the file as it starts and may still
  // hold that short lock: the repair waits it out, as a tool would.
  sqlite3_busy_timeout(target, 60000);
  sqlite3_backup* backup = sqlite3_backup_init(target, "main", good, "main");
  ASSERT_NE(backup, nullptr);
  EXPECT_EQ(sqlite3_backup_step(backup, -1), SQLITE_DONE);
  EXPECT_EQ(sqlite3_backup_finish(backup), SQLITE_OK);
  sqlite3_close(target);
  sqlite3_close(good);
  EXPECT_TRUE(Core().Init());
  EXPECT_TRUE(Core().Init());
  // The remembered user was read by the start.
  EXPECT_TRUE(Core().IsUserInTheLogin());
}

INSTANTIATE_TEST_SUITE_P(Tables, DamagedStartTest,
                         ::testing::Values(DamagedAtStart{"USERINFO", true},
                                           DamagedAtStart{"COMPANY", false}),
                         [](const ::testing::TestParamInfo<DamagedAtStart>& info) {
                           return std::string(info.param.table);
                         });

// After shutdown a later Init() stays false, even after a failed start.
TEST_F(StartupTest, ShutdownAfterAFailedStartStaysFinal) {
  qeltest::DamageTable(install_.dataDb(), "USERINFO");
  Use(900000);
  EXPECT_FALSE(Core().Init());
  CQelClientCore::Uninitialize();
  EXPECT_FALSE(Core().Init());
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

// Waits until flag holds; false after a bound far beyond any machine's pace.
bool WaitUntil(const std::atomic<bool>& flag) {
  for (int i = 0; i < 6000 && !flag.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return flag.load();
}

// The data update of the two tests below: it reports once (the callback
// may shut the client core down) and says when it has ended.
std::atomic<bool> g_shutDownInCallback{false};
int ShutDownAndLinger(int, const char*) {
  CQelClientCore::Uninitialize();
  g_shutDownInCallback.store(true);
  // Still on its way out when the host's own shutdown comes.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  return 0;
}

class EndingBridge : public FakeBridge {
 public:
  std::atomic<bool> ended{false};
  int Invoke(int code, const char* request, char** reply) override {
    if (code == 0x570) RelayUpdateProgress(100, "finished");
    int result = FakeBridge::Invoke(code, request, reply);
    if (code == 0x570) ended.store(true);
    return result;
  }
};

// glog, set up by the client core, ends with the last shutdown, once that
// one has joined every thread: also the data-update thread that a shutdown
// from its own progress callback had to leave behind.
TEST_F(StartupTest, LastShutdownJoinsEveryThreadThenEndsGlog) {
  const struct {
    const char* name;
    bool shutDownInCallback;
  } cases[] = {
      {"Uninitialize from the host", false},
      {"Uninitialize from the progress callback, then from the host", true},
  };
  for (const auto& c : cases) {
    EXPECT_EXIT(
        {
          CCommon2::instance().SetServices(std::make_shared<FixedServices>(install_.root(), 900000, true));
          EndingBridge bridge;
          if (google::IsGoogleLoggingInitialized() || !Core().Init() || !google::IsGoogleLoggingInitialized())
            std::exit(10);
          if (c.shutDownInCallback) {
            Core().DoDataUpdateAsync(reinterpret_cast<void*>(&ShutDownAndLinger));
            if (!WaitUntil(g_shutDownInCallback)) std::exit(11);
            // The callback's shutdown cannot join its own thread, so glog stays.
            if (!google::IsGoogleLoggingInitialized()) std::exit(12);
          }
          CQelClientCore::Uninitialize();
          if (c.shutDownInCallback && !bridge.ended.load()) std::exit(13);  // not joined
          if (google::IsGoogleLoggingInitialized()) std::exit(14);          // glog left running
          std::exit(0);
        },
        ::testing::ExitedWithCode(0), "")
        << "case: " << c.name;
  }
}

// A second shutdown while the first still joins the threads leaves glog to
// the first: the data update still running may write a line.
class JoinedLateBridge : public FakeBridge {
 public:
  std::atomic<bool> running{false};
  std::atomic<bool> stopSeen{false};
  std::atomic<bool> secondShutdownReturned{false};
  std::atomic<bool> glogRanToTheEnd{false};
  int Invoke(int code, const char* request, char** reply) override {
    if (code == 0x570) {
      running.store(true);
      while (!ClientCoreShutDown()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      stopSeen.store(true);
      WaitUntil(secondShutdownReturned);
      glogRanToTheEnd.store(google::IsGoogleLoggingInitialized());
    }
    return FakeBridge::Invoke(code, request, reply);
  }
};

TEST_F(StartupTest, GlogStaysWhileAnotherShutdownStillJoins) {
  CCommon2::instance().SetServices(std::make_shared<FixedServices>(install_.root(), 900000, true));
  JoinedLateBridge bridge;
  ASSERT_FALSE(google::IsGoogleLoggingInitialized());
  ASSERT_TRUE(Core().Init());
  Core().DoDataUpdateAsync(nullptr);
  ASSERT_TRUE(WaitUntil(bridge.running));
  std::thread first([] { CQelClientCore::Uninitialize(); });
  EXPECT_TRUE(WaitUntil(bridge.stopSeen));
  CQelClientCore::Uninitialize();  // finds the threads taken by the first
  bridge.secondShutdownReturned.store(true);
  first.join();
  EXPECT_TRUE(bridge.glogRanToTheEnd.load());
  EXPECT_FALSE(google::IsGoogleLoggingInitialized());  // the first ended it
}

// Before Init nothing reaches the bridge, even one the host started itself
// with an installation that would answer: nothing is read, stored or queued.
TEST_F(StartupTest, CallsBeforeInitReachNotEvenAStartedBridge) {
  Use(900000);
  // The sample's catalogue, so that the bridge has something to answer.
  const std::string sample = std::string(QEL_SOURCE_DIR) + "/data/sample/10_catalogue.";
  install_.Ex(qeltest::ReadFile(sample + "qel_exdata.sql"));
  install_.Main(qeltest::ReadFile(sample + "qel_data.sql"));
  ASSERT_EQ(InitQelbridge(260, install_.StartupJson().c_str()), 0);
  auto rows = [this](const std::string& query) {
    return install_.QueryMain("SELECT COUNT(*) FROM " + query).at(0);
  };
  const std::string seen = "PRODUCT_EXTEND WHERE PROD_ID = '10000000003'";
  const struct {
    const char* name;
    std::function<bool()> core;  // true when the call got anything
    int code;                    // what the bridge answers when asked itself
    const char* request;
    std::function<bool(const std::string& reply)> answered;
  } cases[] = {
      {"top categories",
       [] {
         std::vector<ProductCategory> out;
         CQelClientCore::GetInstance()->GetTopProuductCategorys(out);
         return !out.empty();
       },
       0x601, "", [](const std::string& reply) { return reply.find("1000001") != std::string::npos; }},
      {"visit record",
       [&rows] {
         CQelClientCore::GetInstance()->behavior_visitProduct(10000000003);
         return rows("BEHAVIOR") != "0";
       },
       0x553, R"({"prodId":"10000000003"})", [&rows](const std::string&) { return rows("BEHAVIOR") != "0"; }},
      {"mark seen",
       [&] { return CQelClientCore::GetInstance()->UpdateProductStatus(10000000003) || rows(seen) != "0"; },
       0x522, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"10000000003"}}})",
       [&](const std::string&) { return rows(seen) != "0"; }},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(c.core()) << "case: " << c.name;
    // The bridge itself would have answered: the test sees a call that reaches it.
    char* reply = nullptr;
    EXPECT_EQ(Invoke(c.code, c.request, &reply), 0) << "case: " << c.name;
    EXPECT_TRUE(c.answered(reply != nullptr ? reply : "")) << "case: " << c.name << "\n"
                                                           << (reply != nullptr ? reply : "");
    DeleteJsonStr(&reply);
  }
}

// A data update asked for before Init is refused, not started then or kept
// for later.
TEST_F(StartupTest, DataUpdateAsyncBeforeInitStartsNothing) {
  Use(900000);
  FakeBridge bridge;  // stands in for a started bridge: only the client core's own check refuses
  Core().DoDataUpdateAsync(nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(Core().Init());
  ASSERT_TRUE(WaitForCode(bridge, 0x551, 1));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  for (int code : bridge.Codes()) EXPECT_NE(code, 0x570) << "an update ran";
  Core().DoDataUpdateAsync(nullptr);
  EXPECT_TRUE(WaitForCode(bridge, 0x570, 1));
  CQelClientCore::Uninitialize();
}

}  // namespace
