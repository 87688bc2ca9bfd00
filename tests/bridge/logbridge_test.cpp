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

TEST(LogBridge, SecretsAreMasked) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {R"({"PASSWORD" : "s3cret", "USERID":"u"})", R"({"PASSWORD" : "***", "USERID":"u"})"},
      {R"({"passwd":"a\"b","x":1})", R"({"passwd":"***","x":1})"},
      {R"({"params":["{\"passWord\":\"pw\",\"code\":\"1234\"}"]})",
       R"({"params":["{\"passWord\":\"***\",\"code\":\"***\"}"]})"},
      {R"({"SECURITYCODE":5678})", R"({"SECURITYCODE":***})"},
      {R"({"ERRORCODE":"100020","NAME":"password"})", R"({"ERRORCODE":"100020","NAME":"password"})"},
      {R"("password")", R"("password")"},
      {R"({"password":"unterminated)", R"({"password":"***)"},
  };
  for (const Case& c : cases) EXPECT_EQ(qel::dataspace::MaskSecrets(c.in), c.out) << c.in;
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

}  // namespace
