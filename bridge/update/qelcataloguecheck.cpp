#include "update/qelcataloguecheck.h"

#include <vector>

#include "cqelbridge.h"
#include "database/qelquery.h"
#include "database/sqlite/qeldatasourcesqlite.h"
#include "datainterfaceinvoke.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/requestcodes.h"

namespace qel {
namespace dataspace {

namespace {

const char kFun[] = "qel::dataspace::CatalogueCheck";

// Ids of the keyed lists: whether they name a row or not, the list's
// queries run.
#define QEL_CHECK_PRODUCT R"("PRODUCT":{"PRODUCT_ID":"10000000001"})"
#define QEL_CHECK_CATEGORY R"("PRODUCT_CATEGORY":{"PRO_CATEGORY_ID":"1000001"})"

// One request of each list the catalogue shows, as the client core sends
// it.
struct CatalogueRead {
  int code;
  const char* request;
};
const CatalogueRead kCatalogueReads[] = {
    {request::kPrimaryModules, ""},
    {request::kSecondaryModules, R"({"PARAM":{"BANNER":{"BANNER_ID":"1"}}})"},
    {request::kCases, ""},
    {request::kCertCategories, ""},
    {request::kAllCertGroups, ""},
    {request::kAboutInfo, ""},
    {request::kCompanyInfo, ""},
    {request::kCompanyCerts, ""},
    {request::kTopCategories, ""},
    {request::kChildCategories, "{\"PARAM\":{" QEL_CHECK_CATEGORY "}}"},
    {request::kCategoryProducts, "{\"PARAM\":{" QEL_CHECK_CATEGORY "},\"LIMIT\":1,\"OFFSET\":0}"},
    {request::kCategoryBrands, "{\"PARAM\":{" QEL_CHECK_CATEGORY "}}"},
    {request::kAllProducts, R"({"LIMIT":1,"OFFSET":0})"},
    {request::kProductCount, ""},
    {request::kProduct, "{\"PARAM\":{" QEL_CHECK_PRODUCT "}}"},
    {request::kSearchProducts, R"({"PARAM":{"FILTER":{"FILTER":"1"}}})"},
    {request::kFavorites, ""},
    {request::kProductDetailHeads, "{\"PARAM\":{" QEL_CHECK_PRODUCT "}}"},
    {request::kProductIntroductions, "{\"PARAM\":{" QEL_CHECK_PRODUCT "}}"},
    {request::kProductPictureGroups, "{\"PARAM\":{" QEL_CHECK_PRODUCT "}}"},
    {request::kProductVideos, "{\"PARAM\":{" QEL_CHECK_PRODUCT "}}"},
    {request::kProductCases, "{\"PARAM\":{" QEL_CHECK_PRODUCT "}}"},
    {request::kProductReports, "{\"PARAM\":{" QEL_CHECK_PRODUCT "}}"},
    {request::kProductCerts, "{\"PARAM\":{" QEL_CHECK_PRODUCT "}}"},
    {request::kProductModels, "{\"PARAM\":{" QEL_CHECK_PRODUCT "}}"},
    {request::kProductParameters, "{\"PARAM\":{" QEL_CHECK_PRODUCT "}}"},
};

#undef QEL_CHECK_PRODUCT
#undef QEL_CHECK_CATEGORY

// Whether SQLite finds the file whole: a file with an intact header and
// damaged pages passes every read that misses those pages.
bool PassesQuickCheck(const std::string& path) {
  qelDatasourceSqlite database(path);
  if (!database.Open()) return false;
  StorageRead<CursorPtr> cursor = RunSql(&database, "PRAGMA quick_check");
  if (!cursor.Found()) return false;
  std::vector<std::string> lines;
  const bool read = WalkRows(cursor.value.get(), [&](Json::Value& row) {
                      std::string line;
                      if (row.isObject() && row.size() == 1)
                        line = qel::StringMember(row, row.getMemberNames()[0].c_str());
                      lines.push_back(line);
                    }).Ran();
  return read && lines == std::vector<std::string>{"ok"};
}

// A connection to the main database with the file at path attached as the
// catalogue, as a start attaches it; it writes nothing.
bool OpenAsCatalogue(const std::string& path, qelDatasourceSqlite* database) {
  if (!database->Open() || !database->AttachExDB(path, "EXDB")) {
    QEL_LOG(kFun, "cannot attach the database to check: " + path);
    return false;
  }
  return ExecSql(database, "PRAGMA query_only = 1");
}

}  // namespace

bool StartReadsCompany(const std::string& path, const std::string& mainPath) {
  qelDatasourceSqlite database(mainPath);
  if (!OpenAsCatalogue(path, &database)) return false;
  if (!ReadsStartCompanyRow(&database)) {
    QEL_LOG(kFun, "the company row of the catalogue cannot be read: " + path);
    return false;
  }
  return true;
}

bool IsReadableCatalogue(const std::string& path, const std::string& mainPath) {
  if (!PassesQuickCheck(path)) {
    QEL_LOG(kFun, "downloaded database is damaged");
    return false;
  }
  qelDatasourceSqlite database(mainPath);
  if (!OpenAsCatalogue(path, &database)) return false;
  if (!ReadsStartCompanyRow(&database)) {
    QEL_LOG(kFun, "downloaded database: the company row cannot be read");
    return false;
  }
  // The modules read through MainDatasource(): on this thread, the
  // connection to check.
  ScopedMainDatasource scoped(&database);
  for (const CatalogueRead& read : kCatalogueReads) {
    Data_interface_invoke* module = GetInvokeModule(static_cast<unsigned>(request::ModuleOf(read.code)));
    std::string reply;
    const int result =
        module != nullptr ? module->Invoke(request::MethodOf(read.code), read.request, &reply) : 1;
    // Every list answers at least "[]"; a failed read gives a failure code
    // or the empty text.
    if (result != 0 || reply.empty()) {
      QEL_LOG(kFun, "downloaded database: the catalogue list " + std::to_string(read.code) +
                        " cannot be read (" + std::to_string(result) + ")");
      return false;
    }
  }
  return true;
}

}  // namespace dataspace
}  // namespace qel
