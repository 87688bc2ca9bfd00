// The account operations that need the service: sign-up, security codes by
// text message or mail, code check, account-name check and password change.
// Results: 0 success; 1 bad input or a local failure; otherwise the
// service's or the transport's status, with its error object as the reply.
#pragma once

#include <string>

namespace qel {
namespace dataspace {
namespace custom {

// The values of PARAM.REGINFO, in the order the request lists them.
struct SignUpValues {
  std::string account, password, mobile, compName, email, name, position, tel1, tel2, tel3;
};

// Request type 2; on success the account is kept in USERINFO (only when
// the reply carries its USERID). The current user does not change.
int UserReg(const SignUpValues& values, std::string* reply);
// {"PARAM":{"SENDINFO":{"ACCOUNTTYPE","ACCOUNT","PASSWORD"}}}: type 3 for
// ACCOUNTTYPE "1" (text message), type 4 for "2" (mail); any other type is
// 1 without a request.
int SendSecurityCodeRequest(const std::string& json, std::string* reply);
// {"PARAM":{"VALIDATEINFO":{"SECURITYCODE","ACCOUNT","ACCOUNTTYPE"}}}: type 9.
int ValidateSecurityCode(const std::string& json, std::string* reply);
// {"PARAM":{"USERINFO":{"NAME","TYPE","OLDNAME"}}}: type 13. The reply is
// [{"EXIST":"1"}] when the service answers 100015 (the name is taken),
// [{"EXIST":"0"}] on success.
int UserISExist(const std::string& json, std::string* reply);
// Type 17 finds the account id of username, type 18 sets its password.
int ModifyPassword(const std::string& username, const std::string& newPassword, const std::string& type);

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
