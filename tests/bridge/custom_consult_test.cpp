// Consultation submission (0x539): local ids, sending and renumbering.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "customtest.h"

namespace {

using qeltest::Call;
using qeltest::CustomTest;
using qeltest::Reply;

std::string Consultation(const std::string& id, const std::string& content = "question",
                         const std::string& productId = "5") {
  Json::Value item(Json::objectValue);
  item["CONSULT_ID"] = id;
  item["CONTENT"] = content;
  item["PRODUCT_ID"] = productId;
  item["ADDTIME"] = "2026-12-10 10:00:00";
  item["EMAIL"] = "a@b.c";
  item["MOBILENUM"] = "138";
  item["TEL1"] = "t1";
  item["TEL2"] = "t2";
  item["TEL3"] = "t3";
  Json::Value request;
  request["PARAM"]["PROD_CONSULT"] = item;
  return qel::WriteCompact(request);
}

class ConsultTest : public CustomTest {
 protected:
  std::vector<std::string> Ids() const {
    return Rows("SELECT CONSULT_ID FROM PROD_CONSULT ORDER BY CAST(CONSULT_ID AS INTEGER)");
  }
};

// Every row of the outcome table, with the requests the service saw and
// the id a failure reply names as the one the consultation is kept under
// ("0": nothing kept). A full disk refuses every insert.
TEST_F(ConsultTest, OutcomeByIdAndServiceAnswer) {
  enum Answer { kNone, kAccepted, kRefused, kNoItem, kHtml };
  const struct {
    const char* name;
    std::string id;
    Answer answer;
    int result;
    size_t requests;
    std::vector<std::string> ids;
    const char* kept;
    bool fullDisk = false;
  } cases[] = {
      {"new, accepted", "0", kAccepted, 0, 1, {"-2", "5", "6"}, nullptr},
      {"new without id, accepted", "", kAccepted, 0, 1, {"-2", "5", "6"}, nullptr},
      {"new, refused", "0", kRefused, 100020, 1, {"-3", "-2", "5"}, "-3"},
      {"new, success without item", "-9", kNoItem, 19999, 1, {"-3", "-2", "5"}, "-3"},
      {"new, html answer", "0", kHtml, 19999, 1, {"-3", "-2", "5"}, "-3"},
      {"stored unsent, accepted", "-2", kAccepted, 0, 1, {"5", "6"}, nullptr},
      {"stored unsent, refused", "-2", kRefused, 100020, 1, {"-2", "5"}, "-2"},
      {"stored sent", "5", kNone, 0, 0, {"-2", "5"}, nullptr},
      {"unknown positive", "7", kNone, 0, 0, {"-2", "5", "7"}, nullptr},
      {"new, full disk", "0", kAccepted, 1, 0, {"-2", "5"}, "0", true},
      {"unknown positive, full disk", "7", kNone, 1, 0, {"-2", "5"}, "0", true},
      {"stored unsent, full disk, refused", "-2", kRefused, 100020, 1, {"-2", "5"}, "-2", true},
      {"stored unsent, full disk, accepted", "-2", kAccepted, 0, 1, {"5", "6"}, nullptr, true},
  };
  for (const auto& c : cases) {
    install_.Main(
        "DROP TRIGGER IF EXISTS full_disk;"
        "DELETE FROM PROD_CONSULT;"
        "INSERT INTO PROD_CONSULT (CONSULT_ID, PRODUCT_ID, CONTENT) VALUES (-2, '5', 'old'), (5, '5', "
        "'sent');");
    if (c.fullDisk)
      install_.Main(
          "CREATE TRIGGER full_disk BEFORE INSERT ON PROD_CONSULT BEGIN SELECT RAISE(ABORT, 'disk full'); "
          "END;");
    server_.ClearRpcScripts();
    if (c.answer == kAccepted) server_.ScriptRpcReply(Items({"100000"}));
    if (c.answer == kRefused) server_.ScriptRpcReply(Items({"100020"}));
    if (c.answer == kNoItem) server_.ScriptRpcReply(Json::Value(Json::arrayValue));
    if (c.answer == kHtml)
      server_.ScriptRpcRaw("ConsultService.json", "saveProdConsult", 200, "<html></html>");
    const size_t before = server_.RpcCalls().size();

    Reply reply = Call(0x539, Consultation(c.id));
    EXPECT_EQ(reply.result, c.result) << c.name;
    EXPECT_EQ(server_.RpcCalls().size() - before, c.requests) << c.name;
    EXPECT_EQ(Ids(), c.ids) << c.name;
    if (c.result == 0) {
      EXPECT_EQ(reply.text, "") << c.name;
    } else {
      EXPECT_EQ(ErrorCode(reply.text), std::to_string(c.result)) << c.name;
      Json::Value error;
      ASSERT_TRUE(qel::ParseJson(reply.text, &error)) << c.name;
      EXPECT_EQ(error["CONSULT_ID"], Json::Value(c.kept)) << c.name;
    }
  }
  install_.Main("DROP TRIGGER IF EXISTS full_disk;");
}

TEST_F(ConsultTest, StoredRowAndSentRequest) {
  server_.ScriptRpc("ConsultService.json", "saveProdConsult", "100000");
  // Longer than 2,048 bytes, with quotes and a character whose second GBK
  // byte is a backslash.
  std::string content = "他说\"好\" it's 誠 ";
  while (content.size() < 3000) content += "中文内容";
  ASSERT_EQ(Call(0x539, Consultation("0", qeltest::Gbk(content), "5'6")).result, 0);

  EXPECT_EQ(
      Rows("SELECT CONSULT_ID, PRODUCT_ID, ADDTIME, TEL1, TEL2, TEL3, MOBILENUM, EMAIL, SENTSTATUS, ITYPE,"
           " USERID FROM PROD_CONSULT"),
      std::vector<std::string>{"2|5'6|2026-12-10 10:00:00|t1|t2|t3|138|a@b.c|2|1|"});
  EXPECT_EQ(Rows("SELECT CONTENT FROM PROD_CONSULT"), std::vector<std::string>{content});

  ASSERT_EQ(server_.RpcCalls().size(), 1u);
  const qeltest::RpcCall call = server_.RpcCalls()[0];
  EXPECT_EQ(call.Service(0), "ConsultService.json saveProdConsult");
  Json::Value param = call.Param(0);
  EXPECT_EQ(param["content"].asString(), content);
  EXPECT_EQ(param["prodId"].asString(), "5'6");
  EXPECT_EQ(param["mail"].asString(), "a@b.c");
  EXPECT_EQ(param["phone"].asString(), "138");
  EXPECT_EQ(param["tel1"].asString(), "t1");
  EXPECT_EQ(param["tel2"].asString(), "t2");
  EXPECT_EQ(param["tel3"].asString(), "t3");
  EXPECT_EQ(param["compId"].asString(), "1001");
  EXPECT_EQ(param["addUid"].asString(), "");
  EXPECT_TRUE(qeltest::LoggedDirect("There is not any user"));
}

TEST_F(ConsultTest, BadRequestsStoreAndSendNothing) {
  for (const std::string& request :
       {std::string(""), std::string("not json"), std::string("{}"), std::string(R"({"PARAM":{}})"),
        std::string(R"({"PARAM":{"PROD_CONSULT":"x"}})")}) {
    qeltest::ClearLog();
    EXPECT_EQ(Call(0x539, request).result, 1) << request;
    EXPECT_TRUE(qeltest::LoggedDirect("Json format error") ||
                qeltest::LoggedDirect("Can not get params from json in"))
        << request;
  }
  EXPECT_EQ(Ids(), std::vector<std::string>{});
  EXPECT_EQ(server_.RpcCalls().size(), 0u);
}

// Submissions from two threads at once never share an id, stored or sent.
TEST_F(ConsultTest, ConcurrentSubmissionsGetTheirOwnIds) {
  server_.ScriptRpc("ConsultService.json", "saveProdConsult", "100000");
  std::vector<int> failures(2, 0);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < failures.size(); ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 5; ++i) {
        if (Call(0x539, Consultation("0", "thread " + std::to_string(t))).result != 0) ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(2, 0));
  std::vector<std::string> ids = Ids();
  EXPECT_EQ(ids.size(), 10u);
  EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), ids.size());
  for (const std::string& id : ids) EXPECT_GE(std::stoi(id), 2) << id;
}

class LoggedInConsultTest : public ConsultTest {
  void SetUpRows() override {
    install_.Main("INSERT INTO USERINFO (UID, USERID, REMEMBER) VALUES ('u7', 'me', '1');");
  }
};

TEST_F(LoggedInConsultTest, TheRowAndTheRequestCarryTheUser) {
  server_.ScriptRpc("ConsultService.json", "saveProdConsult", "100000");
  ASSERT_EQ(Call(0x539, Consultation("0")).result, 0) << qeltest::LogText();
  EXPECT_EQ(Rows("SELECT USERID FROM PROD_CONSULT"), std::vector<std::string>{"u7"});
  ASSERT_EQ(server_.RpcCalls().size(), 1u);
  EXPECT_EQ(server_.RpcCalls()[0].Param(0)["addUid"].asString(), "u7");
}

// A shipped table with TEXT ids: "10" sorts before "9" as text, never as ids.
class TextIdConsultTest : public ConsultTest {
  void SetUpRows() override {
    install_.Main(
        "DROP TABLE PROD_CONSULT;"
        "CREATE TABLE PROD_CONSULT (CONSULT_ID TEXT, PRODUCT_ID TEXT, ADDTIME TEXT, CONTENT TEXT, TEL1 TEXT,"
        " TEL2 TEXT, TEL3 TEXT, MOBILENUM TEXT, EMAIL TEXT, SENTSTATUS TEXT, ITYPE TEXT, USERID TEXT);"
        "INSERT INTO PROD_CONSULT (CONSULT_ID, CONTENT) VALUES ('9', 'nine'), ('10', 'ten');");
  }
};

TEST_F(TextIdConsultTest, NextIdsComeFromTheNumbers) {
  server_.ScriptRpcReply(Items({"100020"}));
  EXPECT_EQ(Call(0x539, Consultation("0", "first")).result, 100020);
  server_.ScriptRpcReply(Items({"100020"}));
  EXPECT_EQ(Call(0x539, Consultation("0", "second")).result, 100020);
  EXPECT_EQ(Rows("SELECT CONSULT_ID FROM PROD_CONSULT WHERE CONTENT IN ('first', 'second') ORDER BY CONTENT"),
            (std::vector<std::string>{"-2", "-3"}));
  server_.ScriptRpcReply(Items({"100000"}));
  EXPECT_EQ(Call(0x539, Consultation("-2", "first")).result, 0);
  EXPECT_EQ(Rows("SELECT CONSULT_ID FROM PROD_CONSULT WHERE CONTENT = 'first'"),
            std::vector<std::string>{"11"});
}

class RefusedConsultTest : public ConsultTest {
  std::string ServerUrl() override { return server_.RefusedUrl("/qelservice"); }
};

TEST_F(RefusedConsultTest, UnreachableServiceKeepsTheRowUnsent) {
  Reply reply = Call(0x539, Consultation("0"));
  EXPECT_EQ(reply.result, 500003);
  EXPECT_EQ(ErrorCode(reply.text), "500003");
  EXPECT_EQ(Ids(), std::vector<std::string>{"-2"});
}

}  // namespace
