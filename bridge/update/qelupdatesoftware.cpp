#include "update/qelupdatesoftware.h"

#include <cstdint>
#include <string>

#include "cqelbridge.h"
#include "internet/qelinternetutil.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"
#include "update/qelupdatecommon.h"

namespace qel {
namespace dataspace {

namespace {

const char kFun[] = "qel::dataspace::qelUpdateSoftWare";

// The installation's version as the comparison reads it: a UTF-8 byte-order
// mark and trailing blanks that an editor left in ver.qel are no part of it,
// or a release saved that way would ask for itself at every start.
std::string ComparableVersion(const std::string& text) {
  static const char kUtf8Bom[] = "\xEF\xBB\xBF";
  std::string version = text.compare(0, 3, kUtf8Bom) == 0 ? text.substr(3) : text;
  return TrimRight(version);
}

}  // namespace

qelUpdateSoftWare* qelUpdateSoftWare::GetInstance() {
  // Never destroyed: an update may still be running while the process exits.
  static qelUpdateSoftWare* instance = new qelUpdateSoftWare;
  return instance;
}

int qelUpdateSoftWare::GetInterVersion(std::string* error, std::string* version) {
  Json::Value item;
  int result = qelUpdateCommon::GetInstance()->CallService(257, UpdateServiceParams(), error, &item, true);
  if (result != 0) return result;
  if (version != nullptr) *version = TextMember(ObjectMember(item, "result"), "APPVERSION");
  return 0;
}

int qelUpdateSoftWare::IsNeedUpdateSoftWare(std::string, std::string* reply) {
  std::string error;
  std::string server;
  int result = GetInterVersion(&error, &server);
  if (result != 0) return result;
  std::string shown = cqelbridge::GetInstance()->GetLocalVersion();
  QEL_LOG(kFun, "LocalVersion:" + shown);
  std::string local = ComparableVersion(shown);
  int status;
  if (local.empty()) {
    QEL_LOG(kFun, "empty local version!");
    status = 1;
  } else {
    uint64_t l = 0;
    uint64_t r = 0;
    ParseVersion(local, &l);
    ParseVersion(server, &r);
    if ((l >> 32) < (r >> 32)) {
      status = 1;
    } else if (l < r) {
      status = 2;
    } else if (l == r) {
      status = 0;
    } else {
      status = 3;
    }
  }
  if (reply != nullptr) *reply = UpdateStatusReply(status);
  return 0;
}

int qelUpdateSoftWare::SendDllListRequest(std::string* error, Json::Value* item) {
  std::string local = cqelbridge::GetInstance()->GetLocalVersion();
  Json::Value params = UpdateServiceParams();
  params["appVersionID"] = local.empty() ? std::string("1") : local;
  return qelUpdateCommon::GetInstance()->CallService(515, params, error, item, false);
}

int qelUpdateSoftWare::GetAppUpdateFiles(std::string, std::string* reply) {
  std::string error;
  Json::Value item;
  int result = SendDllListRequest(&error, &item);
  if (result != 0) return result;
  Json::Value list = Member(item, "result");
  if (list.isArray()) {
    // The client core writes each file below its update folder by this name.
    Json::Value kept(Json::arrayValue);
    for (const Json::Value& file : list) {
      if (file.isObject() && !CheckListFileName(StringMember(file, "fileName"), nullptr)) continue;
      kept.append(file);
    }
    list = kept;
  }
  if (reply != nullptr) *reply = WriteStyled(list);
  return 0;
}

}  // namespace dataspace
}  // namespace qel
