// Consultation and inquiry counts (0x537, 0x538), lists (0x53b, 0x53c) and
// deletion (0x53d, 0x53e).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridgetest.h"
#include "qel/json.h"
#include "qelbridge.h"
#include "testsupport.h"

namespace {

using qeltest::Call;
using qeltest::Column;
using qeltest::Parse;
using qeltest::Reply;

std::string ProductRequest(const std::string& id) {
  Json::Value request;
  request["PARAM"]["PRODUCT"]["PRODUCT_ID"] = id;
  return qel::WriteCompact(request);
}

std::string CountOf(const Reply& reply) {
  return qel::StringMember(qel::Element(Parse(reply.text), 0), "COUNT");
}

class StoredRequestsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    installation.Main(
        "INSERT INTO PROD_CONSULT (CONSULT_ID, PRODUCT_ID, ADDTIME, CONTENT, USERID, SENTSTATUS, ITYPE) "
        "VALUES"
        "(2, '5', '2026-01-02', '第一', 'u1', 2, 1), (3, '5', '2026-01-04', 'newest', 'other', 2, 1),"
        "(-2, '', '2026-01-03', 'general', '', 2, 1), (-3, NULL, '2026-01-01', 'oldest', '', 2, 1),"
        "(4, '6', '2026-01-05', 'product 6', 'u1', 2, 1);"
        "INSERT INTO PROD_INQUIRY (INQUIRY_ID, PRODUCT_ID, ADDTIME, CONTENT, AREAR, USERID) VALUES"
        "(2, '5', '2026-02-01', 'district', '86010101', 'u1'), (3, '5', '2026-02-02', 'city', '860101', "
        "'u1'),"
        "(4, '5', '2026-02-03', 'province', '8601', 'u1'), (5, '5', '2026-02-04', 'top', '86', 'u1'),"
        "(6, '5', '2026-02-05', 'none', '', 'u1'), (7, '5', '2026-02-06', 'other user', '8601', 'u2'),"
        "(8, '6', '2026-02-07', 'product 6', '8601', 'u1'),"
        // Another user's id, differing only in letter case.
        "(9, '5', '2026-02-08', 'case differs', '8601', 'U1');");
    installation.Ex(
        "INSERT INTO SYS_AREA (AR_ID, AREAID, SORT) VALUES ('1', '86', 1), ('2', '8601', 1), ('3', '860101', "
        "1),"
        "('4', '86010101', 1);"
        "INSERT INTO SYS_AREA_LANG (AR_ID, LANGID, NAME) VALUES ('1', 3, '中国'), ('2', 3, 'Province'),"
        "('3', 3, 'City'), ('4', 3, 'District'), ('4', 1, 'Other language');");
  }

  void Start(bool loggedIn) {
    if (loggedIn) installation.Main("INSERT INTO USERINFO (UID, USERID, REMEMBER) VALUES ('u1', 'me', '1');");
    SetLogCallback(qeltest::CaptureLog);
    InitQelbridge(260, installation.StartupJson().c_str());
  }

  qeltest::Installation installation;
};

TEST_F(StoredRequestsTest, ConsultationsOfAProductIncludeTheGeneralOnes) {
  Start(false);
  const struct {
    std::string productId;
    std::vector<std::string> contents;
  } cases[] = {
      {"5", {"newest", "general", qeltest::Gbk("第一"), "oldest"}},
      {"6", {"product 6", "general", "oldest"}},
  };
  for (const auto& c : cases) {
    Reply count = Call(0x537, ProductRequest(c.productId));
    EXPECT_EQ(count.result, 0) << c.productId;
    EXPECT_EQ(CountOf(count), std::to_string(c.contents.size())) << c.productId << ": " << count.text;
    Reply list = Call(0x53b, ProductRequest(c.productId));
    EXPECT_EQ(list.result, 0) << c.productId;
    EXPECT_EQ(Column(list.text, "CONTENT"), c.contents) << c.productId;
  }
  // The count takes an empty id as the general consultations; the list
  // compares the product as a number, so an id that is not one lists
  // nothing, with result 0.
  const struct {
    std::string productId;
    std::string generalCount;
  } notNumbers[] = {{"", "2"}, {"5' OR '1'='1", "2"}, {"5 OR 1=1", "2"}, {"abc", "2"}};
  for (const auto& c : notNumbers) {
    EXPECT_EQ(CountOf(Call(0x537, ProductRequest(c.productId))), c.generalCount) << c.productId;
    Reply list = Call(0x53b, ProductRequest(c.productId));
    EXPECT_EQ(list.result, 0) << c.productId;
    EXPECT_EQ(list.text, "[]") << c.productId;
  }
  EXPECT_TRUE(
      qeltest::LoggedBridge("qel::dataspace::qel_Invoke_Custom::GetProdConsCount", "There is not any user"));
  EXPECT_TRUE(qeltest::LoggedDirect("Not any user"));

  // The exact reply shapes hosts read.
  Reply count = Call(0x537, ProductRequest("6"));
  EXPECT_EQ(count.text, "[\n   {\n      \"COUNT\" : \"3\"\n   }\n]\n");
  Json::Value row = Parse(Call(0x53b, ProductRequest("6")).text)[0];
  EXPECT_EQ(row.getMemberNames(),
            (std::vector<std::string>{"ADDTIME", "CONSULT_ID", "CONTENT", "EMAIL", "ITYPE", "MOBILENUM",
                                      "PRODUCT_ID", "SENTSTATUS", "TEL1", "TEL2", "TEL3"}));
  EXPECT_EQ(row["CONSULT_ID"].asString(), "4");
  EXPECT_EQ(row["PRODUCT_ID"].asString(), "6");

  // With nobody logged in a deletion still runs; a null PRODUCT_ID never
  // equals the empty id.
  EXPECT_EQ(Call(0x53d, R"({"PARAM":{"PROD_CONSULT":{"PRODUCT_ID":"","CONSULT_ID":"-3"}}})").result, 0);
  EXPECT_EQ(Call(0x53d, R"({"PARAM":{"PROD_CONSULT":{"PRODUCT_ID":"5","CONSULT_ID":"2"}}})").result, 0);
  EXPECT_EQ(installation.QueryMain("SELECT CONSULT_ID FROM PROD_CONSULT ORDER BY CONSULT_ID"),
            (std::vector<std::string>{"-3", "-2", "3", "4"}));
}

TEST_F(StoredRequestsTest, InquiriesOfTheUserWithTheirAreas) {
  Start(true);
  Reply count = Call(0x538, ProductRequest("5"));
  EXPECT_EQ(count.result, 0);
  EXPECT_EQ(CountOf(count), "5") << count.text;

  Reply list = Call(0x53c, ProductRequest("5"));
  ASSERT_EQ(list.result, 0);
  Json::Value rows = Parse(list.text);
  EXPECT_EQ(Column(rows, "CONTENT"),
            (std::vector<std::string>{"none", "top", "province", "city", "district"}));
  // Each level of an area id is two digits longer than its parent's; ids
  // shorter than 4 digits have no area of their own.
  const struct {
    const char* content;
    const char* country;
    const char* city;
    const char* province;
  } cases[] = {
      {"district", "86010101", "860101", "8601"},
      {"city", "860101", "8601", "86"},
      {"province", "8601", "86", ""},
      {"top", "", "", ""},
      {"none", "", "", ""},
  };
  for (const auto& c : cases) {
    const Json::Value* row = nullptr;
    for (const Json::Value& candidate : rows) {
      if (candidate["CONTENT"].asString() == c.content) row = &candidate;
    }
    ASSERT_NE(row, nullptr) << c.content;
    for (const auto& [member, id] : {std::pair<const char*, const char*>{"AREACOUNTRY", c.country},
                                     {"AREACITY", c.city},
                                     {"AREAPROVINCE", c.province}}) {
      const Json::Value& area = (*row)[member];
      ASSERT_TRUE(area.isObject()) << c.content << " " << member << ": " << list.text;
      EXPECT_EQ(qel::StringMember(area, "AREAID"), id) << c.content << " " << member;
      EXPECT_EQ(area.size(), std::string(id).empty() ? 0u : 2u) << c.content << " " << member;
    }
  }
  const Json::Value& district = rows[4];
  EXPECT_EQ(district["AREACOUNTRY"]["NAME"].asString(), "District");
  EXPECT_EQ(district["AREAPROVINCE"]["NAME"].asString(), "Province");
  EXPECT_EQ(rows[3]["AREAPROVINCE"]["NAME"].asString(), qeltest::Gbk("中国"));
  EXPECT_EQ(district["INQUIRY_ID"].asString(), "2");
  for (const char* member :
       {"PRODUCT_ID", "INQUIRY_ID", "CONTENT", "ITYPE", "ADDTIME", "NUM", "CONTACT", "TEL1", "TEL2", "TEL3",
        "MOBILENUM", "EMAIL", "AREAR", "ADDRESS", "SENTSTATUS", "IMG", "DUEDATE"}) {
    EXPECT_TRUE(district[member].isString()) << member;
  }

  EXPECT_EQ(Column(Call(0x53c, ProductRequest("6")).text, "CONTENT"), std::vector<std::string>{"product 6"});
  for (const std::string id : {"5' OR '1'='1", "", "5 OR 1=1"}) {
    Reply none = Call(0x53c, ProductRequest(id));
    EXPECT_EQ(none.result, 0) << id;
    EXPECT_EQ(none.text, "[]") << id;
  }
}

TEST_F(StoredRequestsTest, InquiryAreaWithoutAKnownParent) {
  // 9901 is no stored area, and neither is its parent 99: the parent lookup
  // runs and finds nothing.
  installation.Main(
      "INSERT INTO PROD_INQUIRY (INQUIRY_ID, PRODUCT_ID, ADDTIME, CONTENT, AREAR, USERID) VALUES"
      "(9, '7', '2026-02-08', 'unknown area', '9901', 'u1');");
  Start(true);
  Reply list = Call(0x53c, ProductRequest("7"));
  ASSERT_EQ(list.result, 0);
  const Json::Value row = qel::Element(Parse(list.text), 0);
  ASSERT_TRUE(row.isObject()) << list.text;
  EXPECT_TRUE(row["AREACOUNTRY"].isObject() && row["AREACOUNTRY"].empty()) << list.text;
  EXPECT_TRUE(row.isMember("AREACITY") && row["AREACITY"].isNull()) << list.text;
  EXPECT_FALSE(row.isMember("AREAPROVINCE")) << list.text;
}

TEST_F(StoredRequestsTest, InquiriesNeedAUserAndRequestsNeedTheirIds) {
  Start(false);
  const struct {
    int code;
    std::string request;
    std::string message;
  } cases[] = {
      {0x538, ProductRequest("5"), "There is not any user"},
      {0x53c, ProductRequest("5"), "Not any users"},
      {0x53e, R"({"PARAM":{"PROD_INQUIRY":{"PRODUCT_ID":"5","INQUIRY_ID":"2"}}})", "Not any users"},
      {0x53b, "{}", "Can not get params from json in"},
      {0x53b, "not json", "Can not get params from json in"},
      {0x53c, R"({"PARAM":{"PRODUCT":{}}})", "Can not get params from json in"},
      {0x53d, R"({"PARAM":{"PROD_CONSULT":{"PRODUCT_ID":"5"}}})", "Can not get params from json in"},
      {0x53e, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"5"}}})", "Can not get params fron json in"},
  };
  for (const auto& c : cases) {
    qeltest::ClearLog();
    Reply reply = Call(c.code, c.request);
    EXPECT_EQ(reply.result, 1) << c.code << " " << c.request;
    EXPECT_TRUE(qeltest::LoggedAtEnd(c.message)) << c.code << " " << c.request << "\n" << qeltest::LogText();
  }
  EXPECT_EQ(installation.QueryMain("SELECT COUNT(*) FROM PROD_INQUIRY"), std::vector<std::string>{"8"});
}

TEST_F(StoredRequestsTest, InquiryCountNeedsAProduct) {
  Start(true);
  for (const std::string& request : {ProductRequest(""), std::string("{\"PARAM\":{}}"), std::string("")}) {
    qeltest::ClearLog();
    EXPECT_EQ(Call(0x538, request).result, 1) << request;
    EXPECT_TRUE(qeltest::LoggedAtEnd("Can not get params from json in")) << request;
  }
}

TEST_F(StoredRequestsTest, DeletionMatchesIdProductAndForInquiriesTheUser) {
  Start(true);
  const struct {
    int code;
    std::string request;
    const char* query;
    std::vector<std::string> left;
  } cases[] = {
      // The product comes from PRODUCT, else from the row object.
      {0x53d,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"6"},"PROD_CONSULT":{"PRODUCT_ID":"5","CONSULT_ID":"2"}}})",
       "SELECT CONSULT_ID FROM PROD_CONSULT ORDER BY CONSULT_ID",
       {"-3", "-2", "2", "3", "4"}},
      {0x53d,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":""},"PROD_CONSULT":{"PRODUCT_ID":"5","CONSULT_ID":"2"}}})",
       "SELECT CONSULT_ID FROM PROD_CONSULT ORDER BY CONSULT_ID",
       {"-3", "-2", "3", "4"}},
      // Stored by another user: listed with the product, so deletable.
      {0x53d,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"5"},"PROD_CONSULT":{"CONSULT_ID":"3"}}})",
       "SELECT CONSULT_ID FROM PROD_CONSULT ORDER BY CONSULT_ID",
       {"-3", "-2", "4"}},
      {0x53d,
       R"({"PARAM":{"PROD_CONSULT":{"PRODUCT_ID":"","CONSULT_ID":"-2"}}})",
       "SELECT CONSULT_ID FROM PROD_CONSULT ORDER BY CONSULT_ID",
       {"-3", "4"}},
      {0x53d,
       R"({"PARAM":{"PROD_CONSULT":{"PRODUCT_ID":"6","CONSULT_ID":"4' OR '1'='1"}}})",
       "SELECT CONSULT_ID FROM PROD_CONSULT ORDER BY CONSULT_ID",
       {"-3", "4"}},
      {0x53e,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"5"},"PROD_INQUIRY":{"INQUIRY_ID":"7"}}})",
       "SELECT INQUIRY_ID FROM PROD_INQUIRY ORDER BY INQUIRY_ID",
       {"2", "3", "4", "5", "6", "7", "8", "9"}},
      {0x53e,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"5"},"PROD_INQUIRY":{"INQUIRY_ID":"9"}}})",
       "SELECT INQUIRY_ID FROM PROD_INQUIRY ORDER BY INQUIRY_ID",
       {"2", "3", "4", "5", "6", "7", "8", "9"}},
      {0x53e,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"5"},"PROD_INQUIRY":{"INQUIRY_ID":"2"}}})",
       "SELECT INQUIRY_ID FROM PROD_INQUIRY ORDER BY INQUIRY_ID",
       {"3", "4", "5", "6", "7", "8", "9"}},
  };
  for (const auto& c : cases) {
    Reply reply = Call(c.code, c.request);
    EXPECT_EQ(reply.result, 0) << c.request;
    EXPECT_EQ(installation.QueryMain(c.query), c.left) << c.request;
  }
}

}  // namespace
