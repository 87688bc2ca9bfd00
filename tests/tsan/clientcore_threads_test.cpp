// The client core's three threads at once, as a host runs them: the host
// browses through CQelClientCore while it marks products seen, adds
// favourites and records visits; the cached-data thread sends the queued
// records to the loopback service every few milliseconds; the data-update
// thread runs an update published on the same service. Built under
// ThreadSanitizer; besides no race: every reply is well formed, every
// queued record reaches the service exactly once, and the update finishes
// and applies at the next start.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../bridge/update_fixture.h"
#include "common/qelcommon2.h"
#include "qelclientcore.h"

namespace {

using namespace qelclientcore;
using namespace updatetest;

constexpr int kRounds = 40;

class LoopbackServices : public ICommonServices {
 public:
  LoopbackServices(std::string root, std::string server)
      : root_(std::move(root)), server_(std::move(server)) {}
  bool LogRecord() override { return false; }
  std::string Server() override { return server_; }
  std::string Ip() override { return "127.0.0.1"; }
  std::string Mac() override { return "00"; }
  std::string OperationSystemName() override { return "Linux"; }
  std::string ModuleDir() override { return root_; }
  // Short, so that sends overlap the host's calls many times.
  int64_t CachedDataIntervalMs() override { return 20; }
  std::string DownloadFile(const std::string&, const std::string&, const std::string&,
                           CommonDownloadProgress*) override {
    return "";
  }

 private:
  std::string root_;
  std::string server_;
};

std::mutex g_progressMutex;
std::vector<std::pair<int, std::string>> g_progress;
int OnProgress(int step, const char* text) {
  std::lock_guard<std::mutex> lock(g_progressMutex);
  g_progress.emplace_back(step, text != nullptr ? text : "");
  return 0;
}
bool UpdateFinished() {
  std::lock_guard<std::mutex> lock(g_progressMutex);
  for (const auto& report : g_progress)
    if (report.first == 100 && report.second == FinishedText()) return true;
  return false;
}

// The product ids of every request object of one service method the
// service received, with how often each came.
std::map<std::string, int> Received(const qeltest::HttpTestServer& server, const std::string& method) {
  std::map<std::string, int> ids;
  for (const qeltest::RpcCall& call : server.RpcCalls()) {
    for (size_t i = 0; i < call.requests.size(); ++i) {
      if (qel::StringMember(call.requests[i], "method") != method) continue;
      const Json::Value param = call.Param(i);
      std::string id = qel::TextMember(param, "prodId");
      if (id.empty()) id = qel::TextMember(param, "prodID");
      ++ids[id];
    }
  }
  return ids;
}

// The ids whose counts differ, as "id: received/expected" (the maps are too
// long for a failure message to show whole).
std::string Differences(const std::map<std::string, int>& received,
                        const std::map<std::string, int>& expected) {
  std::string text;
  std::map<std::string, int> all = received;
  all.insert(expected.begin(), expected.end());
  for (const auto& entry : all) {
    const auto got = received.find(entry.first);
    const auto want = expected.find(entry.first);
    const int gotCount = got == received.end() ? 0 : got->second;
    const int wantCount = want == expected.end() ? 0 : want->second;
    if (gotCount != wantCount)
      text += entry.first + ": " + std::to_string(gotCount) + "/" + std::to_string(wantCount) + " ";
  }
  return text;
}

TEST(ClientCoreThreads, HostCachedDataAndUpdateThreadsShareTheClient) {
  qeltest::TransportTimeouts timeouts(qeltest::TransportTimeouts::kHealthy);
  qeltest::HttpTestServer server;
  Package package = DefaultPackage();
  Publish(server, package);
  server.ScriptRpc("VisitService.json", "saveProdVisit", "100000");
  server.ScriptRpc("FavService.json", "saveProdFav", "100000");
  qeltest::Installation install = OldInstallation();
  install.Ex(
      "INSERT INTO PRODUCT_CATEGORY (PRO_CATEGORY_ID, CANEXTEND, LEVEL, BEUSE, SORT) VALUES ('1000001', 0, "
      "1, 1, 1);"
      "INSERT INTO PRODUCT_CATEGORY_LANG (PRO_CATEGORY_ID, LANGID, NAME) VALUES ('1000001', 0, 'c');");

  CCommon2::instance().SetServices(std::make_shared<LoopbackServices>(install.root(), server.RpcUrl()));
  CQelClientCore& core = *CQelClientCore::GetInstance();
  ASSERT_TRUE(core.Init());

  // The data-update thread runs while the host works.
  core.DoDataUpdateAsync(reinterpret_cast<void*>(&OnProgress));

  std::vector<std::string> visited;
  std::vector<std::string> favourites;
  int badReplies = 0;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<ProductCategory> top;
    core.GetTopProuductCategorys(top);
    std::vector<Product> products;
    core.GetProductsByCategory(1000001, products, -1, 20, 0);
    // The value getters hand out the parsed reply: an array (null when
    // there is nothing to keep), never half a text.
    Json::Value request(Json::objectValue);
    request["PARAM"]["PRODUCT_CATEGORY"]["PRO_CATEGORY_ID"] = "1000001";
    for (const Json::Value& js : {core.GetSubProductCategorysJs(request),
                                  core.GetProductsByCategoryJs(request), core.GetTopProductCategorysJs()}) {
      if (!js.isArray() && !js.isNull()) ++badReplies;
    }
    const Json::Value& company = core.GetCompanyInfoJs();
    if (!company.isObject() && !company.isNull()) ++badReplies;
    core.GetPrimaryModeles();

    const uint64_t id = 30000000000ULL + static_cast<uint64_t>(round);
    core.UpdateProductStatus(id);
    if (core.AddProductToFavorite(id)) favourites.push_back(std::to_string(id));
    core.behavior_visitProduct(id);
    visited.push_back(std::to_string(id));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(badReplies, 0);
  EXPECT_EQ(favourites.size(), static_cast<size_t>(kRounds));

  // The update ends; then everything still queued is sent.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!UpdateFinished() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(UpdateFinished());
  // Watched at the service: a second connection reading the queue while the
  // client core runs would make the deletion of a sent batch fail as busy,
  // and the batch would rightly be sent again.
  auto allArrived = [&] {
    return Received(server, "saveProdVisit").size() == visited.size() &&
           Received(server, "saveProdFav").size() == favourites.size();
  };
  while (!allArrived() && std::chrono::steady_clock::now() < deadline) {
    core.sendCachedDataSync();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  CQelClientCore::Uninitialize();
  EXPECT_TRUE(install.QueryMain("SELECT ID FROM BEHAVIOR").empty());

  // Every record reached the service, once.
  std::map<std::string, int> expectedVisits;
  for (const std::string& id : visited) ++expectedVisits[id];
  const std::map<std::string, int> visits = Received(server, "saveProdVisit");
  EXPECT_EQ(visits, expectedVisits) << Differences(visits, expectedVisits);
  std::map<std::string, int> expectedFavourites;
  for (const std::string& id : favourites) ++expectedFavourites[id];
  const std::map<std::string, int> favouritesSent = Received(server, "saveProdFav");
  EXPECT_EQ(favouritesSent, expectedFavourites) << Differences(favouritesSent, expectedFavourites);

  // The update applies at the next start: a fresh process (this one's
  // bridge has ended).
  EXPECT_EQ(Config(install, 3), "4");
  const std::string start = "QEL_TSAN_APPLY_ROOT='" + install.root() + "' QEL_TSAN_APPLY_SERVER='" +
                            server.RpcUrl() + "' /proc/" + std::to_string(getpid()) +
                            "/exe --gtest_filter=ClientCoreThreads.NextStart >next-start.log 2>&1";
  ASSERT_EQ(std::system(start.c_str()), 0) << qeltest::ReadFile("next-start.log");
  ExpectInstalled(install, server, package, "after the threads");
}

// The next start of the installation left by the test above (run by it in
// a process of its own); skipped otherwise.
TEST(ClientCoreThreads, NextStart) {
  const char* root = std::getenv("QEL_TSAN_APPLY_ROOT");
  const char* server = std::getenv("QEL_TSAN_APPLY_SERVER");
  if (root == nullptr || server == nullptr)
    GTEST_SKIP() << "run by HostCachedDataAndUpdateThreadsShareTheClient";
  CCommon2::instance().SetServices(std::make_shared<LoopbackServices>(root, server));
  ASSERT_TRUE(CQelClientCore::GetInstance()->Init());
  CQelClientCore::Uninitialize();
}

}  // namespace
