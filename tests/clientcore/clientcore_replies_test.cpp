// What each call makes of the bridge's replies: result enums, booleans,
// counts, and the caches, which change only on an accepted reply.
#include <gtest/gtest.h>

#include "fakebridge.h"
#include "qelclientcore.h"

namespace {

using namespace qelclientcore;
using qeltest::ErrorReply;
using qeltest::FakeBridge;
using qeltest::Gbk;

CQelClientCore& Core() { return *CQelClientCore::GetInstance(); }

const std::optional<std::string> kNoReply = std::nullopt;

TEST(Replies, AccountResultEnums) {
  struct Case {
    int result;
    std::optional<std::string> reply;
    int login, sendCode, checkCode, reg;
    const wchar_t* error;
  };
  const Case cases[] = {
      {0, std::string("[]"), 0, 0, 0, 0, L""},
      {100020, ErrorReply(100020, "密码错误"), 1, 1, 2, 2, L"密码错误"},
      {100013, ErrorReply(100013, "无此用户"), 2, 1, 2, 2, L"无此用户"},
      {1, ErrorReply(1, "其他"), 3, 1, 2, 2, L"其他"},
      // A failure reply without a text: the built-in text of the service.
      {19999, std::string("not json"), 3, 1, 2, 2, L"服务未能完成请求，请稍后重试"},
      {100013, kNoReply, 3, 2, 3, 3, L""},
      {0, kNoReply, 3, 2, 3, 3, L""},
  };
  for (const Case& c : cases) {
    FakeBridge bridge;
    bridge.Default(c.result, c.reply);
    std::wstring e1, e2, e3, e4;
    UserRegInfo info;
    EXPECT_EQ(Core().LogIn("u", "p", true, e1), c.login) << c.result;
    EXPECT_EQ(Core().SendRegCode("a", 1, e2), c.sendCode) << c.result;
    EXPECT_EQ(Core().CheckRegCode("1", "a", 1, e3), c.checkCode) << c.result;
    EXPECT_EQ(Core().DoUserReg(info, e4), c.reg) << c.result;
    for (const std::wstring* e : {&e1, &e2, &e3, &e4}) EXPECT_EQ(*e, c.error) << c.result;
    EXPECT_EQ(bridge.HandedOut(), bridge.Released());
  }
}

TEST(Replies, BooleanAndStatusCalls) {
  struct Case {
    const char* name;
    int code;
    int result;
    std::optional<std::string> reply;
    std::function<int()> call;
    int expected;
  };
  std::wstring error;
  MyFeed feed;
  MyConsultation consult;
  MyInquire inquire;
  const Case cases[] = {
      {"need update", 0x571, 0, std::string(R"([{"STATUS":"1"}])"),
       [] { return Core().IsDataNeedUpdateSync(); }, 1},
      {"need update bare", 0x571, 0, std::string(R"({"STATUS":"1"})"),
       [] { return Core().IsDataNeedUpdateSync(); }, 1},
      {"no update 2", 0x571, 0, std::string(R"([{"STATUS":"2"}])"),
       [] { return Core().IsDataNeedUpdateSync(); }, 0},
      {"status number", 0x571, 0, std::string(R"([{"STATUS":1}])"),
       [] { return Core().IsDataNeedUpdateSync(); }, 0},
      {"update failed", 0x571, 19999, std::string(R"([{"STATUS":"1"}])"),
       [] { return Core().IsDataNeedUpdateSync(); }, 0},
      {"app 2", 0x572, 0, std::string(R"([{"STATUS":"2"}])"), [] { return Core().IsNeedUpdateApp(); }, 2},
      {"app no reply", 0x572, 0, kNoReply, [] { return Core().IsNeedUpdateApp(); }, 0},
      {"app failure", 0x572, 1, ErrorReply(1, ""), [] { return Core().IsNeedUpdateApp(); }, 0},
      {"data update ok", 0x570, 0, std::string(""), [] { return Core().DoDataUpdate(); }, 1},
      {"data update ok without text", 0x570, 0, kNoReply, [] { return Core().DoDataUpdate(); }, 1},
      {"data update failed", 0x570, 500003, ErrorReply(500003, ""), [] { return Core().DoDataUpdate(); }, 0},
      {"feed ok", 0x550, 0, std::string("[]"), [&] { return Core().newFeed(feed, error); }, 1},
      {"feed failed", 0x550, 100001, ErrorReply(100001, ""), [&] { return Core().newFeed(feed, error); }, 0},
      {"feed no reply", 0x550, 0, kNoReply, [&] { return Core().newFeed(feed, error); }, 0},
      {"consult ok", 0x539, 0, std::string("[]"), [&] { return Core().NewConsult(consult); }, 1},
      {"consult failed", 0x539, 1, ErrorReply(1, ""), [&] { return Core().NewConsult(consult); }, 0},
      {"inquire ok", 0x53a, 0, std::string("[]"), [&] { return Core().NewInquire(inquire, false); }, 1},
      {"inquire no reply", 0x53a, 0, kNoReply, [&] { return Core().NewInquire(inquire, false); }, 0},
      {"in favourites", 0x504, 0, std::string("[]"), [] { return Core().IsProductInFavorite(3); }, 1},
      {"not in favourites", 0x504, 1, ErrorReply(1, ""), [] { return Core().IsProductInFavorite(3); }, 0},
      {"seen ok", 0x522, 0, std::string("[]"), [] { return Core().UpdateProductStatus(3); }, 1},
      {"seen failed", 0x522, 1, kNoReply, [] { return Core().UpdateProductStatus(3); }, 0},
      {"group seen", 0x523, 0, std::string("[]"), [] { return Core().UpdateEntCertGroupStatus(L"1"); }, 1},
      {"group seen without text", 0x523, 0, kNoReply, [] { return Core().UpdateEntCertGroupStatus(L"1"); },
       1},
      {"group seen no text failed", 0x523, 1, kNoReply, [] { return Core().UpdateEntCertGroupStatus(L"1"); },
       0},
      {"group seen failed", 0x523, 19999, ErrorReply(19999, ""),
       [] { return Core().UpdateEntCertGroupStatus(L"1"); }, 0},
      {"consult count", 0x537, 0, std::string(R"([{"COUNT":"12"}])"),
       [] { return Core().GetConsultationCount(1); }, 12},
      {"inquire count failed", 0x538, 1, std::string(R"([{"COUNT":"12"}])"),
       [] { return Core().GetInquireCount(1); }, 0},
      {"group count", 0x013, 0, std::string(R"([{"COUNT":"4"}])"),
       [] { return Core().GetAllEntCertGroupCount(); }, 4},
      {"cert count", 0x200, 0, std::string(R"([{"CERT_ID":"1"},{"ID":"2"}])"),
       [] { return Core().GetAllEntCertCount(); }, 2},
  };
  for (const Case& c : cases) {
    FakeBridge bridge;
    bridge.Script(c.code, c.result, c.reply);
    EXPECT_EQ(c.call(), c.expected) << c.name;
    EXPECT_EQ(bridge.HandedOut(), bridge.Released()) << c.name;
  }
}

TEST(Replies, UserExistsAndLoginState) {
  FakeBridge bridge;
  std::wstring error;
  int exist = -5;
  bridge.Script(0x554, 0, std::string(R"([{"EXIST":"1"}])"));
  bridge.Script(0x554, 0, std::string(R"([{"EXIST":1}])"));
  bridge.Script(0x554, 100001, ErrorReply(100001, "坏"));
  EXPECT_TRUE(Core().IsUserExisted("n", 1, "", error, exist));
  EXPECT_EQ(exist, 1);
  exist = 7;
  EXPECT_TRUE(Core().IsUserExisted("n", 1, "", error, exist));
  EXPECT_EQ(exist, 7);  // not a string: left as it was
  EXPECT_FALSE(Core().IsUserExisted("n", 1, "", error, exist));
  EXPECT_EQ(error, L"坏");

  bridge.Script(0x534, 0, Gbk(R"([{"UID":"u1","NAME":"张三"}])"));
  bridge.Script(0x534, 0, std::string(R"([{"NAME":"x"}])"));
  EXPECT_TRUE(Core().IsUserInTheLogin());
  EXPECT_FALSE(Core().IsUserInTheLogin());
}

// Deleting is true exactly when the bridge deleted, and only then is the
// cached entry dropped.
TEST(Replies, DeletesAreTrueOnSuccessOnly) {
  FakeBridge bridge;
  bridge.Script(0x53b, 0, std::string(R"([{"CONSULT_ID":"7"},{"CONSULT_ID":"8"}])"));
  bridge.Script(0x53c, 0, std::string(R"([{"INQUIRY_ID":"-1"}])"));
  std::vector<MyConsultation> consults;
  std::vector<MyInquire> inquiries;
  Core().GetConsultation(1, consults, 10, 0);
  Core().GetInquire(1, inquiries, 10, 0);
  ASSERT_NE(Core().GetConsultationById(7), nullptr);
  ASSERT_NE(Core().GetInquireById(-1), nullptr);

  bridge.Script(0x53d, 100001, ErrorReply(100001, ""));
  bridge.Script(0x53d, 0, std::string("[]"));
  EXPECT_FALSE(Core().DelConsultation(0, 7));
  EXPECT_NE(Core().GetConsultationById(7), nullptr);
  EXPECT_TRUE(Core().DelConsultation(0, 7));
  EXPECT_EQ(Core().GetConsultationById(7), nullptr);
  EXPECT_NE(Core().GetConsultationById(8), nullptr);

  bridge.Script(0x53e, 0, kNoReply);
  bridge.Script(0x53e, 0, std::string("[]"));
  EXPECT_FALSE(Core().DelInquire(1, -1));
  EXPECT_NE(Core().GetInquireById(-1), nullptr);
  EXPECT_TRUE(Core().DelInquire(1, -1));
  EXPECT_EQ(Core().GetInquireById(-1), nullptr);

  // A failed refresh keeps the cache; an accepted one replaces it.
  bridge.Script(0x53b, 1, ErrorReply(1, ""));
  bridge.Script(0x53b, 0, std::string(R"([{"CONSULT_ID":"9"}])"));
  Core().GetConsultation(1, consults, 10, 0);
  EXPECT_TRUE(consults.empty());
  EXPECT_NE(Core().GetConsultationById(8), nullptr);
  Core().GetConsultation(1, consults, 10, 0);
  EXPECT_EQ(Core().GetConsultationById(8), nullptr);
  EXPECT_NE(Core().GetConsultationById(9), nullptr);

  // The same for inquiries, refreshed through RefreshInquire: a failed or
  // missing reply keeps the cache.
  bridge.Script(0x53c, 0, std::string(R"([{"INQUIRY_ID":"4"}])"));
  Core().GetInquire(1, inquiries, 10, 0);
  ASSERT_NE(Core().GetInquireById(4), nullptr);
  bridge.Script(0x53c, 1, ErrorReply(1, ""));
  bridge.Script(0x53c, 0, kNoReply);
  bridge.Script(0x53c, 0, std::string(R"([{"INQUIRY_ID":"5"}])"));
  Core().RefreshInquire(1, 0);
  EXPECT_NE(Core().GetInquireById(4), nullptr) << "after a failure reply";
  Core().RefreshInquire(1, 0);
  EXPECT_NE(Core().GetInquireById(4), nullptr) << "after no reply";
  Core().RefreshInquire(1, 0);
  EXPECT_EQ(Core().GetInquireById(4), nullptr);
  EXPECT_NE(Core().GetInquireById(5), nullptr);
}

TEST(Replies, ProductCacheChangesOnlyOnAcceptedReplies) {
  FakeBridge bridge;
  bridge.Script(0x607, 0, std::string("[]"));
  bridge.Script(0x607, 0, std::string(R"([{"PRODUCT_ID":"5","NAME":"x","FAVORITE":"0","STATUS":"2"}])"));
  EXPECT_EQ(Core().GetProductByID(5), nullptr);  // unknown: no blank entry
  Product* product = Core().GetProductByID(5);
  ASSERT_NE(product, nullptr);
  EXPECT_EQ(product->name, L"x");
  EXPECT_EQ(Core().GetProductByID(5), product);  // from memory
  EXPECT_EQ(bridge.Count(), 2u);

  bridge.Script(0x606, 0, std::string(R"([{"PRODUCT_ID":"6","NAME":"y"},{"PRODUCT_ID":"5","NAME":"z"}])"));
  const std::vector<Product>* all = Core().GetAllProuducts(-1, 10, 0);
  ASSERT_NE(all, nullptr);
  EXPECT_EQ(all->size(), 2u);
  bridge.ClearRequests();
  ASSERT_NE(Core().GetProductByID(6), nullptr);
  EXPECT_EQ(Core().GetProductByID(5)->name, L"z");
  EXPECT_EQ(bridge.Count(), 0u);

  // Adding a favourite and marking as seen update the cached records.
  bridge.Script(0x502, 0, std::string("[]"));
  bridge.Script(0x522, 0, std::string("[]"));
  ASSERT_TRUE(Core().AddProductToFavorite(5));
  ASSERT_TRUE(Core().UpdateProductStatus(5));
  EXPECT_EQ(Core().GetProductByID(5)->favorite, 1);
  EXPECT_EQ(Core().GetProductByID(5)->status, 1);
  EXPECT_EQ((*all)[1].favorite, 1);
  EXPECT_EQ(Core().GetProductByID(6)->favorite, 0);

  bridge.Script(0x501, 0, std::string(R"([{"PRODUCT_ID":"5"}])"));
  ASSERT_EQ(Core().GetFavoriteProducts(0, 0)->size(), 1u);
  bridge.Script(0x503, 0, std::string("[]"));
  ASSERT_TRUE(Core().RemoveProductFromFavorite(5));
  EXPECT_EQ(Core().GetProductByID(5)->favorite, 0);
  EXPECT_TRUE(all->empty());

  bridge.Script(0x606, 1, ErrorReply(1, ""));
  EXPECT_EQ(Core().GetAllProuducts(-1, 10, 0), nullptr);
}

TEST(Replies, CompanyAndAboutAreAskedAgainAfterAFailure) {
  FakeBridge bridge;
  bridge.Script(0x101, 19999, ErrorReply(19999, ""));
  bridge.Script(0x101, 0, std::string("[]"));
  bridge.Script(0x101, 0, Gbk(R"([{"ID":"1","NAME":"公司"}])"));
  EXPECT_EQ(Core().GetCompanyInfo(), nullptr);
  EXPECT_EQ(Core().GetCompanyInfo(), nullptr);
  const CompanyInfo* company = Core().GetCompanyInfo();
  ASSERT_NE(company, nullptr);
  EXPECT_EQ(company->name, L"公司");
  EXPECT_EQ(Core().GetCompanyInfo(), company);
  EXPECT_EQ(bridge.Count(), 3u);

  bridge.ClearRequests();
  bridge.Script(0x100, 0, kNoReply);
  bridge.Script(0x100, 0, std::string(R"([{"ID":"2","NAME":"q"}])"));
  EXPECT_TRUE(Core().GetQelInfoJs().isNull());
  EXPECT_EQ(Core().GetQelInfoJs()["NAME"].asString(), "q");
  EXPECT_EQ(Core().GetQelInfoJs()["NAME"].asString(), "q");
  EXPECT_EQ(bridge.Count(), 2u);

  bridge.Script(0x000, 1, ErrorReply(1, ""));
  bridge.Script(0x000, 0, std::string(R"([{"BANNER_ID":"1"}])"));
  EXPECT_TRUE(Core().GetPrimaryModulesJs().isNull());
  EXPECT_EQ(Core().GetPrimaryModulesJs().size(), 1u);
  EXPECT_EQ(Core().GetPrimaryModeles()->size(), 1u);
  EXPECT_EQ(Core().GetPrimaryModeles()->front().bannerId, 1);
}

TEST(Replies, SecondaryModulesAndTheirSeenMark) {
  FakeBridge bridge;
  const std::string module1 = Gbk(R"({"BANNDERCATE_ID":"11","NAME":"誠","STATUS":"2"})");
  bridge.Script(0x001, 0, "[" + module1 + "]");
  bridge.Script(0x001, 0, std::string(R"([{"BANNDERCATE_ID":"12"}])"));
  ASSERT_EQ(Core().GetSecondaryModules(1)->size(), 1u);
  ASSERT_EQ(Core().GetSecondaryModules(2)->size(), 1u);
  ASSERT_NE(Core().GetSecondaryModuleByID(11), nullptr);  // the map keeps the first banner's
  bridge.ClearRequests();
  bridge.Script(0x523, 0, std::string("[]"));
  EXPECT_TRUE(Core().UpdateSecondaryModuleStatus(11));
  EXPECT_EQ(Core().GetSecondaryModuleByID(11)->status, 1);
  Json::Value sent = bridge.Last().json;
  EXPECT_EQ(sent["PARAM"]["BANNER_CATEGORY"]["NAME"].asString(), Gbk("誠"));
  EXPECT_EQ(sent["PARAM"]["BANNER_CATEGORY"]["BANNDERCATE_ID"].asString(), "11");
}

TEST(Replies, ProductDetailCaches) {
  FakeBridge bridge;
  bridge.Script(
      0x430, 0,
      std::string(R"([{"TYPE":"1","COUNT":"2"},{"TYPE":"1","COUNT":"5"},{"TYPE":"4","COUNT":"1"}])"));
  std::map<PRODUCTDETAILHEAD, ProductDetailHead> heads;
  EXPECT_TRUE(Core().GetProductDetailHead(3, heads));
  ASSERT_EQ(heads.size(), 2u);
  EXPECT_EQ(heads[static_cast<PRODUCTDETAILHEAD>(1)].count, 5);

  bridge.Script(0x411, 0, std::string(R"([{"RES_ID":"21","PATH":"a.png"}])"));
  std::vector<ProductPic> pics;
  Core().GetProuductPics(3, 5, pics);
  EXPECT_EQ(pics.size(), 1u);
  EXPECT_EQ(Core().GetProuductPicById(3, 21), nullptr);
  Core().GetProuductPics(3, -1, pics);
  ASSERT_NE(Core().GetProuductPicById(3, 21), nullptr);
  EXPECT_EQ(Core().GetProuductPicById(3, 21)->path, L"./files/a.png");

  bridge.Script(0x414, 0, std::string(R"([{"REPORT_ID":"4"}])"));
  bridge.Script(0x414, 0, std::string(R"([{"REPORT_ID":"5"}])"));
  bridge.Script(0x414, 1, ErrorReply(1, ""));
  std::vector<ProductReport> reports;
  Core().GetProductReports(1, reports, 10, 0);
  Core().GetProductReports(2, reports, 10, 0);
  EXPECT_EQ(Core().GetProductReportById(1, 4), nullptr);
  EXPECT_NE(Core().GetProductReportById(2, 5), nullptr);
  Core().GetProductReports(3, reports, 10, 0);
  EXPECT_TRUE(reports.empty());
  EXPECT_NE(Core().GetProductReportById(2, 5), nullptr);  // a failed refresh keeps it
}

TEST(Replies, ParameterValuesAndFilters) {
  FakeBridge bridge;
  std::vector<ProductParameter> params;
  bridge.Script(0x422, 1, ErrorReply(1, ""));
  Core().GetProductParametersAll(1, params);
  ASSERT_EQ(params.size(), 2u);
  EXPECT_EQ(params[0].paramId, -1);
  EXPECT_EQ(params[1].paramId, -2);

  bridge.Script(0x423, 0, std::string(R"([{"PRODUCT_ID":"10","PARAM_ID":"1","VALUE":"red"},
                                {"PRODUCT_ID":"11","PARAM_ID":"1","VALUE":"blue"},
                                {"PRODUCT_ID":12,"PARAM_ID":"1","VALUE":"red"}])"));
  bridge.Script(0x421, 0,
                std::string(R"([{"PRODUCT_ID":"10","NAME":"M10"},{"PRODUCT_ID":"11","NAME":"M11"}])"));
  const ProductParameterValueMap* values = Core().GetProductParameterValues(1);
  ASSERT_NE(values, nullptr);
  ASSERT_EQ(values->size(), 2u);
  EXPECT_EQ(values->at(10).at(1).value, L"red");
  EXPECT_EQ(values->at(10).at(UINT64_MAX).value, L"M10");
  EXPECT_EQ(values->at(11).at(UINT64_MAX - 1).value, L"");

  ProductParameterFilter filter;
  filter[1].resize(1);
  filter[1][0].value = L"red";
  std::vector<ProductModel> models;
  Core().GetProductModelsByFilter(1, filter, models);
  ASSERT_EQ(models.size(), 1u);
  EXPECT_EQ(models[0].productId, 10u);
  ProductParameterValueMap differing;
  Core().GetProductParameterValuesByFilter(1, filter, differing);
  ASSERT_EQ(differing.size(), 1u);
  EXPECT_EQ(differing.begin()->first, 11u);

  ProductParameterFilter none;
  Core().GetProductModelsByFilter(1, none, models);
  EXPECT_TRUE(models.empty());

  bridge.Script(0x423, 0, kNoReply);
  EXPECT_EQ(Core().GetProductParameterValues(1), nullptr);
}

TEST(Replies, CertificateCategoriesLoadTheirGroups) {
  FakeBridge bridge;
  bridge.Script(0x010, 0,
                std::string(R"([{"CERT_CATEGORY_ID":"1","NEWCERTCOUNT":"1"},{"CERT_CATEGORY_ID":"2"}])"));
  bridge.Script(0x011, 0, std::string(R"([{"CERTGROUP_ID":"g1","STATUS":"2"}])"));
  bridge.Script(0x011, 0, std::string(R"([{"CERTGROUP_ID":"g1"},{"CERTGROUP_ID":"g2"}])"));
  std::vector<EntCertCategory> categories;
  Core().GetEntCertCategorys(categories);
  EXPECT_EQ(categories.size(), 2u);
  EXPECT_EQ(bridge.Codes(), (std::vector<int>{0x010, 0x011, 0x011}));
  std::vector<std::wstring> ofGroup;
  Core().GetEntCertCatsOfGroup(L"g1", ofGroup);
  EXPECT_EQ(ofGroup, (std::vector<std::wstring>{L"1", L"2"}));
  ofGroup.clear();
  Core().GetEntCertCatsOfGroup(L"none", ofGroup);
  EXPECT_TRUE(ofGroup.empty());
  ASSERT_NE(Core().GetEntCertGroupById(L"g2"), nullptr);

  bridge.Script(0x523, 0, std::string("[]"));
  EXPECT_TRUE(Core().UpdateEntCertGroupStatus(L"g1"));
  EXPECT_EQ(Core().GetEntCertGroupById(L"g1")->status, L"1");

  // The new-certificate count never goes below 0.
  EXPECT_TRUE(Core().UpdateEntCertsStatusByCategory(1));
  EXPECT_TRUE(Core().UpdateEntCertsStatusByCategory(1));
  EXPECT_EQ(Core().GetEntCertCategoryById(1)->newCertCount, 0);

  std::vector<EntCertsGroup> groups;
  bridge.Script(0x012, 0, std::string(R"([{"CERTGROUP_ID":"g3"}])"));
  Core().GetAllEntCertGroup(groups);
  Core().GetAllEntCertGroup(groups);
  EXPECT_EQ(groups.size(), 2u);  // appended, not replaced

  bridge.Script(0x014, 0, std::string(R"([{"RES_ID":"7"},{"RES_ID":"x"}])"));
  bridge.Script(0x014, 1, ErrorReply(1, ""));
  std::vector<EntCertPic> pics;
  Core().GetEntCertByGroup(L"g1", pics);
  ASSERT_EQ(pics.size(), 2u);
  EXPECT_EQ(pics[1].resId, 0);
  Core().GetEntCertByGroup(L"g2", pics);
  EXPECT_NE(Core().GetEntCertPicById(L"7"), nullptr);  // a failed call keeps the pictures
}

TEST(Replies, CompanyCertificatesAndCases) {
  FakeBridge bridge;
  bridge.Script(0x200, 0,
                std::string(R"([{"CERT_ID":"3","CERT_CATEGORY_ID":"1"},{"ID":"4","FATHER_ID":"1"}])"));
  const std::vector<EntCert>* certs = Core().GetAllEntCerts();
  ASSERT_NE(certs, nullptr);
  ASSERT_EQ(certs->size(), 2u);
  EXPECT_NE(Core().GetEntCertByID(4), nullptr);
  EXPECT_EQ(Core().GetAllEntCerts(), certs);
  EXPECT_EQ(bridge.Count(), 1u);
  EXPECT_FALSE(Core().UpdateEntCertStatus(3));
  EXPECT_EQ(bridge.Count(), 1u);

  bridge.Script(0x201, 0, std::string(R"([{"ID":"5"},{"ID":"6"},{"ID":"7"}])"));
  std::vector<EntCert> page;
  Core().GetEntCertsByCategory(1, page, 2, 1);
  ASSERT_EQ(page.size(), 2u);
  EXPECT_EQ(page[0].certId, 6);

  bridge.Script(0x009, 0, std::string(R"([{"CASE_ID":"8","STATUS":"2"}])"));
  ASSERT_EQ(Core().GetEntCases()->size(), 1u);
  EXPECT_FALSE(Core().UpdateEntCaseStatus(9));
  bridge.Script(0x523, 0, std::string("[]"));
  EXPECT_TRUE(Core().UpdateEntCaseStatus(8));
  EXPECT_EQ(Core().GetEntCaseById(8)->status, 1);
  EXPECT_EQ(Core().GetEntCases()->front().status, 1);
  EXPECT_EQ(bridge.Last().json["PARAM"]["PRODUCT_CASE"]["CASE_ID"].asString(), "8");
}

TEST(Replies, ApplicationUpdateListSkipsRefusedNames) {
  FakeBridge bridge;
  bridge.Script(0x573, 0, std::string(R"([{"url":"http://h/","filePath":"a.bin","fileName":"a.bin"},
                                {"url":"http://h/","filePath":"b","fileName":"../b"},
                                {"url":"http://h/","filePath":"c","fileName":"/sub/c.dll"}])"));
  std::vector<AppUpdateFiles> files;
  Core().GetUpdateAppList(files);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].url, "http://h/a.bin");
  Core().GetUpdateAppList("ignored", files);
  EXPECT_EQ(files.size(), 4u);
}

}  // namespace
