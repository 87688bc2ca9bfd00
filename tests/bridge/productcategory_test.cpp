// Module 6: the product-category tree with its counts, product lists by
// category, brand and id, the product count and the brands of a category.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridgetest.h"
#include "business/qel_invoke_productcategory.h"
#include "business/qelnewrule.h"
#include "database/qelquery.h"
#include "qel/json.h"
#include "qelbridge.h"
#include "testsupport.h"

namespace {

using qel::dataspace::qel_Invoke_ProductCategory;
using qeltest::Call;
using qeltest::Column;
using qeltest::Parse;
using qeltest::Reply;

using Ids = std::vector<std::string>;

std::string CategoryRequest(const std::string& id, const std::string& paging = "") {
  std::string text = "{\"PARAM\":{\"PRODUCT_CATEGORY\":{\"PRO_CATEGORY_ID\":\"" + id + "\"}}";
  if (!paging.empty()) text += "," + paging;
  return text + "}";
}

std::string ProductRequest(const std::string& id) {
  return "{\"PARAM\":{\"PRODUCT\":{\"PRODUCT_ID\":\"" + id + "\"}}}";
}

std::string BrandRequest(const std::string& brand, const std::string& paging = "") {
  std::string text = "{\"PARAM\":{\"BRAND\":{\"BRAND_ID\":\"" + brand + "\"}}";
  if (!paging.empty()) text += "," + paging;
  return text + "}";
}

// Two top categories (A 1001001, B 1002001) with children and a grandchild,
// an empty child A2 and an empty top category C; products of 11 characters
// and a model of 15 beside them, in several categories; seen marks, a
// favourite, display modes and brands in two languages.
//
//   A 1001001 (SORT 2)      A1 1001001001: P2, and A1a 1001001001001: P1, M1
//                           A2 1001001002: nothing
//   B 1002001 (SORT 1): P4  B1 1002001001: P1, P3
//   C 1003001 (SORT 3): nothing
const char kCatalogue[] =
    "INSERT INTO PRODUCT_CATEGORY VALUES"
    "('1001001',1,1,1,2),('1001001001',1,2,1,1),('1001001001001',0,3,1,1),('1001001002',1,2,1,2),"
    "('1002001',1,1,1,1),('1002001001',0,2,1,1),('1003001',1,1,1,3);"
    "INSERT INTO PRODUCT_CATEGORY_LANG VALUES"
    "('1001001',3,'电子产品','A desc','a1','a2','tip'),('1001001',1,'Electronics','','','',''),"
    "('1001001001',3,'A1','','','',''),('1001001001001',3,'A1a','','','',''),"
    "('1001001002',3,'A2','','','',''),('1002001',3,'B','','','',''),('1002001001',3,'B1','','','',''),"
    "('1003001',3,'C','','','','');"
    "INSERT INTO "
    "PRODUCT(PRODUCT_ID,PICFIRST,PRICE,PRICETYPE,DESCPTYPE,BRAND_ID,SORT,SSORT,TEMPLATESORT,LASTTIME)"
    " VALUES"
    "('10010010001','p1.png','12.50',1,0,'3',1,1,5,100),"
    "('10010010002','p2.png','8',1,0,'5',2,2,9,200),"
    "('10020010001','p3.png','',0,1,'',3,3,5,300),"
    "('10020010002','p4.png','1',0,0,'7',4,4,1,NULL),"
    "('100100100010001','m1.png','2',0,0,'5',1,1,99,100);"
    "INSERT INTO PRODUCT_LANG VALUES"
    "('10010010001',3,'数码相机','台','元','d1','i1'),('10010010001',1,'Camera','pc','yuan','',''),"
    "('10010010002',3,'P2','','','',''),('10020010001',3,'P3','','','',''),"
    "('10020010002',3,'P4','','','',''),('100100100010001',3,'M1','','','','');"
    "INSERT INTO PRODUCT_CLASS VALUES('10010010001','1001001001001'),('10010010001','1002001001'),"
    "('10010010002','1001001001'),('10020010001','1002001001'),('10020010002','1002001'),"
    "('100100100010001','1001001001001');"
    "INSERT INTO PROD_SHOW VALUES('10010010001',2),('10010010002',NULL);"
    "INSERT INTO BRAND VALUES('3'),('5'),('7');"
    "INSERT INTO BRAND_LANG VALUES('3',3,'品牌甲','甲的介绍'),('5',3,'Brand5','d5'),('5',1,'BrandFive',''),"
    "('7',1,'Seven','');";
// P2 seen (a later mark), P1 marked at its own time (still new), P4 has no
// time of its own (new).
const char kLocalState[] =
    "INSERT INTO PRODUCT_EXTEND VALUES('10010010002',201),('10010010001',100),('10020010002',5);"
    "INSERT INTO FAVORITES(PRODUCT_ID) VALUES('10020010001');";

class ProductCategoryTest : public ::testing::Test {
 protected:
  void SetUp() override { qeltest::ClearLog(); }
  void TearDown() override { SetLogCallback(nullptr); }
  void Start(bool withRows = true) {
    if (withRows) {
      installation.Ex(kCatalogue);
      installation.Main(kLocalState);
    }
    InitQelbridge(260, installation.StartupJson().c_str());
  }
  qeltest::Installation installation;
};

// A category row as the replies hold it.
Json::Value Category(const std::string& id, const std::string& canExtend, const std::string& level,
                     const std::string& sort, const std::string& name, const std::string& count,
                     const std::string& newCount, const std::string& sub) {
  Json::Value row(Json::objectValue);
  row["PRO_CATEGORY_ID"] = id;
  row["CANEXTEND"] = canExtend;
  row["LEVEL"] = level;
  row["BEUSE"] = "1";
  row["SORT"] = sort;
  row["NAME"] = qeltest::Gbk(name);
  row["DESC"] = "";
  row["ALIAS1"] = "";
  row["ALIAS2"] = "";
  row["TIPS"] = "";
  row["PRODUCTCOUNT"] = count;
  row["NEWPRODUCTCOUNT"] = newCount;
  row["HASSUBCATEGORY"] = sub;
  return row;
}

Json::Value CategoryA() {
  Json::Value row = Category("1001001", "1", "1", "2", "电子产品", "3", "2", "3");
  row["DESC"] = "A desc";
  row["ALIAS1"] = "a1";
  row["ALIAS2"] = "a2";
  row["TIPS"] = "tip";
  return row;
}
Json::Value CategoryA1() { return Category("1001001001", "1", "2", "1", "A1", "3", "2", "1"); }
Json::Value CategoryA1a() { return Category("1001001001001", "0", "3", "1", "A1a", "2", "2", "0"); }
Json::Value CategoryB() { return Category("1002001", "1", "1", "1", "B", "3", "3", "1"); }
Json::Value CategoryB1() { return Category("1002001001", "0", "2", "1", "B1", "2", "2", "0"); }

Json::Value Rows(std::vector<Json::Value> rows) {
  Json::Value array(Json::arrayValue);
  for (Json::Value& row : rows) array.append(row);
  return array;
}

TEST_F(ProductCategoryTest, CategoryMethodsGiveTheRowsWithTheirCounts) {
  Start();
  struct Case {
    int code;
    std::string request;
    Json::Value expected;
  } cases[] = {
      // Top level in SORT order; C has no product below it.
      {0x601, "", Rows({CategoryB(), CategoryA()})},
      // Children of A: the empty A2 is left out.
      {0x602, CategoryRequest("1001001"), Rows({CategoryA1()})},
      {0x602, CategoryRequest("1001001001"), Rows({CategoryA1a()})},
      {0x602, CategoryRequest("1002001"), Rows({CategoryB1()})},
      {0x602, CategoryRequest("1002001001"), Json::Value(Json::arrayValue)},
      // Parent.
      {0x603, CategoryRequest("1001001001001"), Rows({CategoryA1()})},
      {0x603, CategoryRequest("1001001001"), Rows({CategoryA()})},
      // The parent's level: its siblings below the grandparent, or the whole
      // top level for a second-level id.
      {0x605, CategoryRequest("1001001001001"), Rows({CategoryA1()})},
      {0x605, CategoryRequest("1001001001"), Rows({CategoryB(), CategoryA()})},
      {0x605, CategoryRequest("1002001001"), Rows({CategoryB(), CategoryA()})},
      // One category; a category without products below it is not listed.
      {0x608, CategoryRequest("1001001"), Rows({CategoryA()})},
      {0x608, CategoryRequest("1001001001001"), Rows({CategoryA1a()})},
      {0x608, CategoryRequest("1001001002"), Json::Value(Json::arrayValue)},
      {0x608, CategoryRequest("1003001"), Json::Value(Json::arrayValue)},
  };
  for (const Case& c : cases) {
    Reply reply = Call(c.code, c.request);
    EXPECT_EQ(reply.result, 0) << std::hex << c.code << " " << c.request;
    EXPECT_EQ(Parse(reply.text), c.expected) << std::hex << c.code << " " << c.request << "\n" << reply.text;
  }
}

TEST_F(ProductCategoryTest, CategoryReplyIsByteExactWithGbkNames) {
  Start();
  Reply reply = Call(0x608, CategoryRequest("1001001"));
  ASSERT_EQ(reply.result, 0);
  EXPECT_EQ(reply.text,
            "[\n   {\n      \"ALIAS1\" : \"a1\",\n      \"ALIAS2\" : \"a2\",\n      \"BEUSE\" : \"1\",\n"
            "      \"CANEXTEND\" : \"1\",\n      \"DESC\" : \"A desc\",\n      \"HASSUBCATEGORY\" : \"3\",\n"
            "      \"LEVEL\" : \"1\",\n      \"NAME\" : \"" +
                qeltest::Gbk("电子产品") +
                "\",\n      \"NEWPRODUCTCOUNT\" : \"2\",\n      \"PRODUCTCOUNT\" : \"3\",\n"
                "      \"PRO_CATEGORY_ID\" : \"1001001\",\n      \"SORT\" : \"2\",\n      \"TIPS\" : "
                "\"tip\"\n   }\n]\n");
  EXPECT_EQ(Call(0x608, CategoryRequest("1003001")).text, "[]");
}

TEST_F(ProductCategoryTest, CategoryPagingAppliesBeforeEmptyCategoriesAreDropped) {
  installation.Ex(
      "INSERT INTO PRODUCT_CATEGORY VALUES('1000001',1,1,1,0);"
      "INSERT INTO PRODUCT_CATEGORY_LANG(PRO_CATEGORY_ID,LANGID,NAME) VALUES('1000001',3,'Empty');");
  Start();
  // Rows by SORT: 1000001 (no product), B, A, C. A page of two takes the
  // first two rows and drops the empty one from them; LIMIT 0 means none.
  EXPECT_EQ(Column(Call(0x601, "{\"LIMIT\":2}").text, "PRO_CATEGORY_ID"), Ids({"1002001"}));
  EXPECT_EQ(Column(Call(0x601, "{\"LIMIT\":2,\"OFFSET\":1}").text, "PRO_CATEGORY_ID"),
            Ids({"1002001", "1001001"}));
  EXPECT_EQ(Column(Call(0x601, "{\"LIMIT\":0}").text, "PRO_CATEGORY_ID"), Ids({"1002001", "1001001"}));
  EXPECT_EQ(
      Column(Call(0x602, CategoryRequest("1001001", "\"LIMIT\":0,\"OFFSET\":0")).text, "PRO_CATEGORY_ID"),
      Ids({"1001001001"}));
}

TEST_F(ProductCategoryTest, IdLengthsPerMethod) {
  Start();
  SetLogCallback(qeltest::CaptureLog);
  struct Case {
    int code;
    std::string id;
    int result;
  } cases[] = {
      {0x602, "", 1},
      {0x602, "100100", 1},
      {0x602, "1001001", 0},
      {0x602, "100100100", 1},
      {0x602, "1001001001", 0},
      {0x602, "1001001001001", 0},
      {0x602, "1001001001001001", 0},
      {0x602, "1001001001001001001", 1},
      {0x603, "", 1},
      {0x603, "1001001", 1},
      {0x603, "1001001001", 0},
      {0x603, "10010010010", 1},
      {0x603, "1001001001001001001", 0},
      {0x603, "1001001001001001001001", 1},
      {0x605, "1001001", 1},
      {0x605, "1001001001", 0},
      {0x605, "1001001001001001001", 0},
      {0x605, "10010010010010", 1},
      {0x604, "", 0},
      {0x604, "100100100", 1},
      {0x604, "1001001", 0},
      {0x604, "1001001001001001001", 0},
      {0x604, "10010010010010010010", 1},
      {0x60a, "", 0},
      {0x60a, "100", 0},
  };
  for (const Case& c : cases) {
    Reply reply = Call(c.code, CategoryRequest(c.id));
    EXPECT_EQ(reply.result, c.result) << std::hex << c.code << " id " << c.id;
  }
  // The logs of method 2 and 4 name the id; method 2 with an empty id and
  // methods 3 and 5 log nothing of their own.
  EXPECT_TRUE(qeltest::Logged("error:\n100100" + CategoryRequest("100100") + "\nid is null\n"));
  EXPECT_TRUE(qeltest::Logged("Category ID length error :100100100"));
  EXPECT_FALSE(qeltest::Logged("error:\n{"));
}

TEST_F(ProductCategoryTest, RequestsOfAnyShapeNeverCrash) {
  Start();
  const std::vector<std::string> requests = {
      "",
      "not json",
      "[1,2]",
      "7",
      "{\"PARAM\":5}",
      "{\"PARAM\":{\"PRODUCT_CATEGORY\":[\"1001001\"]}}",
      "{\"PARAM\":{\"PRODUCT_CATEGORY\":{\"PRO_CATEGORY_ID\":{\"x\":1}}}}",
      "{\"PARAM\":{\"PRODUCT\":\"10010010001\",\"BRAND\":7}}",
      "{\"LIMIT\":\"abc\",\"OFFSET\":[1]}",
      "{\"LIMIT\":1.5,\"OFFSET\":true}",
      "{\"LIMIT\":99999999999,\"OFFSET\":-99999999999}",
  };
  for (int method = 0; method <= 255; ++method) {
    for (const std::string& request : requests) {
      Reply reply = Call(0x600 | method, request);
      if (method < 1 || method > 10) {
        EXPECT_EQ(reply.result, 1) << method << " " << request;
        continue;
      }
      // Whatever the method answers is JSON or empty.
      Json::Value value;
      EXPECT_TRUE(reply.text.empty() || qel::ParseJson(reply.text, &value)) << method << " " << request;
    }
  }
  // A request that is not JSON lists the top level; methods 2, 3, 5, 7 and
  // 8 need their id.
  EXPECT_EQ(Column(Call(0x601, "not json").text, "PRO_CATEGORY_ID"), Ids({"1002001", "1001001"}));
  for (int code : {0x602, 0x603, 0x605, 0x607, 0x608}) EXPECT_EQ(Call(code, "not json").result, 1) << code;
  // A LIMIT of the wrong kind counts as none.
  EXPECT_EQ(Column(Call(0x601, "{\"LIMIT\":\"abc\"}").text, "PRO_CATEGORY_ID"), Ids({"1002001", "1001001"}));
  EXPECT_EQ(Column(Call(0x606, "{\"LIMIT\":[2]}").text, "PRODUCT_ID").size(), 4u);
  // The limit of 0x606 is honoured as a decimal text too.
  EXPECT_EQ(Column(Call(0x606, "{\"LIMIT\":\"2\"}").text, "PRODUCT_ID").size(), 2u);
}

TEST_F(ProductCategoryTest, IdsWithSqlInThemFindNothing) {
  Start();
  struct Case {
    int code;
    std::string request;
    std::string reply;
  } cases[] = {
      {0x602, CategoryRequest("1001001'--"), "[]"},
      {0x602, CategoryRequest("1' OR 1=1-"), "[]"},
      {0x603, CategoryRequest("1001001' OR--"), "[]"},
      {0x605, CategoryRequest("10' OR 1=1"), "[]"},
      {0x604, CategoryRequest("1' OR '"), "[]"},
      {0x604, CategoryRequest("100100%"), "[]"},
      {0x607, ProductRequest("1 OR 1=1"), "[]"},
      {0x607, ProductRequest("10010010001' OR '1'='1"), "[]"},
      {0x607, ProductRequest(""), "[]"},
      {0x608, CategoryRequest("1 OR 1=1"), "[]"},
      {0x608, CategoryRequest("'"), "[]"},
      {0x60a, CategoryRequest("1' OR 1=1 --"), "[]"},
      {0x60a, CategoryRequest("%"), "[]"},
      {0x60a, CategoryRequest("1_0"), "[]"},
      // A brand text that is not one id selects nothing.
      {0x606, BrandRequest("3 OR 1=1"), ""},
      {0x606, BrandRequest("3'"), ""},
      {0x604,
       "{\"PARAM\":{\"PRODUCT_CATEGORY\":{\"PRO_CATEGORY_ID\":\"1002001\"},\"BRAND\":{\"BRAND_ID\":\"1) OR "
       "(1\"}}}",
       ""},
  };
  for (const Case& c : cases) {
    Reply reply = Call(c.code, c.request);
    EXPECT_EQ(reply.result, 0) << std::hex << c.code << " " << c.request;
    EXPECT_EQ(reply.text, c.reply) << std::hex << c.code << " " << c.request;
  }
  // The count reads nothing for a brand text with SQL in it.
  EXPECT_EQ(Parse(Call(0x609, BrandRequest("3) OR (1=1")).text), Parse("[{\"COUNT\":\"0\"}]"));
}

// A product row as the replies hold it.
Json::Value Product(const std::string& id) {
  Json::Value row(Json::objectValue);
  for (const char* name : {"PICFIRST", "PRICE", "PRICETYPE", "DESCPTYPE", "BRAND_ID", "SORT", "SSORT",
                           "TEMPLATESORT", "LASTTIME", "NAME", "UNIT", "PRICEUNIT", "DESC", "INTRODUCE"}) {
    row[name] = "";
  }
  row["PRODUCT_ID"] = id;
  if (id == "10010010001") {
    row["PICFIRST"] = "p1.png";
    row["PRICE"] = "12.50";
    row["PRICETYPE"] = "1";
    row["DESCPTYPE"] = "0";
    row["BRAND_ID"] = "3";
    row["SORT"] = row["SSORT"] = "1";
    row["TEMPLATESORT"] = "5";
    row["LASTTIME"] = "100";
    row["NAME"] = qeltest::Gbk("数码相机");
    row["UNIT"] = qeltest::Gbk("台");
    row["PRICEUNIT"] = qeltest::Gbk("元");
    row["DESC"] = "d1";
    row["INTRODUCE"] = "i1";
    row["STATUS"] = "2";  // marked at its own time: still new
    row["FAVORITE"] = "0";
    row["SHOWWAY"] = "2";
    row["BRANDNAME"] = qeltest::Gbk("品牌甲");
  } else if (id == "10010010002") {
    row["PICFIRST"] = "p2.png";
    row["PRICE"] = "8";
    row["PRICETYPE"] = "1";
    row["DESCPTYPE"] = "0";
    row["BRAND_ID"] = "5";
    row["SORT"] = row["SSORT"] = "2";
    row["TEMPLATESORT"] = "9";
    row["LASTTIME"] = "200";
    row["NAME"] = "P2";
    row["STATUS"] = "1";  // a later mark: seen
    row["FAVORITE"] = "0";
    row["SHOWWAY"] = "0";  // a PROD_SHOW row without a mode
    row["BRANDNAME"] = "Brand5";
  } else if (id == "10020010001") {
    row["PICFIRST"] = "p3.png";
    row["PRICETYPE"] = "0";
    row["DESCPTYPE"] = "1";
    row["SORT"] = row["SSORT"] = "3";
    row["TEMPLATESORT"] = "5";
    row["LASTTIME"] = "300";
    row["NAME"] = "P3";
    row["STATUS"] = "2";
    row["FAVORITE"] = "1";
    row["SHOWWAY"] = "0";   // no PROD_SHOW row
    row["BRANDNAME"] = "";  // no brand
  } else {
    row["PICFIRST"] = "p4.png";
    row["PRICE"] = "1";
    row["PRICETYPE"] = "0";
    row["DESCPTYPE"] = "0";
    row["BRAND_ID"] = "7";
    row["SORT"] = row["SSORT"] = "4";
    row["TEMPLATESORT"] = "1";
    row["NAME"] = "P4";
    row["STATUS"] = "2";  // no time of its own
    row["FAVORITE"] = "0";
    row["SHOWWAY"] = "0";
    row["BRANDNAME"] = "";  // the brand has no text in the language
  }
  return row;
}

const char kP1[] = "10010010001";
const char kP2[] = "10010010002";
const char kP3[] = "10020010001";
const char kP4[] = "10020010002";

TEST_F(ProductCategoryTest, ProductMethodsGiveTheRowsWithTheirAddedMembers) {
  Start();
  struct Case {
    int code;
    std::string request;
    Json::Value expected;
  } cases[] = {
      // Below A: P2 and P1 (the model M1 is not a product of the list).
      {0x604, CategoryRequest("1001001"), Rows({Product(kP2), Product(kP1)})},
      // Below B: P1 and P3 tie on TEMPLATESORT and go by id.
      {0x604, CategoryRequest("1002001"), Rows({Product(kP1), Product(kP3), Product(kP4)})},
      {0x604, CategoryRequest("1001001002"), Json::Value(Json::arrayValue)},
      {0x604, CategoryRequest(""), Rows({Product(kP2), Product(kP1), Product(kP3), Product(kP4)})},
      {0x604,
       "{\"PARAM\":{\"PRODUCT_CATEGORY\":{\"PRO_CATEGORY_ID\":\"1002001\"},\"BRAND\":{\"BRAND_ID\":\"3\"}}}",
       Rows({Product(kP1)})},
      {0x604, CategoryRequest("1002001", "\"LIMIT\":1,\"OFFSET\":1"), Rows({Product(kP3)})},
      {0x606, "", Rows({Product(kP2), Product(kP1), Product(kP3), Product(kP4)})},
      {0x606, BrandRequest("5"), Rows({Product(kP2)})},
      {0x606, BrandRequest("", "\"LIMIT\":2,\"OFFSET\":2"), Rows({Product(kP3), Product(kP4)})},
      {0x607, ProductRequest(kP3), Rows({Product(kP3)})},
      {0x607, ProductRequest(kP4), Rows({Product(kP4)})},
      // A model id is not a product.
      {0x607, ProductRequest("100100100010001"), Json::Value(Json::arrayValue)},
  };
  for (const Case& c : cases) {
    Reply reply = Call(c.code, c.request);
    EXPECT_EQ(reply.result, 0) << std::hex << c.code << " " << c.request;
    EXPECT_EQ(Parse(reply.text), c.expected) << std::hex << c.code << " " << c.request << "\n" << reply.text;
  }
  EXPECT_EQ(Call(0x604, "").text, Call(0x606, "").text);
  EXPECT_EQ(Call(0x607, "{\"PARAM\":{}}").result, 1);
}

TEST_F(ProductCategoryTest, ProductReplyIsByteExactWithGbkTexts) {
  Start();
  Reply reply = Call(0x607, ProductRequest(kP1));
  ASSERT_EQ(reply.result, 0);
  EXPECT_EQ(reply.text,
            "[\n   {\n      \"BRANDNAME\" : \"" + qeltest::Gbk("品牌甲") +
                "\",\n      \"BRAND_ID\" : \"3\",\n      \"DESC\" : \"d1\",\n"
                "      \"DESCPTYPE\" : \"0\",\n      \"FAVORITE\" : \"0\",\n      \"INTRODUCE\" : \"i1\",\n"
                "      \"LASTTIME\" : \"100\",\n      \"NAME\" : \"" +
                qeltest::Gbk("数码相机") +
                "\",\n      \"PICFIRST\" : \"p1.png\",\n      \"PRICE\" : \"12.50\",\n"
                "      \"PRICETYPE\" : \"1\",\n      \"PRICEUNIT\" : \"" +
                qeltest::Gbk("元") +
                "\",\n      \"PRODUCT_ID\" : \"10010010001\",\n      \"SHOWWAY\" : \"2\",\n"
                "      \"SORT\" : \"1\",\n      \"SSORT\" : \"1\",\n      \"STATUS\" : \"2\",\n"
                "      \"TEMPLATESORT\" : \"5\",\n      \"UNIT\" : \"" +
                qeltest::Gbk("台") + "\"\n   }\n]\n");
}

TEST_F(ProductCategoryTest, MissingDisplayModeIsLogged) {
  Start();
  SetLogCallback(qeltest::CaptureLog);
  Call(0x607, ProductRequest(kP1));
  EXPECT_FALSE(qeltest::Logged("get show way error"));
  Call(0x607, ProductRequest(kP3));
  EXPECT_TRUE(qeltest::Logged("get show way error"));
  EXPECT_TRUE(qeltest::Logged("show:"));
}

TEST_F(ProductCategoryTest, FavoriteOfAnyUserAndLeadingZeroIds) {
  installation.Ex(
      "INSERT INTO PRODUCT(PRODUCT_ID,BRAND_ID,TEMPLATESORT,LASTTIME) VALUES('00000000001','03',0,1);"
      "INSERT INTO PRODUCT_LANG(PRODUCT_ID,LANGID,NAME) VALUES('00000000001',3,'Zero');"
      "INSERT INTO PROD_SHOW VALUES('00000000001',4);"
      "INSERT INTO BRAND VALUES('03');INSERT INTO BRAND_LANG VALUES('03',3,'Zero brand','');");
  installation.Main(
      "INSERT INTO FAVORITES(PRODUCT_ID,ADDTIME) VALUES('00000000001','x'),('00000000001','y');");
  Start();
  Json::Value rows = Parse(Call(0x607, ProductRequest("00000000001")).text);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(qel::StringMember(rows[0], "FAVORITE"), "1");
  EXPECT_EQ(qel::StringMember(rows[0], "SHOWWAY"), "4");
  EXPECT_EQ(qel::StringMember(rows[0], "BRANDNAME"), "Zero brand");
  EXPECT_EQ(Column(Call(0x606, BrandRequest("03")).text, "PRODUCT_ID"), Ids({"00000000001"}));
}

TEST_F(ProductCategoryTest, ProductCount) {
  Start();
  struct Case {
    std::string request;
    std::string count;
  } cases[] = {
      {"", "4"},  // every 11-character product, without language or category
      {BrandRequest("3"), "1"},
      {BrandRequest("3,5"), "2"},
      {BrandRequest(" 3 , 7"), "2"},
      {BrandRequest("9"), "0"},
      {BrandRequest("3,,5"), "0"},
      {BrandRequest("3;DROP TABLE PRODUCT"), "0"},
  };
  for (const Case& c : cases) {
    Reply reply = Call(0x609, c.request);
    EXPECT_EQ(reply.result, 0) << c.request;
    EXPECT_EQ(reply.text, "[\n   {\n      \"COUNT\" : \"" + c.count + "\"\n   }\n]\n") << c.request;
  }
}

TEST_F(ProductCategoryTest, BrandsOfACategory) {
  installation.Ex("INSERT INTO BRAND VALUES('9');INSERT INTO BRAND_LANG VALUES('9',3,'No product','');");
  Start();
  Json::Value brand3(Json::objectValue);
  brand3["BRAND_ID"] = "3";
  brand3["BRANDNAME"] = qeltest::Gbk("品牌甲");
  brand3["BRANDDESC"] = qeltest::Gbk("甲的介绍");
  Json::Value brand5(Json::objectValue);
  brand5["BRAND_ID"] = "5";
  brand5["BRANDNAME"] = "Brand5";
  brand5["BRANDDESC"] = "d5";
  struct Case {
    std::string request;
    Json::Value expected;
  } cases[] = {
      {"", Rows({brand3, brand5})},
      {"{\"PARAM\":{}}", Rows({brand3, brand5})},
      {CategoryRequest("1002001"), Rows({brand3})},
      {CategoryRequest("1001001001"), Rows({brand3, brand5})},
      {CategoryRequest("1001001002"), Json::Value(Json::arrayValue)},
  };
  for (const Case& c : cases) {
    Reply reply = Call(0x60a, c.request);
    EXPECT_EQ(reply.result, 0) << c.request;
    Json::Value rows = Parse(reply.text);
    // The brand list has no order of its own.
    Json::Value sorted(Json::arrayValue);
    for (const char* id : {"3", "5"}) {
      for (const Json::Value& row : rows) {
        if (qel::StringMember(row, "BRAND_ID") == id) sorted.append(row);
      }
    }
    EXPECT_EQ(sorted, c.expected) << c.request << "\n" << reply.text;
    EXPECT_EQ(rows.size(), sorted.size()) << c.request;
  }
}

TEST_F(ProductCategoryTest, SubCategoriesCountOnEveryLevelAlsoWithoutProducts) {
  // D holds a product itself; its child and grandchild hold none. An id
  // that is not decimal is counted by the same rule.
  installation.Ex(
      "INSERT INTO PRODUCT_CATEGORY "
      "VALUES('4000001',1,1,1,0),('4000001001',1,2,1,0),('4000001001001',1,3,1,0),"
      "('400A001',1,1,1,1),('400A001001',1,2,1,0);"
      "INSERT INTO PRODUCT_CATEGORY_LANG(PRO_CATEGORY_ID,LANGID,NAME) "
      "VALUES('4000001',3,'D'),('4000001001',3,'D1'),"
      "('4000001001001',3,'D1a'),('400A001',3,'X'),('400A001001',3,'X1');"
      "INSERT INTO PRODUCT(PRODUCT_ID,TEMPLATESORT,LASTTIME) VALUES('40000000001',0,1);"
      "INSERT INTO PRODUCT_CLASS VALUES('40000000001','4000001'),('40000000001','400A001001');");
  Start(false);
  Json::Value rows = Parse(Call(0x601).text);
  ASSERT_EQ(rows.size(), 2u) << Call(0x601).text;
  EXPECT_EQ(qel::StringMember(rows[0], "PRO_CATEGORY_ID"), "4000001");
  EXPECT_EQ(qel::StringMember(rows[0], "HASSUBCATEGORY"), "2");
  EXPECT_EQ(qel::StringMember(rows[0], "PRODUCTCOUNT"), "1");
  EXPECT_EQ(qel::StringMember(rows[1], "PRO_CATEGORY_ID"), "400A001");
  EXPECT_EQ(qel::StringMember(rows[1], "PRODUCTCOUNT"), "1");
  EXPECT_EQ(qel::StringMember(rows[1], "NEWPRODUCTCOUNT"), "1");
  EXPECT_EQ(qel::StringMember(rows[1], "HASSUBCATEGORY"), "1");
  EXPECT_EQ(Call(0x602, CategoryRequest("4000001")).text, "[]");
}

// The "new" rule: only a seen mark strictly later than the item's own time
// makes it seen; times compare as numbers.
TEST_F(ProductCategoryTest, NewRuleTable) {
  struct Case {
    const char* name;
    const char* productTime;  // SQL literal
    const char* markTime;     // SQL literal, or null for no PRODUCT_EXTEND row
    bool isNew;
  } cases[] = {
      {"no extend row", "100", nullptr, true},
      {"equal time", "100", "100", true},
      {"later mark", "100", "101", false},
      {"earlier mark", "100", "99", true},
      {"null product time", "NULL", "5", true},
      {"null mark time", "100", "NULL", true},
      {"999 mark against 1000", "1000", "999", true},
      {"1000 mark against 999", "999", "1000", false},
  };
  std::string ex;
  std::string local;
  int index = 0;
  for (const Case& c : cases) {
    // One product per case, each alone in its own top category.
    std::string id = "2000000000" + std::to_string(index);
    std::string category = "20000" + std::to_string(10 + index);
    ex +=
        "INSERT INTO PRODUCT(PRODUCT_ID,TEMPLATESORT,LASTTIME) VALUES('" + id + "',0," + c.productTime + ");";
    ex += "INSERT INTO PRODUCT_LANG(PRODUCT_ID,LANGID,NAME) VALUES('" + id + "',3,'n');";
    ex += "INSERT INTO PRODUCT_CATEGORY VALUES('" + category + "',1,1,1,0);";
    ex += "INSERT INTO PRODUCT_CATEGORY_LANG(PRO_CATEGORY_ID,LANGID,NAME) VALUES('" + category + "',3,'c');";
    ex += "INSERT INTO PRODUCT_CLASS VALUES('" + id + "','" + category + "');";
    if (c.markTime != nullptr) {
      local += "INSERT INTO PRODUCT_EXTEND VALUES('" + id + "'," + c.markTime + ");";
    }
    ++index;
  }
  installation.Ex(ex);
  if (!local.empty()) installation.Main(local);
  Start(false);
  index = 0;
  qel_Invoke_ProductCategory module;
  for (const Case& c : cases) {
    std::string id = "2000000000" + std::to_string(index);
    std::string category = "20000" + std::to_string(10 + index);
    ++index;
    EXPECT_EQ(qel::dataspace::newrule::IsProductNew(id), c.isNew) << c.name;
    EXPECT_EQ(Column(Call(0x607, ProductRequest(id)).text, "STATUS"), Ids({c.isNew ? "2" : "1"})) << c.name;
    EXPECT_EQ(Column(Call(0x608, CategoryRequest(category)).text, "NEWPRODUCTCOUNT"),
              Ids({c.isNew ? "1" : "0"}))
        << c.name;
    EXPECT_EQ(module.GetNewProductCountByCategoryID(category), c.isNew ? "1" : "0") << c.name;
  }
}

TEST_F(ProductCategoryTest, NewProductCountCountsAssignments) {
  // One new product in two sub-categories of one category counts twice.
  installation.Ex(
      "INSERT INTO PRODUCT(PRODUCT_ID,TEMPLATESORT,LASTTIME) VALUES('30000000001',0,1);"
      "INSERT INTO PRODUCT_CATEGORY VALUES('3000001',1,1,1,0),('3000001001',1,2,1,0),('3000001002',1,2,1,0);"
      "INSERT INTO PRODUCT_CATEGORY_LANG(PRO_CATEGORY_ID,LANGID,NAME) VALUES('3000001',3,'c'),"
      "('3000001001',3,'c1'),('3000001002',3,'c2');"
      "INSERT INTO PRODUCT_CLASS VALUES('30000000001','3000001001'),('30000000001','3000001002');");
  Start(false);
  Json::Value rows = Parse(Call(0x608, CategoryRequest("3000001")).text);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(qel::StringMember(rows[0], "PRODUCTCOUNT"), "2");
  EXPECT_EQ(qel::StringMember(rows[0], "NEWPRODUCTCOUNT"), "2");
  EXPECT_EQ(qel::StringMember(rows[0], "HASSUBCATEGORY"), "2");
}

TEST_F(ProductCategoryTest, NewRuleOfCasesAndCertificateGroups) {
  installation.Ex(
      "INSERT INTO PRODUCT_CASE(CASE_ID,LASTTIME) VALUES('c1',10),('c2',10),('c3',NULL);"
      "INSERT INTO CERTGROUP(CERTGROUP_ID,LASTTIME) VALUES('g1',10),('g2',10),('g3',NULL),('g4',10);"
      "INSERT INTO CERTGROUP_CERTCATEGORY VALUES('g1','k'),('g2','k'),('g3','k'),('g4','k');");
  installation.Main(
      "INSERT INTO CASE_EXTEND VALUES('c2',11),('c3',1);"
      "INSERT INTO CERTGROUP_EXTEND VALUES('g2',11),('g4',10);");
  Start(false);
  namespace newrule = qel::dataspace::newrule;
  EXPECT_TRUE(newrule::IsCaseNew("c1"));
  EXPECT_FALSE(newrule::IsCaseNew("c2"));
  EXPECT_TRUE(newrule::IsCaseNew("c3"));
  EXPECT_TRUE(newrule::IsCaseNew("c2' OR '1'='1"));
  EXPECT_TRUE(newrule::IsCertGroupNew("g1"));
  EXPECT_FALSE(newrule::IsCertGroupNew("g2"));
  EXPECT_FALSE(newrule::IsCertGroupNew("g3"));                            // no time of its own: never new
  EXPECT_TRUE(newrule::IsCertGroupNew("g4"));                             // equal time
  EXPECT_EQ(qel::dataspace::CountText(newrule::NewCertCount("k")), "2");  // g1 and g4
  EXPECT_EQ(qel::dataspace::CountText(newrule::NewCertCount("k' OR '1'='1")), "0");
  EXPECT_STREQ(newrule::StatusText(true), "2");
  EXPECT_STREQ(newrule::StatusText(false), "1");
}

// The search of the account module hands its condition with OR in it; in
// parentheses it keeps the language and the product-id length.
TEST_F(ProductCategoryTest, ExtraFilterKeepsLanguageAndIdLength) {
  Start();
  qel_Invoke_ProductCategory module;
  const std::string byNameOrBrand =
      " ((t2.NAME LIKE '%" + qeltest::Gbk("相机") +
      "%' OR t2.NAME LIKE '%Camera%') )  OR (t1.BRAND_ID in (5) AND t1.PRODUCT_ID=t2.PRODUCT_ID)";
  std::string reply = module.GetProductBasicInfo("", -1, -1, byNameOrBrand, "");
  // P2 by its brand, P1 by its Chinese name; neither the English row of P1
  // nor the model M1 of brand 5 is listed.
  EXPECT_EQ(Column(reply, "PRODUCT_ID"), Ids({kP2, kP1})) << reply;
  EXPECT_EQ(Column(reply, "NAME"), Ids({"P2", qeltest::Gbk("数码相机")}));

  std::vector<std::string> ids;
  EXPECT_EQ(module.GetBrandIds(" ((t2.BRANDNAME LIKE '%Brand%') ) ", &ids), 0);
  EXPECT_EQ(ids, Ids({"5"}));  // BrandFive is the other language
  EXPECT_EQ(module.GetBrandIds("t2.BRANDNAME = 'x' OR 1=1", &ids), 0);
  EXPECT_EQ(ids, Ids({"3", "5"}));  // still only brands with a text in the language
  EXPECT_EQ(module.GetBrandIds("(((", &ids), 1);
  EXPECT_TRUE(ids.empty());

  // The favourites list: no category, no page, its own id list.
  reply = module.GetProductBasicInfo("", -1, -1, " t1.PRODUCT_ID IN (10020010001,100100100010001)", "");
  EXPECT_EQ(Column(reply, "PRODUCT_ID"), Ids({kP3}));
  // A filter the database refuses gives the empty text.
  EXPECT_EQ(module.GetProductBasicInfo("", -1, -1, "(() )", ""), "");
}

// Without the look-up tables the rows are still listed, with the values of
// failed look-ups.
TEST_F(ProductCategoryTest, MissingLookupTablesKeepTheRows) {
  installation.Ex(kCatalogue);
  installation.Main(kLocalState);
  installation.Ex("DROP TABLE PROD_SHOW;");
  installation.Main("DROP TABLE FAVORITES;");
  Start(false);
  SetLogCallback(qeltest::CaptureLog);
  Json::Value rows = Parse(Call(0x604, CategoryRequest("1002001")).text);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(qel::StringMember(rows[1], "PRODUCT_ID"), kP3);
  EXPECT_EQ(qel::StringMember(rows[1], "FAVORITE"), "0");
  EXPECT_EQ(qel::StringMember(rows[1], "SHOWWAY"), "0");
  EXPECT_EQ(qel::StringMember(rows[0], "BRANDNAME"), qeltest::Gbk("品牌甲"));
  EXPECT_EQ(qel::StringMember(rows[0], "STATUS"), "2");
  EXPECT_TRUE(qeltest::Logged("Can not get favorite"));
  EXPECT_TRUE(qeltest::Logged("get show way error"));
}

// A new-product count that cannot be read is no count: the list fails
// rather than showing "0" new products.
TEST_F(ProductCategoryTest, MissingSeenMarksTableFailsTheCategoryList) {
  installation.Ex(kCatalogue);
  installation.Main("DROP TABLE PRODUCT_EXTEND;");
  Start(false);
  SetLogCallback(qeltest::CaptureLog);
  Reply reply = Call(0x601);
  EXPECT_EQ(reply.result, 0);
  EXPECT_EQ(reply.text, "");
  EXPECT_TRUE(qeltest::Logged("Query new state error"));
}

TEST_F(ProductCategoryTest, EmptyDatabaseGivesEmptyLists) {
  Start(false);
  EXPECT_EQ(Call(0x601).text, "[]");
  EXPECT_EQ(Call(0x606).text, "[]");
  EXPECT_EQ(Call(0x60a).text, "[]");
  EXPECT_EQ(Parse(Call(0x609).text), Parse("[{\"COUNT\":\"0\"}]"));
}

}  // namespace
