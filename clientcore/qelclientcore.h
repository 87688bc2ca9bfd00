// CQelClientCore: the typed API of the catalogue client over qelbridge.
//
// Text: every narrow std::string / const char* argument and every narrow
// record member is GBK, like qelbridge's own texts; wide text is wchar_t
// (UTF-32 on Linux). Wide text is never converted by dropping characters: a
// call given a wide text that GBK cannot hold (a path, an account, a name,
// any field it stores or sends), or a narrow text that is no GBK, fails
// with nothing stored, copied or sent (its failure result; calls with an
// `error` text get the installation's text for a refused request).
//
// Threads: the host may call from several threads at once; the object's
// caches are changed under a lock that no request, transfer or data update
// holds, so a getter never waits for a running update. The record, vector,
// map and JSON pointers and references that the getters return point into
// those caches: each stays valid until the next call from any thread; the
// host never frees them and copies what it keeps. Init() starts the
// object's own threads.
//
// Shutdown (Uninitialize(), or process exit) is final for the process:
// afterwards every call gives its failure result and a later Init() returns
// false. Before Init() every call fails too, without reaching the bridge.
//
// Conventions of every getter below:
// - Results on failure (no reply, a failure reply, a reply of the wrong
//   shape, before Init() or after shutdown): pointer getters return null,
//   count getters 0, boolean calls false, and getters that fill the caller's
//   vector or map leave it empty (they empty it first).
// - Paging (limit, offset) of lists answered by the bridge: a limit of -1
//   or 0 means no limit, an offset of -1 or 0 the first row; otherwise at
//   most `limit` rows from row `offset` (counted from 0).
// - Ids are those of the local database: products and categories are
//   64-bit decimal ids (a top-level category has 7 digits, each level 3
//   more), the other records int ids.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <json/json.h>

#include "qelclientcore_export.h"
#include "records/qelrecords.h"

extern "C" {
// The data update's progress callback (the same type as qelbridge's): the
// step 0 to 100 and a GBK text; a non-zero result asks the update to stop.
// Hand it to DoDataUpdateAsync or SetDownloadCallback as a void*.
typedef int (*UpdateDownCallback)(int step, const char* text);
}

namespace qelclientcore {

// Results of the account calls; the values are fixed.
enum LoginRst { LOGIN_OK = 0, LOGIN_FAIL_100020 = 1, LOGIN_FAIL_100013 = 2, LOGIN_FAIL_OTHER = 3 };
enum RegSendCodeRst { REGSENDCODE_OK = 0, REGSENDCODE_FAIL = 1, REGSENDCODE_NOREPLY = 2 };
enum RegCheckCodeRst { REGCHECKCODE_OK = 0, REGCHECKCODE_FAIL = 2, REGCHECKCODE_NOREPLY = 3 };
enum RegRst { REG_OK = 0, REG_FAIL = 2, REG_NOREPLY = 3 };

// Parameter values of models: model PRODUCT_ID -> PARAM_ID -> value.
typedef std::map<uint64_t, std::map<uint64_t, ProductParameterValue>> ProductParameterValueMap;
// A filter: PARAM_ID -> the values asked for.
typedef std::map<uint64_t, std::vector<ProductParameterValue>> ProductParameterFilter;

class QELCLIENTCORE_API CQelClientCore {
 public:
  // The one instance, built on first use.
  static CQelClientCore* GetInstance();
  // Does nothing and returns true; it does NOT start the client core. Call
  // Init() on the instance for that.
  static bool Initialize(std::string unused);
  // Stops and joins the object's threads (also done at process exit);
  // afterwards every call gives its failure result, for good: a later
  // Init() returns false.
  static void Uninitialize();

  CQelClientCore(const CQelClientCore&) = default;
  CQelClientCore& operator=(const CQelClientCore&) = default;

  // Starts the client core, once: log files (when kept), the bridge with the
  // start-up JSON, the two built-in parameters, the cached-data thread.
  // True when the bridge started; a missing installation still gives true
  // (an empty catalogue) and is logged at ERROR with the paths looked for.
  // False when a database file that exists could not be opened or read (a
  // lock past the wait, a damaged file): a later Init() starts the bridge
  // again, and true once it has started. Until Init() every call gives its
  // failure result without touching the bridge.
  bool Init();
  // The start-up JSON (GBK, styled).
  std::string GetInitInfo();
  int GetLangType();  // 0 (Chinese) once read
  void Clear();
  bool Decrypt(std::string text);

  // Company, about, modules. The record getters answer from their cache
  // once a reply was accepted; the *Js getters hand out the parsed reply
  // (an array; null when nothing was accepted). GetSecondaryModules(bannerId)
  // lists the modules below one banner (PrimaryModule::bannerId); the
  // Update*Status calls mark an item as seen (its STATUS), true when stored.
  const CompanyInfo* GetCompanyInfo();
  const QelInfo* GetQelInfo();
  Json::Value& GetCompanyInfoJs();
  Json::Value& GetQelInfoJs();
  Json::Value& GetPrimaryModulesJs();
  Json::Value& GetTopProductCategorysJs();
  Json::Value GetSubProductCategorysJs(Json::Value& request);
  Json::Value GetParentProductCategorysJs(Json::Value& request);
  Json::Value GetProductsByCategoryJs(Json::Value& request);
  const std::vector<PrimaryModule>* GetPrimaryModeles();
  const std::vector<SecondaryModule>* GetSecondaryModules(int bannerId);
  SecondaryModule* GetSecondaryModuleByID(int id);
  bool UpdateSecondaryModuleStatus(int id);

  // Categories, brands, products, favourites.
  // - Category getters take a PRO_CATEGORY_ID (ProductCategory::categoryId).
  // - brandId: -1 means every brand. Any other value, 0 included, keeps only
  //   the products of the brand with that BRAND_ID (the sample has none with
  //   0, so 0 gives an empty list and a count of 0).
  // - GetAllProuductsCount counts every product (11-digit ids, models not
  //   counted) of the brand; GetAllProuducts pages the same list (see
  //   paging above) and GetProductsByCategory one category's products, the
  //   products of its subcategories included.
  // - GetProductByID answers from the products already read, else asks;
  //   null for an unknown id. SearchProduct (GBK words separated by
  //   blanks) and the favourites work on the local database, so both work
  //   without the service.
  void GetTopProuductCategorys(std::vector<ProductCategory>& out);
  void GetSubProuductCategorys(uint64_t categoryId, std::vector<ProductCategory>& out);
  void GetParentProuductCategorys(uint64_t categoryId, std::vector<ProductCategory>& out);
  void GetProuductBrandsByCategory(std::vector<ProductBrand>& out, uint64_t categoryId);
  void GetProductCategoryByID(uint64_t categoryId, ProductCategory& out);
  int GetAllProuductsCount(int brandId);
  const std::vector<Product>* GetAllProuducts(int brandId, int limit, int offset);
  Product* GetProductByID(uint64_t id);
  void GetProductsByCategory(uint64_t categoryId, std::vector<Product>& out, int brandId, int limit,
                             int offset);
  void SearchProduct(std::string text, std::vector<Product>& out);
  bool UpdateProductStatus(uint64_t id);
  const std::vector<Product>* GetFavoriteProducts(int unused1, int unused2);
  bool IsProductInFavorite(uint64_t id);
  bool AddProductToFavorite(uint64_t id);
  bool RemoveProductFromFavorite(uint64_t id);

  // Product detail. productId is a product's PRODUCT_ID (a model's id for
  // the model-level calls).
  // - GetProductDetailHead fills one entry per tab, keyed by the tab code:
  //   0 introduction (count 0 or 1), 1 models (models plus model pictures),
  //   2 certificate groups, 3 videos, 4 pictures, 5 cases, 6 test reports,
  //   7 and 8 always present (count 1). False for id 0 or a failed reply.
  // - GetProuductPics: groupId -1 lists every picture of the product (and
  //   keeps them for GetProuductPicById), else those of one group
  //   (ProductPicCategory::groupId).
  // - GetProuductCaseRes: type is the resource type, 1 pictures, 2 videos.
  // - The *ById getters answer from the lists read last for that product;
  //   null when the id was not in them.
  // - GetProductParameterValues: model PRODUCT_ID -> PARAM_ID -> value, for
  //   the product and its models. GetProductModelsByFilter gives the models
  //   that, for at least one filtered PARAM_ID, hold one of the listed
  //   values (an empty filter gives none); GetProductParameterValuesByFilter
  //   gives the value maps of the models for which, for at least one
  //   filtered PARAM_ID, a listed value differs from the model's.
  bool GetProductDetailHead(uint64_t id, std::map<PRODUCTDETAILHEAD, ProductDetailHead>& out);
  void GetProductUnstructuredIntr(uint64_t productId, std::vector<ProductUnstructuredIntr>& out);
  void GetProuductPicCategorys(uint64_t productId, std::vector<ProductPicCategory>& out);
  void GetProuductPics(uint64_t productId, int groupId, std::vector<ProductPic>& out);
  void GetProuductVideos(uint64_t productId, std::vector<ProductVideo>& out);
  void GetProuductCerts(uint64_t productId, std::vector<ProductCert>& out);
  void GetProuductCases(uint64_t productId, std::vector<ProductCase>& out);
  void GetProuductCaseRes(uint64_t productId, int caseId, int type, std::vector<ProductCaseRes>& out);
  void GetProductModels(uint64_t productId, std::vector<ProductModel>& out);
  void GetProductParameters(uint64_t productId, std::vector<ProductParameter>& out);
  void GetProductModelPics(uint64_t productId, std::vector<ProductModelPic>& out);
  void GetProductReports(uint64_t productId, std::vector<ProductReport>& out, int limit, int offset);
  const ProductParameterValueMap* GetProductParameterValues(uint64_t productId);
  ProductPic* GetProuductPicById(uint64_t productId, int resId);
  ProductVideo* GetProuductVideoById(uint64_t productId, int resId);
  ProductCert* GetProuductCertById(uint64_t productId, int resId);
  ProductReport* GetProductReportById(uint64_t productId, int reportId);
  // The product's parameters between the built-in model (first) and price
  // (last) parameters.
  void GetProductParametersAll(uint64_t productId, std::vector<ProductParameter>& out);
  void GetProductModelsByFilter(uint64_t productId, ProductParameterFilter& filter,
                                std::vector<ProductModel>& out);
  void GetProductParameterValuesByFilter(uint64_t productId, ProductParameterFilter& filter,
                                         ProductParameterValueMap& out);

  // Account. `error` receives the reply's ERRORDESC on a failure reply (the
  // installation's text for the code: without a service address, the text
  // of 500001; a transport failure, 500003; a reply that is no JSON-RPC
  // answer, such as an HTML error page, 19999).
  LoginRst LogIn(const std::string& user, const std::string& password, bool remember, std::wstring& error);
  RegSendCodeRst SendRegCode(const std::string& account, int accountType, std::wstring& error);
  RegCheckCodeRst CheckRegCode(const std::string& code, const std::string& account, int accountType,
                               std::wstring& error);
  RegRst DoUserReg(UserRegInfo& info, std::wstring& error);
  bool IsUserExisted(const std::string& name, int type, const std::string& oldName, std::wstring& error,
                     int& exist);
  void GetUserInfo(UserRegInfo& info);
  bool IsUserInTheLogin();

  // Consultations, inquiries, feedback, areas, date. The consultation and
  // inquiry lists come whole (the bridge applies no limit or offset) and
  // refresh the cache the *ById getters read; a failed refresh keeps it.
  // Area ids grow by 2 digits per level.
  // NewConsult and NewInquire: true when the service took the item now
  // (the record is left as it was). On false the record's id (consultId,
  // inquiryId) tells whether the item is kept in the installation:
  // - -2 or below: kept under that id, and listed with it. Nothing sends it
  //   on its own: submit the record again with that id to send it, and
  //   not again once that returned true (no second copy is stored; an
  //   inquiry's stored attachment goes with it).
  // - 0: nothing was kept (the local database could not be written, or the
  //   attachment could not be copied).
  // - as it came: the call failed before anything was stored (a text field
  //   holding a character GBK lacks, see Text above; before Init() or after
  //   shutdown; an inquiry without a logged-in user), so a new item's 0 or
  //   -1 means nothing was kept and a kept item's id stays kept.
  // newFeed: true when the service took the feedback. When the service
  // could not be reached, refused the call as a whole or gave a reply that
  // is no answer, the feedback is queued with the usage records and sent by
  // the thread that sends them (do not submit it again); feedback the
  // service refused itself, or one with a text GBK cannot hold, is not kept.
  bool NewConsult(MyConsultation& consult);
  bool NewInquire(MyInquire& inquire, bool unused);
  // True exactly when the bridge deleted it; the cached entry goes only then.
  bool DelConsultation(uint64_t productId, int consultId);
  bool DelInquire(uint64_t productId, int inquiryId);
  int GetConsultationCount(uint64_t productId);
  int GetInquireCount(uint64_t productId);
  void GetConsultation(uint64_t productId, std::vector<MyConsultation>& out, int limit, int offset);
  void GetInquire(uint64_t productId, std::vector<MyInquire>& out, int limit, int offset);
  void RefreshInquire(uint64_t productId, int unused);
  MyConsultation* GetConsultationById(int consultId);
  MyInquire* GetInquireById(int inquiryId);
  bool newFeed(MyFeed& feed, std::wstring& error);
  void GetSubGeoTags(std::vector<GeoTag>& out, const int& areaId);
  void GetParentGeoTag(const int& areaId, GeoTag& out);
  void GetGeoTagsById(const int& areaId, GeoTag& out);
  // The local date as "year-month-day" without leading zeros.
  void GetCurrentDate(std::wstring& out);

  // Usage records, queued by the bridge and sent by the cached-data thread.
  void behavior_visitProduct(uint64_t productId);
  void behavior_print(uint64_t productId, int printType);
  void sendCachedDataSync();

  // Company certificates, groups and cases. Category and group ids are
  // those of the records (EntCertCategory::categoryId, EntCertsGroup's id
  // text). GetEntCertsByCategory pages here: a limit of -1 means no limit
  // and 0 gives none; an offset below 0 starts at the first.
  void GetEntCertCategorys(std::vector<EntCertCategory>& out);
  EntCertCategory* GetEntCertCategoryById(int categoryId);
  void GetEntCertsGroupByCategory(const std::wstring& categoryId, std::vector<EntCertsGroup>& out);
  void GetAllEntCertGroup(std::vector<EntCertsGroup>& out);
  int GetAllEntCertGroupCount();
  const EntCertsGroup* GetEntCertGroupById(const std::wstring& groupId);
  void GetEntCertByGroup(const std::wstring& groupId, std::vector<EntCertPic>& out);
  const EntCertPic* GetEntCertPicById(const std::wstring& resId);
  bool UpdateEntCertGroupStatus(const std::wstring& groupId);
  void GetEntCertCatsOfGroup(const std::wstring& groupId, std::vector<std::wstring>& out);
  void GetEntCertsByCategory(int categoryId, std::vector<EntCert>& out, int limit, int offset);
  int GetAllEntCertCount();
  const std::vector<EntCert>* GetAllEntCerts();
  EntCert* GetEntCertByID(unsigned id);
  // Nothing stores a company certificate's seen state: always false.
  bool UpdateEntCertStatus(int id);
  bool UpdateEntCertsStatusByCategory(int categoryId);
  const std::vector<EntCase>* GetEntCases();
  EntCase* GetEntCaseById(int caseId);
  bool UpdateEntCaseStatus(int caseId);
  void GetEntCaseRes(int caseId, int type, std::vector<EntCaseRes>& out);

  // Data and application update. The callbacks are UpdateDownCallback
  // (above) passed as void*: step 0 to 100 with a GBK text. Steps 2, 6 and 8
  // prepare the run, 10 to 69 come with the resource files, 70 to 99 with
  // the database file, and 100 with "download finished, restart the client"
  // once a package is staged for the next start; a non-zero result stops the
  // run, which then never reports 100. The callback runs on the client
  // core's data-update thread (or the caller's thread for DoDataUpdate);
  // it may call Uninitialize() or exit().
  // True when the service has a newer package than the installation.
  bool IsDataNeedUpdateSync();
  // Runs DoDataUpdate on the client core's data-update thread (nothing
  // before Init() or after shutdown). A failed run reports nothing through
  // the callback (no 100 ever comes): a host that must learn of a failure
  // calls DoDataUpdate on a worker thread of its own and reads its result.
  void DoDataUpdateAsync(void* callback);
  void SetDownloadCallback(void* callback);
  // Runs one data update on the calling thread. False when another update
  // runs, when the host's callback stopped it, when the service or a
  // download failed (the next run resumes where this one stopped), before
  // Init() and after shutdown; true when a package was staged or there was
  // nothing to do.
  bool DoDataUpdate();
  // Application update. Compares the installation's version (ver.qel, read
  // without a UTF-8 byte-order mark and trailing blanks) with the
  // service's: 0 the same, 1 newer in its first three numbers, 2 newer in
  // the fourth only, 3 the service's is older than the installation; 0 too
  // on a failure.
  int IsNeedUpdateApp();
  // The files of the service's version, appended to out (folder is not
  // used), one entry per target file: a later entry naming a file again
  // ("a.txt" and "\a.txt") is dropped and logged. Call it only after
  // IsNeedUpdateApp() answered 1 or 2: after a 3 the list would take the
  // installation back a version. The call starts the release afresh: it
  // marks the module folder's AppUpdate and empties it of earlier attempts
  // (a folder that cannot be marked gives no entries).
  void GetUpdateAppList(const std::string& folder, std::vector<AppUpdateFiles>& out);
  void GetUpdateAppList(std::vector<AppUpdateFiles>& out);
  // Downloads one entry (url to localPath); returns nothing. Once every
  // entry of the last list has downloaded whole, the marker goes and the
  // launcher installs the release at the next start. Until then (a failed
  // or interrupted download) nothing of it is installed and
  // IsNeedUpdateApp() keeps answering that an update is needed; the next
  // run lists and downloads it again.
  void DownloadFile(const std::string& url, const std::string& path);

 protected:
  std::string IntToStr(int value);
  // Overloads taking id texts: an empty text returns at once.
  const std::vector<SecondaryModule>* GetSecondaryModules(std::string bannerText);
  void GetSubProuductCategorys(std::string categoryText, std::vector<ProductCategory>& out);
  void GetParentProuductCategorys(std::string categoryText, std::vector<ProductCategory>& out);
  void GetProuductBrandsByCategory(std::vector<ProductBrand>& out, std::string categoryText);
  void GetProductsByCategory(std::string categoryText, std::vector<Product>& out, std::string brandText,
                             int limit, int offset);
  bool UpdateProductStatus(std::string productText);
  bool IsProductInFavorite(std::string productText);
  bool AddProductToFavorite(std::string productText);
  bool RemoveProductFromFavorite(std::string productText);
  void GetProductUnstructuredIntr(std::string productText, std::vector<ProductUnstructuredIntr>& out);
  void GetProuductPicCategorys(std::string productText, std::vector<ProductPicCategory>& out);
  void GetProuductPics(std::string productText, std::string groupText, std::vector<ProductPic>& out);
  void GetProuductVideos(std::string productText, std::vector<ProductVideo>& out);
  void GetProuductCerts(std::string productText, std::vector<ProductCert>& out);
  void GetProuductCases(std::string productText, std::vector<ProductCase>& out);
  void GetProuductCaseRes(std::string productText, std::string caseText, std::string typeText,
                          std::vector<ProductCaseRes>& out);
  void GetProductModels(std::string productText, std::vector<ProductModel>& out);
  void GetProductParameters(std::string productText, std::vector<ProductParameter>& out);
  void GetProductModelPics(std::string productText, std::vector<ProductModelPic>& out);
  void GetEntCertsByCategory(std::string categoryText, std::vector<EntCert>& out, int limit, int offset);
  void GetEntCaseRes(std::string caseText, std::string typeText, std::vector<EntCaseRes>& out);

 private:
  CQelClientCore();
  ~CQelClientCore();
  void InitCatGroups(const std::wstring& categoryId, const std::vector<EntCertsGroup>& groups);
  void MarkProductSeen(uint64_t id);
  void SetProductFavorite(uint64_t id, int favorite);

  ProductParameter modelParameter_;
  ProductParameter priceParameter_;
  int langType_;
  CompanyInfo companyInfo_;
  QelInfo qelInfo_;
  std::vector<PrimaryModule> primaryModules_;
  std::vector<SecondaryModule> secondaryModules_;
  std::vector<Product> products_;
  std::vector<EntCert> entCerts_;
  std::vector<EntCase> entCases_;
  std::vector<Product> favorites_;
  std::map<uint64_t, Product> productMap_;
  std::map<int, SecondaryModule> secondaryModuleMap_;
  std::map<int, EntCertCategory> entCertCategoryMap_;
  std::map<int, EntCert> entCertMap_;
  std::map<int, EntCase> entCaseMap_;
  std::map<uint64_t, std::map<int, ProductPic>> productPics_;
  std::map<uint64_t, std::map<int, ProductVideo>> productVideos_;
  std::map<uint64_t, std::map<int, ProductCert>> productCerts_;
  ProductParameterValueMap parameterValues_;
  std::map<uint64_t, std::map<int, ProductReport>> productReports_;
  std::map<int, MyConsultation> consultations_;
  std::map<int, MyInquire> inquiries_;
  std::map<std::wstring, EntCertPic> entCertPics_;
  std::map<std::wstring, EntCertsGroup> entCertGroups_;
  std::map<std::wstring, std::map<std::wstring, int>> categoryGroups_;
  Json::Value companyInfoJs_;
  Json::Value qelInfoJs_;
  Json::Value primaryModulesJs_;
  Json::Value topProductCategorysJs_;
  // Handed out by the *Js getters while their cache holds no element.
  Json::Value emptyJs_;
};

}  // namespace qelclientcore
