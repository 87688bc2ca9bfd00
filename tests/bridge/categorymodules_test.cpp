// Module 0: banners, banner categories, company cases, certificate
// categories, certificate groups and group pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bridgetest.h"
#include "business/qel_invoke_categorymodules.h"
#include "qel/json.h"
#include "qelbridge.h"
#include "testsupport.h"

namespace {

using qel::dataspace::qel_Invoke_CategoryModules;
using qeltest::Call;
using qeltest::Column;
using qeltest::Parse;
using qeltest::Reply;

// For replies whose query has no order of its own.
std::vector<std::string> Sorted(std::vector<std::string> values) {
  std::sort(values.begin(), values.end());
  return values;
}

std::string Request(const std::string& table, const std::string& key, const std::string& value,
                    const std::string& paging = "") {
  Json::Value param(Json::objectValue);
  param[table][key] = value;
  Json::Value request(Json::objectValue);
  request["PARAM"] = param;
  std::string text = qel::WriteCompact(request);
  if (!paging.empty()) text.insert(text.size() - 1, "," + paging);
  return text;
}

std::string ErrorCode(const Reply& reply) { return qel::StringMember(Parse(reply.text), "ERRORCODE"); }

class CategoryModulesTest : public ::testing::Test {
 protected:
  void Start() { InitQelbridge(260, installation.StartupJson().c_str()); }
  qeltest::Installation installation;
};

TEST_F(CategoryModulesTest, BannersInSortOrderInTheLanguage) {
  installation.Ex(
      "INSERT INTO BANNER VALUES('b2',1,1,2),('b1',1,2,2),('b3',0,1,1),('b4',1,1,0);"
      "INSERT INTO BANNER_LANG VALUES('b1',3,'i1.png','首页'),('b2',3,'i2.png','Two'),"
      "('b3',3,'i3.png','Three'),('b4',1,'i4.png','Other language');");
  Start();
  for (const std::string request : {"", "{\"LIMIT\":1,\"OFFSET\":1}"}) {
    Reply reply = Call(0x000, request);
    ASSERT_EQ(reply.result, 0) << request;
    Json::Value rows = Parse(reply.text);
    EXPECT_EQ(Column(rows, "BANNER_ID"), (std::vector<std::string>{"b3", "b1", "b2"})) << request;
    EXPECT_EQ(rows[1]["NAME"].asString(), qeltest::Gbk("首页"));
    EXPECT_EQ(rows[1]["ICON"].asString(), "i1.png");
    EXPECT_EQ(rows[1]["TYPE"].asString(), "2");
    EXPECT_EQ(rows[1]["SORT"].asString(), "2");
  }
}

TEST_F(CategoryModulesTest, NoBannersGiveAnEmptyList) {
  Start();
  Reply reply = Call(0x000);
  EXPECT_EQ(reply.result, 0);
  EXPECT_EQ(reply.text, "[]");
}

TEST_F(CategoryModulesTest, BannerCategoriesOfOneBanner) {
  installation.Ex(
      "INSERT INTO BANNER_CATEGORY VALUES('c1','b1',1,2,0,10),('c2','b1',1,1,1,10),('c3','b2',1,0,0,10),"
      "('c4','b1',1,0,0,10);"
      "INSERT INTO BANNER_CATEGORY_LANG VALUES('c1',3,'一','d1','x1','t1'),('c2',3,'Two','d2','x2','t2'),"
      "('c3',3,'Three','d3','x3','t3'),('c4',1,'Other','d4','x4','t4');");
  Start();

  Reply reply = Call(0x001, Request("BANNER", "BANNER_ID", "b1"));
  ASSERT_EQ(reply.result, 0);
  Json::Value rows = Parse(reply.text);
  EXPECT_EQ(Column(rows, "BANNDERCATE_ID"), (std::vector<std::string>{"c2", "c1"}));
  EXPECT_EQ(rows[0]["STATUS"].asString(), "1");
  EXPECT_EQ(rows[1]["NAME"].asString(), qeltest::Gbk("一"));
  EXPECT_EQ(rows[1]["CONTENT"].asString(), "x1");
  EXPECT_EQ(rows[1]["TIPS"].asString(), "t1");
  EXPECT_EQ(rows[1]["DESC"].asString(), "d1");

  EXPECT_EQ(Column(Parse(Call(0x001, Request("BANNER", "BANNER_ID", "b1", "\"LIMIT\":1,\"OFFSET\":1")).text),
                   "BANNDERCATE_ID"),
            (std::vector<std::string>{"c1"}));

  // An id with SQL in it is one literal: it matches nothing.
  for (const std::string id : {"b1' OR '1'='1", "b1'--", "x' OR BANNER_ID LIKE '%"}) {
    Reply injected = Call(0x001, Request("BANNER", "BANNER_ID", id));
    EXPECT_EQ(injected.result, 0) << id;
    EXPECT_EQ(injected.text, "[]") << id;
  }
}

TEST_F(CategoryModulesTest, BannerCategoriesBadRequests) {
  Start();
  Reply empty = Call(0x001, Request("BANNER", "BANNER_ID", ""));
  EXPECT_EQ(empty.result, 0);
  EXPECT_EQ(empty.text, "");

  for (const std::string request : {"", "x", "[]", "{\"PARAM\":{}}", "{\"PARAM\":{\"BANNER\":{}}}",
                                    "{\"PARAM\":{\"BANNER\":\"b1\"}}", "{\"PARAM\":[1]}"}) {
    Reply reply = Call(0x001, request);
    EXPECT_EQ(reply.result, 1) << request;
    EXPECT_EQ(ErrorCode(reply), "1") << request;
  }
}

class CategoryCasesTest : public CategoryModulesTest {
 protected:
  void SetUp() override {
    installation.Ex(
        "INSERT INTO PRODUCT_CASE VALUES('k1',2,100),('k2',1,100),('k3',3,100),('k4',4,100),('k5',5,100),"
        "('k''6',6,100),('k7',7,NULL);"
        "INSERT INTO PRODUCT_CASE_LANG "
        "VALUES('k1',3,'案例一','d1'),('k2',3,'Two','d2'),('k3',3,'Three','d3'),"
        "('k4',1,'Other language','d4'),('k5',3,'Five','d5'),('k''6',3,'Six','d6'),('k7',3,'Seven','d7');"
        // k3 is no longer listed by the company, k5 has no COM_CASES row.
        "INSERT INTO COM_CASES VALUES('k1',1),('k2',1),('k3',0),('k4',1),('k''6',1),('k7',1);"
        "INSERT INTO CASE_RESOURCE VALUES('k1','r1',1),('k1','r2',1),('k1','r3',2),('k''6','r4',6),"
        "('k2','r5',NULL);");
  }
};

TEST_F(CategoryCasesTest, ListedCasesWithResourceTypesAndStatus) {
  // k1 seen after its change, k2 seen at the same time (still new), k'6
  // seen before (changed since), k7 without a time of its own.
  installation.Main("INSERT INTO CASE_EXTEND VALUES('k1',101),('k2',100),('k''6',99),('k7',5);");
  Start();

  Reply reply = Call(0x009);
  ASSERT_EQ(reply.result, 0);
  Json::Value rows = Parse(reply.text);
  EXPECT_EQ(Column(rows, "CASE_ID"), (std::vector<std::string>{"k2", "k1", "k'6", "k7"})) << reply.text;
  EXPECT_EQ(Column(rows, "STATUS"), (std::vector<std::string>{"2", "1", "2", "2"}));
  ASSERT_EQ(rows.size(), 4u);

  Json::Value types12(Json::arrayValue);
  types12.append(1);
  types12.append(2);
  EXPECT_EQ(rows[1]["RES_TYPES"], types12);
  EXPECT_TRUE(rows[1]["RES_TYPES"][0].isIntegral());
  EXPECT_EQ(rows[1]["NAME"].asString(), qeltest::Gbk("案例一"));
  EXPECT_EQ(rows[1]["DESC"].asString(), "d1");
  // A null type is left out; a quote in a stored id does not break the
  // case's own queries.
  EXPECT_EQ(rows[0]["RES_TYPES"], Json::Value(Json::arrayValue));
  ASSERT_TRUE(rows[2]["RES_TYPES"].isArray());
  EXPECT_EQ(rows[2]["RES_TYPES"].size(), 1u);
  EXPECT_EQ(rows[2]["RES_TYPES"][0].asInt(), 6);
  EXPECT_EQ(rows[3]["RES_TYPES"], Json::Value(Json::arrayValue));
}

TEST_F(CategoryCasesTest, PagingAndRequestShapes) {
  Start();
  EXPECT_EQ(Column(Parse(Call(0x009, "{\"LIMIT\":2,\"OFFSET\":1}").text), "CASE_ID"),
            (std::vector<std::string>{"k1", "k'6"}));
  // Only LIMIT and OFFSET are read; anything else lists every case.
  for (const std::string request : {"", "x", "{\"PARAM\":{\"PRODUCT_CASE\":{\"CASE_ID\":\"k1\"}}}",
                                    "{\"LIMIT\":0,\"OFFSET\":0}", "{\"LIMIT\":\"x\"}"}) {
    Reply reply = Call(0x009, request);
    EXPECT_EQ(reply.result, 0) << request;
    EXPECT_EQ(Parse(reply.text).size(), 4u) << request;
  }
}

// The product detail answers with the resources of the case and the type.
TEST_F(CategoryCasesTest, CaseResourcesGoToTheProductDetail) {
  installation.Ex(
      "INSERT INTO CASE_RESOURCE VALUES('501','r1',1),('501','r2',1),('501','r3',2);"
      "INSERT INTO PICTURE (RES_ID, PATH) VALUES('r1','p1.jpg'),('r2','p2.jpg'),('r3','p3.jpg');"
      "INSERT INTO PICTURE_LANG VALUES('r1',3,'n1','',''),('r2',3,'n2','',''),('r3',3,'n3','','');");
  Start();
  for (const std::string request : {"", "x", "{\"PARAM\":{}}", "{\"PARAM\":{\"PRODUCT_CASE\":{}}}",
                                    "{\"PARAM\":{\"PRODUCT_CASE_RES_TYPE\":\"1\"}}"}) {
    Reply reply = Call(0x00a, request);
    EXPECT_EQ(reply.result, 1) << request;
    EXPECT_EQ(ErrorCode(reply), "1") << request;
  }
  Reply reply =
      Call(0x00a, "{\"PARAM\":{\"PRODUCT_CASE\":{\"CASE_ID\":\"501\"},\"PRODUCT_CASE_RES_TYPE\":\"1\"}}");
  EXPECT_EQ(reply.result, 0);
  EXPECT_EQ(Sorted(Column(Parse(reply.text), "RES_ID")), (std::vector<std::string>{"r1", "r2"}))
      << reply.text;
}

TEST_F(CategoryModulesTest, BadRequestsAreLogged) {
  Start();
  SetLogCallback(qeltest::CaptureLog);
  const struct {
    int code;
    std::string request;
    std::string message;
  } cases[] = {
      {0x001, "{\"PARAM\":{}}", "Can`t get BANNER_ID from json in"},
      {0x001, Request("BANNER", "BANNER_ID", ""), "Can not get banner id"},
      {0x00a, "{\"PARAM\":{}}", "Can not get params from json in"},
      {0x011, "{\"PARAM\":{}}", "Can not find CERT_CATEGORY_ID in json in"},
      {0x014, "{\"PARAM\":{}}", "Can not get CERTGROUP_ID from json in"},
  };
  for (const auto& c : cases) {
    qeltest::ClearLog();
    Call(c.code, c.request);
    EXPECT_TRUE(qeltest::LoggedAtEnd(c.message)) << "code: " << c.code << " request: " << c.request;
  }
  SetLogCallback(nullptr);
}

TEST_F(CategoryModulesTest, UnknownMethodsAreRefused) {
  Start();
  for (int method : {2, 3, 4, 5, 6, 7, 8, 11, 12, 13, 14, 15, 21, 22, 255}) {
    Reply reply = Call(method, "{\"PARAM\":{}}");
    EXPECT_EQ(reply.result, 1) << "method: " << method;
    EXPECT_EQ(ErrorCode(reply), "1") << "method: " << method;
  }
  qel_Invoke_CategoryModules module;
  std::string untouched = "keep";
  for (int method : {-1, 2, 21, 256}) {
    EXPECT_EQ(module.Invoke(method, "", &untouched), 1) << "method: " << method;
  }
  EXPECT_EQ(untouched, "keep");
  EXPECT_EQ(module.Invoke(0, "", nullptr), 1);
}

TEST_F(CategoryModulesTest, MissingDatabaseGivesEmptyReplies) {
  std::remove(installation.dataDb().c_str());
  Start();
  for (int code : {0x000, 0x009, 0x010, 0x012}) {
    Reply reply = Call(code);
    EXPECT_EQ(reply.result, 0) << "code: " << code;
    EXPECT_EQ(reply.text, "") << "code: " << code;
  }
  Reply pictures = Call(0x014, Request("CERTGROUP", "CERTGROUP_ID", "g1"));
  EXPECT_EQ(pictures.result, 0);
  EXPECT_EQ(pictures.text, "");
}

// Categories A (sort 2) and B (sort 1); groups:
//   g1 A sort 1, changed at 100, never seen       -> new
//   g2 A sort 1, changed at 100, seen at 101      -> seen
//   g3 A+B sort 0, no time of its own, no mark    -> seen, never counted new
//   g4 B sort 2, changed at 100, seen at 100      -> new (equal times)
//   g5 in no category                             -> never listed or counted
//   g6 A sort 3, no text in the language          -> counted, not listed
class CategoryCertificatesTest : public CategoryModulesTest {
 protected:
  void SetUp() override {
    installation.Ex(
        "INSERT INTO CERT_CATEGORY VALUES('A',1,2),('B',0,1),('C',1,3);"
        "INSERT INTO CERT_CATEGORY_LANG VALUES('A',3,'认证','da','ta'),('B',3,'B','db','tb'),"
        "('C',1,'Other','dc','tc');"
        "INSERT INTO CERTGROUP VALUES('g1',1,100),('g2',1,100),('g3',0,NULL),('g4',2,100),('g5',0,100),"
        "('g6',3,100);"
        "INSERT INTO CERTGROUP_LANG VALUES('g1',3,'一号','org1','2020','p1','d1'),"
        "('g2',3,'G2','org2','2021','missing','d2'),('g3',3,'G3','org3','2022','p3','d3'),"
        "('g4',3,'G4','org4','2023','','d4'),('g5',3,'G5','org5','2024','p1','d5'),"
        "('g6',1,'G6','org6','2025','p1','d6');"
        "INSERT INTO CERTGROUP_CERTCATEGORY VALUES('g1','A'),('g2','A'),('g3','A'),('g3','B'),('g4','B'),"
        "('g6','A');"
        "INSERT INTO PICTURE (RES_ID, PATH, EXTS, THUMB1, THUMB2, IMG) VALUES"
        "('p1','cert/p1.jpg','.jpg','t1','t2','i1'),('p2','cert/p2.jpg','.jpg','','',''),"
        "('p3','cert/p3.jpg','.jpg','','',''),('p4','cert/p4.jpg','.jpg','','','');"
        "INSERT INTO PICTURE_LANG VALUES('p1',3,'图一','pd1','pt1'),('p2',3,'P2','',''),"
        "('p3',1,'P3','',''),('p4',3,'P4','','');"
        "INSERT INTO CERTGROUP_RESOURCE VALUES('g1','p1'),('g1','p2'),('g1','p3'),('g2','p4');");
    installation.Main("INSERT INTO CERTGROUP_EXTEND VALUES('g2',101),('g4',100);");
    Start();
  }
};

TEST_F(CategoryCertificatesTest, CategoriesWithGroupCounts) {
  Reply reply = Call(0x010);
  ASSERT_EQ(reply.result, 0);
  Json::Value rows = Parse(reply.text);
  EXPECT_EQ(Column(rows, "CERT_CATEGORY_ID"), (std::vector<std::string>{"B", "A"})) << reply.text;
  EXPECT_EQ(Column(rows, "CERTCOUNT"), (std::vector<std::string>{"2", "4"}));
  EXPECT_EQ(Column(rows, "NEWCERTCOUNT"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(rows[1]["NAME"].asString(), qeltest::Gbk("认证"));
  EXPECT_EQ(rows[1]["BEUSE"].asString(), "1");
  EXPECT_EQ(rows[1]["TIPS"].asString(), "ta");
  EXPECT_EQ(Column(Parse(Call(0x010, "{\"LIMIT\":1,\"OFFSET\":1}").text), "CERT_CATEGORY_ID"),
            (std::vector<std::string>{"A"}));
}

TEST_F(CategoryCertificatesTest, GroupsInOrderWithPictureAndStatus) {
  Reply all = Call(0x012);
  ASSERT_EQ(all.result, 0);
  Json::Value rows = Parse(all.text);
  EXPECT_EQ(Column(rows, "CERTGROUP_ID"), (std::vector<std::string>{"g3", "g2", "g1", "g4"})) << all.text;
  EXPECT_EQ(Column(rows, "STATUS"), (std::vector<std::string>{"1", "1", "2", "2"}));
  EXPECT_EQ(Column(rows, "TOPIMG"), (std::vector<std::string>{"cert/p3.jpg", "", "cert/p1.jpg", ""}));
  EXPECT_EQ(rows[2]["NAME"].asString(), qeltest::Gbk("一号"));
  EXPECT_EQ(rows[2]["ORGANIZATION"].asString(), "org1");
  EXPECT_EQ(rows[2]["ISSUETIME"].asString(), "2020");
  EXPECT_EQ(rows[2]["DESC"].asString(), "d1");

  Reply ofB = Call(0x011, Request("CERT_CATEGORY", "CERT_CATEGORY_ID", "B"));
  EXPECT_EQ(ofB.result, 0);
  EXPECT_EQ(Column(Parse(ofB.text), "CERTGROUP_ID"), (std::vector<std::string>{"g3", "g4"}));

  EXPECT_EQ(Column(Parse(Call(0x012, "{\"LIMIT\":2,\"OFFSET\":1}").text), "CERTGROUP_ID"),
            (std::vector<std::string>{"g2", "g1"}));
}

TEST_F(CategoryCertificatesTest, GroupsOfCategoryBadRequests) {
  const std::string all = Call(0x012).text;
  // Without a category id the request lists every category's groups.
  for (const std::string request : {"", "x", "{\"PARAM\":{}}", "{\"PARAM\":{\"CERT_CATEGORY\":{}}}"}) {
    Reply reply = Call(0x011, request);
    EXPECT_EQ(reply.result, 0) << request;
    EXPECT_EQ(reply.text, all) << request;
  }
  for (const std::string id : {"A' OR '1'='1", "A') OR (1=1", "C", "Z"}) {
    Reply reply = Call(0x011, Request("CERT_CATEGORY", "CERT_CATEGORY_ID", id));
    EXPECT_EQ(reply.result, 0) << id;
    EXPECT_EQ(reply.text, "[]") << id;
  }
}

TEST_F(CategoryCertificatesTest, GroupCountOnlyCountsGroupsInACategory) {
  Reply reply = Call(0x013, "ignored");
  ASSERT_EQ(reply.result, 0);
  EXPECT_EQ(reply.text, "[\n   {\n      \"COUNT\" : \"5\"\n   }\n]\n");
}

TEST_F(CategoryCertificatesTest, PicturesOfAGroup) {
  Reply reply = Call(0x014, Request("CERTGROUP", "CERTGROUP_ID", "g1"));
  ASSERT_EQ(reply.result, 0);
  Json::Value rows = Parse(reply.text);
  ASSERT_EQ(Sorted(Column(rows, "RES_ID")), (std::vector<std::string>{"p1", "p2"})) << reply.text;
  EXPECT_EQ(Column(rows, "STATUS"), (std::vector<std::string>{"1", "1"}));
  const Json::Value& first = rows[0]["RES_ID"].asString() == "p1" ? rows[0] : rows[1];
  EXPECT_EQ(first["PATH"].asString(), "cert/p1.jpg");
  EXPECT_EQ(first["EXTS"].asString(), ".jpg");
  EXPECT_EQ(first["THUMB1"].asString(), "t1");
  EXPECT_EQ(first["THUMB2"].asString(), "t2");
  EXPECT_EQ(first["IMG"].asString(), "i1");
  EXPECT_EQ(first["NAME"].asString(), qeltest::Gbk("图一"));
  EXPECT_EQ(first["DESC"].asString(), "pd1");
  EXPECT_EQ(first["TIPS"].asString(), "pt1");

  EXPECT_EQ(
      Column(Parse(Call(0x014, Request("CERTGROUP", "CERTGROUP_ID", "g1", "\"LIMIT\":1")).text), "RES_ID"),
      (std::vector<std::string>{"p1"}));
}

TEST_F(CategoryCertificatesTest, PicturesBadRequests) {
  for (const std::string id : {"", "g9", "g1') OR ('1'='1", "g1' OR '1'='1"}) {
    Reply reply = Call(0x014, Request("CERTGROUP", "CERTGROUP_ID", id));
    EXPECT_EQ(reply.result, 0) << id;
    EXPECT_EQ(reply.text, "[]") << id;
  }
  for (const std::string request : {"", "x", "{\"PARAM\":{}}", "{\"PARAM\":{\"CERTGROUP\":{}}}"}) {
    Reply reply = Call(0x014, request);
    EXPECT_EQ(reply.result, 1) << request;
    EXPECT_EQ(ErrorCode(reply), "1") << request;
  }
}

// The product detail's certificate tab passes the groups of a product.
TEST_F(CategoryCertificatesTest, PicturesOfSeveralGroups) {
  qel_Invoke_CategoryModules module;
  EXPECT_EQ(Sorted(Column(Parse(module.GetCertPicsByGroup({"g2", "g1"}, -1, -1)), "RES_ID")),
            (std::vector<std::string>{"p1", "p2", "p4"}));
  EXPECT_EQ(module.GetCertPicsByGroup({}, -1, -1), "[]");
  EXPECT_EQ(module.GetCertPicsByGroup({""}, -1, -1), "[]");
  EXPECT_EQ(Sorted(Column(Parse(module.GetCertPicsByGroup({"g1", "x') OR 1=1 --"}, 5, -1)), "RES_ID")),
            (std::vector<std::string>{"p1", "p2"}));
}

}  // namespace
