#include "business/qel_invoke_product.h"

#include <set>

#include <glog/logging.h>

#include "business/qelmethodtable.h"
#include "database/qelinfoaccess.h"
#include "database/qelquery.h"
#include "database/qelsqltext.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {
namespace {

constexpr char kBasicInfoFunction[] = "qel::dataspace::qel_Invoke_Product::GetProductBasicInfo";
constexpr char kCountField[] = "count(ID)";
// "-1" stands for every category in the count queries.
constexpr char kAllCategories[] = "-1";
// Levels 1 to 4 exist; the width table would read level 5 as 0 + 3 and list
// the parent itself.
constexpr int kFirstBadLevel = 5;

// This module flags the other way round from the shared new-item rule
// (newrule::kStatusNew is "2"): here "2" marks a product the visitor has
// seen, so the names say so.
constexpr char kProductStatusSeen[] = "2";
constexpr char kProductStatusUnseen[] = "1";

// "<column> like '<prefix>%' ESCAPE '!'" with the prefix's own % and _ taken
// literally. '!' lies below 0x40, so it is never a GBK trail byte, and
// double-byte characters are copied whole so that a trail byte 0x5F is not
// mistaken for '_'.
std::string PrefixLike(const char* column, const std::string& prefix) {
  std::string pattern;
  pattern.reserve(prefix.size() + 2);
  for (std::string::size_type i = 0; i < prefix.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(prefix[i]);
    if (qel::IsGbkLeadByte(c) && i + 1 < prefix.size()) {
      pattern += prefix[i];
      pattern += prefix[++i];
      continue;
    }
    if (c == '%' || c == '_' || c == '!') pattern += '!';
    pattern += prefix[i];
  }
  pattern += '%';
  return std::string(column) + " like " + QuoteSqlText(pattern) + " ESCAPE '!'";
}

IQELDatasource* Datasource() { return MainDatasource(); }

// Runs def and appends every row object to *rows. False when there is no
// datasource or the query fails.
bool CollectRows(IQELQueryDef* def, Json::Value* rows) { return QueryRows(def, rows).Ran(); }

// The "count(ID)" of table under filter. False when the query fails or
// gives no row.
bool CountIds(const char* table, const std::string& filter, std::string* count) {
  qelQueryDef def;
  def.AddField(table, kCountField);
  def.SetFilter(filter);
  Json::Value rows(Json::arrayValue);
  if (!CollectRows(&def, &rows) || rows.empty()) return false;
  return qel::ReadString(rows[0], kCountField, count);
}

bool CountProducts(const std::string& categoryId, std::string* count) {
  std::string filter = categoryId == kAllCategories ? std::string() : PrefixLike("ID", categoryId);
  return CountIds("PRODUCT_CLASS", filter, count);
}

std::string LevelOneCondition() { return "t1.LEVEL = 1"; }

std::string PrefixCondition(const std::string& prefix, int level) {
  return PrefixLike("t1.ID", prefix) + " and t1.LEVEL = " + std::to_string(level);
}

void LogLevelOutOfRange(int level) {
  LOG(ERROR) << "Out Of Range :"
             << "Product category level " << level;
  QEL_LOG_DIRECT("Out Of Range : Product category level " + std::to_string(level));
}

}  // namespace

namespace {

using Self = qel_Invoke_Product;
using Method = MethodDescriptor<Self>;

// Every method reads "ID" and "LEVEL" from the request object.
struct CategoryRequest {
  std::string id;
  int level = 0;
};

CategoryRequest ReadCategoryRequest(const MethodRequest& request) {
  CategoryRequest out;
  std::string levelText;
  qel::ReadString(request.root, "ID", &out.id);
  qel::ReadString(request.root, "LEVEL", &levelText);
  // Clamped to the int range, so no level arithmetic below can overflow.
  out.level = levelText.empty() ? 0 : qel::StringToInt(levelText);
  return out;
}

int HandleParents(Self& module, const MethodRequest& request, std::string* reply) {
  CategoryRequest in = ReadCategoryRequest(request);
  *reply = module.GetParentLevelCategories(in.id, in.level);
  return 0;
}
int HandleChildren(Self& module, const MethodRequest& request, std::string* reply) {
  CategoryRequest in = ReadCategoryRequest(request);
  *reply = module.GetSubLevelCategories(in.id, in.level);
  return 0;
}
int HandleProducts(Self& module, const MethodRequest& request, std::string* reply) {
  *reply = module.GetProductBasicInfo(ReadCategoryRequest(request).id);
  return 0;
}
int HandleCount(Self& module, const MethodRequest& request, std::string* reply) {
  *reply = module.GetProductCount(ReadCategoryRequest(request).id);
  return 0;
}

// This module answers a method it does not have with -2, the dispatcher's
// unknown-module code.
const MethodTable<Self>& Methods() {
  static const MethodTable<Self>& table = *new MethodTable<Self>(
      {
          Method(request::kLevelParents, &HandleParents).Parsed(),
          Method(request::kLevelChildren, &HandleChildren).Parsed(),
          Method(request::kLevelProducts, &HandleProducts).Parsed(),
          Method(request::kLevelProductCount, &HandleCount).Parsed(),
      },
      kResultUnknownModule);
  return table;
}

}  // namespace

int qel_Invoke_Product::Invoke(int method, std::string json, std::string* reply) {
  return Methods().Invoke(*this, method, json, reply);
}

namespace {

std::string ListCategories(qel_Invoke_Product* module, const std::string& condition) {
  qelQueryDef def;
  def.AddField("PRODUCT_CATEGORY", "ID");
  def.AddField("PRODUCT_CATEGORY", "LEVEL");
  def.AddField("PRODUCT_CATEGORY", "SORT");
  def.AddField("PRODUCT_CATEGORY_LANG", "NAME");
  def.SetFilter(condition + " and t1.ID = t2.ID and t2.TYPE = " + qelInfoAccess::GetInstance()->GetLangID());
  def.AddOrder("t1.`SORT`", 0);
  def.AddOrder("t1.ID", 1);
  Json::Value rows(Json::arrayValue);
  if (!CollectRows(&def, &rows)) return "";
  if (!module->AddProductCounts(&rows) || !module->AddSubCategoryFlags(&rows)) return "";
  return RowsText(rows);
}

}  // namespace

std::string qel_Invoke_Product::GetParentLevelCategories(const std::string& id, int level) {
  if (id.empty() || level < 3) return ListCategories(this, LevelOneCondition());
  int width =
      level >= kFirstBadLevel ? 0 : qel::GetCategoryLevelWidth(level) + qel::GetCategoryLevelWidth(level - 1);
  if (width == 0) {
    LogLevelOutOfRange(level);
    return "";
  }
  // An id too short for its level has no grandparent to list under.
  if (id.size() < static_cast<std::string::size_type>(width)) return "";
  return ListCategories(this, PrefixCondition(id.substr(0, id.size() - width), level - 1));
}

std::string qel_Invoke_Product::GetSubLevelCategories(const std::string& id, int level) {
  if (id.empty()) return ListCategories(this, LevelOneCondition());
  if (level >= kFirstBadLevel) {
    LogLevelOutOfRange(level);
    return "";
  }
  return ListCategories(this, PrefixCondition(id, level + 1));
}

bool qel_Invoke_Product::AddProductCounts(Json::Value* rows) {
  if (rows == nullptr || !rows->isArray()) return true;
  for (Json::Value& row : *rows) {
    std::string id;
    if (!row.isObject() || !qel::ReadString(row, "ID", &id)) continue;
    std::string count;
    if (!CountProducts(id, &count)) return false;
    row["PRODUCT_COUNT"] = count;
  }
  return true;
}

bool qel_Invoke_Product::AddSubCategoryFlags(Json::Value* rows) {
  if (rows == nullptr || !rows->isArray()) return true;
  for (Json::Value& row : *rows) {
    std::string id;
    std::string level;
    if (!row.isObject() || !qel::ReadString(row, "ID", &id) || !qel::ReadString(row, "LEVEL", &level))
      continue;
    std::string filter;
    if (id != kAllCategories) {
      // The level is clamped to the int range, so one more cannot overflow.
      long long next = static_cast<long long>(qel::StringToInt(level)) + 1;
      filter = PrefixLike("ID", id) + " and LEVEL = " + std::to_string(next);
    }
    std::string count;
    if (!CountIds("PRODUCT_CATEGORY", filter, &count)) return false;
    row["HASSUBCTG"] = count == "0" ? "0" : "1";
  }
  return true;
}

std::string qel_Invoke_Product::GetProductCount(const std::string& id) {
  qelQueryDef def;
  def.AddField("PRODUCT_CLASS", kCountField);
  def.SetFilter(id == kAllCategories ? std::string() : PrefixLike("ID", id));
  Json::Value rows(Json::arrayValue);
  if (!CollectRows(&def, &rows)) return "";
  if (rows.empty()) return "[]";
  Json::Value item(Json::objectValue);
  // Replies carry only valid GBK: an id that is not is not echoed.
  item["CATEGORY_ID"] = qel::IsValidGbk(id) ? id : std::string();
  item["COUNT"] = qel::StringMember(rows[0], kCountField);
  Json::Value reply(Json::arrayValue);
  reply.append(item);
  return qel::WriteStyled(reply);
}

std::string qel_Invoke_Product::GetProductBasicInfo(const std::string& id) {
  if (Datasource() == nullptr) return "";

  // The products of the category whose seen-mark is later than their own
  // time; a null time on either side leaves the product unseen.
  qelQueryDef seenDef;
  seenDef.AddField("PRODUCT_EXTEND", "PROD_ID");
  seenDef.AddField("PRODUCT_EXTEND", "LASTTIME");
  seenDef.AddTable("PRODUCT_CLASS");
  seenDef.AddTable("PRODUCT");
  seenDef.SetFilter("t1.PROD_ID = t3.ID AND t2.PRODUCT_ID = t3.ID AND " + PrefixLike("t2.ID", id) +
                    " AND t3.LASTTIME < t1.LASTTIME");
  Json::Value seenRows(Json::arrayValue);
  if (!CollectRows(&seenDef, &seenRows)) {
    QEL_LOG(kBasicInfoFunction, "Get Status error");
    return "";
  }
  std::set<std::string> seen;
  for (const Json::Value& row : seenRows) seen.insert(qel::StringMember(row, "PROD_ID"));

  qelQueryDef def;
  for (const char* field :
       {"ID", "PICFIRST", "MINPRICE", "MAXPRICE", "PRICETYPE", "DESCPTYPE", "LASTUPDATETIME", "STATUS"}) {
    def.AddField("PRODUCT", field);
  }
  for (const char* field : {"NAME", "UNIT", "BRANDNAME"}) def.AddField("PRODUCT_LANG", field);
  def.AddTable("PRODUCT_CLASS");
  std::string filter =
      "t1.ID = t3.PRODUCT_ID  and t1.ID = t2.ID and t2.TYPE = " + qelInfoAccess::GetInstance()->GetLangID();
  if (!id.empty()) filter += " and " + PrefixLike("t3.ID", id);
  def.SetFilter(filter);
  Json::Value rows(Json::arrayValue);
  if (!CollectRows(&def, &rows)) return "";
  for (Json::Value& row : rows) {
    row["STATUS"] = seen.count(qel::StringMember(row, "ID")) != 0 ? kProductStatusSeen : kProductStatusUnseen;
  }
  return RowsText(rows);
}

}  // namespace dataspace
}  // namespace qel
