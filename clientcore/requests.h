// The request shapes of the client core, in one place: every getter names
// the id it sends instead of building the object again. The texts are
// written by RequestBuilder (bridgecall.h).
#pragma once

#include <string>

#include <json/json.h>

#include "bridgecall.h"

namespace qelclientcore {
namespace detail {

// Where the bridge reads one id: PARAM[table][key].
struct IdKey {
  const char* table;
  const char* key;
};

constexpr IdKey kProductId{"PRODUCT", "PRODUCT_ID"};
constexpr IdKey kCategoryId{"PRODUCT_CATEGORY", "PRO_CATEGORY_ID"};
constexpr IdKey kBrandId{"BRAND", "BRAND_ID"};
constexpr IdKey kBannerId{"BANNER", "BANNER_ID"};
constexpr IdKey kCaseId{"PRODUCT_CASE", "CASE_ID"};
constexpr IdKey kCertCategoryId{"CERT_CATEGORY", "CERT_CATEGORY_ID"};
constexpr IdKey kCertGroupId{"CERTGROUP", "CERTGROUP_ID"};
constexpr IdKey kAreaId{"SYS_AREA", "AREAID"};
constexpr IdKey kConsultId{"PROD_CONSULT", "CONSULT_ID"};
constexpr IdKey kInquiryId{"PROD_INQUIRY", "INQUIRY_ID"};
constexpr IdKey kSearchText{"FILTER", "FILTER"};

// Adds {"<key>":"<value>"} under PARAM[table].
RequestBuilder& AddId(RequestBuilder& request, IdKey id, const std::string& value);
// {"PARAM":{"<table>":{"<key>":"<value>"}}}.
RequestBuilder IdRequest(IdKey id, const std::string& value);
RequestBuilder ProductRequest(const std::string& productText);
// A case's resources of one type: the case id and PRODUCT_CASE_RES_TYPE.
RequestBuilder& AddCaseResources(RequestBuilder& request, const std::string& caseText,
                                 const std::string& typeText);
// A submission: one object under PARAM[key].
RequestBuilder Submission(const char* key, Json::Value object);

}  // namespace detail
}  // namespace qelclientcore
