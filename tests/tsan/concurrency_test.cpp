// Three threads share one installation, as a host does: one browses the
// catalogue through Invoke, one posts JSON-RPC envelopes to a loopback
// service, one writes seen marks into the local database. Built under
// ThreadSanitizer; every reply must be well formed and nothing written may
// be lost.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "database/qelinfoaccess.h"
#include "database/qeldatasource.h"
#include "database/qelrecord.h"
#include "database/qelsqltext.h"
#include "database/sqlite/qeldatasourcesqlite.h"
#include "httptestserver.h"
#include "internet/qelinternetrequestbean.h"
#include "internet/qelinternetresponsebean.h"
#include "internet/qelinternetresponsenode.h"
#include "qel/json.h"
#include "qelbridge.h"
#include "qelhttpjsonrequest.h"
#include "testsupport.h"

namespace {

using qel::dataspace::IQELDatasource;
using qel::dataspace::qelInfoAccess;
using qel::dataspace::qelInternetRequestBean;
using qel::dataspace::qelInternetResponseBean;
using qel::dataspace::qelInternetResponseNode;
using qel::dataspace::qelRecord;

constexpr int kBrowseRounds = 80;
constexpr int kPosts = 300;
constexpr int kMarks = 1200;

struct CatalogueRequest {
  int code;
  const char* json;
};

// The catalogue requests a host sends while browsing.
const std::vector<CatalogueRequest>& Browsing() {
  static const std::vector<CatalogueRequest> requests = {
      {0x601, ""},
      {0x602, R"({"PARAM":{"PRODUCT_CATEGORY":{"PRO_CATEGORY_ID":"1000001"}}})"},
      {0x603, R"({"PARAM":{"PRODUCT_CATEGORY":{"PRO_CATEGORY_ID":"1000001001"}}})"},
      {0x604, R"({"PARAM":{"PRODUCT_CATEGORY":{"PRO_CATEGORY_ID":"1000001"}},"LIMIT":20,"OFFSET":0})"},
      {0x606, R"({"LIMIT":20})"},
      {0x607, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"10000000001"}}})"},
      {0x608, R"({"PARAM":{"PRODUCT_CATEGORY":{"PRO_CATEGORY_ID":"1000001"}}})"},
      {0x609, ""},
      {0x60a, R"({"PARAM":{"PRODUCT_CATEGORY":{"PRO_CATEGORY_ID":"1000001"}}})"},
      {0x000, ""},
      {0x001, R"({"PARAM":{"BANNER":{"BANNER_ID":"1"}}})"},
      {0x009, ""},
      {0x00a, R"({"PARAM":{"PRODUCT_CASE":{"CASE_ID":"201"},"PRODUCT_CASE_RES_TYPE":"1"}})"},
      {0x010, ""},
      {0x011, R"({"PARAM":{"CERT_CATEGORY":{"CERT_CATEGORY_ID":"31"}}})"},
      {0x013, ""},
      {0x014, R"({"PARAM":{"CERTGROUP":{"CERTGROUP_ID":"301"}}})"},
      {0x100, ""},
      {0x101, ""},
      {0x401, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"10000000001"}}})"},
      {0x409, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"10000000001"}}})"},
      {0x410, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"10000000001"}}})"},
      {0x411, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"10000000001"},"PICTURE_GROUP_ID":"-1"}})"},
      {0x414, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"10000000001"}}})"},
      {0x416, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"10000000001"}}})"},
      {0x421, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"10000000001"}}})"},
      {0x423, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"10000000001"}}})"},
      {0x430, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"10000000001"}}})"},
  };
  return requests;
}

struct Answer {
  int result = 0;
  std::string reply;
};

Answer Call(const CatalogueRequest& request) {
  Answer answer;
  char* reply = nullptr;
  answer.result = Invoke(request.code, request.json, &reply);
  answer.reply = reply != nullptr ? reply : "<null>";
  DeleteJsonStr(&reply);
  return answer;
}

// The shape of a reply that does not depend on seen marks: its kind and
// the number of rows. A mark changes flags and counts, never which rows.
std::string Shape(const std::string& reply) {
  if (reply.empty()) return "empty";
  Json::Value parsed;
  if (!qel::ParseGbkJson(reply, &parsed)) return "not JSON";
  if (parsed.isArray()) return "array of " + std::to_string(parsed.size());
  return parsed.isObject() ? "object" : "scalar";
}

std::string ReadFixture(const std::string& database) {
  return qeltest::ReadFile(std::string(QEL_SOURCE_DIR) + "/tests/fuzz/fixture_rows." + database + ".sql");
}

class ConcurrencyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    install_.Main(ReadFixture("qel_data"));
    install_.Ex(ReadFixture("qel_exdata"));
    server_.ScriptRpc("ConsultService.json", "saveProdConsult", "100000", Json::Value("saved"));
    ASSERT_EQ(InitQelbridge(260, install_.StartupJson(server_.RpcUrl()).c_str()), 0);
  }

  qeltest::Installation install_;
  qeltest::HttpTestServer server_;
};

TEST_F(ConcurrencyTest, HostPostingAndLocalStateShareOneInstallation) {
  // Answers of one thread alone, before the others run.
  std::vector<Answer> expected;
  for (const CatalogueRequest& request : Browsing()) expected.push_back(Call(request));
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(expected[i].result, 0) << "code 0x" << std::hex << Browsing()[i].code << ": "
                                     << expected[i].reply;
    ASSERT_NE(Shape(expected[i].reply), "not JSON") << "code 0x" << std::hex << Browsing()[i].code;
  }

  std::atomic<int> badBrowse{0}, badPost{0}, badWrite{0};
  // The three start together, so that their calls overlap from the first.
  std::atomic<int> ready{0};
  auto startTogether = [&ready] {
    ++ready;
    while (ready.load() < 3) std::this_thread::yield();
  };
  std::vector<std::string> failures[3];

  std::thread host([&] {
    startTogether();
    for (int round = 0; round < kBrowseRounds; ++round) {
      for (size_t i = 0; i < Browsing().size(); ++i) {
        Answer got = Call(Browsing()[i]);
        if (got.result != expected[i].result || Shape(got.reply) != Shape(expected[i].reply)) {
          ++badBrowse;
          failures[0].push_back("code " + std::to_string(Browsing()[i].code) + ": " + got.reply);
        }
      }
    }
  });

  std::thread poster([&] {
    startTogether();
    for (int i = 0; i < kPosts; ++i) {
      qelInternetRequestBean bean;
      Json::Value param(Json::objectValue);
      param["content"] = "post " + std::to_string(i);
      param["prodId"] = "10000000001";
      std::string envelope;
      if (bean.AddOneRequestWithParam(7, param)) envelope = bean.GetJsonRPCParam();
      std::string replyText =
          envelope.empty() ? "" : qel::internet::qelHttpJsonRequest().Invoke(server_.RpcUrl(), envelope);
      qelInternetResponseBean response;
      std::unique_ptr<qelInternetResponseNode> node;
      bool ok = response.ParseResponse(replyText) && response.IsSuccess() && response.IsItemSuccess(0);
      if (ok) node.reset(response.GetResultNode(0));
      if (!ok || !node || node->GetStrValue() != "saved") {
        ++badPost;
        failures[1].push_back("post " + std::to_string(i) + ": " + replyText);
      }
    }
  });

  std::thread marker([&] {
    startTogether();
    IQELDatasource* datasource = qelInfoAccess::GetInstance()->GetDatasource();
    for (int i = 0; i < kMarks && datasource != nullptr; ++i) {
      const std::string id = std::to_string(20000000000LL + i);
      qelRecord mark;
      Json::Value row(Json::objectValue);
      row["PROD_ID"] = id;
      row["LASTTIME"] = std::to_string(1700000000000LL + i);
      mark.Append(row);
      qelRecord caseMark;
      Json::Value caseRow(Json::objectValue);
      caseRow["CASE_ID"] = "9" + id;
      caseRow["LASTTIME"] = "1700000000001";
      caseMark.Append(caseRow);
      // Marks the browsed product seen again, later each time.
      qelRecord update;
      Json::Value updateRow(Json::objectValue);
      updateRow["LASTTIME"] = std::to_string(1700000200 + i);
      updateRow["UPFILTER"] = "PROD_ID = " + qel::dataspace::QuoteSqlText("10000000001");
      update.Append(updateRow);
      if (!datasource->AddRecord("PRODUCT_EXTEND", &mark) ||
          !datasource->AddRecord("CASE_EXTEND", &caseMark) ||
          !datasource->UpdateRecord("PRODUCT_EXTEND", &update)) {
        ++badWrite;
        failures[2].push_back("mark " + id);
      }
    }
  });

  host.join();
  poster.join();
  marker.join();

  EXPECT_EQ(badBrowse.load(), 0) << (failures[0].empty() ? "" : failures[0][0]);
  EXPECT_EQ(badPost.load(), 0) << (failures[1].empty() ? "" : failures[1][0]);
  EXPECT_EQ(badWrite.load(), 0) << (failures[2].empty() ? "" : failures[2][0]);

  // Every envelope reached the service with its own content.
  std::set<std::string> posted;
  for (const qeltest::RpcCall& call : server_.RpcCalls()) {
    for (const Json::Value& request : call.requests)
      posted.insert(qel::StringMember(request["param"], "content"));
  }
  EXPECT_EQ(posted.size(), static_cast<size_t>(kPosts));

  // No statement is left open, so every write is committed: another
  // connection sees all of them.
  auto* sqlite =
      dynamic_cast<qel::dataspace::qelDatasourceSqlite*>(qelInfoAccess::GetInstance()->GetDatasource());
  ASSERT_NE(sqlite, nullptr);
  EXPECT_EQ(sqlite->PendingStatements(), 0);
  EXPECT_EQ(install_.QueryMain("SELECT COUNT(*) FROM PRODUCT_EXTEND WHERE PROD_ID LIKE '2%'"),
            std::vector<std::string>{std::to_string(kMarks)});
  EXPECT_EQ(install_.QueryMain("SELECT COUNT(*) FROM CASE_EXTEND WHERE CASE_ID LIKE '92%'"),
            std::vector<std::string>{std::to_string(kMarks)});
  EXPECT_EQ(install_.QueryMain("SELECT LASTTIME FROM PRODUCT_EXTEND WHERE PROD_ID = '10000000001'"),
            std::vector<std::string>{std::to_string(1700000200 + kMarks - 1)});
}

}  // namespace
