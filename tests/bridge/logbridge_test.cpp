#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <string>
#include <vector>

#include "datainterfaceinvoke.h"
#include "logbridge.h"
#include "qelbridge.h"
#include "testsupport.h"

namespace {

std::vector<std::string> g_lines;
std::vector<bool> g_nullExtra;

void Capture(const char* text, const char* extra) {
  g_lines.push_back(text);
  g_nullExtra.push_back(extra == nullptr);
}

TEST(LogBridge, HeaderFormat) {
  std::tm t{};
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 7;
  EXPECT_EQ(qel::dataspace::FormatLogHeader("a.cpp", 12, "qel::dataspace::cqelbridge::Invoke", t),
            "[FILE]:a.cpp,[LINE]:12,[FUN]:qel::dataspace::cqelbridge::Invoke,[TIME]:9:5:7>>>\n");
  const std::string longName(300, 'f');
  EXPECT_EQ(qel::dataspace::FormatLogHeader(longName.c_str(), 1, "f", t).find(longName), 7u)
      << "a long file name is never cut";
}

TEST(LogBridge, NothingIsDeliveredWithoutACallback) {
  g_lines.clear();
  SetLogCallback(nullptr);
  QEL_LOG("f", "x");
  char* reply = nullptr;
  Invoke(0x700, "{}", &reply);
  DeleteJsonStr(&reply);
  EXPECT_TRUE(g_lines.empty());
}

TEST(LogBridge, DispatchLinesReachTheCallback) {
  g_lines.clear();
  g_nullExtra.clear();
  char* reply = nullptr;
  Invoke(0x700, "", &reply);  // the singleton's own start-up lines stay out of the capture
  DeleteJsonStr(&reply);
  SetLogCallback(Capture);
  Invoke(0x601, "{\"PARAM\":{}}", &reply);
  DeleteJsonStr(&reply);
  SetLogCallback(nullptr);
  ASSERT_GE(g_lines.size(), 5u);
  size_t in = 0;
  while (in + 1 < g_lines.size() && g_lines[in].find("Json In") == std::string::npos) ++in;
  EXPECT_NE(g_lines[in].find(",[FUN]:qel::dataspace::cqelbridge::Invoke,[TIME]:"), std::string::npos);
  EXPECT_NE(g_lines[in].find(">>>\n-------\xA1\xBEJson In\xA1\xBF"), std::string::npos) << g_lines[in];
  EXPECT_NE(g_lines[in + 1].find(">>>\n{\"PARAM\":{}}"), std::string::npos);
  EXPECT_NE(g_lines[g_lines.size() - 2].find("UN___DEFINED UTF8"), std::string::npos);
  EXPECT_NE(g_lines.back().find("Invoke Result:\n"), std::string::npos);
  EXPECT_FALSE(g_nullExtra[in]) << "LogBridge passes \"\" as extra";
}

// "誠" in GBK: its second byte is 0x5C, which must not read as an escape.
const std::string kCheng = "\xD5\x5C";

TEST(LogBridge, SecretsAreMaskedInEveryJsonSpelling) {
  struct Case {
    const char* label;
    std::string in;
    std::string out;  // "" when only the absence of the secret is checked
  } cases[] = {
      {"spaces kept", R"({"PASSWORD" : "s3cret", "USERID":"u"})", R"({"PASSWORD" : "***", "USERID":"u"})"},
      {"escaped quote in value", R"({"passwd":"a\"b","x":1})", R"({"passwd":"***","x":1})"},
      {"number value", R"({"SECURITYCODE":5678})", R"({"SECURITYCODE":"***"})"},
      {"object value", R"({"code":{"a":"s3cret"},"n":1})", R"({"code":"***","n":1})"},
      {"newpwd and CODE", R"({"newPwd":"s3cret","CODE":"s3cret"})", R"({"newPwd":"***","CODE":"***"})"},
      {"line break before colon", "{\"passwd\"\n:\"s3cret\"}", ""},
      {"line break after colon", "{\"passwd\":\n\"s3cret\"}", "{\"passwd\":\n\"***\"}"},
      {"tabs and CR", "{\"password\"\t:\r\n\t\"s3cret\"}", ""},
      {"escaped key", R"({"pass\u0077ord":"s3cret"})", R"({"pass\u0077ord":"***"})"},
      {"escaped key, upper case hex", R"({"\u0043ODE":"s3cret"})", ""},
      {"nested", R"({"PARAM":{"USERINFO":{"PASSWORD":"s3cret"}},"list":[{"code":"s3cret"}]})", ""},
      {"escaped envelope", R"({"params":["{\"passWord\":\"s3cret\",\"code\":\"s3cret\"}"]})",
       R"({"params":["{\"passWord\":\"***\",\"code\":\"***\"}"]})"},
      {"escaped envelope, escaped key", R"({"params":["{\"pass\\u0077d\" :\n \"s3cret\"}"]})", ""},
      {"envelope in an envelope", R"(["{\"p\":\"{\\\"newpwd\\\":\\\"s3cret\\\"}\"}"])", ""},
      {"GBK second byte 0x5C before", "{\"NAME\":\"" + kCheng + "\",\"password\":\"s3cret\"}",
       "{\"NAME\":\"" + kCheng + "\",\"password\":\"***\"}"},
      {"text around JSON", "show:1001{\"code\" :\n\"s3cret\"}{\"passwd\":\"s3cret\"}", ""},
      {"unterminated", R"({"password":"s3cret)", R"({"password":"***")"},
      {"escaped text without quotes around it", R"(show:{\"password\":\"s3cret\",\"n\":\"1\"})",
       R"(show:{\"password\":\"***\",\"n\":\"1\"})"},
      {"escaped text after an unclosed string", R"("x {\"CODE\" :\n\"s3cret\"})", ""},
      {"name in the message, value in JSON after it", R"(show:"code": {"x":"s3cret"})", ""},
      {"stray quote before a member", R"(show:1"{"passwd":"s3cret"}"{"passwd":"s3cret"})", ""},
      {"names as values stay", R"({"ERRORCODE":"100020","NAME":"password"})",
       R"({"ERRORCODE":"100020","NAME":"password"})"},
      {"lone string", R"("password")", R"("password")"},
  };
  for (const Case& c : cases) {
    std::string masked = qel::dataspace::MaskSecrets(c.in);
    EXPECT_EQ(masked.find("s3cret"), std::string::npos) << c.label << ": " << masked;
    EXPECT_EQ(masked.find("5678"), std::string::npos) << c.label << ": " << masked;
    if (!c.out.empty()) {
      EXPECT_EQ(masked, c.out) << c.label;
    }
  }
}

TEST(LogBridge, NoLoggedLineOfADispatchShowsASecret) {
  qeltest::Installation installation;
  InitQelbridge(260, installation.StartupJson().c_str());
  g_lines.clear();
  SetLogCallback(Capture);
  // Module 6 logs the request twice in its "show:" line; module 0 through
  // the dispatcher's "Json In" line.
  for (int code : {0x601, 0x602, 0x001}) {
    char* reply = nullptr;
    Invoke(code,
           "{\"PARAM\":{\"PRODUCT_CATEGORY\":{\"PRO_CATEGORY_ID\":\"1001001\"}},\n\"Passwd\"\n:\t\"s3cret\","
           "\"pass\\u0077ord\":\"s3cret\"}",
           &reply);
    DeleteJsonStr(&reply);
  }
  SetLogCallback(nullptr);
  ASSERT_FALSE(g_lines.empty());
  bool sawShow = false;
  for (const std::string& line : g_lines) {
    EXPECT_EQ(line.find("s3cret"), std::string::npos) << line;
    sawShow = sawShow || line.find("show:") != std::string::npos;
  }
  EXPECT_TRUE(sawShow);
}

int g_steps = 0;
int StopAtFifty(int step, const char*) {
  ++g_steps;
  return step >= 50 ? 1 : 0;
}

TEST(ProgressBridge, CallbackResultIsPassedOn) {
  EXPECT_EQ(qel::dataspace::NotifyUpdateProgress(10, "x"), 0) << "no callback: progress is ignored";
  SetUpdateDownCallback(StopAtFifty);
  EXPECT_EQ(qel::dataspace::NotifyUpdateProgress(10, "x"), 0);
  EXPECT_EQ(qel::dataspace::NotifyUpdateProgress(50, nullptr), 1);
  EXPECT_EQ(g_steps, 2);
  SetUpdateDownCallback(nullptr);
  EXPECT_EQ(qel::dataspace::NotifyUpdateProgress(60, "x"), 0);
}

}  // namespace

namespace {

bool g_exiting = false;
void ReportLateCalls(const char*, const char*) {
  if (g_exiting) std::fputs("callback during exit\n", stderr);
}

TEST(LogBridgeDeathTest, NoCallbackWhileTheProcessEnds) {
  EXPECT_EXIT(
      {
        qeltest::Installation install;
        InitQelbridge(260, install.StartupJson().c_str());
        SetLogCallback(ReportLateCalls);
        // Registered after start-up, so it runs before the bridge's own
        // exit work and the teardown of its singletons.
        std::atexit([] { g_exiting = true; });
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), ::testing::Not(::testing::HasSubstr("callback during exit")));
}

// The client core joins its threads from an exit handler registered at its
// start; until they are joined they may still dispatch, also through a
// module first asked after that handler was registered.
void AskEveryModule() {
  for (int code : {0x000, 0x100, 0x200, 0x300, 0x401, 0x501, 0x601}) {
    char* reply = nullptr;
    Invoke(code, "{}", &reply);
    DeleteJsonStr(&reply);
  }
}

TEST(LogBridgeDeathTest, ModulesAnswerFromAnExitHandlerRegisteredBeforeTheirFirstUse) {
  EXPECT_EXIT(
      {
        qeltest::Installation install;
        InitQelbridge(260, install.StartupJson().c_str());
        std::atexit(AskEveryModule);
        AskEveryModule();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
