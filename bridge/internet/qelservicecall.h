// The one path by which a handler talks to the service: build the envelope
// of a request bean, post it to the start-up value SERVER_PATH, parse the
// reply, check the overall status and (for single requests) item 0.
//
//   qelInternetRequestBean bean;
//   if (!bean.AddOneRequestWithParam(1, param)) { ...; return 1; }
//   qelInternetResponseBean response;
//   int result = CallService(&bean, kFun, &response, reply);
//   if (result != 0) return result;   // *reply holds the error object
//   std::unique_ptr<qelInternetResponseNode> node(response.GetResultNode(0));
//
// Results:
//   0       the call went through: overall status 100000 and, with
//           ServiceCheck::kFirstItem, item 0 present with status 100000.
//   1       the envelope could not be built ("jsonrpc params convert
//           error").
//   other   the overall status, or item 0's status, as an integer, with
//           *reply set to the error object of that code. A transport
//           failure arrives as its status reply (500001..500009). A reply
//           that is no JSON-RPC answer ("jsonrpc response parse error": an
//           HTML page, garbage, an empty body, no "result" object), a
//           status that is missing, empty, zero or not a number, a missing
//           item 0 and an empty item list give 19999: a failure never
//           reads as 0, and its code has a text in the error table.
//
// Every line goes through the log bridge under the caller's function name:
// "http invoke url is ", the URL, "http invoke param is ", the envelope,
// "http invoke result is ", the reply, each as a line of its own. The log
// bridge masks password-like members in every line, the envelope's nested
// base object included.
#pragma once

#include <string>

#include <json/json.h>

#include "internet/qelinternetutil.h"

namespace qel {
namespace dataspace {

class qelInternetRequestBean;
class qelInternetResponseBean;

enum class ServiceCheck {
  kFirstItem,  // one request per envelope: item 0 must be there and succeed
  kOverall,    // a batch: only the overall status; the caller reads the items
};

// Sends bean's requests in one envelope. response receives the parsed reply
// (the items stay readable after any result); reply is written only on a
// non-zero result other than 1.
int CallService(qelInternetRequestBean* bean, const char* function, qelInternetResponseBean* response,
                std::string* reply, ServiceCheck check = ServiceCheck::kFirstItem);

// The checks of CallService on a reply text that came some other way (an
// upload's reply); parseErrorText is logged for a reply that is no answer.
int ReadServiceReply(const std::string& replyText, const char* function, const char* parseErrorText,
                     qelInternetResponseBean* response, std::string* reply,
                     ServiceCheck check = ServiceCheck::kFirstItem);

// One request of type with param in an envelope of its own, sent as by
// CallService; addFailText is logged (result 1) when the request cannot be
// added.
int CallOne(RequestType type, const Json::Value& param, const char* function, const char* addFailText,
            qelInternetResponseBean* response, std::string* reply,
            ServiceCheck check = ServiceCheck::kFirstItem);

// The result for a failed status text: *reply gets the error object of the
// code and the code comes back as an integer; a text that reads as 0 (or
// is not a number) becomes 19999.
int ServiceFailure(const std::string& status, std::string* reply);

// The service's success status, for the whole reply and for each item.
constexpr char kServiceSuccess[] = "100000";
// The status of a reply or item that carries none.
constexpr int kNoServiceStatus = 19999;

}  // namespace dataspace
}  // namespace qel
