#include "business/qel_invoke_productdetail.h"

#include <array>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "business/qel_invoke_categorymodules.h"
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

constexpr char kInvokeFun[] = "qel::dataspace::qel_Invoke_ProductDetail::Invoke";

// Resource types of PRODUCT_RESOURCE and PROD_MODELPICS.
constexpr char kResPicture[] = "1";
constexpr char kResVideo[] = "2";

// A model id is the product id plus at least four characters; the counts
// take only model ids of this length.
constexpr std::size_t kProductWithModelsLength = 11;
constexpr char kModelIdLength[] = "15";

IQELDatasource* Datasource() { return MainDatasource(); }
std::string LangId() { return qelInfoAccess::GetInstance()->GetLangID(); }

// The rows of def, and the unit ids they name.
bool RowsWithUnits(qelQueryDef* def, std::vector<Json::Value>* rows, std::set<std::string>* unitIds) {
  return ForEachRow(def,
                    [rows, unitIds](Json::Value& row) {
                      std::string unit = StringMember(row, "PARAMUNIT_ID");
                      if (!unit.empty()) unitIds->insert(unit);
                      rows->push_back(std::move(row));
                    })
      .Ran();
}

void SetPage(const RequestParams& params, qelQueryDef* def) {
  def->SetLimit(params.limit);
  def->SetOffset(params.offset);
}

// One page of def as the reply (see dataspace::PageReply).
int PageReply(qelQueryDef* def, const RequestParams& params, const char* failText, std::string* reply) {
  return dataspace::PageReply(def, params.limit, params.offset, failText, reply);
}

// False, and logged, when the bridge has no datasource.
bool HasDatasource() {
  if (Datasource() != nullptr) return true;
  QEL_LOG_DIRECT("DataSource is NULL");
  return false;
}

// The RES_ID values of one product's resources of one type.
bool ProductResourceIds(const std::string& productId, const char* type, std::vector<std::string>* ids) {
  qelQueryDef def;
  def.AddField("PRODUCT_RESOURCE", "RES_ID");
  def.SetFilter(" PRODUCT_ID = " + productId + " AND RES_TYPE = " + type);
  return QueryColumn(&def, "RES_ID", ids).Ran();
}

// Unit names in the current language of the given unit ids; the first row
// of a unit wins, as a single look-up would take it. kMissing on a table
// this database lacks (the names are then empty, as for a missing unit),
// kFailed when the database cannot be read.
StorageRead<std::map<std::string, std::string>> UnitNames(const std::set<std::string>& unitIds) {
  using Names = std::map<std::string, std::string>;
  if (unitIds.empty()) return StorageRead<Names>(ReadState::kNoRow);
  qelQueryDef def;
  def.AddField("PARAM_UNIT_LANG", "PARAMUNIT_ID");
  def.AddField("PARAM_UNIT_LANG", "NAME");
  def.SetFilter("PARAMUNIT_ID IN (" + JoinQuoted(std::vector<std::string>(unitIds.begin(), unitIds.end())) +
                ") AND LANGID = " + LangId());
  Names found;
  const StorageRead<> read = ForEachRow(&def, [&found](const Json::Value& row) {
    found.emplace(StringMember(row, "PARAMUNIT_ID"), StringMember(row, "NAME"));
  });
  return read.Ran() ? read.With(std::move(found)) : read.With(Names());
}

// Tables and fields of one case resource type; false for a type without
// resource tables.
bool AddCaseResourceFields(const std::string& type, qelQueryDef* def) {
  if (type == "1") {
    for (const char* field : {"RES_ID", "PATH"}) def->AddField("PICTURE", field);
    for (const char* field : {"NAME", "DESC", "TIPS"}) def->AddField("PICTURE_LANG", field);
    return true;
  }
  if (type == "2") {
    for (const char* field : {"RES_ID", "PATH", "STATUS", "IMG", "THUMB1", "THUMB2"})
      def->AddField("VIDEO", field);
    for (const char* field : {"NAME", "DESC", "TIPS"}) def->AddField("VIDEO_LANG", field);
    return true;
  }
  if (type == "6") {
    for (const char* field : {"RES_ID", "STATUS", "PATH"}) def->AddField("TEXT", field);
    for (const char* field : {"TEXT", "TIPS"}) def->AddField("TEXT_LANG", field);
    return true;
  }
  if (type == "3" || type == "5") QEL_LOG_DIRECT("resource type error");
  return false;
}

// ---- method table ----------------------------------------------------------

using Self = qel_Invoke_ProductDetail;
using Method = MethodDescriptor<Self>;

// Handlers of the table: a method reading the parsed request, or only its id.
template <int (Self::*Get)(const RequestParams&, std::string*)>
int WithParams(Self& self, const MethodRequest& request, std::string* reply) {
  return (self.*Get)(request.params, reply);
}
template <int (Self::*Get)(const std::string&, std::string*)>
int WithId(Self& self, const MethodRequest& request, std::string* reply) {
  return (self.*Get)(request.params.value, reply);
}
int CaseResources(Self&, const MethodRequest& request, std::string* reply) {
  return GetCaseResources(request.params, reply);
}

constexpr char kParamsFail[] = "Can not get params from json in";
constexpr char kProductFail[] = "Can not get PRODUCT_ID from json in";
constexpr char kProductFailBlank[] = "Can not get PRODUCT_ID from json in ";
constexpr char kCaseFailBlank[] = "Can not get CASE_ID from json in ";

// Ids that the queries compare bare must be decimal; an empty one would
// otherwise drop the condition's meaning (or list a whole table).
bool DecimalId(const MethodRequest& request) { return IsDecimalId(request.params.value); }

// The same, and a picture group that is "", "-1" (every group) or decimal.
bool DecimalIdAndGroup(const MethodRequest& request) {
  const RequestParams& params = request.params;
  const std::string& group = params.values.empty() ? std::string() : params.values[0];
  return IsDecimalId(params.value) && (group.empty() || group == "-1" || IsDecimalId(group));
}

Method ProductMethod(request::Code code, Method::Handler handler, FailRoute route, const char* failText,
                     int failResult) {
  return Method(code, handler)
      .Key("PRODUCT", "PRODUCT_ID")
      .Accept(&DecimalId)
      .OnFail(route, failText, failResult, kInvokeFun);
}

std::string UnknownMethodReply() { return qel_Invoke_ProductDetail::MakeErrorJson(-1, "item not exists"); }

const MethodTable<Self>& Methods() {
  static const MethodTable<Self>& table = *new MethodTable<Self>(
      {
          ProductMethod(request::kProductIntroductions, &WithParams<&Self::GetIntroductions>,
                        FailRoute::kBridge, kParamsFail, 1),
          ProductMethod(request::kProductIntroductionCount, &WithParams<&Self::CountIntroductions>,
                        FailRoute::kBridge, kParamsFail, 1),
          ProductMethod(request::kProductCases, &WithParams<&Self::GetProductCases>, FailRoute::kDirect,
                        kProductFailBlank, 0),
          Method(request::kProductCaseResources, &CaseResources)
              .Key("PRODUCT_CASE", "CASE_ID")
              .Extra({"PRODUCT_CASE_RES_TYPE"})
              .Accept(&DecimalId)
              .OnFail(FailRoute::kDirect, kCaseFailBlank, 0),
          ProductMethod(request::kProductPictureGroups, &WithParams<&Self::GetPicGroups>, FailRoute::kDirect,
                        kProductFailBlank, 0),
          ProductMethod(request::kProductPictures, &WithParams<&Self::GetPictures>, FailRoute::kDirect,
                        kProductFailBlank, 0)
              .Extra({"PICTURE_GROUP_ID"})
              .Accept(&DecimalIdAndGroup),
          ProductMethod(request::kProductVideos, &WithParams<&Self::GetVideos>, FailRoute::kDirect,
                        kProductFailBlank, 0),
          ProductMethod(request::kProductReports, &WithParams<&Self::GetReports>, FailRoute::kDirect,
                        kProductFailBlank, 0),
          ProductMethod(request::kProductCerts, &WithParams<&Self::GetProdCerts>, FailRoute::kDirect,
                        kProductFail, 1),
          ProductMethod(request::kProductModels, &WithId<&Self::GetModels>, FailRoute::kDirect, kProductFail,
                        1),
          ProductMethod(request::kProductParameters, &WithParams<&Self::GetParameters>, FailRoute::kDirect,
                        kProductFail, 1),
          ProductMethod(request::kProductParameterValues, &WithParams<&Self::GetParameterValues>,
                        FailRoute::kDirect, kProductFail, 1),
          ProductMethod(request::kProductModelPictures, &WithParams<&Self::GetModelPictures>,
                        FailRoute::kDirect, kProductFail, 1),
          ProductMethod(request::kProductModelCount, &WithParams<&Self::GetModelCount>, FailRoute::kBridge,
                        kParamsFail, 1),
          ProductMethod(request::kProductDetailHeads, &WithId<&Self::GetDtlHead>, FailRoute::kBridge,
                        kParamsFail, 1),
      },
      kResultFailed, &UnknownMethodReply);
  return table;
}

}  // namespace

int qel_Invoke_ProductDetail::Invoke(int method, std::string json, std::string* reply) {
  return Methods().Invoke(*this, method, json, reply);
}

std::string qel_Invoke_ProductDetail::MakeErrorJson(int code, std::string text) {
  Json::Value error(Json::objectValue);
  if (code == 0) {
    error["Error"] = "";
  } else {
    error["Error"] = code;
  }
  error["ErrorInfo"] = std::move(text);
  return qel::WriteStyled(error);
}

// ---- head --------------------------------------------------------------

StorageRead<int64_t> qel_Invoke_ProductDetail::GetIntroduceCount(const std::string& productId) {
  qelQueryDef def;
  def.AddField("PRODUCT_LANG", "INTRODUCE");
  // Only the current language's text decides whether the tab has content.
  def.SetFilter("PRODUCT_ID = " + QuoteSqlText(productId) + " AND LANGID = " + LangId());
  def.SetLimit(1);
  std::vector<std::string> texts;
  const StorageRead<> read = QueryColumn(&def, "INTRODUCE", &texts);
  if (!read.Ran()) {
    QEL_LOG("qel::dataspace::qel_Invoke_ProductDetail::GetIntroduceCount", "Query error");
    return read.With(int64_t{0});
  }
  return ReadValue<int64_t>(!texts.empty() && !texts[0].empty() ? 1 : 0);
}

StorageRead<int64_t> qel_Invoke_ProductDetail::CountModels(const std::string& productId) {
  if (!IsDecimalId(productId)) return ReadValue<int64_t>(0);
  return QueryCount(
      "PRODUCT", "PRODUCT_ID LIKE '" + productId + "____%" + "' AND length(PRODUCT_ID) = " + kModelIdLength);
}

StorageRead<int64_t> qel_Invoke_ProductDetail::CountModelPictures(const std::string& productId) {
  if (!IsDecimalId(productId)) return ReadValue<int64_t>(0);
  return QueryCount("PROD_MODELPICS", "PRODUCT_ID LIKE '" + productId + "%' ");
}

StorageRead<int64_t> qel_Invoke_ProductDetail::CountProductResources(const std::string& productId,
                                                                     const std::string& type) {
  if (!IsDecimalId(productId) || !IsDecimalId(type)) return ReadValue<int64_t>(0);
  return QueryCount("PRODUCT_RESOURCE", "PRODUCT_ID = " + productId + " AND RES_TYPE = " + type);
}

StorageRead<int64_t> qel_Invoke_ProductDetail::CountCertGroups(const std::string& productId) {
  return QueryCount("PROD_CERTGROUP", "PRODUCT_ID = " + QuoteSqlText(productId));
}

StorageRead<int64_t> qel_Invoke_ProductDetail::CountProductCases(const std::string& productId) {
  if (!IsDecimalId(productId)) return ReadValue<int64_t>(0);
  return QueryCount("PROD_PRODCASE", "PRODUCT_ID = " + productId);
}

StorageRead<int64_t> qel_Invoke_ProductDetail::CountReportResources(const std::string& productId) {
  if (!IsDecimalId(productId)) return ReadValue<int64_t>(0);
  return QueryCount("REPORT_RESOURCE", "PRODUCT_ID = " + productId);
}

int qel_Invoke_ProductDetail::GetDtlHead(const std::string& productId, std::string* reply) {
  if (productId.empty() || !IsDecimalId(productId)) {
    QEL_LOG("qel::dataspace::qel_Invoke_ProductDetail::GetDtlHead", "strProductId is empty");
    return 1;
  }
  // The tabs in TYPE order; "7" and "8" are always there. A count that
  // cannot be read would show its tab as empty: the head fails at the
  // first one, without running the rest.
  std::function<StorageRead<int64_t>()> counts[] = {
      [&] { return GetIntroduceCount(productId); },
      [&] {
        const StorageRead<int64_t> models = CountModels(productId);
        if (!models.Found()) return models;
        const StorageRead<int64_t> pictures = CountModelPictures(productId);
        return pictures.Found() ? ReadValue(models.value + pictures.value) : pictures;
      },
      [&] { return CountCertGroups(productId); },
      [&] { return CountProductResources(productId, kResVideo); },
      [&] { return CountProductResources(productId, kResPicture); },
      [&] { return CountProductCases(productId); },
      [&] { return CountReportResources(productId); },
      [] { return ReadValue<int64_t>(1); },
      [] { return ReadValue<int64_t>(1); },
  };
  qelRecord rows;
  for (std::size_t type = 0; type < sizeof(counts) / sizeof(counts[0]); ++type) {
    const StorageRead<int64_t> count = counts[type]();
    if (!count.Found()) {
      QEL_LOG("qel::dataspace::qel_Invoke_ProductDetail::GetDtlHead", "Query error");
      return 1;
    }
    Json::Value item(Json::objectValue);
    item["TYPE"] = IntToString(static_cast<int>(type));
    item["COUNT"] = CountText(count);
    rows.Append(std::move(item));
  }
  *reply = rows.ToString();
  return 0;
}

// ---- introductions, models, parameters ------------------------------------

int qel_Invoke_ProductDetail::GetIntroductions(const RequestParams& params, std::string* reply) {
  if (!IsDecimalId(params.value)) return 1;
  qelQueryDef def;
  def.AddField("PRODUCT_INTRODUCT", "PATH");
  for (const char* field : {"NAME", "DESC", "TIPS"}) def.AddField("PRODUCT_INTRODUCT_LANG", field);
  def.SetFilter(std::string("t1.") + "PRODUCT_ID" + " = " + params.value +
                " AND  t1.PRODINTRO_ID = t2.PRODINTRO_ID AND t2.LANGID = " + LangId());
  def.AddOrder("SORT", 0);
  return PageReply(&def, params, "Query error", reply);
}

int qel_Invoke_ProductDetail::CountIntroductions(const RequestParams& params, std::string* reply) {
  if (!IsDecimalId(params.value)) return 1;
  return CountResult(QueryCount("PRODUCT_INTRODUCT", std::string("PRODUCT_ID") + " = " + params.value),
                     reply);
}

int qel_Invoke_ProductDetail::GetModels(const std::string& productId, std::string* reply) {
  if (productId.size() != kProductWithModelsLength || !IsDecimalId(productId)) {
    QEL_LOG_DIRECT("PRODUCT_ID length error");
    return 1;
  }
  qelQueryDef def;
  for (const char* field : {"PRODUCT_ID", "SORT", "SSORT", "PRICETYPE", "PRICE", "STATUS"}) {
    def.AddField("PRODUCT", field);
  }
  for (const char* field : {"NAME", "DESC"}) def.AddField("PRODUCT_LANG", field);
  def.SetFilter("t1.PRODUCT_ID LIKE('" + productId + "____%" +
                "') AND t1.PRODUCT_ID = t2.PRODUCT_ID AND t2.LANGID = " + LangId());
  return RowsReply(&def, "Query error", reply);
}

int qel_Invoke_ProductDetail::GetModelCount(const RequestParams& params, std::string* reply) {
  if (!IsDecimalId(params.value)) return 1;
  return CountResult(CountModels(params.value), reply);
}

int qel_Invoke_ProductDetail::GetParameters(const RequestParams& params, std::string* reply) {
  if (!IsDecimalId(params.value)) return 1;
  qelQueryDef def;
  for (const char* field : {"PARAM_ID", "PARAMUNIT_ID", "PARATYPE", "VALTYPE", "ISUSE", "PRODNUM"}) {
    def.AddField("PRODUCT_PARAMETER", field);
  }
  for (const char* field : {"PARAMNAME", "TIPS", "ALIAS1", "ALIAS2", "OPPIC", "SHOWFLAG"}) {
    def.AddField("PRODUCT_PARAMETER_LANG", field);
  }
  def.SetFilter(" t1.PARAM_ID = t2.PARAM_ID AND t1.PRODUCT_ID = " + params.value +
                " AND t2.LANGID = " + LangId());
  std::vector<Json::Value> found;
  std::set<std::string> unitIds;
  if (!RowsWithUnits(&def, &found, &unitIds)) {
    QEL_LOG_DIRECT("Query error");
    return 1;
  }
  // All unit names in one statement instead of one look-up per row; a
  // table this database lacks leaves the names empty, as a missing unit
  // would.
  const StorageRead<std::map<std::string, std::string>> unitNames = UnitNames(unitIds);
  if (unitNames.Failed()) {
    QEL_LOG_DIRECT("Query error");
    return 1;
  }
  const std::map<std::string, std::string>& names = unitNames.value;
  qelRecord rows;
  for (Json::Value& row : found) {
    auto name = names.find(StringMember(row, "PARAMUNIT_ID"));
    row["UNIT_NAME"] = name != names.end() ? name->second : std::string();
    rows.Append(std::move(row));
  }
  *reply = rows.ToString();
  return 0;
}

int qel_Invoke_ProductDetail::GetParameterValues(const RequestParams& params, std::string* reply) {
  if (!IsDecimalId(params.value)) return 1;
  qelQueryDef def;
  for (const char* field : {"PRODUCT_ID", "PARAM_ID", "PARAMUNIT_ID", "VALTYPE", "VALUE", "SORT"}) {
    def.AddField("PROD_PRODPARAMS", field);
  }
  // The grouping rides in the filter text: one row per model and parameter.
  def.SetFilter("PRODUCT_ID LIKE '" + params.value + "%' " + " GROUP BY PRODUCT_ID,PARAM_ID  ");
  SetPage(params, &def);
  std::vector<Json::Value> found;
  std::set<std::string> unitIds;
  if (!RowsWithUnits(&def, &found, &unitIds)) {
    QEL_LOG_DIRECT("Query error");
    return 1;
  }
  const StorageRead<std::map<std::string, std::string>> unitNames = UnitNames(unitIds);
  if (unitNames.Failed()) {
    QEL_LOG_DIRECT("Query vals error");
    return 1;
  }
  if (unitNames.Missing()) QEL_LOG_DIRECT("Query vals error");
  const std::map<std::string, std::string>& names = unitNames.value;
  qelRecord rows;
  for (Json::Value& row : found) {
    auto name = names.find(StringMember(row, "PARAMUNIT_ID"));
    if (name != names.end()) row["VALUE"] = StringMember(row, "VALUE") + "(" + name->second + ")";
    rows.Append(std::move(row));
  }
  *reply = rows.ToString();
  return 0;
}

int qel_Invoke_ProductDetail::GetModelPictures(const RequestParams& params, std::string* reply) {
  if (!IsDecimalId(params.value)) return 1;
  qelQueryDef ids;
  ids.AddField("PROD_MODELPICS", "DISTINCT RES_ID");
  ids.SetFilter("PRODUCT_ID LIKE '" + params.value + "%'" + " AND RES_TYPE = " + kResPicture);
  std::vector<std::string> resIds;
  if (!QueryColumn(&ids, "RES_ID", &resIds).Ran()) {
    QEL_LOG_DIRECT("Query Error");
    return 1;
  }
  if (resIds.empty()) return 0;

  qelQueryDef def;
  for (const char* field : {"RES_ID", "PATH", "STATUS", "EXTS", "THUMB1", "THUMB2", "IMG"}) {
    def.AddField("PICTURE", field);
  }
  for (const char* field : {"NAME", "DESC", "TIPS"}) def.AddField("PICTURE_LANG", field);
  def.SetFilter("t1.RES_ID = t2.RES_ID AND t1.RES_ID IN (" + JoinQuoted(resIds) +
                ") AND t2.LANGID =" + LangId());
  return PageReply(&def, params, "Query Error", reply);
}

// ---- pictures, videos, certificates ----------------------------------------

int qel_Invoke_ProductDetail::GetPicGroups(const RequestParams& params, std::string* reply) {
  if (!HasDatasource()) return 1;
  if (!IsDecimalId(params.value)) return 1;
  qelQueryDef def;
  def.AddField("PICGROUP", "GROUP_ID AS PICTURE_GROUP_ID");
  def.AddField("PICGROUP_LANG", "NAME");
  def.SetFilter(
      std::string(" t1.GROUP_ID IN (SELECT DISTINCT GROUP_ID FROM ") + "PRODUCT_RESOURCE" + " g1," +
      "PICTURE" + " g2 WHERE g1.PRODUCT_ID = " + params.value + " AND g1.RES_TYPE = " + kResPicture +
      "  \t\t\t\t AND g1.RES_ID = g2.RES_ID) AND t1.GROUP_ID=t2.GROUP_ID AND t2.LANGID=" + LangId());
  return PageReply(&def, params, "Query Error", reply);
}

int qel_Invoke_ProductDetail::GetPictures(const RequestParams& params, std::string* reply) {
  if (!HasDatasource()) return 1;
  const std::string group = params.values.empty() ? std::string() : params.values[0];
  const bool allGroups = group.empty() || group == "-1";
  if (!IsDecimalId(params.value) || (!allGroups && !IsDecimalId(group))) return 1;
  std::vector<std::string> resIds;
  if (!ProductResourceIds(params.value, kResPicture, &resIds)) {
    QEL_LOG_DIRECT("Query Error");
    return 1;
  }

  qelQueryDef def;
  for (const char* field : {"RES_ID", "PATH", "STATUS", "EXTS", "THUMB1", "THUMB2", "IMG"}) {
    def.AddField("PICTURE", field);
  }
  for (const char* field : {"DESC", "TIPS", "NAME"}) def.AddField("PICTURE_LANG", field);
  std::string filter = " t1.RES_ID IN (" + JoinQuoted(resIds) + ")" +
                       " AND t2.RES_ID = t1.RES_ID AND t2.LANGID =  " + LangId();
  if (!allGroups) filter += " AND t1.GROUP_ID IN ( " + group + ")";
  def.SetFilter(filter);
  return PageReply(&def, params, "query error", reply);
}

int qel_Invoke_ProductDetail::GetVideos(const RequestParams& params, std::string* reply) {
  if (!HasDatasource()) return 1;
  if (!IsDecimalId(params.value)) return 1;
  std::vector<std::string> resIds;
  if (!ProductResourceIds(params.value, kResVideo, &resIds)) {
    QEL_LOG_DIRECT("Query Error");
    return 1;
  }

  qelQueryDef def;
  for (const char* field : {"RES_ID", "PATH", "IMG", "THUMB1", "THUMB2"}) def.AddField("VIDEO", field);
  for (const char* field : {"NAME", "DESC", "TIPS"}) def.AddField("VIDEO_LANG", field);
  def.SetFilter(" t1.RES_ID IN (" + JoinQuoted(resIds) + ")" +
                " AND t2.RES_ID = t1.RES_ID AND t2.LANGID =  " + LangId());
  return PageReply(&def, params, "query error", reply);
}

int qel_Invoke_ProductDetail::GetProdCerts(const RequestParams& params, std::string* reply) {
  if (!IsDecimalId(params.value)) return 1;
  qelQueryDef def;
  def.AddField("PROD_CERTGROUP", "CERTGROUP_ID");
  def.SetFilter("PRODUCT_ID = " + params.value);
  std::vector<std::string> groupIds;
  if (!QueryColumn(&def, "CERTGROUP_ID", &groupIds).Ran()) {
    QEL_LOG("qel::dataspace::qel_Invoke_ProductDetail::GetProdCerts", "Query error");
    return 1;
  }
  // The group-picture query answers "[]" for no group and "" only when it
  // fails.
  std::string text = GetCertPicsByGroup(groupIds, params.limit, params.offset);
  if (text.empty()) return 1;
  *reply = std::move(text);
  return 0;
}

// ---- reports ---------------------------------------------------------------

int qel_Invoke_ProductDetail::GetReports(const RequestParams& params, std::string* reply) {
  if (!IsDecimalId(params.value)) return 1;
  qelQueryDef def;
  def.AddField("PROD_REPORT", "REPORT_ID");
  for (const char* field : {"NAME", "DESC"}) def.AddField("PROD_REPORT_LANG", field);
  def.SetFilter(std::string(" t1.REPORT_ID = t2.REPORT_ID AND t1.") + "PRODUCT_ID" + "=" + params.value +
                " AND t2.LANGID = " + LangId());
  SetPage(params, &def);
  def.AddOrder("SORT", 0);
  std::vector<Json::Value> reports;
  std::vector<std::string> reportIds;
  if (!ForEachRow(&def, [&](Json::Value& row) {
         std::string id = StringMember(row, "REPORT_ID");
         if (id.empty()) return;
         reportIds.push_back(id);
         reports.push_back(std::move(row));
       }).Ran()) {
    QEL_LOG_DIRECT("Query Error");
    return 1;
  }

  qelRecord rows;
  if (reports.empty()) {
    *reply = rows.ToString();
    return 0;
  }

  // The resources of every report of the page in one statement, and their
  // pictures in a second, instead of two statements per report.
  qelQueryDef resources;
  resources.AddField("REPORT_RESOURCE", "REPORT_ID");
  resources.AddField("REPORT_RESOURCE", "RES_ID");
  resources.SetFilter("REPORT_ID IN (" + JoinQuoted(reportIds) + ")");
  std::map<std::string, std::set<std::string>> resIdsOf;
  std::set<std::string> allResIds;
  if (!ForEachRow(&resources, [&](const Json::Value& row) {
         std::string resId = StringMember(row, "RES_ID");
         resIdsOf[StringMember(row, "REPORT_ID")].insert(resId);
         allResIds.insert(resId);
       }).Ran()) {
    QEL_LOG_DIRECT("Query resid error");
    return 1;
  }

  std::vector<Json::Value> pictures;
  if (!allResIds.empty()) {
    qelQueryDef pics;
    for (const char* field : {"RES_ID", "PATH", "IMG"}) pics.AddField("PICTURE", field);
    for (const char* field : {"NAME", "DESC", "TIPS"}) pics.AddField("PICTURE_LANG", field);
    pics.SetFilter("t1.RES_ID = t2.RES_ID AND t2.LANGID = " + LangId() + " AND t1.RES_ID IN (" +
                   JoinQuoted(std::vector<std::string>(allResIds.begin(), allResIds.end())) + ")");
    if (!ForEachRow(&pics, [&pictures](Json::Value& row) { pictures.push_back(std::move(row)); }).Ran()) {
      QEL_LOG_DIRECT("Query pics error");
      return 1;
    }
  }

  for (Json::Value& report : reports) {
    auto own = resIdsOf.find(StringMember(report, "REPORT_ID"));
    if (own == resIdsOf.end()) {
      QEL_LOG_DIRECT("Can get any resour id");
      continue;
    }
    Json::Value list(Json::arrayValue);
    for (const Json::Value& picture : pictures) {
      if (own->second.count(StringMember(picture, "RES_ID")) != 0) list.append(picture);
    }
    report["PICTURE"] = std::move(list);
    rows.Append(std::move(report));
  }
  *reply = rows.ToString();
  return 0;
}

// ---- cases -----------------------------------------------------------------

bool qel_Invoke_ProductDetail::IsCaseSeen(const std::string& caseId) {
  // A case without a later seen-mark is new by the shared rule.
  return !newrule::IsCaseNew(caseId);
}

int qel_Invoke_ProductDetail::GetProductCases(const RequestParams& params, std::string* reply) {
  if (Datasource() == nullptr) {
    *reply = MakeErrorJson(0, "GetDatasource failed");
    return 1;
  }
  if (!IsDecimalId(params.value)) return 1;
  qelQueryDef def;
  def.AddField("PRODUCT_CASE", "CASE_ID");
  for (const char* field : {"NAME", "DESC"}) def.AddField("PRODUCT_CASE_LANG", field);
  // The ordering rides in the filter text, so the page clause follows it.
  def.SetFilter(std::string("t1.CASE_ID = t2.CASE_ID AND t1.CASE_ID IN (\t\t\t\t\t SELECT CASE_ID FROM ") +
                "PROD_PRODCASE" + " WHERE PRODUCT_ID = '" + params.value +
                "') \t\t\t\t\t AND t2.LANGID = " + LangId() + " \t\t\t\t\t ORDER BY SORT ASC");
  SetPage(params, &def);
  std::vector<Json::Value> cases;
  std::vector<std::string> caseIds;
  if (!ForEachRow(&def, [&](Json::Value& row) {
         caseIds.push_back(StringMember(row, "CASE_ID"));
         cases.push_back(std::move(row));
       }).Ran()) {
    QEL_LOG_DIRECT("Query error");
    return 1;
  }

  // The resource types of every case of the page in one statement.
  std::map<std::string, std::vector<std::string>> typesOf;
  StorageRead<> typesRead(ReadState::kRead);
  if (!caseIds.empty()) {
    qelQueryDef types;
    types.AddField("CASE_RESOURCE", "DISTINCT CASE_ID");
    types.AddField("CASE_RESOURCE", "RES_TYPE");
    types.SetFilter(" CASE_ID IN (" + JoinQuoted(caseIds) + ")");
    typesRead = ForEachRow(&types, [&typesOf](const Json::Value& row) {
      std::string type = StringMember(row, "RES_TYPE");
      if (!type.empty()) typesOf[StringMember(row, "CASE_ID")].push_back(type);
    });
    // A table this database lacks leaves the types out; a database that
    // cannot be read fails the list.
    if (typesRead.Failed()) {
      QEL_LOG_DIRECT("Query error");
      return 1;
    }
    if (!typesRead.Ran()) typesOf.clear();
  }

  qelRecord rows;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    Json::Value& row = cases[i];
    Json::Value numbers(Json::arrayValue);
    if (typesRead.Ran()) {
      std::string text;
      auto own = typesOf.find(caseIds[i]);
      if (own != typesOf.end()) {
        for (const std::string& type : own->second) {
          numbers.append(StringToInt(type));
          if (!text.empty()) text += ",";
          text += type;
        }
      }
      row["RES_TYPE"] = "[" + text + "]";
    }
    row["RES_TYPES"] = std::move(numbers);
    const StorageRead<newrule::NewState> state = newrule::CaseState(caseIds[i]);
    if (!state.Found()) {
      QEL_LOG_DIRECT("Query error");
      return 1;
    }
    // This tab flags the other way round: "2" for a case seen since it changed.
    row["STATUS"] = state.value == newrule::NewState::kSeen ? "2" : "1";
    rows.Append(std::move(row));
  }
  *reply = rows.ToString();
  return 0;
}

int qel_Invoke_ProductDetail::GetCaseResources(const RequestParams& params, std::string* reply) {
  return dataspace::GetCaseResources(params, reply);
}

int GetCaseResources(const RequestParams& params, std::string* reply) {
  try {
    if (params.values.empty()) {
      QEL_LOG_DIRECT("PRODUCT_CASE_RES_TYPE not known");
      return 1;
    }
    if (!IsDecimalId(params.value) || reply == nullptr) return 1;
    const std::string& type = params.values[0];
    qelQueryDef ids;
    ids.AddField("CASE_RESOURCE", "RES_ID");
    ids.SetFilter(" RES_TYPE = " + QuoteSqlText(type) + " AND CASE_ID = " + params.value);
    std::vector<std::string> resIds;
    if (!QueryColumn(&ids, "RES_ID", &resIds).Ran()) {
      QEL_LOG_DIRECT("Query Error");
      return 1;
    }
    if (resIds.empty()) return 0;

    qelQueryDef def;
    if (!AddCaseResourceFields(type, &def)) return 1;
    def.SetFilter("t1.RES_ID IN( " + JoinQuoted(resIds) +
                  " ) AND t1.RES_ID = t2.RES_ID AND t2.LANGID =" + LangId());
    return dataspace::PageReply(&def, params.limit, params.offset, nullptr, reply);
  } catch (const std::exception&) {
    return 1;
  }
}

}  // namespace dataspace
}  // namespace qel
