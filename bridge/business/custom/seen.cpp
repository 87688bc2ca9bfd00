// Mark as seen (0x522, 0x523): the seen-marks that the catalogue's "new"
// rule reads.
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include <json/json.h>

#include "business/custom/customhandlers.h"
#include "business/custom/localids.h"
#include "database/qeldatasource.h"
#include "database/qelquery.h"
#include "database/qelrecord.h"
#include "database/qelsqltext.h"
#include "database/qeltransaction.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {
namespace custom {
namespace {

const char kFun[] = "qel::dataspace::qel_Invoke_Custom::SetStatusNormal";

// One id of an item: the member of the request's item object, the column
// of the item's own table and the column of its _EXTEND row.
struct SeenKey {
  const char* itemKey;
  const char* sourceColumn;
  const char* extendColumn;
};

// One item kind. Every key is required; the keys' order is the order of the
// terms of the filter on the item's own table.
struct SeenKind {
  const char* name;
  const char* sourceTable;
  const char* extendTable;
  std::vector<SeenKey> keys;
};

// Tested in this order. The spellings BANNDERCATE_ID / BANNER_CATEGORY_ID
// and PRODUCT_ID / PROD_ID differ on purpose: they are the stored columns.
// Certificate categories carry no time of their own in the shipped schema;
// their mark then takes the current time.
const std::vector<SeenKind>& SeenKinds() {
  static const std::vector<SeenKind> kinds = {
      {"CERTGROUP", "CERTGROUP", "CERTGROUP_EXTEND", {{"CERTGROUP_ID", "CERTGROUP_ID", "CERTGROUP_ID"}}},
      {"CERT_CATEGORY",
       "CERT_CATEGORY",
       "COMPANYCERT_EXTEND",
       {{"CERT_CATEGORY_ID", "CERT_CATEGORY_ID", "CERT_CATEGORY_ID"}}},
      {"PRODUCT_CASE", "PRODUCT_CASE", "CASE_EXTEND", {{"CASE_ID", "CASE_ID", "CASE_ID"}}},
      {"BANNER_CATEGORY",
       "BANNER_CATEGORY",
       "BANNER_CATEGORY_EXTEND",
       {{"BANNER_ID", "BANNER_ID", "BANNER_ID"}, {"BANNDERCATE_ID", "BANNDERCATE_ID", "BANNER_CATEGORY_ID"}}},
      {"PRODUCT", "PRODUCT", "PRODUCT_EXTEND", {{"PRODUCT_ID", "PRODUCT_ID", "PROD_ID"}}},
  };
  return kinds;
}

const SeenKind* FindKind(const std::string& name) {
  for (const SeenKind& kind : SeenKinds()) {
    if (name == kind.name) return &kind;
  }
  return nullptr;
}

// An id member that is present and not null, as text. Arrays and objects
// are no ids, nor is a text that is not whole (qel::IsKeyText).
bool IdText(const Json::Value& item, const char* key, std::string* out) {
  const Json::Value& value = qel::Member(item, key);
  if (value.isNull() || value.isArray() || value.isObject()) return false;
  *out = qel::ValueAsText(value);
  return qel::IsKeyText(*out);
}

// A stored time that can be read as a number: optional minus, digits.
bool IsTimeText(const std::string& text) {
  if (!text.empty() && text[0] == '-') return qel::IsDecimalId(std::string_view(text).substr(1));
  return qel::IsDecimalId(text);
}

// The item's LASTTIME; the current time when the item has no row, no time,
// or a time that is not a number, so that the mark is still later than
// anything the item held when it was looked at.
int64_t ItemTime(IQELDatasource* datasource, const SeenKind& kind, const std::string& filter) {
  std::string text;
  if (datasource->GetFieldValue(kind.sourceTable, "LASTTIME", filter, &text) != 0) {
    QEL_LOG(kFun, "Get last data error");
    return static_cast<int64_t>(qel::NowMs());
  }
  if (!IsTimeText(text)) return static_cast<int64_t>(qel::NowMs());
  return qel::StringToInt64(text);
}

}  // namespace

int SetStatusNormal(Module&, const Request& request, std::string* /*reply*/) {
  const Json::Value& root = request.root;
  if (!root.isObject()) {
    QEL_LOG(kFun, "Json error");
    return 1;
  }
  const Json::Value& param = qel::Member(root, "PARAM");
  if (param.isNull()) {
    QEL_LOG(kFun, "Json error");
    return 1;
  }
  if (!param.isObject() || param.empty()) {
    QEL_LOG(kFun, "Json Error");
    return 1;
  }
  // Member names come sorted by byte order; the first one names the item.
  const std::string memberName = param.getMemberNames().front();
  const std::string tableName = qel::Trim(memberName);
  const Json::Value& item = param[memberName];

  const SeenKind* kind = FindKind(tableName);
  if (kind == nullptr) QEL_LOG(kFun, "not support");
  if (kind == nullptr || !item.isObject()) {
    QEL_LOG(kFun, "Json error");
    return 1;
  }

  // Extend columns in name order (the order of the extend filter's terms);
  // the item's own filter in the kind's key order.
  std::map<std::string, std::string> ids;
  std::string sourceFilter;
  for (const SeenKey& key : kind->keys) {
    std::string id;
    if (!IdText(item, key.itemKey, &id)) {
      QEL_LOG(kFun, "Json error");
      return 1;
    }
    ids[key.extendColumn] = id;
    if (!sourceFilter.empty()) sourceFilter += " AND ";
    sourceFilter += std::string(key.sourceColumn) + " = " + QuoteSqlText(id);
  }
  std::string extendFilter;
  for (const auto& [column, id] : ids) {
    if (!extendFilter.empty()) extendFilter += " AND ";
    extendFilter += column + "=" + QuoteSqlText(id);
  }

  IQELDatasource* datasource = MainDatasource();
  if (datasource == nullptr) {
    QEL_LOG(kFun, "Get last data error");
    return 1;
  }
  int64_t time = ItemTime(datasource, *kind, sourceFilter);
  if (time < std::numeric_limits<int64_t>::max()) ++time;
  const std::string timeText = qel::Int64ToString(time);

  // The count and the write go together, so two marks at once never give
  // two rows.
  qelTransaction transaction(datasource);
  const StorageRead<int64_t> count =
      transaction.Active() ? CountRows(datasource, kind->extendTable, extendFilter) : StorageRead<int64_t>();
  if (!count.Found()) {
    QEL_LOG(kFun, "Get count error");
    return 1;
  }
  Json::Value row(Json::objectValue);
  row["LASTTIME"] = timeText;
  qelRecord record;
  if (count.value == 0) {
    for (const auto& [column, id] : ids) row[column] = id;
    record.Append(row);
    if (!datasource->AddRecord(kind->extendTable, &record) || !transaction.Commit()) {
      QEL_LOG(kFun, "Insert lasttime error");
      return 1;
    }
    return 0;
  }
  row["UPFILTER"] = extendFilter;
  record.Append(row);
  if (!datasource->UpdateRecord(kind->extendTable, &record) || !transaction.Commit()) {
    QEL_LOG(kFun, "Update lasttime error");
    return 1;
  }
  return 0;
}

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
