#include "business/qelbusinesshelper.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <utility>

#include "database/qelinfoaccess.h"
#include "internet/qelinternetresponsebean.h"
#include "database/qeldatasource.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {
namespace {

// A scalar member (string, number or bool) as text; false when the member
// is missing, null, an array or an object.
bool ScalarText(const Json::Value& object, const std::string& key, std::string* out) {
  if (!object.isObject()) return false;
  const Json::Value* value = object.find(key.data(), key.data() + key.size());
  if (value == nullptr || value->isNull() || value->isArray() || value->isObject()) return false;
  *out = ValueAsText(*value);
  return true;
}

// Rows of SYS_AREA joined with their names under filter.
int QueryAreas(const std::string& filter, Json::Value* rows) {
  qelQueryDef def;
  def.AddField("SYS_AREA", "AREAID");
  def.AddField("SYS_AREA_LANG", "NAME");
  def.SetFilter(filter + qelInfoAccess::GetInstance()->GetLangID());
  def.AddOrder("SORT", 0);
  Json::Value found(Json::arrayValue);
  if (!QueryRows(&def, &found).Ran()) {
    QEL_LOG_DIRECT("Query error");
    return 1;
  }
  *rows = std::move(found);
  return 0;
}

// An area lookup written as the reply.
int AreaReply(int (*lookup)(const std::string&, Json::Value*), const std::string& areaId,
              std::string* reply) {
  Json::Value rows;
  if (lookup(areaId, &rows) != 0) return 1;
  if (reply != nullptr) *reply = RowsText(rows);
  return 0;
}

}  // namespace

int PageValue(const Json::Value& root, const char* key) {
  int64_t number = 0;
  if (!ValueAsInt64(Member(root, key), &number)) return -1;
  if (number == 0 || number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max()) {
    return -1;
  }
  return static_cast<int>(number);
}

int ParseRequestParams(const std::string& json, const std::string& table, const std::string& key,
                       RequestParams* params, const std::vector<std::string>* extraKeys) {
  Json::Value root;
  ParseRequestText(json, &root);
  return ReadRequestParams(root, table, key, params, extraKeys);
}

bool ParseRequestText(const std::string& json, Json::Value* root) {
  if (ParseGbkJson(json, root)) return true;
  *root = Json::Value();
  return false;
}

int ReadRequestParams(const Json::Value& root, const std::string& table, const std::string& key,
                      RequestParams* params, const std::vector<std::string>* extraKeys) {
  RequestParams scratch;
  RequestParams& out = params != nullptr ? *params : scratch;
  out.limit = -1;
  out.offset = -1;

  if (!root.isObject()) return 1;
  out.limit = PageValue(root, "LIMIT");
  out.offset = PageValue(root, "OFFSET");

  const Json::Value& param = ObjectMember(root, "PARAM");
  if (!param.isObject()) return 1;
  if (extraKeys != nullptr) {
    for (const std::string& extra : *extraKeys) {
      std::string text;
      ScalarText(param, extra, &text);
      out.values.push_back(text);
    }
  }
  if (table.empty()) return 0;

  const Json::Value* tableValue = param.find(table.data(), table.data() + table.size());
  if (tableValue == nullptr || !tableValue->isObject()) return 1;
  std::string value;
  if (!ScalarText(*tableValue, key, &value)) return 1;
  out.value = value;
  return 0;
}

int GetJsonValuesByKeys(const Json::Value& object, const std::vector<std::string>& keys,
                        std::vector<std::string>* out) {
  if (out == nullptr) return 0;
  for (const std::string& key : keys) {
    std::string text;
    ScalarText(object, key, &text);
    out->push_back(text);
  }
  return 0;
}

int JsonObjectToMap(const Json::Value& object, std::map<std::string, std::string>* out) {
  if (out != nullptr) out->clear();
  // Only an object has members; any other kind counts as no object.
  if (!object.isObject()) {
    QEL_LOG_DIRECT("Json is null");
    return 1;
  }
  if (out == nullptr) return 0;
  for (auto it = object.begin(); it != object.end(); ++it) {
    const Json::Value& value = *it;
    if (value.isNull() || value.isArray() || value.isObject()) continue;
    (*out)[it.name()] = ValueAsText(value);
  }
  return 0;
}

int SubAreaRows(const std::string& areaId, Json::Value* rows) {
  std::string id = areaId.empty() ? "86" : areaId;
  // The id stands bare inside length(): digits only.
  if (!IsDecimalId(id)) return 1;
  return QueryAreas("t2.AR_ID = t1.AR_ID AND t1.AREAID LIKE '" + id + "__%'" +
                        " AND length(t1.AREAID) = length(" + id + ") + 2 " + " AND t2.LANGID = ",
                    rows);
}

int ParentAreaRows(const std::string& areaId, Json::Value* rows) {
  if (areaId.size() < 4 || !IsDecimalId(areaId)) return 1;
  std::string parent = areaId.substr(0, areaId.size() - 2);
  return QueryAreas("t2.AR_ID = t1.AR_ID AND t1.AREAID = '" + parent + "' AND t2.LANGID = ", rows);
}

int AreaRows(const std::string& areaId, Json::Value* rows) {
  if (areaId.size() < 4 || !IsDecimalId(areaId)) return 1;
  return QueryAreas("t2.AR_ID = t1.AR_ID AND t1.AREAID = '" + areaId + "' AND t2.LANGID = ", rows);
}

int GetSubAreas(const std::string& areaId, std::string* reply) {
  return AreaReply(SubAreaRows, areaId, reply);
}
int GetParentArea(const std::string& areaId, std::string* reply) {
  return AreaReply(ParentAreaRows, areaId, reply);
}
int GetArea(const std::string& areaId, std::string* reply) { return AreaReply(AreaRows, areaId, reply); }

int qelBusinessHelper::CheckResponseData(const std::string& replyText, qelInternetResponseBean* bean,
                                         std::string* /*text*/) {
  static const char kFun[] = "qel::dataspace::qelBusinessHelper::CheckResponseData";
  qelInternetResponseBean scratch;
  qelInternetResponseBean& response = bean != nullptr ? *bean : scratch;
  if (!response.ParseResponse(replyText)) {
    QEL_LOG(kFun, "jsonrpc response parse error");
    return 1;
  }
  if (response.IsSuccess() && response.GetResultCount() > 0) return 0;
  QEL_LOG(kFun, "jsonrpc response result error");
  // A success status without any item is no success either.
  if (response.IsSuccess()) return 19999;
  int status = StringToInt(response.GetStatusString());
  return status != 0 ? status : 19999;
}

}  // namespace dataspace
}  // namespace qel
