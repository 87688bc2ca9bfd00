// The company's own certificates (categories, groups, pictures,
// certificates) and cases.
#include <algorithm>

#include "bridgecall.h"
#include "clientcoreruntime.h"
#include "common/qelcommon2.h"
#include "getterhelpers.h"
#include "qel/json.h"
#include "qelclientcore.h"
#include "requests.h"

namespace qelclientcore {

using namespace detail;

namespace {

constexpr int kSeen = 1;

}  // namespace

void CQelClientCore::GetEntCertCategorys(std::vector<EntCertCategory>& out) {
  GuardedVoid([&] {
    out.clear();
    std::vector<EntCertCategory> categories;
    if (!AppendRecords(Call(qel::request::kCertCategories, ""), &categories)) return;
    for (const EntCertCategory& category : categories) {
      out.push_back(category);
      entCertCategoryMap_[category.categoryId] = category;
      // Loads the category's groups into the group map as well.
      std::vector<EntCertsGroup> groups;
      GetEntCertsGroupByCategory(category.categoryIdText, groups);
      InitCatGroups(category.categoryIdText, groups);
    }
  });
}

EntCertCategory* CQelClientCore::GetEntCertCategoryById(int categoryId) {
  if (ClientCoreShutDown()) return nullptr;
  auto found = entCertCategoryMap_.find(categoryId);
  return found != entCertCategoryMap_.end() ? &found->second : nullptr;
}

void CQelClientCore::GetEntCertsGroupByCategory(const std::wstring& categoryId,
                                                std::vector<EntCertsGroup>& out) {
  GuardedVoid([&] {
    RequestBuilder request = IdRequest(kCertCategoryId, WideToGbk(categoryId));
    AppendRecords(Call(qel::request::kCertGroupsOfCategory, request), &out,
                  [this](const EntCertsGroup& group) { entCertGroups_[group.groupId] = group; });
  });
}

void CQelClientCore::GetAllEntCertGroup(std::vector<EntCertsGroup>& out) {
  GuardedVoid([&] {
    AppendRecords(Call(qel::request::kAllCertGroups, ""), &out,
                  [this](const EntCertsGroup& group) { entCertGroups_[group.groupId] = group; });
  });
}

int CQelClientCore::GetAllEntCertGroupCount() {
  return Guarded(0, [] { return ReadCount(Call(qel::request::kCertGroupCount, "")); });
}

const EntCertsGroup* CQelClientCore::GetEntCertGroupById(const std::wstring& groupId) {
  if (ClientCoreShutDown()) return nullptr;
  auto found = entCertGroups_.find(groupId);
  return found != entCertGroups_.end() ? &found->second : nullptr;
}

void CQelClientCore::GetEntCertByGroup(const std::wstring& groupId, std::vector<EntCertPic>& out) {
  GuardedVoid([&] {
    RequestBuilder request = IdRequest(kCertGroupId, WideToGbk(groupId));
    Reply reply = Call(qel::request::kCertGroupPictures, request);
    Json::Value root;
    if (!ReplyArray(reply, &root)) return;
    // The picture cache holds the latest group's pictures.
    entCertPics_.clear();
    AppendRecords(reply, &out, [this](const EntCertPic& pic) { entCertPics_[pic.resIdText] = pic; });
  });
}

const EntCertPic* CQelClientCore::GetEntCertPicById(const std::wstring& resId) {
  if (ClientCoreShutDown()) return nullptr;
  auto found = entCertPics_.find(resId);
  return found != entCertPics_.end() ? &found->second : nullptr;
}

bool CQelClientCore::UpdateEntCertGroupStatus(const std::wstring& groupId) {
  return Guarded(false, [&] {
    RequestBuilder request = IdRequest(kCertGroupId, WideToGbk(groupId));
    // The result code alone decides; the reply text is not read.
    if (Call(qel::request::kMarkSeen, request).result != 0) return false;
    auto found = entCertGroups_.find(groupId);
    if (found != entCertGroups_.end()) found->second.status = L"1";
    return true;
  });
}

void CQelClientCore::GetEntCertCatsOfGroup(const std::wstring& groupId, std::vector<std::wstring>& out) {
  GuardedVoid([&] {
    for (const auto& [categoryId, groups] : categoryGroups_) {
      if (groups.count(groupId) != 0) out.push_back(categoryId);
    }
  });
}

void CQelClientCore::InitCatGroups(const std::wstring& categoryId, const std::vector<EntCertsGroup>& groups) {
  for (const EntCertsGroup& group : groups) categoryGroups_[categoryId][group.groupId] = 0;
}

void CQelClientCore::GetEntCertsByCategory(int categoryId, std::vector<EntCert>& out, int limit, int offset) {
  GetEntCertsByCategory(IntText(categoryId), out, limit, offset);
}

void CQelClientCore::GetEntCertsByCategory(std::string categoryText, std::vector<EntCert>& out, int limit,
                                           int offset) {
  GuardedVoid([&] {
    if (categoryText.empty()) return;
    out.clear();
    // The certificate module answers the certificates below one id; it
    // does not page, so the page is cut here.
    Json::Value request(Json::objectValue);
    request["ID"] = categoryText;
    std::vector<EntCert> certs;
    if (!AppendRecords(Call(qel::request::kCompanyCertsOfCategory, qel::WriteStyled(request)), &certs))
      return;
    size_t first = offset > 0 ? static_cast<size_t>(offset) : 0;
    if (first >= certs.size()) return;
    size_t count = certs.size() - first;
    if (limit >= 0) count = std::min(count, static_cast<size_t>(limit));
    out.assign(std::make_move_iterator(certs.begin() + first),
               std::make_move_iterator(certs.begin() + first + count));
  });
}

int CQelClientCore::GetAllEntCertCount() {
  return Guarded(0, [] {
    std::vector<EntCert> certs;
    if (!AppendRecords(Call(qel::request::kCompanyCerts, ""), &certs)) return 0;
    return static_cast<int>(certs.size());
  });
}

const std::vector<EntCert>* CQelClientCore::GetAllEntCerts() {
  return Guarded<const std::vector<EntCert>*>(nullptr, [this]() -> const std::vector<EntCert>* {
    if (!entCerts_.empty()) return &entCerts_;
    std::vector<EntCert> certs;
    if (!AppendRecords(Call(qel::request::kCompanyCerts, ""), &certs)) return nullptr;
    entCerts_ = std::move(certs);
    for (const EntCert& cert : entCerts_) entCertMap_[cert.certId] = cert;
    return &entCerts_;
  });
}

EntCert* CQelClientCore::GetEntCertByID(unsigned id) {
  if (ClientCoreShutDown()) return nullptr;
  auto found = entCertMap_.find(static_cast<int>(id));
  return found != entCertMap_.end() ? &found->second : nullptr;
}

bool CQelClientCore::UpdateEntCertStatus(int) { return false; }

bool CQelClientCore::UpdateEntCertsStatusByCategory(int categoryId) {
  return Guarded(false, [this, categoryId] {
    for (auto& [id, category] : entCertCategoryMap_) {
      if (category.categoryId == categoryId && category.newCertCount > 0) --category.newCertCount;
    }
    return true;
  });
}

const std::vector<EntCase>* CQelClientCore::GetEntCases() {
  return Guarded<const std::vector<EntCase>*>(nullptr, [this]() -> const std::vector<EntCase>* {
    if (!entCases_.empty()) return &entCases_;
    std::vector<EntCase> cases;
    if (!AppendRecords(Call(qel::request::kCases, ""), &cases)) return nullptr;
    entCases_ = std::move(cases);
    for (const EntCase& entCase : entCases_) entCaseMap_[entCase.caseId] = entCase;
    return &entCases_;
  });
}

EntCase* CQelClientCore::GetEntCaseById(int caseId) {
  if (ClientCoreShutDown()) return nullptr;
  auto found = entCaseMap_.find(caseId);
  return found != entCaseMap_.end() ? &found->second : nullptr;
}

bool CQelClientCore::UpdateEntCaseStatus(int caseId) {
  return Guarded(false, [&] {
    EntCase* entCase = GetEntCaseById(caseId);
    if (entCase == nullptr || !SendSeen("PRODUCT_CASE", entCase->json)) return false;
    if (EntCase* cached = GetEntCaseById(caseId)) cached->status = kSeen;
    for (EntCase& listed : entCases_) {
      if (listed.caseId == caseId) listed.status = kSeen;
    }
    return true;
  });
}

void CQelClientCore::GetEntCaseRes(int caseId, int type, std::vector<EntCaseRes>& out) {
  GetEntCaseRes(IntText(caseId), IntText(type), out);
}

void CQelClientCore::GetEntCaseRes(std::string caseText, std::string typeText, std::vector<EntCaseRes>& out) {
  GuardedVoid([&] {
    if (caseText.empty() || typeText.empty()) return;
    out.clear();
    RequestBuilder request;
    AddCaseResources(request, caseText, typeText);
    AppendRecords(Call(qel::request::kCaseResources, request), &out);
  });
}

}  // namespace qelclientcore
