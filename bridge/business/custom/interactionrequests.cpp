#include "business/custom/interactionrequests.h"

#include <json/json.h>

#include "business/custom/consult.h"
#include "business/custom/inquiry.h"
#include "business/custom/lists.h"
#include "business/custom/seen.h"
#include "business/custom/signup.h"
#include "cqelbridge.h"
#include "logbridge.h"
#include "qel/json.h"

namespace qel {
namespace dataspace {
namespace custom {
namespace {

std::string CurrentUser() { return cqelbridge::GetInstance()->GetCurrentUID(); }

// The product and row ids of a delete request: the product id from
// PARAM.PRODUCT, or from the row object when that one is empty or missing;
// the row id is required.
bool DeleteIds(const std::string& json, const char* table, const char* idKey, std::string* productId,
               std::string* rowId) {
  Json::Value root;
  if (!qel::ParseGbkJson(json, &root)) return false;
  const Json::Value& param = qel::ObjectMember(root, "PARAM");
  const Json::Value& row = qel::ObjectMember(param, table);
  *productId = qel::TextMember(qel::ObjectMember(param, "PRODUCT"), "PRODUCT_ID");
  if (productId->empty()) *productId = qel::TextMember(row, "PRODUCT_ID");
  const Json::Value& id = qel::Member(row, idKey);
  if (id.isNull() || id.isArray() || id.isObject()) return false;
  *rowId = qel::ValueAsText(id);
  return true;
}

}  // namespace

int ConsultCount(const std::string& json, std::string* reply) {
  return GetProdConsCount(CurrentUser(), json, reply);
}

int InquiryCount(const std::string& json, std::string* reply) {
  return GetProdInqsCount(CurrentUser(), json, reply);
}

int DeleteConsultation(const std::string& json, std::string* /*reply*/) {
  std::string productId;
  std::string consultId;
  if (!DeleteIds(json, "PROD_CONSULT", "CONSULT_ID", &productId, &consultId)) {
    QEL_LOG_DIRECT("Can not get params from json in");
    return 1;
  }
  return DeleteConsult(CurrentUser(), productId, consultId);
}

int DeleteInquiryRequest(const std::string& json, std::string* /*reply*/) {
  std::string productId;
  std::string inquiryId;
  if (!DeleteIds(json, "PROD_INQUIRY", "INQUIRY_ID", &productId, &inquiryId)) {
    QEL_LOG_DIRECT("Can not get params fron json in");
    return 1;
  }
  return DeleteInquiry(CurrentUser(), productId, inquiryId);
}

int SignUp(const std::string& json, std::string* reply) {
  Json::Value root;
  if (json.empty() || !qel::ParseGbkJson(json, &root)) return 1;
  const Json::Value& info = qel::ObjectMember(qel::ObjectMember(root, "PARAM"), "REGINFO");
  if (info.isNull()) return 1;
  SignUpValues values;
  values.account = qel::TextMember(info, "ACCOUNT");
  values.password = qel::TextMember(info, "PASSWORD");
  values.mobile = qel::TextMember(info, "MOBILE");
  values.compName = qel::TextMember(info, "COMPNAME");
  values.email = qel::TextMember(info, "EMAIL");
  values.name = qel::TextMember(info, "NAME");
  values.position = qel::TextMember(info, "POSITION");
  values.tel1 = qel::TextMember(info, "TEL1");
  values.tel2 = qel::TextMember(info, "TEL2");
  values.tel3 = qel::TextMember(info, "TEL3");
  return UserReg(values, reply);
}

int SendSecurityCode(const std::string& json, std::string* reply) {
  return SendSecurityCodeRequest(json, reply);
}

int CheckSecurityCode(const std::string& json, std::string* reply) {
  return ValidateSecurityCode(json, reply);
}

int SubmitConsultation(const std::string& json, std::string* reply) {
  return ProdConsult(CurrentUser(), json, reply);
}

int SubmitInquiry(const std::string& json, std::string* reply) {
  return ProdInQuiry(CurrentUser(), json, reply);
}

int UserExists(const std::string& json, std::string* reply) { return UserISExist(json, reply); }

int ChangePassword(const std::string& json, std::string* /*reply*/) {
  Json::Value root;
  if (json.empty() || !qel::ParseGbkJson(json, &root)) return 1;
  const Json::Value& info = qel::ObjectMember(qel::ObjectMember(root, "PARAM"), "CHECKINFO");
  if (info.isNull()) return 1;
  return ModifyPassword(qel::TextMember(info, "USERNAME"), qel::TextMember(info, "NEWPWD"),
                        qel::TextMember(info, "TYPE"));
}

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
