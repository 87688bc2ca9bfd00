// Fixture of the custom-module tests: an installation with a company row, a
// loopback service as SERVER_PATH and the log callback captured.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridgetest.h"
#include "httptestserver.h"
#include "qel/json.h"
#include "qelbridge.h"
#include "testsupport.h"

namespace qeltest {

class CustomTest : public ::testing::Test {
 protected:
  void SetUp() override {
    install_.Ex("INSERT INTO COMPANY(ID, SERIALID, COMTEMP) VALUES('1001', 'S77', 'T5');");
    SetUpRows();
    SetLogCallback(&CaptureLog);
    ASSERT_EQ(InitQelbridge(260, install_.StartupJson(ServerUrl()).c_str()), 0);
  }
  void TearDown() override { SetLogCallback(nullptr); }

  // Rows a test needs before start-up (a remembered user).
  virtual void SetUpRows() {}
  // SERVER_PATH of the start-up JSON.
  virtual std::string ServerUrl() { return server_.RpcUrl(); }

  // One stored row of each kind the module keeps: product 10000000002 (in
  // the catalogue) as a favourite, the account "bob" (UID u1), and its
  // consultation 7 and inquiry 8 about that product.
  void InsertStoredRows() const {
    install_.Ex(
        "INSERT INTO PRODUCT (PRODUCT_ID, SORT, SSORT, TEMPLATESORT, LASTTIME) VALUES "
        "('10000000002', 1, 1, 1, 1000);");
    install_.Main(
        "INSERT INTO FAVORITES (PRODUCT_ID) VALUES ('10000000002');"
        "INSERT INTO USERINFO (UID, USERID) VALUES ('u1', 'bob');"
        "INSERT INTO PROD_CONSULT (CONSULT_ID, PRODUCT_ID, CONTENT, USERID) VALUES (7, '10000000002', 'q', "
        "'u1');"
        "INSERT INTO PROD_INQUIRY (INQUIRY_ID, PRODUCT_ID, CONTENT, USERID) VALUES (8, '10000000002', 'i', "
        "'u1');");
  }

  // Rows of a main-database query, columns joined by "|".
  std::vector<std::string> Rows(const std::string& sql) const { return install_.QueryMain(sql); }

  // An item {"status","result"} of a scripted reply.
  static Json::Value Item(const std::string& status, const Json::Value& result = Json::Value("")) {
    Json::Value item(Json::objectValue);
    item["status"] = status;
    item["result"] = result;
    return item;
  }
  static Json::Value Items(const std::vector<std::string>& statuses) {
    Json::Value items(Json::arrayValue);
    for (const std::string& status : statuses) items.append(Item(status));
    return items;
  }
  // ERRORCODE of an error reply ("" when the text is something else).
  static std::string ErrorCode(const std::string& replyText) {
    Json::Value value;
    if (!qel::ParseJson(replyText, &value)) return "";
    return qel::StringMember(value, "ERRORCODE");
  }

  TransportTimeouts timeouts_{TransportTimeouts::kHealthy};
  HttpTestServer server_;
  Installation install_;
};

}  // namespace qeltest
