// The usage-record queue of the custom module: print and visit records
// (0x552, 0x553), the batch send (0x551) and feedback (0x550).
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "cqelbridge.h"
#include "customtest.h"

namespace {

using qeltest::Call;

std::string Visit(const std::string& productId) { return "{\"prodId\":\"" + productId + "\"}"; }

std::string FeedbackRequest(const std::string& email, const std::string& suggest) {
  Json::Value root;
  root["PARAM"]["FEEDBACKSERVICE"]["EMAIL"] = email;
  root["PARAM"]["FEEDBACKSERVICE"]["SUGGEST"] = suggest;
  return qel::WriteStyled(root);
}

class BehaviorTest : public qeltest::CustomTest {
 protected:
  // What is queued: the prodId of each row's request (or "content" of a
  // feedback), "<broken>" for a text that is no request, in ID order.
  std::vector<std::string> Queue() const {
    std::vector<std::string> out;
    for (const std::string& track : Rows("SELECT TRACK FROM BEHAVIOR ORDER BY ID")) {
      Json::Value request;
      if (!qel::ParseJson(track, &request) || !request.isObject()) {
        out.push_back("<broken>");
        continue;
      }
      const Json::Value& param = qel::Member(request, "param");
      out.push_back(qel::HasMember(param, "prodId") ? qel::StringMember(param, "prodId")
                                                    : qel::StringMember(param, "content"));
    }
    return out;
  }
  // The prodIds of every request the service received, call by call.
  std::vector<std::vector<std::string>> Sent() const {
    std::vector<std::vector<std::string>> out;
    for (const qeltest::RpcCall& call : server_.RpcCalls()) {
      std::vector<std::string> ids;
      for (size_t i = 0; i < call.requests.size(); ++i)
        ids.push_back(qel::StringMember(call.Param(i), "prodId"));
      out.push_back(ids);
    }
    return out;
  }
  void QueueVisits(const std::vector<std::string>& ids) {
    for (const std::string& id : ids) ASSERT_EQ(Call(0x553, Visit(id)).result, 0);
  }
};

TEST_F(BehaviorTest, PrintAndVisitRecordsAreQueuedNotSent) {
  qel::dataspace::cqelbridge::GetInstance()->SetCurrentUID("u5");
  EXPECT_EQ(Call(0x552, "{\"prodId\":\"12\",\"printType\":\"1\"}").result, 0);
  EXPECT_EQ(Call(0x553, Visit("13")).result, 0);
  std::vector<std::string> tracks = Rows("SELECT TRACK FROM BEHAVIOR ORDER BY ID");
  ASSERT_EQ(tracks.size(), 2u);
  const struct {
    const char* url;
    const char* method;
    const char* members;
  } expected[] = {
      {"PrintService.json", "saveProdPrint",
       "{\"addUid\":\"u5\",\"compId\":\"1001\",\"printType\":\"1\",\"prodId\":\"12\"}"},
      {"VisitService.json", "saveProdVisit", "{\"addUid\":\"u5\",\"compId\":\"1001\",\"prodId\":\"13\"}"},
  };
  for (size_t i = 0; i < 2; ++i) {
    Json::Value track = qeltest::Parse(tracks[i]);
    EXPECT_EQ(qel::StringMember(track, "interfaceUrl"), expected[i].url);
    EXPECT_EQ(qel::StringMember(track, "method"), expected[i].method);
    EXPECT_EQ(qel::Member(track, "param"), qeltest::Parse(expected[i].members));
    EXPECT_EQ(qel::StringMember(track, "userID"), "u5");
  }
  EXPECT_TRUE(server_.RpcCalls().empty());

  const char* bad[] = {"", "not json", "[1]", "\"x\"", "12", "null"};
  for (const char* text : bad) {
    EXPECT_EQ(Call(0x552, text).result, 1) << "text: " << text;
    EXPECT_EQ(Call(0x553, text).result, 1) << "text: " << text;
  }
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM BEHAVIOR"), std::vector<std::string>{"2"});
}

TEST_F(BehaviorTest, BatchSendDeletesExactlyTheAnsweredRows) {
  enum Kind { kItems, kRaw };
  struct Case {
    const char* name;
    Kind kind;
    std::string overall;
    Json::Value items;
    int result;
    std::vector<std::string> left;
  };
  const Case cases[] = {
      {"all accepted", kItems, "100000", Items({"100000", "100000", "100000"}), 0, {}},
      {"item 2 refused", kItems, "100000", Items({"100000", "100020", "100000"}), 100020, {}},
      {"item 2 refused, no item 3", kItems, "100000", Items({"100000", "100020"}), 100020, {"3"}},
      {"two items for three rows", kItems, "100000", Items({"100000", "100000"}), 19999, {"3"}},
      {"item 1 without status", kItems, "100000", Items({"", "100000", "100000"}), 19999, {}},
      {"more items than rows", kItems, "100000", Items({"100000", "100000", "100000", "100099"}), 0, {}},
      {"zero items", kItems, "100000", Json::Value(Json::arrayValue), 19999, {"1", "2", "3"}},
      {"overall failure", kItems, "100013", Items({"100000", "100000", "100000"}), 100013, {"1", "2", "3"}},
      {"overall status missing", kItems, "", Items({"100000", "100000", "100000"}), 19999, {"1", "2", "3"}},
      {"html 500", kRaw, "", {}, 19999, {"1", "2", "3"}},
  };
  for (const Case& c : cases) {
    install_.Main("DELETE FROM BEHAVIOR;");
    server_.ClearRpcScripts();
    server_.ClearRequests();
    QueueVisits({"1", "2", "3"});
    if (c.kind == kItems) {
      server_.ScriptRpcReply(c.items, c.overall);
    } else {
      server_.ScriptRpcRaw("VisitService.json", "saveProdVisit", 500, "<html>down</html>", "text/html");
    }
    qeltest::Reply reply = Call(0x551);
    EXPECT_EQ(reply.result, c.result) << "case: " << c.name << "\n" << reply.text;
    if (c.result > 1) {
      EXPECT_EQ(ErrorCode(reply.text), std::to_string(c.result)) << "case: " << c.name;
    }
    EXPECT_EQ(Queue(), c.left) << "case: " << c.name;
    // One envelope with the rows in ID order.
    EXPECT_EQ(Sent(), (std::vector<std::vector<std::string>>{{"1", "2", "3"}})) << "case: " << c.name;
  }
}

TEST_F(BehaviorTest, AcceptedRowsAreNeverSentAgain) {
  QueueVisits({"1", "2", "3"});
  server_.ScriptRpcReply(Items({"100000", "100020"}));
  EXPECT_EQ(Call(0x551).result, 100020);
  server_.ScriptRpc("VisitService.json", "saveProdVisit", "100000");
  QueueVisits({"4"});
  EXPECT_EQ(Call(0x551).result, 0);
  EXPECT_EQ(Sent(), (std::vector<std::vector<std::string>>{{"1", "2", "3"}, {"3", "4"}}));
  EXPECT_TRUE(Queue().empty());
}

TEST_F(BehaviorTest, RowsThatHoldNoRequestLeaveWithTheBatch) {
  QueueVisits({"1"});
  install_.Main("INSERT INTO BEHAVIOR(TRACK) VALUES('not json'), (''), ('5'), (NULL);");
  QueueVisits({"2"});
  server_.ScriptRpc("VisitService.json", "saveProdVisit", "100000");
  EXPECT_EQ(Call(0x551).result, 0);
  EXPECT_EQ(Sent(), (std::vector<std::vector<std::string>>{{"1", "2"}}));
  EXPECT_TRUE(Queue().empty());

  // A failed batch keeps them with the rest.
  QueueVisits({"3"});
  install_.Main("INSERT INTO BEHAVIOR(TRACK) VALUES('{');");
  server_.ScriptRpcReply(Items({"100000"}), "100013");
  EXPECT_EQ(Call(0x551).result, 100013);
  EXPECT_EQ(Queue(), (std::vector<std::string>{"3", "<broken>"}));

  // A queue of such rows only is dropped without a request.
  install_.Main("DELETE FROM BEHAVIOR; INSERT INTO BEHAVIOR(TRACK) VALUES('x'), ('');");
  server_.ClearRequests();
  EXPECT_EQ(Call(0x551).result, 0);
  EXPECT_TRUE(Queue().empty());
  EXPECT_TRUE(server_.RpcCalls().empty());
}

TEST_F(BehaviorTest, EmptyQueueSendsNothing) {
  qeltest::Reply reply = Call(0x551);
  EXPECT_EQ(reply.result, 0);
  EXPECT_EQ(reply.text, "");
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(BehaviorTest, RowAddedDuringASendSurvives) {
  QueueVisits({"1", "2"});
  server_.ScriptRpc("VisitService.json", "saveProdVisit", "100000");
  server_.SetRpcHook([this](const qeltest::RpcCall&) {
    install_.Main("INSERT INTO BEHAVIOR(TRACK) VALUES('{\"param\":{\"prodId\":\"late\"}}');");
  });
  EXPECT_EQ(Call(0x551).result, 0);
  server_.SetRpcHook(nullptr);
  EXPECT_EQ(Queue(), std::vector<std::string>{"late"});
}

TEST_F(BehaviorTest, ConcurrentSendsCarryEachRowOnce) {
  QueueVisits({"1", "2", "3", "4"});
  server_.ScriptRpc("VisitService.json", "saveProdVisit", "100000");
  std::vector<std::thread> senders;
  for (int i = 0; i < 3; ++i) senders.emplace_back([] { EXPECT_EQ(Call(0x551).result, 0); });
  for (std::thread& sender : senders) sender.join();
  std::vector<std::string> all;
  for (const auto& ids : Sent()) all.insert(all.end(), ids.begin(), ids.end());
  EXPECT_EQ(all, (std::vector<std::string>{"1", "2", "3", "4"}));
  EXPECT_TRUE(Queue().empty());
}

TEST_F(BehaviorTest, FeedbackIsSentOrQueuedWhenRefusedWhole) {
  qel::dataspace::cqelbridge::GetInstance()->SetCurrentUID("u5");
  enum Kind { kItem, kItems, kRaw };
  struct Case {
    const char* name;
    Kind kind;
    std::string status;
    int result;
    bool queued;
  };
  const Case cases[] = {
      {"accepted", kItem, "100000", 0, false},
      {"item refused", kItem, "100020", 100020, false},
      {"overall refused", kItems, "100013", 100013, true},
      {"overall status missing", kItems, "", 19999, true},
      // An error page is no answer: the feedback waits in the queue.
      {"html", kRaw, "", 19999, true},
  };
  for (const Case& c : cases) {
    install_.Main("DELETE FROM BEHAVIOR;");
    server_.ClearRpcScripts();
    server_.ClearRequests();
    if (c.kind == kItem) server_.ScriptRpc("FeedBackService.json", "addFeedBack", c.status);
    if (c.kind == kItems) server_.ScriptRpcReply(Items({"100000"}), c.status);
    if (c.kind == kRaw)
      server_.ScriptRpcRaw("FeedBackService.json", "addFeedBack", 200, "<html/>", "text/html");
    qeltest::Reply reply = Call(0x550, FeedbackRequest("a@example.com", "more pictures"));
    EXPECT_EQ(reply.result, c.result) << "case: " << c.name;
    EXPECT_EQ(Queue(), c.queued ? std::vector<std::string>{"more pictures"} : std::vector<std::string>{})
        << "case: " << c.name;
    ASSERT_EQ(server_.RpcCalls().size(), 1u) << "case: " << c.name;
    EXPECT_EQ(server_.RpcCalls()[0].Service(0), "FeedBackService.json addFeedBack");
    EXPECT_EQ(server_.RpcCalls()[0].Param(0),
              qeltest::Parse("{\"compId\":\"1001\",\"content\":\"more pictures\",\"mail\":\"a@example.com\","
                             "\"userId\":\"u5\"}"))
        << "case: " << c.name;
  }

  server_.ClearRequests();
  const std::string bad[] = {"", "not json", "{}", "{\"PARAM\":\"x\"}",
                             "{\"PARAM\":{\"FEEDBACKSERVICE\":\"x\"}}"};
  for (const std::string& text : bad) EXPECT_EQ(Call(0x550, text).result, 1) << "text: " << text;
  EXPECT_TRUE(server_.RpcCalls().empty());
}

class UnreachableBehaviorTest : public BehaviorTest {
  std::string ServerUrl() override { return server_.RefusedUrl("/qelservice"); }
};

TEST_F(UnreachableBehaviorTest, NothingIsLostWhileTheServiceIsDown) {
  QueueVisits({"1", "2"});
  qeltest::Reply batch = Call(0x551);
  EXPECT_EQ(batch.result, 500003);
  EXPECT_EQ(ErrorCode(batch.text), "500003");
  EXPECT_EQ(Queue(), (std::vector<std::string>{"1", "2"}));

  EXPECT_EQ(Call(0x550, FeedbackRequest("a@example.com", "hello")).result, 500003);
  EXPECT_EQ(Queue(), (std::vector<std::string>{"1", "2", "hello"}));
  std::vector<std::string> tracks = Rows("SELECT TRACK FROM BEHAVIOR ORDER BY ID DESC LIMIT 1");
  ASSERT_EQ(tracks.size(), 1u);
  EXPECT_EQ(qel::StringMember(qeltest::Parse(tracks[0]), "method"), "addFeedBack");
}

}  // namespace
