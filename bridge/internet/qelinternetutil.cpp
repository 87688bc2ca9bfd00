#include "internet/qelinternetutil.h"

#include <mutex>
#include <random>

#include <utility>

#include "database/qelquery.h"
#include "internet/qelinternetrequestbean.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {

namespace {

// One row of the request-type table. An empty key adds nothing to the
// caller's parameter object.
struct RequestTypeEntry {
  RequestType type;
  const char* interfaceUrl;
  const char* method;
  const char* companyKey;
  const char* userKey;
};

constexpr RequestTypeEntry kRequestTypes[] = {
    {1, "PassportService.json", "login", "", ""},
    {2, "PassportService.json", "registerClientUser", "qyId", "userID"},
    {3, "SendPhoneMsgService.json", "sendPhoneMsg", "", ""},
    {4, "SendMailService.json", "sendMessageMail", "", ""},
    {5, "FeedBackService.json", "addFeedBack", "compId", "userId"},
    {6, "InquiryService.json", "saveProdInquiry", "compId", "addUid"},
    {7, "ConsultService.json", "saveProdConsult", "compId", "addUid"},
    {8, "FavService.json", "saveProdFav", "compId", "addUid"},
    {9, "AuthCodeService.json", "regACByNameAndTypeAndCode", "", ""},
    {10, "PrintService.json", "saveProdPrint", "compId", "addUid"},
    {11, "VisitService.json", "saveProdVisit", "compId", "addUid"},
    {12, "fileupload.json", "upload", "", ""},
    {13, "PassportService.json", "queryPassportByName", "", ""},
    {17, "PassportService.json", "queryPassportByName", "", ""},
    {18, "PassportService.json", "resetPassword", "", ""},
    {256, "SpColumnService.json", "loadSpColumn", "", ""},
    {257, "SpClientSetupService.json", "loadLatestUpdate", "companyID", ""},
    {258, "SpClientSetupService.json", "loadUpdateData", "companyID", ""},
    {259, "AKeyUpdateService.json", "saveProdAKeyUpdate", "compId", "addUid"},
    {515, "SpClientSetupService.json", "loadAppUpdateFile", "companyID", ""},
};

const RequestTypeEntry* FindRequestType(RequestType type) {
  for (const RequestTypeEntry& entry : kRequestTypes) {
    if (entry.type == type) return &entry;
  }
  return nullptr;
}

const char kSignToken[] = "r5k2w8m3p";

// The envelope id: 0..32767, drawn afresh for every envelope. The C
// library's srand/rand pair is process-wide state and, reseeded from the
// clock, repeats within one tick; this generator is seeded once and locked.
std::string NextEnvelopeId() {
  static std::mutex mutex;
  static std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<int> range(0, 32767);
  std::lock_guard<std::mutex> lock(mutex);
  return IntToString(range(generator));
}

Json::Value NowMsValue() { return Json::Value(static_cast<Json::Int64>(NowMs())); }

}  // namespace

qelInternetUtil::qelInternetUtil() : m_identity(qelInfoAccess::Identity()) {}

qelInternetUtil::qelInternetUtil(SessionIdentity identity) : m_identity(std::move(identity)) {}

Json::Value qelInternetUtil::GetInternalRequestData(RequestType type, Json::Value params) const {
  const RequestTypeEntry* entry = FindRequestType(type);
  if (entry == nullptr) {
    QEL_LOG("qel::dataspace::qelInternetUtil::GetInternalRequestData", "type is undefine");
    return Json::Value();
  }
  // Keys are added by member access, which a string or array value refuses.
  if (!params.isNull() && !params.isObject()) {
    QEL_LOG("qel::dataspace::qelInternetUtil::GetInternalRequestData", "request param is not an object");
    return Json::Value();
  }

  const std::string& uid = m_identity.userId;
  const std::string& companyId = m_identity.companyId;
  const std::string& langId = m_identity.langId;

  Json::Value request(Json::objectValue);
  request["userID"] = uid;
  request["interfaceUrl"] = entry->interfaceUrl;
  request["method"] = entry->method;
  if (!params.isNull()) {
    if (entry->companyKey[0] != '\0') params[entry->companyKey] = companyId;
    if (entry->userKey[0] != '\0') params[entry->userKey] = uid;
  }
  if (type == 12) {
    request["code"] = "qy" + m_identity.serialId + "_product" + "_inquiry_" + langId;
  }
  request["param"] = std::move(params);
  request["version"] = "3.0";
  request["localTime"] = NowMsValue();
  request["source"] = m_identity.platformCode;
  request["companyID"] = companyId;
  request["templateID"] = m_identity.templateId;
  request["langID"] = langId;
  Json::Value client(Json::objectValue);
  client["macAddr"] = m_identity.mac;
  client["deviceType"] = IntToString(m_identity.platform);
  request["client"] = client;
  return request;
}

Json::Value qelInternetUtil::GetBaseRequestData(const qelInternetRequestBean& bean) const {
  Json::Value base(Json::objectValue);
  IQELDatasource* datasource = MainDatasource();
  if (datasource != nullptr) {
    qelQueryDef def;
    def.AddField("COMPANY", "ID");
    def.SetLimit(1);
    StorageRead<Json::Value> row = QueryFirstRow(datasource, &def);
    if (!row.Ran()) {
      if (!m_companyFallback || m_identity.companyId.empty()) return Json::Value();
      Json::Value identity(Json::objectValue);
      identity["ID"] = m_identity.companyId;
      row = ReadValue(std::move(identity));
    }
    if (row.Found()) {
      base["companyID"] = static_cast<Json::Int64>(StringToInt64(StringMember(row.value, "ID")));
      base["templateID"] = m_identity.templateId;
      base["packageTime"] = NowMsValue();
      base["source"] = m_identity.platformCode;
      QEL_LOG("qel::dataspace::qelInternetUtil::GetBaseRequestData", "print time" + UInt64ToString(NowMs()));
      base["localTime"] = NowMsValue();
      QEL_LOG("qel::dataspace::qelInternetUtil::GetBaseRequestData",
              Int64ToString(base["localTime"].asInt64()));
      base["custom"] = "";
    }
  }
  for (int i = 0; i < bean.GetRequestCount(); ++i) base["parameter"].append(bean.GetRequest(i));
  return base;
}

bool qelInternetUtil::SignRequest(Json::Value& base) const {
  if (!base.isObject()) base = Json::Value(Json::objectValue);
  base["sign"] = kSignToken;
  return true;
}

std::string qelInternetUtil::BuildJsonRpcText(Json::Value base) const {
  // Both levels are GBK JSON documents: the base text nested in "params"
  // decodes with the envelope, so the wire's one conversion serves both.
  Json::Value envelope(Json::objectValue);
  envelope["jsonrpc"] = "2.0";
  envelope["method"] = "requestMethods";
  envelope["id"] = NextEnvelopeId();
  envelope["params"] = Json::Value(Json::arrayValue);
  envelope["params"].append(WriteCompact(base));
  return WriteCompact(envelope);
}

}  // namespace dataspace
}  // namespace qel
