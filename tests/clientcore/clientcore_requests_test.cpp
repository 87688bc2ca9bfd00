// What each call sends: its request code and its request text, parsed.
#include <gtest/gtest.h>

#include <functional>

#include "fakebridge.h"
#include "qelclientcore.h"

namespace {

using namespace qelclientcore;
using qeltest::Expect;
using qeltest::FakeBridge;
using qeltest::Gbk;

struct RequestCase {
  const char* call;
  std::function<void(CQelClientCore&)> run;
  int code;
  const char* request;  // UTF-8 JSON; "" for the empty request text
};

void CheckRequests(const std::vector<RequestCase>& cases) {
  for (const RequestCase& c : cases) {
    FakeBridge bridge;
    c.run(*CQelClientCore::GetInstance());
    ASSERT_GE(bridge.Count(), 1u) << c.call;
    qeltest::FakeRequest first = bridge.Requests().front();
    EXPECT_EQ(first.code, c.code) << c.call;
    if (std::string(c.request).empty()) {
      EXPECT_EQ(first.text, "") << c.call;
    } else {
      EXPECT_EQ(first.json, Expect(c.request)) << c.call << "\n" << first.text;
    }
  }
}

TEST(Requests, CatalogueCalls) {
  std::vector<ProductCategory> categories;
  std::vector<ProductBrand> brands;
  std::vector<Product> products;
  ProductCategory category;
  Json::Value js(Json::objectValue);
  js["PARAM"]["PRODUCT_CATEGORY"]["PRO_CATEGORY_ID"] = "7";
  CheckRequests({
      {"GetCompanyInfo", [](CQelClientCore& c) { c.GetCompanyInfo(); }, 0x101, ""},
      {"GetQelInfo", [](CQelClientCore& c) { c.GetQelInfo(); }, 0x100, ""},
      {"GetCompanyInfoJs", [](CQelClientCore& c) { c.GetCompanyInfoJs(); }, 0x101, ""},
      {"GetQelInfoJs", [](CQelClientCore& c) { c.GetQelInfoJs(); }, 0x100, ""},
      {"GetPrimaryModulesJs", [](CQelClientCore& c) { c.GetPrimaryModulesJs(); }, 0x000, ""},
      {"GetTopProductCategorysJs", [](CQelClientCore& c) { c.GetTopProductCategorysJs(); }, 0x601, ""},
      {"GetSubProductCategorysJs", [&](CQelClientCore& c) { c.GetSubProductCategorysJs(js); }, 0x602,
       R"({"PARAM":{"PRODUCT_CATEGORY":{"PRO_CATEGORY_ID":"7"}}})"},
      {"GetParentProductCategorysJs", [&](CQelClientCore& c) { c.GetParentProductCategorysJs(js); }, 0x603,
       R"({"PARAM":{"PRODUCT_CATEGORY":{"PRO_CATEGORY_ID":"7"}}})"},
      {"GetProductsByCategoryJs", [&](CQelClientCore& c) { c.GetProductsByCategoryJs(js); }, 0x604,
       R"({"PARAM":{"PRODUCT_CATEGORY":{"PRO_CATEGORY_ID":"7"}}})"},
      {"GetPrimaryModeles", [](CQelClientCore& c) { c.GetPrimaryModeles(); }, 0x000, ""},
      {"GetSecondaryModules", [](CQelClientCore& c) { c.GetSecondaryModules(4); }, 0x001,
       R"({"PARAM":{"BANNER":{"BANNER_ID":"4"}}})"},
      {"GetTopProuductCategorys", [&](CQelClientCore& c) { c.GetTopProuductCategorys(categories); }, 0x601,
       ""},
      {"GetSubProuductCategorys", [&](CQelClientCore& c) { c.GetSubProuductCategorys(1000001, categories); },
       0x602, R"({"PARAM":{"PRODUCT_CATEGORY":{"PRO_CATEGORY_ID":"1000001"}}})"},
      {"GetParentProuductCategorys", [&](CQelClientCore& c) { c.GetParentProuductCategorys(9, categories); },
       0x603, R"({"PARAM":{"PRODUCT_CATEGORY":{"PRO_CATEGORY_ID":"9"}}})"},
      {"GetProuductBrandsByCategory", [&](CQelClientCore& c) { c.GetProuductBrandsByCategory(brands, 9); },
       0x60a, R"({"PARAM":{"PRODUCT_CATEGORY":{"PRO_CATEGORY_ID":"9"}}})"},
      {"GetProductCategoryByID", [&](CQelClientCore& c) { c.GetProductCategoryByID(9, category); }, 0x608,
       R"({"PARAM":{"PRODUCT_CATEGORY":{"PRO_CATEGORY_ID":"9"}}})"},
      {"GetProductCategoryByID(0)", [&](CQelClientCore& c) { c.GetProductCategoryByID(0, category); }, 0x608,
       ""},
      {"GetAllProuductsCount(-1)", [](CQelClientCore& c) { c.GetAllProuductsCount(-1); }, 0x609, ""},
      {"GetAllProuductsCount(3)", [](CQelClientCore& c) { c.GetAllProuductsCount(3); }, 0x609,
       R"({"PARAM":{"BRAND":{"BRAND_ID":"3"}}})"},
      {"GetAllProuducts(-1)", [](CQelClientCore& c) { c.GetAllProuducts(-1, 20, 0); }, 0x606,
       R"({"PARAM":null,"LIMIT":20,"OFFSET":0})"},
      {"GetAllProuducts(3)", [](CQelClientCore& c) { c.GetAllProuducts(3, 5, 10); }, 0x606,
       R"({"PARAM":{"BRAND":{"BRAND_ID":"3"}},"LIMIT":5,"OFFSET":10})"},
      {"GetProductByID(0)", [](CQelClientCore& c) { c.GetProductByID(0); }, 0x607,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"0"}}})"},
      {"GetProductsByCategory", [&](CQelClientCore& c) { c.GetProductsByCategory(9, products, -1, 50, 100); },
       0x604, R"({"PARAM":{"PRODUCT_CATEGORY":{"PRO_CATEGORY_ID":"9"}},"LIMIT":50,"OFFSET":100})"},
      {"GetProductsByCategory brand",
       [&](CQelClientCore& c) { c.GetProductsByCategory(9, products, 2, 1, 0); }, 0x604,
       R"({"PARAM":{"PRODUCT_CATEGORY":{"PRO_CATEGORY_ID":"9"},"BRAND":{"BRAND_ID":"2"}},"LIMIT":1,"OFFSET":0})"},
      {"SearchProduct", [&](CQelClientCore& c) { c.SearchProduct(Gbk("阀门"), products); }, 0x511,
       R"({"PARAM":{"FILTER":{"FILTER":"阀门"}}})"},
      {"UpdateProductStatus", [](CQelClientCore& c) { c.UpdateProductStatus(5); }, 0x522,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"5"}}})"},
      {"GetFavoriteProducts", [](CQelClientCore& c) { c.GetFavoriteProducts(1, 2); }, 0x501, ""},
      {"IsProductInFavorite", [](CQelClientCore& c) { c.IsProductInFavorite(5); }, 0x504,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"5"}}})"},
      {"AddProductToFavorite", [](CQelClientCore& c) { c.AddProductToFavorite(5); }, 0x502,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"5"}}})"},
      {"RemoveProductFromFavorite", [](CQelClientCore& c) { c.RemoveProductFromFavorite(5); }, 0x503,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"5"}}})"},
  });
}

TEST(Requests, ProductDetailCalls) {
  std::map<PRODUCTDETAILHEAD, ProductDetailHead> heads;
  std::vector<ProductUnstructuredIntr> intr;
  std::vector<ProductPicCategory> groups;
  std::vector<ProductPic> pics;
  std::vector<ProductVideo> videos;
  std::vector<ProductCert> certs;
  std::vector<ProductCase> cases;
  std::vector<ProductCaseRes> res;
  std::vector<ProductModel> models;
  std::vector<ProductParameter> params;
  std::vector<ProductModelPic> modelPics;
  std::vector<ProductReport> reports;
  const char* product = R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"77"}}})";
  CheckRequests({
      {"GetProductDetailHead", [&](CQelClientCore& c) { c.GetProductDetailHead(77, heads); }, 0x430, product},
      {"GetProductUnstructuredIntr", [&](CQelClientCore& c) { c.GetProductUnstructuredIntr(77, intr); },
       0x401, product},
      {"GetProuductPicCategorys", [&](CQelClientCore& c) { c.GetProuductPicCategorys(77, groups); }, 0x410,
       product},
      {"GetProuductPics(-1)", [&](CQelClientCore& c) { c.GetProuductPics(77, -1, pics); }, 0x411,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"77"},"PICTURE_GROUP_ID":"-1"}})"},
      {"GetProuductVideos", [&](CQelClientCore& c) { c.GetProuductVideos(77, videos); }, 0x412, product},
      {"GetProuductCerts", [&](CQelClientCore& c) { c.GetProuductCerts(77, certs); }, 0x416, product},
      {"GetProuductCases", [&](CQelClientCore& c) { c.GetProuductCases(77, cases); }, 0x409, product},
      {"GetProuductCaseRes", [&](CQelClientCore& c) { c.GetProuductCaseRes(77, 3, 2, res); }, 0x40a,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"77"},"PRODUCT_CASE":{"CASE_ID":"3"},"PRODUCT_CASE_RES_TYPE":"2"}})"},
      {"GetProductModels", [&](CQelClientCore& c) { c.GetProductModels(77, models); }, 0x421, product},
      {"GetProductParameters", [&](CQelClientCore& c) { c.GetProductParameters(77, params); }, 0x422,
       product},
      {"GetProductParametersAll", [&](CQelClientCore& c) { c.GetProductParametersAll(77, params); }, 0x422,
       product},
      {"GetProductModelPics", [&](CQelClientCore& c) { c.GetProductModelPics(77, modelPics); }, 0x424,
       product},
      {"GetProductReports", [&](CQelClientCore& c) { c.GetProductReports(77, reports, 10, 20); }, 0x414,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"77"}},"LIMIT":10,"OFFSET":20})"},
      {"GetProductParameterValues", [](CQelClientCore& c) { c.GetProductParameterValues(77); }, 0x423,
       product},
  });
}

TEST(Requests, AccountCalls) {
  std::wstring error;
  int exist = 0;
  UserRegInfo reg;
  reg.userId = L"用户";
  reg.password = L"pw";
  reg.email = L"e@x";
  reg.mobile = L"138";
  reg.name = L"N";
  reg.position = L"P";
  reg.compName = L"C";
  reg.tel1 = L"1";
  reg.tel2 = L"2";
  reg.tel3 = L"3";
  MyConsultation consult;
  consult.consultId = -2;
  consult.content = L"问";
  consult.addTime = L"2026-1-1";
  MyConsultation consult0 = consult;
  consult.productId = 42;
  MyInquire inquire;
  inquire.inquiryId = -1;
  inquire.num = 5;
  inquire.arear = 110000;
  inquire.img = L"a.png";
  MyFeed feed;
  feed.email = L"m@x";
  feed.suggest = L"好";
  std::vector<MyConsultation> consults;
  std::vector<MyInquire> inquiries;
  std::vector<GeoTag> tags;
  GeoTag tag;
  UserRegInfo info;
  CheckRequests({
      {"LogIn", [&](CQelClientCore& c) { c.LogIn("u", "p\"w", false, error); }, 0x531,
       R"({"PARAM":{"LOGININFO":{"USERID":"u","PASSWORD":"p\"w","REMEMBER":"0"}}})"},
      {"LogIn remember", [&](CQelClientCore& c) { c.LogIn("u", "p", true, error); }, 0x531,
       R"({"PARAM":{"LOGININFO":{"USERID":"u","PASSWORD":"p","REMEMBER":"1"}}})"},
      {"SendRegCode", [&](CQelClientCore& c) { c.SendRegCode("a@b", 2, error); }, 0x535,
       R"({"PARAM":{"SENDINFO":{"ACCOUNT":"a@b","ACCOUNTTYPE":"2"}}})"},
      {"CheckRegCode", [&](CQelClientCore& c) { c.CheckRegCode("1234", "a@b", 1, error); }, 0x536,
       R"({"PARAM":{"VALIDATEINFO":{"SECURITYCODE":"1234","ACCOUNT":"a@b","ACCOUNTTYPE":"1"}}})"},
      {"DoUserReg", [&](CQelClientCore& c) { c.DoUserReg(reg, error); }, 0x532,
       R"({"PARAM":{"REGINFO":{"ACCOUNT":"用户","PASSWORD":"pw","EMAIL":"e@x","MOBILE":"138","NAME":"N",
           "POSITION":"P","COMPNAME":"C","TEL1":"1","TEL2":"2","TEL3":"3"}}})"},
      {"IsUserExisted", [&](CQelClientCore& c) { c.IsUserExisted("n", 1, "o", error, exist); }, 0x554,
       R"({"PARAM":{"USERINFO":{"NAME":"n","TYPE":"1","OLDNAME":"o"}}})"},
      {"GetUserInfo", [&](CQelClientCore& c) { c.GetUserInfo(info); }, 0x534, ""},
      {"IsUserInTheLogin", [](CQelClientCore& c) { c.IsUserInTheLogin(); }, 0x534, ""},
      {"NewConsult", [&](CQelClientCore& c) { c.NewConsult(consult); }, 0x539,
       R"({"PARAM":{"PROD_CONSULT":{"PRODUCT_ID":"42","CONSULT_ID":"-2","ADDTIME":"2026-1-1","CONTENT":"问",
           "TEL1":"","TEL2":"","TEL3":"","MOBILENUM":"","EMAIL":""}}})"},
      {"NewConsult product 0", [&](CQelClientCore& c) { c.NewConsult(consult0); }, 0x539,
       R"({"PARAM":{"PROD_CONSULT":{"PRODUCT_ID":"","CONSULT_ID":"-2","ADDTIME":"2026-1-1","CONTENT":"问",
           "TEL1":"","TEL2":"","TEL3":"","MOBILENUM":"","EMAIL":""}}})"},
      {"NewInquire product 0", [&](CQelClientCore& c) { c.NewInquire(inquire, true); }, 0x53a,
       R"({"PARAM":{"PROD_INQUIRY":{"PRODUCT_ID":"0","INQUIRY_ID":"-1","ADDTIME":"","NUM":"5","CONTENT":"",
           "CONTACT":"","AREAR":"110000","ADDRESS":"","IMG":"a.png","MOBILENUM":"","EMAIL":"","DUEDATE":""}}})"},
      {"DelConsultation(0, 7)", [](CQelClientCore& c) { c.DelConsultation(0, 7); }, 0x53d,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":""},"PROD_CONSULT":{"CONSULT_ID":"7"}}})"},
      {"DelInquire(0, 7)", [](CQelClientCore& c) { c.DelInquire(0, 7); }, 0x53e,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"0"},"PROD_INQUIRY":{"INQUIRY_ID":"7"}}})"},
      {"GetConsultationCount", [](CQelClientCore& c) { c.GetConsultationCount(8); }, 0x537,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"8"}}})"},
      {"GetInquireCount", [](CQelClientCore& c) { c.GetInquireCount(8); }, 0x538,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"8"}}})"},
      {"GetConsultation", [&](CQelClientCore& c) { c.GetConsultation(8, consults, 10, 0); }, 0x53b,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"8"}},"LIMIT":10,"OFFSET":0})"},
      {"GetInquire", [&](CQelClientCore& c) { c.GetInquire(8, inquiries, 10, 5); }, 0x53c,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"8"}},"LIMIT":10,"OFFSET":5})"},
      {"RefreshInquire", [](CQelClientCore& c) { c.RefreshInquire(8, 3); }, 0x53c,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"8"}},"LIMIT":-1,"OFFSET":-1})"},
      {"newFeed", [&](CQelClientCore& c) { c.newFeed(feed, error); }, 0x550,
       R"({"PARAM":{"FEEDBACKSERVICE":{"EMAIL":"m@x","SUGGEST":"好"}}})"},
      {"GetSubGeoTags(0)", [&](CQelClientCore& c) { c.GetSubGeoTags(tags, 0); }, 0x541, ""},
      {"GetSubGeoTags(11)", [&](CQelClientCore& c) { c.GetSubGeoTags(tags, 11); }, 0x541,
       R"({"PARAM":{"SYS_AREA":{"AREAID":"11"}}})"},
      {"GetParentGeoTag(0)", [&](CQelClientCore& c) { c.GetParentGeoTag(0, tag); }, 0x542,
       R"({"PARAM":{"SYS_AREA":{"AREAID":"0"}}})"},
      {"GetGeoTagsById", [&](CQelClientCore& c) { c.GetGeoTagsById(12, tag); }, 0x543,
       R"({"PARAM":{"SYS_AREA":{"AREAID":"12"}}})"},
      {"behavior_visitProduct", [](CQelClientCore& c) { c.behavior_visitProduct(5); }, 0x553,
       R"({"prodId":"5"})"},
      {"behavior_print", [](CQelClientCore& c) { c.behavior_print(5, 1); }, 0x552,
       R"({"prodId":"5","printType":"1"})"},
      {"sendCachedDataSync", [](CQelClientCore& c) { c.sendCachedDataSync(); }, 0x551, ""},
  });
}

TEST(Requests, EnterpriseAndUpdateCalls) {
  std::vector<EntCertCategory> categories;
  std::vector<EntCertsGroup> groups;
  std::vector<EntCertPic> pics;
  std::vector<EntCert> certs;
  std::vector<EntCaseRes> res;
  std::vector<AppUpdateFiles> files;
  CheckRequests({
      {"GetEntCertCategorys", [&](CQelClientCore& c) { c.GetEntCertCategorys(categories); }, 0x010, ""},
      {"GetEntCertsGroupByCategory", [&](CQelClientCore& c) { c.GetEntCertsGroupByCategory(L"12", groups); },
       0x011, R"({"PARAM":{"CERT_CATEGORY":{"CERT_CATEGORY_ID":"12"}}})"},
      {"GetAllEntCertGroup", [&](CQelClientCore& c) { c.GetAllEntCertGroup(groups); }, 0x012, ""},
      {"GetAllEntCertGroupCount", [](CQelClientCore& c) { c.GetAllEntCertGroupCount(); }, 0x013, ""},
      {"GetEntCertByGroup", [&](CQelClientCore& c) { c.GetEntCertByGroup(L"g\"1", pics); }, 0x014,
       R"({"PARAM":{"CERTGROUP":{"CERTGROUP_ID":"g\"1"}}})"},
      {"UpdateEntCertGroupStatus", [](CQelClientCore& c) { c.UpdateEntCertGroupStatus(L"9"); }, 0x523,
       R"({"PARAM":{"CERTGROUP":{"CERTGROUP_ID":"9"}}})"},
      {"GetEntCertsByCategory", [&](CQelClientCore& c) { c.GetEntCertsByCategory(4, certs, 10, 0); }, 0x201,
       R"({"ID":"4"})"},
      {"GetAllEntCertCount", [](CQelClientCore& c) { c.GetAllEntCertCount(); }, 0x200, ""},
      {"GetAllEntCerts", [](CQelClientCore& c) { c.GetAllEntCerts(); }, 0x200, ""},
      {"GetEntCases", [](CQelClientCore& c) { c.GetEntCases(); }, 0x009, ""},
      {"GetEntCaseRes", [&](CQelClientCore& c) { c.GetEntCaseRes(3, 6, res); }, 0x00a,
       R"({"PARAM":{"PRODUCT_CASE":{"CASE_ID":"3"},"PRODUCT_CASE_RES_TYPE":"6"}})"},
      {"IsDataNeedUpdateSync", [](CQelClientCore& c) { c.IsDataNeedUpdateSync(); }, 0x571, ""},
      {"DoDataUpdate", [](CQelClientCore& c) { c.DoDataUpdate(); }, 0x570, ""},
      {"IsNeedUpdateApp", [](CQelClientCore& c) { c.IsNeedUpdateApp(); }, 0x572, ""},
      {"GetUpdateAppList", [&](CQelClientCore& c) { c.GetUpdateAppList(files); }, 0x573, ""},
      {"GetUpdateAppList(folder)", [&](CQelClientCore& c) { c.GetUpdateAppList("x", files); }, 0x573, ""},
  });
}

// Calls answered from memory, or refused, reach no request at all.
TEST(Requests, CallsWithoutRequest) {
  FakeBridge bridge;
  CQelClientCore& core = *CQelClientCore::GetInstance();
  std::map<PRODUCTDETAILHEAD, ProductDetailHead> heads;
  std::vector<std::wstring> categories;
  std::wstring date;
  EXPECT_FALSE(core.GetProductDetailHead(0, heads));
  EXPECT_FALSE(core.UpdateEntCertStatus(3));
  EXPECT_FALSE(core.UpdateEntCaseStatus(3));
  EXPECT_FALSE(core.UpdateSecondaryModuleStatus(3));
  EXPECT_TRUE(core.UpdateEntCertsStatusByCategory(3));
  EXPECT_EQ(core.GetSecondaryModuleByID(1), nullptr);
  EXPECT_EQ(core.GetEntCertCategoryById(1), nullptr);
  EXPECT_EQ(core.GetEntCertGroupById(L"1"), nullptr);
  EXPECT_EQ(core.GetEntCertPicById(L"1"), nullptr);
  EXPECT_EQ(core.GetEntCertByID(1), nullptr);
  EXPECT_EQ(core.GetEntCaseById(1), nullptr);
  EXPECT_EQ(core.GetConsultationById(1), nullptr);
  EXPECT_EQ(core.GetInquireById(1), nullptr);
  EXPECT_EQ(core.GetProuductPicById(1, 1), nullptr);
  EXPECT_EQ(core.GetProuductVideoById(1, 1), nullptr);
  EXPECT_EQ(core.GetProuductCertById(1, 1), nullptr);
  EXPECT_EQ(core.GetProductReportById(1, 1), nullptr);
  core.GetEntCertCatsOfGroup(L"1", categories);
  core.GetCurrentDate(date);
  EXPECT_EQ(bridge.Count(), 0u);
  EXPECT_EQ(core.GetLangType(), 0);
  EXPECT_TRUE(CQelClientCore::Initialize("x"));
  EXPECT_FALSE(core.Decrypt("x"));
}

TEST(Requests, CurrentDateHasNoLeadingZeros) {
  std::wstring date;
  CQelClientCore::GetInstance()->GetCurrentDate(date);
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::wstring expected = std::to_wstring(local.tm_year + 1900) + L"-" + std::to_wstring(local.tm_mon + 1) +
                          L"-" + std::to_wstring(local.tm_mday);
  EXPECT_EQ(date, expected);
}

}  // namespace
