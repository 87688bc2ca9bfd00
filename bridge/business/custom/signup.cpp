#include "business/custom/signup.h"

#include <memory>

#include <json/json.h>

#include "internet/qelservicecall.h"
#include "database/qelinfoaccess.h"
#include "database/qeldatasource.h"
#include "database/qelquery.h"
#include "database/qelrecord.h"
#include "internet/qelinternetrequestbean.h"
#include "internet/qelinternetresponsebean.h"
#include "internet/qelinternetresponsenode.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {
namespace custom {
namespace {

const char kRegFun[] = "qel::dataspace::qel_Invoke_Custom::UserReg";
const char kSendCodeFun[] = "qel::dataspace::qel_Invoke_Custom::SendSecurityCodeRequest";
const char kValidateFun[] = "qel::dataspace::qel_Invoke_Custom::ValidateSecurityCode";
const char kExistFun[] = "qel::dataspace::qel_Invoke_Custom::UserISExist";
const char kPasswordFun[] = "qel::dataspace::qel_Invoke_Custom::ModifyPassword";

const RequestType kRegister = 2;
const RequestType kPhoneCode = 3;
const RequestType kMailCode = 4;
const RequestType kValidateCode = 9;
const RequestType kNameExists = 13;
const RequestType kFindAccount = 17;
const RequestType kResetPassword = 18;

// The service's answer to queryPassportByName for a name that is taken.
const char kNameTaken[] = "100015";

// PARAM[table] of a request text; null when the text is empty, does not
// parse or has no such object.
Json::Value RequestObject(const std::string& json, const char* table) {
  Json::Value root;
  if (json.empty() || !qel::ParseGbkJson(json, &root)) return Json::Value();
  return qel::ObjectMember(qel::ObjectMember(root, "PARAM"), table);
}

// One request of type with param, sent; the parsed reply in response.
int SendOne(RequestType type, const Json::Value& param, const char* function,
            qelInternetResponseBean* response, std::string* reply,
            ServiceCheck check = ServiceCheck::kFirstItem) {
  return CallOne(type, param, function, "add login request error", response, reply, check);
}

std::string ExistReply(bool exists) {
  Json::Value row(Json::objectValue);
  row["EXIST"] = exists ? "1" : "0";
  Json::Value rows(Json::arrayValue);
  rows.append(row);
  return qel::WriteStyled(rows);
}

}  // namespace

int UserReg(const SignUpValues& v, std::string* reply) {
  Json::Value param(Json::objectValue);
  param["name"] = v.account;
  param["passwd"] = v.password;
  param["regtype"] = qel::GbkContainsAscii(v.account, '@') ? "2" : "1";
  param["pstats"] = "1";
  param["lang"] = qelInfoAccess::GetInstance()->GetLangID();
  param["addip"] = "";
  param["useStatus"] = "2";
  param["compname"] = v.compName;
  param["userName"] = v.name;
  param["tel1"] = v.tel1;
  param["tel2"] = v.tel2;
  param["tel3"] = v.tel3;
  param["position"] = v.position;
  param["showMobile"] = v.mobile;
  param["showEmail"] = v.email;
  qelInternetResponseBean response;
  const int result = SendOne(kRegister, param, kRegFun, &response, reply);
  if (result != 0) return result;

  std::unique_ptr<qelInternetResponseNode> node(response.GetResultNode(0));
  const std::string uid = node != nullptr ? node->GetFieldVal("USERID") : std::string();
  // The account exists at the service; a row without its id could never
  // be found again, so none is kept.
  if (uid.empty()) {
    QEL_LOG(kRegFun, "No USERID in the reply");
    return 0;
  }
  Json::Value row(Json::objectValue);
  row["UID"] = uid;
  row["USERID"] = v.account;
  row["MOBILE"] = v.mobile;
  row["COMPNAME"] = v.compName;
  row["NAME"] = v.name;
  row["EMAIL"] = v.email;
  row["POSITION"] = v.position;
  row["TEL1"] = v.tel1;
  row["TEL2"] = v.tel2;
  row["TEL3"] = v.tel3;
  qelRecord record;
  record.Append(row);
  IQELDatasource* datasource = MainDatasource();
  if (datasource == nullptr || !datasource->AddRecord("USERINFO", &record)) {
    QEL_LOG(kRegFun, " AddRecord Faild  ");
    return 1;
  }
  QEL_LOG(kRegFun, " AddRecord Success  ");
  return 0;
}

int SendSecurityCodeRequest(const std::string& json, std::string* reply) {
  const Json::Value info = RequestObject(json, "SENDINFO");
  if (!info.isObject()) return 1;
  const std::string type = qel::TextMember(info, "ACCOUNTTYPE");
  Json::Value param(Json::objectValue);
  param["name"] = qel::TextMember(info, "ACCOUNT");
  param["type"] = type;
  RequestType requestType = 0;
  if (type == "2") {
    requestType = kMailCode;
    param["templateNo"] = "7";
  } else if (type == "1") {
    requestType = kPhoneCode;
  } else {
    QEL_LOG(kSendCodeFun, "ACCOUNTTYPE error");
    return 1;
  }
  param["passWord"] = qel::TextMember(info, "PASSWORD");
  qelInternetResponseBean response;
  return SendOne(requestType, param, kSendCodeFun, &response, reply);
}

int ValidateSecurityCode(const std::string& json, std::string* reply) {
  if (json.empty()) return 1;
  Json::Value root;
  if (!qel::ParseGbkJson(json, &root)) {
    QEL_LOG(kValidateFun, " Wrong Json String ");
    return 1;
  }
  const Json::Value& param = qel::ObjectMember(root, "PARAM");
  if (param.isNull()) return 1;
  const Json::Value& info = qel::ObjectMember(param, "VALIDATEINFO");
  if (info.isNull()) {
    QEL_LOG(kValidateFun, " Wrong Json String ");
    return 1;
  }
  Json::Value request(Json::objectValue);
  request["name"] = qel::TextMember(info, "ACCOUNT");
  request["type"] = qel::TextMember(info, "ACCOUNTTYPE");
  request["code"] = qel::TextMember(info, "SECURITYCODE");
  qelInternetRequestBean bean;
  if (!bean.AddOneRequestWithParam(kValidateCode, request)) {
    QEL_LOG(kValidateFun, "add login request error");
    return 1;
  }
  QEL_LOG(kValidateFun, "AAAAAAAAAAAAAAAA");
  QEL_LOG(kValidateFun, qel::WriteStyled(request));
  qelInternetResponseBean response;
  return CallService(&bean, kValidateFun, &response, reply);
}

int UserISExist(const std::string& json, std::string* reply) {
  const Json::Value info = RequestObject(json, "USERINFO");
  if (!info.isObject()) return 1;
  Json::Value param(Json::objectValue);
  param["name"] = qel::TextMember(info, "NAME");
  param["type"] = qel::TextMember(info, "TYPE");
  param["oldName"] = qel::TextMember(info, "OLDNAME");
  qelInternetResponseBean response;
  const int result = SendOne(kNameExists, param, kExistFun, &response, reply, ServiceCheck::kOverall);
  if (result != 0) return result;
  // A missing item reads as 19999: no answer is never "free".
  const std::string status = response.GetItemStatus(0);
  if (!response.IsItemSuccess(0) && status != kNameTaken) {
    QEL_LOG(kExistFun, "jsonrpc response result error");
    return ServiceFailure(status, reply);
  }
  if (reply != nullptr) *reply = ExistReply(status == kNameTaken);
  return 0;
}

int ModifyPassword(const std::string& username, const std::string& newPassword, const std::string& type) {
  if (username.empty()) {
    QEL_LOG(kPasswordFun, "There is not any User!");
    return 1;
  }
  // The module's reply gets the error object of a non-zero result anyway.
  std::string scratch;
  Json::Value find(Json::objectValue);
  find["name"] = username;
  find["type"] = type;
  qelInternetResponseBean found;
  int result = SendOne(kFindAccount, find, kPasswordFun, &found, &scratch);
  if (result != 0) return result;
  std::unique_ptr<qelInternetResponseNode> node(found.GetResultNode(0));
  if (node == nullptr || !node->GetValue().isString()) {
    QEL_LOG(kPasswordFun, "Get internetresponseNdoe error");
    return 1;
  }
  const std::string accountId = node->GetStrValue();
  if (accountId.empty()) return 1;

  Json::Value reset(Json::objectValue);
  reset["id"] = accountId;
  reset["passwd"] = newPassword;
  qelInternetResponseBean done;
  return SendOne(kResetPassword, reset, kPasswordFun, &done, &scratch);
}

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
