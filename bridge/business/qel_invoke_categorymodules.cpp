#include "business/qel_invoke_categorymodules.h"

#include <memory>

#include <json/json.h>

#include "business/qel_invoke_productdetail.h"
#include "business/qelbusinesshelper.h"
#include "business/qelmethodtable.h"
#include "business/qelnewrule.h"
#include "database/qelinfoaccess.h"
#include "database/qelquery.h"
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

// The groups that belong to at least one certificate category.
StorageRead<int64_t> CertGroupCount() {
  return QueryCount("CERTGROUP", "CERTGROUP_ID IN (SELECT CERTGROUP_ID FROM CERTGROUP_CERTCATEGORY)");
}

IQELDatasource* Datasource() { return MainDatasource(); }
std::string LangId() { return qelInfoAccess::GetInstance()->GetLangID(); }

// The rows of def as they are; "" when the query fails (failText, when
// given, then goes straight to the host).
std::string AllRows(qelQueryDef* def, const char* failText) {
  std::string text;
  return RowsReply(def, failText, &text) == 0 ? text : std::string();
}

void ApplyPaging(const RequestParams* params, qelQueryDef* def) {
  def->SetLimit(params->limit);
  def->SetOffset(params->offset);
}

// The distinct resource types of a case as numbers into *types. A query on
// a table this database lacks leaves them empty; false when the database
// cannot be read.
bool CaseResourceTypes(IQELDatasource* datasource, const std::string& caseId, Json::Value* types) {
  *types = Json::Value(Json::arrayValue);
  qelQueryDef def;
  def.AddField("CASE_RESOURCE", "DISTINCT RES_TYPE");
  def.SetFilter(" CASE_ID = " + QuoteSqlText(caseId));
  Json::Value found(Json::arrayValue);
  const StorageRead<> read = ForEachRow(datasource, &def, [&found](Json::Value& row) {
    std::string type = StringMember(row, "RES_TYPE");
    if (!type.empty()) found.append(StringToInt(type));
  });
  if (!read.Ran()) return read.Missing();
  *types = std::move(found);
  return true;
}

// ---- method table -----------------------------------------------------------

using Self = qel_Invoke_CategoryModules;
using Method = MethodDescriptor<Self>;

// LIMIT and OFFSET of a request whose PARAM is optional.
RequestParams PageOnly(const MethodRequest& request) {
  RequestParams params;
  ReadRequestParams(request.root, "", "", &params, nullptr);
  params.value.clear();
  return params;
}

int HandleBanners(Self& module, const MethodRequest&, std::string* reply) {
  *reply = module.GetBanners();
  return 0;
}

int HandleBannerCategories(Self& module, const MethodRequest& request, std::string* reply) {
  RequestParams params = request.params;
  *reply = module.GetBannerCategories(&params);
  return 0;
}

int HandleCases(Self& module, const MethodRequest& request, std::string* reply) {
  RequestParams params = PageOnly(request);
  *reply = module.GetCases(&params);
  return 0;
}

int HandleCaseResources(Self&, const MethodRequest& request, std::string* reply) {
  // The case's resources answer as they are; "no resource" is no failure.
  GetCaseResources(request.params, reply);
  return 0;
}

int HandleCertCategories(Self& module, const MethodRequest& request, std::string* reply) {
  RequestParams params = PageOnly(request);
  *reply = module.GetCertCategories(&params);
  return 0;
}

int HandleCertgroupsOfCategory(Self& module, const MethodRequest& request, std::string* reply) {
  RequestParams params;
  if (ReadRequestParams(request.root, "CERT_CATEGORY", "CERT_CATEGORY_ID", &params, nullptr) != 0) {
    QEL_LOG_DIRECT("Can not find CERT_CATEGORY_ID in json in");
    params.value.clear();  // all groups
  }
  *reply = module.GetCompanyCertgroups(&params);
  return 0;
}

int HandleAllCertgroups(Self& module, const MethodRequest& request, std::string* reply) {
  RequestParams params = PageOnly(request);
  *reply = module.GetCompanyCertgroups(&params);
  return 0;
}

int HandleCertgroupCount(Self&, const MethodRequest&, std::string* reply) {
  *reply = CountReply(CertGroupCount());
  return 0;
}

int HandleCertgroupPictures(Self&, const MethodRequest& request, std::string* reply) {
  RequestParams params;
  if (ReadRequestParams(request.root, "CERTGROUP", "CERTGROUP_ID", &params, nullptr) != 0) {
    QEL_LOG(kInvokeFunction, "Can not get CERTGROUP_ID from json in");
    reply->clear();
    return 1;
  }
  *reply = GetCertPicsByGroup({params.value}, params.limit, params.offset);
  return 0;
}

// Methods this module does not list return 1 with the reply untouched.
const MethodTable<Self>& Methods() {
  static const MethodTable<Self>& table = *new MethodTable<Self>(
      {
          Method(request::kPrimaryModules, &HandleBanners),
          Method(request::kSecondaryModules, &HandleBannerCategories)
              .Key("BANNER", "BANNER_ID")
              .OnFail(FailRoute::kDirect, "Can`t get BANNER_ID from json in"),
          Method(request::kCases, &HandleCases).Parsed(),
          Method(request::kCaseResources, &HandleCaseResources)
              .Key("PRODUCT_CASE", "CASE_ID")
              .Extra({"PRODUCT_CASE_RES_TYPE"})
              .OnFail(FailRoute::kBridge, "Can not get params from json in", kResultFailed, kInvokeFunction),
          Method(request::kCertCategories, &HandleCertCategories).Parsed(),
          Method(request::kCertGroupsOfCategory, &HandleCertgroupsOfCategory).Parsed(),
          Method(request::kAllCertGroups, &HandleAllCertgroups).Parsed(),
          Method(request::kCertGroupCount, &HandleCertgroupCount),
          Method(request::kCertGroupPictures, &HandleCertgroupPictures).Parsed(),
      },
      kResultFailed);
  return table;
}

}  // namespace

int qel_Invoke_CategoryModules::Invoke(int method, std::string json, std::string* reply) {
  if (reply == nullptr) return kResultFailed;
  return Methods().Invoke(*this, method, json, reply);
}

std::string qel_Invoke_CategoryModules::GetBanners() {
  IQELDatasource* datasource = Datasource();
  if (datasource == nullptr) return "";
  qelQueryDef def;
  for (const char* field : {"BANNER_ID", "ISSHOW", "TYPE", "SORT"}) def.AddField("BANNER", field);
  def.AddField("BANNER_LANG", "ICON");
  def.AddField("BANNER_LANG", "NAME");
  // The ordering belongs to the filter, so it comes before LIMIT.
  def.SetFilter(" t2.BANNER_ID = t1.`BANNER_ID` AND LANGID =  " + LangId() +
                " order by t1.`SORT` ASC,t1.BANNER_ID ASC ");
  return AllRows(&def, nullptr);
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
  return AllRows(&def, "Query error");
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
  // A case whose resource types or "new" test cannot be read fails the list.
  Json::Value rows(Json::arrayValue);
  const StorageRead<> ok = ForEachRowWhile(datasource, &def, [&](Json::Value& item) {
    if (!HasMember(item, "CASE_ID")) return true;
    const std::string id = StringMember(item, "CASE_ID");
    if (!CaseResourceTypes(datasource, id, &item["RES_TYPES"])) return false;
    const StorageRead<newrule::NewState> state = newrule::CaseState(id);
    if (!state.Found()) return false;
    item["STATUS"] = newrule::StatusText(state.value == newrule::NewState::kNew);
    rows.append(std::move(item));
    return true;
  });
  if (!ok.Ran()) {
    QEL_LOG_DIRECT("Query error");
    return "";
  }
  return RowsText(rows);
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
  // A count that cannot be read fails the list.
  Json::Value rows(Json::arrayValue);
  const StorageRead<> ok = ForEachRowWhile(datasource, &def, [&](Json::Value& item) {
    const std::string id = StringMember(item, "CERT_CATEGORY_ID");
    const StorageRead<int64_t> count =
        QueryCount("CERTGROUP_CERTCATEGORY", "CERT_CATEGORY_ID = " + QuoteSqlText(id));
    if (!count.Found()) return false;
    const std::string newCount = GetNewCertCount(id);
    if (newCount.empty()) return false;
    item["CERTCOUNT"] = CountText(count);
    item["NEWCERTCOUNT"] = newCount;
    rows.append(std::move(item));
    return true;
  });
  if (!ok.Ran()) {
    QEL_LOG_DIRECT("Query error");
    return "";
  }
  return RowsText(rows);
}

std::string qel_Invoke_CategoryModules::GetNewCertCount(std::string categoryId) {
  return CountText(newrule::NewCertCount(categoryId));
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
  // The ordering belongs to the filter, so it comes before LIMIT.
  filter += ")ORDER BY t1.`SORT` ASC,t1.CERTGROUP_ID DESC";
  def.SetFilter(filter);
  // A group whose picture or "new" test cannot be read fails the list; a
  // picture that is not there leaves TOPIMG empty.
  Json::Value rows(Json::arrayValue);
  const StorageRead<> ok = ForEachRowWhile(datasource, &def, [&](Json::Value& item) {
    const std::string id = StringMember(item, "CERTGROUP_ID");
    const std::string picture = StringMember(item, "TOPIMG");
    const StorageRead<std::string> path =
        ReadFieldValue(datasource, "PICTURE", "PATH", "RES_ID = " + QuoteSqlText(picture));
    if (path.Failed()) return false;
    if (!path.Found()) QEL_LOG(kCertgroupsFunction, picture + " Get topimg error");
    const StorageRead<newrule::NewState> state = newrule::CertGroupState(id);
    if (!state.Found()) return false;
    item["TOPIMG"] = path.Found() ? path.value : std::string();
    item["STATUS"] = newrule::StatusText(state.value == newrule::NewState::kNew);
    rows.append(std::move(item));
    return true;
  });
  if (!ok.Ran()) {
    QEL_LOG(kCertgroupsFunction, "Query error");
    return "";
  }
  return RowsText(rows);
}

bool qel_Invoke_CategoryModules::IsCertGroupNew(std::string groupId) {
  return newrule::IsCertGroupNew(groupId);
}

std::string qel_Invoke_CategoryModules::GetCertGroupCount() { return CountText(CertGroupCount()); }

std::string qel_Invoke_CategoryModules::GetCertPicsByGroup(std::vector<std::string> groupIds, int limit,
                                                           int offset) {
  return dataspace::GetCertPicsByGroup(groupIds, limit, offset);
}

std::string GetCertPicsByGroup(const std::vector<std::string>& groupIds, int limit, int offset) {
  IQELDatasource* datasource = Datasource();
  if (datasource == nullptr) return "";
  if (groupIds.empty()) return "[]";
  qelQueryDef def;
  for (const char* field : {"RES_ID", "PATH", "EXTS", "THUMB1", "THUMB2", "IMG"})
    def.AddField("PICTURE", field);
  for (const char* field : {"DESC", "TIPS", "NAME"}) def.AddField("PICTURE_LANG", field);
  def.SetLimit(limit);
  def.SetOffset(offset);
  def.SetFilter("t1.RES_ID = t2.RES_ID AND t2.LANGID = " + LangId() +
                " AND t1.RES_ID IN (SELECT RES_ID FROM CERTGROUP_RESOURCE WHERE CERTGROUP_ID IN ( " +
                JoinQuoted(groupIds) + "))");
  Json::Value rows(Json::arrayValue);
  if (!ForEachRow(datasource, &def, [&rows](Json::Value& row) {
         row["STATUS"] = "1";
         rows.append(std::move(row));
       }).Ran()) {
    QEL_LOG(kPicsFunction, "Get pics by group. Query error");
    return "";
  }
  return RowsText(rows);
}

}  // namespace dataspace
}  // namespace qel
