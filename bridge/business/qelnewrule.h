// The one rule by which catalogue items (products, cases, certificate groups)
// are flagged as new, and the STATUS texts the reply rows carry.
//
// An item is new unless its row in the base table's _EXTEND twin holds a
// LASTTIME strictly greater (SQLite ordering) than the item's own LASTTIME.
// A missing _EXTEND row, a null time on either side and equal times all
// count as new, so a change after the visitor saw an item makes it new
// again. Exception: a certificate group whose own LASTTIME is null is never
// new, neither in its flag nor in the counts.
//
// Every id is put into the SQL text as a quoted literal, so an id holding a
// quote or SQL text matches nothing extra.
#pragma once

#include <cstdint>
#include <string>

#include "database/qelread.h"

namespace qel {
namespace dataspace {
namespace newrule {

// STATUS of a reply row in the category-modules and product-category
// modules (products, company cases, certificate groups).
inline constexpr char kStatusNew[] = "2";
inline constexpr char kStatusSeen[] = "1";
// kStatusNew or kStatusSeen.
const char* StatusText(bool isNew);

// Filters, each for QueryCount on the named table; a count above 0 means
// the item carries a later seen-mark.
// "PRODUCT_EXTEND": PROD_ID = '<id>' AND LASTTIME >(SELECT LASTTIME FROM PRODUCT ...)
std::string ProductSeenFilter(const std::string& productId);
// "CASE_EXTEND": CASE_ID = '<id>' AND LASTTIME >(SELECT LASTTIME FROM PRODUCT_CASE ...)
std::string CaseSeenFilter(const std::string& caseId);
// "CERTGROUP": the group itself has a null LASTTIME (never new).
std::string CertGroupNullTimeFilter(const std::string& groupId);
// Filter of the two-table count CERTGROUP t1, CERTGROUP_EXTEND t2: the
// group has a later seen-mark (or a null own time).
std::string CertGroupSeenFilter(const std::string& groupId);
// "CERTGROUP": the new groups of a certificate category (NEWCERTCOUNT).
std::string NewCertCountFilter(const std::string& categoryId);
// "PRODUCT_CLASS": the assignments below a product-category id whose
// product is new (NEWPRODUCTCOUNT). The id is matched as a prefix.
std::string NewProductCountFilter(const std::string& categoryId);

// A sub-select of the PROD_ID of every product with a later seen-mark.
std::string SeenProductIdsSql();
// The condition "<column> NOT IN (SeenProductIdsSql())" (the assignment of
// a new product), written so that it is answered by index look-ups of the
// one product instead of building the whole seen set.
std::string ProductNotSeenSql(const std::string& productIdColumn);
// An SQL expression that is 1 when the product whose id the given column
// (or expression) holds is new and 0 when it is seen; for folding the test
// into a list query. Same result as IsProductNew.
std::string ProductIsNewSql(const std::string& productIdColumn);

// What a test found.
enum class NewState { kNew, kSeen };

// The tests, through the qelInfoAccess datasource. Not Found when a count
// the test needs could not be read: the flag is then no answer, and a
// reply that carries it takes its failure path.
StorageRead<NewState> ProductState(const std::string& productId);
StorageRead<NewState> CaseState(const std::string& caseId);
StorageRead<NewState> CertGroupState(const std::string& groupId);

// The same as a flag, for callers that have no failure path: a product or
// case whose test fails counts as new, a certificate group as seen.
bool IsProductNew(const std::string& productId);
bool IsCaseNew(const std::string& caseId);
bool IsCertGroupNew(const std::string& groupId);

// NEWCERTCOUNT of a certificate category.
StorageRead<int64_t> NewCertCount(const std::string& categoryId);
// NEWPRODUCTCOUNT of a product-category id: the number of new assignments
// below it.
StorageRead<int64_t> NewProductCount(const std::string& categoryId);

}  // namespace newrule
}  // namespace dataspace
}  // namespace qel
