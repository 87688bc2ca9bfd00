// Start-up: the values InitQelbridge stores, the databases the bridge
// singleton opens and what it loads from them.
#include <gtest/gtest.h>
#include <glog/logging.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bridgetest.h"
#include "database/qelinfoaccess.h"
#include "cqelbridge.h"
#include "database/qeldatasource.h"
#include "glogcapture.h"
#include "qelbridge.h"
#include "testsupport.h"

namespace fs = std::filesystem;
using qel::dataspace::cqelbridge;
using qel::dataspace::GetInitParams;
using qel::dataspace::InitParams;

using qeltest::CaptureLog;
using qeltest::ClearLog;

TEST(PlatformCode, MapsEveryKnownPlatformAndDefaultsTo310000) {
  const struct {
    int platform;
    const char* code;
  } cases[] = {{260, "310000"},  {513, "430000"}, {514, "530000"}, {1025, "420000"},
               {1026, "520000"}, {7, "310000"},   {0, "310000"},   {-1, "310000"}};
  for (const auto& c : cases) {
    EXPECT_EQ(qel::dataspace::PlatformCodeFor(c.platform), c.code) << "platform: " << c.platform;
  }
}

TEST(PlatformCode, FollowsTheStartUpPlatform) {
  qeltest::Installation install;
  ASSERT_EQ(InitQelbridge(513, install.StartupJson().c_str()), 0);
  EXPECT_EQ(qel::dataspace::GetPlatform(), 513);
  EXPECT_EQ(cqelbridge::GetInstance()->PlatformCode(), "430000");
}

TEST(UploadUrl, DerivedFromTheServicePath) {
  const struct {
    const char* server;
    const char* upload;
  } cases[] = {
      {"X/a/b", "X/a/servlet/UpLoadServer?"},
      {"http://127.0.0.1:9/qelservice", "http://127.0.0.1:9/servlet/UpLoadServer?"},
      {"http://h:8080/", "http://h:8080/servlet/UpLoadServer?"},
      // Only a host: the whole text is kept rather than cut inside "//".
      {"http://h:8080", "http://h:8080/servlet/UpLoadServer?"},
      {"https://h", "https://h/servlet/UpLoadServer?"},
      {"noslash", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(qel::dataspace::UploadUrlFor(c.server), c.upload) << "server: " << c.server;
  }
}

TEST(StartUp, StoresTheValuesAndLoadsCompanyUserAndVersion) {
  qeltest::Installation install;
  install.Ex("INSERT INTO COMPANY (ID, SERIALID, COMTEMP) VALUES ('1001', 'S77', 'T5');");
  install.Main("INSERT INTO USERINFO (UID, USERID, REMEMBER) VALUES ('u0', 'other', ''), ('u7', 'me', '1');");
  install.SetVersion("V1.2.3.4\r\nsecond line\n");
  SetLogCallback(CaptureLog);

  std::string json = install.StartupJson("http://host:8080/qel/service");
  ASSERT_EQ(InitQelbridge(260, json.c_str()), 0);

  InitParams values = GetInitParams();
  EXPECT_EQ(values.LOCAL_PATH, install.root());
  EXPECT_EQ(values.SERVER_PATH, "http://host:8080/qel/service");
  EXPECT_EQ(values.uploadUrl, "http://host:8080/qel/servlet/UpLoadServer?");
  EXPECT_EQ(values.uploadDir, install.root() + "/uploadfile");
  EXPECT_EQ(values.IP, "127.0.0.1");
  EXPECT_EQ(values.UA, "Windows");
  EXPECT_EQ(values.MAC, "00-11-22-33-44-55");
  EXPECT_EQ(values.IMEI, "");

  cqelbridge* bridge = cqelbridge::GetInstance();
  EXPECT_EQ(bridge->GetCompanyID(), "1001");
  EXPECT_EQ(bridge->GetSerialID(), "S77");
  EXPECT_EQ(bridge->GetComTemp(), "T5");
  EXPECT_EQ(bridge->GetCurrentUID(), "u7");
  EXPECT_EQ(bridge->GetLocalVersion(), "V1.2.3.4");
  EXPECT_TRUE(qeltest::LoggedAtEnd("User Login Success. UseID:u7"));
  EXPECT_TRUE(qeltest::LoggedAtEnd("DB Open Success!"));

  // The attached catalogue is visible without a prefix.
  qel::dataspace::IQELDatasource* datasource = qel::dataspace::qelInfoAccess::GetInstance()->GetDatasource();
  ASSERT_NE(datasource, nullptr);
  std::string id;
  EXPECT_EQ(datasource->GetFieldValue("COMPANY", "ID", "", &id), 0);
  EXPECT_EQ(id, "1001");
  EXPECT_EQ(qel::dataspace::qelInfoAccess::GetInstance()->GetLangID(), "3");

  EXPECT_EQ(bridge->SetCurrentUID("u9"), 0);
  EXPECT_EQ(bridge->GetCurrentUID(), "u9");
  EXPECT_TRUE(qeltest::LoggedAtEnd("Current User Changed To: u9"));
  SetLogCallback(nullptr);
}

TEST(StartUp, WithoutARememberedUserTheCurrentUserStaysEmpty) {
  qeltest::Installation install;
  install.Main("INSERT INTO USERINFO (UID, USERID, REMEMBER) VALUES ('u0', 'other', '');");
  SetLogCallback(CaptureLog);
  ASSERT_EQ(InitQelbridge(260, install.StartupJson().c_str()), 0);
  EXPECT_EQ(cqelbridge::GetInstance()->GetCurrentUID(), "");
  EXPECT_TRUE(qeltest::LoggedAtEnd("Get remember user ERROR, please check the database"));
  SetLogCallback(nullptr);
}

TEST(StartUp, MissingMainDatabaseIsNotCreated) {
  qeltest::Installation install;
  fs::remove(install.dataDb());
  SetLogCallback(CaptureLog);
  qeltest::GlogErrors errors;
  ASSERT_EQ(InitQelbridge(260, install.StartupJson().c_str()), 0);
  EXPECT_TRUE(errors.Has({"cannot open the main database", install.dataDb()})) << errors.Text();
  EXPECT_FALSE(fs::exists(install.dataDb()));
  EXPECT_TRUE(qeltest::LoggedAtEnd("DB Open Fail!"));
  EXPECT_TRUE(qeltest::LoggedAtEnd("attach exdatabase error"));
  cqelbridge* bridge = cqelbridge::GetInstance();
  EXPECT_EQ(bridge->GetCompanyID(), "");
  EXPECT_EQ(bridge->GetLocalVersion(), "");
  SetLogCallback(nullptr);
}

TEST(StartUp, MissingSecondDatabaseIsNotCreatedAndNothingIsLoaded) {
  qeltest::Installation install;
  install.Main("INSERT INTO USERINFO (UID, USERID, REMEMBER) VALUES ('u7', 'me', '1');");
  fs::remove(install.exDb());
  SetLogCallback(CaptureLog);
  qeltest::GlogErrors errors;
  ASSERT_EQ(InitQelbridge(260, install.StartupJson().c_str()), 0);
  EXPECT_TRUE(errors.Has({"cannot attach the second database", install.exDb()})) << errors.Text();
  EXPECT_FALSE(fs::exists(install.exDb()));
  EXPECT_TRUE(qeltest::LoggedAtEnd("attach exdatabase error"));
  cqelbridge* bridge = cqelbridge::GetInstance();
  EXPECT_EQ(bridge->GetCurrentUID(), "");
  EXPECT_EQ(bridge->GetCompanyID(), "");
  EXPECT_EQ(bridge->GetLocalVersion(), "");
  SetLogCallback(nullptr);
}

// A host that calls before starting the bridge opens no session below "/":
// the start that names the folder still opens and loads the installation.
TEST(StartUp, CallsBeforeTheStartOpenNothing) {
  qeltest::Installation install;
  install.Ex("INSERT INTO COMPANY (ID, SERIALID, COMTEMP) VALUES ('1001', 'S77', 'T5');");
  qeltest::GlogErrors errors;
  qeltest::Call(0x607, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"1"}}})");
  EXPECT_EQ(cqelbridge::GetInstance()->GetCompanyID(), "");
  ASSERT_EQ(InitQelbridge(260, R"({"SERVER_PATH":"http://h/a"})"), 0);
  EXPECT_TRUE(errors.Has({"LOCAL_PATH is empty"})) << errors.Text();
  EXPECT_EQ(cqelbridge::GetInstance()->GetCompanyID(), "");

  ASSERT_EQ(InitQelbridge(260, install.StartupJson().c_str()), 0);
  EXPECT_EQ(cqelbridge::GetInstance()->GetCompanyID(), "1001");
  std::string id;
  EXPECT_EQ(
      qel::dataspace::qelInfoAccess::GetInstance()->GetDatasource()->GetFieldValue("COMPANY", "ID", "", &id),
      0);
  EXPECT_EQ(id, "1001");
}

TEST(StartUp, MissingVersionFileLeavesTheVersionEmpty) {
  qeltest::Installation install;
  fs::remove(install.root() + "/ver.qel");
  ASSERT_EQ(InitQelbridge(260, install.StartupJson().c_str()), 0);
  EXPECT_EQ(cqelbridge::GetInstance()->GetLocalVersion(), "");
}

// Any start-up text is accepted; members are read only from an object, and
// numbers count as their text.
TEST(StartUp, TextsOfAnyShape) {
  SetLogCallback(CaptureLog);
  const struct {
    const char* json;
    bool reportsError;
    const char* localPath;
    const char* ip;
  } cases[] = {
      {"x", true, "", ""},
      {"", true, "", ""},
      {"[1]", true, "", ""},
      {"5", true, "", ""},
      {"null", true, "", ""},
      {"{}", true, "", ""},
      {"\"LOCAL_PATH\"", true, "", ""},
      {R"({"LOCAL_PATH":{"a":"b"},"IP":["1"]})", false, "", ""},
      {R"({"LOCAL_PATH":"/nowhere","IP":42})", false, "/nowhere", "42"},
      {R"({"LOCAL_PATH":null,"IP":true,"SERVER_PATH":7})", false, "", "true"},
  };
  for (const auto& c : cases) {
    ClearLog();
    EXPECT_EQ(qel::dataspace::StartQelbridge(260, c.json), 0) << "json: " << c.json;
    EXPECT_EQ(qeltest::LoggedAtEnd("jsongParam error "), c.reportsError) << "json: " << c.json;
    InitParams values = GetInitParams();
    EXPECT_EQ(values.LOCAL_PATH, c.localPath) << "json: " << c.json;
    EXPECT_EQ(values.IP, c.ip) << "json: " << c.json;
    EXPECT_EQ(values.uploadDir, std::string(c.localPath) + "/uploadfile") << "json: " << c.json;
  }
  EXPECT_EQ(InitQelbridge(260, nullptr), 0);
  std::string deep(100000, '[');
  EXPECT_EQ(InitQelbridge(260, deep.c_str()), 0);
  SetLogCallback(nullptr);
}

TEST(StartUp, UploadUrlKeepsItsValueWhenNoneCanBeDerived) {
  ASSERT_EQ(qel::dataspace::StartQelbridge(260, R"({"SERVER_PATH":"http://h/a/b"})"), 0);
  EXPECT_EQ(GetInitParams().uploadUrl, "http://h/a/servlet/UpLoadServer?");
  ASSERT_EQ(qel::dataspace::StartQelbridge(260, R"({"SERVER_PATH":"noslash"})"), 0);
  EXPECT_EQ(GetInitParams().SERVER_PATH, "noslash");
  EXPECT_EQ(GetInitParams().uploadUrl, "http://h/a/servlet/UpLoadServer?");
}

// A second start-up refreshes the values but neither rebuilds the singleton
// nor applies a staged update under the open database.
TEST(StartUp, SecondInitKeepsTheOpenDatabase) {
  qeltest::Installation install;
  install.Ex("INSERT INTO COMPANY (ID, SERIALID, COMTEMP) VALUES ('1001', 'S77', 'T5');");
  qeltest::Installation other("other");
  other.Ex("INSERT INTO COMPANY (ID, SERIALID, COMTEMP) VALUES ('2002', 'S88', 'T6');");
  SetLogCallback(CaptureLog);

  ASSERT_EQ(InitQelbridge(260, install.StartupJson().c_str()), 0);
  EXPECT_FALSE(qeltest::LoggedAtEnd("updateOperate skipped: the database is open"));
  ClearLog();
  ASSERT_EQ(InitQelbridge(514, other.StartupJson("http://h/x").c_str()), 0);
  EXPECT_TRUE(qeltest::LoggedAtEnd("updateOperate skipped: the database is open"));
  EXPECT_FALSE(qeltest::LoggedAtEnd("bigein InitAllData outside！"));

  EXPECT_EQ(GetInitParams().LOCAL_PATH, other.root());
  EXPECT_EQ(GetInitParams().uploadUrl, "http://h/servlet/UpLoadServer?");
  cqelbridge* bridge = cqelbridge::GetInstance();
  EXPECT_EQ(bridge->GetCompanyID(), "1001");
  EXPECT_EQ(bridge->PlatformCode(), "530000");
  SetLogCallback(nullptr);
}

TEST(StartUp, SetsUpGlogOnceWithItsFolder) {
  qeltest::Installation install;
  ASSERT_EQ(InitQelbridge(260, install.StartupJson().c_str()), 0);
  EXPECT_TRUE(google::IsGoogleLoggingInitialized());
  EXPECT_TRUE(fs::is_directory("./qellog"));
  ASSERT_EQ(InitQelbridge(260, install.StartupJson().c_str()), 0);
  // Standard error carries warnings and errors only; the files take all.
  EXPECT_EQ(FLAGS_stderrthreshold, google::GLOG_WARNING);
  testing::internal::CaptureStderr();
  LOG(INFO) << "an info line";
  LOG(WARNING) << "a warning line";
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.find("an info line"), std::string::npos) << err;
  EXPECT_NE(err.find("a warning line"), std::string::npos) << err;
}

// glog set up by another library first: the bridge leaves it alone (a second
// InitGoogleLogging would abort the process).
TEST(StartUp, LeavesGlogSetUpElsewhereAlone) {
  google::InitGoogleLogging("host");
  qeltest::Installation install;
  ASSERT_EQ(InitQelbridge(260, install.StartupJson().c_str()), 0);
  EXPECT_TRUE(google::IsGoogleLoggingInitialized());
  EXPECT_FALSE(fs::exists("./qellog"));
  google::ShutdownGoogleLogging();
}

// Readers on other threads while start-up values and the current user
// change (meaningful under the thread sanitizer).
// A start-up JSON is a GBK document, however the host wrote it: a folder
// named with characters whose GBK second byte is 0x5C ("乗", "誠") opens.
enum class StartupForm { kOwnWriter, kHostTextInGbk, kHostTextWithEscapes };

class GbkStartUp : public ::testing::TestWithParam<StartupForm> {};

TEST_P(GbkStartUp, FolderWithSecondBytes5COpens) {
  qeltest::Installation install("\xE4\xB9\x97\xE8\xAA\xA0\xE4\xBF\xA1");  // 乗誠信
  install.Ex("INSERT INTO COMPANY (ID, SERIALID, COMTEMP) VALUES ('1001', 'S77', 'T5');");
  std::string json;
  switch (GetParam()) {
    case StartupForm::kOwnWriter:
      json = install.StartupJson();
      break;
    case StartupForm::kHostTextInGbk:
      json = qeltest::Gbk("{\n  \"LOCAL_PATH\" : \"" + install.root() + "\",\n\t\"UA\":\"Windows\"\n}");
      break;
    case StartupForm::kHostTextWithEscapes: {
      std::string path = install.root();
      path.replace(path.rfind("\xE4\xB9\x97"), 9, "\\u4e57\\u8AA0\\u4fe1");
      json = "{\"LOCAL_PATH\":\"" + path + "\",\"UA\":\"Windows\"}";
      break;
    }
  }
  ASSERT_EQ(InitQelbridge(260, json.c_str()), 0);
  EXPECT_EQ(GetInitParams().LOCAL_PATH, qeltest::Gbk(install.root()));
  EXPECT_EQ(GetInitParams().UA, "Windows");
  EXPECT_EQ(cqelbridge::GetInstance()->GetCompanyID(), "1001");
}

std::string FormName(const ::testing::TestParamInfo<StartupForm>& info) {
  switch (info.param) {
    case StartupForm::kOwnWriter:
      return "OwnWriter";
    case StartupForm::kHostTextInGbk:
      return "HostTextInGbk";
    case StartupForm::kHostTextWithEscapes:
      break;
  }
  return "HostTextWithEscapes";
}

INSTANTIATE_TEST_SUITE_P(Forms, GbkStartUp,
                         ::testing::Values(StartupForm::kOwnWriter, StartupForm::kHostTextInGbk,
                                           StartupForm::kHostTextWithEscapes),
                         FormName);

TEST(StartUp, ValuesAndCurrentUserAreSafeToReadConcurrently) {
  qeltest::Installation install;
  ASSERT_EQ(InitQelbridge(260, install.StartupJson().c_str()), 0);
  cqelbridge* bridge = cqelbridge::GetInstance();
  std::string json = install.StartupJson();
  std::vector<std::thread> threads;
  threads.emplace_back([&] {
    for (int i = 0; i < 200; ++i) bridge->SetCurrentUID("u" + std::to_string(i));
  });
  threads.emplace_back([&] {
    for (int i = 0; i < 20; ++i) qel::dataspace::StartQelbridge(260, json);
  });
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        // One read: two reads may see two different writes.
        const std::string uid = bridge->GetCurrentUID();
        EXPECT_TRUE(uid.rfind('u', 0) == 0 || uid.empty()) << uid;
        EXPECT_EQ(GetInitParams().LOCAL_PATH, install.root());
        bridge->PlatformCode();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(bridge->GetCurrentUID(), "u199");
}
