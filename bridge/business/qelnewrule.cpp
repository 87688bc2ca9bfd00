#include "business/qelnewrule.h"

#include <cstdint>
#include <memory>

#include "business/qelbusinesshelper.h"
#include "database/qelinfoaccess.h"
#include "database/qeldatasource.h"
#include "database/qelquery.h"
#include "database/qelsqltext.h"
#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {
namespace newrule {
namespace {

// A count of seen-marks: none means new, any means seen; a count that
// cannot be read leaves the state unknown.
StorageRead<NewState> StateOfSeenCount(const char* table, const std::string& filter) {
  const StorageRead<int64_t> count = CountRows(table, filter);
  if (!count.Found()) return count.With(NewState::kSeen);
  return ReadValue(count.value == 0 ? NewState::kNew : NewState::kSeen);
}

}  // namespace

const char* StatusText(bool isNew) { return isNew ? kStatusNew : kStatusSeen; }

std::string ProductSeenFilter(const std::string& productId) {
  std::string id = QuoteSqlText(productId);
  return "PROD_ID = " + id + " AND LASTTIME >(SELECT LASTTIME FROM PRODUCT WHERE PRODUCT_ID = " + id + ")";
}

std::string CaseSeenFilter(const std::string& caseId) {
  std::string id = QuoteSqlText(caseId);
  return "CASE_ID = " + id + " AND LASTTIME >(SELECT LASTTIME FROM PRODUCT_CASE WHERE CASE_ID = " + id + ")";
}

std::string CertGroupNullTimeFilter(const std::string& groupId) {
  return "LASTTIME IS NULL AND CERTGROUP_ID = " + QuoteSqlText(groupId);
}

std::string CertGroupSeenFilter(const std::string& groupId) {
  return " t1.certgroup_ID = t2.certgroup_ID\tAND t1.certgroup_id = " + QuoteSqlText(groupId) +
         "AND (t1.lasttime < t2.lasttime OR t1.lasttime IS NULL)";
}

std::string NewCertCountFilter(const std::string& categoryId) {
  return "LASTTIME IS NOT NULL AND \t\tcertgroup_ID IN (SELECT certgroup_id as T FROM CERTGROUP_CERTCATEGORY "
         "WHERE CERT_CATEGORY_ID = " +
         QuoteSqlText(categoryId) +
         " ) AND certgroup_ID NOT IN \t\t( \t\tSELECT t.certgroup_ID \t\tFROM \t\tcertgroup "
         "t,\t\tcertgroup_extend "
         "g \t\tWHERE \t\tt.certgroup_ID = g.certgroup_ID \t\tAND (t.LASTTIME < g.LASTTIME ))";
}

std::string SeenProductIdsSql() {
  return "SELECT  t1.PROD_ID  FROM PRODUCT_EXTEND  t1  ,PRODUCT t2 \t\t\t\t\t where t1.PROD_ID=t2.PRODUCT_ID "
         "\t\t\t\t AND t1.LASTTIME > t2.LASTTIME \t";
}

std::string NewProductCountFilter(const std::string& categoryId) {
  // A LIKE pattern would read "%" and "_" in the id as wildcards. A decimal
  // id is matched with GLOB (the same prefix test, and it uses the index);
  // any other id by substr of its quoted text.
  std::string prefix;
  if (IsDecimalId(categoryId)) {
    prefix = "pro_category_id GLOB '" + categoryId + "*'";
  } else {
    std::string id = QuoteSqlText(categoryId);
    prefix = "substr(pro_category_id,1,length(" + id + ")) = " + id;
  }
  return " PRODUCT_ID NOT IN( " + SeenProductIdsSql() + ")\t\t\t\t\t AND " + prefix + " ";
}

std::string ProductNotSeenSql(const std::string& productIdColumn) {
  // NOT IN gives NULL (not counted) for a NULL id unless the seen set is
  // empty; the CASE keeps that answer.
  return "(CASE WHEN " + productIdColumn + " IS NULL THEN NOT EXISTS (" + SeenProductIdsSql() +
         ") ELSE NOT EXISTS (SELECT 1 FROM PRODUCT_EXTEND nr_e, PRODUCT nr_p WHERE nr_e.PROD_ID = " +
         productIdColumn + " AND nr_p.PRODUCT_ID = nr_e.PROD_ID AND nr_e.LASTTIME > nr_p.LASTTIME) END)";
}

std::string ProductIsNewSql(const std::string& productIdColumn) {
  return "(NOT EXISTS (SELECT 1 FROM PRODUCT_EXTEND nr_e WHERE nr_e.PROD_ID = " + productIdColumn +
         " AND nr_e.LASTTIME > (SELECT nr_p.LASTTIME FROM PRODUCT nr_p WHERE nr_p.PRODUCT_ID = " +
         productIdColumn + ")))";
}

StorageRead<NewState> ProductState(const std::string& productId) {
  return StateOfSeenCount("PRODUCT_EXTEND", ProductSeenFilter(productId));
}

StorageRead<NewState> CaseState(const std::string& caseId) {
  return StateOfSeenCount("CASE_EXTEND", CaseSeenFilter(caseId));
}

StorageRead<NewState> CertGroupState(const std::string& groupId) {
  const StorageRead<int64_t> nullTimes = CountRows("CERTGROUP", CertGroupNullTimeFilter(groupId));
  if (!nullTimes.Found()) return nullTimes.With(NewState::kSeen);
  if (nullTimes.value > 0) return ReadValue(NewState::kSeen);
  return StateOfSeenCount("CERTGROUP t1, CERTGROUP_EXTEND t2", CertGroupSeenFilter(groupId));
}

bool IsProductNew(const std::string& productId) {
  const StorageRead<NewState> state = ProductState(productId);
  return !state.Found() || state.value == NewState::kNew;
}

bool IsCaseNew(const std::string& caseId) {
  const StorageRead<NewState> state = CaseState(caseId);
  return !state.Found() || state.value == NewState::kNew;
}

bool IsCertGroupNew(const std::string& groupId) {
  const StorageRead<NewState> state = CertGroupState(groupId);
  return state.Found() && state.value == NewState::kNew;
}

StorageRead<int64_t> NewCertCount(const std::string& categoryId) {
  return QueryCount("CERTGROUP", NewCertCountFilter(categoryId));
}

StorageRead<int64_t> NewProductCount(const std::string& categoryId) {
  return CountRows("PRODUCT_CLASS", NewProductCountFilter(categoryId));
}

}  // namespace newrule
}  // namespace dataspace
}  // namespace qel
