// Request parsing and the shared helpers of the handlers.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bridgetest.h"
#include "business/qelbusinesshelper.h"
#include "internet/qelinternetresponsebean.h"
#include "qel/json.h"
#include "qelbridge.h"
#include "testsupport.h"

using qel::dataspace::ParseRequestParams;
using qel::dataspace::RequestParams;
using qeltest::Parse;

TEST(ParseRequestParams, ReadsValueLimitAndOffsetFromAnyShape) {
  const struct {
    std::string json;
    std::string table;
    int result;
    std::string value;
    int limit;
    int offset;
  } cases[] = {
      {R"({"PARAM":{"P":{"K":"v"}}})", "P", 0, "v", -1, -1},
      {R"({"PARAM":{"P":{"K":"v"}},"LIMIT":0,"OFFSET":0})", "P", 0, "v", -1, -1},
      {R"({"PARAM":{"P":{"K":"v"}},"LIMIT":10,"OFFSET":20})", "P", 0, "v", 10, 20},
      {R"({"PARAM":{"P":{"K":"v"}},"LIMIT":-1,"OFFSET":-1})", "P", 0, "v", -1, -1},
      // Page values of the wrong kind count as absent; a decimal text counts.
      {R"({"PARAM":{"P":{"K":"v"}},"LIMIT":"20","OFFSET":"x"})", "P", 0, "v", 20, -1},
      {R"({"PARAM":{"P":{"K":"v"}},"LIMIT":[1],"OFFSET":{"a":1}})", "P", 0, "v", -1, -1},
      {R"({"PARAM":{"P":{"K":"v"}},"LIMIT":20.5,"OFFSET":true})", "P", 0, "v", -1, -1},
      {R"({"PARAM":{"P":{"K":"v"}},"LIMIT":1e12,"OFFSET":-99999999999})", "P", 0, "v", -1, -1},
      {R"({"PARAM":{"P":{"K":"v"}},"LIMIT":null})", "P", 0, "v", -1, -1},
      // Key values: numbers and bools as their text; other kinds missing.
      {R"({"PARAM":{"P":{"K":5}}})", "P", 0, "5", -1, -1},
      {R"({"PARAM":{"P":{"K":true}}})", "P", 0, "true", -1, -1},
      {R"({"PARAM":{"P":{"K":""}}})", "P", 0, "", -1, -1},
      {R"({"PARAM":{"P":{"K":null}}})", "P", 1, "", -1, -1},
      {R"({"PARAM":{"P":{"K":{"x":"y"}}}})", "P", 1, "", -1, -1},
      {R"({"PARAM":{"P":{"K":["v"]}}})", "P", 1, "", -1, -1},
      {R"({"PARAM":{"P":{"OTHER":"v"}}})", "P", 1, "", -1, -1},
      {R"({"PARAM":{"P":["v"]}})", "P", 1, "", -1, -1},
      {R"({"PARAM":{"P":"v"}})", "P", 1, "", -1, -1},
      {R"({"PARAM":{}})", "P", 1, "", -1, -1},
      {R"({"PARAM":{}})", "", 0, "", -1, -1},
      {R"({"PARAM":null})", "", 1, "", -1, -1},
      {R"({"PARAM":[{"P":{"K":"v"}}]})", "P", 1, "", -1, -1},
      {R"({"PARAM":"x","LIMIT":5})", "", 1, "", 5, -1},
      {R"({"LIMIT":5,"OFFSET":7})", "P", 1, "", 5, 7},
      {"", "P", 1, "", -1, -1},
      {"x", "P", 1, "", -1, -1},
      {"[1]", "P", 1, "", -1, -1},
      {"null", "", 1, "", -1, -1},
      {"\"PARAM\"", "", 1, "", -1, -1},
      {std::string(100000, '['), "P", 1, "", -1, -1},
  };
  for (const auto& c : cases) {
    RequestParams params;
    EXPECT_EQ(ParseRequestParams(c.json, c.table, "K", &params, nullptr), c.result) << "json: " << c.json;
    EXPECT_EQ(params.value, c.value) << "json: " << c.json;
    EXPECT_EQ(params.limit, c.limit) << "json: " << c.json;
    EXPECT_EQ(params.offset, c.offset) << "json: " << c.json;
    EXPECT_TRUE(params.values.empty()) << "json: " << c.json;
  }
  EXPECT_EQ(ParseRequestParams(R"({"PARAM":{"P":{"K":"v"}}})", "P", "K", nullptr, nullptr), 0);
}

TEST(ParseRequestParams, ExtraKeysComeFromParamInTheirOrder) {
  const std::vector<std::string> keys = {"A", "MISSING", "N", "OBJ", "P"};
  RequestParams params;
  EXPECT_EQ(ParseRequestParams(R"({"PARAM":{"A":"1","N":2,"OBJ":{"x":"y"},"P":{"K":"v"}}})", "P", "K",
                               &params, &keys),
            0);
  EXPECT_EQ(params.value, "v");
  EXPECT_EQ(params.values, (std::vector<std::string>{"1", "", "2", "", ""}));

  // Read before the table is looked up, so they are there when it is missing.
  RequestParams missingTable;
  EXPECT_EQ(ParseRequestParams(R"({"PARAM":{"A":"1"}})", "P", "K", &missingTable, &keys), 1);
  EXPECT_EQ(missingTable.values, (std::vector<std::string>{"1", "", "", "", ""}));
}

TEST(JsonHelpers, ValuesByKeysReadScalarsAsText) {
  std::vector<std::string> out;
  EXPECT_EQ(qel::dataspace::GetJsonValuesByKeys(Parse(R"({"A":"x","B":3,"C":null,"D":{"e":1},"F":false})"),
                                                {"A", "B", "C", "D", "F", "Z"}, &out),
            0);
  EXPECT_EQ(out, (std::vector<std::string>{"x", "3", "", "", "false", ""}));

  for (const char* text : {"[1,2]", "\"A\"", "null", "7"}) {
    std::vector<std::string> values;
    EXPECT_EQ(qel::dataspace::GetJsonValuesByKeys(Parse(text), {"A", "0"}, &values), 0) << text;
    EXPECT_EQ(values, (std::vector<std::string>{"", ""})) << text;
  }
}

TEST(JsonHelpers, ObjectToMapKeepsScalarMembersOnly) {
  std::map<std::string, std::string> out = {{"stale", "x"}};
  EXPECT_EQ(
      qel::dataspace::JsonObjectToMap(Parse(R"({"A":"x","B":3,"C":null,"D":{},"E":[1],"F":true})"), &out), 0);
  EXPECT_EQ(out, (std::map<std::string, std::string>{{"A", "x"}, {"B", "3"}, {"F", "true"}}));

  for (const char* text : {"null", "[1,2]", "\"A\"", "7"}) {
    std::map<std::string, std::string> values = {{"stale", "x"}};
    EXPECT_EQ(qel::dataspace::JsonObjectToMap(Parse(text), &values), 1) << text;
    EXPECT_TRUE(values.empty()) << text;
  }
}

TEST(CheckResponseData, OverallStatusAndItems) {
  const struct {
    const char* reply;
    int result;
  } cases[] = {
      {R"({"result":{"status":"100000","result":[{"status":"100000","result":{"userId":"7"}}]}})", 0},
      {R"({"result":{"status":"100013","result":[]}})", 100013},
      {R"({"result":{"status":100020,"result":[{"status":"100020"}]}})", 100020},
      {R"({"result":{"status":"500003","result":""}})", 500003},
      // A success status without items, a missing or non-numeric status.
      {R"({"result":{"status":"100000","result":[]}})", 19999},
      {R"({"result":{"status":"100000"}})", 19999},
      {R"({"result":{"result":[{"status":"100000"}]}})", 19999},
      {R"({"result":{"status":"ok","result":[{}]}})", 19999},
      {R"({"result":{"status":"0","result":[{}]}})", 19999},
      {R"({"jsonrpc":"2.0"})", 1},
      {R"({"result":5})", 1},
      {"[1]", 1},
      {"x", 1},
      {"", 1},
  };
  for (const auto& c : cases) {
    qel::dataspace::qelInternetResponseBean bean;
    std::string text = "kept";
    EXPECT_EQ(qel::dataspace::qelBusinessHelper::CheckResponseData(c.reply, &bean, &text), c.result)
        << "reply: " << c.reply;
    EXPECT_EQ(text, "kept") << "reply: " << c.reply;
  }
  EXPECT_EQ(qel::dataspace::qelBusinessHelper::CheckResponseData("x", nullptr, nullptr), 1);
}

// Counts and area lookups on an installation.
class BusinessHelperDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    install_.Ex(
        "CREATE TABLE IF NOT EXISTS SYS_AREA (AR_ID TEXT PRIMARY KEY, AREAID TEXT, SORT INTEGER);"
        "CREATE TABLE IF NOT EXISTS SYS_AREA_LANG (AR_ID TEXT, LANGID INTEGER, NAME TEXT);"
        "INSERT INTO SYS_AREA (AR_ID, AREAID, SORT) VALUES ('a86', '86', 1), ('a02', '8602', 1), "
        "('a01', '8601', 2), ('a0101', '860101', 1), ('a9', '9901', 1);"
        "INSERT INTO SYS_AREA_LANG (AR_ID, LANGID, NAME) VALUES ('a86', 3, '中国'), ('a02', 3, 'Two'), "
        "('a01', 3, 'One'), ('a01', 1, 'Eins'), ('a0101', 3, 'OneOne'), ('a9', 3, 'Other');"
        "INSERT INTO COMPANY (ID, SERIALID, COMTEMP) VALUES ('1', 'S', 'T'), ('2', 'S', 'T'), ('3', 'X', "
        "'T');");
    ASSERT_EQ(InitQelbridge(260, install_.StartupJson().c_str()), 0);
  }

  static std::string Areas(const std::vector<std::pair<std::string, std::string>>& rows) {
    Json::Value array(Json::arrayValue);
    for (const auto& row : rows) {
      Json::Value item(Json::objectValue);
      item["AREAID"] = row.first;
      item["NAME"] = qeltest::Gbk(row.second);
      array.append(item);
    }
    return qel::WriteStyled(array);
  }

  qeltest::Installation install_;
};

TEST_F(BusinessHelperDbTest, QueryCount) {
  EXPECT_EQ(qel::dataspace::CountText(qel::dataspace::QueryCount("COMPANY", "")), "3");
  EXPECT_EQ(qel::dataspace::CountText(qel::dataspace::QueryCount("COMPANY", "SERIALID = 'S'")), "2");
  // A count that cannot be read is no count, never "0".
  EXPECT_EQ(qel::dataspace::CountText(qel::dataspace::QueryCount("NO_SUCH_TABLE", "")), "");
  EXPECT_EQ(qel::dataspace::CountText(qel::dataspace::QueryCount("COMPANY", "broken (((")), "");
}

TEST_F(BusinessHelperDbTest, Areas) {
  using qel::dataspace::GetArea;
  using qel::dataspace::GetParentArea;
  using qel::dataspace::GetSubAreas;
  const struct {
    const char* name;
    int (*function)(const std::string&, std::string*);
    std::string id;
    int result;
    std::string reply;
  } cases[] = {
      {"sub", GetSubAreas, "", 0, Areas({{"8602", "Two"}, {"8601", "One"}})},
      {"sub", GetSubAreas, "86", 0, Areas({{"8602", "Two"}, {"8601", "One"}})},
      {"sub", GetSubAreas, "8601", 0, Areas({{"860101", "OneOne"}})},
      {"sub", GetSubAreas, "8602", 0, "[]"},
      {"sub", GetSubAreas, "8' OR 1=1 --", 1, "unchanged"},
      {"sub", GetSubAreas, "ab", 1, "unchanged"},
      {"parent", GetParentArea, "8601", 0, Areas({{"86", "中国"}})},
      {"parent", GetParentArea, "860101", 0, Areas({{"8601", "One"}})},
      {"parent", GetParentArea, "7701", 0, "[]"},
      {"parent", GetParentArea, "86", 1, "unchanged"},
      {"parent", GetParentArea, "", 1, "unchanged"},
      {"parent", GetParentArea, "86'--", 1, "unchanged"},
      {"area", GetArea, "8601", 0, Areas({{"8601", "One"}})},
      {"area", GetArea, "86", 1, "unchanged"},
      {"area", GetArea, "8601' OR '1'='1", 1, "unchanged"},
  };
  for (const auto& c : cases) {
    std::string reply = "unchanged";
    EXPECT_EQ(c.function(c.id, &reply), c.result) << c.name << " of " << c.id;
    EXPECT_EQ(reply, c.reply) << c.name << " of " << c.id;
  }
}

// Without a database every helper reports failure instead of a value.
TEST(BusinessHelperNoDb, CountsAndAreasFail) {
  qeltest::Installation install;
  std::filesystem::remove(install.dataDb());
  ASSERT_EQ(InitQelbridge(260, install.StartupJson().c_str()), 0);
  EXPECT_EQ(qel::dataspace::CountText(qel::dataspace::QueryCount("COMPANY", "")), "");
  std::string reply = "unchanged";
  EXPECT_EQ(qel::dataspace::GetSubAreas("86", &reply), 1);
  EXPECT_EQ(qel::dataspace::GetArea("8601", &reply), 1);
  EXPECT_EQ(reply, "unchanged");
}
