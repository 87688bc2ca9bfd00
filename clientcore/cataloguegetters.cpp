// Company and about information, banner modules, categories, brands,
// products and favourites.
#include "bridgecall.h"
#include "clientcoreruntime.h"
#include "getterhelpers.h"
#include "qel/json.h"
#include "qelclientcore.h"
#include "requests.h"

namespace qelclientcore {

using namespace detail;

namespace {

// Caches a parsed reply for the *Js getters: only a reply with elements is
// kept, so a failed first request is asked again. The caches are read and
// filled under the lock, the request made without it.
bool FillJsCache(qel::request::Code code, Json::Value* cache) {
  {
    auto caches = LockCaches();
    if (cache->size() > 0) return true;
  }
  Reply reply = Call(code, "");
  Json::Value root;
  if (!reply.Ok() || !reply.Parse(&root) || root.size() == 0) return false;
  auto caches = LockCaches();
  if (cache->size() == 0) *cache = std::move(root);
  return true;
}

// Element 0 of a filled *Js cache; `empty` (null) when nothing was accepted.
Json::Value* FirstOfJsCache(qel::request::Code code, Json::Value* cache, Json::Value* empty) {
  const bool filled = FillJsCache(code, cache);
  auto caches = LockCaches();
  // The host may have written into the null value handed out before.
  if (!empty->isNull()) *empty = Json::Value();
  if (!filled) return empty;
  if (cache->isArray()) return &(*cache)[0];
  return cache->isObject() ? cache : empty;
}

Json::Value RequestJs(qel::request::Code code, const Json::Value& request) {
  Reply reply = Call(code, qel::WriteStyled(request));
  return reply.Root();
}

// Company and about records convert from the whole reply (element 0).
template <class T>
const T* CachedInfo(qel::request::Code code, T* member) {
  {
    auto caches = LockCaches();
    if (!member->json.empty()) return member;
  }
  Reply reply = Call(code, "");
  Json::Value root;
  if (!reply.Ok() || !reply.Parse(&root) || !root.isArray() || !FirstElement(root).isObject()) return nullptr;
  T record;
  if (!ConvertRecord(root, reply.text, &record)) return nullptr;
  auto caches = LockCaches();
  // A record another thread filled meanwhile stays: a host may hold it.
  if (member->json.empty()) *member = std::move(record);
  return member;
}

}  // namespace

const CompanyInfo* CQelClientCore::GetCompanyInfo() {
  return Guarded<const CompanyInfo*>(
      nullptr, [this] { return CachedInfo(qel::request::kCompanyInfo, &companyInfo_); });
}

const QelInfo* CQelClientCore::GetQelInfo() {
  return Guarded<const QelInfo*>(nullptr, [this] { return CachedInfo(qel::request::kAboutInfo, &qelInfo_); });
}

Json::Value& CQelClientCore::GetCompanyInfoJs() {
  return *Guarded<Json::Value*>(
      &emptyJs_, [this] { return FirstOfJsCache(qel::request::kCompanyInfo, &companyInfoJs_, &emptyJs_); });
}

Json::Value& CQelClientCore::GetQelInfoJs() {
  return *Guarded<Json::Value*>(
      &emptyJs_, [this] { return FirstOfJsCache(qel::request::kAboutInfo, &qelInfoJs_, &emptyJs_); });
}

Json::Value& CQelClientCore::GetPrimaryModulesJs() {
  GuardedVoid([this] { FillJsCache(qel::request::kPrimaryModules, &primaryModulesJs_); });
  return primaryModulesJs_;
}

Json::Value& CQelClientCore::GetTopProductCategorysJs() {
  GuardedVoid([this] { FillJsCache(qel::request::kTopCategories, &topProductCategorysJs_); });
  return topProductCategorysJs_;
}

Json::Value CQelClientCore::GetSubProductCategorysJs(Json::Value& request) {
  return Guarded(Json::Value(), [&request] { return RequestJs(qel::request::kChildCategories, request); });
}

Json::Value CQelClientCore::GetParentProductCategorysJs(Json::Value& request) {
  return Guarded(Json::Value(), [&request] { return RequestJs(qel::request::kParentCategory, request); });
}

Json::Value CQelClientCore::GetProductsByCategoryJs(Json::Value& request) {
  return Guarded(Json::Value(), [&request] { return RequestJs(qel::request::kCategoryProducts, request); });
}

const std::vector<PrimaryModule>* CQelClientCore::GetPrimaryModeles() {
  return Guarded<const std::vector<PrimaryModule>*>(nullptr, [this]() -> const std::vector<PrimaryModule>* {
    {
      auto caches = LockCaches();
      if (!primaryModules_.empty()) return &primaryModules_;
    }
    std::vector<PrimaryModule> modules;
    if (!AppendRecords(Call(qel::request::kPrimaryModules, ""), &modules)) return nullptr;
    auto caches = LockCaches();
    if (primaryModules_.empty()) primaryModules_ = std::move(modules);
    return &primaryModules_;
  });
}

const std::vector<SecondaryModule>* CQelClientCore::GetSecondaryModules(int bannerId) {
  return GetSecondaryModules(std::to_string(bannerId));
}

const std::vector<SecondaryModule>* CQelClientCore::GetSecondaryModules(std::string bannerText) {
  return Guarded<const std::vector<SecondaryModule>*>(
      nullptr, [this, &bannerText]() -> const std::vector<SecondaryModule>* {
        std::vector<SecondaryModule> modules;
        const bool ok =
            AppendRecords(Call(qel::request::kSecondaryModules, IdRequest(kBannerId, bannerText)), &modules);
        auto caches = LockCaches();
        // The list holds the latest answer only: empty after a failure.
        secondaryModules_ = std::move(modules);
        if (!ok) return nullptr;
        for (const SecondaryModule& m : secondaryModules_) secondaryModuleMap_[m.bannerCateId] = m;
        return &secondaryModules_;
      });
}

SecondaryModule* CQelClientCore::GetSecondaryModuleByID(int id) {
  return CachedEntry(secondaryModuleMap_, id);
}

bool CQelClientCore::UpdateSecondaryModuleStatus(int id) {
  return Guarded(false, [this, id] {
    return MarkCachedSeen("BANNER_CATEGORY", secondaryModuleMap_, id, secondaryModules_,
                          [id](const SecondaryModule& m) { return m.bannerCateId == id; });
  });
}

void CQelClientCore::GetTopProuductCategorys(std::vector<ProductCategory>& out) {
  GuardedFill(out, [&out] {
    out.clear();
    AppendRecords(Call(qel::request::kTopCategories, ""), &out);
  });
}

void CQelClientCore::GetSubProuductCategorys(uint64_t categoryId, std::vector<ProductCategory>& out) {
  GetSubProuductCategorys(U64Text(categoryId), out);
}

void CQelClientCore::GetSubProuductCategorys(std::string categoryText, std::vector<ProductCategory>& out) {
  GuardedFill(out, [&] {
    if (categoryText.empty()) return;
    out.clear();
    AppendRecords(Call(qel::request::kChildCategories, IdRequest(kCategoryId, categoryText)), &out);
  });
}

void CQelClientCore::GetParentProuductCategorys(uint64_t categoryId, std::vector<ProductCategory>& out) {
  GetParentProuductCategorys(U64Text(categoryId), out);
}

void CQelClientCore::GetParentProuductCategorys(std::string categoryText, std::vector<ProductCategory>& out) {
  GuardedFill(out, [&] {
    if (categoryText.empty()) return;
    out.clear();
    AppendRecords(Call(qel::request::kParentCategory, IdRequest(kCategoryId, categoryText)), &out);
  });
}

void CQelClientCore::GetProuductBrandsByCategory(std::vector<ProductBrand>& out, uint64_t categoryId) {
  GetProuductBrandsByCategory(out, U64Text(categoryId));
}

void CQelClientCore::GetProuductBrandsByCategory(std::vector<ProductBrand>& out, std::string categoryText) {
  GuardedFill(out, [&] {
    if (categoryText.empty()) return;
    out.clear();
    AppendRecords(Call(qel::request::kCategoryBrands, IdRequest(kCategoryId, categoryText)), &out);
  });
}

void CQelClientCore::GetProductCategoryByID(uint64_t categoryId, ProductCategory& out) {
  GuardedVoid([&] {
    std::string request =
        categoryId == 0 ? std::string() : IdRequest(kCategoryId, U64Text(categoryId)).Text();
    ReadFirstRecord(Call(qel::request::kCategory, request), &out);
  });
}

int CQelClientCore::GetAllProuductsCount(int brandId) {
  return Guarded(0, [brandId] {
    std::string request = brandId == -1 ? std::string() : IdRequest(kBrandId, IntText(brandId)).Text();
    return ReadCount(Call(qel::request::kProductCount, request));
  });
}

const std::vector<Product>* CQelClientCore::GetAllProuducts(int brandId, int limit, int offset) {
  return Guarded<const std::vector<Product>*>(nullptr, [&]() -> const std::vector<Product>* {
    RequestBuilder request;
    if (brandId != -1) AddId(request, kBrandId, IntText(brandId));
    request.Page(limit, offset);
    std::vector<Product> products;
    const bool ok = AppendRecords(Call(qel::request::kAllProducts, request), &products);
    auto caches = LockCaches();
    products_ = std::move(products);
    if (!ok) return nullptr;
    for (const Product& p : products_) productMap_[p.productId] = p;
    return &products_;
  });
}

Product* CQelClientCore::GetProductByID(uint64_t id) {
  return Guarded<Product*>(nullptr, [this, id]() -> Product* {
    {
      auto caches = LockCaches();
      if (Product* cached = FindEntry(productMap_, id)) return cached;
    }
    Product product;
    if (!ReadFirstRecord(Call(qel::request::kProduct, ProductRequest(U64Text(id))), &product)) return nullptr;
    // Stored under the id asked for, so the next call finds it; one that
    // another thread stored meanwhile stays.
    auto caches = LockCaches();
    return &productMap_.emplace(id, std::move(product)).first->second;
  });
}

void CQelClientCore::GetProductsByCategory(uint64_t categoryId, std::vector<Product>& out, int brandId,
                                           int limit, int offset) {
  GetProductsByCategory(U64Text(categoryId), out, brandId == -1 ? std::string() : IntText(brandId), limit,
                        offset);
}

void CQelClientCore::GetProductsByCategory(std::string categoryText, std::vector<Product>& out,
                                           std::string brandText, int limit, int offset) {
  GuardedFill(out, [&] {
    if (categoryText.empty()) return;
    out.clear();
    RequestBuilder request = IdRequest(kCategoryId, categoryText);
    if (!brandText.empty()) AddId(request, kBrandId, brandText);
    request.Page(limit, offset);
    AppendRecords(Call(qel::request::kCategoryProducts, request), &out);
  });
}

void CQelClientCore::SearchProduct(std::string text, std::vector<Product>& out) {
  GuardedFill(out, [&] {
    out.clear();
    // A JSON value, so quotes and backslashes in the search text arrive as
    // typed.
    RequestBuilder request = IdRequest(kSearchText, text);
    AppendRecords(Call(qel::request::kSearchProducts, request), &out);
  });
}

void CQelClientCore::MarkProductSeen(uint64_t id) {
  auto caches = LockCaches();
  auto found = productMap_.find(id);
  if (found != productMap_.end()) found->second.status = kSeen;
  for (Product& p : products_) {
    if (p.productId == id) p.status = kSeen;
  }
  for (Product& p : favorites_) {
    if (p.productId == id) p.status = kSeen;
  }
}

void CQelClientCore::SetProductFavorite(uint64_t id, int favorite) {
  auto caches = LockCaches();
  auto found = productMap_.find(id);
  if (found != productMap_.end()) found->second.favorite = favorite;
  for (Product& p : products_) {
    if (p.productId == id) p.favorite = favorite;
  }
}

bool CQelClientCore::UpdateProductStatus(uint64_t id) {
  if (!UpdateProductStatus(U64Text(id))) return false;
  GuardedVoid([this, id] { MarkProductSeen(id); });
  return true;
}

bool CQelClientCore::UpdateProductStatus(std::string productText) {
  return Guarded(false, [&] {
    return !productText.empty() && Call(qel::request::kMarkProductSeen, ProductRequest(productText)).Ok();
  });
}

const std::vector<Product>* CQelClientCore::GetFavoriteProducts(int, int) {
  return Guarded<const std::vector<Product>*>(nullptr, [this]() -> const std::vector<Product>* {
    std::vector<Product> favorites;
    const bool ok = AppendRecords(Call(qel::request::kFavorites, ""), &favorites);
    auto caches = LockCaches();
    favorites_ = std::move(favorites);
    return ok ? &favorites_ : nullptr;
  });
}

bool CQelClientCore::IsProductInFavorite(uint64_t id) { return IsProductInFavorite(U64Text(id)); }

bool CQelClientCore::IsProductInFavorite(std::string productText) {
  return Guarded(false, [&] {
    return !productText.empty() && Call(qel::request::kIsFavorite, ProductRequest(productText)).Ok();
  });
}

bool CQelClientCore::AddProductToFavorite(uint64_t id) {
  if (!AddProductToFavorite(U64Text(id))) return false;
  GuardedVoid([this, id] { SetProductFavorite(id, 1); });
  return true;
}

bool CQelClientCore::AddProductToFavorite(std::string productText) {
  return Guarded(false, [&] {
    return !productText.empty() && Call(qel::request::kAddFavorite, ProductRequest(productText)).Ok();
  });
}

bool CQelClientCore::RemoveProductFromFavorite(uint64_t id) {
  if (!RemoveProductFromFavorite(U64Text(id))) return false;
  GuardedVoid([this, id] {
    auto caches = LockCaches();
    auto found = productMap_.find(id);
    if (found != productMap_.end()) found->second.favorite = 0;
    products_.clear();
    favorites_.clear();
  });
  return true;
}

bool CQelClientCore::RemoveProductFromFavorite(std::string productText) {
  return Guarded(false, [&] {
    return !productText.empty() && Call(qel::request::kRemoveFavorite, ProductRequest(productText)).Ok();
  });
}

}  // namespace qelclientcore
