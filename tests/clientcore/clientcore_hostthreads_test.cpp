// Two host threads calling the same getters at once: the caches they read
// and fill stay whole (no double free, no torn map), every reply is
// released once, and afterwards every cache answers as one thread alone
// would have left it. Built here and under ThreadSanitizer (tests/tsan).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "fakebridge.h"
#include "qelclientcore.h"

namespace {

using namespace qelclientcore;
using qeltest::FakeBridge;

constexpr int kRounds = 2000;
constexpr int kProducts = 20;

std::string Array(const std::string& key, int count, const std::string& extra = "") {
  std::string text = "[";
  for (int i = 1; i <= count; ++i) {
    if (i > 1) text += ",";
    text += "{\"" + key + "\":\"" + std::to_string(i) + "\",\"NAME\":\"n" + std::to_string(i) + "\"" + extra +
            "}";
  }
  return text + "]";
}

// One round: the getters that read or fill a cache, each with a check that
// needs nothing but the call's own result (what a getter hands out may
// change with the other thread's next call).
struct Getter {
  const char* name;
  std::function<bool(CQelClientCore&, int round)> call;
};

const std::vector<Getter>& Getters() {
  static const std::vector<Getter> getters = {
      {"GetAllProuducts", [](CQelClientCore& c, int) { return c.GetAllProuducts(-1, 20, 0) != nullptr; }},
      {"GetProductByID",
       [](CQelClientCore& c, int round) { return c.GetProductByID(100 + round % 50) != nullptr; }},
      {"GetProductByID listed",
       [](CQelClientCore& c, int round) { return c.GetProductByID(1 + round % kProducts) != nullptr; }},
      {"UpdateProductStatus",
       [](CQelClientCore& c, int round) { return c.UpdateProductStatus(1 + round % 5); }},
      {"AddProductToFavorite", [](CQelClientCore& c, int) { return c.AddProductToFavorite(2); }},
      {"RemoveProductFromFavorite", [](CQelClientCore& c, int) { return c.RemoveProductFromFavorite(3); }},
      {"GetFavoriteProducts", [](CQelClientCore& c, int) { return c.GetFavoriteProducts(0, 0) != nullptr; }},
      {"GetCompanyInfo", [](CQelClientCore& c, int) { return c.GetCompanyInfo() != nullptr; }},
      {"GetCompanyInfoJs", [](CQelClientCore& c, int) { return c.GetCompanyInfoJs().isObject(); }},
      {"GetPrimaryModeles", [](CQelClientCore& c, int) { return c.GetPrimaryModeles() != nullptr; }},
      {"GetSecondaryModules", [](CQelClientCore& c, int) { return c.GetSecondaryModules(1) != nullptr; }},
      {"UpdateSecondaryModuleStatus",
       [](CQelClientCore& c, int round) { return c.UpdateSecondaryModuleStatus(1 + round % 3); }},
      {"GetConsultation",
       [](CQelClientCore& c, int) {
         std::vector<MyConsultation> list;
         c.GetConsultation(1, list, -1, -1);
         return list.size() == 3;
       }},
      {"GetConsultationById", [](CQelClientCore& c, int) { return c.GetConsultationById(2) != nullptr; }},
      {"GetProductParameterValues",
       [](CQelClientCore& c, int) { return c.GetProductParameterValues(1) != nullptr; }},
      {"GetProuductVideos",
       [](CQelClientCore& c, int) {
         std::vector<ProductVideo> videos;
         c.GetProuductVideos(1, videos);
         return videos.size() == 2 && c.GetProuductVideoById(1, 2) != nullptr;
       }},
      {"GetEntCertCategorys",
       [](CQelClientCore& c, int) {
         std::vector<EntCertCategory> categories;
         c.GetEntCertCategorys(categories);
         return categories.size() == 2 && c.GetEntCertCategoryById(1) != nullptr &&
                c.GetEntCertGroupById(L"1") != nullptr;
       }},
      {"GetEntCases", [](CQelClientCore& c, int) { return c.GetEntCases() != nullptr; }},
  };
  return getters;
}

TEST(ClientCoreHostThreads, TwoThreadsCallTheSameGetters) {
  FakeBridge bridge;
  bridge.Script(0x606, 0, Array("PRODUCT_ID", kProducts));
  bridge.Script(0x607, 0, std::string(R"([{"PRODUCT_ID":"100","NAME":"one"}])"));
  bridge.Script(0x501, 0, Array("PRODUCT_ID", 4));
  bridge.Script(0x101, 0, std::string(R"([{"ID":"1","NAME":"company"}])"));
  bridge.Script(0x000, 0, Array("BANNER_ID", 3));
  bridge.Script(0x001, 0, Array("BANNDERCATE_ID", 3));
  bridge.Script(0x53b, 0, Array("CONSULT_ID", 3));
  bridge.Script(0x423, 0, std::string(R"([{"PRODUCT_ID":"5","PARAM_ID":"1","VALUE":"v"}])"));
  bridge.Script(0x421, 0, Array("PRODUCT_ID", 2));
  bridge.Script(0x412, 0, Array("RES_ID", 2));
  bridge.Script(0x010, 0, Array("CERT_CATEGORY_ID", 2));
  bridge.Script(0x011, 0, Array("CERTGROUP_ID", 2));
  bridge.Script(0x009, 0, Array("CASE_ID", 2));
  CQelClientCore& core = *CQelClientCore::GetInstance();

  std::vector<std::vector<std::string>> failures(2);
  auto host = [&core, &failures](int thread) {
    for (int round = 0; round < kRounds; ++round) {
      for (const Getter& getter : Getters()) {
        if (!getter.call(core, round) && failures[thread].size() < 10)
          failures[thread].push_back(std::string(getter.name) + " in round " + std::to_string(round));
      }
    }
  };
  // A third thread marks cached items seen while the two read and refill
  // them: the records and list copies it changes are the ones the getters
  // hand out (the fake's replies carry no status, so a refill resets it).
  std::vector<std::string> marks;
  auto marker = [&core, &marks] {
    for (int round = 0; round < kRounds; ++round) {
      core.UpdateProductStatus(1 + round % kProducts);
      core.UpdateSecondaryModuleStatus(1 + round % 3);
      core.UpdateEntCaseStatus(1 + round % 2);
    }
    if (core.GetEntCases() == nullptr || !core.UpdateEntCaseStatus(1)) marks.push_back("case 1 not marked");
  };
  std::thread first(host, 0);
  std::thread second(host, 1);
  std::thread third(marker);
  first.join();
  second.join();
  third.join();
  for (const std::string& failure : marks) ADD_FAILURE() << "marker: " << failure;
  for (int thread = 0; thread < 2; ++thread) {
    for (const std::string& failure : failures[thread])
      ADD_FAILURE() << "thread " << thread << ": " << failure;
  }

  EXPECT_EQ(bridge.HandedOut(), bridge.Released());
  // The caches as one thread would have left them.
  const std::vector<Product>* products = core.GetAllProuducts(-1, 20, 0);
  ASSERT_NE(products, nullptr);
  ASSERT_EQ(products->size(), static_cast<size_t>(kProducts));
  for (uint64_t id = 1; id <= kProducts; ++id) {
    const Product* product = core.GetProductByID(id);
    ASSERT_NE(product, nullptr) << "product " << id;
    EXPECT_EQ(product->productId, id) << "product " << id;
    EXPECT_EQ(product->name, L"n" + std::to_wstring(id)) << "product " << id;
  }
  for (uint64_t id = 100; id < 150; ++id) EXPECT_NE(core.GetProductByID(id), nullptr) << "product " << id;
  const std::vector<SecondaryModule>* modules = core.GetSecondaryModules(1);
  ASSERT_NE(modules, nullptr);
  EXPECT_EQ(modules->size(), 3u);
  ASSERT_NE(core.GetSecondaryModuleByID(2), nullptr);
  EXPECT_EQ(core.GetSecondaryModuleByID(2)->bannerCateId, 2);
  const ProductParameterValueMap* values = core.GetProductParameterValues(1);
  ASSERT_NE(values, nullptr);
  EXPECT_EQ(values->size(), 3u);  // the value's product and the two models
  std::vector<std::wstring> categories;
  core.GetEntCertCatsOfGroup(L"2", categories);
  EXPECT_EQ(categories, (std::vector<std::wstring>{L"1", L"2"}));
}

}  // namespace
