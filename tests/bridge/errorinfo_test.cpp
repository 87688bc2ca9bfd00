// Error objects read from ERRORINFO / ERRORINFO_LANG, directly and as the
// reply of a failed request.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "errorcodehelper.h"
#include "qel/json.h"
#include "qelbridge.h"
#include "testsupport.h"

namespace {

Json::Value ErrorObject(const std::string& code, const std::string& desc, const std::string& level) {
  Json::Value value(Json::objectValue);
  value["ERRORCODE"] = code;
  value["ERRORDESC"] = desc;
  value["ERRORLEVE"] = level;
  return value;
}

// An installation with error rows in the bridge's language (3) and one
// text in another language only.
class ErrorInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    install_.Main(
        "INSERT INTO ERRORINFO (ERRORCODE, ERRORLEVE) VALUES ('-2', '1'), ('100013', '2'), ('7', '3');"
        "INSERT INTO ERRORINFO_LANG (ERRORCODE, LANG, ERRORDESC) VALUES "
        "('-2', 3, '无此请求'), ('-2', 1, 'no such request'), ('100013', 3, '密码错误'), ('7', 1, 'only "
        "other');");
    ASSERT_EQ(InitQelbridge(260, install_.StartupJson().c_str()), 0);
  }

  qeltest::Installation install_;
};

}  // namespace

TEST_F(ErrorInfoTest, ReadsTheRowOfTheCodeInTheBridgeLanguage) {
  const struct {
    const char* code;
    Json::Value expected;
  } cases[] = {
      {"100013", ErrorObject("100013", qeltest::Gbk("密码错误"), "2")},
      {"-2", ErrorObject("-2", qeltest::Gbk("无此请求"), "1")},
      // No row, a row without a text in language 3, a code that would break
      // the SQL if it were not quoted.
      {"500003", ErrorObject("500003", "", "")},
      {"7", ErrorObject("7", "", "")},
      {"1' OR '1'='1", ErrorObject("1' OR '1'='1", "", "")},
      {"", ErrorObject("", "", "")},
  };
  for (const auto& c : cases) {
    Json::Value out;
    EXPECT_EQ(qel::qelErrorHelper::GetErrorINFO(c.code, &out), 0) << "code: " << c.code;
    EXPECT_EQ(out, c.expected) << "code: " << c.code;
  }
}

TEST_F(ErrorInfoTest, UnhandledModuleGivesTheErrorObjectFromTheTable) {
  char* reply = nullptr;
  EXPECT_EQ(Invoke(0x700, "", &reply), -2);
  ASSERT_NE(reply, nullptr);
  EXPECT_EQ(std::string(reply), qel::WriteStyled(ErrorObject("-2", qeltest::Gbk("无此请求"), "1")));
  DeleteJsonStr(&reply);
}

TEST_F(ErrorInfoTest, CodeWithoutARowGivesEmptyTexts) {
  install_.Main("DELETE FROM ERRORINFO WHERE ERRORCODE = '-2';");
  char* reply = nullptr;
  EXPECT_EQ(Invoke(-1, "{}", &reply), -2);
  ASSERT_NE(reply, nullptr);
  Json::Value parsed;
  ASSERT_TRUE(qel::ParseJson(reply, &parsed)) << reply;
  EXPECT_EQ(parsed, ErrorObject("-2", "", ""));
  DeleteJsonStr(&reply);
}

// Without a database the query cannot run: 1, and the output is untouched.
TEST(ErrorInfoNoDatabase, ReturnsOneAndLeavesTheOutputAlone) {
  qeltest::Installation install;
  std::filesystem::remove(install.dataDb());
  ASSERT_EQ(InitQelbridge(260, install.StartupJson().c_str()), 0);

  Json::Value out("untouched");
  EXPECT_EQ(qel::qelErrorHelper::GetErrorINFO("-2", &out), 1);
  EXPECT_EQ(out, Json::Value("untouched"));
  EXPECT_EQ(qel::qelErrorHelper::GetErrorINFO("-2", nullptr), 1);

  char* reply = nullptr;
  EXPECT_EQ(Invoke(0x700, "", &reply), -2);
  ASSERT_NE(reply, nullptr);
  EXPECT_EQ(std::string(reply), "null\n");
  DeleteJsonStr(&reply);
}
