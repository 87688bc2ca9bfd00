// Sign-up (0x532), security codes (0x535), code check (0x536), user check
// (0x554) and password change (0x574).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "customtest.h"

namespace {

using qeltest::Call;
using qeltest::CustomTest;
using qeltest::Reply;

Json::Value Object(const std::vector<std::pair<std::string, std::string>>& members) {
  Json::Value object(Json::objectValue);
  for (const auto& [name, value] : members) object[name] = value;
  return object;
}

std::string Request(const std::string& table, const Json::Value& object) {
  Json::Value request;
  request["PARAM"][table] = object;
  return qel::WriteCompact(request);
}

std::string SignUpRequest(const std::string& account) {
  return Request("REGINFO", Object({{"ACCOUNT", account},
                                    {"PASSWORD", "pw"},
                                    {"MOBILE", "139"},
                                    {"COMPNAME", "Acme"},
                                    {"EMAIL", "e@x.y"},
                                    {"NAME", "Li"},
                                    {"POSITION", "buyer"},
                                    {"TEL1", "t1"},
                                    {"TEL2", "t2"},
                                    {"TEL3", "t3"}}));
}

class AccountTest : public CustomTest {
 protected:
  static Json::Value OneItem(const Json::Value& item) {
    Json::Value items(Json::arrayValue);
    items.append(item);
    return items;
  }
};

// Each call's service, method and param members.
TEST_F(AccountTest, RequestsSentForEachCall) {
  Json::Value account("acc-9");
  server_.ScriptRpc("PassportService.json", "queryPassportByName", "100000", account);
  server_.ScriptRpc("PassportService.json", "resetPassword", "100000");
  server_.ScriptRpc("PassportService.json", "registerClientUser", "100000");
  server_.ScriptRpc("SendMailService.json", "sendMessageMail", "100000");
  server_.ScriptRpc("SendPhoneMsgService.json", "sendPhoneMsg", "100000");
  server_.ScriptRpc("AuthCodeService.json", "regACByNameAndTypeAndCode", "100000");

  const Json::Value signUpParam = Object({{"name", "a@b.c"},
                                          {"passwd", "pw"},
                                          {"regtype", "2"},
                                          {"pstats", "1"},
                                          {"lang", "3"},
                                          {"addip", ""},
                                          {"useStatus", "2"},
                                          {"compname", "Acme"},
                                          {"userName", "Li"},
                                          {"tel1", "t1"},
                                          {"tel2", "t2"},
                                          {"tel3", "t3"},
                                          {"position", "buyer"},
                                          {"showMobile", "139"},
                                          {"showEmail", "e@x.y"},
                                          {"qyId", "1001"},
                                          {"userID", ""}});
  Json::Value digitsParam = signUpParam;
  digitsParam["name"] = "13800138000";
  digitsParam["regtype"] = "1";
  const struct {
    int code;
    std::string request;
    std::vector<std::string> services;
    std::vector<Json::Value> params;
  } cases[] = {
      {0x532, SignUpRequest("a@b.c"), {"PassportService.json registerClientUser"}, {signUpParam}},
      {0x532, SignUpRequest("13800138000"), {"PassportService.json registerClientUser"}, {digitsParam}},
      {0x535,
       Request("SENDINFO", Object({{"ACCOUNTTYPE", "2"}, {"ACCOUNT", "a@b.c"}, {"PASSWORD", "pw"}})),
       {"SendMailService.json sendMessageMail"},
       {Object({{"name", "a@b.c"}, {"type", "2"}, {"templateNo", "7"}, {"passWord", "pw"}})}},
      {0x535,
       Request("SENDINFO", Object({{"ACCOUNTTYPE", "1"}, {"ACCOUNT", "138"}})),
       {"SendPhoneMsgService.json sendPhoneMsg"},
       {Object({{"name", "138"}, {"type", "1"}, {"passWord", ""}})}},
      {0x536,
       Request("VALIDATEINFO",
               Object({{"SECURITYCODE", "QZ4711SC"}, {"ACCOUNT", "138"}, {"ACCOUNTTYPE", "1"}})),
       {"AuthCodeService.json regACByNameAndTypeAndCode"},
       {Object({{"name", "138"}, {"type", "1"}, {"code", "QZ4711SC"}})}},
      {0x554,
       Request("USERINFO", Object({{"NAME", "neo"}, {"TYPE", "1"}, {"OLDNAME", "old"}})),
       {"PassportService.json queryPassportByName"},
       {Object({{"name", "neo"}, {"type", "1"}, {"oldName", "old"}})}},
      {0x574,
       Request("CHECKINFO", Object({{"USERNAME", "neo"}, {"NEWPWD", "new-pw"}, {"TYPE", "1"}})),
       {"PassportService.json queryPassportByName", "PassportService.json resetPassword"},
       {Object({{"name", "neo"}, {"type", "1"}}), Object({{"id", "acc-9"}, {"passwd", "new-pw"}})}},
  };
  for (const auto& c : cases) {
    const size_t before = server_.RpcCalls().size();
    Reply reply = Call(c.code, c.request);
    EXPECT_EQ(reply.result, 0) << c.request << " " << reply.text;
    std::vector<qeltest::RpcCall> calls = server_.RpcCalls();
    ASSERT_EQ(calls.size() - before, c.services.size()) << c.request;
    for (size_t i = 0; i < c.services.size(); ++i) {
      const qeltest::RpcCall& call = calls[before + i];
      ASSERT_EQ(call.requests.size(), 1u) << c.request;
      EXPECT_EQ(call.Service(0), c.services[i]) << c.request;
      EXPECT_EQ(call.Param(0), c.params[i]) << c.request << "\n" << qel::WriteStyled(call.Param(0));
    }
  }
  EXPECT_FALSE(qeltest::Logged("new-pw")) << "password in the log";
  EXPECT_FALSE(qeltest::Logged("QZ4711SC")) << "security code in the log";
}

TEST_F(AccountTest, SignUpKeepsTheAccountWhenTheReplyCarriesItsId) {
  server_.ScriptRpcReply(OneItem(Item("100000", Object({{"UserId", "U9"}}))));
  ASSERT_EQ(Call(0x532, SignUpRequest("li@x.y")).result, 0);
  EXPECT_EQ(Rows("SELECT UID, USERID, MOBILE, COMPNAME, NAME, EMAIL, POSITION, TEL1, TEL2, TEL3, REMEMBER"
                 " FROM USERINFO"),
            std::vector<std::string>{"U9|li@x.y|139|Acme|Li|e@x.y|buyer|t1|t2|t3|<null>"});
  EXPECT_TRUE(qeltest::LoggedAtEnd(" AddRecord Success  "));
  // The new account does not become the current user.
  EXPECT_EQ(Call(0x534).result, 1);

  // Accepted without an id: nothing stored, still a success.
  server_.ScriptRpcReply(OneItem(Item("100000", Object({{"name", "x"}}))));
  EXPECT_EQ(Call(0x532, SignUpRequest("other")).result, 0);
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM USERINFO"), std::vector<std::string>{"1"});

  // Refused: the service's code, nothing stored.
  server_.ScriptRpcReply(Items({"100011"}));
  Reply refused = Call(0x532, SignUpRequest("third"));
  EXPECT_EQ(refused.result, 100011);
  EXPECT_EQ(ErrorCode(refused.text), "100011");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM USERINFO"), std::vector<std::string>{"1"});

  install_.Main("DROP TABLE USERINFO;");
  server_.ScriptRpcReply(OneItem(Item("100000", Object({{"USERID", "U10"}}))));
  EXPECT_EQ(Call(0x532, SignUpRequest("fourth")).result, 1);
  EXPECT_TRUE(qeltest::LoggedAtEnd(" AddRecord Faild  "));
}

TEST_F(AccountTest, UserCheckAnswers) {
  const struct {
    const char* name;
    Json::Value items;
    int result;
    std::string exist;
  } cases[] = {
      {"taken", Items({"100015"}), 0, "1"},
      {"free", Items({"100000"}), 0, "0"},
      {"refused", Items({"100020"}), 100020, ""},
      {"no item", Json::Value(Json::arrayValue), 19999, ""},
  };
  const std::string request = Request("USERINFO", Object({{"NAME", "neo"}, {"TYPE", "1"}, {"OLDNAME", ""}}));
  for (const auto& c : cases) {
    server_.ScriptRpcReply(c.items);
    Reply reply = Call(0x554, request);
    EXPECT_EQ(reply.result, c.result) << c.name;
    if (c.result == 0) {
      EXPECT_EQ(reply.text, "[\n   {\n      \"EXIST\" : \"" + c.exist + "\"\n   }\n]\n") << c.name;
    } else {
      EXPECT_EQ(ErrorCode(reply.text), std::to_string(c.result)) << c.name;
    }
  }
}

TEST_F(AccountTest, PasswordChangeNeedsTheAccountId) {
  const std::string request =
      Request("CHECKINFO", Object({{"USERNAME", "neo"}, {"NEWPWD", "n"}, {"TYPE", "1"}}));
  const struct {
    const char* name;
    Json::Value findItems;
    int result;
    size_t requests;
  } cases[] = {
      {"id is an object", OneItem(Item("100000", Object({{"id", "1"}}))), 1, 1},
      {"id is empty", OneItem(Item("100000", Json::Value(""))), 1, 1},
      {"name unknown", Items({"100020"}), 100020, 1},
      {"no item", Json::Value(Json::arrayValue), 19999, 1},
  };
  for (const auto& c : cases) {
    const size_t before = server_.RpcCalls().size();
    server_.ScriptRpcReply(c.findItems);
    EXPECT_EQ(Call(0x574, request).result, c.result) << c.name;
    EXPECT_EQ(server_.RpcCalls().size() - before, c.requests) << c.name;
  }
  server_.ScriptRpcReply(OneItem(Item("100000", Json::Value("acc"))));
  server_.ScriptRpcReply(Items({"100021"}));
  EXPECT_EQ(Call(0x574, request).result, 100021);
}

TEST_F(AccountTest, BadRequestsSendNothing) {
  const struct {
    int code;
    std::string request;
  } cases[] = {
      {0x532, ""},
      {0x532, "not json"},
      {0x532, R"({"PARAM":{}})"},
      {0x535, ""},
      {0x535, R"({"PARAM":{"SENDINFO":"x"}})"},
      {0x535, Request("SENDINFO", Object({{"ACCOUNTTYPE", "3"}, {"ACCOUNT", "a"}}))},
      {0x535, Request("SENDINFO", Object({{"ACCOUNT", "a"}}))},
      {0x536, ""},
      {0x536, "not json"},
      {0x536, "{}"},
      {0x536, R"({"PARAM":{}})"},
      {0x554, ""},
      {0x554, R"({"PARAM":{"USERINFO":[]}})"},
      {0x574, ""},
      {0x574, R"({"PARAM":{}})"},
      {0x574, Request("CHECKINFO", Object({{"USERNAME", ""}, {"NEWPWD", "n"}}))},
  };
  for (const auto& c : cases) EXPECT_EQ(Call(c.code, c.request).result, 1) << c.code << " " << c.request;
  EXPECT_TRUE(server_.RpcCalls().empty());
}

class UnreachableAccountTest : public CustomTest {
  std::string ServerUrl() override { return server_.RefusedUrl("/qelservice"); }
};

TEST_F(UnreachableAccountTest, EveryCallGivesTheTransportCode) {
  const struct {
    int code;
    std::string request;
  } cases[] = {
      {0x532, SignUpRequest("a@b.c")},
      {0x535, Request("SENDINFO", Object({{"ACCOUNTTYPE", "1"}, {"ACCOUNT", "138"}}))},
      {0x536, Request("VALIDATEINFO", Object({{"SECURITYCODE", "1"}, {"ACCOUNT", "138"}}))},
      {0x554, Request("USERINFO", Object({{"NAME", "neo"}}))},
      {0x574, Request("CHECKINFO", Object({{"USERNAME", "neo"}, {"NEWPWD", "n"}}))},
  };
  for (const auto& c : cases) {
    Reply reply = Call(c.code, c.request);
    EXPECT_EQ(reply.result, 500003) << c.code;
    EXPECT_EQ(ErrorCode(reply.text), "500003") << c.code;
  }
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM USERINFO"), std::vector<std::string>{"0"});
}

}  // namespace
