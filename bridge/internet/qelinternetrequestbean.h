// One server call's request objects and the envelope that carries them.
// Created on the stack by the caller for one call.
//
//   qelInternetRequestBean bean;
//   if (!bean.AddOneRequestWithParam(7, param)) return 1;
//   std::string envelope = bean.GetJsonRPCParam();
//   if (envelope.empty()) return 1;   // post it with the transport
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <json/json.h>

#include "internet/qelinternetutil.h"

namespace qel {
namespace dataspace {

class qelInternetRequestBean {
 public:
  // Requests for the session's current caller.
  qelInternetRequestBean() = default;
  // Requests for the given caller (a thread that works for another user,
  // or a test).
  explicit qelInternetRequestBean(SessionIdentity identity) : m_util(std::move(identity)) {}

  // Appends the request object of type around params (null or an object).
  // False, with nothing appended, for an undefined type or params of
  // another kind.
  bool AddOneRequestWithParam(RequestType type, Json::Value params);

  // Appends a request object stored earlier as text (the usage-record
  // queue, written by GetRequestString). False for an empty text; a text
  // that is not a JSON object appends nothing and still gives true, so the
  // caller's batch goes on and the broken row leaves with it.
  bool AddOneRequestWithString(std::string text);

  int GetRequestCount() const;
  // A copy of request object i; null when i is out of range.
  Json::Value GetRequest(int i) const;
  // Request object i as styled text (bytes written as they are); "" when i
  // is out of range.
  std::string GetRequestString(int i) const;

  // The envelope text; "" when the base object cannot be built.
  std::string GetJsonRPCParam();
  // See qelInternetUtil::UseIdentityCompanyWhenUnreadable.
  void UseIdentityCompanyWhenUnreadable() { m_util.UseIdentityCompanyWhenUnreadable(); }

 private:
  std::vector<Json::Value> m_requests;
  qelInternetUtil m_util;
};

}  // namespace dataspace
}  // namespace qel
