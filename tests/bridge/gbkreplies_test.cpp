// Replies as a host reads them: every module's reply decodes as GBK to
// valid JSON holding the exact characters, also for names with characters
// whose GBK second byte is 0x5C ("誠", "乗") and with a real backslash.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "bridgetest.h"
#include "qel/json.h"
#include "qel/text.h"
#include "qelbridge.h"
#include "testsupport.h"

namespace {

namespace fs = std::filesystem;

// UTF-8 names put into the fixture (SQLite stores UTF-8).
const std::vector<std::string> kNames = {
    "誠信\\电子",      // category
    "誠信\\相机一号",  // product
    "乗\\光影",        // brand
    "乗誠信\\公司",    // company
    "誠\\首页",        // banner
    "乗信\\资质",      // certificate category
    "誠信\\营业执照",  // company certificate
    "誠\\正面",        // picture
    "誠信\\参数错误",  // error text of code 1
};

// Every string of a value (member names too), in UTF-8.
void CollectStrings(const Json::Value& value, std::set<std::string>* out) {
  if (value.isString()) out->insert(value.asString());
  if (value.isObject()) {
    for (const std::string& name : value.getMemberNames()) {
      out->insert(name);
      CollectStrings(value[name], out);
    }
  } else if (value.isArray()) {
    for (const Json::Value& item : value) CollectStrings(item, out);
  }
}

class GbkRepliesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string fuzz = std::string(QEL_SOURCE_DIR) + "/tests/fuzz/fixture_rows.";
    install_.Ex(qeltest::ReadFile(fuzz + "qel_exdata.sql"));
    install_.Main(qeltest::ReadFile(fuzz + "qel_data.sql"));
    install_.Ex(
        "UPDATE PRODUCT_CATEGORY_LANG SET NAME = '誠信\\电子' WHERE PRO_CATEGORY_ID = '1000001';"
        "UPDATE PRODUCT_LANG SET NAME = '誠信\\相机一号' WHERE PRODUCT_ID = '10000000001';"
        "UPDATE BRAND_LANG SET BRANDNAME = '乗\\光影' WHERE BRAND_ID = '1';"
        "UPDATE COMPANY_LANG SET NAME = '乗誠信\\公司' WHERE LANGID = 3;"
        "UPDATE BANNER_LANG SET NAME = '誠\\首页' WHERE BANNER_ID = '1';"
        "UPDATE CERT_CATEGORY_LANG SET NAME = '乗信\\资质' WHERE CERT_CATEGORY_ID = '31';"
        "UPDATE COMPANYCERT SET NAME = '誠信\\营业执照' WHERE ID = '1';"
        "UPDATE PICTURE_LANG SET NAME = '誠\\正面' WHERE RES_ID = '501';");
    install_.Main("UPDATE ERRORINFO_LANG SET ERRORDESC = '誠信\\参数错误' WHERE ERRORCODE = '1';");
    ASSERT_EQ(InitQelbridge(260, install_.StartupJson().c_str()), 0);
  }

  qeltest::Installation install_;
};

// One request per method: the seed inputs of the Invoke fuzz target (the
// first byte gives the module, the second the method, the rest the text).
TEST_F(GbkRepliesTest, EveryModuleReplyDecodesAsGbkWithTheExactCharacters) {
  std::set<std::string> seen;
  int replies = 0;
  for (const auto& entry :
       fs::directory_iterator(std::string(QEL_SOURCE_DIR) + "/tests/fuzz/corpus/invoke")) {
    const std::string seed = qeltest::ReadFile(entry.path().string());
    ASSERT_GE(seed.size(), 2u) << entry.path();
    const int code =
        ((static_cast<unsigned char>(seed[0]) & 0x07) << 8) | static_cast<unsigned char>(seed[1]);
    const std::string name = entry.path().filename().string();
    qeltest::Reply reply = qeltest::Call(code, seed.substr(2));
    if (reply.text.empty()) continue;
    ++replies;
    EXPECT_TRUE(qel::IsValidGbk(reply.text)) << name;
    Json::Value value;
    ASSERT_TRUE(qel::ParseJson(qel::GbkToUtf8(reply.text), &value)) << name << ": " << reply.text;
    CollectStrings(value, &seen);
    // The library's own reader agrees with the host's.
    Json::Value own;
    ASSERT_TRUE(qel::ParseGbkJson(reply.text, &own)) << name;
    EXPECT_EQ(qel::StringsToUtf8(own), value) << name;
  }
  EXPECT_GT(replies, 30);
  for (const std::string& expected : kNames) EXPECT_EQ(seen.count(expected), 1u) << expected;
}

// A request written GBK-first by a host, with such characters in a value,
// reads back: the search for a name with 0x5C second bytes and a real
// backslash finds it.
TEST_F(GbkRepliesTest, RequestWithSecondBytes5CIsRead) {
  const std::string requests[] = {
      qeltest::Gbk(R"({"PARAM":{"PRODUCT_CATEGORY":{"PRO_CATEGORY_ID":"1000001"}},"X":"誠信\\乗"})"),
      R"({"PARAM":{"PRODUCT_CATEGORY":{"PRO_CATEGORY_ID":"1000001"}},"X":"\u8aa0\u4fe1\\\u4e57"})",
  };
  for (const std::string& request : requests) {
    qeltest::Reply reply = qeltest::Call(0x608, request);
    EXPECT_EQ(reply.result, 0) << request;
    Json::Value rows = qeltest::Parse(reply.text);
    ASSERT_TRUE(rows.isArray() && rows.size() == 1u) << reply.text;
    EXPECT_EQ(qel::StringMember(rows[0], "NAME"), qeltest::Gbk("誠信\\电子"));
  }
}

}  // namespace
