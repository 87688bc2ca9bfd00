// Login (0x531) and user information (0x534) of the custom module.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "business/custom/userid.h"
#include "cqelbridge.h"
#include "customtest.h"
#include "internet/qelinternetresponsenode.h"

namespace {

using qel::dataspace::cqelbridge;
using qeltest::Call;
using qeltest::Gbk;

std::string LoginRequest(const std::string& account, const std::string& password,
                         const std::string& remember) {
  Json::Value root;
  Json::Value& info = root["PARAM"]["LOGININFO"];
  info["USERID"] = account;
  info["PASSWORD"] = password;
  info["REMEMBER"] = remember;
  return qel::WriteStyled(root);
}

// The user object of a login reply, as the service writes it (UTF-8).
Json::Value User(const std::string& uid, const std::string& name = "Alice") {
  Json::Value user(Json::objectValue);
  user["userId"] = uid;
  user["name"] = name;
  user["showMobile"] = "138";
  user["companyName"] = "ACME";
  user["showEmail"] = "a@example.com";
  user["position"] = "buyer";
  user["tel1"] = "1";
  user["tel2"] = "2";
  user["tel3"] = "3";
  return user;
}

class LoginTest : public qeltest::CustomTest {
 protected:
  std::vector<std::string> Users() const {
    return Rows(
        "SELECT UID, USERID, NAME, MOBILE, COMPNAME, EMAIL, POSITION, TEL1, TEL2, TEL3, REMEMBER "
        "FROM USERINFO ORDER BY rowid");
  }
  std::string Current() { return cqelbridge::GetInstance()->GetCurrentUID(); }
};

TEST_F(LoginTest, RepliesOfTheServiceDecideTheResult) {
  enum Kind { kItem, kItems, kRaw };
  struct Case {
    const char* name;
    Kind kind;
    std::string status;  // item status (kItem) or overall status (kItems)
    Json::Value value;   // item result (kItem) or item list (kItems)
    int httpStatus;      // kRaw
    std::string body;    // kRaw
    int result;
    const char* errorCode;  // "" when no error object is expected
  };
  Json::Value noUid = User("");
  Json::Value objectUid = User("");
  objectUid["userId"] = Json::Value(Json::objectValue);
  const Case cases[] = {
      {"success", kItem, "100000", User("u7"), 0, "", 0, ""},
      {"wrong password", kItem, "100020", User("u7"), 0, "", 100020, "100020"},
      {"no such user", kItems, "100013", Items({"100000"}), 0, "", 100013, "100013"},
      {"overall status missing", kItems, "", Items({"100000"}), 0, "", 19999, "19999"},
      {"no item", kItems, "100000", Json::Value(Json::arrayValue), 0, "", 19999, "19999"},
      {"empty user id", kItem, "100000", noUid, 0, "", 1, ""},
      {"user id not a text", kItem, "100000", objectUid, 0, "", 1, ""},
      {"result is a text", kItem, "100000", Json::Value("ok"), 0, "", 1, ""},
      {"html 200", kRaw, "", {}, 200, "<html>ok</html>", 19999, "19999"},
      {"html 500", kRaw, "", {}, 500, "<html>down</html>", 19999, "19999"},
  };
  for (const Case& c : cases) {
    server_.ClearRpcScripts();
    install_.Main("DELETE FROM USERINFO;");
    cqelbridge::GetInstance()->SetCurrentUID("before");
    if (c.kind == kItem) server_.ScriptRpc("PassportService.json", "login", c.status, c.value);
    if (c.kind == kItems) server_.ScriptRpcReply(c.value, c.status);
    if (c.kind == kRaw)
      server_.ScriptRpcRaw("PassportService.json", "login", c.httpStatus, c.body, "text/html");

    qeltest::Reply reply = Call(0x531, LoginRequest("alice", "pw", "1"));
    EXPECT_EQ(reply.result, c.result) << "case: " << c.name << "\n" << reply.text;
    if (c.result == 0) {
      EXPECT_EQ(Users(), std::vector<std::string>{"u7|alice|Alice|138|ACME|a@example.com|buyer|1|2|3|1"})
          << "case: " << c.name;
      EXPECT_EQ(Current(), "u7") << "case: " << c.name;
      Json::Value rows = qeltest::Parse(reply.text);
      ASSERT_EQ(rows.size(), 1u) << "case: " << c.name;
      EXPECT_EQ(rows[0].size(), 32u) << "case: " << c.name;
      EXPECT_EQ(qel::StringMember(rows[0], "UID"), "u7") << "case: " << c.name;
    } else {
      EXPECT_TRUE(Users().empty()) << "case: " << c.name;
      EXPECT_EQ(Current(), "before") << "case: " << c.name;
      if (c.errorCode[0] != '\0') {
        EXPECT_EQ(ErrorCode(reply.text), c.errorCode) << "case: " << c.name;
      }
    }
  }
}

TEST_F(LoginTest, RequestCarriesTheAccountType) {
  server_.ScriptRpc("PassportService.json", "login", "100000", User("u1"));
  const struct {
    std::string account;
    const char* type;
  } cases[] = {
      {"a@example.com", "2"},
      {"alice", "1"},
      // The second byte of this GBK character is 0x40 ("@"): no mail address.
      {std::string("\x81\x40", 2), "1"},
  };
  for (const auto& c : cases) {
    server_.ClearRequests();
    EXPECT_EQ(Call(0x531, LoginRequest(c.account, "pw", "")).result, 0) << "account: " << c.account;
    std::vector<qeltest::RpcCall> calls = server_.RpcCalls();
    ASSERT_FALSE(calls.empty());
    Json::Value param(Json::objectValue);
    param["name"] = qeltest::Utf8(c.account);
    param["passwd"] = "pw";
    param["type"] = c.type;
    EXPECT_EQ(calls.back().Service(0), "PassportService.json login");
    EXPECT_EQ(calls.back().Param(0), param) << "account: " << c.account;
  }
}

TEST_F(LoginTest, PasswordIsMaskedInEveryLoggedText) {
  server_.ScriptRpc("PassportService.json", "login", "100000", User("u1"));
  qeltest::ClearLog();
  EXPECT_EQ(Call(0x531, LoginRequest("alice", "Pw-8c1f-secret", "")).result, 0);
  // The request text, the envelope and its nested base object were logged.
  EXPECT_TRUE(qeltest::Logged("LOGININFO")) << qeltest::LogText();
  EXPECT_TRUE(qeltest::Logged("requestMethods")) << qeltest::LogText();
  EXPECT_FALSE(qeltest::Logged("Pw-8c1f-secret")) << qeltest::LogText();
}

TEST_F(LoginTest, MissingAccountOrPasswordSendsNothing) {
  const std::string requests[] = {LoginRequest("", "pw", "1"), LoginRequest("alice", "", "1"), "{}",
                                  "not json", "{\"PARAM\":{\"LOGININFO\":\"alice\"}}"};
  for (const std::string& request : requests) {
    qeltest::ClearLog();
    EXPECT_EQ(Call(0x531, request).result, 1) << request;
    EXPECT_TRUE(qeltest::LoggedDirect("UserName Or Pwd is empty")) << request;
  }
  EXPECT_TRUE(server_.RpcCalls().empty());
}

TEST_F(LoginTest, AccountsMatchWithoutCaseAndOneStaysRemembered) {
  install_.Main(
      "INSERT INTO USERINFO(UID, USERID, NICKNAME, REMEMBER) VALUES('old', 'Alice', 'nick', '1'),"
      "('b1', 'bob', '', '');");
  server_.ScriptRpc("PassportService.json", "login", "100000", User("u7"));
  EXPECT_EQ(Call(0x531, LoginRequest("ALICE", "pw", "0")).result, 0);
  // Same row, name as typed this time, columns the login does not write kept.
  EXPECT_EQ(Rows("SELECT UID, USERID, NICKNAME, REMEMBER FROM USERINFO ORDER BY rowid"),
            (std::vector<std::string>{"u7|ALICE|nick|", "b1|bob||"}));

  server_.ScriptRpc("PassportService.json", "login", "100000", User("B1"));
  EXPECT_EQ(Call(0x531, LoginRequest("Bob", "pw", "1")).result, 0);
  EXPECT_EQ(Rows("SELECT USERID FROM USERINFO WHERE REMEMBER = '1'"), std::vector<std::string>{"Bob"});
  EXPECT_EQ(Current(), "B1");

  // A quote in the account name is just a character.
  server_.ScriptRpc("PassportService.json", "login", "100000", User("q1"));
  EXPECT_EQ(Call(0x531, LoginRequest("o'neil", "pw", "1")).result, 0);
  EXPECT_EQ(Rows("SELECT USERID FROM USERINFO WHERE REMEMBER = '1'"), std::vector<std::string>{"o'neil"});
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM USERINFO"), std::vector<std::string>{"3"});
}

TEST_F(LoginTest, ChineseNamesAreUtf8StoredAndGbkReplied) {
  server_.ScriptRpc("PassportService.json", "login", "100000", User("u9", "张三"));
  qeltest::Reply login = Call(0x531, LoginRequest(Gbk("张三"), "pw", "1"));
  ASSERT_EQ(login.result, 0) << login.text;
  EXPECT_EQ(Rows("SELECT USERID, NAME FROM USERINFO"), std::vector<std::string>{"张三|张三"});
  qeltest::Reply info = Call(0x534);
  ASSERT_EQ(info.result, 0);
  Json::Value rows;
  ASSERT_TRUE(qel::ParseGbkJson(info.text, &rows)) << info.text;
  EXPECT_EQ(qel::StringMember(qel::Element(rows, 0), "NAME"), Gbk("张三"));
  EXPECT_EQ(qel::StringMember(qel::Element(rows, 0), "USERID"), Gbk("张三"));
}

TEST_F(LoginTest, UserInfoNeedsACurrentUserWithARow) {
  qeltest::ClearLog();
  EXPECT_EQ(Call(0x534).result, 1);
  EXPECT_TRUE(qeltest::LoggedDirect("There is not any user"));
  cqelbridge::GetInstance()->SetCurrentUID("ghost");
  EXPECT_EQ(Call(0x534).result, 1);
  install_.Main("INSERT INTO USERINFO(UID, USERID, NAME) VALUES('Ghost', 'g', 'G');");
  qeltest::Reply info = Call(0x534);
  EXPECT_EQ(info.result, 0);
  EXPECT_EQ(qeltest::Column(info.text, "NAME"), std::vector<std::string>{"G"});
  // A column the row leaves NULL reads as "".
  EXPECT_EQ(qeltest::Column(info.text, "EMAIL"), std::vector<std::string>{""});
}

// Login and sign-up read the service's user id one way: trimmed, and
// refused when nothing is left or it holds NUL or another control character.
// Refused, login fails with nothing stored and the current user kept;
// sign-up succeeds without a row.
TEST_F(LoginTest, LoginAndSignUpReadTheUserIdAlike) {
  const struct {
    const char* name;
    Json::Value id;      // USERID of the reply
    std::string stored;  // UID stored; "" when the id is refused
  } cases[] = {
      {"plain", "u7", "u7"},
      {"a number", Json::Value(10086), "10086"},
      {"chinese", "用户7", "用户7"},
      {"blanks around", " \tu7 \r\n", "u7"},
      {"empty", "", ""},
      {"blanks only", "  \t ", ""},
      {"NUL first", std::string("\0x", 2), ""},
      {"NUL inside", std::string("u7\0", 3), ""},
      {"control character",
       "u\x01"
       "7",
       ""},
      {"tab inside", "u\t7", ""},
      {"DEL", "u7\x7f", ""},
  };
  for (const auto& c : cases) {
    const bool usable = !c.stored.empty();
    const std::vector<std::string> rows =
        usable ? std::vector<std::string>{c.stored} : std::vector<std::string>{};

    install_.Main("DELETE FROM USERINFO;");
    cqelbridge::GetInstance()->SetCurrentUID("before");
    Json::Value user = User("");
    user["userId"] = c.id;
    server_.ScriptRpc("PassportService.json", "login", "100000", user);
    qeltest::Reply login = Call(0x531, LoginRequest("alice", "pw", "1"));
    EXPECT_EQ(login.result, usable ? 0 : 1) << "login, case: " << c.name;
    EXPECT_EQ(Rows("SELECT UID FROM USERINFO"), rows) << "login, case: " << c.name;
    EXPECT_EQ(Current(), usable ? Gbk(c.stored) : "before") << "login, case: " << c.name;

    install_.Main("DELETE FROM USERINFO;");
    cqelbridge::GetInstance()->SetCurrentUID("before");
    Json::Value account(Json::objectValue);
    account["userId"] = c.id;
    server_.ScriptRpc("PassportService.json", "registerClientUser", "100000", account);
    Json::Value request;
    request["PARAM"]["REGINFO"]["ACCOUNT"] = "li";
    request["PARAM"]["REGINFO"]["PASSWORD"] = "pw";
    EXPECT_EQ(Call(0x532, qel::WriteCompact(request)).result, 0) << "sign-up, case: " << c.name;
    EXPECT_EQ(Rows("SELECT UID FROM USERINFO"), rows) << "sign-up, case: " << c.name;
    EXPECT_EQ(Current(), "before") << "sign-up, case: " << c.name;
  }
  // The transport hands every reply over as whole GBK text; an id that is
  // not (here a code GBK leaves unassigned) is refused all the same.
  Json::Value item(Json::objectValue);
  item["USERID"] = std::string("\xAA\xA1u7");
  qel::dataspace::qelInternetResponseNode node(item);
  std::string uid = "kept";
  EXPECT_FALSE(qel::dataspace::custom::ReadServiceUserId(&node, &uid));
  EXPECT_EQ(uid, "kept");
}

// Every control character, wherever it stands inside the id, makes it
// unusable: the last one below the blank (0x1F) as much as NUL and DEL.
TEST(ServiceUserId, EveryControlCharacterInsideMakesItUnusable) {
  std::vector<char> controls;
  for (int c = 0; c < 0x20; ++c) controls.push_back(static_cast<char>(c));
  controls.push_back('\x7f');
  for (char control : controls) {
    Json::Value item(Json::objectValue);
    item["USERID"] = std::string("u") + control + "7";
    qel::dataspace::qelInternetResponseNode node(item);
    std::string uid = "kept";
    EXPECT_FALSE(qel::dataspace::custom::ReadServiceUserId(&node, &uid))
        << "byte 0x" << std::hex << static_cast<int>(static_cast<unsigned char>(control));
    EXPECT_EQ(uid, "kept") << "byte 0x" << std::hex << static_cast<int>(static_cast<unsigned char>(control));
  }
}

class RefusedLoginTest : public qeltest::CustomTest {
  std::string ServerUrl() override { return server_.RefusedUrl("/qelservice"); }
};

TEST_F(RefusedLoginTest, UnreachableServiceIsTheTransportCode) {
  qeltest::Reply reply = Call(0x531, LoginRequest("alice", "pw", "1"));
  EXPECT_EQ(reply.result, 500003);
  EXPECT_EQ(ErrorCode(reply.text), "500003");
  EXPECT_TRUE(Rows("SELECT * FROM USERINFO").empty());
}

}  // namespace
