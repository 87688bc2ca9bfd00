// Module 1: the about row with its version and the company row with the
// platform's picture and video columns and the share address.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "bridgetest.h"
#include "business/qel_invoke_aboutinfos.h"
#include "qel/json.h"
#include "qelbridge.h"
#include "testsupport.h"

namespace {

using qel::dataspace::AboutVersionText;
using qel::dataspace::ShareSiteAddress;
using qeltest::Call;
using qeltest::Parse;
using qeltest::Reply;

void AddAboutRows(const qeltest::Installation& installation) {
  installation.Ex(
      "INSERT INTO ABOUT_QEL VALUES('1','logo.png','http://qel.test','010-1','a@qel.test','help','pwd');"
      "INSERT INTO ABOUT_QEL_LANG VALUES('1',3,'产品目录');"
      "INSERT INTO ABOUT_QEL_LANG VALUES('1',1,'Catalogue');");
}

void AddCompanyRows(const qeltest::Installation& installation) {
  installation.Ex(
      "INSERT INTO COMPANY (ID, SERIALID, COMTEMP, COMPANYHOMEPIC, VIDEOURL, VIDEOTHUMBNAIL,"
      " COMPANYHOMEPHONEPIC, VIDEOURLPHONE, VIDEOTHUMBNAILPHONE, COMPANYHOMEPADPIC, VIDEOURLPAD,"
      " VIDEOTHUMBNAILPAD, COMPANYLOGOPIC, QQ, HOTLINE, QRCODE_IMAGE_RES) VALUES('C7','S1','T9',"
      " 'home.jpg','video.mp4','thumb.jpg','home-phone.jpg','video-phone.mp4','thumb-phone.jpg',"
      " 'home-pad.jpg','video-pad.mp4','thumb-pad.jpg','logo.png','12345','400-1','qr.png');"
      "INSERT INTO COMPANY_LANG VALUES('C7',3,'示例公司','http://company.test');");
}

TEST(AboutVersionTextTest, ReadsDecimalAndVersionTexts) {
  const struct {
    std::string local;
    bool listed;
    std::string version;
  } cases[] = {
      {"281474976710657", true, "V0.1.0.1"},  // (1 << 48) + 1
      {"281474976710657\r\n", true, "V0.1.0.1"},
      {"V1.2.3.4", true, "V1.2.3.4"},
      {"V1.2.3.4\n", true, "V1.2.3.4"},
      {"0", true, "V0.0.0.0"},
      {" ", false, ""},
      {" \r\n", false, ""},
      {"", true, ""},  // no ver.qel
      {"V1.2.3", true, ""},
      {"1.2.3.4", true, ""},
      {"abc", true, ""},
  };
  for (const auto& c : cases) {
    std::string version = "unset";
    EXPECT_EQ(AboutVersionText(c.local, &version), c.listed) << "local: [" << c.local << "]";
    if (c.listed) {
      EXPECT_EQ(version, c.version) << "local: [" << c.local << "]";
    }
  }
}

TEST(AboutInfosTest, AboutRowCarriesTheLocalVersion) {
  qeltest::Installation installation("install", "281474976710657\r\nsecond line\n");
  AddAboutRows(installation);
  InitQelbridge(260, installation.StartupJson().c_str());

  Reply reply = Call(0x100);
  ASSERT_EQ(reply.result, 0) << reply.text;
  Json::Value rows = Parse(reply.text);
  ASSERT_TRUE(rows.isArray());
  ASSERT_EQ(rows.size(), 1u) << reply.text;
  const Json::Value& row = rows[0];
  EXPECT_EQ(row["VERSION"].asString(), "V0.1.0.1");
  EXPECT_EQ(row["NAME"].asString(), qeltest::Gbk("产品目录"));
  EXPECT_EQ(row["QELLOGO"].asString(), "logo.png");
  EXPECT_EQ(row["PASSWORDURL"].asString(), "pwd");
  EXPECT_FALSE(row.isMember("ID"));
}

TEST(AboutInfosTest, BlankVersionListsNoAboutRow) {
  qeltest::Installation installation("install", " ");
  AddAboutRows(installation);
  InitQelbridge(260, installation.StartupJson().c_str());

  Reply reply = Call(0x100);
  EXPECT_EQ(reply.result, 0);
  EXPECT_EQ(reply.text, "[]");
}

TEST(AboutInfosTest, MissingVersionFileGivesAnEmptyVersion) {
  qeltest::Installation installation;
  AddAboutRows(installation);
  std::remove((installation.root() + "/ver.qel").c_str());
  InitQelbridge(260, installation.StartupJson().c_str());

  Reply reply = Call(0x100);
  ASSERT_EQ(reply.result, 0) << reply.text;
  Json::Value rows = Parse(reply.text);
  ASSERT_EQ(rows.size(), 1u) << reply.text;
  EXPECT_EQ(rows[0]["VERSION"].asString(), "");
}

TEST(AboutInfosTest, CompanyColumnsFollowThePlatform) {
  qeltest::Installation installation;
  AddCompanyRows(installation);
  const struct {
    int platform;
    const char* suffix;  // of the chosen column names and values
  } cases[] = {{260, ""}, {513, "PHONE"}, {1025, "PHONE"}, {514, "PAD"}, {1026, "PAD"}, {7, ""}};
  const std::vector<std::string> variants = {"", "PHONE", "PAD"};
  for (const auto& c : cases) {
    InitQelbridge(c.platform, installation.StartupJson().c_str());
    Reply reply = Call(0x101);
    ASSERT_EQ(reply.result, 0) << "platform: " << c.platform;
    Json::Value rows = Parse(reply.text);
    ASSERT_EQ(rows.size(), 1u) << "platform: " << c.platform << "\n" << reply.text;
    const Json::Value& row = rows[0];
    const std::string suffix = c.suffix;
    const std::string valueSuffix = suffix.empty() ? "" : suffix == "PHONE" ? "-phone" : "-pad";
    for (const std::string& variant : variants) {
      bool chosen = variant == suffix;
      EXPECT_EQ(row.isMember("COMPANYHOME" + variant + "PIC"), chosen) << "platform: " << c.platform;
      EXPECT_EQ(row.isMember("VIDEOURL" + variant), chosen) << "platform: " << c.platform;
      EXPECT_EQ(row.isMember("VIDEOTHUMBNAIL" + variant), chosen) << "platform: " << c.platform;
    }
    EXPECT_EQ(row["COMPANYHOME" + suffix + "PIC"].asString(), "home" + valueSuffix + ".jpg")
        << "platform: " << c.platform;
    EXPECT_EQ(row["VIDEOURL" + suffix].asString(), "video" + valueSuffix + ".mp4")
        << "platform: " << c.platform;
    EXPECT_EQ(row["VIDEOTHUMBNAIL" + suffix].asString(), "thumb" + valueSuffix + ".jpg")
        << "platform: " << c.platform;
    EXPECT_EQ(row["ID"].asString(), "C7");
    EXPECT_EQ(row["NAME"].asString(), qeltest::Gbk("示例公司"));
    EXPECT_EQ(row["SITEURL"].asString(), "http://company.test");
    EXPECT_EQ(row["QRCODE_IMAGE_RES"].asString(), "qr.png");
    EXPECT_EQ(row["COMTEMP"].asString(), "T9");
  }
}

TEST(AboutInfosTest, ShareUrlCarriesTemplateAndCompany) {
  qeltest::Installation installation;
  AddCompanyRows(installation);
  InitQelbridge(260, installation.StartupJson().c_str());

  const struct {
    const char* setting;  // null: unset
    std::string site;
  } cases[] = {
      {nullptr, "http://share.example.com"},
      {"", "http://share.example.com"},
      {"https://share.qel.test", "https://share.qel.test"},
      {"https://share.qel.test//", "https://share.qel.test"},
  };
  for (const auto& c : cases) {
    if (c.setting == nullptr) {
      unsetenv("QEL_SHARE_URL");
    } else {
      setenv("QEL_SHARE_URL", c.setting, 1);
    }
    const std::string setting = c.setting ? c.setting : "<unset>";
    EXPECT_EQ(ShareSiteAddress(), c.site) << "setting: " << setting;
    Reply reply = Call(0x101);
    Json::Value rows = Parse(reply.text);
    ASSERT_EQ(rows.size(), 1u) << reply.text;
    EXPECT_EQ(rows[0]["SHAREURL"].asString(), c.site + "/sample/Sharecom/download/templateid/T9/qyid/C7")
        << "setting: " << setting;
  }
  unsetenv("QEL_SHARE_URL");
}

TEST(AboutInfosTest, NoLanguageRowGivesAnEmptyList) {
  qeltest::Installation installation;
  installation.Ex(
      "INSERT INTO COMPANY (ID, COMTEMP) VALUES('C7','T9');"
      "INSERT INTO COMPANY_LANG VALUES('C7',1,'Company','');"
      "INSERT INTO ABOUT_QEL (ID) VALUES('1');");
  InitQelbridge(260, installation.StartupJson().c_str());
  for (int code : {0x100, 0x101}) {
    Reply reply = Call(code);
    EXPECT_EQ(reply.result, 0) << "code: " << code;
    EXPECT_EQ(reply.text, "[]") << "code: " << code;
  }
}

// Without a database both requests fail instead of answering with an empty
// text that a host cache would keep.
TEST(AboutInfosTest, MissingDatabaseFails) {
  qeltest::Installation installation;
  std::remove(installation.dataDb().c_str());
  InitQelbridge(260, installation.StartupJson().c_str());
  for (int code : {0x100, 0x101}) {
    EXPECT_EQ(Call(code).result, 1) << "code: " << code;
  }
}

TEST(AboutInfosTest, OtherMethodsAreRefused) {
  qeltest::Installation installation;
  InitQelbridge(260, installation.StartupJson().c_str());
  for (int code : {0x102, 0x1ff}) {
    Reply reply = Call(code);
    EXPECT_EQ(reply.result, -1) << "code: " << code;
    Json::Value error = Parse(reply.text);
    EXPECT_EQ(qel::StringMember(error, "ERRORCODE"), "-1") << reply.text;
  }
  qel::dataspace::qel_Invoke_AboutInfos module;
  std::string untouched = "keep";
  EXPECT_EQ(module.Invoke(2, "", &untouched), -1);
  EXPECT_EQ(untouched, "keep");
}

}  // namespace
