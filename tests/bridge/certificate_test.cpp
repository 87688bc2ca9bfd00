// Company certificates (module 2) through the public entry point.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridgetest.h"
#include "qel/json.h"
#include "qelbridge.h"
#include "testsupport.h"

namespace {

constexpr int kAllCerts = 0x200;
constexpr int kChildCerts = 0x201;

using qeltest::Call;
using qeltest::Reply;

// The ID members of an array reply, in order.
std::vector<std::string> Ids(const std::string& text) { return qeltest::Column(text, "ID"); }

using IdList = std::vector<std::string>;

class CompanyCertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // STATUS null, '', 1 and 5 are valid, 0 and -1 are not. 11, 12 and 22
    // share SORT 1 and so come in descending ID order.
    install_.Ex(
        "INSERT INTO COMPANYCERT (ID, FATHER_ID, NAME, IMG, STATUS, SORT) VALUES"
        " ('11', NULL, 'ISO 9001', 'certs/11.jpg', NULL, 1),"
        " ('12', NULL, '质量管理体系认证', 'certs/12.jpg', '', 1),"
        " ('13', NULL, 'CE', 'certs/13.jpg', 1, 2),"
        " ('14', NULL, 'CCC', NULL, 5, 0),"
        " ('15', NULL, 'withdrawn', NULL, 0, 0),"
        " ('16', NULL, 'expired', NULL, -1, 0),"
        " ('21', '12', 'child b', NULL, 1, 2),"
        " ('22', '12', 'child a', NULL, NULL, 1),"
        " ('23', '12', 'child withdrawn', NULL, 0, 1),"
        " ('24', '13', 'child of 13', NULL, 1, 3);");
    ASSERT_EQ(InitQelbridge(260, install_.StartupJson().c_str()), 0);
  }

  qeltest::Installation install_;
};

TEST_F(CompanyCertTest, AllValidCertificatesInOrder) {
  Reply reply = Call(kAllCerts, "");
  ASSERT_EQ(reply.result, 0);
  EXPECT_EQ(Ids(reply.text), (IdList{"14", "22", "12", "11", "21", "13", "24"}));

  // Every column of the table, NULL as "", texts in GBK.
  Json::Value rows;
  ASSERT_TRUE(qel::ParseJson(reply.text, &rows));
  const Json::Value& cert12 = rows[2];
  EXPECT_EQ(qel::StringMember(cert12, "NAME"), qeltest::Gbk("质量管理体系认证"));
  EXPECT_EQ(qel::StringMember(cert12, "IMG"), "certs/12.jpg");
  EXPECT_EQ(qel::StringMember(cert12, "FATHER_ID"), "");
  EXPECT_EQ(qel::StringMember(cert12, "STATUS"), "");
  EXPECT_EQ(qel::StringMember(cert12, "SORT"), "1");
  EXPECT_EQ(cert12.size(), 6u);
}

TEST_F(CompanyCertTest, AllCertificatesIgnoreTheRequest) {
  for (const char* request : {"", "x", "[1]", "{\"ID\":\"12\"}", "null"}) {
    Reply reply = Call(kAllCerts, request);
    EXPECT_EQ(reply.result, 0) << "request: " << request;
    EXPECT_EQ(Ids(reply.text).size(), 7u) << "request: " << request;
  }
}

TEST_F(CompanyCertTest, ChildrenByRequest) {
  struct Case {
    const char* request;
    const char* reply;  // nullptr: compare ids
    IdList ids;
  };
  const Case cases[] = {
      {"{\"ID\":\"12\"}", nullptr, {"22", "21"}},
      {"{\"ID\":\"13\"}", nullptr, {"24"}},
      {"{\"ID\":\" 12\"}", nullptr, {"22", "21"}},
      // The leading number is the id, the rest of the text is ignored.
      {"{\"ID\":\"12' OR '1'='1\"}", nullptr, {"22", "21"}},
      {"{\"ID\":\"12 or 1=1\"}", nullptr, {"22", "21"}},
      {"{\"ID\":\"99\"}", "[]", {}},
      {"{\"ID\":\"1%\"}", "[]", {}},
      {"{\"ID\":\"-5\"}", "[]", {}},
      // No id: the empty text, without a query.
      {"{\"ID\":\"\"}", "", {}},
      {"{}", "", {}},
      {"x", "", {}},
      {"[1]", "", {}},
      {"", "", {}},
      {"{\"ID\":\"-1\"}", "", {}},
      {"{\"ID\":\"abc\"}", "", {}},
      {"{\"ID\":\"' OR 1=1 --\"}", "", {}},
      {"{\"ID\":12}", "", {}},
      {"{\"ID\":[\"12\"]}", "", {}},
      {"{\"ID\":{\"ID\":\"12\"}}", "", {}},
      {"{\"ID\":null}", "", {}},
      // Beyond the int range: no id rather than a wrapped or clamped one.
      {"{\"ID\":\"99999999999\"}", "", {}},
      {"{\"ID\":\"4294967308\"}", "", {}},
      {"{\"ID\":\"-99999999999999999999999\"}", "", {}},
  };
  for (const Case& c : cases) {
    Reply reply = Call(kChildCerts, c.request);
    EXPECT_EQ(reply.result, 0) << "request: " << c.request;
    if (c.reply != nullptr) {
      EXPECT_EQ(reply.text, c.reply) << "request: " << c.request;
    } else {
      EXPECT_EQ(Ids(reply.text), c.ids) << "request: " << c.request;
    }
  }
}

TEST_F(CompanyCertTest, UnknownMethodsGiveTheErrorReply) {
  for (int code : {0x202, 0x203, 0x2FF}) {
    Reply reply = Call(code, "{\"ID\":\"12\"}");
    EXPECT_EQ(reply.result, -1) << "code: " << code;
    Json::Value error;
    ASSERT_TRUE(qel::ParseJson(reply.text, &error)) << "code: " << code << " reply: " << reply.text;
    EXPECT_EQ(qel::StringMember(error, "ERRORCODE"), "-1") << "code: " << code;
    EXPECT_FALSE(qel::HasMember(error, "ID")) << "code: " << code;
  }
}

TEST(CompanyCertNoTable, FailedQueryGivesTheEmptyText) {
  qeltest::Installation install("notable");
  install.Ex("DROP TABLE COMPANYCERT;");
  ASSERT_EQ(InitQelbridge(260, install.StartupJson().c_str()), 0);
  for (auto [code, request] :
       {std::pair<int, const char*>{kAllCerts, ""}, {kChildCerts, "{\"ID\":\"12\"}"}}) {
    Reply reply = Call(code, request);
    EXPECT_EQ(reply.result, 0) << "code: " << code;
    EXPECT_EQ(reply.text, "") << "code: " << code;
  }
}

}  // namespace
