// Login, sign-up, the current user, consultations, inquiries, feedback,
// areas, the date and the usage records.
#include <cstdint>
#include <ctime>
#include <initializer_list>
#include <limits>
#include <utility>

#include "bridgecall.h"
#include "clientcoreruntime.h"
#include "common/qelcommon2.h"
#include "getterhelpers.h"
#include "qel/json.h"
#include "qel/text.h"
#include "qelclientcore.h"
#include "requests.h"

namespace qelclientcore {

using namespace detail;

namespace {

constexpr int kWrongPassword = 100020;
constexpr int kUnknownAccount = 100013;

// The text of a failure whose code the installation's error table has no
// text for (or whose table cannot be read), by the code's kind: the
// transport's codes are the network's, except those of a local file; the
// bridge's own results (bad input, a failed handler or write, no such
// method) are local; any other code is the service's answer.
std::wstring BuiltInErrorText(int code) {
  const bool transport = code >= 500000 && code < 501000;
  const bool localFile = code >= 500005 && code <= 500008;
  if ((transport && localFile) || (!transport && code <= 1)) return L"本地数据无法读取或保存，请稍后重试";
  if (transport) return L"网络连接失败，请检查网络后重试";
  return L"服务未能完成请求，请稍后重试";
}

// The failure reply's ERRORDESC into `error`; the built-in text of the
// code's kind when the reply has none.
void CopyError(const Reply& reply, std::wstring& error) {
  std::wstring desc;
  if (ReadError(reply, &desc) && !desc.empty()) {
    error = desc;
  } else {
    error = BuiltInErrorText(reply.result);
  }
}

// A custom-module method the bridge does not have: it answers result 1 with
// the installation's error reply for it and does nothing else.
constexpr auto kNoSuchMethod = static_cast<qel::request::Code>(0x5FF);

// A call refused here, before anything was stored or sent (a text that GBK
// cannot hold): `error` gets the installation's text for a refused request
// (code 1), as a request the bridge refuses would give it.
void CopyRefusal(std::wstring& error) { CopyError(Call(kNoSuchMethod, ""), error); }

// Sets each member to the GBK form of its wide field; false when GBK cannot
// hold one of them (the call then sends nothing).
bool SetGbkMembers(Json::Value* object,
                   std::initializer_list<std::pair<const char*, const std::wstring*>> fields) {
  for (const auto& [key, wide] : fields) {
    std::string gbk;
    if (!WideToGbkExact(*wide, &gbk)) return false;
    (*object)[key] = std::move(gbk);
  }
  return true;
}

// The host's narrow texts are GBK already; bytes that are no GBK would be
// dropped on the way to the service, so such a text is refused too.
bool AllGbk(std::initializer_list<const std::string*> texts) {
  for (const std::string* text : texts) {
    if (!qel::IsValidGbk(*text)) return false;
  }
  return true;
}

// A consultation or inquiry the service did not take: the failure reply
// names under key the id the item is kept under ("0": nothing was kept),
// and *id gets it. A reply that names none leaves *id as it was.
void ReadKeptId(const Reply& reply, const char* key, int* id) {
  if (!reply.hasReply || reply.result == 0) return;
  Json::Value root;
  if (!reply.Parse(&root)) return;
  int64_t kept = 0;
  if (!qel::ReadInt64(FirstElement(root), key, &kept)) return;
  if (kept < std::numeric_limits<int>::min() || kept > 0) return;
  *id = static_cast<int>(kept);
}

}  // namespace

LoginRst CQelClientCore::LogIn(const std::string& user, const std::string& password, bool remember,
                               std::wstring& error) {
  return Guarded(LOGIN_FAIL_OTHER, [&] {
    if (!AllGbk({&user, &password})) {
      CopyRefusal(error);
      return LOGIN_FAIL_OTHER;
    }
    Json::Value info(Json::objectValue);
    info["USERID"] = user;
    info["PASSWORD"] = password;
    info["REMEMBER"] = remember ? "1" : "0";
    Reply reply = Call(qel::request::kLogin, Submission("LOGININFO", info));
    if (!reply.hasReply) return LOGIN_FAIL_OTHER;
    if (reply.result == 0) return LOGIN_OK;
    CopyError(reply, error);
    if (reply.result == kUnknownAccount) return LOGIN_FAIL_100013;
    if (reply.result == kWrongPassword) return LOGIN_FAIL_100020;
    return LOGIN_FAIL_OTHER;
  });
}

RegSendCodeRst CQelClientCore::SendRegCode(const std::string& account, int accountType, std::wstring& error) {
  return Guarded(REGSENDCODE_NOREPLY, [&] {
    if (!AllGbk({&account})) {
      CopyRefusal(error);
      return REGSENDCODE_FAIL;
    }
    Json::Value info(Json::objectValue);
    info["ACCOUNT"] = account;
    info["ACCOUNTTYPE"] = IntText(accountType);
    Reply reply = Call(qel::request::kSendSecurityCode, Submission("SENDINFO", info));
    if (!reply.hasReply) return REGSENDCODE_NOREPLY;
    if (reply.result == 0) return REGSENDCODE_OK;
    CopyError(reply, error);
    return REGSENDCODE_FAIL;
  });
}

RegCheckCodeRst CQelClientCore::CheckRegCode(const std::string& code, const std::string& account,
                                             int accountType, std::wstring& error) {
  return Guarded(REGCHECKCODE_NOREPLY, [&] {
    if (!AllGbk({&code, &account})) {
      CopyRefusal(error);
      return REGCHECKCODE_FAIL;
    }
    Json::Value info(Json::objectValue);
    info["SECURITYCODE"] = code;
    info["ACCOUNT"] = account;
    info["ACCOUNTTYPE"] = IntText(accountType);
    Reply reply = Call(qel::request::kCheckSecurityCode, Submission("VALIDATEINFO", info));
    if (!reply.hasReply) return REGCHECKCODE_NOREPLY;
    if (reply.result == 0) return REGCHECKCODE_OK;
    CopyError(reply, error);
    return REGCHECKCODE_FAIL;
  });
}

RegRst CQelClientCore::DoUserReg(UserRegInfo& info, std::wstring& error) {
  return Guarded(REG_NOREPLY, [&] {
    Json::Value reg(Json::objectValue);
    if (!SetGbkMembers(&reg, {{"ACCOUNT", &info.userId},
                              {"PASSWORD", &info.password},
                              {"EMAIL", &info.email},
                              {"MOBILE", &info.mobile},
                              {"NAME", &info.name},
                              {"POSITION", &info.position},
                              {"COMPNAME", &info.compName},
                              {"TEL1", &info.tel1},
                              {"TEL2", &info.tel2},
                              {"TEL3", &info.tel3}})) {
      CopyRefusal(error);
      return REG_FAIL;
    }
    Reply reply = Call(qel::request::kSignUp, Submission("REGINFO", reg));
    if (!reply.hasReply) return REG_NOREPLY;
    if (reply.result == 0) return REG_OK;
    CopyError(reply, error);
    return REG_FAIL;
  });
}

bool CQelClientCore::IsUserExisted(const std::string& name, int type, const std::string& oldName,
                                   std::wstring& error, int& exist) {
  return Guarded(false, [&] {
    if (!AllGbk({&name, &oldName})) {
      CopyRefusal(error);
      return false;
    }
    Json::Value info(Json::objectValue);
    info["NAME"] = name;
    info["TYPE"] = IntText(type);
    info["OLDNAME"] = oldName;
    Reply reply = Call(qel::request::kUserExists, Submission("USERINFO", info));
    if (!reply.hasReply) return false;
    if (reply.result != 0) {
      CopyError(reply, error);
      return false;
    }
    Json::Value root;
    if (reply.Parse(&root)) exist = ReadCountOrStatus(root, "EXIST", exist);
    return true;
  });
}

void CQelClientCore::GetUserInfo(UserRegInfo& info) {
  GuardedVoid([&] { ReadFirstRecord(Call(qel::request::kUserInfo, ""), &info); });
}

bool CQelClientCore::IsUserInTheLogin() {
  UserRegInfo info;
  GetUserInfo(info);
  return !info.uid.empty();
}

bool CQelClientCore::NewConsult(MyConsultation& consult) {
  return Guarded(false, [&] {
    Json::Value object(Json::objectValue);
    object["PRODUCT_ID"] = consult.productId == 0 ? std::string() : U64Text(consult.productId);
    object["CONSULT_ID"] = IntText(consult.consultId);
    if (!SetGbkMembers(&object, {{"ADDTIME", &consult.addTime},
                                 {"CONTENT", &consult.content},
                                 {"TEL1", &consult.tel1},
                                 {"TEL2", &consult.tel2},
                                 {"TEL3", &consult.tel3},
                                 {"MOBILENUM", &consult.mobileNum},
                                 {"EMAIL", &consult.email}}))
      return false;
    Reply reply = Call(qel::request::kConsult, Submission("PROD_CONSULT", object));
    if (reply.Ok()) return true;
    ReadKeptId(reply, kConsultId.key, &consult.consultId);
    return false;
  });
}

bool CQelClientCore::NewInquire(MyInquire& inquire, bool) {
  return Guarded(false, [&] {
    Json::Value object(Json::objectValue);
    object["PRODUCT_ID"] = U64Text(inquire.productId);
    object["INQUIRY_ID"] = IntText(inquire.inquiryId);
    object["NUM"] = IntText(inquire.num);
    object["AREAR"] = IntText(inquire.arear);
    // IMG is the attachment's path: a dropped character would upload
    // another file.
    if (!SetGbkMembers(&object, {{"ADDTIME", &inquire.addTime},
                                 {"CONTENT", &inquire.content},
                                 {"CONTACT", &inquire.contact},
                                 {"ADDRESS", &inquire.address},
                                 {"IMG", &inquire.img},
                                 {"MOBILENUM", &inquire.mobileNum},
                                 {"EMAIL", &inquire.email},
                                 {"DUEDATE", &inquire.dueDate}}))
      return false;
    Reply reply = Call(qel::request::kInquire, Submission("PROD_INQUIRY", object));
    if (reply.Ok()) return true;
    ReadKeptId(reply, kInquiryId.key, &inquire.inquiryId);
    return false;
  });
}

bool CQelClientCore::DelConsultation(uint64_t productId, int consultId) {
  return Guarded(false, [&] {
    RequestBuilder request = ProductRequest(productId == 0 ? std::string() : U64Text(productId));
    AddId(request, kConsultId, IntText(consultId));
    if (!Call(qel::request::kDeleteConsultation, request).Ok()) return false;
    auto caches = LockCaches();
    consultations_.erase(consultId);
    return true;
  });
}

bool CQelClientCore::DelInquire(uint64_t productId, int inquiryId) {
  return Guarded(false, [&] {
    RequestBuilder request = ProductRequest(U64Text(productId));
    AddId(request, kInquiryId, IntText(inquiryId));
    if (!Call(qel::request::kDeleteInquiry, request).Ok()) return false;
    auto caches = LockCaches();
    inquiries_.erase(inquiryId);
    return true;
  });
}

int CQelClientCore::GetConsultationCount(uint64_t productId) {
  return Guarded(0, [&] {
    return ReadCount(Call(qel::request::kConsultationCount, ProductRequest(U64Text(productId))));
  });
}

int CQelClientCore::GetInquireCount(uint64_t productId) {
  return Guarded(
      0, [&] { return ReadCount(Call(qel::request::kInquiryCount, ProductRequest(U64Text(productId)))); });
}

void CQelClientCore::GetConsultation(uint64_t productId, std::vector<MyConsultation>& out, int limit,
                                     int offset) {
  GuardedFill(out, [&] {
    out.clear();
    std::vector<MyConsultation> list;
    if (!AppendRecords(
            Call(qel::request::kConsultations, ProductRequest(U64Text(productId)).Page(limit, offset)),
            &list))
      return;
    auto caches = LockCaches();
    consultations_.clear();
    for (const MyConsultation& consult : list) consultations_[consult.consultId] = consult;
    out = std::move(list);
  });
}

void CQelClientCore::GetInquire(uint64_t productId, std::vector<MyInquire>& out, int limit, int offset) {
  GuardedFill(out, [&] {
    out.clear();
    std::vector<MyInquire> list;
    if (!AppendRecords(Call(qel::request::kInquiries, ProductRequest(U64Text(productId)).Page(limit, offset)),
                       &list))
      return;
    auto caches = LockCaches();
    inquiries_.clear();
    for (const MyInquire& inquire : list) inquiries_[inquire.inquiryId] = inquire;
    out = std::move(list);
  });
}

void CQelClientCore::RefreshInquire(uint64_t productId, int) {
  std::vector<MyInquire> list;
  GetInquire(productId, list, -1, -1);
}

MyConsultation* CQelClientCore::GetConsultationById(int consultId) {
  return CachedEntry(consultations_, consultId);
}

MyInquire* CQelClientCore::GetInquireById(int inquiryId) { return CachedEntry(inquiries_, inquiryId); }

bool CQelClientCore::newFeed(MyFeed& feed, std::wstring& error) {
  return Guarded(false, [&] {
    Json::Value object(Json::objectValue);
    if (!SetGbkMembers(&object, {{"EMAIL", &feed.email}, {"SUGGEST", &feed.suggest}})) {
      CopyRefusal(error);
      return false;
    }
    Reply reply = Call(qel::request::kFeedback, Submission("FEEDBACKSERVICE", object));
    if (!reply.hasReply) return false;
    if (reply.result == 0) return true;
    CopyError(reply, error);
    return false;
  });
}

void CQelClientCore::GetSubGeoTags(std::vector<GeoTag>& out, const int& areaId) {
  GuardedFill(out, [&] {
    out.clear();
    // Area 0 asks for the top level.
    AppendRecords(Call(qel::request::kSubAreas,
                       areaId == 0 ? std::string() : IdRequest(kAreaId, IntText(areaId)).Text()),
                  &out);
  });
}

void CQelClientCore::GetParentGeoTag(const int& areaId, GeoTag& out) {
  GuardedVoid(
      [&] { ReadFirstRecord(Call(qel::request::kParentArea, IdRequest(kAreaId, IntText(areaId))), &out); });
}

void CQelClientCore::GetGeoTagsById(const int& areaId, GeoTag& out) {
  GuardedVoid([&] { ReadFirstRecord(Call(qel::request::kArea, IdRequest(kAreaId, IntText(areaId))), &out); });
}

void CQelClientCore::GetCurrentDate(std::wstring& out) {
  GuardedVoid([&] {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) return;
    out = std::to_wstring(local.tm_year + 1900) + L"-" + std::to_wstring(local.tm_mon + 1) + L"-" +
          std::to_wstring(local.tm_mday);
  });
}

void CQelClientCore::behavior_visitProduct(uint64_t productId) {
  GuardedVoid([&] {
    Json::Value record(Json::objectValue);
    record["prodId"] = U64Text(productId);
    Call(qel::request::kAddVisitRecord, qel::WriteStyled(record));
  });
}

void CQelClientCore::behavior_print(uint64_t productId, int printType) {
  GuardedVoid([&] {
    Json::Value record(Json::objectValue);
    record["prodId"] = U64Text(productId);
    record["printType"] = IntText(printType);
    Call(qel::request::kAddPrintRecord, qel::WriteStyled(record));
  });
}

void CQelClientCore::sendCachedDataSync() {
  GuardedVoid([] { Call(qel::request::kSendUsageRecords, ""); });
}

}  // namespace qelclientcore
