// Consultations (0x539): stored in PROD_CONSULT and sent to the service
// (request type 7, "ConsultService.json" "saveProdConsult").
#include <cstdint>
#include <map>

#include <json/json.h>

#include "business/custom/customhandlers.h"
#include "business/custom/localids.h"
#include "cqelbridge.h"
#include "internet/qelservicecall.h"
#include "database/qeldatasource.h"
#include "database/qelquery.h"
#include "internet/qelinternetresponsebean.h"
#include "logbridge.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {
namespace custom {
namespace {

const char kFun[] = "qel::dataspace::qel_Invoke_Custom::ProdConsult";
const char kTable[] = "PROD_CONSULT";
const char kId[] = "CONSULT_ID";
const RequestType kConsultRequest = 7;

const char* const kInputMembers[] = {"ADDTIME",   "CONTENT", "TEL1",       "TEL2",      "TEL3",
                                     "MOBILENUM", "EMAIL",   "PRODUCT_ID", "CONSULT_ID"};

int Send(const Members& members, std::string* reply) {
  Json::Value param(Json::objectValue);
  param["content"] = Get(members, "CONTENT");
  param["mail"] = Get(members, "EMAIL");
  param["phone"] = Get(members, "MOBILENUM");
  param["prodId"] = Get(members, "PRODUCT_ID");
  param["tel1"] = Get(members, "TEL1");
  param["tel2"] = Get(members, "TEL2");
  param["tel3"] = Get(members, "TEL3");
  qelInternetResponseBean response;
  return CallOne(kConsultRequest, param, kFun, "AddOneRequestWithParam error", &response, reply);
}

}  // namespace

int ProdConsult(Module&, const Request& request, std::string* reply) {
  const std::string uid = cqelbridge::GetInstance()->GetCurrentUID();
  if (uid.empty()) QEL_LOG_DIRECT("There is not any user");
  Members members;
  if (!ReadRequest(request, kTable, kId, "Json format error", &members)) return 1;
  IQELDatasource* datasource = MainDatasource();
  if (datasource == nullptr) return 1;

  const std::string id = Get(members, kId);
  const int64_t number = qel::StringToInt64(id);
  int64_t stored = 0;
  if (!CountStoredId(datasource, kTable, kId, id, &stored)) {
    QEL_LOG_DIRECT("Get consult error");
    return 1;
  }
  std::string localId = id;
  if (stored < 1) {
    if (!StoreRequest(datasource, kTable, kId, UnsentRow(uid, members, kInputMembers), id, &localId)) {
      QEL_LOG_DIRECT("Get consult error");
      return NotTaken(1, kId, "0", reply);
    }
  }

  // An id from 1 up is stored (now or before) and never sent.
  if (number >= 1) return 0;
  const int result = Send(members, reply);
  if (result != 0) return NotTaken(result, kId, localId, reply);
  // The service has it: a failed renumbering is logged, not reported.
  if (!MarkSent(datasource, kTable, kId, localId)) QEL_LOG(kFun, "Update consult id error");
  return 0;
}

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
