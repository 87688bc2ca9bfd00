#include "business/qel_invoke_categorymodules.h"

#include <memory>

#include <json/json.h>

#include "business/qel_invoke_productdetail.h"
#include "business/qelbusinesshelper.h"
#include "database/qelinfoaccess.h"
#include "business/qelnewrule.h"
#include "database/qeldatasource.h"
#include "database/qelsqltext.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {
namespace {

const char kInvokeFunction[] = "qel::dataspace::qel_Invoke_CategoryModules::Invoke";
const char kCertgroupsFunction[] = "qel::dataspace::qel_Invoke_CategoryModules::GetCompanyCertgroups";
const char kPicsFunction[] = "qel::dataspace::qel_Invoke_CategoryModules::GetCertPicsByGroup";

IQELDatasource* Datasource() { return qelInfoAccess::GetInstance()->GetDatasource(); }
std::string LangId() { return qelInfoAccess::GetInstance()->GetLangID(); }

// The cursor of def, or null when the query fails.
std::unique_ptr<IQELQueryCursor> RunQuery(IQELDatasource* datasource, qelQueryDef* def) {
  IQELQueryCursor* raw = nullptr;
  bool ok = datasource->Query(def, &raw);
  std::unique_ptr<IQELQueryCursor> cursor(raw);
  if (!ok) cursor.reset();
  return cursor;
}

// Every row of the cursor appended as it is.
std::string AllRows(IQELQueryCursor* cursor) {
  qelRecord rows;
  while (cursor->MoveNext()) {
    qelRecord row;
    if (cursor->GetRecord(&row)) rows.Append(row.GetJson());
  }
  return rows.ToString();
}

void ApplyPaging(const RequestParams* params, qelQueryDef* def) {
  def->SetLimit(params->limit);
  def->SetOffset(params->offset);
}

// The distinct resource types of a case as numbers; empty when the query
// fails.
Json::Value CaseResourceTypes(IQELDatasource* datasource, const std::string& caseId) {
  Json::Value types(Json::arrayValue);
  qelQueryDef def;
  def.AddField("CASE_RESOURCE", "DISTINCT RES_TYPE");
  def.SetFilter(" CASE_ID = " + QuoteSqlText(caseId));
  std::unique_ptr<IQELQueryCursor> cursor = RunQuery(datasource, &def);
  if (!cursor) return types;
  while (cursor->MoveNext()) {
    qelRecord row;
    if (!cursor->GetRecord(&row)) continue;
    std::string type = StringMember(row.GetJson(), "RES_TYPE");
    if (!type.empty()) types.append(StringToInt(type));
  }
  return types;
}

// One method: reads its request, writes the reply and returns the result.
using MethodHandler = int (*)(qel_Invoke_CategoryModules* module, const std::string& json,
                              std::string* reply);

int HandleBanners(qel_Invoke_CategoryModules* module, const std::string&, std::string* reply) {
  *reply = module->GetBanners();
  return 0;
}

int HandleBannerCategories(qel_Invoke_CategoryModules* module, const std::string& json, std::string* reply) {
  RequestParams params;
  if (ParseRequestParams(json, "BANNER", "BANNER_ID", &params, nullptr) != 0) {
    QEL_LOG_DIRECT("Can`t get BANNER_ID from json in");
    return 1;
  }
  *reply = module->GetBannerCategories(&params);
  return 0;
}

int HandleCases(qel_Invoke_CategoryModules* module, const std::string& json, std::string* reply) {
  RequestParams params;
  // Only LIMIT and OFFSET are read; a request without PARAM is still valid.
  ParseRequestParams(json, "", "", &params, nullptr);
  params.value.clear();
  *reply = module->GetCases(&params);
  return 0;
}

int HandleCaseResources(qel_Invoke_CategoryModules*, const std::string& json, std::string* reply) {
  RequestParams params;
  const std::vector<std::string> extraKeys = {"PRODUCT_CASE_RES_TYPE"};
  if (ParseRequestParams(json, "PRODUCT_CASE", "CASE_ID", &params, &extraKeys) != 0) {
    QEL_LOG(kInvokeFunction, "Can not get params from json in");
    return 1;
  }
  qel_Invoke_ProductDetail detail;
  detail.GetCaseResources(params, reply);
  return 0;
}

int HandleCertCategories(qel_Invoke_CategoryModules* module, const std::string& json, std::string* reply) {
  RequestParams params;
  ParseRequestParams(json, "", "", &params, nullptr);
  *reply = module->GetCertCategories(&params);
  return 0;
}

int HandleCertgroupsOfCategory(qel_Invoke_CategoryModules* module, const std::string& json,
                               std::string* reply) {
  RequestParams params;
  if (ParseRequestParams(json, "CERT_CATEGORY", "CERT_CATEGORY_ID", &params, nullptr) != 0) {
    QEL_LOG_DIRECT("Can not find CERT_CATEGORY_ID in json in");
    params.value.clear();  // all groups
  }
  *reply = module->GetCompanyCertgroups(&params);
  return 0;
}

int HandleAllCertgroups(qel_Invoke_CategoryModules* module, const std::string& json, std::string* reply) {
  RequestParams params;
  ParseRequestParams(json, "", "", &params, nullptr);
  params.value.clear();
  *reply = module->GetCompanyCertgroups(&params);
  return 0;
}

int HandleCertgroupCount(qel_Invoke_CategoryModules* module, const std::string&, std::string* reply) {
  Json::Value count(Json::objectValue);
  count["COUNT"] = module->GetCertGroupCount();
  Json::Value rows(Json::arrayValue);
  rows.append(count);
  *reply = WriteStyled(rows);
  return 0;
}

int HandleCertgroupPictures(qel_Invoke_CategoryModules* module, const std::string& json, std::string* reply) {
  RequestParams params;
  if (ParseRequestParams(json, "CERTGROUP", "CERTGROUP_ID", &params, nullptr) != 0) {
    QEL_LOG(kInvokeFunction, "Can not get CERTGROUP_ID from json in");
    reply->clear();
    return 1;
  }
  *reply = module->GetCertPicsByGroup({params.value}, params.limit, params.offset);
  return 0;
}

// Indexed by method; null entries are methods this module does not answer.
const MethodHandler kMethods[] = {
    HandleBanners,               // 0
    HandleBannerCategories,      // 1
    nullptr,                     // 2
    nullptr,                     // 3
    nullptr,                     // 4
    nullptr,                     // 5
    nullptr,                     // 6
    nullptr,                     // 7
    nullptr,                     // 8
    HandleCases,                 // 9
    HandleCaseResources,         // 10
    nullptr,                     // 11
    nullptr,                     // 12
    nullptr,                     // 13
    nullptr,                     // 14
    nullptr,                     // 15
    HandleCertCategories,        // 16
    HandleCertgroupsOfCategory,  // 17
    HandleAllCertgroups,         // 18
    HandleCertgroupCount,        // 19
    HandleCertgroupPictures,     // 20
};
constexpr int kMethodCount = sizeof(kMethods) / sizeof(kMethods[0]);

}  // namespace

int qel_Invoke_CategoryModules::Invoke(int method, std::string json, std::string* reply) {
  if (reply == nullptr || method < 0 || method >= kMethodCount || kMethods[method] == nullptr) return 1;
  return kMethods[method](this, json, reply);
}

std::string qel_Invoke_CategoryModules::GetBanners() {
  IQELDatasource* datasource = Datasource();
  if (datasource == nullptr) return "";
  qelQueryDef def;
  for (const char* field : {"BANNER_ID", "ISSHOW", "TYPE", "SORT"}) def.AddField("BANNER", field);
  def.AddField("BANNER_LANG", "ICON");
  def.AddField("BANNER_LANG", "NAME");
  // The ordering is part of the filter, so it comes before LIMIT.
  def.SetFilter(" t2.BANNER_ID = t1.`BANNER_ID` AND LANGID =  " + LangId() +
                " order by t1.`SORT` ASC,t1.BANNER_ID ASC ");
  std::unique_ptr<IQELQueryCursor> cursor = RunQuery(datasource, &def);
  if (!cursor) return "";
  return AllRows(cursor.get());
}

std::string qel_Invoke_CategoryModules::GetBannerCategories(RequestParams* params) {
  if (params == nullptr || params->value.empty()) {
    QEL_LOG_DIRECT("Can not get banner id");
    return "";
  }
  IQELDatasource* datasource = Datasource();
  if (datasource == nullptr) return "";
  qelQueryDef def;
  for (const char* field : {"BANNDERCATE_ID", "BANNER_ID", "ISSHOW", "SORT", "STATUS"}) {
    def.AddField("BANNER_CATEGORY", field);
  }
  for (const char* field : {"NAME", "DESC", "CONTENT", "TIPS"}) def.AddField("BANNER_CATEGORY_LANG", field);
  ApplyPaging(params, &def);
  def.AddOrder("SORT", 0);
  def.SetFilter(" t2.BANNDERCATE_ID = t1.BANNDERCATE_ID AND t1.BANNER_ID=" + QuoteSqlText(params->value) +
                " AND t2.LANGID = " + LangId());
  std::unique_ptr<IQELQueryCursor> cursor = RunQuery(datasource, &def);
  if (!cursor) {
    QEL_LOG_DIRECT("Query error");
    return "";
  }
  return AllRows(cursor.get());
}

std::string qel_Invoke_CategoryModules::GetCases(RequestParams* params) {
  IQELDatasource* datasource = Datasource();
  if (datasource == nullptr || params == nullptr) return "";
  qelQueryDef def;
  def.AddField("PRODUCT_CASE", "CASE_ID");
  def.AddField("PRODUCT_CASE_LANG", "NAME");
  def.AddField("PRODUCT_CASE_LANG", "DESC");
  def.AddTable("COM_CASES");
  def.AddOrder("t1.SORT", 0);
  ApplyPaging(params, &def);
  def.SetFilter(
      " t1.CASE_ID = t2.CASE_ID AND t1.CASE_ID = t3.CASE_ID AND t3.PROD_CASE_STATUS = 1 AND t2.LANGID = " +
      LangId());
  std::unique_ptr<IQELQueryCursor> cursor = RunQuery(datasource, &def);
  if (!cursor) {
    QEL_LOG_DIRECT("Query error");
    return "";
  }
  qelRecord rows;
  while (cursor->MoveNext()) {
    qelRecord row;
    if (!cursor->GetRecord(&row) || !HasMember(row.GetJson(), "CASE_ID")) continue;
    Json::Value& item = row.GetJson();
    const std::string id = StringMember(item, "CASE_ID");
    item["RES_TYPES"] = CaseResourceTypes(datasource, id);
    item["STATUS"] = newrule::StatusText(IsCaseNew(id));
    rows.Append(item);
  }
  return rows.ToString();
}

bool qel_Invoke_CategoryModules::IsCaseNew(std::string caseId) { return newrule::IsCaseNew(caseId); }

std::string qel_Invoke_CategoryModules::GetCertCategories(RequestParams* params) {
  IQELDatasource* datasource = Datasource();
  if (datasource == nullptr || params == nullptr) return "";
  qelQueryDef def;
  def.AddField("CERT_CATEGORY", "CERT_CATEGORY_ID");
  def.AddField("CERT_CATEGORY", "BEUSE");
  for (const char* field : {"NAME", "DESC", "TIPS"}) def.AddField("CERT_CATEGORY_LANG", field);
  def.SetFilter(" t1.CERT_CATEGORY_ID = t2.CERT_CATEGORY_ID AND t2.LANGID = " + LangId());
  ApplyPaging(params, &def);
  def.AddOrder("SORT", 0);
  std::unique_ptr<IQELQueryCursor> cursor = RunQuery(datasource, &def);
  if (!cursor) {
    QEL_LOG_DIRECT("Query error");
    return "";
  }
  qelRecord rows;
  while (cursor->MoveNext()) {
    qelRecord row;
    if (!cursor->GetRecord(&row)) continue;
    Json::Value& item = row.GetJson();
    const std::string id = StringMember(item, "CERT_CATEGORY_ID");
    item["CERTCOUNT"] = QueryCount("CERTGROUP_CERTCATEGORY", "CERT_CATEGORY_ID = " + QuoteSqlText(id));
    item["NEWCERTCOUNT"] = GetNewCertCount(id);
    rows.Append(item);
  }
  return rows.ToString();
}

std::string qel_Invoke_CategoryModules::GetNewCertCount(std::string categoryId) {
  return newrule::NewCertCount(categoryId);
}

std::string qel_Invoke_CategoryModules::GetCompanyCertgroups(RequestParams* params) {
  IQELDatasource* datasource = Datasource();
  if (datasource == nullptr || params == nullptr) return "";
  qelQueryDef def;
  def.AddField("CERTGROUP", "CERTGROUP_ID");
  for (const char* field : {"NAME", "ORGANIZATION", "ISSUETIME", "TOPIMG", "DESC"}) {
    def.AddField("CERTGROUP_LANG", field);
  }
  ApplyPaging(params, &def);
  std::string filter = "t1.CERTGROUP_ID = t2.CERTGROUP_ID AND t2.LANGID = " + LangId() +
                       " AND t1.CERTGROUP_ID IN (SELECT CERTGROUP_ID FROM CERTGROUP_CERTCATEGORY g WHERE "
                       "g.CERT_CATEGORY_ID ";
  filter += params->value.empty() ? " IN (SELECT CERT_CATEGORY_ID FROM CERT_CATEGORY)"
                                  : "=" + QuoteSqlText(params->value);
  // The ordering is part of the filter, so it comes before LIMIT.
  filter += ")ORDER BY t1.`SORT` ASC,t1.CERTGROUP_ID DESC";
  def.SetFilter(filter);
  std::unique_ptr<IQELQueryCursor> cursor = RunQuery(datasource, &def);
  if (!cursor) {
    QEL_LOG(kCertgroupsFunction, "Query error");
    return "";
  }
  qelRecord rows;
  while (cursor->MoveNext()) {
    qelRecord row;
    if (!cursor->GetRecord(&row)) {
      QEL_LOG(kCertgroupsFunction, "Get record error");
      continue;
    }
    Json::Value& item = row.GetJson();
    const std::string id = StringMember(item, "CERTGROUP_ID");
    const std::string picture = StringMember(item, "TOPIMG");
    std::string path;
    if (datasource->GetFieldValue("PICTURE", "PATH", "RES_ID = " + QuoteSqlText(picture), &path) != 0) {
      QEL_LOG(kCertgroupsFunction, picture + " Get topimg error");
      path.clear();
    }
    item["TOPIMG"] = path;
    item["STATUS"] = newrule::StatusText(IsCertGroupNew(id));
    rows.Append(item);
  }
  return rows.ToString();
}

bool qel_Invoke_CategoryModules::IsCertGroupNew(std::string groupId) {
  return newrule::IsCertGroupNew(groupId);
}

std::string qel_Invoke_CategoryModules::GetCertGroupCount() {
  return QueryCount("CERTGROUP", "CERTGROUP_ID IN (SELECT CERTGROUP_ID FROM CERTGROUP_CERTCATEGORY)");
}

std::string qel_Invoke_CategoryModules::GetCertPicsByGroup(std::vector<std::string> groupIds, int limit,
                                                           int offset) {
  IQELDatasource* datasource = Datasource();
  if (datasource == nullptr) return "";
  if (groupIds.empty()) return "[]";
  std::string list;
  for (const std::string& id : groupIds) {
    if (!list.empty()) list += ",";
    list += QuoteSqlText(id);
  }
  qelQueryDef def;
  for (const char* field : {"RES_ID", "PATH", "EXTS", "THUMB1", "THUMB2", "IMG"})
    def.AddField("PICTURE", field);
  for (const char* field : {"DESC", "TIPS", "NAME"}) def.AddField("PICTURE_LANG", field);
  def.SetLimit(limit);
  def.SetOffset(offset);
  def.SetFilter("t1.RES_ID = t2.RES_ID AND t2.LANGID = " + LangId() +
                " AND t1.RES_ID IN (SELECT RES_ID FROM CERTGROUP_RESOURCE WHERE CERTGROUP_ID IN ( " + list +
                "))");
  std::unique_ptr<IQELQueryCursor> cursor = RunQuery(datasource, &def);
  if (!cursor) {
    QEL_LOG(kPicsFunction, "Get pics by group. Query error");
    return "";
  }
  qelRecord rows;
  while (cursor->MoveNext()) {
    qelRecord row;
    if (!cursor->GetRecord(&row)) continue;
    row.GetJson()["STATUS"] = "1";
    rows.Append(row.GetJson());
  }
  return rows.ToString();
}

}  // namespace dataspace
}  // namespace qel
