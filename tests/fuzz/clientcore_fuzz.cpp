// The client core's calling pattern fed arbitrary replies through the Invoke
// seam: every getter asks, and the stand-in bridge answers with the input.
// The first byte picks the result (0, 0, 19999 or 1) and, with bit 2, no
// reply text at all; the rest is the reply text. Besides not crashing:
// every request is a GBK JSON object, every reply text is released exactly
// once, a reply that failed or has the wrong shape never gives records,
// counts or success, converted records pass the record checks, and a failed
// refresh never empties what an earlier reply filled. Each input starts
// with empty caches, so a finding replays from its file alone.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <json/json.h>

#include "bridgecall.h"
#include "qel/json.h"
#include "qelclientcore.h"
#include "recordcheck.h"

namespace {

using namespace qelclientcore;
using qelfuzz::Check;
using qelfuzz::CheckMembers;
using qelfuzz::Same;

class ReplyBridge : public detail::BridgeInvoker {
 public:
  int result = 0;
  bool hasText = true;
  std::string text;
  int handedOut = 0;
  int released = 0;

  int Invoke(int, const char* request, char** reply) override {
    std::string sent = request != nullptr ? request : "";
    if (!sent.empty()) {
      Json::Value parsed;
      Check(qel::ParseGbkJson(sent, &parsed) && parsed.isObject(), "a request is a GBK JSON object",
            "request");
    }
    if (hasText) {
      *reply = new char[text.size() + 1];
      std::copy(text.c_str(), text.c_str() + text.size() + 1, *reply);
      ++handedOut;
    }
    return result;
  }

  void Release(char** reply) override {
    if (reply == nullptr || *reply == nullptr) return;
    delete[] * reply;
    *reply = nullptr;
    ++released;
  }
};

CQelClientCore& Core() { return *CQelClientCore::GetInstance(); }

// What the current reply is worth to a getter.
struct Expect {
  bool ok;       // result 0 with a reply text that parses
  bool array;    // ... and is an array
  size_t items;  // its element count
};

template <class R>
void CheckList(const std::vector<R>& out, const Expect& expect, const char* call) {
  if (!expect.array) Check(out.empty(), "no records from a failed or wrong-shaped reply", call);
  Check(out.size() <= expect.items || (out.empty()), "no more records than elements", call);
  for (const R& record : out) CheckMembers(record, call);
}

template <class R>
void CheckCached(const std::vector<R>* list, const Expect& expect, const char* call) {
  if (list == nullptr) return;
  for (const R& record : *list) CheckMembers(record, call);
  (void)expect;
}

void CheckReleased(const ReplyBridge& bridge, const char* call) {
  Check(bridge.handedOut == bridge.released, "every reply text released exactly once", call);
}

// Copies of what the caches hand out, to compare after a failed refresh.
struct Snapshot {
  bool hasCompany = false;
  CompanyInfo company;
  bool hasInfo = false;
  QelInfo info;
  bool hasModules = false;
  std::vector<PrimaryModule> modules;
  bool hasCerts = false;
  std::vector<EntCert> certs;
  bool hasCases = false;
  std::vector<EntCase> cases;
  Json::Value companyJs;
  Json::Value primaryJs;
};

Snapshot Take() {
  Snapshot s;
  if (const CompanyInfo* c = Core().GetCompanyInfo()) s.hasCompany = true, s.company = *c;
  if (const QelInfo* q = Core().GetQelInfo()) s.hasInfo = true, s.info = *q;
  if (const auto* m = Core().GetPrimaryModeles()) s.hasModules = true, s.modules = *m;
  if (const auto* c = Core().GetAllEntCerts()) s.hasCerts = true, s.certs = *c;
  if (const auto* c = Core().GetEntCases()) s.hasCases = true, s.cases = *c;
  s.companyJs = Core().GetCompanyInfoJs();
  s.primaryJs = Core().GetPrimaryModulesJs();
  return s;
}

template <class R>
bool SameList(const std::vector<R>& a, const std::vector<R>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!Same(a[i], b[i])) return false;
  return true;
}

void RunGetters(ReplyBridge& bridge, const Expect& expect) {
  const int result = bridge.result;
  auto released = [&](const char* call) { CheckReleased(bridge, call); };

  if (const CompanyInfo* company = Core().GetCompanyInfo()) CheckMembers(*company, "GetCompanyInfo");
  if (const QelInfo* info = Core().GetQelInfo()) CheckMembers(*info, "GetQelInfo");
  Core().GetCompanyInfoJs();
  Core().GetQelInfoJs();
  Core().GetPrimaryModulesJs();
  Core().GetTopProductCategorysJs();
  Json::Value request(Json::objectValue);
  request["LIMIT"] = "10";
  Json::Value js = Core().GetSubProductCategorysJs(request);
  if (!expect.ok) Check(js.isNull(), "no value from a failed reply", "GetSubProductCategorysJs");
  released("company and modules");

  CheckCached(Core().GetPrimaryModeles(), expect, "GetPrimaryModeles");
  const std::vector<SecondaryModule>* secondary = Core().GetSecondaryModules(2);
  if (!expect.array) Check(secondary == nullptr, "no modules from a failed reply", "GetSecondaryModules");
  if (secondary != nullptr) CheckList(*secondary, expect, "GetSecondaryModules");
  released("modules");

  {
    std::vector<ProductCategory> out;
    Core().GetTopProuductCategorys(out);
    CheckList(out, expect, "GetTopProuductCategorys");
    out.clear();
    Core().GetSubProuductCategorys(1000001, out);
    CheckList(out, expect, "GetSubProuductCategorys");
    out.clear();
    Core().GetParentProuductCategorys(1000001, out);
    CheckList(out, expect, "GetParentProuductCategorys");
    std::vector<ProductBrand> brands;
    Core().GetProuductBrandsByCategory(brands, 1000001);
    CheckList(brands, expect, "GetProuductBrandsByCategory");
    ProductCategory category;
    Core().GetProductCategoryByID(1000001, category);
    CheckMembers(category, "GetProductCategoryByID");
  }
  {
    int count = Core().GetAllProuductsCount(7);
    if (!expect.ok) Check(count == 0, "no count from a failed reply", "GetAllProuductsCount");
    const std::vector<Product>* all = Core().GetAllProuducts(7, 10, 0);
    if (!expect.array)
      Check(all == nullptr || all->empty(), "no products from a failed reply", "GetAllProuducts");
    if (all != nullptr) CheckList(*all, expect, "GetAllProuducts");
    if (Product* p = Core().GetProductByID(77)) CheckMembers(*p, "GetProductByID");
    std::vector<Product> out;
    Core().GetProductsByCategory(1000001, out, 7, 10, 0);
    CheckList(out, expect, "GetProductsByCategory");
    out.clear();
    Core().SearchProduct("\"a\\b", out);
    CheckList(out, expect, "SearchProduct");
    bool seen = Core().UpdateProductStatus(77);
    if (seen) Check(result == 0, "success only on result 0", "UpdateProductStatus");
    if (const std::vector<Product>* favorites = Core().GetFavoriteProducts(0, 0))
      CheckCached(favorites, expect, "GetFavoriteProducts");
    Core().IsProductInFavorite(77);
    if (Core().AddProductToFavorite(77))
      Check(result == 0, "success only on result 0", "AddProductToFavorite");
    if (Core().RemoveProductFromFavorite(77))
      Check(result == 0, "success only on result 0", "RemoveProductFromFavorite");
  }
  released("products");

  {
    std::map<PRODUCTDETAILHEAD, ProductDetailHead> heads;
    bool got = Core().GetProductDetailHead(77, heads);
    if (!expect.array)
      Check(!got && heads.empty(), "no detail head from a failed reply", "GetProductDetailHead");
    for (const auto& head : heads) CheckMembers(head.second, "GetProductDetailHead");
    std::vector<ProductUnstructuredIntr> intr;
    Core().GetProductUnstructuredIntr(77, intr);
    CheckList(intr, expect, "GetProductUnstructuredIntr");
    std::vector<ProductPicCategory> groups;
    Core().GetProuductPicCategorys(77, groups);
    CheckList(groups, expect, "GetProuductPicCategorys");
    std::vector<ProductPic> pics;
    Core().GetProuductPics(77, 3, pics);
    CheckList(pics, expect, "GetProuductPics");
    std::vector<ProductVideo> videos;
    Core().GetProuductVideos(77, videos);
    CheckList(videos, expect, "GetProuductVideos");
    std::vector<ProductCert> certs;
    Core().GetProuductCerts(77, certs);
    CheckList(certs, expect, "GetProuductCerts");
    std::vector<ProductCase> cases;
    Core().GetProuductCases(77, cases);
    CheckList(cases, expect, "GetProuductCases");
    std::vector<ProductCaseRes> caseRes;
    Core().GetProuductCaseRes(77, 9, 1, caseRes);
    CheckList(caseRes, expect, "GetProuductCaseRes");
    std::vector<ProductModel> models;
    Core().GetProductModels(77, models);
    CheckList(models, expect, "GetProductModels");
    std::vector<ProductParameter> params;
    Core().GetProductParameters(77, params);
    CheckList(params, expect, "GetProductParameters");
    std::vector<ProductModelPic> modelPics;
    Core().GetProductModelPics(77, modelPics);
    CheckList(modelPics, expect, "GetProductModelPics");
    std::vector<ProductReport> reports;
    Core().GetProductReports(77, reports, 10, 0);
    CheckList(reports, expect, "GetProductReports");
    if (const ProductParameterValueMap* values = Core().GetProductParameterValues(77))
      for (const auto& model : *values)
        for (const auto& value : model.second) CheckMembers(value.second, "GetProductParameterValues");
    Core().GetProuductPicById(77, 11);
    Core().GetProductReportById(77, 3);
    std::vector<ProductParameter> all;
    Core().GetProductParametersAll(77, all);
    for (const ProductParameter& p : all) CheckMembers(p, "GetProductParametersAll");
    ProductParameterFilter filter;
    filter[1].push_back(ProductParameterValue());
    filter[1].back().value = L"12";
    std::vector<ProductModel> filtered;
    Core().GetProductModelsByFilter(77, filter, filtered);
    for (const ProductModel& m : filtered) CheckMembers(m, "GetProductModelsByFilter");
    ProductParameterValueMap filteredValues;
    Core().GetProductParameterValuesByFilter(77, filter, filteredValues);
  }
  released("product detail");

  {
    std::wstring error;
    LoginRst login = Core().LogIn("user", "secret", true, error);
    if (login == LOGIN_OK) Check(result == 0, "login only on result 0", "LogIn");
    Core().SendRegCode("a@b", 1, error);
    Core().CheckRegCode("1234", "a@b", 1, error);
    UserRegInfo reg;
    reg.userId = L"account";
    reg.password = L"secret";
    if (Core().DoUserReg(reg, error) == REG_OK) Check(result == 0, "sign-up only on result 0", "DoUserReg");
    int exist = 0;
    Core().IsUserExisted("name", 1, "", error, exist);
    UserRegInfo info;
    Core().GetUserInfo(info);
    CheckMembers(info, "GetUserInfo");
    Check(info.password.empty(), "no password from a reply", "GetUserInfo");
    Core().IsUserInTheLogin();
  }
  released("account");

  {
    if (Core().DelConsultation(77, -1)) Check(result == 0, "deleted only on result 0", "DelConsultation");
    if (Core().DelInquire(77, -1)) Check(result == 0, "deleted only on result 0", "DelInquire");
    int consults = Core().GetConsultationCount(77);
    if (!expect.ok) Check(consults == 0, "no count from a failed reply", "GetConsultationCount");
    int inquiries = Core().GetInquireCount(77);
    if (!expect.ok) Check(inquiries == 0, "no count from a failed reply", "GetInquireCount");
    std::vector<MyConsultation> consultations;
    Core().GetConsultation(77, consultations, 10, 0);
    CheckList(consultations, expect, "GetConsultation");
    std::vector<MyInquire> inquires;
    Core().GetInquire(77, inquires, 10, 0);
    CheckList(inquires, expect, "GetInquire");
    Core().RefreshInquire(77, 0);
    Core().GetConsultationById(-1);
    Core().GetInquireById(-1);
    std::vector<GeoTag> areas;
    int area = 11;
    Core().GetSubGeoTags(areas, area);
    CheckList(areas, expect, "GetSubGeoTags");
    GeoTag parent;
    Core().GetParentGeoTag(area, parent);
    CheckMembers(parent, "GetParentGeoTag");
    GeoTag byId;
    Core().GetGeoTagsById(area, byId);
    CheckMembers(byId, "GetGeoTagsById");
  }
  released("consultations");

  {
    std::vector<EntCertCategory> categories;
    Core().GetEntCertCategorys(categories);
    CheckList(categories, expect, "GetEntCertCategorys");
    Core().GetEntCertCategoryById(4);
    std::vector<EntCertsGroup> groups;
    Core().GetEntCertsGroupByCategory(L"4", groups);
    CheckList(groups, expect, "GetEntCertsGroupByCategory");
    groups.clear();
    Core().GetAllEntCertGroup(groups);
    CheckList(groups, expect, "GetAllEntCertGroup");
    int groupCount = Core().GetAllEntCertGroupCount();
    if (!expect.ok) Check(groupCount == 0, "no count from a failed reply", "GetAllEntCertGroupCount");
    Core().GetEntCertGroupById(L"g7");
    std::vector<EntCertPic> pics;
    Core().GetEntCertByGroup(L"g7", pics);
    CheckList(pics, expect, "GetEntCertByGroup");
    Core().GetEntCertPicById(L"1");
    std::vector<std::wstring> cats;
    Core().GetEntCertCatsOfGroup(L"g7", cats);
    std::vector<EntCert> certs;
    Core().GetEntCertsByCategory(4, certs, 10, 0);
    CheckList(certs, expect, "GetEntCertsByCategory");
    int certCount = Core().GetAllEntCertCount();
    Check(certCount >= 0, "a count is never negative", "GetAllEntCertCount");
    CheckCached(Core().GetAllEntCerts(), expect, "GetAllEntCerts");
    Core().GetEntCertByID(12);
    Check(!Core().UpdateEntCertStatus(12), "nothing stores a certificate's seen state",
          "UpdateEntCertStatus");
    Core().UpdateEntCertsStatusByCategory(4);
    CheckCached(Core().GetEntCases(), expect, "GetEntCases");
    Core().GetEntCaseById(9);
    if (Core().UpdateEntCaseStatus(9)) Check(result == 0, "success only on result 0", "UpdateEntCaseStatus");
    std::vector<EntCaseRes> caseRes;
    Core().GetEntCaseRes(9, 1, caseRes);
    CheckList(caseRes, expect, "GetEntCaseRes");
  }
  released("enterprise");

  {
    if (Core().IsDataNeedUpdateSync()) Check(result == 0, "update only on result 0", "IsDataNeedUpdateSync");
    int app = Core().IsNeedUpdateApp();
    if (result != 0) Check(app == 0, "no application update from a failed reply", "IsNeedUpdateApp");
    std::vector<AppUpdateFiles> files;
    Core().GetUpdateAppList(files);
    CheckList(files, expect, "GetUpdateAppList");
  }
  released("updates");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static ReplyBridge bridge;
  static bool installed = (detail::SetBridgeInvoker(&bridge), true);
  (void)installed;
  // The object as built, before any getter filled a cache (kept for the
  // process: the destructor is the singleton's own).
  static const CQelClientCore* built = new CQelClientCore(Core());
  Core() = *built;
  bridge.handedOut = 0;
  bridge.released = 0;

  static const int kResults[] = {0, 0, 19999, 1};
  bridge.result = kResults[data[0] & 3];
  bridge.hasText = (data[0] & 4) == 0;
  // The bridge hands out C strings: the reply ends at the first NUL.
  bridge.text = std::string(reinterpret_cast<const char*>(data) + 1, size - 1).c_str();

  Json::Value root;
  Expect expect{false, false, 0};
  if (bridge.result == 0 && bridge.hasText && qel::ParseGbkJson(bridge.text, &root)) {
    expect.ok = true;
    expect.array = root.isArray();
    expect.items = root.isArray() ? root.size() : 0;
  }
  RunGetters(bridge, expect);

  // A failed refresh never takes away what the caches hold (an empty list
  // is asked again).
  Snapshot before = Take();
  bridge.result = 19999;
  bridge.hasText = false;
  Snapshot after = Take();
  Check(!before.hasCompany || (after.hasCompany && Same(before.company, after.company)), "company kept",
        "GetCompanyInfo");
  Check(!before.hasInfo || (after.hasInfo && Same(before.info, after.info)), "about kept", "GetQelInfo");
  Check(before.modules.empty() || (after.hasModules && SameList(before.modules, after.modules)),
        "modules kept", "GetPrimaryModeles");
  Check(!before.hasCerts || !after.hasCerts || SameList(before.certs, after.certs), "certificates kept",
        "GetAllEntCerts");
  Check(!before.hasCases || !after.hasCases || SameList(before.cases, after.cases), "cases kept",
        "GetEntCases");
  Check(before.companyJs == after.companyJs, "company value kept", "GetCompanyInfoJs");
  Check(before.primaryJs == after.primaryJs, "modules value kept", "GetPrimaryModulesJs");
  CheckReleased(bridge, "snapshots");
  return 0;
}
