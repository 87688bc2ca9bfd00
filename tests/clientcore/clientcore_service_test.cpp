// The account, interaction and update families end to end: the client core
// on the real bridge, on the sample installation, with a loopback service
// as QEL_SERVER_PATH. Each test is its own process, so each starts the
// client core once.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "../bridge/update_fixture.h"
#include "bridgecall.h"
#include "common/qelcommon2.h"
#include "httptestserver.h"
#include "qel/json.h"
#include "qelbridge.h"
#include "qelclientcore.h"
#include "testsupport.h"

namespace {

namespace fs = std::filesystem;
using namespace qelclientcore;
namespace detail = qelclientcore::detail;
using qeltest::Gbk;

constexpr uint64_t kProduct = 10000000003;  // in the sample, not a favourite, no consultation

Json::Value Object(const std::vector<std::pair<std::string, std::string>>& members) {
  Json::Value object(Json::objectValue);
  for (const auto& [name, value] : members) object[name] = value;
  return object;
}

Json::Value OneItem(const std::string& status, const Json::Value& result = Json::Value("")) {
  Json::Value items(Json::arrayValue);
  items.append(Object({{"status", status}}));
  items[0]["result"] = result;
  return items;
}

// The user object of a login reply, as the service writes it (UTF-8).
Json::Value ServiceUser(const std::string& uid, const std::string& name) {
  return Object({{"userId", uid},
                 {"name", name},
                 {"showMobile", "13900000000"},
                 {"companyName", "杭州示例贸易公司"},
                 {"showEmail", "li@example.com"},
                 {"position", "采购"},
                 {"tel1", "0571"},
                 {"tel2", "8888"},
                 {"tel3", "01"}});
}

// Polls until done() holds; false after limitMs (a bound for a broken test).
bool WaitFor(const std::function<bool()>& done, int limitMs = 30000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A service that accepts every call and answers none until released: the
// calls are recorded, then their worker waits.
class SilentService {
 public:
  explicit SilentService(qeltest::HttpTestServer& server) : server_(server) {
    server_.SetRpcHook([this](const qeltest::RpcCall&) {
      std::unique_lock<std::mutex> lock(mutex_);
      released_cv_.wait(lock, [this] { return released_; });
    });
  }
  ~SilentService() {
    Release();
    server_.SetRpcHook(nullptr);
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    released_cv_.notify_all();
  }

 private:
  qeltest::HttpTestServer& server_;
  std::mutex mutex_;
  std::condition_variable released_cv_;
  bool released_ = false;
};

// The bridge's Invoke, with the result of every call kept by code.
class RecordingInvoker : public detail::BridgeInvoker {
 public:
  RecordingInvoker() { previous_ = detail::SetBridgeInvoker(this); }
  ~RecordingInvoker() override { detail::SetBridgeInvoker(previous_); }
  int Invoke(int code, const char* request, char** reply) override {
    int result = ::Invoke(code, request, reply);
    std::lock_guard<std::mutex> lock(mutex_);
    results_[code].push_back(result);
    return result;
  }
  void Release(char** reply) override { ::DeleteJsonStr(reply); }
  std::vector<int> Results(int code) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = results_.find(code);
    return found != results_.end() ? found->second : std::vector<int>();
  }

 private:
  mutable std::mutex mutex_;
  std::map<int, std::vector<int>> results_;
  detail::BridgeInvoker* previous_ = nullptr;
};

// Runs Uninitialize on a thread of its own; Wait says whether it returned
// within a bound far beyond any machine's pace yet far below the transport
// time-outs the tests set.
class ShutdownThread {
 public:
  ShutdownThread()
      : thread_([this] {
          CQelClientCore::Uninitialize();
          done_.store(true);
        }) {}
  ~ShutdownThread() { thread_.join(); }
  bool Wait() {
    return WaitFor([this] { return done_.load(); }, 60000);
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// The sample installation (data/sample) and a loopback service, reached the
// way a host reaches them: through the environment the common library reads.
class ServiceEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(std::string(QEL_SOURCE_DIR) + "/data/sample"))
      files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
      const std::string sql = qeltest::ReadFile(file.string());
      if (file.string().find(".qel_exdata.sql") != std::string::npos) {
        install_.Ex(sql);
      } else {
        install_.Main(sql);
      }
    }
    install_.Ex("UPDATE COMPANY SET PACKTIME = 100;");
    // Descriptions of the failure codes the tests meet; a failure reply
    // carries them as ERRORDESC.
    install_.Main(
        "INSERT INTO ERRORINFO (ERRORCODE, ERRORLEVE) VALUES ('1', '1'), ('100011', '2'), ('100013', '2'),"
        " ('100020', '2');"
        "INSERT INTO ERRORINFO_LANG (ERRORCODE, LANG, ERRORDESC) VALUES ('1', 3, '请求失败'),"
        " ('100011', 3, '账号已注册'), ('100013', 3, '账号不存在'), ('100020', 3, '密码错误');");
    ::setenv("QEL_INSTALL_DIR", install_.root().c_str(), 1);
    ::setenv("QEL_SERVER_PATH", ServerPath().c_str(), 1);
    ::setenv("QEL_CACHED_DATA_INTERVAL_MS", CachedDataInterval(), 1);
    ::unsetenv("QEL_LOG_RECORD");
    CCommon2::instance().SetServices(nullptr);
    ASSERT_TRUE(Core().Init());
  }

  virtual const char* CachedDataInterval() { return "900000"; }
  virtual std::string ServerPath() { return server_.RpcUrl(); }

  static CQelClientCore& Core() { return *CQelClientCore::GetInstance(); }

  // Calls the service received for one interfaceUrl and method, in order.
  std::vector<qeltest::RpcCall> CallsOf(const std::string& service) const {
    std::vector<qeltest::RpcCall> calls;
    for (const qeltest::RpcCall& call : server_.RpcCalls()) {
      for (size_t i = 0; i < call.requests.size(); ++i) {
        if (call.Service(i) == service) calls.push_back(call);
      }
    }
    return calls;
  }
  // The param of the first request object of that service in call.
  static Json::Value ParamOf(const qeltest::RpcCall& call, const std::string& service) {
    for (size_t i = 0; i < call.requests.size(); ++i) {
      if (call.Service(i) == service) return call.Param(i);
    }
    return Json::Value();
  }

  void LogInAs(const std::string& uid, const std::string& utf8Name, const std::string& gbkAccount = "li") {
    server_.ScriptRpc("PassportService.json", "login", "100000", ServiceUser(uid, utf8Name));
    std::wstring error;
    ASSERT_EQ(Core().LogIn(gbkAccount, "pw", true, error), LOGIN_OK);
  }

  qeltest::TransportTimeouts timeouts_{qeltest::TransportTimeouts::kHealthy};
  qeltest::HttpTestServer server_;
  qeltest::Installation install_{"install", "V1.2.3.4"};
};

// The result enum comes from the bridge's result code; the reply's
// ERRORDESC is copied out only for a failure reply.
TEST_F(ServiceEndToEnd, LogInResultTable) {
  // kShutDown: the client core has shut down, so the bridge gives no reply.
  enum Answer { kItem, kHtml, kShutDown };
  const struct {
    const char* name;
    Answer answer;
    const char* status;
    LoginRst result;
    const wchar_t* error;  // null: left as it was
    bool loggedIn;
  } cases[] = {
      {"100020", kItem, "100020", LOGIN_FAIL_100020, L"密码错误", false},
      {"100013", kItem, "100013", LOGIN_FAIL_100013, L"账号不存在", false},
      {"other refusal", kItem, "100011", LOGIN_FAIL_OTHER, L"账号已注册", false},
      {"html answer", kHtml, "", LOGIN_FAIL_OTHER, L"服务器返回了无法识别的结果", false},
      {"accepted", kItem, "100000", LOGIN_OK, nullptr, true},
      {"refusal keeps the user", kItem, "100020", LOGIN_FAIL_100020, L"密码错误", true},
      {"no reply", kShutDown, "100000", LOGIN_FAIL_OTHER, nullptr, false},
  };
  for (const auto& c : cases) {
    server_.ClearRpcScripts();
    if (c.answer != kHtml)
      server_.ScriptRpc("PassportService.json", "login", c.status, ServiceUser("u7", "李四"));
    if (c.answer == kHtml)
      server_.ScriptRpcRaw("PassportService.json", "login", 200, "<html>ok</html>", "text/html");
    if (c.answer == kShutDown) CQelClientCore::Uninitialize();
    const size_t before = CallsOf("PassportService.json login").size();
    std::wstring error = L"untouched";
    EXPECT_EQ(Core().LogIn("li", "pw", false, error), c.result) << "case: " << c.name;
    EXPECT_EQ(error, c.error != nullptr ? c.error : L"untouched") << "case: " << c.name;
    std::vector<qeltest::RpcCall> calls = CallsOf("PassportService.json login");
    const size_t sent = c.answer == kShutDown ? 0 : 1;
    ASSERT_EQ(calls.size(), before + sent) << "case: " << c.name;
    if (sent != 0) {
      EXPECT_EQ(calls.back().Param(0), Object({{"name", "li"}, {"passwd", "pw"}, {"type", "1"}}))
          << "case: " << c.name;
    }
    EXPECT_EQ(Core().IsUserInTheLogin(), c.loggedIn) << "case: " << c.name;
  }
}

// Texts of failures whose code the installation's error table lacks: the
// built-in text of the code's kind stands in, never an empty text.
const wchar_t kServiceText[] = L"服务未能完成请求，请稍后重试";
const wchar_t kNetworkText[] = L"网络连接失败，请检查网络后重试";
const wchar_t kLocalText[] = L"本地数据无法读取或保存，请稍后重试";

TEST_F(ServiceEndToEnd, FailureTextsOfCodesTheTableLacks) {
  install_.Main("DELETE FROM ERRORINFO_LANG; DELETE FROM ERRORINFO;");
  const struct {
    const char* name;
    const char* status;  // null: an HTML page
    const char* user;
    const char* dropTable;  // null: none
    LoginRst result;
    const wchar_t* error;
  } cases[] = {
      {"wrong password", "100020", "li", nullptr, LOGIN_FAIL_100020, kServiceText},
      {"unknown account", "100013", "li", nullptr, LOGIN_FAIL_100013, kServiceText},
      {"html answer", nullptr, "li", nullptr, LOGIN_FAIL_OTHER, kServiceText},
      {"account that is no GBK", "100000", "li\xFF", nullptr, LOGIN_FAIL_OTHER, kLocalText},
      {"accepted, the user cannot be stored", "100000", "li", "USERINFO", LOGIN_FAIL_OTHER, kLocalText},
  };
  for (const auto& c : cases) {
    server_.ClearRpcScripts();
    if (c.status != nullptr) {
      server_.ScriptRpc("PassportService.json", "login", c.status, ServiceUser("u7", "李四"));
    } else {
      server_.ScriptRpcRaw("PassportService.json", "login", 200, "<html>ok</html>", "text/html");
    }
    if (c.dropTable != nullptr) install_.Main(std::string("DROP TABLE ") + c.dropTable + ";");
    std::wstring error = L"untouched";
    EXPECT_EQ(Core().LogIn(c.user, "pw", false, error), c.result) << "case: " << c.name;
    EXPECT_EQ(error, c.error) << "case: " << c.name;
  }
}

// A service that cannot be reached: the transport's failure has the
// network's text when the table has none for it.
class ServiceUnreachable : public ServiceEndToEnd {
 protected:
  std::string ServerPath() override { return server_.RefusedUrl("/rpc"); }
};

TEST_F(ServiceUnreachable, TransportFailureHasTheNetworkText) {
  install_.Main("DELETE FROM ERRORINFO_LANG; DELETE FROM ERRORINFO;");
  std::wstring error;
  EXPECT_EQ(Core().LogIn("li", "pw", false, error), LOGIN_FAIL_OTHER);
  EXPECT_EQ(error, kNetworkText);
  error.clear();
  EXPECT_EQ(Core().SendRegCode("li@example.com", 1, error), REGSENDCODE_FAIL);
  EXPECT_EQ(error, kNetworkText);
}

// A name from the service (UTF-8) is stored in SQLite and comes back as the
// record's wide text.
TEST_F(ServiceEndToEnd, LoggedInUserReadsBackAsWideText) {
  UserRegInfo before;
  Core().GetUserInfo(before);
  EXPECT_TRUE(before.uid.empty());
  LogInAs("u-张", "张三", Gbk("张三账号"));
  // The GBK account reaches the service as UTF-8.
  EXPECT_EQ(CallsOf("PassportService.json login").back().Param(0)["name"].asString(), "张三账号");
  EXPECT_EQ(install_.QueryMain("SELECT UID, USERID, NAME, COMPNAME, REMEMBER FROM USERINFO"),
            std::vector<std::string>{"u-张|张三账号|张三|杭州示例贸易公司|1"});
  UserRegInfo user;
  Core().GetUserInfo(user);
  EXPECT_EQ(user.uid, L"u-张");
  EXPECT_EQ(user.userId, L"张三账号");
  EXPECT_EQ(user.name, L"张三");
  EXPECT_EQ(user.compName, L"杭州示例贸易公司");
  EXPECT_EQ(user.position, L"采购");
  EXPECT_EQ(user.mobile, L"13900000000");
  EXPECT_EQ(user.email, L"li@example.com");
  EXPECT_EQ(user.tel1, L"0571");
  EXPECT_TRUE(Core().IsUserInTheLogin());
}

TEST_F(ServiceEndToEnd, FavouriteShowsOnTheCachedAndTheQueriedProduct) {
  Product* cached = Core().GetProductByID(kProduct);
  ASSERT_NE(cached, nullptr);
  EXPECT_EQ(cached->favorite, 0);
  EXPECT_FALSE(Core().IsProductInFavorite(kProduct));
  server_.ScriptRpc("FavService.json", "saveProdFav", "100000");

  ASSERT_TRUE(Core().AddProductToFavorite(kProduct));
  EXPECT_EQ(cached->favorite, 1) << "the cached record";
  EXPECT_EQ(Core().GetProductByID(kProduct)->favorite, 1);
  EXPECT_TRUE(Core().IsProductInFavorite(kProduct));
  const std::vector<Product>* favourites = Core().GetFavoriteProducts(0, 0);
  ASSERT_NE(favourites, nullptr);
  std::vector<uint64_t> ids;
  for (const Product& p : *favourites) ids.push_back(p.productId);
  EXPECT_NE(std::find(ids.begin(), ids.end(), kProduct), ids.end());
  const std::vector<Product>* all = Core().GetAllProuducts(-1, 1000, 0);
  ASSERT_NE(all, nullptr);
  auto queried =
      std::find_if(all->begin(), all->end(), [](const Product& p) { return p.productId == kProduct; });
  ASSERT_NE(queried, all->end());
  EXPECT_EQ(queried->favorite, 1) << "a fresh query";

  // The queued request reaches the service with the next send.
  Core().sendCachedDataSync();
  ASSERT_TRUE(WaitFor([this] { return !CallsOf("FavService.json saveProdFav").empty(); }));
  Json::Value param = ParamOf(CallsOf("FavService.json saveProdFav")[0], "FavService.json saveProdFav");
  EXPECT_EQ(param["prodId"].asString(), "10000000003");
  EXPECT_EQ(param["isFav"].asString(), "1");
  EXPECT_EQ(param["compId"].asString(), "10001");

  ASSERT_TRUE(Core().RemoveProductFromFavorite(kProduct));
  EXPECT_EQ(Core().GetProductByID(kProduct)->favorite, 0);
  EXPECT_FALSE(Core().IsProductInFavorite(kProduct));
}

// Marking a product seen changes its cached record and what later queries
// read ("1" seen, "2" new).
TEST_F(ServiceEndToEnd, MarkSeenShowsOnTheCachedAndTheQueriedProduct) {
  Product* cached = Core().GetProductByID(kProduct);
  ASSERT_NE(cached, nullptr);
  EXPECT_EQ(cached->status, 2);
  ASSERT_TRUE(Core().UpdateProductStatus(kProduct));
  EXPECT_EQ(cached->status, 1) << "the cached record";
  std::vector<Product> listed;
  Core().GetProductsByCategory(1000001, listed, -1, 1000, 0);
  auto queried =
      std::find_if(listed.begin(), listed.end(), [](const Product& p) { return p.productId == kProduct; });
  ASSERT_NE(queried, listed.end());
  EXPECT_EQ(queried->status, 1) << "a fresh query";
  EXPECT_EQ(install_.QueryMain("SELECT COUNT(*) FROM PRODUCT_EXTEND WHERE PROD_ID = '10000000003'"),
            std::vector<std::string>{"1"});
}

// Submitted consultations are stored (also when the service refuses them,
// for a later resend), listed, counted and deleted.
TEST_F(ServiceEndToEnd, ConsultationsSubmitListAndDelete) {
  LogInAs("u7", "李四");
  enum Answer { kAccepted, kRefused, kHtml };
  const struct {
    const char* name;
    Answer answer;
    bool result;
  } cases[] = {
      {"accepted", kAccepted, true},
      {"refused", kRefused, false},
      {"html answer", kHtml, false},
  };
  for (const auto& c : cases) {
    server_.ClearRpcScripts();
    if (c.answer == kAccepted) server_.ScriptRpc("ConsultService.json", "saveProdConsult", "100000");
    if (c.answer == kRefused) server_.ScriptRpc("ConsultService.json", "saveProdConsult", "100020");
    if (c.answer == kHtml)
      server_.ScriptRpcRaw("ConsultService.json", "saveProdConsult", 200, "<html></html>", "text/html");
    const size_t before = CallsOf("ConsultService.json saveProdConsult").size();
    MyConsultation consult;
    consult.consultId = 0;
    consult.productId = kProduct;
    consult.content =
        L"请问\"交货期\"多久？ " + std::wstring(c.name, c.name + std::char_traits<char>::length(c.name));
    consult.addTime = L"2026-12-10 10:00:00";
    consult.mobileNum = L"13900000000";
    consult.email = L"li@example.com";
    EXPECT_EQ(Core().NewConsult(consult), c.result) << "case: " << c.name;
    std::vector<qeltest::RpcCall> calls = CallsOf("ConsultService.json saveProdConsult");
    ASSERT_EQ(calls.size(), before + 1) << "case: " << c.name;
    Json::Value param = ParamOf(calls.back(), "ConsultService.json saveProdConsult");
    EXPECT_EQ(param["content"].asString(), "请问\"交货期\"多久？ " + std::string(c.name))
        << "case: " << c.name;
    EXPECT_EQ(param["prodId"].asString(), "10000000003") << "case: " << c.name;
    EXPECT_EQ(param["addUid"].asString(), "u7") << "case: " << c.name;
  }

  // The product's three and the sample's general one (no product).
  EXPECT_EQ(Core().GetConsultationCount(kProduct), 4);
  std::vector<MyConsultation> list;
  Core().GetConsultation(kProduct, list, -1, -1);
  ASSERT_EQ(list.size(), 4u);
  std::vector<std::wstring> contents;
  for (const MyConsultation& c : list) contents.push_back(c.content);
  EXPECT_NE(std::find(contents.begin(), contents.end(), L"请问\"交货期\"多久？ accepted"), contents.end());
  EXPECT_NE(std::find(contents.begin(), contents.end(), L"请问\"交货期\"多久？ refused"), contents.end());
  auto accepted = std::find_if(list.begin(), list.end(), [](const MyConsultation& c) {
    return c.content.find(L"accepted") != std::wstring::npos;
  });
  ASSERT_NE(accepted, list.end());
  const int acceptedId = accepted->consultId;
  EXPECT_GT(acceptedId, 0) << "an accepted consultation keeps a positive id";
  ASSERT_NE(Core().GetConsultationById(acceptedId), nullptr);
  EXPECT_EQ(Core().GetConsultationById(acceptedId)->productId, kProduct);

  EXPECT_TRUE(Core().DelConsultation(kProduct, acceptedId));
  EXPECT_EQ(Core().GetConsultationById(acceptedId), nullptr);
  EXPECT_EQ(Core().GetConsultationCount(kProduct), 3);
  EXPECT_TRUE(
      install_.QueryMain("SELECT 1 FROM PROD_CONSULT WHERE CONSULT_ID = " + std::to_string(acceptedId))
          .empty());
  // The general consultation (no product) is deleted with the empty id.
  auto general =
      std::find_if(list.begin(), list.end(), [](const MyConsultation& c) { return c.productId == 0; });
  ASSERT_NE(general, list.end());
  EXPECT_TRUE(Core().DelConsultation(0, general->consultId));
  EXPECT_EQ(Core().GetConsultationCount(kProduct), 2);
}

// An inquiry with an attachment: the file is uploaded, the inquiry sent,
// stored for the logged-in user, listed and deleted.
TEST_F(ServiceEndToEnd, InquiriesSubmitWithAttachmentListAndDelete) {
  LogInAs("u7", "李四");
  server_.ScriptRpc("InquiryService.json", "saveProdInquiry", "100000");
  const std::string attachment = qeltest::TestDir() + "/誠报价单.txt";
  qeltest::WriteFile(attachment, "quote lines");

  MyInquire inquire;
  inquire.inquiryId = 0;
  inquire.productId = kProduct;
  inquire.num = 12;
  inquire.content = L"请报价";
  inquire.contact = L"李四";
  inquire.arear = 86010101;
  inquire.address = L"西湖区";
  inquire.img = GbkToWide(Gbk(attachment));
  inquire.mobileNum = L"13900000000";
  inquire.email = L"li@example.com";
  inquire.addTime = L"2026-12-10";
  inquire.dueDate = L"2027-01-01";
  ASSERT_TRUE(Core().NewInquire(inquire, false));

  std::vector<qeltest::HttpRequestRecord> uploads = server_.Uploads();
  ASSERT_EQ(uploads.size(), 1u);
  EXPECT_EQ(uploads[0].body, "quote lines");
  std::vector<qeltest::RpcCall> calls = CallsOf("InquiryService.json saveProdInquiry");
  ASSERT_EQ(calls.size(), 1u);
  Json::Value param = ParamOf(calls[0], "InquiryService.json saveProdInquiry");
  EXPECT_EQ(param["prodId"].asString(), "10000000003");
  EXPECT_EQ(param["content"].asString(), "请报价");
  EXPECT_EQ(param["addUid"].asString(), "u7");

  EXPECT_EQ(Core().GetInquireCount(kProduct), 1);
  std::vector<MyInquire> list;
  Core().GetInquire(kProduct, list, -1, -1);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].content, L"请报价");
  EXPECT_EQ(list[0].contact, L"李四");
  EXPECT_EQ(list[0].productId, kProduct);
  EXPECT_EQ(list[0].arear, 86010101);
  const int id = list[0].inquiryId;
  ASSERT_NE(Core().GetInquireById(id), nullptr);

  EXPECT_TRUE(Core().DelInquire(kProduct, id));
  EXPECT_EQ(Core().GetInquireById(id), nullptr);
  EXPECT_EQ(Core().GetInquireCount(kProduct), 0);
  Core().RefreshInquire(kProduct, 0);
  EXPECT_EQ(Core().GetInquireById(id), nullptr);
}

// The service cannot be reached while this lives: its address and the
// upload address redirect to a port that refuses connections, so nothing
// reaches the service.
class ServiceOffline {
 public:
  static constexpr const char* kUploadPath = "/servlet/UpLoadServer";
  explicit ServiceOffline(qeltest::HttpTestServer& server) : server_(server) {
    server_.AddRedirect(qeltest::HttpTestServer::kRpcPath, 307,
                        server_.RefusedUrl(qeltest::HttpTestServer::kRpcPath));
    server_.AddRedirect(kUploadPath, 307, server_.RefusedUrl(kUploadPath));
  }
  ~ServiceOffline() {
    server_.RemoveRedirect(qeltest::HttpTestServer::kRpcPath);
    server_.RemoveRedirect(kUploadPath);
  }

 private:
  qeltest::HttpTestServer& server_;
};

// A new inquiry about kProduct with the file at path (GBK) attached.
MyInquire AttachedInquiry(const std::wstring& content, const std::string& path) {
  MyInquire inquire;
  inquire.inquiryId = 0;
  inquire.productId = kProduct;
  inquire.content = content;
  inquire.img = GbkToWide(Gbk(path));
  return inquire;
}

// A consultation submitted offline is kept under the id the record then
// holds, listed with it and sent by nothing on its own; submitted again with
// that id once the service is back, it reaches the service once and is
// stored once.
TEST_F(ServiceEndToEnd, ConsultationKeptOfflineReachesTheServiceOnceWhenSubmittedAgain) {
  LogInAs("u7", "李四");
  server_.ScriptRpc("ConsultService.json", "saveProdConsult", "100000");
  MyConsultation consult;
  consult.consultId = 0;
  consult.productId = kProduct;
  consult.content = L"离线时的问题";
  consult.addTime = L"2026-12-10 10:00:00";
  {
    ServiceOffline offline(server_);
    EXPECT_FALSE(Core().NewConsult(consult));
  }
  const int kept = consult.consultId;
  EXPECT_LE(kept, -2);
  auto listed = [this] {
    std::vector<int> ids;
    std::vector<MyConsultation> list;
    Core().GetConsultation(kProduct, list, -1, -1);
    for (const MyConsultation& c : list) {
      if (c.content == L"离线时的问题") ids.push_back(c.consultId);
    }
    return ids;
  };
  EXPECT_EQ(listed(), std::vector<int>{kept});
  Core().sendCachedDataSync();
  EXPECT_TRUE(CallsOf("ConsultService.json saveProdConsult").empty());

  EXPECT_TRUE(Core().NewConsult(consult));
  Core().sendCachedDataSync();
  std::vector<qeltest::RpcCall> calls = CallsOf("ConsultService.json saveProdConsult");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(ParamOf(calls[0], "ConsultService.json saveProdConsult")["content"].asString(), "离线时的问题");
  const std::vector<int> ids = listed();
  ASSERT_EQ(ids.size(), 1u);
  EXPECT_GT(ids[0], 0);
}

// The same for an inquiry with an attachment: the copy made offline is the
// one uploaded, once, when the inquiry is submitted again.
TEST_F(ServiceEndToEnd, InquiryKeptOfflineReachesTheServiceOnceWhenSubmittedAgain) {
  LogInAs("u7", "李四");
  server_.ScriptRpc("InquiryService.json", "saveProdInquiry", "100000");
  const std::string attachment = qeltest::TestDir() + "/offline.txt";
  qeltest::WriteFile(attachment, "quote lines");
  MyInquire inquire = AttachedInquiry(L"离线询价", attachment);
  {
    ServiceOffline offline(server_);
    EXPECT_FALSE(Core().NewInquire(inquire, false));
  }
  const int kept = inquire.inquiryId;
  EXPECT_LE(kept, -2);
  std::vector<MyInquire> list;
  Core().GetInquire(kProduct, list, -1, -1);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].inquiryId, kept);
  EXPECT_TRUE(CallsOf("InquiryService.json saveProdInquiry").empty());
  // The upload was turned away at the address (recorded there, never
  // answered as an upload).
  const size_t turnedAway = server_.Uploads().size();
  // The original may be gone by then: the kept copy is what goes.
  fs::remove(attachment);

  EXPECT_TRUE(Core().NewInquire(inquire, false));
  Core().sendCachedDataSync();
  std::vector<qeltest::HttpRequestRecord> uploads = server_.Uploads();
  ASSERT_EQ(uploads.size(), turnedAway + 1);
  EXPECT_EQ(uploads.back().body, "quote lines");
  std::vector<qeltest::RpcCall> calls = CallsOf("InquiryService.json saveProdInquiry");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_NE(ParamOf(calls[0], "InquiryService.json saveProdInquiry")["adjunctAddress"].asString(), "");
  Core().GetInquire(kProduct, list, -1, -1);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_GT(list[0].inquiryId, 0);
}

// A full disk (every insert refused): nothing is kept or sent, and the
// record's id 0 tells the host so; a consultation kept before still goes.
TEST_F(ServiceEndToEnd, SubmissionsOnAFullDiskTellTheHostNothingWasKept) {
  LogInAs("u7", "李四");
  server_.ScriptRpc("ConsultService.json", "saveProdConsult", "100000");
  server_.ScriptRpc("InquiryService.json", "saveProdInquiry", "100000");
  const std::string attachment = qeltest::TestDir() + "/full.txt";
  qeltest::WriteFile(attachment, "quote lines");
  MyConsultation keptBefore;
  keptBefore.productId = kProduct;
  keptBefore.content = L"早先留下的";
  {
    ServiceOffline offline(server_);
    ASSERT_FALSE(Core().NewConsult(keptBefore));
  }
  ASSERT_LE(keptBefore.consultId, -2);
  install_.Main(
      "CREATE TRIGGER full_consult BEFORE INSERT ON PROD_CONSULT BEGIN SELECT RAISE(ABORT, 'disk full'); END;"
      "CREATE TRIGGER full_inquiry BEFORE INSERT ON PROD_INQUIRY BEGIN SELECT RAISE(ABORT, 'disk full'); "
      "END;");
  const struct {
    const char* name;
    std::function<bool(int*)> submit;  // gives the record's id after the call
  } cases[] = {
      {"consultation",
       [](int* id) {
         MyConsultation consult;  // a new record's id is -1
         consult.productId = kProduct;
         consult.content = L"满盘时的问题";
         const bool sent = Core().NewConsult(consult);
         *id = consult.consultId;
         return sent;
       }},
      {"inquiry with attachment",
       [&attachment](int* id) {
         MyInquire inquire = AttachedInquiry(L"满盘询价", attachment);
         const bool sent = Core().NewInquire(inquire, false);
         *id = inquire.inquiryId;
         return sent;
       }},
  };
  for (const auto& c : cases) {
    int id = 99;
    EXPECT_FALSE(c.submit(&id)) << c.name;
    EXPECT_EQ(id, 0) << c.name;
  }
  EXPECT_TRUE(CallsOf("ConsultService.json saveProdConsult").empty());
  EXPECT_TRUE(CallsOf("InquiryService.json saveProdInquiry").empty());
  EXPECT_TRUE(server_.Uploads().empty());
  EXPECT_TRUE(install_.QueryMain("SELECT 1 FROM PROD_CONSULT WHERE CONTENT = '满盘时的问题'").empty());
  EXPECT_TRUE(install_.QueryMain("SELECT 1 FROM PROD_INQUIRY").empty());
  std::error_code ec;
  EXPECT_TRUE(fs::is_empty(install_.root() + "/uploadfile", ec) || ec);

  EXPECT_TRUE(Core().NewConsult(keptBefore));
  EXPECT_EQ(CallsOf("ConsultService.json saveProdConsult").size(), 1u);
}

// Area lookups read the sample's area tree; names come back as wide text.
TEST_F(ServiceEndToEnd, AreaLookups) {
  auto names = [](const std::vector<GeoTag>& tags) {
    std::vector<std::wstring> out;
    for (const GeoTag& tag : tags) out.push_back(tag.name);
    return out;
  };
  const struct {
    int areaId;
    std::vector<std::wstring> children;
  } subs[] = {
      {0, {L"浙江省", L"江苏省"}},  // the top level is the country's children
      {86, {L"浙江省", L"江苏省"}},
      {860101, {L"西湖区", L"上城区"}},
      {86010101, {}},
  };
  for (const auto& c : subs) {
    std::vector<GeoTag> tags(1);  // emptied first
    Core().GetSubGeoTags(tags, c.areaId);
    EXPECT_EQ(names(tags), c.children) << "area: " << c.areaId;
  }
  const struct {
    int areaId;
    int parentId;
    std::wstring parent;
    std::wstring self;
  } lookups[] = {
      {86010101, 860101, L"杭州市", L"西湖区"},
      {8601, 86, L"中国", L"浙江省"},
  };
  for (const auto& c : lookups) {
    GeoTag parent;
    Core().GetParentGeoTag(c.areaId, parent);
    EXPECT_EQ(parent.areaId, c.parentId) << "area: " << c.areaId;
    EXPECT_EQ(parent.name, c.parent) << "area: " << c.areaId;
    GeoTag self;
    Core().GetGeoTagsById(c.areaId, self);
    EXPECT_EQ(self.areaId, c.areaId) << "area: " << c.areaId;
    EXPECT_EQ(self.name, c.self) << "area: " << c.areaId;
  }
  GeoTag unknown;
  unknown.name = L"kept";
  Core().GetGeoTagsById(99, unknown);
  EXPECT_EQ(unknown.name, L"kept");
}

TEST_F(ServiceEndToEnd, FeedbackResultTable) {
  LogInAs("u7", "李四");
  enum Answer { kItem, kHtml };
  const struct {
    const char* name;
    Answer answer;
    const char* status;
    bool result;
    const wchar_t* error;  // null: left as it was
  } cases[] = {
      {"accepted", kItem, "100000", true, nullptr},
      {"refused", kItem, "100020", false, L"密码错误"},
      {"html answer", kHtml, "", false, L"服务器返回了无法识别的结果"},
  };
  for (const auto& c : cases) {
    server_.ClearRpcScripts();
    if (c.answer == kItem) server_.ScriptRpc("FeedBackService.json", "addFeedBack", c.status);
    if (c.answer == kHtml)
      server_.ScriptRpcRaw("FeedBackService.json", "addFeedBack", 200, "<html/>", "text/html");
    const size_t before = CallsOf("FeedBackService.json addFeedBack").size();
    MyFeed feed;
    feed.email = L"li@example.com";
    feed.suggest = L"希望多些图片";
    std::wstring error = L"untouched";
    EXPECT_EQ(Core().newFeed(feed, error), c.result) << "case: " << c.name;
    EXPECT_EQ(error, c.error != nullptr ? c.error : L"untouched") << "case: " << c.name;
    std::vector<qeltest::RpcCall> calls = CallsOf("FeedBackService.json addFeedBack");
    ASSERT_EQ(calls.size(), before + 1) << "case: " << c.name;
    EXPECT_EQ(
        ParamOf(calls.back(), "FeedBackService.json addFeedBack"),
        Object(
            {{"compId", "10001"}, {"content", "希望多些图片"}, {"mail", "li@example.com"}, {"userId", "u7"}}))
        << "case: " << c.name;
  }
}

// Usage records are queued by the calls and sent by the cached-data thread
// on its own, without the host asking.
class CachedDataThread : public ServiceEndToEnd {
 protected:
  const char* CachedDataInterval() override { return "50"; }
};

TEST_F(CachedDataThread, UsageRecordsAreSentByTheThread) {
  LogInAs("u7", "李四");
  server_.ScriptRpc("VisitService.json", "saveProdVisit", "100000");
  server_.ScriptRpc("PrintService.json", "saveProdPrint", "100000");
  Core().behavior_visitProduct(kProduct);
  Core().behavior_print(kProduct, 1);
  ASSERT_TRUE(WaitFor([this] {
    return !CallsOf("VisitService.json saveProdVisit").empty() &&
           !CallsOf("PrintService.json saveProdPrint").empty();
  })) << server_.RpcCalls().size()
      << " calls";
  EXPECT_EQ(ParamOf(CallsOf("VisitService.json saveProdVisit")[0], "VisitService.json saveProdVisit"),
            Object({{"addUid", "u7"}, {"compId", "10001"}, {"prodId", "10000000003"}}));
  EXPECT_EQ(ParamOf(CallsOf("PrintService.json saveProdPrint")[0], "PrintService.json saveProdPrint"),
            Object({{"addUid", "u7"}, {"compId", "10001"}, {"printType", "1"}, {"prodId", "10000000003"}}));
  // Accepted rows leave the queue and are never sent again. Sends take
  // turns: this one runs once the thread's send that carried them (reply
  // and deletion included) is over. A shutdown during that send would keep
  // the rows queued. The queue is read once the thread has been joined: a
  // second connection must not race the bridge's writes.
  Core().sendCachedDataSync();
  CQelClientCore::Uninitialize();
  EXPECT_EQ(install_.QueryMain("SELECT COUNT(*) FROM BEHAVIOR"), std::vector<std::string>{"0"});
  EXPECT_EQ(CallsOf("VisitService.json saveProdVisit").size(), 1u);
  EXPECT_EQ(CallsOf("PrintService.json saveProdPrint").size(), 1u);
}

// Feedback the service could not be reached for is queued and sent by the
// thread once the service is back, once.
TEST_F(CachedDataThread, FeedbackKeptOfflineIsSentOnceByTheThread) {
  LogInAs("u7", "李四");
  server_.ScriptRpc("FeedBackService.json", "addFeedBack", "100000");
  MyFeed feed;
  feed.email = L"li@example.com";
  feed.suggest = L"离线时的建议";
  {
    ServiceOffline offline(server_);
    std::wstring error;
    EXPECT_FALSE(Core().newFeed(feed, error));
  }
  ASSERT_TRUE(WaitFor([this] { return !CallsOf("FeedBackService.json addFeedBack").empty(); }));
  EXPECT_EQ(
      ParamOf(CallsOf("FeedBackService.json addFeedBack")[0], "FeedBackService.json addFeedBack")["content"]
          .asString(),
      "离线时的建议");
  // Sends take turns (see above): this one finds the queue empty.
  Core().sendCachedDataSync();
  CQelClientCore::Uninitialize();
  EXPECT_EQ(CallsOf("FeedBackService.json addFeedBack").size(), 1u);
  EXPECT_EQ(install_.QueryMain("SELECT COUNT(*) FROM BEHAVIOR"), std::vector<std::string>{"0"});
}

// A send that the service never answers ends at shutdown instead of
// holding it for the transport's time-out; the records stay queued.
TEST_F(CachedDataThread, ShutdownEndsAStalledSendAndTheRecordsStayQueued) {
  LogInAs("u7", "李四");
  ::setenv("QEL_HTTP_TIMEOUT_MS", "120000", 1);  // twice the wait below: only the stop ends the send in time
  SilentService silent(server_);
  Core().behavior_visitProduct(kProduct);
  ASSERT_TRUE(WaitFor([this] { return !CallsOf("VisitService.json saveProdVisit").empty(); }));
  bool returned = false;
  {
    ShutdownThread shutdown;
    returned = shutdown.Wait();
    silent.Release();  // a shutdown still waiting ends with the answer
  }
  EXPECT_TRUE(returned) << "shutdown waited for the stalled send";
  EXPECT_EQ(install_.QueryMain("SELECT COUNT(*) FROM BEHAVIOR"), std::vector<std::string>{"1"});
}

// Each account call: what it sends, and its result for each answer.
TEST_F(ServiceEndToEnd, SignUpSecurityCodeAndUserCheckTable) {
  struct Case {
    const char* name;
    const char* service;  // "" when nothing may be sent
    Json::Value items;    // the reply's item list
    std::function<int(std::wstring&)> call;
    int result;
    const wchar_t* error;  // null: left as it was
    Json::Value param;     // what the service received
    int exist;             // IsUserExisted's out value afterwards (-7 when untouched)
  };
  int exist = -7;
  UserRegInfo reg;
  reg.userId = L"li@example.com";
  reg.password = L"pw";
  reg.email = L"li@example.com";
  reg.mobile = L"139";
  reg.name = L"李四";
  reg.position = L"采购";
  reg.compName = L"杭州示例贸易公司";
  reg.tel1 = L"t1";
  reg.tel2 = L"t2";
  reg.tel3 = L"t3";
  const Json::Value regParam = Object({{"name", "li@example.com"},
                                       {"passwd", "pw"},
                                       {"regtype", "2"},
                                       {"pstats", "1"},
                                       {"lang", "3"},
                                       {"addip", ""},
                                       {"useStatus", "2"},
                                       {"compname", "杭州示例贸易公司"},
                                       {"userName", "李四"},
                                       {"tel1", "t1"},
                                       {"tel2", "t2"},
                                       {"tel3", "t3"},
                                       {"position", "采购"},
                                       {"showMobile", "139"},
                                       {"showEmail", "li@example.com"},
                                       {"qyId", "10001"},
                                       {"userID", ""}});
  auto sendCode = [](const std::string& account, int type) {
    return
        [account, type](std::wstring& e) { return static_cast<int>(Core().SendRegCode(account, type, e)); };
  };
  auto checkCode = [](std::wstring& e) { return static_cast<int>(Core().CheckRegCode("4711", "138", 1, e)); };
  auto signUp = [&reg](std::wstring& e) { return static_cast<int>(Core().DoUserReg(reg, e)); };
  auto userExists = [&exist](std::wstring& e) {
    return Core().IsUserExisted(Gbk("李四"), 1, "old", e, exist) ? 1 : 0;
  };
  const Json::Value mailParam =
      Object({{"name", "li@example.com"}, {"type", "2"}, {"templateNo", "7"}, {"passWord", ""}});
  const Json::Value phoneParam = Object({{"name", "138"}, {"type", "1"}, {"passWord", ""}});
  const Json::Value checkParam = Object({{"name", "138"}, {"type", "1"}, {"code", "4711"}});
  const Json::Value existsParam = Object({{"name", "李四"}, {"type", "1"}, {"oldName", "old"}});
  const Case cases[] = {
      {"code by mail", "SendMailService.json sendMessageMail", OneItem("100000"),
       sendCode("li@example.com", 2), REGSENDCODE_OK, nullptr, mailParam, -7},
      {"code by phone", "SendPhoneMsgService.json sendPhoneMsg", OneItem("100000"), sendCode("138", 1),
       REGSENDCODE_OK, nullptr, phoneParam, -7},
      {"code refused", "SendPhoneMsgService.json sendPhoneMsg", OneItem("100020"), sendCode("138", 1),
       REGSENDCODE_FAIL, L"密码错误", phoneParam, -7},
      {"code, unknown account type", "", OneItem("100000"), sendCode("138", 3), REGSENDCODE_FAIL, L"请求失败",
       Json::Value(), -7},
      {"check accepted", "AuthCodeService.json regACByNameAndTypeAndCode", OneItem("100000"), checkCode,
       REGCHECKCODE_OK, nullptr, checkParam, -7},
      {"check refused", "AuthCodeService.json regACByNameAndTypeAndCode", OneItem("100020"), checkCode,
       REGCHECKCODE_FAIL, L"密码错误", checkParam, -7},
      {"sign-up accepted", "PassportService.json registerClientUser",
       OneItem("100000", Object({{"UserId", "U9"}})), signUp, REG_OK, nullptr, regParam, -7},
      {"sign-up refused", "PassportService.json registerClientUser", OneItem("100011"), signUp, REG_FAIL,
       L"账号已注册", regParam, -7},
      {"user taken", "PassportService.json queryPassportByName", OneItem("100015"), userExists, 1, nullptr,
       existsParam, 1},
      {"user free", "PassportService.json queryPassportByName", OneItem("100000"), userExists, 1, nullptr,
       existsParam, 0},
      {"user check refused", "PassportService.json queryPassportByName", OneItem("100020"), userExists, 0,
       L"密码错误", existsParam, 0},
  };
  for (const Case& c : cases) {
    server_.ScriptRpcReply(c.items);
    const size_t before = server_.RpcCalls().size();
    std::wstring error = L"untouched";
    EXPECT_EQ(c.call(error), c.result) << "case: " << c.name;
    EXPECT_EQ(error, c.error != nullptr ? c.error : L"untouched") << "case: " << c.name;
    std::vector<qeltest::RpcCall> calls = server_.RpcCalls();
    if (c.service[0] == '\0') {
      EXPECT_EQ(calls.size(), before) << "case: " << c.name;
      server_.ClearRpcScripts();  // drop the unused queued reply
    } else {
      ASSERT_EQ(calls.size(), before + 1) << "case: " << c.name;
      EXPECT_EQ(calls.back().Service(0), c.service) << "case: " << c.name;
      EXPECT_EQ(calls.back().Param(0), c.param) << "case: " << c.name << "\n"
                                                << qel::WriteStyled(calls.back().Param(0));
    }
    EXPECT_EQ(exist, c.exist) << "case: " << c.name;
  }
  // The accepted sign-up stored its account (without making it the current user).
  EXPECT_EQ(install_.QueryMain("SELECT UID, USERID, NAME FROM USERINFO"),
            std::vector<std::string>{"U9|li@example.com|李四"});
  EXPECT_FALSE(Core().IsUserInTheLogin());
}

// A data update waiting on a service that does not answer holds nothing
// the getters need: they answer from another host thread at once.
TEST_F(ServiceEndToEnd, GettersAnswerWhileADataUpdateWaitsOnAStalledService) {
  ::setenv("QEL_HTTP_TIMEOUT_MS", "120000",
           1);  // beyond the wait below: only a getter that never waits passes
  SilentService silent(server_);
  const size_t before = server_.RpcCalls().size();
  Core().DoDataUpdateAsync(nullptr);
  ASSERT_TRUE(WaitFor([&] { return server_.RpcCalls().size() > before; })) << "the update asks the service";
  std::atomic<bool> done{false};
  std::string answers;
  std::thread host([&] {
    const std::vector<Product>* all = Core().GetAllProuducts(-1, 1000, 0);
    const Product* one = Core().GetProductByID(kProduct);
    std::vector<ProductCategory> top;
    Core().GetTopProuductCategorys(top);
    const CompanyInfo* company = Core().GetCompanyInfo();
    answers = std::string(all != nullptr && !all->empty() ? "products " : "") +
              (one != nullptr ? "product " : "") + (!top.empty() ? "categories " : "") +
              (company != nullptr ? "company" : "");
    done.store(true);
  });
  const bool answered = WaitFor([&] { return done.load(); }, 60000);
  silent.Release();
  host.join();
  EXPECT_TRUE(answered) << "a getter waited for the data update";
  EXPECT_EQ(answers, "products product categories company");
  // The process ends with the update thread, which used the transport, still
  // running: the at-exit shutdown joins it before libcurl's and OpenSSL's own
  // exit cleanup (after that cleanup, LeakSanitizer finds the thread's state
  // leaked).
}

// A host's text that GBK cannot hold fails the call before anything is
// stored, uploaded or sent: no neighbouring file (a.txt for a한.txt), no
// shortened account (kim@mail.com for kim김@mail.com) stands in for it.
TEST_F(ServiceEndToEnd, TextGbkCannotHoldFailsWithNothingStoredOrSent) {
  LogInAs("u7", "李四");
  server_.ScriptRpc("InquiryService.json", "saveProdInquiry", "100000");
  server_.ScriptRpc("ConsultService.json", "saveProdConsult", "100000");
  server_.ScriptRpc("FeedBackService.json", "addFeedBack", "100000");
  server_.ScriptRpc("PassportService.json", "registerClientUser", "100000", Object({{"UserId", "U9"}}));
  const std::string neighbour = qeltest::TestDir() + "/a.txt";
  qeltest::WriteFile(neighbour, "the neighbouring file");
  qeltest::WriteFile(qeltest::TestDir() + "/a한.txt", "the attachment");

  auto inquiry = [](const std::wstring& img, const std::wstring& content) {
    return [img, content](std::wstring&) {
      MyInquire inquire;
      inquire.productId = kProduct;
      inquire.num = 1;
      inquire.content = content;
      inquire.contact = L"李四";
      inquire.img = img;
      inquire.addTime = L"2026-12-10";
      return static_cast<int>(Core().NewInquire(inquire, false));
    };
  };
  auto signUp = [](const std::wstring& account, const std::wstring& name) {
    return [account, name](std::wstring& error) {
      UserRegInfo reg;
      reg.userId = account;
      reg.password = L"pw";
      reg.email = account;
      reg.name = name;
      return static_cast<int>(Core().DoUserReg(reg, error));
    };
  };
  const std::wstring attachment = GbkToWide(Gbk(qeltest::TestDir())) + L"/a한.txt";
  const struct {
    const char* name;
    std::function<int(std::wstring&)> call;
    int result;
    const wchar_t* error;  // null: left as it was
  } cases[] = {
      {"inquiry attachment", inquiry(attachment, L"请报价"), 0, nullptr},
      {"inquiry text", inquiry(L"", L"请报价 김"), 0, nullptr},
      {"sign-up account", signUp(L"kim김@mail.com", L"李四"), REG_FAIL, L"请求失败"},
      {"sign-up name", signUp(L"kim@mail.com", L"김민수"), REG_FAIL, L"请求失败"},
      {"sign-up emoji", signUp(L"kim@mail.com", L"李四\U0001F600"), REG_FAIL, L"请求失败"},
      {"login account that is no GBK",
       [](std::wstring& error) { return static_cast<int>(Core().LogIn("bob\xEE", "pw", true, error)); },
       LOGIN_FAIL_OTHER, L"请求失败"},
      {"user check name that is no GBK",
       [](std::wstring& error) {
         int exist = 7;
         return static_cast<int>(Core().IsUserExisted("kim\xEE", 1, "", error, exist)) + 10 * exist;
       },
       70, L"请求失败"},
      {"user check old name that is no GBK",
       [](std::wstring& error) {
         int exist = 7;
         return static_cast<int>(Core().IsUserExisted("kim", 1, "li\x81", error, exist)) + 10 * exist;
       },
       70, L"请求失败"},
      {"security code account that is no GBK",
       [](std::wstring& error) { return static_cast<int>(Core().SendRegCode("kim\xEE", 1, error)); },
       REGSENDCODE_FAIL, L"请求失败"},
      {"code check account that is no GBK",
       [](std::wstring& error) { return static_cast<int>(Core().CheckRegCode("1234", "kim\xEE", 1, error)); },
       REGCHECKCODE_FAIL, L"请求失败"},
      {"code check code that is no GBK",
       [](std::wstring& error) { return static_cast<int>(Core().CheckRegCode("12\xFF", "kim", 1, error)); },
       REGCHECKCODE_FAIL, L"请求失败"},
      {"consultation text",
       [](std::wstring&) {
         MyConsultation consult;
         consult.productId = kProduct;
         consult.content = L"교환 가능?";
         consult.email = L"li@example.com";
         return static_cast<int>(Core().NewConsult(consult));
       },
       0, nullptr},
      {"feedback text",
       [](std::wstring& error) {
         MyFeed feed;
         feed.email = L"li@example.com";
         feed.suggest = L"좋아요";
         return static_cast<int>(Core().newFeed(feed, error));
       },
       0, L"请求失败"},
  };
  auto tables = [this] {
    std::vector<std::string> rows;
    for (const char* table : {"USERINFO", "PROD_INQUIRY", "PROD_CONSULT", "BEHAVIOR"}) {
      for (const std::string& row : install_.QueryMain(std::string("SELECT * FROM ") + table))
        rows.push_back(std::string(table) + ": " + row);
    }
    return rows;
  };
  const std::vector<std::string> stored = tables();
  const size_t requests = server_.Requests().size();
  for (const auto& c : cases) {
    std::wstring error = L"untouched";
    EXPECT_EQ(c.call(error), c.result) << "case: " << c.name;
    EXPECT_EQ(error, c.error != nullptr ? c.error : L"untouched") << "case: " << c.name;
    EXPECT_EQ(server_.Requests().size(), requests) << "case: " << c.name;
    EXPECT_EQ(tables(), stored) << "case: " << c.name;
  }
  EXPECT_TRUE(server_.Uploads().empty());
  // The same calls with texts GBK holds go through (the table above is no
  // refusal of everything).
  std::wstring error;
  EXPECT_EQ(signUp(L"kim@mail.com", L"金敏洙")(error), REG_OK);
  EXPECT_EQ(inquiry(GbkToWide(Gbk(neighbour)), L"请报价")(error), 1);
  EXPECT_EQ(server_.Uploads().size(), 1u);
}

// Progress reports from the data-update thread, kept for the test thread.
// A test may hold the first report until it releases it, or have the host
// answer "stop" to one report.
struct ProgressControl {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::pair<int, std::string>> reports;
  bool holdFirst = false;
  bool released = false;
  int stopAt = -1;  // index of the report answered with 1
};

ProgressControl& Control() {
  static ProgressControl* control = new ProgressControl;
  return *control;
}

int OnProgress(int step, const char* text) {
  ProgressControl& control = Control();
  std::unique_lock<std::mutex> lock(control.mutex);
  control.reports.emplace_back(step, text != nullptr ? text : "");
  const int index = static_cast<int>(control.reports.size()) - 1;
  control.changed.notify_all();
  if (index == 0 && control.holdFirst) control.changed.wait(lock, [&control] { return control.released; });
  return index == control.stopAt ? 1 : 0;
}

std::vector<std::pair<int, std::string>> Progress() {
  std::lock_guard<std::mutex> lock(Control().mutex);
  return Control().reports;
}

void ReleaseProgress() {
  std::lock_guard<std::mutex> lock(Control().mutex);
  Control().released = true;
  Control().changed.notify_all();
}

bool ReportedFinished() {
  for (const auto& report : Progress()) {
    if (report.first == 100 && report.second == updatetest::FinishedText()) return true;
  }
  return false;
}

TEST_F(ServiceEndToEnd, DataUpdateCheckTable) {
  const struct {
    const char* name;
    const char* packageTime;  // "" for a refused answer
    bool needed;
  } cases[] = {
      {"newer package", "200", true},
      {"same package", "100", false},
      {"refused", "", false},
  };
  for (const auto& c : cases) {
    server_.ClearRpcScripts();
    if (c.packageTime[0] != '\0') {
      server_.ScriptRpc("SpClientSetupService.json", "loadLatestUpdate", "100000",
                        Object({{"packageTime", c.packageTime}, {"APPVERSION", "V1.2.3.4"}}));
    } else {
      server_.ScriptRpc("SpClientSetupService.json", "loadLatestUpdate", "100020");
    }
    server_.ScriptRpc(
        "SpClientSetupService.json", "loadUpdateData", "100000",
        Object({{"DBURL", server_.Url("/p/ex.db")}, {"FILEURL", server_.Url("/p/list.qjson")}}));
    EXPECT_EQ(Core().IsDataNeedUpdateSync(), c.needed) << "case: " << c.name;
  }
}

// The host's way: check, run in the background, follow the progress; the
// package is staged for the next start. While it runs, a direct run is
// refused and a check answers at once.
TEST_F(ServiceEndToEnd, DataUpdateRunsOnTheUpdateThreadWithProgress) {
  updatetest::Package package = updatetest::DefaultPackage();
  updatetest::Publish(server_, package);
  ASSERT_TRUE(Core().IsDataNeedUpdateSync());
  Control().holdFirst = true;
  Core().DoDataUpdateAsync(reinterpret_cast<void*>(&OnProgress));
  ASSERT_TRUE(WaitFor([] { return !Progress().empty(); }));
  EXPECT_FALSE(Core().DoDataUpdate()) << "a direct run while one runs";
  EXPECT_TRUE(Core().IsDataNeedUpdateSync()) << "a check while one runs";
  ReleaseProgress();

  ASSERT_TRUE(WaitFor(ReportedFinished, 60000)) << Progress().size() << " reports";
  // The thread is joined before the state is read from a second connection.
  CQelClientCore::Uninitialize();
  for (const auto& report : Progress()) {
    EXPECT_GE(report.first, 0) << report.second;
    EXPECT_LE(report.first, 100) << report.second;
  }
  EXPECT_EQ(qeltest::ReadFile(install_.root() + "/temp/files/img/a.png"), "bytes of a");
  EXPECT_EQ(updatetest::Config(install_, 3), "4");
  // Nothing is installed before the next start.
  EXPECT_FALSE(fs::exists(install_.root() + "/files/img/a.png"));
}

// Whether the staged database was there at the first report 100.
std::string g_stagedDb;
std::atomic<int> g_stagedAtFirst100{-1};
int OnProgressWatchingTheStage(int step, const char* text) {
  int unseen = -1;
  if (step == 100) g_stagedAtFirst100.compare_exchange_strong(unseen, fs::exists(g_stagedDb) ? 1 : 0);
  return OnProgress(step, text);
}

// A host may restart at the first 100: it comes once the package is staged
// whole, never from a download's own end and never for a failed run.
TEST_F(ServiceEndToEnd, DataUpdateReports100OnlyOnceThePackageIsStaged) {
  updatetest::Package package = updatetest::DefaultPackage();
  updatetest::Publish(server_, package);
  server_.AddFile(package.prefix + "/ex.db", std::string(70000, 'g'));
  g_stagedDb = install_.root() + "/temp/data/qel_exdata.db";
  RecordingInvoker invoker;
  Core().DoDataUpdateAsync(reinterpret_cast<void*>(&OnProgressWatchingTheStage));
  ASSERT_TRUE(WaitFor([&invoker] { return invoker.Results(0x570).size() == 1; }, 60000));
  EXPECT_NE(invoker.Results(0x570)[0], 0) << "a database that is no catalogue";
  ASSERT_FALSE(Progress().empty());
  for (const auto& report : Progress()) EXPECT_LT(report.first, 100) << report.second;
  EXPECT_EQ(g_stagedAtFirst100.load(), -1);

  server_.AddFile(package.prefix + "/ex.db", package.db);
  {
    std::lock_guard<std::mutex> lock(Control().mutex);
    Control().reports.clear();
  }
  Core().DoDataUpdateAsync(reinterpret_cast<void*>(&OnProgressWatchingTheStage));
  ASSERT_TRUE(WaitFor([&invoker] { return invoker.Results(0x570).size() == 2; }, 60000));
  EXPECT_EQ(invoker.Results(0x570)[1], 0);
  const auto reports = Progress();
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back(), std::make_pair(100, updatetest::FinishedText()));
  for (size_t i = 0; i + 1 < reports.size(); ++i) EXPECT_LT(reports[i].first, 100) << reports[i].second;
  EXPECT_EQ(g_stagedAtFirst100.load(), 1) << "100 before the package was staged";
  CQelClientCore::Uninitialize();
  EXPECT_EQ(updatetest::Config(install_, 3), "4");
}

// The host's "stop" ends the run as a failure; the next run finishes it.
TEST_F(ServiceEndToEnd, HostStopsTheDataUpdateAndTheNextRunFinishesIt) {
  updatetest::Package package = updatetest::DefaultPackage();
  updatetest::Publish(server_, package);
  Control().stopAt = 1;
  Core().SetDownloadCallback(reinterpret_cast<void*>(&OnProgress));
  EXPECT_FALSE(Core().DoDataUpdate());
  EXPECT_EQ(Progress().size(), 2u);
  EXPECT_FALSE(ReportedFinished());
  EXPECT_NE(updatetest::Config(install_, 3), "4");

  Control().stopAt = -1;
  EXPECT_TRUE(Core().DoDataUpdate());
  EXPECT_TRUE(ReportedFinished());
  EXPECT_EQ(qeltest::ReadFile(install_.root() + "/temp/files/img/d/e.png"), std::string(40000, 'e'));
  EXPECT_EQ(updatetest::Config(install_, 3), "4");
}

// Shutdown while the update thread runs: the update stops at its next
// report and the thread is joined; nothing claims to have finished.
TEST_F(ServiceEndToEnd, ShutdownStopsARunningDataUpdate) {
  updatetest::Package package = updatetest::DefaultPackage();
  updatetest::Publish(server_, package);
  // A cached record tells when shutdown has begun: lookups then give null.
  std::vector<MyConsultation> consultations;
  Core().GetConsultation(10000000001, consultations, -1, -1);
  ASSERT_NE(Core().GetConsultationById(2), nullptr);
  Control().holdFirst = true;
  Core().DoDataUpdateAsync(reinterpret_cast<void*>(&OnProgress));
  ASSERT_TRUE(WaitFor([] { return !Progress().empty(); }));
  std::atomic<bool> done{false};
  std::thread shutdown([&done] {
    CQelClientCore::Uninitialize();
    done = true;
  });
  EXPECT_TRUE(WaitFor([] { return Core().GetConsultationById(2) == nullptr; }));
  ReleaseProgress();
  EXPECT_TRUE(WaitFor([&done] { return done.load(); }));
  shutdown.join();
  EXPECT_FALSE(ReportedFinished());
  EXPECT_NE(updatetest::Config(install_, 3), "4");
  EXPECT_FALSE(Core().DoDataUpdate());
  EXPECT_FALSE(Core().IsDataNeedUpdateSync());
}

// A download that stalls mid-body ends at shutdown instead of holding the
// update thread for the low-speed window; the run ends as a stop (500003)
// and never reports "finished".
TEST_F(ServiceEndToEnd, ShutdownEndsAStalledUpdateDownload) {
  updatetest::Package package = updatetest::DefaultPackage();
  updatetest::Publish(server_, package);
  qeltest::ServedFile stalled;
  stalled.content = package.db;
  stalled.get = qeltest::FileFault::kStallBody;
  server_.AddFile(package.prefix + "/ex.db", stalled);
  // Twice the bound of the wait below: only the stop ends the download in
  // time, and a shutdown that waits for it still ends the test.
  ::setenv("QEL_HTTP_LOW_SPEED_TIME_S", "120", 1);
  RecordingInvoker invoker;
  Core().DoDataUpdateAsync(reinterpret_cast<void*>(&OnProgress));
  ASSERT_TRUE(WaitFor(
      [this, &package] { return server_.CountRequests("GET", package.prefix + "/ex.db") > 0; }, 60000));
  bool returned = false;
  {
    ShutdownThread shutdown;
    returned = shutdown.Wait();
  }
  EXPECT_TRUE(returned) << "shutdown waited for the stalled download";
  EXPECT_EQ(invoker.Results(0x570), std::vector<int>{500003});
  EXPECT_FALSE(ReportedFinished());
  EXPECT_NE(updatetest::Config(install_, 3), "4");
}

TEST_F(ServiceEndToEnd, ApplicationUpdateCheckListAndDownload) {
  const struct {
    const char* version;  // "" for a refused answer
    int status;
  } checks[] = {{"V1.2.3.5", 2}, {"V1.3.0.0", 1}, {"V1.2.3.4", 0}, {"V1.2.3.3", 3}, {"", 0}};
  for (const auto& c : checks) {
    server_.ClearRpcScripts();
    if (c.version[0] != '\0') {
      server_.ScriptRpc("SpClientSetupService.json", "loadLatestUpdate", "100000",
                        Object({{"packageTime", "100"}, {"APPVERSION", c.version}}));
    } else {
      server_.ScriptRpc("SpClientSetupService.json", "loadLatestUpdate", "100020");
    }
    EXPECT_EQ(Core().IsNeedUpdateApp(), c.status) << "version: " << c.version;
  }

  server_.AddFile("/app/bin/qel.bin", "new program");
  server_.AddFile("/app/doc/readme.txt", "说明");
  Json::Value files(Json::arrayValue);
  auto add = [&](const std::string& filePath, const std::string& fileName) {
    files.append(Object({{"url", server_.Url("/app")}, {"filePath", filePath}, {"fileName", fileName}}));
  };
  add("/bin/qel.bin", "/bin/qel.bin");
  add("/doc/readme.txt", "/说明/誠.txt");  // 誠 has the GBK second byte 0x5C
  add("/bin/evil.so", "../../evil.so");
  server_.ScriptRpc("SpClientSetupService.json", "loadAppUpdateFile", "100000", files);
  std::vector<AppUpdateFiles> list;
  Core().GetUpdateAppList(list);
  ASSERT_EQ(list.size(), 2u) << "the name leaving the folder is left out";
  EXPECT_EQ(list[0].url, server_.Url("/app/bin/qel.bin"));
  EXPECT_EQ(list[1].localPath, Gbk(install_.root()) + "/AppUpdate" + Gbk("/说明/誠.txt"));
  for (const AppUpdateFiles& file : list) Core().DownloadFile(file.url, file.localPath);
  EXPECT_EQ(qeltest::ReadFile(install_.root() + "/AppUpdate/bin/qel.bin"), "new program");
  EXPECT_EQ(qeltest::ReadFile(install_.root() + "/AppUpdate/说明/誠.txt"), "说明");
  EXPECT_FALSE(fs::exists(install_.root() + "/../evil.so"));

  // A newer copy replaces the file; a failed download keeps it and leaves
  // nothing beside it.
  server_.AddFile("/app/bin/qel.bin", "newer program");
  Core().DownloadFile(list[0].url, list[0].localPath);
  EXPECT_EQ(qeltest::ReadFile(install_.root() + "/AppUpdate/bin/qel.bin"), "newer program");
  qeltest::ServedFile missing;
  missing.get = qeltest::FileFault::kNotFound;
  missing.head = qeltest::FileFault::kNotFound;
  server_.AddFile("/app/bin/qel.bin", missing);
  Core().DownloadFile(list[0].url, list[0].localPath);
  EXPECT_EQ(qeltest::ReadFile(install_.root() + "/AppUpdate/bin/qel.bin"), "newer program");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(install_.root() + "/AppUpdate/bin"))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"qel.bin"});
}

}  // namespace
