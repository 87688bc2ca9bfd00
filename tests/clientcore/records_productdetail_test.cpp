// Product-detail records.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "qel/json.h"
#include "recordtest.h"
#include "records/qelrecords.h"
#include "records/recordconvert.h"
#include "testsupport.h"

using namespace qelclientcore;
using recordtest::ExpectKeys;
using recordtest::KeyCase;

TEST(ProductDetailRecords, HeadsIntroductionsPicturesAndVideos) {
  {
    using R = ProductDetailHead;
    ExpectKeys<R>({
        {"TYPE", "4", MEMBER(R, type), L"4"},
        {"COUNT", "12", MEMBER(R, count), L"12"},
    });
  }
  {
    using R = ProductUnstructuredIntr;
    ExpectKeys<R>({
        {"NAME", "n", MEMBER(R, name), L"n"},
        {"DESC", "d", MEMBER(R, desc), L"d"},
        {"PATH", "intro/1.html", MEMBER(R, path), L"./files/intro/1.html"},
    });
  }
  {
    using R = ProductPic;
    ExpectKeys<R>({
        {"RES_ID", "9007199254740993", MEMBER(R, resId), L"9007199254740993"},
        {"NAME", "n", MEMBER(R, name), L"n"},
        {"DESC", "d", MEMBER(R, desc), L"d"},
        {"PATH", "p.png", MEMBER(R, path), L"./files/p.png"},
    });
  }
  {
    using R = ProductVideo;
    ExpectKeys<R>({
        {"RES_ID", "3", MEMBER(R, resId), L"3"},
        {"NAME", "n", MEMBER(R, name), L"n"},
        {"DESC", "d", MEMBER(R, desc), L"d"},
        {"PATH", "http://cdn/v.mp4", MEMBER(R, path), L"http://cdn/v.mp4"},
        {"IMG", "v.png", MEMBER(R, img), L"./files/v.png"},
    });
  }
  {
    using R = ProductModelPic;
    ExpectKeys<R>({
        {"RES_ID", "3", MEMBER(R, resId), L"3"},
        {"NAME", "n", MEMBER(R, name), L"n"},
        {"DESC", "d", MEMBER(R, desc), L"d"},
        {"PATH", "m.png", MEMBER(R, path), L"./files/m.png"},
        {"STATUS", "2", MEMBER(R, status), L"2"},
    });
  }
}

TEST(ProductDetailRecords, CertificatesCasesModelsParametersAndReports) {
  {
    using R = ProductCert;
    ExpectKeys<R>({
        {"RES_ID", "3", MEMBER(R, resId), L"3"},
        {"NAME", "n", MEMBER(R, name), L"n"},
        {"DESC", "d", MEMBER(R, desc), L"d"},
        {"STATUS", "2", MEMBER(R, status), L"2"},
        {"ISSUEORG", "org", MEMBER(R, issueOrg), L"org"},
        {"PATH", "c.png", MEMBER(R, path), L"./files/c.png"},
        // Milliseconds stay digits: only a product's LASTTIME is formatted.
        {"EFFECTTIMEBEGIN", "1388534400000", MEMBER(R, effectTimeBegin), L"1388534400000"},
        {"EFFECTTIMEEND", "1420070400000", MEMBER(R, effectTimeEnd), L"1420070400000"},
        {"SORT", "1", MEMBER(R, sort), L"1"},
        {"TIPS", "t", MEMBER(R, tips), L"t"},
    });
  }
  {
    using R = ProductCase;
    ExpectKeys<R>({
        {"CASE_ID", "5", MEMBER(R, caseId), L"5"},
        {"NAME", "n", MEMBER(R, name), L"n"},
        {"DESC", "d", MEMBER(R, desc), L"d"},
        {"STATUS", "2", MEMBER(R, status), L"2"},
        {"SORT", "1", MEMBER(R, sort), L"1"},
    });
  }
  {
    using R = ProductCaseRes;
    ExpectKeys<R>({
        {"RES_ID", "3", MEMBER(R, resId), L"3"},
        {"NAME", "n", MEMBER(R, name), L"n"},
        {"TEXT", "t.html", MEMBER(R, text), L"./files/t.html"},
        {"IMG", "i.png", MEMBER(R, img), L"./files/i.png"},
        {"THUMB1", "1.png", MEMBER(R, thumb1), L"./files/1.png"},
        {"THUMB2", "2.png", MEMBER(R, thumb2), L"./files/2.png"},
        {"PATH", "p.mp4", MEMBER(R, path), L"./files/p.mp4"},
        {"STATUS", "1", MEMBER(R, status), L"1"},
        {"TIPS", "t", MEMBER(R, tips), L"t"},
    });
  }
  {
    using R = ProductModel;
    ExpectKeys<R>({
        {"PRODUCT_ID", "1234567890123", MEMBER(R, productId), L"1234567890123"},
        {"NAME", "n", MEMBER(R, name), L"n"},
        {"DESC", "d", MEMBER(R, desc), L"d"},
        {"STATUS", "2", MEMBER(R, status), L"2"},
        {"SORT", "3", MEMBER(R, sort), L"3"},
        {"SSORT", "4", MEMBER(R, sSort), L"4"},
    });
  }
  {
    using R = ProductParameter;
    ExpectKeys<R>({
        {"PARAM_ID", "21", MEMBER(R, paramId), L"21"},
        {"PARATYPE", "1", MEMBER(R, paraType), L"1"},
        {"VALTYPE", "2", MEMBER(R, valType), L"2"},
        {"PARAMNAME", "weight", MEMBER(R, paramName), L"weight"},
        {"UNIT_NAME", "kg", MEMBER(R, unitName), L"kg"},
        {"ISUSE", "1", MEMBER(R, isUse), L"1"},
    });
  }
  {
    using R = ProductParameterValue;
    ExpectKeys<R>({
        {"PARAMVALUE_ID", "8", MEMBER(R, paramValueId), L"8"},
        {"PRODUCT_ID", "1234567890123", MEMBER(R, productId), L"1234567890123"},
        {"PARAM_ID", "21", MEMBER(R, paramId), L"21"},
        {"VALUE", "12.5", MEMBER(R, value), L"12.5"},
    });
  }
  {
    using R = ProductReport;
    ExpectKeys<R>({
        {"REPORT_ID", "2", MEMBER(R, reportId), L"2"},
        {"NAME", "n", MEMBER(R, name), L"n"},
        {"DESC", "d", MEMBER(R, desc), L"d"},
        {"STATUS", "2", MEMBER(R, status), L"2"},
        {"SORT", "1", MEMBER(R, sort), L"1"},
    });
  }
}

TEST(ProductDetailRecords, ParameterValueDefaults) {
  ProductParameterValue value;
  EXPECT_EQ(value.productId, 1u);
  EXPECT_EQ(value.paramId, UINT64_MAX);
  EXPECT_EQ(value.paramValueId, 0);
}

TEST(ProductDetailRecords, CaseResourceTypes) {
  ProductCase withNumbers;
  withNumbers.FromJson(R"({"RES_TYPES":[1,6,4]})");
  EXPECT_EQ(withNumbers.resType1, 1);
  EXPECT_EQ(withNumbers.resType6, 6);
  EXPECT_EQ(withNumbers.resType2, 0);
  EXPECT_EQ(withNumbers.resType3, 0);

  ProductCase withStrings;
  withStrings.FromJson(R"({"RES_TYPES":["1","2","3","6"]})");
  EXPECT_EQ(withStrings.resType1 + withStrings.resType2 + withStrings.resType3 + withStrings.resType6, 0);
}

TEST(ProductDetailRecords, ReportPicturesAreObjectsOnly) {
  ProductReport report;
  report.FromJson(R"({"REPORT_ID":"3","PICTURE":[{"RES_ID":"11","PATH":"r/1.png"},5,"x",{"NAME":"b"}]})");
  ASSERT_EQ(report.pictures.size(), 2u);
  EXPECT_EQ(report.pictures[0].resId, 11u);
  EXPECT_EQ(report.pictures[0].path, L"./files/r/1.png");
  Json::Value first;
  ASSERT_TRUE(qel::ParseGbkJson(report.pictures[0].json, &first));
  EXPECT_EQ(first["RES_ID"].asString(), "11");
  EXPECT_EQ(report.pictures[1].name, L"b");

  // Missing or not an array: the pictures stay; an empty array clears them.
  report.FromJson(R"({"PICTURE":{"RES_ID":"1"}})");
  EXPECT_EQ(report.pictures.size(), 2u);
  report.FromJson(R"({"NAME":"x"})");
  EXPECT_EQ(report.pictures.size(), 2u);
  report.FromJson(R"({"PICTURE":[]})");
  EXPECT_TRUE(report.pictures.empty());
}

TEST(ProductDetailRecords, PictureGroupResetsWhatItReads) {
  Json::Value group;
  ASSERT_TRUE(qel::ParseGbkJson(R"({"PICTURE_GROUP_ID":"7","NAME":"front"})", &group));
  ProductPicCategory category;
  category.FromJson(group);
  EXPECT_EQ(category.groupId, 7);
  EXPECT_EQ(category.name, L"front");
  EXPECT_EQ(category.json, qel::WriteStyled(group));

  Json::Value nameless;
  ASSERT_TRUE(qel::ParseGbkJson(R"({"PICTURE_GROUP_ID":5})", &nameless));
  category.FromJson(nameless);
  EXPECT_EQ(category.groupId, 0);
  EXPECT_EQ(category.name, L"");

  // A value that is not an object is no picture group: nothing changes.
  ProductPicCategory untouched;
  untouched.FromJson(Json::Value(3));
  EXPECT_EQ(untouched.groupId, -1);
  EXPECT_EQ(untouched.json, "");
}

TEST(ProductDetailRecords, GbkTextOfAPictureGroupElement) {
  Json::Value reply;
  std::string gbkName = qeltest::Gbk("誠實") + "\\";
  ASSERT_TRUE(qel::ParseGbkJson(qel::WriteStyled([&] {
                                  Json::Value array(Json::arrayValue);
                                  Json::Value element(Json::objectValue);
                                  element["NAME"] = gbkName;
                                  array.append(element);
                                  return array;
                                }()),
                                &reply));
  std::vector<ProductPicCategory> groups;
  ASSERT_TRUE(ConvertList(reply, &groups));
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].name, L"誠實\\");
  // The stored text reads back to the same GBK name.
  Json::Value again;
  ASSERT_TRUE(qel::ParseGbkJson(groups[0].json, &again));
  EXPECT_EQ(again["NAME"].asString(), gbkName);
}
