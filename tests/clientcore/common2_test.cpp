// The common-library layer: text conversion, settings, services and downloads.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/qelcommon2.h"
#include "fakecommon.h"
#include "httptestserver.h"
#include "qel/json.h"
#include "testsupport.h"

namespace {

// Sets an environment variable for its lifetime (unset when value is null).
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

std::string StatusOf(const std::string& reply) {
  Json::Value v;
  if (!qel::ParseGbkJson(reply, &v)) return "<unparsed>";
  return qel::StringMember(qel::ObjectMember(v, "result"), "status");
}

}  // namespace

TEST(CommonText, WideBufferAlwaysTerminatesAndNeverInheritsText) {
  struct Case {
    const char* label;
    std::string src;  // GBK
    bool nullSrc;
    int size;
    std::wstring expected;
  };
  const Case cases[] = {
      {"fits", qeltest::Gbk("中文abc"), false, 16, L"中文abc"},
      {"exact", "abc", false, 4, L"abc"},
      {"cut", qeltest::Gbk("中文abc"), false, 3, L"中文"},
      {"one slot", "abc", false, 1, L""},
      {"null source", "", true, 8, L""},
      {"backslash second byte", qeltest::Gbk("誠") + "\\", false, 8, L"誠\\"},
      {"not gbk",
       "a\xff\xff"
       "b",
       false, 8, L"ab"},
  };
  for (const Case& c : cases) {
    std::vector<wchar_t> buffer(static_cast<size_t>(c.size) + 4, L'#');
    charTowchar(c.nullSrc ? nullptr : c.src.c_str(), buffer.data(), c.size);
    EXPECT_EQ(std::wstring(buffer.data()), c.expected) << c.label;
    EXPECT_EQ(buffer[static_cast<size_t>(c.size)], L'#') << c.label << ": wrote past size";
  }
  // The same buffer for a shorter text after a longer one keeps nothing.
  wchar_t buffer[32];
  charTowchar("long first text", buffer, 32);
  charTowchar("kg", buffer, 32);
  EXPECT_EQ(std::wstring(buffer), L"kg");
  charTowchar("x", nullptr, 8);  // no buffer: nothing happens
  charTowchar("x", buffer, 0);
}

TEST(CommonText, NarrowBufferNeverSplitsAGbkCharacter) {
  struct Case {
    const char* label;
    std::wstring src;
    int size;
    std::string expected;  // UTF-8 of the expected GBK text
  };
  const Case cases[] = {
      {"fits", L"中文ab", 16, "中文ab"},
      {"room for one character", L"中文", 4, "中"},
      {"half a character left", L"中文", 3, "中"},
      {"no room", L"中", 2, ""},
      {"mixed", L"a中b", 4, "a中"},
      {"not in gbk dropped", L"a\U0001F600b", 8, "ab"},
      {"no character", std::wstring(1, static_cast<wchar_t>(0xD800)) + L"x", 8, "x"},
  };
  for (const Case& c : cases) {
    std::vector<char> buffer(static_cast<size_t>(c.size) + 4, '#');
    wcharTochar(c.src.c_str(), buffer.data(), c.size);
    EXPECT_EQ(std::string(buffer.data()), qeltest::Gbk(c.expected)) << c.label;
    EXPECT_EQ(buffer[static_cast<size_t>(c.size)], '#') << c.label << ": wrote past size";
  }
  char buffer[8] = "xxxxxxx";
  wcharTochar(nullptr, buffer, 8);
  EXPECT_EQ(std::string(buffer), "");
}

TEST(CommonText, UnlimitedConversionsRoundTrip) {
  std::wstring text;
  for (int i = 0; i < 3000; ++i) text += (i % 3 == 0) ? L"誠" : (i % 3 == 1 ? L"a" : L"\\");
  std::string gbk = qelclientcore::WideToGbk(text);
  EXPECT_EQ(qelclientcore::GbkToWide(gbk), text);
  EXPECT_EQ(qeltest::Utf8(gbk).size(), 1000u * 3 + 2000u);
}

// The strict form gives the whole text or nothing: a character GBK lacks
// (Hangul, a unit that is no character) is never dropped.
TEST(CommonText, ExactConversionRefusesWhatGbkCannotHold) {
  const struct {
    const char* name;
    std::wstring wide;
    bool converts;
    std::string utf8;  // the GBK result, as UTF-8
  } cases[] = {
      {"empty", L"", true, ""},
      {"ascii", L"kim@mail.com", true, "kim@mail.com"},
      {"chinese with a second byte 0x5C", L"誠报价单.txt", true, "誠报价单.txt"},
      {"hangul in an address", L"kim김@mail.com", false, ""},
      {"hangul name", L"김민수", false, ""},
      {"hangul in a path", L"/tmp/a한.txt", false, ""},
      {"lone surrogate", std::wstring(L"a") + static_cast<wchar_t>(0xD800), false, ""},
      {"beyond unicode", std::wstring(L"a") + static_cast<wchar_t>(0x110000), false, ""},
  };
  for (const auto& c : cases) {
    std::string gbk = "left over";
    EXPECT_EQ(qelclientcore::WideToGbkExact(c.wide, &gbk), c.converts) << "case: " << c.name;
    EXPECT_EQ(qeltest::Utf8(gbk), c.utf8) << "case: " << c.name;
  }
}

TEST(CommonSettings, EnvironmentOfTheSystemServices) {
  SystemCommonServices system;
  {
    ScopedEnv log("QEL_LOG_RECORD", "1");
    EXPECT_TRUE(system.LogRecord());
  }
  for (const char* value : {static_cast<const char*>(nullptr), "0", "true", "", "11"}) {
    ScopedEnv log("QEL_LOG_RECORD", value);
    EXPECT_FALSE(system.LogRecord()) << (value ? value : "<unset>");
  }
  {
    ScopedEnv server("QEL_SERVER_PATH", nullptr);
    EXPECT_EQ(system.Server(), "");
  }
  {
    ScopedEnv server("QEL_SERVER_PATH", "http://10.1.2.3:8080/qel");
    EXPECT_EQ(system.Server(), "http://10.1.2.3:8080/qel");
  }
  struct IntervalCase {
    const char* value;
    int64_t expected;
  };
  const IntervalCase intervals[] = {
      {nullptr, 900000},
      {"50", 50},
      {"0", 900000},
      {"-5", 900000},
      {"abc", 900000},
      {"10ms", 900000},
      {"99999999999999999999", 900000},
  };
  for (const IntervalCase& c : intervals) {
    ScopedEnv interval("QEL_CACHED_DATA_INTERVAL_MS", c.value);
    EXPECT_EQ(system.CachedDataIntervalMs(), c.expected) << (c.value ? c.value : "<unset>");
  }
}

TEST(CommonSettings, ModuleFolder) {
  SystemCommonServices system;
  {
    ScopedEnv dir("QEL_INSTALL_DIR", "/opt/qel/Data//");
    EXPECT_EQ(system.ModuleDir(), "/opt/qel/Data");
  }
  {
    // The folder is handed on as GBK, like every narrow text of the API.
    ScopedEnv dir("QEL_INSTALL_DIR", "/opt/产品");
    EXPECT_EQ(system.ModuleDir(), qeltest::Gbk("/opt/产品"));
  }
  {
    // Unset: the folder of the file holding the client core (here the test
    // program, which links its objects).
    ScopedEnv dir("QEL_INSTALL_DIR", nullptr);
    std::string expected = std::filesystem::canonical("/proc/self/exe").parent_path().string();
    EXPECT_EQ(std::filesystem::canonical(system.ModuleDir()).string(), expected);
  }
}

TEST(CommonServices, ReplacedServicesAnswerEveryCall) {
  commontest::ScopedFakeCommon fake;
  fake->logRecord = true;
  fake->moduleDir = "/srv/qel";
  CCommon2& common = CCommon2::instance();
  EXPECT_TRUE(common.LogRecord());
  std::string server, ip, mac, system;
  common.GetServer(server);
  common.GetIP(ip);
  common.GetMac(mac);
  common.GetOperationSystemName(system);
  EXPECT_EQ(server, fake->server);
  EXPECT_EQ(ip, fake->ip);
  EXPECT_EQ(mac, fake->mac);
  EXPECT_EQ(system, fake->system);
  EXPECT_EQ(GetMoudleDirA(), "/srv/qel");
  EXPECT_EQ(StatusOf(common.DownloadFile("http://h/a", "", "/tmp/a", nullptr)), "100000");
  ASSERT_EQ(fake->downloads.size(), 1u);
  EXPECT_EQ(fake->downloads[0], "http://h/a||/tmp/a");
  EXPECT_EQ(&CCommon2::instance(), &common);
}

TEST(CommonServices, NullServicesGoBackToTheSystemOnes) {
  {
    commontest::ScopedFakeCommon fake;
    fake->moduleDir = "/srv/qel";
  }
  ScopedEnv dir("QEL_INSTALL_DIR", "/opt/qel");
  EXPECT_EQ(GetMoudleDirA(), "/opt/qel");
}

TEST(CommonDownload, WholeFileReplacesTheTargetAndFailuresKeepIt) {
  qeltest::TransportTimeouts timeouts(qeltest::TransportTimeouts::kHealthy);
  qeltest::HttpTestServer server;
  server.AddFile("/app/pc.bin", std::string("new program"));
  server.AddFile("/app/gone.bin", qeltest::ServedFile{"x", qeltest::FileFault::kNotFound});
  SystemCommonServices system;

  // The update folder does not exist yet.
  std::string target = qeltest::TestDir() + "/Data/AppUpdate/pc.bin";
  EXPECT_EQ(StatusOf(system.DownloadFile(server.Url("/app/pc.bin"), "", target, nullptr)), "100000");
  EXPECT_EQ(qeltest::ReadFile(target), "new program");

  // A file from an earlier attempt is replaced, not refused.
  qeltest::WriteFile(target, "old program");
  EXPECT_EQ(StatusOf(system.DownloadFile(server.Url("/app/pc.bin"), "", target, nullptr)), "100000");
  EXPECT_EQ(qeltest::ReadFile(target), "new program");

  // A missing file leaves the old one in place and no stray file beside it.
  std::string kept = qeltest::TestDir() + "/Data/AppUpdate/gone.bin";
  qeltest::WriteFile(kept, "keep me");
  EXPECT_EQ(StatusOf(system.DownloadFile(server.Url("/app/gone.bin"), "", kept, nullptr)), "500009");
  EXPECT_EQ(qeltest::ReadFile(kept), "keep me");
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(qeltest::TestDir() + "/Data/AppUpdate")) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 2u);

  // A GBK target name lands under its UTF-8 name.
  std::string gbkTarget = qeltest::TestDir() + "/Data/AppUpdate/" + qeltest::Gbk("说明.txt");
  EXPECT_EQ(StatusOf(CCommon2::instance().DownloadFile(server.Url("/app/pc.bin"), "", gbkTarget, nullptr)),
            "100000");
  EXPECT_TRUE(std::filesystem::exists(qeltest::TestDir() + "/Data/AppUpdate/说明.txt"));
}

TEST(CommonSettings, HostFactsHaveTheirShapes) {
  SystemCommonServices system;
  std::string ip = system.Ip();
  if (!ip.empty()) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    char tail = 0;
    EXPECT_EQ(std::sscanf(ip.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail), 4) << ip;
    EXPECT_NE(ip, "127.0.0.1");
  }
  std::string mac = system.Mac();
  if (!mac.empty()) {
    EXPECT_EQ(mac.size(), 17u) << mac;
    for (size_t i = 2; i < mac.size(); i += 3) EXPECT_EQ(mac[i], '-') << mac;
  }
  EXPECT_FALSE(system.OperationSystemName().empty());
}
