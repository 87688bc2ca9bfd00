// The product-levels module (module 3) through the public entry point, on
// its own table layout (tests/fixtures/productlevels.*.sql).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "bridgetest.h"
#include "qel/json.h"
#include "qelbridge.h"
#include "testsupport.h"

namespace {

constexpr int kParentLevel = 0x300;
constexpr int kSubLevel = 0x301;
constexpr int kProducts = 0x302;
constexpr int kProductCount = 0x303;

using IdList = std::vector<std::string>;

using qeltest::Call;
using qeltest::Reply;

std::string Request(const std::string& id, const std::string& level) {
  Json::Value request(Json::objectValue);
  request["ID"] = id;
  request["LEVEL"] = level;
  return qel::WriteStyled(request);
}

Json::Value Rows(const std::string& text) {
  Json::Value rows = qeltest::Parse(text);
  if (!rows.isArray()) {
    ADD_FAILURE() << "not an array: " << text;
    return Json::Value(Json::arrayValue);
  }
  return rows;
}

IdList Ids(const std::string& text) { return qeltest::Column(Rows(text), "ID"); }

class ProductLevelsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string fixtures = std::string(QEL_SOURCE_DIR) + "/tests/fixtures/productlevels.";
    install_.Ex(qeltest::ReadFile(fixtures + "qel_exdata.sql"));
    install_.Main(qeltest::ReadFile(fixtures + "qel_data.sql"));
    ASSERT_EQ(InitQelbridge(260, install_.StartupJson().c_str()), 0);
    SetLogCallback(&qeltest::CaptureLog);
  }
  void TearDown() override { SetLogCallback(nullptr); }

  qeltest::Installation install_{"levels"};
};

TEST_F(ProductLevelsTest, CategoryLists) {
  struct Case {
    int code;
    std::string request;
    IdList ids;
  };
  const IdList levelOne{"100003", "100002", "100001"};
  const Case cases[] = {
      // The top level for an empty id, whatever the method and level.
      {kParentLevel, Request("", "1"), levelOne},
      {kSubLevel, Request("", "1"), levelOne},
      {kParentLevel, Request("", "4"), levelOne},
      // Method 0 below level 3 also lists the top level.
      {kParentLevel, Request("100001001", "2"), levelOne},
      // Parent's level under the same grandparent.
      {kParentLevel, Request("100001001001", "3"), {"100001001", "100001002"}},
      {kParentLevel, Request("100001001001001", "4"), {"100001001001", "100001001002"}},
      // The level below.
      {kSubLevel, Request("100001", "1"), {"100001001", "100001002"}},
      {kSubLevel, Request("100001001", "2"), {"100001001001", "100001001002"}},
      {kSubLevel, Request("100001001001001", "4"), {}},
      {kSubLevel, Request("100003", "1"), {}},
  };
  for (const Case& c : cases) {
    Reply reply = Call(c.code, c.request);
    EXPECT_EQ(reply.result, 0) << "code: " << c.code << " request: " << c.request;
    EXPECT_EQ(Ids(reply.text), c.ids) << "code: " << c.code << " request: " << c.request;
    if (c.ids.empty()) {
      EXPECT_EQ(reply.text, "[]") << "code: " << c.code << " request: " << c.request;
    }
  }
}

TEST_F(ProductLevelsTest, CategoryRowsCarryNameCountAndSubCategoryFlag) {
  Reply reply = Call(kSubLevel, Request("", "1"));
  ASSERT_EQ(reply.result, 0);
  std::map<std::string, Json::Value> byId;
  for (const Json::Value& row : Rows(reply.text)) byId[qel::StringMember(row, "ID")] = row;
  ASSERT_EQ(byId.size(), 3u);

  const Json::Value& electrical = byId["100001"];
  EXPECT_EQ(qel::StringMember(electrical, "NAME"), qeltest::Gbk("电气设备"));
  EXPECT_EQ(qel::StringMember(electrical, "LEVEL"), "1");
  EXPECT_EQ(qel::StringMember(electrical, "SORT"), "2");
  EXPECT_EQ(qel::StringMember(electrical, "PRODUCT_COUNT"), "3");
  EXPECT_EQ(qel::StringMember(electrical, "HASSUBCTG"), "1");
  EXPECT_EQ(electrical.size(), 6u);

  EXPECT_EQ(qel::StringMember(byId["100002"], "PRODUCT_COUNT"), "2");
  EXPECT_EQ(qel::StringMember(byId["100002"], "HASSUBCTG"), "1");
  EXPECT_EQ(qel::StringMember(byId["100003"], "PRODUCT_COUNT"), "0");
  EXPECT_EQ(qel::StringMember(byId["100003"], "HASSUBCTG"), "0");

  // A leaf: no category on the next level.
  reply = Call(kSubLevel, Request("100001001", "2"));
  Json::Value leaves = Rows(reply.text);
  ASSERT_EQ(leaves.size(), 2u);
  EXPECT_EQ(qel::StringMember(leaves[1], "ID"), "100001001002");
  EXPECT_EQ(qel::StringMember(leaves[1], "HASSUBCTG"), "0");
  EXPECT_EQ(qel::StringMember(leaves[1], "PRODUCT_COUNT"), "1");
  EXPECT_EQ(qel::StringMember(leaves[0], "HASSUBCTG"), "1");
}

TEST_F(ProductLevelsTest, LevelsFiveAndAboveAreOutOfRange) {
  struct Case {
    int code;
    const char* level;
  };
  const Case cases[] = {{kParentLevel, "7"},           {kParentLevel, "5"}, {kParentLevel, "2147483647"},
                        {kParentLevel, "99999999999"}, {kSubLevel, "5"},    {kSubLevel, "2147483647"}};
  for (const Case& c : cases) {
    Reply reply = Call(c.code, Request("100001001001", c.level));
    EXPECT_EQ(reply.result, 0) << "code: " << c.code << " level: " << c.level;
    EXPECT_EQ(reply.text, "") << "code: " << c.code << " level: " << c.level;
  }
  EXPECT_TRUE(qeltest::LoggedDirect("Out Of Range : Product category level 7"));
  EXPECT_TRUE(qeltest::LoggedDirect("Out Of Range : Product category level 5"));
  EXPECT_TRUE(qeltest::LoggedDirect("Out Of Range : Product category level 2147483647"));
}

TEST_F(ProductLevelsTest, ProductsWithSeenStatus) {
  struct Case {
    std::string id;
    std::map<std::string, std::string> statusById;
  };
  // "2" marks a later seen-mark; equal, earlier, missing and a product
  // without its own time stay "1".
  const Case cases[] = {
      {"100001", {{"90001", "2"}, {"90002", "1"}, {"90003", "1"}}},
      {"100002001", {{"90004", "1"}, {"90005", "1"}}},
      {"", {{"90001", "2"}, {"90002", "1"}, {"90003", "1"}, {"90004", "1"}, {"90005", "1"}}},
      {"100003", {}},
  };
  for (const Case& c : cases) {
    Reply reply = Call(kProducts, Request(c.id, ""));
    EXPECT_EQ(reply.result, 0) << "id: " << c.id;
    std::map<std::string, std::string> statusById;
    for (const Json::Value& row : Rows(reply.text)) {
      statusById[qel::StringMember(row, "ID")] = qel::StringMember(row, "STATUS");
    }
    EXPECT_EQ(statusById, c.statusById) << "id: " << c.id << " reply: " << reply.text;
  }

  Json::Value rows = Rows(Call(kProducts, Request("100001001001", "")).text);
  ASSERT_EQ(rows.size(), 1u);
  const Json::Value& product = rows[0];
  EXPECT_EQ(product.size(), 11u);
  EXPECT_EQ(qel::StringMember(product, "NAME"), qeltest::Gbk("单控开关 A1"));
  EXPECT_EQ(qel::StringMember(product, "UNIT"), qeltest::Gbk("个"));
  EXPECT_EQ(qel::StringMember(product, "BRANDNAME"), qeltest::Gbk("启明"));
  EXPECT_EQ(qel::StringMember(product, "PICFIRST"), "pics/90001.jpg");
  EXPECT_EQ(qel::StringMember(product, "MINPRICE"), "10");
  EXPECT_EQ(qel::StringMember(product, "MAXPRICE"), "20");
  EXPECT_EQ(qel::StringMember(product, "PRICETYPE"), "1");
  EXPECT_EQ(qel::StringMember(product, "DESCPTYPE"), "0");
  EXPECT_EQ(qel::StringMember(product, "LASTUPDATETIME"), "2023-01-01");
  EXPECT_EQ(qel::StringMember(product, "STATUS"), "2");
}

TEST_F(ProductLevelsTest, ProductCount) {
  struct Case {
    std::string id;
    std::string count;
  };
  const Case cases[] = {{"100001", "3"}, {"100002", "2"}, {"100001001001", "1"},
                        {"100003", "0"}, {"-1", "5"},     {"", "5"}};
  for (const Case& c : cases) {
    Reply reply = Call(kProductCount, Request(c.id, ""));
    EXPECT_EQ(reply.result, 0) << "id: " << c.id;
    Json::Value rows = Rows(reply.text);
    ASSERT_EQ(rows.size(), 1u) << "id: " << c.id;
    EXPECT_EQ(qel::StringMember(rows[0], "CATEGORY_ID"), c.id);
    EXPECT_EQ(qel::StringMember(rows[0], "COUNT"), c.count) << "id: " << c.id;
  }
}

// A count reply carries only valid GBK: an id with bytes that are no GBK
// counts nothing and is not echoed.
TEST_F(ProductLevelsTest, CountOfAnIdThatIsNoGbkEchoesNothing) {
  const std::string ids[] = {"\xFF\xFE", "100001\xFF", "100001\x81", "1\xA1"};
  for (const std::string& id : ids) {
    // Written by hand: the one writer never puts such bytes in a text.
    Reply reply = Call(kProductCount, "{\"ID\":\"" + id + "\",\"LEVEL\":\"\"}");
    EXPECT_EQ(reply.result, 0) << id;
    EXPECT_TRUE(qel::IsValidGbk(reply.text)) << reply.text;
    Json::Value rows = Rows(reply.text);
    ASSERT_EQ(rows.size(), 1u) << id;
    EXPECT_EQ(qel::StringMember(rows[0], "CATEGORY_ID"), "") << id;
    EXPECT_EQ(qel::StringMember(rows[0], "COUNT"), "0") << id;
  }
}

// Ids with quotes, SQL or LIKE wildcards match only themselves.
TEST_F(ProductLevelsTest, HostileIdsMatchNothingExtra) {
  const std::string ids[] = {"10000_",
                             "1%",
                             "%",
                             "_",
                             "100001' OR '1'='1",
                             "100001'--",
                             "100001!",
                             "1000!1",
                             "\\",
                             qeltest::Gbk("中文_"),
                             qeltest::Gbk("中文%"),
                             "'"};
  for (const std::string& id : ids) {
    for (int code : {kSubLevel, kProducts}) {
      Reply reply = Call(code, Request(id, "1"));
      EXPECT_EQ(reply.result, 0) << "code: " << code << " id: " << id;
      EXPECT_EQ(reply.text, "[]") << "code: " << code << " id: " << id;
    }
    Reply count = Call(kProductCount, Request(id, ""));
    EXPECT_EQ(count.result, 0) << "id: " << id;
    Json::Value rows = Rows(count.text);
    ASSERT_EQ(rows.size(), 1u) << "id: " << id;
    EXPECT_EQ(qel::StringMember(rows[0], "COUNT"), "0") << "id: " << id;
    EXPECT_EQ(qel::StringMember(rows[0], "CATEGORY_ID"), id);
  }
  // The grandparent prefix of a hostile level-3 id is escaped as well.
  Reply parent = Call(kParentLevel, Request("10000_001001", "3"));
  EXPECT_EQ(parent.text, "[]");
  // An id too short to hold a grandparent lists nothing.
  parent = Call(kParentLevel, Request("12345", "3"));
  EXPECT_EQ(parent.result, 0);
  EXPECT_EQ(parent.text, "");
}

// Requests of any shape: what does not parse, or is not a string, counts as
// missing, which means the top level (methods 0, 1) or every product.
TEST_F(ProductLevelsTest, RequestsOfAnyShape) {
  const char* requests[] = {"",
                            "x",
                            "[1]",
                            "null",
                            "{}",
                            "{\"ID\":100001,\"LEVEL\":1}",
                            "{\"ID\":[\"100001\"],\"LEVEL\":{}}",
                            "{\"ID\":\"\",\"LEVEL\":\"abc\"}",
                            "{\"PARAM\":{\"PRODUCT_CATEGORY\":{\"ID\":\"100001\"}}}"};
  for (const char* request : requests) {
    Reply reply = Call(kSubLevel, request);
    EXPECT_EQ(reply.result, 0) << "request: " << request;
    EXPECT_EQ(Ids(reply.text), (IdList{"100003", "100002", "100001"})) << "request: " << request;
    reply = Call(kProducts, request);
    EXPECT_EQ(reply.result, 0) << "request: " << request;
    EXPECT_EQ(Rows(reply.text).size(), 5u) << "request: " << request;
  }
}

TEST_F(ProductLevelsTest, UnknownMethodsGiveTheErrorReply) {
  for (int code : {0x304, 0x305, 0x3FF}) {
    Reply reply = Call(code, Request("100001", "1"));
    EXPECT_EQ(reply.result, -2) << "code: " << code;
    Json::Value error;
    ASSERT_TRUE(qel::ParseJson(reply.text, &error)) << "code: " << code;
    EXPECT_EQ(qel::StringMember(error, "ERRORCODE"), "-2") << "code: " << code;
  }
}

// Without the module's tables every query fails: the empty text, result 0.
TEST(ProductLevelsNoTables, FailedQueriesGiveTheEmptyText) {
  qeltest::Installation install("levels-bare");
  install.Ex(
      "DROP TABLE IF EXISTS PRODUCT_CATEGORY; DROP TABLE IF EXISTS PRODUCT_CLASS;"
      " DROP TABLE IF EXISTS PRODUCT;");
  ASSERT_EQ(InitQelbridge(260, install.StartupJson().c_str()), 0);
  for (int code : {kParentLevel, kSubLevel, kProducts, kProductCount}) {
    Reply reply = Call(code, Request("100001", "1"));
    EXPECT_EQ(reply.result, 0) << "code: " << code;
    EXPECT_EQ(reply.text, "") << "code: " << code;
  }
}

}  // namespace
