// Catalogue records and the shared conversion rules.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "qel/json.h"
#include "recordtest.h"
#include "records/qelrecords.h"
#include "records/recordconvert.h"
#include "testsupport.h"

using namespace qelclientcore;
using recordtest::ExpectKeys;
using recordtest::InArray;
using recordtest::KeyCase;

namespace {

std::string Text(const Json::Value& value) { return qel::WriteStyled(value); }

class CatalogueRecordsInUtc : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

}  // namespace

TEST(CatalogueRecords, CompanyInfoReadsElementZeroOfTheReplyArray) {
  using R = CompanyInfo;
  ExpectKeys<R>(
      {
          {"ID", "18446744073709551615", MEMBER(R, id), L"18446744073709551615"},
          {"NAME", "ACME", MEMBER(R, name), L"ACME"},
          {"COMPANYHOMEPIC", "home.png", MEMBER(R, homePic), L"./files/home.png"},
          {"COMPANYLOGOPIC", "logo.png", MEMBER(R, logoPic), L"./files/logo.png"},
          {"VIDEOURL", "http://v/x.mp4", MEMBER(R, videoUrl), L"http://v/x.mp4"},
          {"VIDEOTHUMBNAIL", "t.png", MEMBER(R, videoThumbnail), L"./files/t.png"},
          {"QQ", "12345", MEMBER(R, qq), L"12345"},
          {"SITEURL", "site", MEMBER(R, siteUrl), L"./files/site"},
          {"SHAREURL", "https://s", MEMBER(R, shareUrl), L"https://s"},
          {"QRCODE_IMAGE_RES", "qr.png", MEMBER(R, qrCodeImage), L"./files/qr.png"},
      },
      InArray);
}

TEST(CatalogueRecords, QelInfoReadsElementZeroOfTheReplyArray) {
  using R = QelInfo;
  ExpectKeys<R>(
      {
          {"ID", "3", MEMBER(R, id), L"3"},
          {"NAME", "n", MEMBER(R, name), L"n"},
          {"VERSION", "V1.0", MEMBER(R, version), L"V1.0"},
          {"QELLOGO", "logo.png", MEMBER(R, logo), L"./files/logo.png"},
          {"URL", "www", MEMBER(R, url), L"www"},
          {"TEL", "010", MEMBER(R, tel), L"010"},
          {"MAIL", "a@b", MEMBER(R, mail), L"a@b"},
          {"HELPURL", "help", MEMBER(R, helpUrl), L"help"},
          {"PASSWORDURL", "pw", MEMBER(R, passwordUrl), L"pw"},
      },
      InArray);
}

TEST(CatalogueRecords, WholeReplyRecordsNeedAnArrayOfObjects) {
  for (const char* text : {R"({"NAME":"x"})", "[]", "[1]", R"(["NAME"])", "null", "not json"}) {
    CompanyInfo company;
    company.FromJson(text);
    EXPECT_EQ(company.json, "") << text;
    EXPECT_EQ(company.name, L"") << text;
    QelInfo info;
    info.FromJson(text);
    EXPECT_EQ(info.json, "") << text;
    EXPECT_EQ(info.id, -1) << text;
  }
  const char* reply = R"([{"NAME":"first"},{"NAME":"second"}])";
  CompanyInfo company;
  company.FromJson(reply);
  EXPECT_EQ(company.name, L"first");
  EXPECT_EQ(company.json, reply);
}

TEST(CatalogueRecords, ModulesBrandsAndCategories) {
  {
    using R = PrimaryModule;
    ExpectKeys<R>({
        {"BANNER_ID", "12", MEMBER(R, bannerId), L"12"},
        {"NAME", "n", MEMBER(R, name), L"n"},
        {"TYPE", "2", MEMBER(R, type), L"2"},
        {"ICON", "i.png", MEMBER(R, icon), L"./files/i.png"},
        {"SORT", "5", MEMBER(R, sort), L"5"},
        {"ISSHOW", "1", MEMBER(R, isShow), L"1"},
    });
  }
  {
    using R = SecondaryModule;
    ExpectKeys<R>({
        {"BANNDERCATE_ID", "4", MEMBER(R, bannerCateId), L"4"},
        {"BANNER_ID", "12", MEMBER(R, bannerId), L"12"},
        {"NAME", "n", MEMBER(R, name), L"n"},
        {"CONTENT", "c.html", MEMBER(R, content), L"./files/c.html"},
        {"SORT", "3", MEMBER(R, sort), L"3"},
        {"STATUS", "2", MEMBER(R, status), L"2"},
        {"ISSHOW", "1", MEMBER(R, isShow), L"1"},
    });
  }
  {
    using R = ProductCategory;
    ExpectKeys<R>({
        {"PRO_CATEGORY_ID", "1000001001", MEMBER(R, categoryId), L"1000001001"},
        {"LEVEL", "2", MEMBER(R, level), L"2"},
        {"NAME", "n", MEMBER(R, name), L"n"},
        {"DESC", "d", MEMBER(R, desc), L"d"},
        {"ALIAS1", "a1", MEMBER(R, alias1), L"a1"},
        {"ALIAS2", "a2", MEMBER(R, alias2), L"a2"},
        {"CATG_DESC", "cd", MEMBER(R, catgDesc), L"cd"},
        {"TIPS", "t", MEMBER(R, tips), L"t"},
        {"CANEXTEND", "1", MEMBER(R, canExtend), L"1"},
        {"BEUSE", "1", MEMBER(R, beUse), L"1"},
        {"META", "m", MEMBER(R, meta), L"m"},
        {"METADESC", "md", MEMBER(R, metaDesc), L"md"},
        {"OPTIN_DESC", "od", MEMBER(R, optinDesc), L"od"},
        {"HASSUBCATEGORY", "1", MEMBER(R, hasSubCategory), L"1"},
        {"NEWPRODUCTCOUNT", "6", MEMBER(R, newProductCount), L"6"},
        {"PRODUCTCOUNT", "9", MEMBER(R, productCount), L"9"},
    });
  }
  {
    using R = ProductBrand;
    ExpectKeys<R>({
        {"BRAND_ID", "8", MEMBER(R, brandId), L"8"},
        {"BRANDNAME", "b", MEMBER(R, brandName), L"b"},
        {"BRANDDESC", "bd", MEMBER(R, brandDesc), L"bd"},
    });
  }
}

TEST_F(CatalogueRecordsInUtc, ProductKeys) {
  using R = Product;
  ExpectKeys<R>({
      {"PRODUCT_ID", "123456789012", MEMBER(R, productId), L"123456789012"},
      {"NAME", "p", MEMBER(R, name), L"p"},
      {"UNIT", "pcs", MEMBER(R, unit), L"pcs"},
      {"BRANDNAME", "b", MEMBER(R, brandName), L"b"},
      {"PICFIRST", "a.png", MEMBER(R, picFirst), L"./files/a.png"},
      {"PRICETYPE", "2", MEMBER(R, priceType), L"2"},
      {"MINPRICE", "1.25", MEMBER(R, minPrice), std::to_wstring(1.25)},
      {"MAXPRICE", "99.5", MEMBER(R, maxPrice), std::to_wstring(99.5)},
      {"PRICE", "10-20", MEMBER(R, price), L"10-20"},
      {"PRICEUNIT", "CNY", MEMBER(R, priceUnit), L"CNY"},
      {"FAVORITE", "1", MEMBER(R, favorite), L"1"},
      {"DESCPTYPE", "3", MEMBER(R, descType), L"3"},
      {"DESC", "d", MEMBER(R, desc), L"d"},
      {"INTRODUCE", "intro.html", MEMBER(R, introduce), L"./files/intro.html"},
      {"MSORT", "4", MEMBER(R, mSort), L"4"},
      {"SSORT", "5", MEMBER(R, sSort), L"5"},
      {"STATUS", "2", MEMBER(R, status), L"2"},
      {"LASTTIME", "1388534400123", MEMBER(R, lastTime), L"2014-01-01 00:00:00:123"},
      {"SHOWWAY", "1", MEMBER(R, showWay), L"1"},
  });
}

TEST(CatalogueRecords, RejectedTextsLeaveTheRecordEntirelyUnchanged) {
  for (const char* text : {static_cast<const char*>(nullptr), "[{\"PRODUCT_ID\":\"1\"}]", "\"text\"", "12",
                           "null", "{\"PRODUCT_ID\":\"1\"", "", "garbage"}) {
    Product product;
    product.FromJson(text);
    std::string label = text != nullptr ? text : "<null>";
    EXPECT_EQ(product.json, "") << label;
    EXPECT_EQ(product.productId, 0u) << label;
  }
}

TEST(CatalogueRecords, NumberRules) {
  struct Case {
    const char* value;
    int expectedInt;  // member starts at -1 (BRAND_ID)
  };
  const Case ints[] = {
      {"42", 42},
      {"  42abc", 42},
      {"-7", -7},
      {"+8", 8},
      {"abc", -1},
      {"", -1},
      {" ", -1},
      {"2147483647", 2147483647},
      {"2147483648", -1},
      {"-2147483649", -1},
      {"99999999999999999999999", -1},
  };
  for (const Case& c : ints) {
    ProductBrand brand;
    brand.FromJson(Text([&] {
                     Json::Value v(Json::objectValue);
                     v["BRAND_ID"] = c.value;
                     return v;
                   }())
                       .c_str());
    EXPECT_EQ(brand.brandId, c.expectedInt) << "BRAND_ID \"" << c.value << "\"";
  }

  struct U64Case {
    const char* value;
    uint64_t expected;  // member starts at 0
  };
  const U64Case u64s[] = {
      {"18446744073709551615", UINT64_MAX}, {"18446744073709551616", 0}, {"-1", 0}, {" 77x", 77}, {"x77", 0},
  };
  for (const U64Case& c : u64s) {
    Json::Value v(Json::objectValue);
    v["PRODUCT_ID"] = c.value;
    Product product;
    product.FromJson(Text(v).c_str());
    EXPECT_EQ(product.productId, c.expected) << "PRODUCT_ID \"" << c.value << "\"";
  }

  struct RealCase {
    const char* value;
    double expected;
  };
  // "nan" and "inf" are no decimal numbers: the member stays as it was.
  const RealCase reals[] = {{"12.75", 12.75}, {" -3.5kg", -3.5}, {"1e3", 1000}, {"abc", 0},
                            {"", 0},          {"+2.5", 2.5},     {".5", 0.5},   {"nan", 0},
                            {"-inf", 0},      {"INFINITY", 0},   {"+nan", 0},   {"1e999", 0}};
  for (const RealCase& c : reals) {
    Json::Value v(Json::objectValue);
    v["MAXPRICE"] = c.value;
    Product product;
    product.FromJson(Text(v).c_str());
    EXPECT_DOUBLE_EQ(product.maxPrice, c.expected) << "MAXPRICE \"" << c.value << "\"";
  }
}

TEST(CatalogueRecords, PriceOnRequestReplacesPriceAndUnit) {
  Json::Value v(Json::objectValue);
  v["PRICETYPE"] = "1";
  v["PRICE"] = "100";
  v["PRICEUNIT"] = "CNY";
  Product onRequest;
  onRequest.FromJson(Text(v).c_str());
  EXPECT_EQ(onRequest.price, L"\u9762\u8bae");
  EXPECT_EQ(onRequest.priceUnit, L"");

  v["PRICETYPE"] = "0";
  Product priced;
  priced.FromJson(Text(v).c_str());
  EXPECT_EQ(priced.price, L"100");
  EXPECT_EQ(priced.priceUnit, L"CNY");

  // The rule holds even when the text carries no price at all, and for a
  // type remembered from an earlier text.
  Product later;
  later.FromJson(R"({"PRICETYPE":"1"})");
  EXPECT_EQ(later.price, L"\u9762\u8bae");
  later.FromJson(R"({"PRICE":"5","PRICEUNIT":"USD"})");
  EXPECT_EQ(later.price, L"\u9762\u8bae");
  EXPECT_EQ(later.priceUnit, L"");
}

TEST(CatalogueRecords, EmptySortMeansMinusOneOnlyForPrimaryModules) {
  PrimaryModule primary;
  primary.FromJson(R"({"SORT":""})");
  EXPECT_EQ(primary.sort, -1);
  primary.FromJson(R"({"SORT":"abc"})");
  EXPECT_EQ(primary.sort, -1);
  SecondaryModule secondary;
  secondary.FromJson(R"({"SORT":""})");
  EXPECT_EQ(secondary.sort, 0);
}

TEST(CatalogueRecords, ResourcePaths) {
  struct Case {
    const char* path;
    const char* expected;
  };
  const Case cases[] = {
      {"", ""},
      {"http://host/a.png", "http://host/a.png"},
      {"https://host/a.png", "https://host/a.png"},
      {"HTTP://host/a.png", "HTTP://host/a.png"},
      {"HttpS://host/a.png", "HttpS://host/a.png"},
      {"img/a.png", "./files/img/a.png"},
      {"/img/a.png", "./files//img/a.png"},
      {"ftp://host/a.png", "./files/ftp://host/a.png"},
      {"httpx://a", "./files/httpx://a"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MapResourcePath(c.path), c.expected) << "path: " << c.path;
  }
}

TEST_F(CatalogueRecordsInUtc, MillisecondTimes) {
  struct Case {
    const char* text;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {"0", L"1970-01-01 00:00:00:000"},
      {"1388534400123", L"2014-01-01 00:00:00:123"},
      {" 1388534400123 ms", L"2014-01-01 00:00:00:123"},
      {"999", L"1970-01-01 00:00:00:999"},
      {"abc", L"1970-01-01 00:00:00:000"},
      {"", L"1970-01-01 00:00:00:000"},
      {"-1", L" "},
      {"-999", L" "},
      {"-1000", L" "},
      {"-86400000", L" "},
      {"99999999999999999999", L" "},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatMsTime(c.text), c.expected) << "text: \"" << c.text << "\"";
  EXPECT_EQ(FormatMsTime(nullptr), L"  ");
}

TEST(CatalogueRecords, SecondTextKeepsWhatItLacksAndAliasesStaySeparate) {
  ProductCategory category;
  category.FromJson(R"({"PRO_CATEGORY_ID":"1000001","NAME":"first","ALIAS1":"one","ALIAS2":"two"})");
  EXPECT_EQ(category.alias1, L"one");
  EXPECT_EQ(category.alias2, L"two");
  const char* second = R"({"NAME":"second","LEVEL":"1"})";
  category.FromJson(second);
  EXPECT_EQ(category.categoryId, 1000001u);
  EXPECT_EQ(category.name, L"second");
  EXPECT_EQ(category.level, 1);
  EXPECT_EQ(category.alias2, L"two");
  EXPECT_EQ(category.json, second);
}

TEST(CatalogueRecords, NumberWhereAStringBelongsKeepsTheRawText) {
  const char* text = R"({"PRODUCT_ID":123,"NAME":"x"})";
  Product product;
  product.FromJson(text);
  EXPECT_EQ(product.productId, 0u);
  EXPECT_EQ(product.name, L"x");
  EXPECT_EQ(product.json, text);
}

TEST(CatalogueRecords, GbkTextsConvertWholeAndSurviveBackslashSecondBytes) {
  // "誠" is D5 5C in GBK: its second byte is a backslash.
  std::string name = qeltest::Gbk("誠信產品") + "\\" + qeltest::Gbk("中");
  Json::Value v(Json::objectValue);
  v["NAME"] = name;
  // Long enough that a fixed 2,048-character buffer would cut it.
  std::string longDesc;
  for (int i = 0; i < 1500; ++i) longDesc += qeltest::Gbk("长");
  v["DESC"] = longDesc;
  std::string text = Text(v);
  Product product;
  product.FromJson(text.c_str());
  EXPECT_EQ(product.name, L"誠信產品\\中");
  EXPECT_EQ(product.desc, std::wstring(1500, L'长'));
  EXPECT_EQ(product.json, text);

  // Bytes that are not GBK are dropped; the rest of the text stays.
  Product broken;
  broken.FromJson(
      "{\"NAME\":\"a\xff"
      "b\"}");
  EXPECT_EQ(broken.name, L"ab");

  // A text ends at its first NUL, a path after the prefix was put in front.
  Product cut;
  cut.FromJson(R"({"NAME":"ab\u0000cd","PICFIRST":"p\u0000.png"})");
  EXPECT_EQ(cut.name, L"ab");
  EXPECT_EQ(cut.picFirst, L"./files/p");

  // A later field never carries the tail of an earlier, longer one.
  Product fields;
  fields.FromJson(R"({"NAME":"a long product name","UNIT":"kg"})");
  EXPECT_EQ(fields.unit, L"kg");
}

TEST(CatalogueRecords, ParsedReplyConvertsElementByElement) {
  Json::Value reply;
  ASSERT_TRUE(qel::ParseGbkJson(R"([{"PRODUCT_ID":"1"},7,[],{"PRODUCT_ID":"2","NAME":"two"}])", &reply));
  std::vector<Product> products;
  ASSERT_TRUE(ConvertList(reply, &products));
  ASSERT_EQ(products.size(), 2u);  // no blank record for the number or the array
  EXPECT_EQ(products[0].productId, 1u);
  EXPECT_EQ(products[1].productId, 2u);
  EXPECT_EQ(products[1].json, qel::WriteStyled(reply[3]));

  Json::Value object;
  ASSERT_TRUE(qel::ParseGbkJson(R"({"PRODUCT_ID":"1"})", &object));
  EXPECT_FALSE(ConvertList(object, &products));
  EXPECT_EQ(products.size(), 2u);

  Product single;
  EXPECT_FALSE(ConvertElement(reply[1], &single));
  EXPECT_EQ(single.json, "");
  EXPECT_TRUE(ConvertElement(reply[0], &single));
  EXPECT_EQ(single.productId, 1u);
}
