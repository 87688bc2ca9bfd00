// The account operations that need the service: sign-up (0x532), security
// codes by text message or mail (0x535), code check (0x536), account-name
// check (0x554) and password change (0x574).
#include <memory>
#include <string>

#include <json/json.h>

#include "business/custom/customhandlers.h"
#include "business/custom/userid.h"
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

// PARAM[table] of a request; null when the text did not parse or has no
// such object.
const Json::Value& RequestObject(const MethodRequest& request, const char* table) {
  return qel::ObjectMember(qel::ObjectMember(request.root, "PARAM"), table);
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

int UserReg(Module&, const Request& request, std::string* reply) {
  const Json::Value& info = RequestObject(request, "REGINFO");
  if (info.isNull()) return 1;
  const std::string account = qel::TextMember(info, "ACCOUNT");
  // The account is stored as it is registered; one that is not whole text
  // would be registered and kept as another name.
  if (!AccountsAreText({account}, kRegFun)) return 1;
  Json::Value param(Json::objectValue);
  param["name"] = account;
  param["passwd"] = qel::TextMember(info, "PASSWORD");
  param["regtype"] = qel::GbkContainsAscii(account, '@') ? "2" : "1";
  param["pstats"] = "1";
  param["lang"] = qelInfoAccess::GetInstance()->GetLangID();
  param["addip"] = "";
  param["useStatus"] = "2";
  param["compname"] = qel::TextMember(info, "COMPNAME");
  param["userName"] = qel::TextMember(info, "NAME");
  param["tel1"] = qel::TextMember(info, "TEL1");
  param["tel2"] = qel::TextMember(info, "TEL2");
  param["tel3"] = qel::TextMember(info, "TEL3");
  param["position"] = qel::TextMember(info, "POSITION");
  param["showMobile"] = qel::TextMember(info, "MOBILE");
  param["showEmail"] = qel::TextMember(info, "EMAIL");
  qelInternetResponseBean response;
  const int result = SendOne(kRegister, param, kRegFun, &response, reply);
  if (result != 0) return result;

  std::unique_ptr<qelInternetResponseNode> node(response.GetResultNode(0));
  // The account exists at the service; a row without a usable id could
  // never be found again, so none is kept.
  std::string uid;
  if (!ReadServiceUserId(node.get(), &uid)) {
    QEL_LOG(kRegFun, "No USERID in the reply");
    return 0;
  }
  Json::Value row(Json::objectValue);
  row["UID"] = uid;
  row["USERID"] = account;
  for (const char* column : {"MOBILE", "COMPNAME", "NAME", "EMAIL", "POSITION", "TEL1", "TEL2", "TEL3"}) {
    row[column] = qel::TextMember(info, column);
  }
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

int SendSecurityCodeRequest(Module&, const Request& request, std::string* reply) {
  const Json::Value& info = RequestObject(request, "SENDINFO");
  if (!info.isObject() || !AccountsAreText({qel::TextMember(info, "ACCOUNT")}, kSendCodeFun)) return 1;
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

int ValidateSecurityCode(Module&, const Request& request, std::string* reply) {
  if (request.text == nullptr || request.text->empty()) return 1;
  if (!request.parsed) {
    QEL_LOG(kValidateFun, " Wrong Json String ");
    return 1;
  }
  const Json::Value& param = qel::ObjectMember(request.root, "PARAM");
  if (param.isNull()) return 1;
  const Json::Value& info = qel::ObjectMember(param, "VALIDATEINFO");
  if (info.isNull()) {
    QEL_LOG(kValidateFun, " Wrong Json String ");
    return 1;
  }
  if (!AccountsAreText({qel::TextMember(info, "ACCOUNT")}, kValidateFun)) return 1;
  Json::Value check(Json::objectValue);
  check["name"] = qel::TextMember(info, "ACCOUNT");
  check["type"] = qel::TextMember(info, "ACCOUNTTYPE");
  check["code"] = qel::TextMember(info, "SECURITYCODE");
  qelInternetRequestBean bean;
  if (!bean.AddOneRequestWithParam(kValidateCode, check)) {
    QEL_LOG(kValidateFun, "add login request error");
    return 1;
  }
  QEL_LOG(kValidateFun, "AAAAAAAAAAAAAAAA");
  QEL_LOG(kValidateFun, qel::WriteStyled(check));
  qelInternetResponseBean response;
  return CallService(&bean, kValidateFun, &response, reply);
}

int UserISExist(Module&, const Request& request, std::string* reply) {
  const Json::Value& info = RequestObject(request, "USERINFO");
  if (!info.isObject() ||
      !AccountsAreText({qel::TextMember(info, "NAME"), qel::TextMember(info, "OLDNAME")}, kExistFun))
    return 1;
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

int ModifyPassword(Module&, const Request& request, std::string* /*reply*/) {
  const Json::Value& info = RequestObject(request, "CHECKINFO");
  if (info.isNull()) return 1;
  const std::string username = qel::TextMember(info, "USERNAME");
  if (username.empty()) {
    QEL_LOG(kPasswordFun, "There is not any User!");
    return 1;
  }
  if (!AccountsAreText({username}, kPasswordFun)) return 1;
  // The module's reply gets the error object of a non-zero result anyway.
  std::string scratch;
  Json::Value find(Json::objectValue);
  find["name"] = username;
  find["type"] = qel::TextMember(info, "TYPE");
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
  reset["passwd"] = qel::TextMember(info, "NEWPWD");
  qelInternetResponseBean done;
  return SendOne(kResetPassword, reset, kPasswordFun, &done, &scratch);
}

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
