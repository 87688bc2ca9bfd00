// The usage-record queue (BEHAVIOR): print and visit records (0x552,
// 0x553), the batch send (0x551), and feedback (0x550), which falls back to
// the queue when the service cannot take it.
#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "business/custom/customhandlers.h"
#include "business/custom/customstore.h"
#include "internet/qelservicecall.h"
#include "business/qelbusinesshelper.h"
#include "database/qelquery.h"
#include "internet/qelinternetrequestbean.h"
#include "internet/qelinternetresponsebean.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {
namespace {

constexpr char kTrackFun[] = "qel::dataspace::qel_Invoke_Custom::AddInsideBehaviorTrack";
constexpr char kSendFun[] = "qel::dataspace::qel_Invoke_Custom::SendInsideBehaviorTrack";
constexpr char kBatchFun[] = "qel::dataspace::qel_Invoke_Custom::SendBehaviorRequest";
constexpr char kFeedbackFun[] = "qel::dataspace::qel_Invoke_Custom::SendFeedbackService";
constexpr RequestType kFeedbackRequest = 5;

// One batch at a time: two sends reading the queue together would both
// carry its rows to the service.
std::mutex& SendMutex() {
  static std::mutex mutex;
  return mutex;
}

// Adds the request of type around the record's param object to bean and
// checks that an envelope can be built. 0 or 1.
int GentBehaviorRPCJson(qelInternetRequestBean* bean, RequestType type, const Json::Value& param,
                        std::string* envelope) {
  // The record text is the request's param object; anything else is no
  // record.
  if (!param.isObject()) return 1;
  if (!bean->AddOneRequestWithParam(type, param)) {
    QEL_LOG(kTrackFun, "add login request error");
    return 1;
  }
  *envelope = bean->GetJsonRPCParam();
  if (envelope->empty()) {
    QEL_LOG(kTrackFun, "jsonrpc params convert error");
    return 1;
  }
  return 0;
}

// The service call of one batch; rowIds[i] is the row of request i. Once the
// service answered the batch, the rows of its items and the brokenIds (rows
// that hold no request) are deleted.
int SendBehaviorRequest(qelInternetRequestBean* bean, const std::vector<std::string>& rowIds,
                        const std::vector<std::string>& brokenIds, std::string* reply) {
  qelInternetResponseBean response;
  int result = CallService(bean, kBatchFun, &response, reply, ServiceCheck::kOverall);
  // No item was read: every row stays for the next batch.
  if (result != 0) return result;

  // Item i answers row i. A row whose item came back is done with, accepted
  // or refused: sent again, an accepted row would count twice. Items beyond
  // the rows sent answer nothing.
  const size_t answered =
      std::min(static_cast<size_t>(std::max(response.GetResultCount(), 0)), rowIds.size());
  std::string refusedStatus;
  for (size_t i = 0; i < answered; ++i) {
    if (!response.IsItemSuccess(static_cast<int>(i))) {
      refusedStatus = response.GetItemStatus(static_cast<int>(i));
      break;
    }
  }
  std::vector<std::string> done(rowIds.begin(), rowIds.begin() + static_cast<std::ptrdiff_t>(answered));
  done.insert(done.end(), brokenIds.begin(), brokenIds.end());
  if (!DeleteRowsById("BEHAVIOR", "ID", done)) {
    QEL_LOG(kBatchFun, "delete sent rows error");
  }
  if (!refusedStatus.empty()) {
    QEL_LOG(kBatchFun, "jsonrpc response result error");
    return ServiceFailure(refusedStatus, reply);
  }
  if (answered < rowIds.size()) {
    // Rows without an item stay queued; the call did not succeed for them.
    QEL_LOG(kBatchFun, "jsonrpc response result error");
    return ServiceFailure(IntToString(kNoServiceStatus), reply);
  }
  return 0;
}

}  // namespace

namespace custom {

template <RequestType kType>
int AddInsideBehaviorTrack(Module&, const Request& request, std::string*) {
  if (request.text == nullptr || request.text->empty()) return 1;
  qelInternetRequestBean bean;
  std::string envelope;
  int result = GentBehaviorRPCJson(&bean, kType, request.root, &envelope);
  if (result != 0) return result;
  for (int i = 0; i < bean.GetRequestCount(); ++i) {
    if (AddBehavior(bean.GetRequestString(i)) != 0) return 1;
  }
  return 0;
}
template int AddInsideBehaviorTrack<kPrintRecord>(Module&, const Request&, std::string*);
template int AddInsideBehaviorTrack<kVisitRecord>(Module&, const Request&, std::string*);

int SendInsideBehaviorTrack(Module&, const Request&, std::string* reply) {
  std::lock_guard<std::mutex> lock(SendMutex());
  // A count that cannot be read is no empty queue.
  const StorageRead<int64_t> queued = CountRows("BEHAVIOR", "");
  if (!queued.Found()) {
    QEL_LOG(kSendFun, "Query error");
    return 1;
  }
  if (queued.value == 0) return 0;

  qelQueryDef def;
  def.AddField("BEHAVIOR", "ID");
  def.AddField("BEHAVIOR", "TRACK");
  def.AddOrder("ID", 0);
  qelInternetRequestBean bean;
  std::vector<std::string> sentIds;    // row of request i of the bean
  std::vector<std::string> brokenIds;  // rows whose text is no request
  const StorageRead<> ok = ForEachRow(&def, [&](Json::Value& row) {
    const std::string id = StringMember(row, "ID");
    const std::string track = StringMember(row, "TRACK");
    const int before = bean.GetRequestCount();
    if (!track.empty()) bean.AddOneRequestWithString(track);
    if (bean.GetRequestCount() > before) {
      sentIds.push_back(id);
    } else {
      brokenIds.push_back(id);
    }
  });
  if (!ok.Ran()) {
    QEL_LOG(kSendFun, "Query error");
    return 1;
  }
  // A row that holds no request can never be sent; kept, it would stay at
  // the head of the queue for ever.
  if (sentIds.empty()) {
    DeleteRowsById("BEHAVIOR", "ID", brokenIds);
    return 0;
  }
  return SendBehaviorRequest(&bean, sentIds, brokenIds, reply);
}

int SendFeedbackService(Module&, const Request& request, std::string* reply) {
  const Json::Value& feedback = ObjectMember(ObjectMember(request.root, "PARAM"), "FEEDBACKSERVICE");
  if (!feedback.isObject()) return 1;
  std::vector<std::string> values;
  GetJsonValuesByKeys(feedback, {"EMAIL", "SUGGEST"}, &values);
  Json::Value param(Json::objectValue);
  param["mail"] = values[0];
  param["content"] = values[1];
  qelInternetRequestBean bean;
  if (!bean.AddOneRequestWithParam(kFeedbackRequest, param)) {
    QEL_LOG(kFeedbackFun, "add login request error");
    return 1;
  }
  qelInternetResponseBean response;
  int result = CallService(&bean, kFeedbackFun, &response, reply, ServiceCheck::kOverall);
  if (result == 1) return 1;
  if (result != 0) {
    // The service did not take the call (or could not be reached): the
    // feedback goes out with the next batch instead of being lost.
    for (int i = 0; i < bean.GetRequestCount(); ++i) AddBehavior(bean.GetRequestString(i));
    return result;
  }
  if (!response.IsItemSuccess(0)) {
    QEL_LOG(kFeedbackFun, "jsonrpc response result error");
    return ServiceFailure(response.GetItemStatus(0), reply);
  }
  return 0;
}

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
