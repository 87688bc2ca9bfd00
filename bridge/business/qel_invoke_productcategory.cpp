#include "business/qel_invoke_productcategory.h"

#include <cstdint>
#include <memory>
#include <utility>

#include "business/qelbusinesshelper.h"
#include "business/qelmethodtable.h"
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

const char kNewCountFun[] = "qel::dataspace::qel_Invoke_ProductCategory::GetNewProductCountByCategoryID";
const char kProductsFun[] = "qel::dataspace::qel_Invoke_ProductCategory::GetProductBasicInfo";

// Length of a product id; longer PRODUCT ids are models.
const int kProductIdLength = 11;

// Members the folded list queries add and the row builders take out again.
const char kFoldedProductCount[] = "QEL_PRODUCTCOUNT";
const char kFoldedNewCount[] = "QEL_NEWPRODUCTCOUNT";
const char kFoldedSubCount[] = "QEL_SUBCATEGORYCOUNT";
const char kFoldedStatus[] = "QEL_STATUS";
const char kFoldedFavorite[] = "QEL_FAVORITE";
const char kFoldedShowWay[] = "QEL_SHOWWAY";
const char kFoldedHasShow[] = "QEL_HASSHOW";
const char kFoldedBrandName[] = "QEL_BRANDNAME";

const char* const kCategoryFields[] = {"PRO_CATEGORY_ID", "CANEXTEND", "LEVEL", "BEUSE", "SORT"};
const char* const kCategoryLangFields[] = {"NAME", "DESC", "ALIAS1", "ALIAS2", "TIPS"};
const char* const kProductFields[] = {"PRODUCT_ID", "PICFIRST", "PRICE", "PRICETYPE",    "DESCPTYPE",
                                      "BRAND_ID",   "SORT",     "SSORT", "TEMPLATESORT", "LASTTIME"};
const char* const kProductLangFields[] = {"NAME", "UNIT", "PRICEUNIT", "DESC", "INTRODUCE"};

IQELDatasource* Datasource() { return MainDatasource(); }

// The language id goes into SQL bare, so only a decimal one is taken.
std::string LangId() {
  std::string id = qelInfoAccess::GetInstance()->GetLangID();
  return IsDecimalId(id) ? id : "3";
}

// The text of a member the query wrote, which is then removed.
std::string TakeMember(IQELRecord* row, const char* name) {
  std::string value = row->GetValue(name);
  row->RemoveMember(name);
  return value;
}

bool RowHasMember(IQELRecord* row, const char* name) {
  const Json::Value& json = row->GetJson();
  return json.isObject() && json.isMember(name);
}

// "column starts with id". A decimal id is matched with GLOB, which is the
// same test as a substr comparison and uses the column's index; any other
// id as a quoted text, so a quote or SQL text in it matches nothing extra.
std::string PrefixCondition(const std::string& column, const std::string& id) {
  if (IsDecimalId(id)) return column + " GLOB '" + id + "*'";
  std::string quoted = QuoteSqlText(id);
  return "substr(" + column + ",1,length(" + quoted + ")) = " + quoted;
}

bool IsCategoryIdLength(size_t n) { return n == 7 || n == 10 || n == 13 || n == 16 || n == 19; }

// "Categories of length childLength whose id starts with prefix"; an empty
// prefix leaves the length alone.
std::string CategoryLevelFilter(size_t childLength, const std::string& prefix) {
  std::string filter = "length(t1.PRO_CATEGORY_ID) == " + std::to_string(childLength);
  if (!prefix.empty()) filter += " AND " + PrefixCondition("t1.PRO_CATEGORY_ID", prefix);
  return filter;
}

// "x starts with the category id c" for the folded count queries, where c
// is a column: a range on the index, [c, c with its last character
// raised by one). The rows are checked in the code to hold decimal ids, for
// which this is exactly the prefix test.
std::string CategoryRangeCondition(const std::string& column, const std::string& category) {
  return column + " >= " + category + " AND " + column + " < substr(" + category + ",1,length(" + category +
         ")-1) || char(unicode(substr(" + category + ",-1))+1)";
}

// PRODUCT_CATEGORY with the three counts of every category as columns; they
// are only computed for the rows that meet the list's filter.
std::string FoldedCategoryTable() {
  const std::string category = "c.PRO_CATEGORY_ID";
  const std::string inClass = CategoryRangeCondition("q.PRO_CATEGORY_ID", category);
  return std::string("(SELECT c.*, (SELECT COUNT(*) FROM PRODUCT_CLASS q WHERE ") + inClass + ") AS " +
         kFoldedProductCount + ", (SELECT COUNT(*) FROM PRODUCT_CLASS q WHERE " + inClass + " AND " +
         newrule::ProductNotSeenSql("q.PRODUCT_ID") + ") AS " + kFoldedNewCount +
         ", (SELECT COUNT(*) FROM PRODUCT_CATEGORY s WHERE " +
         CategoryRangeCondition("s.PRO_CATEGORY_ID", category) + " AND length(s.PRO_CATEGORY_ID) > length(" +
         category + ")) AS " + kFoldedSubCount + " FROM PRODUCT_CATEGORY c)";
}

// PRODUCT with the four added members of every product as columns, each
// the same answer as the look-up of one row: the "new" rule, a FAVORITES
// row of the product, its display mode and its brand name.
std::string FoldedProductTable(const std::string& langId, bool withShowFlag) {
  std::string table =
      std::string("(SELECT p.*, CASE WHEN ") + newrule::ProductIsNewSql("p.PRODUCT_ID") + " THEN '" +
      newrule::kStatusNew + "' ELSE '" + newrule::kStatusSeen + "' END AS " + kFoldedStatus +
      ", CASE WHEN EXISTS (SELECT 1 FROM FAVORITES f WHERE f.PRODUCT_ID = p.PRODUCT_ID) THEN '1' "
      "ELSE '0' END AS " +
      kFoldedFavorite +
      ", COALESCE(NULLIF((SELECT s.SHOW_WAY FROM PROD_SHOW s WHERE s.PRODUCT_ID = p.PRODUCT_ID), "
      "''), '0') AS " +
      kFoldedShowWay +
      ", CASE WHEN p.BRAND_ID IS NULL OR p.BRAND_ID = '' THEN '' ELSE COALESCE((SELECT "
      "b.BRANDNAME FROM BRAND_LANG b WHERE b.BRAND_ID = p.BRAND_ID AND b.LANGID = " +
      langId + "), '') END AS " + kFoldedBrandName;
  if (withShowFlag) {
    table += std::string(", EXISTS (SELECT 1 FROM PROD_SHOW s WHERE s.PRODUCT_ID = p.PRODUCT_ID) AS ") +
             kFoldedHasShow;
  }
  return table + " FROM PRODUCT p)";
}

// The three counts of one category, one query each, read into its row:
// kRead (the row is listed), kNoRow (no product below the category: the
// row is left out), or a count that could not be read (the list fails).
StorageRead<> AddCategoryCounts(qel_Invoke_ProductCategory* module, IQELDatasource* datasource,
                                const std::string& id, IQELRecord* row) {
  const std::string below = PrefixCondition("PRO_CATEGORY_ID", id);
  const StorageRead<int64_t> productCount = CountRows(datasource, "PRODUCT_CLASS", below);
  if (!productCount.Found()) return productCount.Outcome();
  if (productCount.value == 0) return StorageRead<>(ReadState::kNoRow);
  std::string newCount = module->GetNewProductCountByCategoryID(id);
  if (newCount.empty()) return StorageRead<>(ReadState::kFailed, {}, "the new-product count cannot be read");

  const std::string deeper = below + " AND LENGTH(PRO_CATEGORY_ID) > length(" + QuoteSqlText(id) + ")";
  const StorageRead<int64_t> subCount = CountRows(datasource, "PRODUCT_CATEGORY", deeper);
  if (!subCount.Found()) return subCount.Outcome();
  row->SetValue("PRODUCTCOUNT", Int64ToString(productCount.value));
  row->SetValue("NEWPRODUCTCOUNT", newCount);
  row->SetValue("HASSUBCATEGORY", Int64ToString(subCount.value));
  return StorageRead<>(ReadState::kRead);
}

// The four added members of one product, one look-up each. A look-up on a
// table this database lacks gives the member's "none" value; one that
// fails because the database cannot be read fails the list (false).
bool AddProductMembers(IQELDatasource* datasource, const std::string& langId, const std::string& id,
                       IQELRecord* row) {
  const StorageRead<newrule::NewState> state = newrule::ProductState(id);
  if (!state.Found()) return false;
  row->SetValue("STATUS", newrule::StatusText(state.value == newrule::NewState::kNew));

  std::string favorite = "0";
  qelQueryDef def;
  def.AddField("FAVORITES", "FAVORITE_ID");
  def.SetFilter(" PRODUCT_ID = " + QuoteSqlText(id));
  StorageRead<CursorPtr> query = RunQuery(datasource, &def);
  if (!query.Found()) {
    if (!query.Missing()) return false;
    QEL_LOG_DIRECT("Can not get favorite");
  } else if (query.value->MoveNext()) {
    favorite = "1";
  } else if (CursorFailed(query.value.get())) {
    return false;
  }
  query.value.reset();
  row->SetValue("FAVORITE", favorite);

  const StorageRead<std::string> show =
      ReadFieldValue(datasource, "PROD_SHOW", "SHOW_WAY", " PRODUCT_ID = " + QuoteSqlText(id));
  if (show.Failed()) return false;
  if (!show.Found()) QEL_LOG(kProductsFun, "get show way error");
  row->SetValue("SHOWWAY", show.value.empty() ? "0" : show.value);

  std::string brandName;
  std::string brandId = row->GetValue("BRAND_ID");
  if (!brandId.empty()) {
    const StorageRead<std::string> brand =
        ReadFieldValue(datasource, "BRAND_LANG", "BRANDNAME",
                       "BRAND_ID = " + QuoteSqlText(brandId) + " AND LANGID = " + langId);
    if (brand.Failed()) return false;
    if (brand.Found()) brandName = brand.value;
  }
  row->SetValue("BRANDNAME", brandName);
  return true;
}

void AddFields(qelQueryDef* def, const std::string& table, const char* const* fields, size_t count) {
  for (size_t i = 0; i < count; ++i) def->AddField(table, fields[i]);
}

// The list query of GetCategories over table (PRODUCT_CATEGORY or its
// folded form).
void BuildCategoryQuery(qelQueryDef* def, const std::string& table, bool folded, const std::string& filter,
                        int limit, int offset) {
  AddFields(def, table, kCategoryFields, sizeof(kCategoryFields) / sizeof(kCategoryFields[0]));
  if (folded) {
    def->AddField(table, kFoldedProductCount);
    def->AddField(table, kFoldedNewCount);
    def->AddField(table, kFoldedSubCount);
  }
  AddFields(def, "PRODUCT_CATEGORY_LANG", kCategoryLangFields,
            sizeof(kCategoryLangFields) / sizeof(kCategoryLangFields[0]));
  std::string where = " t2.PRO_CATEGORY_ID = t1.PRO_CATEGORY_ID AND t2.LANGID = " + LangId();
  if (!filter.empty()) where += " AND (" + filter + ")";
  def->SetFilter(where);
  def->SetLimit(limit);
  def->SetOffset(offset);
  def->AddOrder("SORT", 0);
}

void BuildProductQuery(qelQueryDef* def, const std::string& table, bool folded, bool withShowFlag,
                       const std::string& filter, int limit, int offset) {
  AddFields(def, table, kProductFields, sizeof(kProductFields) / sizeof(kProductFields[0]));
  if (folded) {
    def->AddField(table, kFoldedStatus);
    def->AddField(table, kFoldedFavorite);
    def->AddField(table, kFoldedShowWay);
    def->AddField(table, kFoldedBrandName);
    if (withShowFlag) def->AddField(table, kFoldedHasShow);
  }
  AddFields(def, "PRODUCT_LANG", kProductLangFields,
            sizeof(kProductLangFields) / sizeof(kProductLangFields[0]));
  def->SetFilter(filter);
  def->SetLimit(limit);
  def->SetOffset(offset);
  def->AddOrder("TEMPLATESORT", 1);
  def->AddOrder("t1.PRODUCT_ID", 0);
}

// The brand text of the product count: ids separated by commas, each of
// them decimal (blanks around an id are allowed). False for any other text.
bool BrandListCondition(const std::string& brands, std::string* list) {
  std::string out;
  size_t start = 0;
  while (true) {
    size_t comma = brands.find(',', start);
    std::string id =
        Trim(brands.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (!IsDecimalId(id)) return false;
    if (!out.empty()) out += ",";
    out += QuoteSqlText(id);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  *list = out;
  return true;
}

}  // namespace

namespace {

using Self = qel_Invoke_ProductCategory;
using Method = MethodDescriptor<Self>;

// The category id of a parsed request, with LIMIT and OFFSET (left as they
// are when absent).
std::string ReadCategoryRequest(const Json::Value& root, int* limit, int* offset) {
  if (!root.isObject()) return "";
  for (auto page : {std::make_pair("LIMIT", limit), std::make_pair("OFFSET", offset)}) {
    if (HasMember(root, page.first) && page.second != nullptr) *page.second = PageValue(root, page.first);
  }
  const Json::Value& category = ObjectMember(ObjectMember(root, "PARAM"), "PRODUCT_CATEGORY");
  return TextMember(category, "PRO_CATEGORY_ID");
}

struct CategoryRequest {
  std::string id;
  int limit = -1;
  int offset = -1;
};

CategoryRequest ReadCategory(const MethodRequest& request) {
  CategoryRequest out;
  out.id = ReadCategoryRequest(request.root, &out.limit, &out.offset);
  return out;
}

// The brand of a request, with the LIMIT and OFFSET that the same reading
// gives (absent: -1); no brand when "BRAND" is missing.
std::string ReadBrand(const MethodRequest& request, RequestParams* params) {
  return ReadRequestParams(request.root, "BRAND", "BRAND_ID", params, nullptr) == 0 ? params->value
                                                                                    : std::string();
}

int HandleTopLevel(Self& module, const MethodRequest& request, std::string* reply) {
  CategoryRequest in = ReadCategory(request);
  *reply = module.GetCategories(CategoryLevelFilter(7, ""), in.limit, in.offset);
  return 0;
}

int HandleChildren(Self& module, const MethodRequest& request, std::string* reply) {
  CategoryRequest in = ReadCategory(request);
  if (in.id.empty()) return 1;
  size_t n = in.id.size();
  if (n != 7 && n != 10 && n != 13 && n != 16) {
    QEL_LOG_DIRECT("error:\n" + in.id + *request.text + "\nid is null\n");
    return 1;
  }
  QEL_LOG_DIRECT("prepare");
  *reply = module.GetCategories(CategoryLevelFilter(n + 3, in.id), in.limit, in.offset);
  return 0;
}

// Method 3 lists the parent category, method 5 the parent and its siblings.
template <bool kWithSiblings>
int HandleParent(Self& module, const MethodRequest& request, std::string* reply) {
  CategoryRequest in = ReadCategory(request);
  size_t n = in.id.size();
  if (n < 10 || !IsCategoryIdLength(n)) return 1;
  std::string prefix = kWithSiblings ? in.id.substr(0, n - 6) : in.id.substr(0, n - 3);
  // The level of a top-level parent is the whole top level: there is no
  // parent id its siblings share. (Any other id finds nothing.)
  if (kWithSiblings && n == 10 && IsDecimalId(in.id)) prefix.clear();
  *reply = module.GetCategories(CategoryLevelFilter(n - 3, prefix), in.limit, in.offset);
  return 0;
}

// Method 4 lists the products of a category (all products without one),
// method 6 all products.
template <bool kOfCategory>
int HandleProducts(Self& module, const MethodRequest& request, std::string* reply) {
  RequestParams params;
  const std::string brand = ReadBrand(request, &params);
  const std::string id = kOfCategory ? ReadCategory(request).id : std::string();
  if (!id.empty()) {
    if (!IsCategoryIdLength(id.size())) {
      QEL_LOG_DIRECT("Category ID length error :" + id);
      return 1;
    }
    *reply = module.GetProductBasicInfo(id, params.limit, params.offset, "", brand);
    return 0;
  }
  *reply = module.GetProductBasicInfo("", params.limit, params.offset, "", brand);
  return 0;
}

int HandleProduct(Self& module, const MethodRequest& request, std::string* reply) {
  const RequestParams& params = request.params;
  *reply = module.GetProductBasicInfo("", params.limit, params.offset,
                                      "t1.PRODUCT_ID = " + QuoteSqlText(params.value), "");
  return 0;
}

int HandleCategory(Self& module, const MethodRequest& request, std::string* reply) {
  const RequestParams& params = request.params;
  *reply =
      module.GetCategories("t1.PRO_CATEGORY_ID = " + QuoteSqlText(params.value), params.limit, params.offset);
  return 0;
}

int HandleProductCount(Self&, const MethodRequest& request, std::string* reply) {
  RequestParams params;
  const std::string brand = ReadBrand(request, &params);
  std::string filter = " length(PRODUCT_ID)= " + std::to_string(kProductIdLength);
  StorageRead<int64_t> count = ReadValue<int64_t>(0);
  std::string list;
  if (brand.empty()) {
    count = QueryCount("PRODUCT", filter);
  } else if (BrandListCondition(brand, &list)) {
    count = QueryCount("PRODUCT", filter + " AND BRAND_ID IN (" + list + ")");
  }
  *reply = CountReply(count);
  return 0;
}

int HandleBrands(Self& module, const MethodRequest& request, std::string* reply) {
  RequestParams params;
  std::string category;
  if (ReadRequestParams(request.root, "PRODUCT_CATEGORY", "PRO_CATEGORY_ID", &params, nullptr) == 0) {
    category = params.value;
  }
  return module.GetCategoryBrands(category, reply);
}

const MethodTable<Self>& Methods() {
  static const MethodTable<Self>& table = *new MethodTable<Self>(
      {
          Method(request::kTopCategories, &HandleTopLevel).Parsed(),
          Method(request::kChildCategories, &HandleChildren).Parsed(),
          Method(request::kParentCategory, &HandleParent<false>).Parsed(),
          Method(request::kCategoryProducts, &HandleProducts<true>).Parsed(),
          Method(request::kParentCategoryLevel, &HandleParent<true>).Parsed(),
          Method(request::kAllProducts, &HandleProducts<false>).Parsed(),
          Method(request::kProduct, &HandleProduct)
              .Key("PRODUCT", "PRODUCT_ID")
              .OnFail(FailRoute::kDirect, "Can not get PRODUCT_ID from json in"),
          Method(request::kCategory, &HandleCategory)
              .Key("PRODUCT_CATEGORY", "PRO_CATEGORY_ID")
              .OnFail(FailRoute::kDirect, "Can not get PRO_CATEGORY_ID from json in"),
          Method(request::kProductCount, &HandleProductCount).Parsed(),
          Method(request::kCategoryBrands, &HandleBrands).Parsed(),
      },
      kResultFailed);
  return table;
}

}  // namespace

int qel_Invoke_ProductCategory::Invoke(int method, std::string json, std::string* reply) {
  // The text is parsed once; the "show:" line names the category id of
  // every call, whatever its method.
  MethodRequest request;
  request.text = &json;
  request.parsed = ParseRequestText(json, &request.root);
  const std::string id = ReadCategoryRequest(request.root, nullptr, nullptr);
  QEL_LOG_DIRECT("show:" + id + json + json);
  return Methods().InvokeParsed(*this, method, std::move(request), reply);
}

std::string qel_Invoke_ProductCategory::ParseCategoryRequest(const std::string& json, int* limit,
                                                             int* offset) {
  Json::Value root;
  if (!ParseRequestText(json, &root)) return "";
  return ReadCategoryRequest(root, limit, offset);
}

std::string qel_Invoke_ProductCategory::GetCategories(const std::string& filter, int limit, int offset) {
  IQELDatasource* datasource = Datasource();
  if (datasource == nullptr) return "";

  // The counts are folded into the list query as columns; a database on
  // which that query cannot run (a table of the counts missing) is read one
  // count query at a time. A database that cannot be read (locked past the
  // wait, damaged) fails the list at once.
  qelQueryDef def;
  const std::string folded = FoldedCategoryTable();
  BuildCategoryQuery(&def, folded, true, filter, limit, offset);
  StorageRead<CursorPtr> query = RunQuery(datasource, &def);
  bool isFolded = query.Found();
  if (!isFolded) {
    if (!query.Missing()) return "";
    qelQueryDef plain;
    BuildCategoryQuery(&plain, "PRODUCT_CATEGORY", false, filter, limit, offset);
    query = RunQuery(datasource, &plain);
    if (!query.Found()) return "";
  }

  // A count that cannot be read fails the whole list: a category left out
  // for it would read as an answer.
  Json::Value rows(Json::arrayValue);
  const StorageRead<> walked = WalkRowsWhile(query.value.get(), [&](Json::Value& object) {
    qelRecord row(std::move(object));
    if (!RowHasMember(&row, "PRO_CATEGORY_ID")) return true;
    const std::string id = row.GetValue("PRO_CATEGORY_ID");
    StorageRead<> outcome(ReadState::kRead);
    if (isFolded && IsDecimalId(id)) {
      // The folded counts read the id as a decimal prefix.
      std::string productCount = TakeMember(&row, kFoldedProductCount);
      std::string newCount = TakeMember(&row, kFoldedNewCount);
      std::string subCount = TakeMember(&row, kFoldedSubCount);
      if (productCount == "0") {
        outcome = StorageRead<>(ReadState::kNoRow);
      } else {
        row.SetValue("PRODUCTCOUNT", productCount);
        row.SetValue("NEWPRODUCTCOUNT", newCount);
        row.SetValue("HASSUBCATEGORY", subCount);
      }
    } else {
      if (isFolded) {
        for (const char* member : {kFoldedProductCount, kFoldedNewCount, kFoldedSubCount}) {
          TakeMember(&row, member);
        }
      }
      outcome = AddCategoryCounts(this, datasource, id, &row);
    }
    if (outcome.Found()) rows.append(std::move(row.GetJson()));
    return outcome.Ran();
  });
  if (!walked.Ran()) return "";
  return RowsText(rows);
}

std::string qel_Invoke_ProductCategory::GetNewProductCountByCategoryID(const std::string& categoryId) {
  const StorageRead<int64_t> count = newrule::NewProductCount(categoryId);
  if (!count.Found()) QEL_LOG(kNewCountFun, "Query new state error");
  return CountText(count);
}

bool qel_Invoke_ProductCategory::IsProductNew(const std::string& productId) {
  return newrule::IsProductNew(productId);
}

std::string qel_Invoke_ProductCategory::GetProductBasicInfo(const std::string& categoryId, int limit,
                                                            int offset, const std::string& extraFilter,
                                                            const std::string& brandId) {
  IQELDatasource* datasource = Datasource();
  if (datasource == nullptr) return "";
  // A brand text that is not one id cannot select anything: the list
  // query fails, as it would with that text in its SQL.
  if (!brandId.empty() && !IsDecimalId(brandId)) return "";
  const std::string langId = LangId();
  const std::string length = std::to_string(kProductIdLength);

  std::string filter;
  if (!categoryId.empty()) {
    filter = " t1.PRODUCT_ID in (SELECT PRODUCT_ID FROM 'PRODUCT_CLASS' WHERE " +
             PrefixCondition("PRO_CATEGORY_ID", categoryId) +
             " )\t\t\t\t\t\t AND t1.PRODUCT_ID = t2.PRODUCT_ID AND length(t1.PRODUCT_ID)=" + length;
  } else {
    filter = " t1.PRODUCT_ID = t2.PRODUCT_ID AND length(t1.PRODUCT_ID) = " + length;
  }
  if (!brandId.empty()) filter += " AND BRAND_ID=" + QuoteSqlText(brandId);
  // The caller's filter may hold OR: in parentheses it cannot lift the
  // language and id-length conditions.
  if (!extraFilter.empty()) filter += " AND (" + extraFilter + ")";
  filter += " AND t2.LANGID = " + langId;

  // The four look-ups of a row are folded into the list query as columns;
  // on a database where that query cannot run (a look-up table missing)
  // each row is completed by its own look-ups, which never drop the row. A
  // database that cannot be read fails the list.
  const bool showFlag = LogEnabled();
  qelQueryDef def;
  const std::string folded = FoldedProductTable(langId, showFlag);
  BuildProductQuery(&def, folded, true, showFlag, filter, limit, offset);
  StorageRead<CursorPtr> query = RunQuery(datasource, &def);
  bool isFolded = query.Found();
  if (!isFolded) {
    if (!query.Missing()) return "";
    qelQueryDef plain;
    BuildProductQuery(&plain, "PRODUCT", false, false, filter, limit, offset);
    query = RunQuery(datasource, &plain);
    if (!query.Found()) return "";
  }

  Json::Value rows(Json::arrayValue);
  const StorageRead<> walked = WalkRowsWhile(query.value.get(), [&](Json::Value& object) {
    qelRecord row(std::move(object));
    const std::string id = row.GetValue("PRODUCT_ID");
    if (id.empty()) return true;
    if (isFolded) {
      row.SetValue("STATUS", TakeMember(&row, kFoldedStatus));
      row.SetValue("FAVORITE", TakeMember(&row, kFoldedFavorite));
      row.SetValue("SHOWWAY", TakeMember(&row, kFoldedShowWay));
      row.SetValue("BRANDNAME", TakeMember(&row, kFoldedBrandName));
      if (showFlag && TakeMember(&row, kFoldedHasShow) == "0") QEL_LOG(kProductsFun, "get show way error");
    } else if (!AddProductMembers(datasource, langId, id, &row)) {
      return false;
    }
    rows.append(std::move(row.GetJson()));
    return true;
  });
  if (!walked.Ran()) return "";
  return RowsText(rows);
}

int qel_Invoke_ProductCategory::GetBrandIds(const std::string& extraFilter, std::vector<std::string>* ids) {
  std::vector<std::string> scratch;
  std::vector<std::string>& out = ids != nullptr ? *ids : scratch;
  out.clear();
  qelQueryDef def;
  def.AddField("BRAND", "BRAND_ID");
  def.AddTable("BRAND_LANG");
  std::string filter = "t1.BRAND_ID = t2.BRAND_ID AND t2.LANGID = " + LangId();
  if (!extraFilter.empty()) filter += " AND (" + extraFilter + ")";
  def.SetFilter(filter);
  if (!QueryColumn(&def, "BRAND_ID", &out).Ran()) {
    QEL_LOG_DIRECT("Query error");
    return 1;
  }
  return 0;
}

int qel_Invoke_ProductCategory::GetCategoryBrands(const std::string& categoryId, std::string* reply) {
  qelQueryDef def;
  def.AddField("BRAND", "BRAND_ID");
  def.AddField("BRAND_LANG", "BRANDNAME");
  def.AddField("BRAND_LANG", "BRANDDESC");
  std::string filter = "t1.BRAND_ID=t2.BRAND_ID AND t2.LANGID =" + LangId() +
                       " AND t1.BRAND_ID IN \t\t(SELECT DISTINCT BRAND_ID FROM PRODUCT ";
  if (!categoryId.empty()) {
    filter += " WHERE PRODUCT_ID IN\t\t\t\t\t\t (SELECT PRODUCT_ID FROM PRODUCT_CLASS WHERE " +
              PrefixCondition("PRO_CATEGORY_ID", categoryId) + ")";
  }
  def.SetFilter(filter + ")");
  return RowsReply(&def, "Query error", reply);
}

}  // namespace dataspace
}  // namespace qel
