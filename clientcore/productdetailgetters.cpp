// The tabs of one product's detail view, and the local model filters.
#include <set>

#include "bridgecall.h"
#include "clientcoreruntime.h"
#include "getterhelpers.h"
#include "qel/json.h"
#include "qelclientcore.h"
#include "requests.h"

namespace qelclientcore {

using namespace detail;

namespace {

// A list tab: the caller's vector is emptied, then filled in reply order.
template <class T>
void ProductList(qel::request::Code code, const std::string& productText, std::vector<T>& out) {
  GuardedFill(out, [&] {
    if (productText.empty()) return;
    out.clear();
    AppendRecords(Call(code, ProductRequest(productText)), &out);
  });
}

// Stores each listed resource in a product's cache under its RES_ID.
template <class T>
void CacheResources(const std::vector<T>& listed, uint64_t productId,
                    std::map<uint64_t, std::map<int, T>>* cache) {
  if (listed.empty()) return;
  auto caches = LockCaches();
  for (const T& item : listed) (*cache)[productId][static_cast<int>(item.resId)] = item;
}

template <class T>
T* CachedEntry(std::map<uint64_t, std::map<int, T>>& cache, uint64_t productId, int id) {
  if (ClientCoreShutDown()) return nullptr;
  auto caches = LockCaches();
  auto product = cache.find(productId);
  if (product == cache.end()) return nullptr;
  auto entry = product->second.find(id);
  return entry != product->second.end() ? &entry->second : nullptr;
}

}  // namespace

bool CQelClientCore::GetProductDetailHead(uint64_t id, std::map<PRODUCTDETAILHEAD, ProductDetailHead>& out) {
  if (ClientCoreShutDown()) out.clear();
  return Guarded(false, [&] {
    if (id == 0) return false;
    out.clear();
    std::vector<ProductDetailHead> heads;
    if (!AppendRecords(Call(qel::request::kProductDetailHeads, ProductRequest(U64Text(id))), &heads))
      return false;
    // A later element of the same tab replaces the earlier one.
    for (ProductDetailHead& head : heads) out[static_cast<PRODUCTDETAILHEAD>(head.type)] = std::move(head);
    return true;
  });
}

void CQelClientCore::GetProductUnstructuredIntr(uint64_t productId,
                                                std::vector<ProductUnstructuredIntr>& out) {
  GetProductUnstructuredIntr(U64Text(productId), out);
}

void CQelClientCore::GetProductUnstructuredIntr(std::string productText,
                                                std::vector<ProductUnstructuredIntr>& out) {
  ProductList(qel::request::kProductIntroductions, productText, out);
}

void CQelClientCore::GetProuductPicCategorys(uint64_t productId, std::vector<ProductPicCategory>& out) {
  GetProuductPicCategorys(U64Text(productId), out);
}

void CQelClientCore::GetProuductPicCategorys(std::string productText, std::vector<ProductPicCategory>& out) {
  ProductList(qel::request::kProductPictureGroups, productText, out);
}

void CQelClientCore::GetProuductPics(uint64_t productId, int groupId, std::vector<ProductPic>& out) {
  GetProuductPics(U64Text(productId), IntText(groupId), out);
  // Only the list of every group (-1) fills the cache.
  if (groupId != -1) return;
  GuardedVoid([&] { CacheResources(out, productId, &productPics_); });
}

void CQelClientCore::GetProuductPics(std::string productText, std::string groupText,
                                     std::vector<ProductPic>& out) {
  GuardedFill(out, [&] {
    if (productText.empty() || groupText.empty()) return;
    out.clear();
    RequestBuilder request = ProductRequest(productText);
    request.Param("PICTURE_GROUP_ID", groupText);
    AppendRecords(Call(qel::request::kProductPictures, request), &out);
  });
}

void CQelClientCore::GetProuductVideos(uint64_t productId, std::vector<ProductVideo>& out) {
  ProductList(qel::request::kProductVideos, U64Text(productId), out);
  GuardedVoid([&] { CacheResources(out, productId, &productVideos_); });
}

void CQelClientCore::GetProuductVideos(std::string productText, std::vector<ProductVideo>& out) {
  ProductList(qel::request::kProductVideos, productText, out);
}

void CQelClientCore::GetProuductCerts(uint64_t productId, std::vector<ProductCert>& out) {
  ProductList(qel::request::kProductCerts, U64Text(productId), out);
  GuardedVoid([&] { CacheResources(out, productId, &productCerts_); });
}

void CQelClientCore::GetProuductCerts(std::string productText, std::vector<ProductCert>& out) {
  ProductList(qel::request::kProductCerts, productText, out);
}

void CQelClientCore::GetProuductCases(uint64_t productId, std::vector<ProductCase>& out) {
  GetProuductCases(U64Text(productId), out);
}

void CQelClientCore::GetProuductCases(std::string productText, std::vector<ProductCase>& out) {
  ProductList(qel::request::kProductCases, productText, out);
}

void CQelClientCore::GetProuductCaseRes(uint64_t productId, int caseId, int type,
                                        std::vector<ProductCaseRes>& out) {
  GetProuductCaseRes(U64Text(productId), IntText(caseId), IntText(type), out);
}

void CQelClientCore::GetProuductCaseRes(std::string productText, std::string caseText, std::string typeText,
                                        std::vector<ProductCaseRes>& out) {
  GuardedFill(out, [&] {
    if (productText.empty() || caseText.empty() || typeText.empty()) return;
    out.clear();
    RequestBuilder request = ProductRequest(productText);
    AddCaseResources(request, caseText, typeText);
    AppendRecords(Call(qel::request::kProductCaseResources, request), &out);
  });
}

void CQelClientCore::GetProductModels(uint64_t productId, std::vector<ProductModel>& out) {
  GetProductModels(U64Text(productId), out);
}

void CQelClientCore::GetProductModels(std::string productText, std::vector<ProductModel>& out) {
  ProductList(qel::request::kProductModels, productText, out);
}

void CQelClientCore::GetProductParameters(uint64_t productId, std::vector<ProductParameter>& out) {
  GetProductParameters(U64Text(productId), out);
}

void CQelClientCore::GetProductParameters(std::string productText, std::vector<ProductParameter>& out) {
  ProductList(qel::request::kProductParameters, productText, out);
}

void CQelClientCore::GetProductModelPics(uint64_t productId, std::vector<ProductModelPic>& out) {
  GetProductModelPics(U64Text(productId), out);
}

void CQelClientCore::GetProductModelPics(std::string productText, std::vector<ProductModelPic>& out) {
  ProductList(qel::request::kProductModelPictures, productText, out);
}

void CQelClientCore::GetProductReports(uint64_t productId, std::vector<ProductReport>& out, int limit,
                                       int offset) {
  GuardedFill(out, [&] {
    out.clear();
    RequestBuilder request = ProductRequest(U64Text(productId));
    request.Page(limit, offset);
    Reply reply = Call(qel::request::kProductReports, request);
    if (!reply.Ok()) return;
    AppendRecords(reply, &out);
    // The cache holds the reports of the latest product only.
    auto caches = LockCaches();
    productReports_.clear();
    for (const ProductReport& report : out) productReports_[productId][report.reportId] = report;
  });
}

const ProductParameterValueMap* CQelClientCore::GetProductParameterValues(uint64_t productId) {
  return Guarded<const ProductParameterValueMap*>(nullptr, [&]() -> const ProductParameterValueMap* {
    // Filled aside, and put in place under the lock once both requests
    // are done.
    ProductParameterValueMap values;
    auto settle = [this, &values](bool answered) -> const ProductParameterValueMap* {
      auto caches = LockCaches();
      parameterValues_ = std::move(values);
      return answered ? &parameterValues_ : nullptr;
    };
    Reply reply = Call(qel::request::kProductParameterValues, ProductRequest(U64Text(productId)));
    if (!reply.hasReply) return settle(false);
    Json::Value root;
    if (reply.result != 0 || !ReplyArray(reply, &root)) return settle(true);
    for (const Json::Value& element : root) {
      if (!qel::Member(element, "PRODUCT_ID").isString() || !qel::Member(element, "PARAM_ID").isString())
        continue;
      ProductParameterValue value;
      if (!ConvertElement(element, &value)) continue;
      values[value.productId][value.paramId] = std::move(value);
    }
    // Every model gets a value in the built-in model (its name) and price
    // (empty) columns.
    std::vector<ProductModel> models;
    GetProductModels(productId, models);
    for (const ProductModel& model : models) {
      ProductParameterValue name;
      name.value = model.name;
      values[model.productId][static_cast<uint64_t>(static_cast<int64_t>(kModelParameterId))] = name;
      values[model.productId][static_cast<uint64_t>(static_cast<int64_t>(kPriceParameterId))] =
          ProductParameterValue();
    }
    return settle(true);
  });
}

ProductPic* CQelClientCore::GetProuductPicById(uint64_t productId, int resId) {
  return CachedEntry(productPics_, productId, resId);
}

ProductVideo* CQelClientCore::GetProuductVideoById(uint64_t productId, int resId) {
  return CachedEntry(productVideos_, productId, resId);
}

ProductCert* CQelClientCore::GetProuductCertById(uint64_t productId, int resId) {
  return CachedEntry(productCerts_, productId, resId);
}

ProductReport* CQelClientCore::GetProductReportById(uint64_t productId, int reportId) {
  return CachedEntry(productReports_, productId, reportId);
}

void CQelClientCore::GetProductParametersAll(uint64_t productId, std::vector<ProductParameter>& out) {
  GuardedFill(out, [&] {
    GetProductParameters(productId, out);
    auto caches = LockCaches();
    out.insert(out.begin(), modelParameter_);
    out.push_back(priceParameter_);
  });
}

void CQelClientCore::GetProductModelsByFilter(uint64_t productId, ProductParameterFilter& filter,
                                              std::vector<ProductModel>& out) {
  GuardedFill(out, [&] {
    out.clear();
    GetProductParameterValues(productId);
    std::vector<ProductModel> models;
    GetProductModels(productId, models);
    auto caches = LockCaches();
    for (const ProductModel& model : models) {
      auto values = parameterValues_.find(model.productId);
      if (values == parameterValues_.end()) continue;
      bool match = false;
      for (const auto& [paramId, wanted] : filter) {
        auto value = values->second.find(paramId);
        if (value == values->second.end()) continue;
        for (const ProductParameterValue& candidate : wanted) {
          if (candidate.value == value->second.value) {
            match = true;
            break;
          }
        }
        if (match) break;
      }
      if (match) out.push_back(model);
    }
  });
}

void CQelClientCore::GetProductParameterValuesByFilter(uint64_t productId, ProductParameterFilter& filter,
                                                       ProductParameterValueMap& out) {
  GuardedFill(out, [&] {
    out.clear();
    GetProductParameterValues(productId);
    auto caches = LockCaches();
    for (const auto& [modelId, values] : parameterValues_) {
      bool differs = false;
      for (const auto& [paramId, listed] : filter) {
        auto value = values.find(paramId);
        if (value == values.end()) continue;
        for (const ProductParameterValue& candidate : listed) {
          if (candidate.value != value->second.value) {
            differs = true;
            break;
          }
        }
        if (differs) break;
      }
      if (differs) out[modelId] = values;
    }
  });
}

}  // namespace qelclientcore
