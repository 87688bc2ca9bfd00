// The catalogue families end to end: the client core on the real bridge,
// on an installation with the sample rows (data/sample).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "common/qelcommon2.h"
#include "glogcapture.h"
#include "qelclientcore.h"
#include "testsupport.h"

namespace {

using namespace qelclientcore;

class InstallationServices : public ICommonServices {
 public:
  explicit InstallationServices(std::string root) : root_(std::move(root)) {}
  bool LogRecord() override { return false; }
  std::string Server() override { return ""; }
  std::string Ip() override { return ""; }
  std::string Mac() override { return ""; }
  std::string OperationSystemName() override { return "Linux"; }
  std::string ModuleDir() override { return root_; }
  int64_t CachedDataIntervalMs() override { return 900000; }
  std::string DownloadFile(const std::string&, const std::string&, const std::string&,
                           CommonDownloadProgress*) override {
    return "";
  }

 private:
  std::string root_;
};

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    Build();
    ASSERT_TRUE(Core().Init());
  }
  // The sample installation, handed to the client core as its folder.
  void Build() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(QEL_SOURCE_DIR) + "/data/sample")) {
      files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      std::string sql = qeltest::ReadFile(file.string());
      if (file.string().find(".qel_exdata.sql") != std::string::npos) {
        install_.Ex(sql);
      } else {
        install_.Main(sql);
      }
    }
    install_.Ex(
        "INSERT INTO COMPANYCERT (ID, FATHER_ID, NAME, IMG, STATUS, SORT) VALUES"
        "('501', '', '营业执照', 'cert/501.png', 1, 1), ('502', '501', '副本', 'cert/502.png', 1, 2),"
        "('503', '501', '旧证', '', 0, 3);");
    CCommon2::instance().SetServices(std::make_shared<InstallationServices>(install_.root()));
  }
  CQelClientCore& Core() { return *CQelClientCore::GetInstance(); }

  qeltest::Installation install_;
};

// Calls made before Init give their failure results and open nothing:
// Init still opens the installation, and the catalogue is there.
class BeforeInit : public EndToEnd {
 protected:
  void SetUp() override { Build(); }
};

TEST_F(BeforeInit, CallsFailAndInitStillOpensTheInstallation) {
  std::vector<ProductCategory> top;
  Core().GetTopProuductCategorys(top);
  EXPECT_TRUE(top.empty());
  EXPECT_EQ(Core().GetCompanyInfo(), nullptr);
  EXPECT_EQ(Core().GetAllProuductsCount(-1), 0);
  std::vector<Product> products;
  Core().GetProductsByCategory(1000001, products, -1, 50, 0);
  EXPECT_TRUE(products.empty());
  EXPECT_FALSE(Core().DoDataUpdate());

  ASSERT_TRUE(Core().Init());
  Core().GetTopProuductCategorys(top);
  ASSERT_GE(top.size(), 2u);
  EXPECT_EQ(top[0].categoryId, 1000001u);
  EXPECT_NE(Core().GetCompanyInfo(), nullptr);
  EXPECT_GT(Core().GetAllProuductsCount(-1), 0);
  CQelClientCore::Uninitialize();
}

// A broken installation still starts (an empty catalogue), and the log
// says at ERROR which files were looked for.
TEST_F(BeforeInit, MissingDatabasesAreLoggedWithTheirPaths) {
  std::filesystem::remove(install_.dataDb());
  std::filesystem::remove(install_.exDb());
  qeltest::GlogErrors errors;
  ASSERT_TRUE(Core().Init());
  EXPECT_TRUE(errors.Has({"installation incomplete", install_.dataDb(), "QEL_INSTALL_DIR"})) << errors.Text();
  EXPECT_TRUE(errors.Has({"installation incomplete", install_.exDb()})) << errors.Text();
  EXPECT_TRUE(errors.Has({"cannot open the main database", install_.dataDb()})) << errors.Text();
  std::vector<ProductCategory> top;
  Core().GetTopProuductCategorys(top);
  EXPECT_TRUE(top.empty());
  CQelClientCore::Uninitialize();
}

TEST_F(EndToEnd, CategoriesProductsAndBrands) {
  std::vector<ProductCategory> top;
  Core().GetTopProuductCategorys(top);
  ASSERT_GE(top.size(), 2u);
  EXPECT_EQ(top[0].categoryId, 1000001u);
  EXPECT_EQ(top[0].name, L"电子产品");  // GBK from SQLite to wide text

  std::vector<ProductCategory> sub;
  Core().GetSubProuductCategorys(1000001, sub);
  ASSERT_FALSE(sub.empty());
  EXPECT_EQ(sub[0].name, L"相机");
  std::vector<ProductCategory> parents;
  Core().GetParentProuductCategorys(1000001001001, parents);
  EXPECT_FALSE(parents.empty());

  ProductCategory category;
  Core().GetProductCategoryByID(1000002, category);
  EXPECT_EQ(category.name, L"家居用品");

  std::vector<Product> products;
  Core().GetProductsByCategory(1000001, products, -1, 50, 0);
  ASSERT_FALSE(products.empty());
  const Product first = products[0];
  Product* byId = Core().GetProductByID(first.productId);
  ASSERT_NE(byId, nullptr);
  EXPECT_EQ(byId->name, first.name);
  EXPECT_FALSE(byId->name.empty());

  std::vector<Product> page;
  Core().GetProductsByCategory(1000001, page, -1, 1, 1);
  ASSERT_EQ(page.size(), 1u);
  EXPECT_EQ(page[0].productId, products[1].productId);

  int count = Core().GetAllProuductsCount(-1);
  EXPECT_GT(count, 0);
  const std::vector<Product>* all = Core().GetAllProuducts(-1, 1000, 0);
  ASSERT_NE(all, nullptr);
  EXPECT_EQ(static_cast<int>(all->size()), count);

  std::vector<ProductBrand> brands;
  Core().GetProuductBrandsByCategory(brands, 1000001);
  ASSERT_FALSE(brands.empty());
  EXPECT_FALSE(brands[0].brandName.empty());
  EXPECT_GT(Core().GetAllProuductsCount(1), 0);

  Json::Value request(Json::objectValue);
  request["PARAM"]["PRODUCT_CATEGORY"]["PRO_CATEGORY_ID"] = "1000001";
  EXPECT_TRUE(Core().GetSubProductCategorysJs(request).isArray());
  EXPECT_TRUE(Core().GetTopProductCategorysJs().isArray());
}

TEST_F(EndToEnd, ProductDetailTabs) {
  // The sample product with the most detail rows: the first one whose
  // tab counts include models.
  std::vector<Product> products;
  Core().GetProductsByCategory(1000001, products, -1, 50, 0);
  ASSERT_FALSE(products.empty());
  uint64_t productId = 0;
  std::map<PRODUCTDETAILHEAD, ProductDetailHead> heads;
  for (const Product& p : products) {
    std::map<PRODUCTDETAILHEAD, ProductDetailHead> h;
    if (Core().GetProductDetailHead(p.productId, h) && h[static_cast<PRODUCTDETAILHEAD>(1)].count > 0) {
      productId = p.productId;
      heads = h;
      break;
    }
  }
  ASSERT_NE(productId, 0u) << "no sample product with models";
  std::vector<ProductModel> models;
  Core().GetProductModels(productId, models);
  EXPECT_FALSE(models.empty());
  std::vector<ProductParameter> params;
  Core().GetProductParametersAll(productId, params);
  ASSERT_GE(params.size(), 2u);
  EXPECT_EQ(params.front().paramId, -1);
  EXPECT_EQ(params.back().paramId, -2);
  const ProductParameterValueMap* values = Core().GetProductParameterValues(productId);
  ASSERT_NE(values, nullptr);
  EXPECT_EQ(values->size(), models.size());
  std::vector<ProductPic> pics;
  Core().GetProuductPics(productId, -1, pics);
  for (const ProductPic& pic : pics)
    EXPECT_NE(Core().GetProuductPicById(productId, static_cast<int>(pic.resId)), nullptr);
  std::vector<ProductPicCategory> groups;
  Core().GetProuductPicCategorys(productId, groups);
  std::vector<ProductUnstructuredIntr> intr;
  Core().GetProductUnstructuredIntr(productId, intr);
  std::vector<ProductCase> cases;
  Core().GetProuductCases(productId, cases);
  for (const ProductCase& c : cases) {
    std::vector<ProductCaseRes> res;
    Core().GetProuductCaseRes(productId, c.caseId, 1, res);
  }
  int withRows = 0;
  withRows += !pics.empty() + !groups.empty() + !intr.empty() + !cases.empty();
  EXPECT_GT(withRows, 0);
}

TEST_F(EndToEnd, CompanyModulesCertificatesAndCases) {
  const CompanyInfo* company = Core().GetCompanyInfo();
  ASSERT_NE(company, nullptr);
  EXPECT_EQ(company->name, L"示例电气有限公司");
  EXPECT_EQ(Core().GetCompanyInfoJs()["NAME"].asString(), qeltest::Gbk("示例电气有限公司"));
  EXPECT_NE(Core().GetQelInfo(), nullptr);

  const std::vector<PrimaryModule>* modules = Core().GetPrimaryModeles();
  ASSERT_NE(modules, nullptr);
  ASSERT_FALSE(modules->empty());
  size_t secondary = 0;
  for (const PrimaryModule& m : *modules) {
    const std::vector<SecondaryModule>* list = Core().GetSecondaryModules(m.bannerId);
    if (list != nullptr) secondary += list->size();
  }
  EXPECT_GT(secondary, 0u);

  std::vector<EntCertCategory> categories;
  Core().GetEntCertCategorys(categories);
  ASSERT_FALSE(categories.empty());
  EXPECT_NE(Core().GetEntCertCategoryById(categories[0].categoryId), nullptr);
  std::vector<EntCertsGroup> groups;
  Core().GetAllEntCertGroup(groups);
  ASSERT_FALSE(groups.empty());
  EXPECT_EQ(Core().GetAllEntCertGroupCount(), static_cast<int>(groups.size()));
  std::vector<std::wstring> ofGroup;
  Core().GetEntCertCatsOfGroup(groups[0].groupId, ofGroup);
  EXPECT_FALSE(ofGroup.empty());
  std::vector<EntCertPic> pics;
  Core().GetEntCertByGroup(groups[0].groupId, pics);
  for (const EntCertPic& pic : pics) EXPECT_NE(Core().GetEntCertPicById(pic.resIdText), nullptr);

  const std::vector<EntCase>* cases = Core().GetEntCases();
  ASSERT_NE(cases, nullptr);
  ASSERT_FALSE(cases->empty());
  std::vector<EntCaseRes> res;
  Core().GetEntCaseRes(cases->front().caseId, 1, res);

  // Company certificates come from the certificate module.
  const std::vector<EntCert>* certs = Core().GetAllEntCerts();
  ASSERT_NE(certs, nullptr);
  ASSERT_EQ(certs->size(), 2u);  // the valid ones, by SORT
  EXPECT_EQ(certs->front().certId, 501);
  EXPECT_EQ(certs->front().name, L"营业执照");
  EXPECT_EQ(certs->back().categoryId, 501);
  EXPECT_EQ(Core().GetAllEntCertCount(), 2);
  std::vector<EntCert> children;
  Core().GetEntCertsByCategory(501, children, -1, 0);
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(children[0].certId, 502);
  EXPECT_EQ(children[0].categoryId, 501);
}

// Account calls reach the bridge's custom module; the sample installation
// has no service, so they fail and give their failure results, with a
// sentence the host can show (the sample holds the transport's texts).
TEST_F(EndToEnd, AccountCallsWithoutServiceFail) {
  std::wstring error;
  EXPECT_EQ(Core().LogIn("u", "p", false, error), LOGIN_FAIL_OTHER);
  EXPECT_EQ(error, L"未设置服务地址");
  EXPECT_FALSE(Core().IsDataNeedUpdateSync());
}

}  // namespace
