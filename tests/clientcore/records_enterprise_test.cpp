// Enterprise, user and service records.
#include <gtest/gtest.h>

#include <string>

#include "fakecommon.h"
#include "qel/json.h"
#include "recordtest.h"
#include "records/qelrecords.h"
#include "records/recordconvert.h"
#include "testsupport.h"

using namespace qelclientcore;
using recordtest::ExpectKeys;
using recordtest::KeyCase;

TEST(EnterpriseRecords, CertificateCategoriesGroupsAndCertificates) {
  {
    using R = EntCertCategory;
    ExpectKeys<R>({
        {"CERT_CATEGORY_ID", "17", MEMBER(R, categoryId), L"17"},
        {"CERT_CATEGORY_ID", "17", MEMBER(R, categoryIdText), L"17"},
        {"NAME", "n", MEMBER(R, name), L"n"},
        {"BEUSE", "1", MEMBER(R, beUse), L"1"},
        {"NEWCERTCOUNT", "2", MEMBER(R, newCertCount), L"2"},
        {"CERTCOUNT", "5", MEMBER(R, certCount), L"5"},
        {"SORT", "3", MEMBER(R, sort), L"3"},
        {"DESC", "d", MEMBER(R, desc), L"d"},
        {"TIPS", "t", MEMBER(R, tips), L"t"},
    });
  }
  {
    using R = EntCertsGroup;
    ExpectKeys<R>({
        {"CERTGROUP_ID", "g7", MEMBER(R, groupId), L"g7"},
        {"DESC", "d", MEMBER(R, desc), L"d"},
        {"ISSUETIME", "1388534400000", MEMBER(R, issueTime), L"1388534400000"},
        {"NAME", "n", MEMBER(R, name), L"n"},
        {"ORGANIZATION", "o", MEMBER(R, organization), L"o"},
        {"TOPIMG", "top.png", MEMBER(R, topImg), L"./files/top.png"},
        {"STATUS", "2", MEMBER(R, status), L"2"},
    });
  }
  {
    using R = EntCert;
    ExpectKeys<R>({
        {"CERT_ID", "31", MEMBER(R, certId), L"31"},
        {"CERT_CATEGORY_ID", "4", MEMBER(R, categoryId), L"4"},
        {"NAME", "n", MEMBER(R, name), L"n"},
        {"DESC", "d", MEMBER(R, desc), L"d"},
        {"STATUS", "2", MEMBER(R, status), L"2"},
        {"ISSUEORG", "org", MEMBER(R, issueOrg), L"org"},
        {"PICURL", "c.png", MEMBER(R, picUrl), L"./files/c.png"},
        {"EFFECTTIMEBEGIN", "2014-01-01", MEMBER(R, effectTimeBegin), L"2014-01-01"},
        {"EFFECTTIMEEND", "1388534400000", MEMBER(R, effectTimeEnd), L"1388534400000"},
        {"SORT", "6", MEMBER(R, sort), L"6"},
        {"TIPS", "t", MEMBER(R, tips), L"t"},
    });
  }
  {
    using R = EntCertPic;
    ExpectKeys<R>({
        {"RES_ID", "88", MEMBER(R, resIdText), L"88"},
        {"RES_ID", "88", MEMBER(R, resId), L"88"},
        {"NAME", "n", MEMBER(R, name), L"n"},
        {"DESC", "d", MEMBER(R, desc), L"d"},
        {"PATH", "p.png", MEMBER(R, path), L"./files/p.png"},
        {"STATUS", "2", MEMBER(R, status), L"2"},
    });
  }
}

TEST(EnterpriseRecords, CaseRecordsUsersAreasAndErrors) {
  {
    using R = EntCase;
    ExpectKeys<R>({
        {"CASE_ID", "9", MEMBER(R, caseId), L"9"},
        {"NAME", "n", MEMBER(R, name), L"n"},
        {"DESC", "d", MEMBER(R, desc), L"d"},
        {"STATUS", "1", MEMBER(R, status), L"1"},
        {"SORT", "2", MEMBER(R, sort), L"2"},
    });
  }
  {
    using R = EntCaseRes;
    ExpectKeys<R>({
        {"RES_ID", "5", MEMBER(R, resId), L"5"},
        {"NAME", "n", MEMBER(R, name), L"n"},
        {"TEXT", "t.html", MEMBER(R, text), L"./files/t.html"},
        {"IMG", "i.png", MEMBER(R, img), L"./files/i.png"},
        {"THUMB1", "1.png", MEMBER(R, thumb1), L"./files/1.png"},
        {"THUMB2", "http://h/2.png", MEMBER(R, thumb2), L"http://h/2.png"},
        {"PATH", "p.mp4", MEMBER(R, path), L"./files/p.mp4"},
        {"STATUS", "2", MEMBER(R, status), L"2"},
        {"TIPS", "t", MEMBER(R, tips), L"t"},
    });
  }
  {
    using R = MyConsultation;
    ExpectKeys<R>({
        {"CONSULT_ID", "-3", MEMBER(R, consultId), L"-3"},
        {"PRODUCT_ID", "123456789012", MEMBER(R, productId), L"123456789012"},
        {"TEL1", "1", MEMBER(R, tel1), L"1"},
        {"TEL2", "2", MEMBER(R, tel2), L"2"},
        {"TEL3", "3", MEMBER(R, tel3), L"3"},
        {"CONTENT", "c", MEMBER(R, content), L"c"},
        {"MOBILENUM", "138", MEMBER(R, mobileNum), L"138"},
        {"EMAIL", "e@x", MEMBER(R, email), L"e@x"},
        {"SENTSTATUS", "1", MEMBER(R, sentStatus), L"1"},
        {"ADDTIME", "1388534400000", MEMBER(R, addTime), L"1388534400000"},
    });
  }
  {
    using R = MyInquire;
    ExpectKeys<R>({
        {"INQUIRY_ID", "4", MEMBER(R, inquiryId), L"4"},
        {"PRODUCT_ID", "77", MEMBER(R, productId), L"77"},
        {"NUM", "100", MEMBER(R, num), L"100"},
        {"DUEDATE", "2015-01-01", MEMBER(R, dueDate), L"2015-01-01"},
        {"IMG", "upload/a.doc", MEMBER(R, img), L"upload/a.doc"},  // the attachment: no path rule
        {"AREAR", "1101", MEMBER(R, arear), L"1101"},
        {"ADDRESS", "a", MEMBER(R, address), L"a"},
        {"CONTACT", "c", MEMBER(R, contact), L"c"},
        {"MOBILENUM", "138", MEMBER(R, mobileNum), L"138"},
        {"EMAIL", "e@x", MEMBER(R, email), L"e@x"},
        {"CONTENT", "body", MEMBER(R, content), L"body"},
        {"ADDTIME", "t", MEMBER(R, addTime), L"t"},
    });
  }
  {
    using R = UserRegInfo;
    ExpectKeys<R>({
        {"UID", "u1", MEMBER(R, uid), L"u1"},
        {"USERID", "alice", MEMBER(R, userId), L"alice"},
        {"EMAIL", "e@x", MEMBER(R, email), L"e@x"},
        {"MOBILE", "138", MEMBER(R, mobile), L"138"},
        {"COMPNAME", "co", MEMBER(R, compName), L"co"},
        {"NAME", "Alice", MEMBER(R, name), L"Alice"},
        {"POSITION", "boss", MEMBER(R, position), L"boss"},
        {"TEL1", "1", MEMBER(R, tel1), L"1"},
        {"TEL2", "2", MEMBER(R, tel2), L"2"},
        {"TEL3", "3", MEMBER(R, tel3), L"3"},
        {"REMEMBER", "0", MEMBER(R, remember), L"0"},
        {"PASSWORD", "secret", MEMBER(R, password), L""},  // never read from a reply
    });
  }
  {
    using R = GeoTag;
    ExpectKeys<R>({
        {"AREAID", "11", MEMBER(R, areaId), L"11"},
        {"NAME", "n", MEMBER(R, name), L"n"},
    });
  }
  {
    using R = ErrorInfo;
    ExpectKeys<R>({
        {"ERRORCODE", "100020", MEMBER(R, errorCode), L"100020"},
        {"ERRORDESC", "wrong password", MEMBER(R, errorDesc), L"wrong password"},
        {"ERRORLEVE", "1", MEMBER(R, errorLevel), L"1"},
        {"ERRORTYPE", "2", MEMBER(R, errorType), L"2"},
    });
  }
}

TEST(EnterpriseRecords, CategoryIdTextIsKeptEvenWhenNotANumber) {
  EntCertCategory category;
  category.FromJson(R"({"CERT_CATEGORY_ID":"A12"})");
  EXPECT_EQ(category.categoryId, -1);
  EXPECT_EQ(category.categoryIdText, L"A12");
}

TEST(EnterpriseRecords, CertificatePictureIdIsZeroWhenNotANumber) {
  EntCertPic picture;
  picture.FromJson(R"({"RES_ID":"42","STATUS":"1"})");
  EXPECT_EQ(picture.resIdText, L"42");
  EXPECT_EQ(picture.resId, 42);
  EXPECT_EQ(picture.status, L"1");
  picture.FromJson(R"({"RES_ID":"pic-7"})");
  EXPECT_EQ(picture.resIdText, L"pic-7");
  EXPECT_EQ(picture.resId, 0);
}

TEST(EnterpriseRecords, NullIsAcceptedOnlyWhereTheRecordSaysSo) {
  for (const char* text : {"null", "not json"}) {
    EntCertsGroup group;
    group.FromJson(text);
    EXPECT_EQ(group.json, text);
    EXPECT_EQ(group.groupId, L"-1");
    EntCertPic picture;
    picture.FromJson(text);
    EXPECT_EQ(picture.json, text);
    EXPECT_EQ(picture.resIdText, L"0");
    AppUpdateFiles file;
    file.FromJson(text);
    EXPECT_EQ(file.json, text);
    EntCert cert;
    cert.FromJson(text);
    EXPECT_EQ(cert.json, "") << text;
  }
  EntCertsGroup group;
  group.FromJson("[1]");
  EXPECT_EQ(group.json, "");
}

TEST(EnterpriseRecords, CertificateFallsBackToIdAndFatherId) {
  EntCert fromBanner;
  fromBanner.FromJson(R"({"ID":"12","FATHER_ID":"3","NAME":"n"})");
  EXPECT_EQ(fromBanner.certId, 12);
  EXPECT_EQ(fromBanner.categoryId, 3);

  EntCert both;
  both.FromJson(R"({"CERT_ID":"5","ID":"12","CERT_CATEGORY_ID":"7","FATHER_ID":"3"})");
  EXPECT_EQ(both.certId, 5);
  EXPECT_EQ(both.categoryId, 7);
}

TEST(EnterpriseRecords, ResourceTypesAreJsonNumbersOneTwoThreeSix) {
  struct Case {
    const char* types;
    int r1, r2, r3, r6;
  };
  const Case cases[] = {
      {"[2,3]", 0, 2, 3, 0},         {"[1,6,4]", 1, 0, 0, 6},
      {"[\"1\",\"6\"]", 0, 0, 0, 0}, {"[5,true,null,1.0]", 0, 0, 0, 0},
      {"\"1,2\"", 0, 0, 0, 0},       {"[6,6,1,2,3]", 1, 2, 3, 6},
  };
  for (const Case& c : cases) {
    std::string text = std::string("{\"RES_TYPES\":") + c.types + "}";
    EntCase entCase;
    entCase.FromJson(text.c_str());
    EXPECT_EQ(entCase.resType1, c.r1) << c.types;
    EXPECT_EQ(entCase.resType2, c.r2) << c.types;
    EXPECT_EQ(entCase.resType3, c.r3) << c.types;
    EXPECT_EQ(entCase.resType6, c.r6) << c.types;
  }
}

TEST(EnterpriseRecords, AppUpdateFilesJoinUrlAndCheckTheName) {
  commontest::ScopedFakeCommon common;
  common->moduleDir = "/opt/qel/Data";

  AppUpdateFiles file;
  file.FromJson(R"({"url":"http://h/app/","filePath":"v2/pc.bin","fileName":"pc.bin"})");
  EXPECT_EQ(file.url, "http://h/app/v2/pc.bin");
  EXPECT_EQ(file.localPath, "/opt/qel/Data/AppUpdate/pc.bin");

  // No "filePath": the url stays from the text before.
  file.FromJson(R"({"url":"http://other/","fileName":"/lib/a.so"})");
  EXPECT_EQ(file.url, "http://h/app/v2/pc.bin");
  EXPECT_EQ(file.localPath, "/opt/qel/Data/AppUpdate/lib/a.so");
  // A "\" of the name is a separator: the path holds "/" only.
  file.FromJson(R"({"fileName":"\\img\\a.png"})");
  EXPECT_EQ(file.localPath, "/opt/qel/Data/AppUpdate/img/a.png");

  struct Case {
    std::string name;
    bool accepted;
  };
  const Case names[] = {
      {"\\img\\a.png", true}, {"sub/dir/" + qeltest::Gbk("誠") + ".txt", true},
      {"../pc", false},       {"a/../../etc/passwd", false},
      {"..\\..\\x", false},   {"./a", false},
      {"a//b", false},        {"C:\\Windows\\x.dll", false},
      {"a:b", false},         {"", false},
      {"/", false},           {std::string("a\0b", 3), false},
      {"lib/", false},        {"/img//a.png", false},
  };
  for (const Case& c : names) {
    Json::Value v(Json::objectValue);
    v["fileName"] = c.name;
    AppUpdateFiles entry;
    entry.FromJson(qel::WriteStyled(v).c_str());
    if (c.accepted) {
      EXPECT_NE(entry.localPath, "") << "name: " << c.name;
      EXPECT_EQ(entry.localPath.rfind("/opt/qel/Data/AppUpdate/", 0), 0u) << "name: " << c.name;
    } else {
      EXPECT_EQ(entry.localPath, "") << "name: " << c.name;
    }
  }
}

// A parsed element can hold bytes that are no GBK (the GBK reader drops them
// from reply texts); the application-update records refuse such a name as the
// update's lists do, instead of reading it as another file.
TEST(EnterpriseRecords, AppUpdateFilesRefuseNamesThatAreNoGbk) {
  const struct {
    std::string name;
    bool accepted;
  } names[] = {
      {qeltest::Gbk("/图/誠.png"), true},
      {"/img/\xFF\xFF.png", false},
      {"pc\x81", false},
      {"a\x81\x20.txt", false},
  };
  for (const auto& c : names) {
    Json::Value v(Json::objectValue);
    v["fileName"] = c.name;
    AppUpdateFiles entry;
    ASSERT_TRUE(ConvertElement(v, &entry)) << "name: " << c.name;
    EXPECT_EQ(entry.localPath.empty(), !c.accepted) << "name: " << c.name << " path: " << entry.localPath;
  }
}

TEST(EnterpriseRecords, ErrorReplyOfTheBridge) {
  std::string text = qel::WriteStyled([] {
    Json::Value v(Json::objectValue);
    v["ERRORCODE"] = "100013";
    v["ERRORDESC"] = qeltest::Gbk("用户不存在");
    v["ERRORLEVE"] = "2";
    return v;
  }());
  ErrorInfo error;
  error.FromJson(text.c_str());
  EXPECT_EQ(error.errorCode, 100013u);
  EXPECT_EQ(error.errorDesc, L"用户不存在");
  EXPECT_EQ(error.errorLevel, L"2");
  EXPECT_EQ(error.errorType, L"");
}
