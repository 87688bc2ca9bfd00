// The service-call path of the custom module: envelope, post, parse,
// overall status, item status and the error reply.
#include <gtest/gtest.h>

#include <string>

#include "internet/qelservicecall.h"
#include "cqelbridge.h"
#include "customtest.h"
#include "internet/qelinternetrequestbean.h"
#include "internet/qelinternetresponsebean.h"

namespace qel {
namespace dataspace {
namespace {

using qeltest::CustomTest;

constexpr char kFun[] = "qel::dataspace::qel_Invoke_Custom::UserLogin";

Json::Value LoginParam() {
  Json::Value param(Json::objectValue);
  param["name"] = "alice";
  param["passwd"] = "s3cret-pw";
  param["type"] = "1";
  return param;
}

int CallLogin(std::string* reply, qelInternetResponseBean* response = nullptr) {
  qelInternetRequestBean bean;
  EXPECT_TRUE(bean.AddOneRequestWithParam(1, LoginParam()));
  return CallService(&bean, kFun, response, reply);
}

class ServiceCallTest : public CustomTest {};

TEST_F(ServiceCallTest, StatusesOfTheReplyBecomeTheResult) {
  enum Kind { kItems, kRaw };
  struct Case {
    const char* name;
    Kind kind;
    std::string overall;  // kItems: overall status ("" leaves it out)
    Json::Value items;    // kItems: the item list
    int httpStatus;       // kRaw
    std::string body;     // kRaw
    int result;
    std::string errorCode;  // "" when the reply must stay empty
  };
  const Case cases[] = {
      {"success", kItems, "100000", Items({"100000"}), 0, "", 0, ""},
      {"item refused", kItems, "100000", Items({"100020"}), 0, "", 100020, "100020"},
      {"overall refused", kItems, "100013", Items({"100000"}), 0, "", 100013, "100013"},
      {"overall missing", kItems, "", Items({"100000"}), 0, "", 19999, "19999"},
      {"overall zero", kItems, "0", Items({"100000"}), 0, "", 19999, "19999"},
      {"overall not a number", kItems, "ok", Items({"100000"}), 0, "", 19999, "19999"},
      {"empty item list", kItems, "100000", Json::Value(Json::arrayValue), 0, "", 19999, "19999"},
      {"item list not an array", kItems, "100000", Json::Value("x"), 0, "", 19999, "19999"},
      {"item status missing", kItems, "100000", Json::Value(Json::arrayValue).append(Json::objectValue), 0,
       "", 19999, "19999"},
      {"item status zero", kItems, "100000", Items({"0"}), 0, "", 19999, "19999"},
      {"item status not a number", kItems, "100000", Items({"fine"}), 0, "", 19999, "19999"},
      {"item status with trailing non-digits", kItems, "100000", Items({"100020x"}), 0, "", 19999, "19999"},
      {"item not an object", kItems, "100000", Json::Value(Json::arrayValue).append("100000"), 0, "", 19999,
       "19999"},
      // No JSON-RPC answer at all: like a reply without a status.
      {"html 200", kRaw, "", {}, 200, "<html><body>hello</body></html>", 19999, "19999"},
      {"html 500", kRaw, "", {}, 500, "<html><body>error</body></html>", 19999, "19999"},
      {"empty body", kRaw, "", {}, 200, "", 19999, "19999"},
      {"result is text", kRaw, "", {}, 200, "{\"result\":\"x\"}", 19999, "19999"},
  };
  for (const Case& c : cases) {
    server_.ClearRpcScripts();
    if (c.kind == kItems) {
      server_.ScriptRpcReply(c.items, c.overall);
    } else {
      server_.ScriptRpcRaw("PassportService.json", "login", c.httpStatus, c.body, "text/html");
    }
    std::string reply;
    EXPECT_EQ(CallLogin(&reply), c.result) << "case: " << c.name;
    if (c.errorCode.empty()) {
      EXPECT_EQ(reply, "") << "case: " << c.name;
    } else {
      EXPECT_EQ(ErrorCode(reply), c.errorCode) << "case: " << c.name << " reply: " << reply;
    }
  }
  EXPECT_EQ(server_.RpcCalls().size(), sizeof(cases) / sizeof(cases[0]));
}

TEST_F(ServiceCallTest, SuccessLeavesTheItemsReadable) {
  Json::Value user(Json::objectValue);
  user["userId"] = "7";
  server_.ScriptRpc("PassportService.json", "login", "100000", user);
  std::string reply;
  qelInternetResponseBean response;
  ASSERT_EQ(CallLogin(&reply, &response), 0);
  std::unique_ptr<qelInternetResponseNode> node(response.GetResultNode(0));
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->GetFieldVal("USERID"), "7");
  ASSERT_EQ(server_.RpcCalls().size(), 1u);
  EXPECT_EQ(server_.RpcCalls()[0].path, qeltest::HttpTestServer::kRpcPath);
  EXPECT_EQ(server_.RpcCalls()[0].Service(0), "PassportService.json login");
  EXPECT_EQ(server_.RpcCalls()[0].Param(0), LoginParam());
}

TEST_F(ServiceCallTest, PasswordNeverReachesTheLog) {
  server_.ScriptRpc("PassportService.json", "login", "100000", Json::Value(Json::objectValue));
  qeltest::ClearLog();
  std::string reply;
  ASSERT_EQ(CallLogin(&reply), 0);
  EXPECT_TRUE(qeltest::LoggedBridge(kFun, "http invoke param is "));
  EXPECT_TRUE(qeltest::LoggedBridge(kFun, "http invoke result is "));
  EXPECT_TRUE(qeltest::Logged("PassportService.json")) << qeltest::LogText();
  EXPECT_FALSE(qeltest::Logged("s3cret-pw")) << qeltest::LogText();
}

// A status text becomes its code only when it is a number; every other text
// (a number with more after it included) is 19999, never a code read off
// its leading digits.
TEST_F(ServiceCallTest, StatusTextsBecomeCodes) {
  const struct {
    std::string status;
    int code;
  } cases[] = {
      {"100020", 100020}, {"500003", 500003}, {" 100013 ", 100013}, {"100020x", 19999}, {"100020 1", 19999},
      {"x100020", 19999}, {"0", 19999},       {"", 19999},          {"-5", 19999},
  };
  for (const auto& c : cases) {
    std::string reply;
    EXPECT_EQ(ServiceFailure(c.status, &reply), c.code) << "status: '" << c.status << "'";
    EXPECT_EQ(ErrorCode(reply), std::to_string(c.code)) << "status: '" << c.status << "'";
  }
}

// The installation's text of 19999, as the sample installation ships it.
class ReplyTextTest : public CustomTest {
 protected:
  void SetUpRows() override {
    install_.Main(
        "INSERT INTO ERRORINFO (ERRORCODE, ERRORLEVE) VALUES ('19999', '2');"
        "INSERT INTO ERRORINFO_LANG (ERRORCODE, LANG, ERRORDESC) VALUES ('19999', 3, "
        "'服务器返回了无法识别的结果');");
  }
};

// A reply that is no JSON-RPC answer fails every call that reaches the
// service with 19999 and its text, never with a code the host has no text
// for.
TEST_F(ReplyTextTest, AReplyThatIsNoAnswerFailsWithATextForTheHost) {
  const struct {
    const char* name;
    int httpStatus;
    std::string body;
  } replies[] = {
      {"html error page", 500, "<html><body><h1>500 Internal Server Error</h1></body></html>"},
      {"garbage", 200, "\x01\x02 not json at all"},
      {"empty", 200, ""},
      {"json that is no JSON-RPC", 200, "{\"error\":{\"code\":-32600}}"},
      {"json array", 200, "[1,2,3]"},
  };
  const struct {
    const char* name;
    int code;
    const char* interfaceUrl;
    const char* method;
    std::string request;
  } calls[] = {
      {"login", 0x531, "PassportService.json", "login",
       R"({"PARAM":{"LOGININFO":{"USERID":"alice","PASSWORD":"pw","REMEMBER":"1"}}})"},
      {"sign-up", 0x532, "PassportService.json", "registerClientUser",
       R"({"PARAM":{"REGINFO":{"ACCOUNT":"li","PASSWORD":"pw"}}})"},
      {"security code", 0x535, "SendMailService.json", "sendMessageMail",
       R"({"PARAM":{"SENDINFO":{"ACCOUNTTYPE":"2","ACCOUNT":"a@b.c","PASSWORD":"pw"}}})"},
      {"code check", 0x536, "AuthCodeService.json", "regACByNameAndTypeAndCode",
       R"({"PARAM":{"VALIDATEINFO":{"SECURITYCODE":"1234","ACCOUNT":"a@b.c","ACCOUNTTYPE":"2"}}})"},
      {"user check", 0x554, "PassportService.json", "queryPassportByName",
       R"({"PARAM":{"USERINFO":{"NAME":"li","TYPE":"1","OLDNAME":""}}})"},
      {"password", 0x574, "PassportService.json", "queryPassportByName",
       R"({"PARAM":{"CHECKINFO":{"USERNAME":"li","NEWPWD":"pw2","TYPE":"1"}}})"},
      {"consultation", 0x539, "ConsultService.json", "saveProdConsult",
       R"({"PARAM":{"PROD_CONSULT":{"CONSULT_ID":"0","CONTENT":"c"}}})"},
      {"feedback", 0x550, "FeedBackService.json", "addFeedBack",
       R"({"PARAM":{"FEEDBACKSERVICE":{"EMAIL":"a@b.c","SUGGEST":"s"}}})"},
  };
  for (const auto& r : replies) {
    for (const auto& c : calls) {
      server_.ClearRpcScripts();
      server_.ScriptRpcRaw(c.interfaceUrl, c.method, r.httpStatus, r.body, "text/html");
      const size_t before = server_.RpcCalls().size();
      qeltest::Reply reply = qeltest::Call(c.code, c.request);
      EXPECT_EQ(server_.RpcCalls().size(), before + 1) << "call: " << c.name << ", reply: " << r.name;
      EXPECT_EQ(reply.result, 19999) << "call: " << c.name << ", reply: " << r.name;
      Json::Value error = qeltest::Parse(reply.text);
      EXPECT_EQ(qel::StringMember(error, "ERRORCODE"), "19999")
          << "call: " << c.name << ", reply: " << r.name;
      EXPECT_EQ(qel::StringMember(error, "ERRORDESC"), qeltest::Gbk("服务器返回了无法识别的结果"))
          << "call: " << c.name << ", reply: " << r.name;
    }
  }
}

class RefusedServiceCallTest : public CustomTest {
  std::string ServerUrl() override { return server_.RefusedUrl("/qelservice"); }
};

TEST_F(RefusedServiceCallTest, TransportFailureIsItsCode) {
  std::string reply;
  EXPECT_EQ(CallLogin(&reply), 500003);
  EXPECT_EQ(ErrorCode(reply), "500003");
}

class NoServerPathTest : public CustomTest {
  std::string ServerUrl() override { return ""; }
};

TEST_F(NoServerPathTest, EmptyAddressIsTheTransportCode) {
  std::string reply;
  EXPECT_EQ(CallLogin(&reply), 500001);
  EXPECT_EQ(ErrorCode(reply), "500001");
}

}  // namespace
}  // namespace dataspace
}  // namespace qel
