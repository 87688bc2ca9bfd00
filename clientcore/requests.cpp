#include "requests.h"

#include <utility>

namespace qelclientcore {
namespace detail {

RequestBuilder& AddId(RequestBuilder& request, IdKey id, const std::string& value) {
  return request.Param(id.table, IdObject(id.key, value));
}

RequestBuilder IdRequest(IdKey id, const std::string& value) {
  RequestBuilder request;
  AddId(request, id, value);
  return request;
}

RequestBuilder ProductRequest(const std::string& productText) { return IdRequest(kProductId, productText); }

RequestBuilder& AddCaseResources(RequestBuilder& request, const std::string& caseText,
                                 const std::string& typeText) {
  return AddId(request, kCaseId, caseText).Param("PRODUCT_CASE_RES_TYPE", typeText);
}

RequestBuilder Submission(const char* key, Json::Value object) {
  RequestBuilder request;
  request.Param(key, std::move(object));
  return request;
}

}  // namespace detail
}  // namespace qelclientcore
