#include "internet/qelservicecall.h"

#include "cqelbridge.h"
#include "errorcodehelper.h"
#include "internet/qelinternetrequestbean.h"
#include "internet/qelinternetresponsebean.h"
#include "logbridge.h"
#include "qel/text.h"
#include "qelhttpjsonrequest.h"

namespace qel {
namespace dataspace {

int ServiceFailure(const std::string& status, std::string* reply) {
  int code = StringToInt(status);
  if (code == 0 || !IsDecimalId(Trim(status))) code = kNoServiceStatus;
  std::string scratch;
  MakeErrorReply(IntToString(code), reply != nullptr ? reply : &scratch);
  return code;
}

int CallService(qelInternetRequestBean* bean, const char* function, qelInternetResponseBean* response,
                std::string* reply, ServiceCheck check) {
  std::string envelope = bean != nullptr ? bean->GetJsonRPCParam() : std::string();
  if (envelope.empty()) {
    QEL_LOG(function, "jsonrpc params convert error");
    return 1;
  }

  const std::string url = GetServerPath();
  QEL_LOG(function, "http invoke url is ");
  QEL_LOG(function, url);
  QEL_LOG(function, "http invoke param is ");
  QEL_LOG(function, envelope);
  std::string replyText;
  {
    // One transport object per call, destroyed with it.
    qel::internet::qelHttpJsonRequest http;
    replyText = http.Invoke(url, envelope);
  }
  QEL_LOG(function, "http invoke result is ");
  QEL_LOG(function, replyText);

  return ReadServiceReply(replyText, function, "jsonrpc response parse error", response, reply, check);
}

int ReadServiceReply(const std::string& replyText, const char* function, const char* parseErrorText,
                     qelInternetResponseBean* response, std::string* reply, ServiceCheck check) {
  qelInternetResponseBean scratch;
  qelInternetResponseBean& parsed = response != nullptr ? *response : scratch;
  if (!parsed.ParseResponse(replyText)) {
    // An error page, garbage or an empty body is no answer: it fails like a
    // reply without a status, with a code the error table has a text for.
    QEL_LOG(function, parseErrorText);
    return ServiceFailure(IntToString(kNoServiceStatus), reply);
  }
  if (!parsed.IsSuccess()) {
    QEL_LOG(function, "jsonrpc response result error");
    return ServiceFailure(parsed.GetStatusString(), reply);
  }
  if (check == ServiceCheck::kFirstItem && !parsed.IsItemSuccess(0)) {
    // A missing item reads as 19999 (GetItemStatus), never as success.
    QEL_LOG(function, "jsonrpc response result error");
    return ServiceFailure(parsed.GetItemStatus(0), reply);
  }
  return 0;
}

int CallOne(RequestType type, const Json::Value& param, const char* function, const char* addFailText,
            qelInternetResponseBean* response, std::string* reply, ServiceCheck check) {
  qelInternetRequestBean bean;
  if (!bean.AddOneRequestWithParam(type, param)) {
    QEL_LOG(function, addFailText);
    return 1;
  }
  return CallService(&bean, function, response, reply, check);
}

}  // namespace dataspace
}  // namespace qel
