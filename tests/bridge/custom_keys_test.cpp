// Keys of the custom module's requests are one value: a product,
// favourite, consultation or inquiry id or an account that is not whole GBK
// text, or holds NUL, is bad input, so no statement reads it as one value
// while another writes it as a second.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "cqelbridge.h"
#include "customtest.h"

namespace {

using qel::dataspace::cqelbridge;
using qeltest::Call;
using qeltest::Reply;

std::string ProductRequest(const std::string& id) {
  return "{\"PARAM\":{\"PRODUCT\":{\"PRODUCT_ID\":\"" + id + "\"}}}";
}

std::string LoginRequest(const std::string& account) {
  return "{\"PARAM\":{\"LOGININFO\":{\"USERID\":\"" + account +
         "\",\"PASSWORD\":\"pw\",\"REMEMBER\":\"1\"}}}";
}

// A request whose object `object` holds the account under `key`, and the
// members of `rest` (a JSON text of members, leading comma).
std::function<std::string(const std::string&)> AccountRequest(const char* object, const char* key,
                                                              const char* rest) {
  return [object, key, rest](const std::string& account) {
    return std::string("{\"PARAM\":{\"") + object + "\":{\"" + key + "\":\"" + account + "\"" + rest + "}}}";
  };
}

// A delete of row id of table (idKey its id member) of product 10000000002.
std::string DeleteRequest(const char* table, const char* idKey, const std::string& id) {
  return std::string("{\"PARAM\":{\"PRODUCT\":{\"PRODUCT_ID\":\"10000000002\"},\"") + table + "\":{\"" +
         idKey + "\":\"" + id + "\"}}}";
}

// A submission under id of product 10000000002.
std::string SubmitRequest(const char* table, const char* idKey, const std::string& id) {
  return std::string("{\"PARAM\":{\"") + table + "\":{\"" + idKey + "\":\"" + id +
         "\",\"PRODUCT_ID\":\"10000000002\",\"CONTENT\":\"c\"}}}";
}

class KeysTest : public qeltest::CustomTest {
 protected:
  void SetUpRows() override { InsertStoredRows(); }

  // Every table a refused key could change, one text.
  std::string Tables() const {
    std::string text;
    for (const char* sql :
         {"SELECT * FROM FAVORITES ORDER BY 1", "SELECT * FROM PRODUCT_EXTEND ORDER BY 1",
          "SELECT * FROM USERINFO ORDER BY rowid", "SELECT * FROM PROD_CONSULT ORDER BY rowid",
          "SELECT * FROM PROD_INQUIRY ORDER BY rowid", "SELECT * FROM BEHAVIOR ORDER BY 1"}) {
      text += std::string(sql) + ":\n";
      for (const std::string& row : Rows(sql)) text += row + "\n";
    }
    return text;
  }
};

TEST_F(KeysTest, KeysThatAreNoWholeTextAreRefusedAndChangeNothing) {
  cqelbridge::GetInstance()->SetCurrentUID("u1");
  // Had a bad account gone through, the login would store a user.
  Json::Value user(Json::objectValue);
  user["userId"] = "u9";
  server_.ScriptRpc("PassportService.json", "login", "100000", user);

  const struct {
    const char* name;
    int code;
    std::string existing;  // the key of a stored row
    std::function<std::string(const std::string&)> request;
  } calls[] = {
      {"mark product seen", 0x522, "10000000002", ProductRequest},
      {"mark seen", 0x523, "10000000002", ProductRequest},
      {"add favourite", 0x502, "10000000002", ProductRequest},
      {"remove favourite", 0x503, "10000000002", ProductRequest},
      {"is favourite", 0x504, "10000000002", ProductRequest},
      {"login", 0x531, "bob", LoginRequest},
      {"sign-up", 0x532, "bob", AccountRequest("REGINFO", "ACCOUNT", ",\"PASSWORD\":\"pw\"")},
      {"send security code", 0x535, "bob", AccountRequest("SENDINFO", "ACCOUNT", ",\"ACCOUNTTYPE\":\"1\"")},
      {"check security code", 0x536, "bob",
       AccountRequest("VALIDATEINFO", "ACCOUNT", ",\"ACCOUNTTYPE\":\"1\",\"SECURITYCODE\":\"1234\"")},
      {"user exists", 0x554, "bob", AccountRequest("USERINFO", "NAME", ",\"TYPE\":\"1\",\"OLDNAME\":\"\"")},
      {"user exists, old name", 0x554, "bob",
       AccountRequest("USERINFO", "OLDNAME", ",\"TYPE\":\"1\",\"NAME\":\"bob\"")},
      {"change password", 0x574, "bob",
       AccountRequest("CHECKINFO", "USERNAME", ",\"TYPE\":\"1\",\"NEWPWD\":\"x\"")},
      {"consultation count", 0x537, "10000000002", ProductRequest},
      {"inquiry count", 0x538, "10000000002", ProductRequest},
      {"consultations", 0x53b, "10000000002", ProductRequest},
      {"inquiries", 0x53c, "10000000002", ProductRequest},
      {"delete consultation", 0x53d, "7",
       [](const std::string& id) { return DeleteRequest("PROD_CONSULT", "CONSULT_ID", id); }},
      {"delete inquiry", 0x53e, "8",
       [](const std::string& id) { return DeleteRequest("PROD_INQUIRY", "INQUIRY_ID", id); }},
      {"consult", 0x539, "7",
       [](const std::string& id) { return SubmitRequest("PROD_CONSULT", "CONSULT_ID", id); }},
      {"inquire", 0x53a, "8",
       [](const std::string& id) { return SubmitRequest("PROD_INQUIRY", "INQUIRY_ID", id); }},
  };
  const std::string tables = Tables();
  for (const auto& call : calls) {
    const struct {
      const char* name;
      std::string key;
    } keys[] = {
        {"quote-like byte", ";\xEE"},
        {"stored key and a byte that is no GBK", call.existing + "\xEE"},
        {"lone lead byte", "\x81"},
        {"NUL", call.existing + "\\u0000"},
        // Escapes of characters GBK lacks, as a host's writer sends them.
        {"stored key and an emoji as a pair", call.existing + "\\ud83d\\ude00"},
        {"stored key and a lone first half", call.existing + "\\ud83d"},
        {"stored key and a lone second half", call.existing + "\\udc00"},
        {"stored key and a character GBK lacks", call.existing + "\\u0e01"},
    };
    for (const auto& key : keys) {
      const std::string request = call.request(key.key);
      const Reply first = Call(call.code, request);
      const Reply second = Call(call.code, request);
      EXPECT_EQ(first.result, 1) << "call: " << call.name << ", key: " << key.name;
      EXPECT_EQ(ErrorCode(first.text), "1") << "call: " << call.name << ", key: " << key.name;
      EXPECT_EQ(second.result, first.result) << "call: " << call.name << ", key: " << key.name;
      EXPECT_EQ(second.text, first.text) << "call: " << call.name << ", key: " << key.name;
      EXPECT_EQ(Tables(), tables) << "call: " << call.name << ", key: " << key.name;
    }
  }
  EXPECT_TRUE(server_.RpcCalls().empty());
  EXPECT_EQ(cqelbridge::GetInstance()->GetCurrentUID(), "u1");
}

}  // namespace
