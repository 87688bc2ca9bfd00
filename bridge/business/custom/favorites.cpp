// Favourites (0x501-0x504) and product search (0x511).
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "business/custom/customhandlers.h"
#include "business/custom/customstore.h"
#include "business/qel_invoke_productcategory.h"
#include "business/qelbusinesshelper.h"
#include "database/qelquery.h"
#include "database/qeltransaction.h"
#include "database/qelsqltext.h"
#include "internet/qelinternetrequestbean.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {
namespace {

constexpr char kAddFavoriteFun[] = "qel::dataspace::qel_Invoke_Custom::AddFavorite";
constexpr RequestType kFavoriteRequest = 8;

// The product-category module, which builds every product list.
qel_Invoke_ProductCategory* ProductModule() {
  auto* module = dynamic_cast<qel_Invoke_ProductCategory*>(GetInvokeModule(6));
  if (module == nullptr) QEL_LOG_DIRECT("Can not get invoke class");
  return module;
}

// A search word as a LIKE pattern that matches the word itself: "%", "_"
// and the escape character "!" are escaped. GBK-aware, since a trail byte
// may be 0x5F ("_").
std::string LikeLiteral(const std::string& word) {
  std::string out;
  for (size_t i = 0; i < word.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(word[i]);
    if (IsGbkLeadByte(c) && i + 1 < word.size()) {
      out += word[i];
      out += word[++i];
      continue;
    }
    if (c == '%' || c == '_' || c == '!') out += '!';
    out += word[i];
  }
  return out;
}

// A product list of the product-category module as the reply: "" (its
// query failed) is no list but a failure.
int ProductListReply(std::string list, std::string* reply) {
  if (list.empty()) return 1;
  *reply = std::move(list);
  return 0;
}

}  // namespace

std::string qel_Invoke_Custom::BuildLikeList(const std::vector<std::string>& words,
                                             const std::string& column) {
  std::string list;
  for (const std::string& raw : words) {
    std::string word = Trim(raw);
    if (word.empty()) continue;
    if (!list.empty()) list += " OR ";
    // The ESCAPE clause only where a wildcard was escaped: a plain word
    // keeps the plain column LIKE '%word%' term.
    const std::string literal = LikeLiteral(word);
    list += column + " LIKE " + QuoteSqlText("%" + literal + "%");
    if (literal != word) list += " ESCAPE '!'";
  }
  return list;
}

namespace custom {

int GetFavorites(Module&, const Request& request, std::string* reply) {
  // Only LIMIT and OFFSET count; a text without them still lists.
  RequestParams params;
  if (ReadRequestParams(request.root, "", "", &params, nullptr) != 0) QEL_LOG_DIRECT("Get params error");
  qelQueryDef def;
  def.AddField("FAVORITES", "PRODUCT_ID");
  // Pages follow the order in which the favourites were added.
  def.AddOrder("FAVORITE_ID", 0);
  def.SetLimit(params.limit);
  def.SetOffset(params.offset);
  std::vector<std::string> ids;
  if (!ForEachRow(&def, [&ids](Json::Value& row) { ids.push_back(StringMember(row, "PRODUCT_ID")); }).Ran()) {
    QEL_LOG_DIRECT("Query error");
    return 1;
  }
  qel_Invoke_ProductCategory* products = ProductModule();
  if (products == nullptr) return 1;
  if (ids.empty()) {
    *reply = "[]";
    return 0;
  }
  // The ids come from the table, but still reach SQL as literals.
  return ProductListReply(
      products->GetProductBasicInfo("", -1, -1, " t1.PRODUCT_ID IN (" + JoinQuoted(ids) + ")", ""), reply);
}

int AddFavorite(Module&, const Request& request, std::string*) {
  const std::string& productId = request.params.value;
  // Product ids are decimal; anything else is no product to keep.
  if (!IsDecimalId(productId)) {
    QEL_LOG_DIRECT("Can not get PRODUCT_ID from json in");
    return 1;
  }
  // The row and its queued request are written together, or neither.
  qelTransaction transaction(MainDatasource());
  if (!transaction.Active()) return 1;
  const StorageRead<int64_t> count = CountRows("FAVORITES", "PRODUCT_ID = " + QuoteSqlText(productId));
  if (!count.Found()) return 1;
  if (count.value > 0) {
    QEL_LOG_DIRECT("Product " + productId + " already in favorites");
    return 0;
  }
  Json::Value row(Json::objectValue);
  row["PRODUCT_ID"] = productId;
  if (!InsertRow("FAVORITES", row)) return 1;

  // The service learns of the favourite through the usage-record queue,
  // which the cached-data thread sends; this call never waits for it.
  Json::Value param(Json::objectValue);
  param["isFav"] = "1";
  param["prodId"] = productId;
  qelInternetRequestBean bean;
  if (!bean.AddOneRequestWithParam(kFavoriteRequest, param)) {
    QEL_LOG(kAddFavoriteFun, "add login request error");
    return 1;
  }
  if (bean.GetJsonRPCParam().empty()) {
    QEL_LOG(kAddFavoriteFun, "jsonrpc params convert error");
    return 1;
  }
  for (int i = 0; i < bean.GetRequestCount(); ++i) {
    if (AddBehavior(bean.GetRequestString(i)) != 0) return 1;
  }
  return transaction.Commit() ? 0 : 1;
}

int RemoveFavorite(Module&, const Request& request, std::string*) {
  const std::string& productId = request.params.value;
  if (productId.empty()) return 1;
  return ExecSql("DELETE FROM FAVORITES WHERE PRODUCT_ID = ?", {productId}) ? 0 : 1;
}

int IsFavorite(Module&, const Request& request, std::string*) {
  const std::string& productId = request.params.value;
  const StorageRead<int64_t> count = CountRows("FAVORITES", "PRODUCT_ID = " + QuoteSqlText(productId));
  if (!count.Found() || count.value < 1) return 1;
  return 0;
}

int SearchProducts(Module&, const Request& request, std::string* reply) {
  const RequestParams& params = request.params;
  std::vector<std::string> words;
  SplitString(params.value, ' ', &words);
  if (words.empty()) {
    QEL_LOG_DIRECT("There is no filter for search");
    *reply = "[]";
    return 0;
  }
  const std::string nameCondition = qel_Invoke_Custom::BuildLikeList(words, "t2.NAME");
  // Blanks only: no word to look for, so nothing matches.
  if (nameCondition.empty()) {
    *reply = "[]";
    return 0;
  }
  qel_Invoke_ProductCategory* products = ProductModule();
  if (products == nullptr) return 1;

  std::vector<std::string> brandIds;
  const std::string brandFilter = " ((" + qel_Invoke_Custom::BuildLikeList(words, "t2.BRANDNAME") + ") ) ";
  // Without the brands' matches the list would lack products that match.
  if (products->GetBrandIds(brandFilter, &brandIds) != 0) {
    QEL_LOG_DIRECT("Can not get brand ids");
    return 1;
  }

  std::string condition = " ((" + nameCondition + ") ) ";
  if (!brandIds.empty()) {
    condition += " OR (t1.BRAND_ID in (" + JoinQuoted(brandIds) + ") AND t1.PRODUCT_ID=t2.PRODUCT_ID)";
  }
  return ProductListReply(products->GetProductBasicInfo("", params.limit, params.offset, condition, ""),
                          reply);
}

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
