// Consultations and inquiries stored on this installation (0x537, 0x538,
// 0x53b to 0x53e): counts per product, lists per product (newest first) and
// deletion of one row.
#include <string>
#include <vector>

#include <json/json.h>

#include "business/custom/customhandlers.h"
#include "business/qelbusinesshelper.h"
#include "cqelbridge.h"
#include "database/qeldatasource.h"
#include "database/qelquery.h"
#include "database/qelquerydef.h"
#include "database/qelrecord.h"
#include "database/qelsqltext.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {
namespace custom {
namespace {

const char kConsCountFun[] = "qel::dataspace::qel_Invoke_Custom::GetProdConsCount";
const char kInqsCountFun[] = "qel::dataspace::qel_Invoke_Custom::GetProdInqsCount";

const std::vector<std::string> kConsultColumns = {"PRODUCT_ID", "CONSULT_ID", "ADDTIME",   "CONTENT",
                                                  "ITYPE",      "TEL1",       "TEL2",      "TEL3",
                                                  "MOBILENUM",  "EMAIL",      "SENTSTATUS"};
const std::vector<std::string> kInquiryColumns = {
    "PRODUCT_ID", "INQUIRY_ID", "CONTENT", "ITYPE", "ADDTIME", "NUM",        "CONTACT", "TEL1",   "TEL2",
    "TEL3",       "MOBILENUM",  "EMAIL",   "AREAR", "ADDRESS", "SENTSTATUS", "IMG",     "DUEDATE"};

// The user's own rows: the service's user id as stored, the same match the
// inquiry delete makes, so that every row listed can be deleted.
std::string UserCondition(const std::string& uid) { return "USERID = " + QuoteSqlText(uid); }

std::string CurrentUser() { return cqelbridge::GetInstance()->GetCurrentUID(); }

// PARAM.PRODUCT.PRODUCT_ID as text; "" when the text or the member is
// missing.
std::string RequestProductId(const MethodRequest& request) {
  return qel::TextMember(qel::ObjectMember(qel::ObjectMember(request.root, "PARAM"), "PRODUCT"),
                         "PRODUCT_ID");
}

// The rows a delete request names, as a match on the row id (idKey) and
// the product: the product id from PARAM.PRODUCT, or from the row object
// when that one is empty or missing. The row id is required (failText goes
// to the host without it).
bool DeleteMatch(const MethodRequest& request, const char* table, const char* idKey, const char* failText,
                 Json::Value* match) {
  const Json::Value& param = qel::ObjectMember(request.root, "PARAM");
  const Json::Value& row = qel::ObjectMember(param, table);
  std::string productId = qel::TextMember(qel::ObjectMember(param, "PRODUCT"), "PRODUCT_ID");
  if (productId.empty()) productId = qel::TextMember(row, "PRODUCT_ID");
  const Json::Value& id = qel::Member(row, idKey);
  // Both keys are bound: one that is not whole text would delete the rows
  // of another id.
  if (id.isNull() || id.isArray() || id.isObject() || !qel::IsKeyText(qel::ValueAsText(id)) ||
      !qel::IsKeyText(productId)) {
    QEL_LOG_DIRECT(failText);
    return false;
  }
  *match = Json::Value(Json::objectValue);
  (*match)[idKey] = qel::ValueAsText(id);
  (*match)["PRODUCT_ID"] = productId;
  return true;
}

// The rows of table under filter, newest ADDTIME first, as an array of row
// objects. False when the query cannot run.
bool QueryNewestFirst(const std::string& table, const std::vector<std::string>& columns,
                      const std::string& filter, Json::Value* rows) {
  qelQueryDef def;
  for (const std::string& column : columns) def.AddField(table, column);
  def.SetFilter(filter);
  def.AddOrder("ADDTIME", 1);
  *rows = Json::Value(Json::arrayValue);
  return QueryRows(&def, rows).Ran();
}

// Element 0 of an area lookup; null when the lookup fails or finds nothing.
Json::Value FirstArea(int (*lookup)(const std::string&, Json::Value*), const std::string& areaId,
                      bool* failed = nullptr) {
  Json::Value rows;
  const bool ok = lookup(areaId, &rows) == 0;
  if (failed != nullptr) *failed = !ok;
  if (!ok) return Json::Value();
  const Json::Value& first = qel::Element(rows, 0);
  return first.isObject() ? first : Json::Value();
}

Json::Value OrEmpty(const Json::Value& area) {
  return area.isObject() ? area : Json::Value(Json::objectValue);
}

// The area of the row, its parent and its grandparent. Area ids shorter
// than 4 characters have no area of their own and no parent ({} for all
// three).
void AddAreas(Json::Value* row) {
  const std::string areaId = qel::StringMember(*row, "AREAR");
  (*row)["AREACOUNTRY"] = OrEmpty(FirstArea(AreaRows, areaId));
  bool failed = false;
  const Json::Value city = FirstArea(ParentAreaRows, areaId, &failed);
  if (failed) {
    (*row)["AREACITY"] = Json::Value(Json::objectValue);
    (*row)["AREAPROVINCE"] = Json::Value(Json::objectValue);
    return;
  }
  // A parent lookup that ran but found no area: AREACITY is null and the
  // row has no AREAPROVINCE, as hosts have always read it.
  (*row)["AREACITY"] = city;
  if (city.isNull()) return;
  (*row)["AREAPROVINCE"] = OrEmpty(FirstArea(ParentAreaRows, qel::StringMember(city, "AREAID")));
}

// Deletes the rows of table that match every member of match. 0, or 1
// with "Delete record error" to the host.
int DeleteRows(const std::string& table, const Json::Value& match) {
  IQELDatasource* datasource = MainDatasource();
  qelRecord record;
  record.Append(match);
  if (datasource == nullptr || !datasource->DeleteRecord(table, &record)) {
    QEL_LOG_DIRECT("Delete record error");
    return 1;
  }
  return 0;
}

}  // namespace

int GetProdConsCount(Module&, const Request& request, std::string* reply) {
  if (CurrentUser().empty()) QEL_LOG(kConsCountFun, "There is not any user");
  const std::string productId = RequestProductId(request);
  if (!qel::IsKeyText(productId)) {
    QEL_LOG(kConsCountFun, "Can not get params from json in");
    return 1;
  }
  const std::string filter =
      "PRODUCT_ID=" + QuoteSqlText(productId) + " OR PRODUCT_ID IS null OR PRODUCT_ID = ''";
  return CountResult(QueryCount("PROD_CONSULT", filter), reply);
}

int GetProdInqsCount(Module&, const Request& request, std::string* reply) {
  const std::string uid = CurrentUser();
  if (uid.empty()) {
    QEL_LOG(kInqsCountFun, "There is not any user");
    return 1;
  }
  const std::string productId = RequestProductId(request);
  if (productId.empty() || !qel::IsKeyText(productId)) {
    QEL_LOG(kInqsCountFun, "Can not get params from json in");
    return 1;
  }
  const std::string filter = "PRODUCT_ID = " + QuoteSqlText(productId) + " AND " + UserCondition(uid);
  return CountResult(QueryCount("PROD_INQUIRY", filter), reply);
}

int GetConsultList(Module&, const Request& request, std::string* reply) {
  if (CurrentUser().empty()) QEL_LOG_DIRECT("Not any user");
  const std::string& productId = request.params.value;
  // The product is compared as a number: an id that is not one (the empty
  // id included) names no product, and lists nothing.
  if (!qel::IsDecimalId(productId)) {
    if (reply != nullptr) *reply = "[]";
    return 0;
  }
  Json::Value rows;
  const std::string filter =
      " (PRODUCT_ID IS null OR PRODUCT_ID = '' OR PRODUCT_ID = " + QuoteSqlText(productId) + ")";
  if (!QueryNewestFirst("PROD_CONSULT", kConsultColumns, filter, &rows)) {
    QEL_LOG_DIRECT("Query Error");
    return 1;
  }
  if (reply != nullptr) *reply = RowsText(rows);
  return 0;
}

int GetInquiryList(Module&, const Request& request, std::string* reply) {
  const std::string uid = CurrentUser();
  const std::string& productId = request.params.value;
  if (uid.empty()) {
    QEL_LOG_DIRECT("Not any users");
    return 1;
  }
  // As for consultations: an id that is not a number lists nothing.
  if (!qel::IsDecimalId(productId)) {
    if (reply != nullptr) *reply = "[]";
    return 0;
  }
  Json::Value rows;
  const std::string filter = UserCondition(uid) + " AND PRODUCT_ID = " + QuoteSqlText(productId);
  if (!QueryNewestFirst("PROD_INQUIRY", kInquiryColumns, filter, &rows)) {
    QEL_LOG_DIRECT("Query Error");
    return 1;
  }
  for (Json::Value& row : rows) AddAreas(&row);
  if (reply != nullptr) *reply = RowsText(rows);
  return 0;
}

int DeleteConsult(Module&, const Request& request, std::string*) {
  Json::Value match;
  if (!DeleteMatch(request, "PROD_CONSULT", "CONSULT_ID", "Can not get params from json in", &match))
    return 1;
  if (CurrentUser().empty()) QEL_LOG_DIRECT("Not any users");
  // Consultations are listed whoever stored them, so whoever lists one can
  // delete it: the match leaves the user out. Matching the user too would
  // answer success for a listed row that stays.
  return DeleteRows("PROD_CONSULT", match);
}

int DeleteInquiry(Module&, const Request& request, std::string*) {
  Json::Value match;
  if (!DeleteMatch(request, "PROD_INQUIRY", "INQUIRY_ID", "Can not get params fron json in", &match))
    return 1;
  const std::string uid = CurrentUser();
  if (uid.empty()) {
    QEL_LOG_DIRECT("Not any users");
    return 1;
  }
  match["USERID"] = uid;
  return DeleteRows("PROD_INQUIRY", match);
}

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
