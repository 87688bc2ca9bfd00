// Product detail (module 4) through the public entry points.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "bridgetest.h"
#include "business/qel_invoke_productdetail.h"
#include "qel/json.h"
#include "qelbridge.h"
#include "testsupport.h"

namespace {

using Strings = std::vector<std::string>;

constexpr int kIntroductions = 0x401;
constexpr int kIntroductionCount = 0x402;
constexpr int kCases = 0x409;
constexpr int kCaseResources = 0x40a;
constexpr int kPicGroups = 0x410;
constexpr int kPictures = 0x411;
constexpr int kVideos = 0x412;
constexpr int kReports = 0x414;
constexpr int kCerts = 0x416;
constexpr int kModels = 0x421;
constexpr int kParameters = 0x422;
constexpr int kParameterValues = 0x423;
constexpr int kModelPictures = 0x424;
constexpr int kModelCount = 0x425;
constexpr int kHead = 0x430;
constexpr int kCompanyCaseResources = 0x00a;

// Product A has models, parameters and every tab; product H is the head
// fixture: no introduction text in the current language, two models, one
// model picture, three pictures and nothing else.
const std::string kA = "10000000001";
const std::string kH = "20000000001";

using qeltest::CaptureLog;
using qeltest::ClearLog;
using qeltest::Column;
using qeltest::LoggedBridge;
using qeltest::LoggedDirect;
using qeltest::Parse;
using qeltest::Reply;

// Invoke_CPP hands on the module's own reply; an empty reply with a non-zero
// result becomes its placeholder array.
Reply Call(int code, const std::string& json) {
  std::string text;
  int result = Invoke_CPP(code, json, text);
  return {result, text};
}

std::string ProductRequest(const std::string& id, const std::string& extra = "") {
  return "{\"PARAM\":{\"PRODUCT\":{\"PRODUCT_ID\":\"" + id + "\"}" + extra + "}}";
}
std::string PictureRequest(const std::string& id, const std::string& group) {
  return ProductRequest(id, ",\"PICTURE_GROUP_ID\":\"" + group + "\"");
}
std::string CaseResourceRequest(const std::string& caseId, const std::string& type) {
  return "{\"PARAM\":{\"PRODUCT_CASE\":{\"CASE_ID\":\"" + caseId + "\"},\"PRODUCT_CASE_RES_TYPE\":\"" + type +
         "\"}}";
}

const char kPlaceholder[] = "[\n   {\n      \"ERRORDESC\" : \" \",\n      \"ERRORLEVEL\" : \" \"\n   }\n]\n";

class ProductDetailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    install_.Ex(
        // Models: 15 and 16 characters are listed, 15 counted; 14 is no model.
        "INSERT INTO PRODUCT (PRODUCT_ID, SORT, SSORT, PRICETYPE, PRICE, STATUS) VALUES"
        " ('10000000001', 1, 1, 0, '', 1), ('100000000010001', 1, 2, 1, '12.5', 1),"
        " ('100000000010002', 2, 1, 1, '13', 0), ('1000000000100031', 3, 1, 0, '', 1),"
        " ('10000000001001', 4, 1, 0, '', 1), ('100000000020001', 1, 1, 0, '', 1),"
        " ('20000000001', 1, 1, 0, '', 1), ('200000000010001', 1, 1, 0, '', 1),"
        " ('200000000010002', 1, 1, 0, '', 1);"
        "INSERT INTO PRODUCT_LANG (PRODUCT_ID, LANGID, INTRODUCE, NAME, \"DESC\") VALUES"
        " ('10000000001', 3, '<p>介绍</p>', '泵', 'pump'), ('100000000010001', 3, '', '泵 A型', 'a'),"
        " ('100000000010001', 1, '', 'Pump A', 'a'), ('100000000010002', 3, '', 'B', 'b'),"
        " ('1000000000100031', 3, '', 'C', 'c'), ('10000000001001', 3, '', 'D', 'd'),"
        " ('20000000001', 3, '', 'H', ''), ('20000000001', 1, 'English only', 'H', ''),"
        " ('200000000010001', 3, '', 'H1', ''), ('200000000010002', 3, '', 'H2', '');"

        "INSERT INTO PRODUCT_INTRODUCT (PRODINTRO_ID, PRODUCT_ID, PATH, SORT) VALUES"
        " ('i1', '10000000001', 'intro/1.html', 2), ('i2', '10000000001', 'intro/2.html', 1),"
        " ('i3', '10000000001', 'intro/3.html', 3);"
        "INSERT INTO PRODUCT_INTRODUCT_LANG (PRODINTRO_ID, LANGID, NAME, \"DESC\", TIPS) VALUES"
        " ('i1', 3, '结构', 'd1', 't1'), ('i2', 3, 'Use', 'd2', 't2'), ('i3', 1, 'English', '', '');"

        "INSERT INTO PRODUCT_PARAMETER (PARAM_ID, PRODUCT_ID, PARAMUNIT_ID, PARATYPE, VALTYPE, ISUSE, "
        "PRODNUM)"
        " VALUES ('p1', '10000000001', 'u1', 1, 1, 1, 2), ('p2', '10000000001', '', 1, 2, 1, 2),"
        " ('p3', '10000000001', 'u2', 1, 1, 0, 2);"
        "INSERT INTO PRODUCT_PARAMETER_LANG (PARAM_ID, LANGID, PARAMNAME, TIPS, ALIAS1, ALIAS2, OPPIC, "
        "SHOWFLAG)"
        " VALUES ('p1', 3, '电压', '', 'U', '', '', 1), ('p2', 3, 'Material', '', '', '', '', 1),"
        " ('p3', 3, 'Frequency', '', '', '', '', 0);"
        "INSERT INTO PARAM_UNIT_LANG (PARAMUNIT_ID, LANGID, NAME) VALUES ('u1', 3, 'V'), ('u2', 1, 'Hz');"
        "INSERT INTO PROD_PRODPARAMS (PRODUCT_ID, PARAM_ID, PARAMUNIT_ID, VALTYPE, VALUE, SORT) VALUES"
        " ('100000000010001', 'p1', 'u1', 1, '220', 1), ('100000000010001', 'p2', '', 2, '钢', 2),"
        " ('100000000010001', 'p3', 'u2', 1, '50', 3), ('100000000010002', 'p1', 'u1', 1, '110', 1),"
        " ('100000000010002', 'p1', 'u1', 1, '110', 1), ('200000000010001', 'p9', '', 1, 'x', 1);"

        "INSERT INTO PROD_MODELPICS (PRODUCT_ID, RES_ID, RES_TYPE) VALUES"
        " ('100000000010001', 'mp1', 1), ('100000000010002', 'mp1', 1), ('100000000010002', 'mv1', 2),"
        " ('200000000010001', 'hp1', 1);"

        "INSERT INTO PRODUCT_RESOURCE (PRODUCT_ID, RES_ID, RES_TYPE) VALUES"
        " ('10000000001', 'pic1', 1), ('10000000001', 'pic2', 1), ('10000000001', 'pic3', 1),"
        " ('10000000001', 'vid1', 2), ('20000000001', 'hpic1', 1), ('20000000001', 'hpic2', 1),"
        " ('20000000001', 'hpic3', 1);"
        "INSERT INTO PICTURE (RES_ID, PATH, STATUS, EXTS, THUMB1, THUMB2, IMG, GROUP_ID) VALUES"
        " ('mp1', 'm/1.jpg', 1, '', '', '', '', ''), ('pic1', 'p/1.jpg', 1, 'jpg', 't1', 't2', 'i', '7'),"
        " ('pic2', 'p/2.jpg', 1, '', '', '', '', '7'), ('pic3', 'p/3.jpg', 1, '', '', '', '', '8'),"
        " ('cp1', 'c/1.jpg', 1, '', '', '', '', ''), ('cp2', 'c/2.jpg', 1, '', '', '', '', ''),"
        " ('cert1', 'cert/1.jpg', 1, '', '', '', '', ''), ('cert2', 'cert/2.jpg', 1, '', '', '', '', ''),"
        " ('rp1', 'r/1.jpg', 1, '', '', '', 'ri1', ''), ('rp2', 'r/2.jpg', 1, '', '', '', '', ''),"
        " ('rp3', 'r/3.jpg', 1, '', '', '', '', '');"
        "INSERT INTO PICTURE_LANG (RES_ID, LANGID, NAME, \"DESC\", TIPS) SELECT RES_ID, 3, 'n-' || RES_ID, "
        "'', ''"
        " FROM PICTURE;"
        "INSERT INTO PICGROUP (GROUP_ID, SORT) VALUES ('7', 1), ('8', 2), ('9', 3);"
        "INSERT INTO PICGROUP_LANG (GROUP_ID, LANGID, NAME) VALUES ('7', 3, '外观'), ('8', 3, 'Inside'),"
        " ('9', 3, 'Unused'), ('7', 1, 'Outside');"
        "INSERT INTO VIDEO (RES_ID, PATH, STATUS, IMG, THUMB1, THUMB2) VALUES"
        " ('vid1', 'v/1.mp4', 1, 'v/1.jpg', '', ''), ('cv1', 'cv/1.mp4', 1, '', '', '');"
        "INSERT INTO VIDEO_LANG (RES_ID, LANGID, NAME, \"DESC\", TIPS) VALUES ('vid1', 3, 'Demo', '', ''),"
        " ('cv1', 3, 'Case film', '', '');"
        "INSERT INTO TEXT (RES_ID, STATUS, PATH) VALUES ('ct1', 1, 'text/1.txt');"
        "INSERT INTO TEXT_LANG (RES_ID, LANGID, TEXT, TIPS) VALUES ('ct1', 3, '文字', '');"

        "INSERT INTO PROD_CERTGROUP (PRODUCT_ID, CERTGROUP_ID) VALUES ('10000000001', 'g1'),"
        " ('10000000001', 'g2');"
        "INSERT INTO CERTGROUP_RESOURCE (CERTGROUP_ID, RES_ID) VALUES ('g1', 'cert1'), ('g2', 'cert2');"

        // r2 has no resource and stays out of the reply.
        "INSERT INTO PROD_REPORT (REPORT_ID, PRODUCT_ID, SORT) VALUES ('r1', '10000000001', 2),"
        " ('r2', '10000000001', 1), ('r3', '10000000001', 3);"
        "INSERT INTO PROD_REPORT_LANG (REPORT_ID, LANGID, NAME, \"DESC\") VALUES ('r1', 3, '检测', ''),"
        " ('r2', 3, 'Empty', ''), ('r3', 3, 'Third', '');"
        "INSERT INTO REPORT_RESOURCE (REPORT_ID, RES_ID, PRODUCT_ID) VALUES ('r1', 'rp1', '10000000001'),"
        " ('r1', 'rp2', '10000000001'), ('r3', 'rp3', '10000000001');"

        "INSERT INTO PROD_PRODCASE (PRODUCT_ID, CASE_ID) VALUES ('10000000001', '501'), ('10000000001', "
        "'502'),"
        " ('10000000001', '503');"
        "INSERT INTO PRODUCT_CASE (CASE_ID, SORT, LASTTIME) VALUES ('501', 1, 100), ('502', 2, 100),"
        " ('503', 3, 100);"
        "INSERT INTO PRODUCT_CASE_LANG (CASE_ID, LANGID, NAME, \"DESC\") VALUES ('501', 3, '案例', ''),"
        " ('502', 3, 'Two', ''), ('503', 3, 'Three', '');"
        // 501: types 1 and 6; 502: none; 503: one resource of each type.
        "INSERT INTO CASE_RESOURCE (CASE_ID, RES_ID, RES_TYPE) VALUES ('501', 'cp2', 1), ('501', 'ct1', 6),"
        " ('503', 'cp1', 1), ('503', 'cv1', 2), ('503', 'cx3', 3), ('503', 'cx4', 4), ('503', 'ct1', 6);");
    // 501 seen after its change, 502 seen at the same time, 503 never.
    install_.Main("INSERT INTO CASE_EXTEND (CASE_ID, LASTTIME) VALUES ('501', 150), ('502', 100);");
    BeforeStart();
    ASSERT_EQ(InitQelbridge(260, install_.StartupJson().c_str()), 0);
    ClearLog();
    SetLogCallback(&CaptureLog);
  }
  void TearDown() override { SetLogCallback(nullptr); }
  virtual void BeforeStart() {}

  qeltest::Installation install_{"detail"};
};

TEST_F(ProductDetailTest, MethodsOutsideTheTable) {
  for (int method : {0, 3, 8, 19, 38, 47, 49, 255}) {
    Reply reply = Call(0x400 | method, ProductRequest(kA));
    EXPECT_EQ(reply.result, 1) << "method: " << method;
    Json::Value error = Parse(reply.text);
    EXPECT_EQ(error.size(), 2u) << "method: " << method;
    EXPECT_TRUE(error["Error"].isInt()) << "method: " << method;
    EXPECT_EQ(error["Error"].asInt(), -1) << "method: " << method;
    EXPECT_EQ(qel::StringMember(error, "ErrorInfo"), "item not exists") << "method: " << method;
  }
  // Code 0 is written as an empty text.
  EXPECT_EQ(qel::dataspace::qel_Invoke_ProductDetail::MakeErrorJson(0, "GetDatasource failed"),
            "{\n   \"Error\" : \"\",\n   \"ErrorInfo\" : \"GetDatasource failed\"\n}\n");
}

TEST_F(ProductDetailTest, ParseFailuresOfEveryMethod) {
  struct Method {
    int code;
    int result;
    bool direct;
    const char* message;
  };
  const Method methods[] = {
      {kIntroductions, 1, false, "Can not get params from json in"},
      {kIntroductionCount, 1, false, "Can not get params from json in"},
      {kCases, 0, true, "Can not get PRODUCT_ID from json in "},
      {kCaseResources, 0, true, "Can not get CASE_ID from json in "},
      {kPicGroups, 0, true, "Can not get PRODUCT_ID from json in "},
      {kPictures, 0, true, "Can not get PRODUCT_ID from json in "},
      {kVideos, 0, true, "Can not get PRODUCT_ID from json in "},
      {kReports, 0, true, "Can not get PRODUCT_ID from json in "},
      {kCerts, 1, true, "Can not get PRODUCT_ID from json in"},
      {kModels, 1, true, "Can not get PRODUCT_ID from json in"},
      {kParameters, 1, true, "Can not get PRODUCT_ID from json in"},
      {kParameterValues, 1, true, "Can not get PRODUCT_ID from json in"},
      {kModelPictures, 1, true, "Can not get PRODUCT_ID from json in"},
      {kModelCount, 1, false, "Can not get params from json in"},
      {kHead, 1, false, "Can not get params from json in"},
  };
  // Each is a broken request for every method; for method 10 the id sits
  // under PRODUCT_CASE / CASE_ID instead.
  const auto requests = [](int code) -> Strings {
    const bool byCase = code == kCaseResources;
    const std::string table = byCase ? "PRODUCT_CASE" : "PRODUCT";
    const std::string key = byCase ? "CASE_ID" : "PRODUCT_ID";
    const auto with = [&](const std::string& value) {
      return "{\"PARAM\":{\"" + table + "\":{\"" + key + "\":" + value +
             "},\"PRODUCT_CASE_RES_TYPE\":\"1\"}}";
    };
    return {"",
            "not json",
            "[]",
            "{}",
            "{\"PARAM\":{}}",
            "{\"PARAM\":\"" + table + "\"}",
            "{\"PARAM\":{\"" + table + "\":{}}}",
            "{\"PARAM\":{\"" + table + "\":[\"" + kA + "\"]}}",
            with("[\"501\"]"),
            with("{\"ID\":\"501\"}"),
            with("null"),
            with("\"\""),
            with("\"1 OR 1=1\""),
            with("\"501'\""),
            with("\"-1\""),
            with("\" 501\"")};
  };
  for (const Method& m : methods) {
    for (const std::string& request : requests(m.code)) {
      ClearLog();
      Reply reply = Call(m.code, request);
      EXPECT_EQ(reply.result, m.result) << "code: " << m.code << " request: " << request;
      EXPECT_EQ(reply.text, m.result == 0 ? "" : kPlaceholder)
          << "code: " << m.code << " request: " << request;
      if (m.direct) {
        EXPECT_TRUE(LoggedDirect(m.message)) << "code: " << m.code << " request: " << request;
      } else {
        EXPECT_TRUE(LoggedBridge("qel::dataspace::qel_Invoke_ProductDetail::Invoke", m.message))
            << "code: " << m.code << " request: " << request;
      }
    }
  }
  // A group id other than "", "-1" or a decimal id is refused the same way.
  for (const char* group : {"1 OR 1=1", "7)", "-2", "x"}) {
    ClearLog();
    Reply reply = Call(kPictures, PictureRequest(kA, group));
    EXPECT_EQ(reply.result, 0) << "group: " << group;
    EXPECT_EQ(reply.text, "") << "group: " << group;
    EXPECT_TRUE(LoggedDirect("Can not get PRODUCT_ID from json in ")) << "group: " << group;
  }
}

TEST_F(ProductDetailTest, DetailHead) {
  struct Case {
    std::string product;
    Strings counts;
  } cases[] = {
      // Introduction, models (2 models + 3 model-picture rows), certificate
      // groups, videos, pictures, cases, report resources, then two 1s.
      {kA, {"1", "5", "2", "1", "3", "3", "3", "1", "1"}},
      // The introduction text exists only in another language.
      {kH, {"0", "3", "0", "0", "3", "0", "0", "1", "1"}},
      {"99999999999", {"0", "0", "0", "0", "0", "0", "0", "1", "1"}},
  };
  for (const Case& c : cases) {
    Reply reply = Call(kHead, ProductRequest(c.product));
    ASSERT_EQ(reply.result, 0) << "product: " << c.product;
    EXPECT_EQ(Column(reply.text, "TYPE"), (Strings{"0", "1", "2", "3", "4", "5", "6", "7", "8"}))
        << "product: " << c.product;
    EXPECT_EQ(Column(reply.text, "COUNT"), c.counts) << "product: " << c.product;
  }
}

TEST_F(ProductDetailTest, IntroductionsAndTheirCount) {
  Reply reply = Call(kIntroductions, ProductRequest(kA));
  ASSERT_EQ(reply.result, 0);
  // SORT ascending; i3 has no text in the current language.
  EXPECT_EQ(Column(reply.text, "PATH"), (Strings{"intro/2.html", "intro/1.html"}));
  EXPECT_EQ(Column(reply.text, "NAME"), (Strings{"Use", qeltest::Gbk("结构")}));

  reply = Call(kIntroductions,
               "{\"PARAM\":{\"PRODUCT\":{\"PRODUCT_ID\":\"" + kA + "\"}},\"LIMIT\":1,\"OFFSET\":1}");
  EXPECT_EQ(Column(reply.text, "PATH"), (Strings{"intro/1.html"}));

  reply = Call(kIntroductions, ProductRequest(kH));
  EXPECT_EQ(reply.result, 0);
  EXPECT_EQ(reply.text, "[]");

  reply = Call(kIntroductionCount, ProductRequest(kA));
  EXPECT_EQ(reply.result, 0);
  EXPECT_EQ(reply.text, "[\n   {\n      \"COUNT\" : \"3\"\n   }\n]\n");
}

TEST_F(ProductDetailTest, ModelsByIdLength) {
  struct Case {
    std::string id;
    int result;
    Strings models;
  } cases[] = {
      {"1000000000", 1, {}},       {kA, 0, {"100000000010001", "100000000010002", "1000000000100031"}},
      {"100000000010", 1, {}},     {"100000000010001", 1, {}},
      {"1000000000100031", 1, {}},
  };
  for (const Case& c : cases) {
    ClearLog();
    Reply reply = Call(kModels, ProductRequest(c.id));
    EXPECT_EQ(reply.result, c.result) << "id: " << c.id;
    if (c.result != 0) {
      EXPECT_TRUE(LoggedDirect("PRODUCT_ID length error")) << "id: " << c.id;
      continue;
    }
    Strings ids = Column(reply.text, "PRODUCT_ID");
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, c.models) << "id: " << c.id;
  }
  // Names of the current language only, one row per model.
  Json::Value rows = Parse(Call(kModels, ProductRequest(kA)).text);
  for (const Json::Value& row : rows) {
    if (qel::StringMember(row, "PRODUCT_ID") != "100000000010001") continue;
    EXPECT_EQ(qel::StringMember(row, "NAME"), qeltest::Gbk("泵 A型"));
    EXPECT_EQ(qel::StringMember(row, "PRICE"), "12.5");
    EXPECT_EQ(qel::StringMember(row, "SSORT"), "2");
  }
  // The count takes the 15-character ids only.
  Reply count = Call(kModelCount, ProductRequest(kA));
  EXPECT_EQ(count.result, 0);
  EXPECT_EQ(count.text, "[\n   {\n      \"COUNT\" : \"2\"\n   }\n]\n");
}

TEST_F(ProductDetailTest, ParametersCarryTheirUnitNames) {
  Reply reply = Call(kParameters, ProductRequest(kA));
  ASSERT_EQ(reply.result, 0);
  Json::Value rows = Parse(reply.text);
  ASSERT_EQ(rows.size(), 3u) << reply.text;
  for (const Json::Value& row : rows) {
    const std::string id = qel::StringMember(row, "PARAM_ID");
    // u1 is named in the current language, p2 has no unit, u2 is named in
    // another language only.
    EXPECT_EQ(qel::StringMember(row, "UNIT_NAME"), id == "p1" ? "V" : "") << "param: " << id;
    EXPECT_TRUE(row.isMember("PARAMNAME")) << "param: " << id;
  }
}

TEST_F(ProductDetailTest, ParameterValuesWithAndWithoutUnits) {
  Reply reply = Call(kParameterValues, ProductRequest(kA));
  ASSERT_EQ(reply.result, 0);
  Json::Value rows = Parse(reply.text);
  // One row per model and parameter: the repeated row of model 2 is one.
  ASSERT_EQ(rows.size(), 4u) << reply.text;
  struct Expect {
    std::string model;
    std::string param;
    std::string value;
  } expected[] = {
      {"100000000010001", "p1", "220(V)"},
      {"100000000010001", "p2", qeltest::Gbk("钢")},
      {"100000000010001", "p3", "50"},
      {"100000000010002", "p1", "110(V)"},
  };
  for (const Expect& e : expected) {
    bool found = false;
    for (const Json::Value& row : rows) {
      if (qel::StringMember(row, "PRODUCT_ID") != e.model || qel::StringMember(row, "PARAM_ID") != e.param)
        continue;
      found = true;
      EXPECT_EQ(qel::StringMember(row, "VALUE"), e.value) << e.model << "/" << e.param;
    }
    EXPECT_TRUE(found) << e.model << "/" << e.param;
  }
}

TEST_F(ProductDetailTest, ModelPictures) {
  Reply reply = Call(kModelPictures, ProductRequest(kA));
  ASSERT_EQ(reply.result, 0);
  // mp1 twice in the model rows, mv1 is a video.
  EXPECT_EQ(Column(reply.text, "RES_ID"), (Strings{"mp1"}));
  EXPECT_EQ(Column(reply.text, "PATH"), (Strings{"m/1.jpg"}));

  reply = Call(kModelPictures, ProductRequest("99999999999"));
  EXPECT_EQ(reply.result, 0);
  EXPECT_EQ(reply.text, "");
}

TEST_F(ProductDetailTest, PictureGroupsPicturesAndVideos) {
  Reply groups = Call(kPicGroups, ProductRequest(kA));
  ASSERT_EQ(groups.result, 0);
  Strings ids = Column(groups.text, "PICTURE_GROUP_ID");
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, (Strings{"7", "8"}));

  struct Case {
    std::string group;
    Strings pictures;
  } cases[] = {{"-1", {"pic1", "pic2", "pic3"}},
               {"", {"pic1", "pic2", "pic3"}},
               {"7", {"pic1", "pic2"}},
               {"8", {"pic3"}},
               {"9", {}}};
  for (const Case& c : cases) {
    Reply reply = Call(kPictures, PictureRequest(kA, c.group));
    ASSERT_EQ(reply.result, 0) << "group: " << c.group;
    Strings pictures = Column(reply.text, "RES_ID");
    std::sort(pictures.begin(), pictures.end());
    EXPECT_EQ(pictures, c.pictures) << "group: " << c.group;
  }
  // Without the key every group is listed.
  EXPECT_EQ(Column(Call(kPictures, ProductRequest(kA)).text, "RES_ID").size(), 3u);

  Reply videos = Call(kVideos, ProductRequest(kA));
  ASSERT_EQ(videos.result, 0);
  EXPECT_EQ(Column(videos.text, "RES_ID"), (Strings{"vid1"}));
  EXPECT_EQ(Column(videos.text, "IMG"), (Strings{"v/1.jpg"}));

  // A product without picture resources.
  for (int code : {kPicGroups, kPictures, kVideos}) {
    Reply none = Call(code, PictureRequest("99999999999", "-1"));
    EXPECT_EQ(none.result, 0) << "code: " << code;
    EXPECT_EQ(none.text, "[]") << "code: " << code;
  }
}

TEST_F(ProductDetailTest, CertificatesOfTheProductGroups) {
  Reply reply = Call(kCerts, ProductRequest(kA));
  ASSERT_EQ(reply.result, 0);
  Strings ids = Column(reply.text, "RES_ID");
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, (Strings{"cert1", "cert2"}));
  EXPECT_EQ(Column(reply.text, "STATUS"), (Strings{"1", "1"}));

  reply = Call(kCerts, ProductRequest(kH));
  EXPECT_EQ(reply.result, 0);
  EXPECT_EQ(reply.text, "[]");
}

TEST_F(ProductDetailTest, ReportsWithTheirPictures) {
  Reply reply = Call(kReports, ProductRequest(kA));
  ASSERT_EQ(reply.result, 0);
  // SORT order; r2 has no resource and is left out.
  EXPECT_EQ(Column(reply.text, "REPORT_ID"), (Strings{"r1", "r3"}));
  Json::Value rows = Parse(reply.text);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(qel::StringMember(rows[0], "NAME"), qeltest::Gbk("检测"));
  Strings first = Column(qel::WriteStyled(rows[0]["PICTURE"]), "RES_ID");
  std::sort(first.begin(), first.end());
  EXPECT_EQ(first, (Strings{"rp1", "rp2"}));
  EXPECT_EQ(Column(qel::WriteStyled(rows[1]["PICTURE"]), "RES_ID"), (Strings{"rp3"}));
  EXPECT_TRUE(LoggedDirect("Can get any resour id"));

  // A page holding only r2.
  reply = Call(kReports, "{\"PARAM\":{\"PRODUCT\":{\"PRODUCT_ID\":\"" + kA + "\"}},\"LIMIT\":1}");
  EXPECT_EQ(reply.result, 0);
  EXPECT_EQ(reply.text, "[]");
}

TEST_F(ProductDetailTest, CasesWithResourceTypesAndStatus) {
  Reply reply = Call(kCases, ProductRequest(kA));
  ASSERT_EQ(reply.result, 0);
  Json::Value rows = Parse(reply.text);
  ASSERT_EQ(Column(reply.text, "CASE_ID"), (Strings{"501", "502", "503"}));
  EXPECT_EQ(qel::StringMember(rows[0], "NAME"), qeltest::Gbk("案例"));

  Json::Value types501(Json::arrayValue);
  types501.append(1);
  types501.append(6);
  EXPECT_EQ(rows[0]["RES_TYPES"], types501);
  EXPECT_EQ(qel::StringMember(rows[0], "RES_TYPE"), "[1,6]");
  EXPECT_EQ(rows[1]["RES_TYPES"], Json::Value(Json::arrayValue));
  EXPECT_EQ(qel::StringMember(rows[1], "RES_TYPE"), "[]");
  EXPECT_EQ(rows[2]["RES_TYPES"].size(), 5u);
  EXPECT_EQ(qel::StringMember(rows[2], "RES_TYPE"), "[1,2,3,4,6]");

  // "2" only for the case seen after its last change.
  EXPECT_EQ(Column(reply.text, "STATUS"), (Strings{"2", "1", "1"}));
  install_.Ex("UPDATE PRODUCT_CASE SET LASTTIME = 200 WHERE CASE_ID = '501';");
  install_.Main("UPDATE CASE_EXTEND SET LASTTIME = 101 WHERE CASE_ID = '502';");
  EXPECT_EQ(Column(Call(kCases, ProductRequest(kA)).text, "STATUS"), (Strings{"1", "2", "1"}));
}

// Module 0's case-resource method answers with the same handler.
class CaseResourcesTest : public ProductDetailTest, public ::testing::WithParamInterface<int> {};

TEST_P(CaseResourcesTest, ByType) {
  const int code = GetParam();
  // Module 0 answers 0 whatever the handler returned; the reply then stays
  // empty where module 4 reports the failure.
  const bool company = code == kCompanyCaseResources;
  const Strings empty{"<empty>"};
  struct Case {
    std::string caseId;
    std::string type;
    int result;   // of module 4
    Strings ids;  // {"<empty>"}: the reply is the empty text
    bool typeError;
  } cases[] = {
      {"503", "1", 0, {"cp1"}, false}, {"503", "2", 0, {"cv1"}, false},
      {"503", "3", 1, empty, true},    {"503", "4", 1, empty, false},
      {"503", "6", 0, {"ct1"}, false}, {"501", "2", 0, empty, false},
      {"502", "1", 0, empty, false},   {"503", "1' OR '1'='1", 0, empty, false},
  };
  for (const Case& c : cases) {
    ClearLog();
    std::string text;
    int result = Invoke_CPP(code, CaseResourceRequest(c.caseId, c.type), text);
    EXPECT_EQ(result, company ? 0 : c.result)
        << "code: " << code << " case: " << c.caseId << " type: " << c.type;
    EXPECT_EQ(LoggedDirect("resource type error"), c.typeError) << "code: " << code << " type: " << c.type;
    if (result != 0) continue;
    if (c.ids == empty) {
      EXPECT_EQ(text, "") << "code: " << code << " case: " << c.caseId << " type: " << c.type;
    } else {
      EXPECT_EQ(Column(text, "RES_ID"), c.ids) << "code: " << code << " type: " << c.type;
    }
  }
  // A case id that is not decimal lists nothing through either module.
  for (const char* id : {"503 OR 1=1", "", "503'"}) {
    std::string text;
    int result = Invoke_CPP(code, CaseResourceRequest(id, "1"), text);
    EXPECT_EQ(result, 0) << "code: " << code << " case: " << id;
    EXPECT_EQ(text, "") << "code: " << code << " case: " << id;
  }

  // The columns of each kind.
  std::string text;
  ASSERT_EQ(Invoke_CPP(code, CaseResourceRequest("503", "6"), text), 0);
  Json::Value row = Parse(text)[0];
  EXPECT_EQ(qel::StringMember(row, "TEXT"), qeltest::Gbk("文字"));
  EXPECT_EQ(qel::StringMember(row, "PATH"), "text/1.txt");
  text.clear();
  ASSERT_EQ(Invoke_CPP(code, CaseResourceRequest("503", "2"), text), 0);
  EXPECT_EQ(qel::StringMember(Parse(text)[0], "PATH"), "cv/1.mp4");
  EXPECT_EQ(qel::StringMember(Parse(text)[0], "NAME"), "Case film");
}

INSTANTIATE_TEST_SUITE_P(Modules, CaseResourcesTest,
                         ::testing::Values(kCaseResources, kCompanyCaseResources));

// A table that each handler reads is missing; no handler may then answer 0
// with an empty reply.
class BrokenTablesTest : public ProductDetailTest {
 protected:
  void BeforeStart() override {
    install_.Ex(
        "DROP TABLE PRODUCT_INTRODUCT_LANG; DROP TABLE PRODUCT_PARAMETER_LANG; DROP TABLE PROD_PRODPARAMS;"
        " DROP TABLE PROD_MODELPICS; DROP TABLE PICGROUP_LANG; DROP TABLE PRODUCT_RESOURCE;"
        " DROP TABLE PROD_REPORT_LANG; DROP TABLE PROD_CERTGROUP; DROP TABLE PRODUCT_CASE_LANG;"
        " DROP TABLE CASE_RESOURCE; DROP TABLE PRODUCT_LANG;");
  }
};

TEST_F(BrokenTablesTest, FailingQueriesReturnOne) {
  struct Case {
    int code;
    std::string request;
    const char* message;
  } cases[] = {
      {kIntroductions, ProductRequest(kA), "Query error"},
      {kModels, ProductRequest(kA), "Query error"},
      {kParameters, ProductRequest(kA), "Query error"},
      {kParameterValues, ProductRequest(kA), "Query error"},
      {kModelPictures, ProductRequest(kA), "Query Error"},
      {kPicGroups, ProductRequest(kA), "Query Error"},
      {kPictures, PictureRequest(kA, "-1"), "Query Error"},
      {kVideos, ProductRequest(kA), "Query Error"},
      {kReports, ProductRequest(kA), "Query Error"},
      {kCases, ProductRequest(kA), "Query error"},
      {kCaseResources, CaseResourceRequest("503", "1"), "Query Error"},
  };
  for (const Case& c : cases) {
    ClearLog();
    Reply reply = Call(c.code, c.request);
    EXPECT_EQ(reply.result, 1) << "code: " << c.code;
    EXPECT_EQ(reply.text, kPlaceholder) << "code: " << c.code;
    EXPECT_TRUE(LoggedDirect(c.message)) << "code: " << c.code;
  }
  ClearLog();
  EXPECT_EQ(Call(kCerts, ProductRequest(kA)).result, 1);
  EXPECT_TRUE(LoggedBridge("qel::dataspace::qel_Invoke_ProductDetail::GetProdCerts", "Query error"));

  // A tab count that cannot be read is no count: the head fails rather
  // than showing the tab empty.
  ClearLog();
  Reply head = Call(kHead, ProductRequest(kA));
  EXPECT_EQ(head.result, 1);
  EXPECT_EQ(head.text, kPlaceholder);
  EXPECT_TRUE(LoggedBridge("qel::dataspace::qel_Invoke_ProductDetail::GetIntroduceCount", "Query error"));
  EXPECT_TRUE(LoggedBridge("qel::dataspace::qel_Invoke_ProductDetail::GetDtlHead", "Query error"));
}

TEST_F(ProductDetailTest, TheCApiReplacesAFailureByTheErrorReply) {
  char* out = nullptr;
  int result = Invoke(kModels, ProductRequest("100000000010").c_str(), &out);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(result, 1);
  Json::Value error = Parse(out);
  EXPECT_EQ(qel::StringMember(error, "ERRORCODE"), "1");
  DeleteJsonStr(&out);
}

}  // namespace
