#include "internet/qelinternetrequestbean.h"

#include "logbridge.h"
#include "qel/json.h"

namespace qel {
namespace dataspace {

bool qelInternetRequestBean::AddOneRequestWithParam(RequestType type, Json::Value params) {
  Json::Value request = m_util.GetInternalRequestData(type, std::move(params));
  if (request.isNull()) {
    QEL_LOG("qel::dataspace::qelInternetRequestBean::AddOneRequestWithParam", "loginin request content null");
    return false;
  }
  m_requests.push_back(std::move(request));
  return true;
}

bool qelInternetRequestBean::AddOneRequestWithString(std::string text) {
  if (text.empty()) {
    QEL_LOG("qel::dataspace::qelInternetRequestBean::AddOneRequestWithString",
            "loginin request content null");
    return false;
  }
  // The stored text is GBK written byte for byte; parsing its UTF-8 form
  // keeps a character whose second byte is 0x5C intact.
  Json::Value request;
  if (ParseGbkJson(text, &request) && request.isObject()) m_requests.push_back(std::move(request));
  return true;
}

int qelInternetRequestBean::GetRequestCount() const { return static_cast<int>(m_requests.size()); }

Json::Value qelInternetRequestBean::GetRequest(int i) const {
  if (i < 0 || i >= GetRequestCount()) return Json::Value();
  return m_requests[static_cast<size_t>(i)];
}

std::string qelInternetRequestBean::GetRequestString(int i) const {
  if (i < 0 || i >= GetRequestCount()) return "";
  return WriteStyled(m_requests[static_cast<size_t>(i)]);
}

std::string qelInternetRequestBean::GetJsonRPCParam() {
  Json::Value base = m_util.GetBaseRequestData(*this);
  if (base.isNull()) return "";
  m_util.SignRequest(base);
  return m_util.BuildJsonRpcText(base);
}

}  // namespace dataspace
}  // namespace qel
