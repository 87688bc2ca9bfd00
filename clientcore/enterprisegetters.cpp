// The company's own certificates (categories, groups, pictures,
// certificates) and cases.
#include <algorithm>
#include <iterator>
#include <map>

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

// A certificate category or group id as the request carries it; false when
// GBK cannot hold it (no request then: a shortened id names another one).
bool IdText(const std::wstring& id, std::string* text) { return WideToGbkExact(id, text); }

}  // namespace

void CQelClientCore::GetEntCertCategorys(std::vector<EntCertCategory>& out) {
  GuardedFill(out, [&] {
    out.clear();
    std::vector<EntCertCategory> categories;
    if (!AppendRecords(Call(qel::request::kCertCategories, ""), &categories)) return;
    for (const EntCertCategory& category : categories) {
      out.push_back(category);
      {
        auto caches = LockCaches();
        entCertCategoryMap_[category.categoryId] = category;
      }
      // Loads the category's groups into the group map as well (a request
      // of its own, made without the lock).
      std::vector<EntCertsGroup> groups;
      GetEntCertsGroupByCategory(category.categoryIdText, groups);
      auto caches = LockCaches();
      InitCatGroups(category.categoryIdText, groups);
    }
  });
}

EntCertCategory* CQelClientCore::GetEntCertCategoryById(int categoryId) {
  return CachedEntry(entCertCategoryMap_, categoryId);
}

namespace {

// Appends the groups of an accepted reply to `out` and stores a copy of each
// in the group map.
void AppendGroups(const Reply& reply, std::vector<EntCertsGroup>& out,
                  std::map<std::wstring, EntCertsGroup>* groupMap) {
  const size_t first = out.size();
  if (!AppendRecords(reply, &out)) return;
  auto caches = LockCaches();
  for (size_t i = first; i < out.size(); ++i) (*groupMap)[out[i].groupId] = out[i];
}

}  // namespace

void CQelClientCore::GetEntCertsGroupByCategory(const std::wstring& categoryId,
                                                std::vector<EntCertsGroup>& out) {
  GuardedFill(out, [&] {
    std::string id;
    if (!IdText(categoryId, &id)) return;
    AppendGroups(Call(qel::request::kCertGroupsOfCategory, IdRequest(kCertCategoryId, id)), out,
                 &entCertGroups_);
  });
}

void CQelClientCore::GetAllEntCertGroup(std::vector<EntCertsGroup>& out) {
  GuardedFill(out, [&] { AppendGroups(Call(qel::request::kAllCertGroups, ""), out, &entCertGroups_); });
}

int CQelClientCore::GetAllEntCertGroupCount() {
  return Guarded(0, [] { return ReadCount(Call(qel::request::kCertGroupCount, "")); });
}

const EntCertsGroup* CQelClientCore::GetEntCertGroupById(const std::wstring& groupId) {
  return CachedEntry(entCertGroups_, groupId);
}

void CQelClientCore::GetEntCertByGroup(const std::wstring& groupId, std::vector<EntCertPic>& out) {
  GuardedFill(out, [&] {
    std::string id;
    if (!IdText(groupId, &id)) return;
    std::vector<EntCertPic> pictures;
    if (!AppendRecords(Call(qel::request::kCertGroupPictures, IdRequest(kCertGroupId, id)), &pictures))
      return;
    {
      // The picture cache holds the latest group's pictures.
      auto caches = LockCaches();
      entCertPics_.clear();
      for (const EntCertPic& pic : pictures) entCertPics_[pic.resIdText] = pic;
    }
    out.insert(out.end(), std::make_move_iterator(pictures.begin()), std::make_move_iterator(pictures.end()));
  });
}

const EntCertPic* CQelClientCore::GetEntCertPicById(const std::wstring& resId) {
  return CachedEntry(entCertPics_, resId);
}

bool CQelClientCore::UpdateEntCertGroupStatus(const std::wstring& groupId) {
  return Guarded(false, [&] {
    std::string id;
    if (!IdText(groupId, &id)) return false;
    // The result code alone decides; the reply text is not read.
    if (Call(qel::request::kMarkSeen, IdRequest(kCertGroupId, id)).result != 0) return false;
    auto caches = LockCaches();
    auto found = entCertGroups_.find(groupId);
    if (found != entCertGroups_.end()) found->second.status = L"1";
    return true;
  });
}

void CQelClientCore::GetEntCertCatsOfGroup(const std::wstring& groupId, std::vector<std::wstring>& out) {
  GuardedFill(out, [&] {
    auto caches = LockCaches();
    for (const auto& [categoryId, groups] : categoryGroups_) {
      if (groups.count(groupId) != 0) out.push_back(categoryId);
    }
  });
}

// The caller holds LockCaches().
void CQelClientCore::InitCatGroups(const std::wstring& categoryId, const std::vector<EntCertsGroup>& groups) {
  for (const EntCertsGroup& group : groups) categoryGroups_[categoryId][group.groupId] = 0;
}

void CQelClientCore::GetEntCertsByCategory(int categoryId, std::vector<EntCert>& out, int limit, int offset) {
  GetEntCertsByCategory(IntText(categoryId), out, limit, offset);
}

void CQelClientCore::GetEntCertsByCategory(std::string categoryText, std::vector<EntCert>& out, int limit,
                                           int offset) {
  GuardedFill(out, [&] {
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
    {
      auto caches = LockCaches();
      if (!entCerts_.empty()) return &entCerts_;
    }
    std::vector<EntCert> certs;
    if (!AppendRecords(Call(qel::request::kCompanyCerts, ""), &certs)) return nullptr;
    auto caches = LockCaches();
    if (!entCerts_.empty()) return &entCerts_;
    entCerts_ = std::move(certs);
    for (const EntCert& cert : entCerts_) entCertMap_[cert.certId] = cert;
    return &entCerts_;
  });
}

EntCert* CQelClientCore::GetEntCertByID(unsigned id) {
  return CachedEntry(entCertMap_, static_cast<int>(id));
}

bool CQelClientCore::UpdateEntCertStatus(int) { return false; }

bool CQelClientCore::UpdateEntCertsStatusByCategory(int categoryId) {
  return Guarded(false, [this, categoryId] {
    auto caches = LockCaches();
    for (auto& [id, category] : entCertCategoryMap_) {
      if (category.categoryId == categoryId && category.newCertCount > 0) --category.newCertCount;
    }
    return true;
  });
}

const std::vector<EntCase>* CQelClientCore::GetEntCases() {
  return Guarded<const std::vector<EntCase>*>(nullptr, [this]() -> const std::vector<EntCase>* {
    {
      auto caches = LockCaches();
      if (!entCases_.empty()) return &entCases_;
    }
    std::vector<EntCase> cases;
    if (!AppendRecords(Call(qel::request::kCases, ""), &cases)) return nullptr;
    auto caches = LockCaches();
    if (!entCases_.empty()) return &entCases_;
    entCases_ = std::move(cases);
    for (const EntCase& entCase : entCases_) entCaseMap_[entCase.caseId] = entCase;
    return &entCases_;
  });
}

EntCase* CQelClientCore::GetEntCaseById(int caseId) { return CachedEntry(entCaseMap_, caseId); }

bool CQelClientCore::UpdateEntCaseStatus(int caseId) {
  return Guarded(false, [&] {
    return MarkCachedSeen("PRODUCT_CASE", entCaseMap_, caseId, entCases_,
                          [caseId](const EntCase& c) { return c.caseId == caseId; });
  });
}

void CQelClientCore::GetEntCaseRes(int caseId, int type, std::vector<EntCaseRes>& out) {
  GetEntCaseRes(IntText(caseId), IntText(type), out);
}

void CQelClientCore::GetEntCaseRes(std::string caseText, std::string typeText, std::vector<EntCaseRes>& out) {
  GuardedFill(out, [&] {
    if (caseText.empty() || typeText.empty()) return;
    out.clear();
    RequestBuilder request;
    AddCaseResources(request, caseText, typeText);
    AppendRecords(Call(qel::request::kCaseResources, request), &out);
  });
}

}  // namespace qelclientcore
