#include "business/qel_invoke_custom.h"

#include "business/custom/interactionrequests.h"
#include "business/custom/lists.h"
#include "business/custom/seen.h"
#include "business/qelbusinesshelper.h"
#include "business/qelmethodtable.h"
#include "cqelbridge.h"
#include "logbridge.h"
#include "qel/json.h"
#include "update/qelupdateforwarders.h"

namespace qel {
namespace dataspace {
namespace {

constexpr char kInvokeFun[] = "qel::dataspace::qel_Invoke_Custom::Invoke";

using Self = qel_Invoke_Custom;
using Method = MethodDescriptor<Self>;
using CustomRequest = MethodRequest;

// ---- favourites and search ----
int FavoriteList(Self& self, const CustomRequest& request, std::string* reply) {
  // Only LIMIT and OFFSET count; a text without them still lists.
  RequestParams params;
  if (ReadRequestParams(request.root, "", "", &params, nullptr) != 0) QEL_LOG_DIRECT("Get params error");
  return self.GetFavorites(params, reply);
}
int FavoriteAdd(Self& self, const CustomRequest& request, std::string* reply) {
  return self.AddFavorite(request.params.value, reply);
}
int FavoriteRemove(Self& self, const CustomRequest& request, std::string*) {
  return self.RemoveFavorite(request.params.value);
}
int FavoriteCheck(Self& self, const CustomRequest& request, std::string*) {
  return self.IsFavorite(request.params.value);
}
int Search(Self& self, const CustomRequest& request, std::string* reply) {
  return self.SearchProducts(request.params, reply);
}

// ---- login and user information ----
int Login(Self& self, const CustomRequest& request, std::string* reply) {
  // A missing member, or a text that does not parse, reads as "".
  const Json::Value& info = ObjectMember(ObjectMember(request.root, "PARAM"), "LOGININFO");
  return self.UserLogin(TextMember(info, "USERID"), TextMember(info, "PASSWORD"),
                        TextMember(info, "REMEMBER"), reply);
}
int UserInfo(Self& self, const CustomRequest&, std::string* reply) {
  std::string uid = cqelbridge::GetInstance()->GetCurrentUID();
  if (uid.empty()) {
    QEL_LOG_DIRECT("There is not any user");
    return 1;
  }
  return self.GetUserInfo(uid, reply);
}

// ---- areas ----
int SubAreas(Self&, const CustomRequest& request, std::string* reply) {
  // A missing id asks for the top level.
  RequestParams params;
  ReadRequestParams(request.root, "SYS_AREA", "AREAID", &params, nullptr);
  return GetSubAreas(params.value, reply);
}
int ParentArea(Self&, const CustomRequest& request, std::string* reply) {
  return GetParentArea(request.params.value, reply);
}
int Area(Self&, const CustomRequest& request, std::string* reply) {
  return GetArea(request.params.value, reply);
}

// ---- usage records and feedback ----
int Feedback(Self& self, const CustomRequest& request, std::string* reply) {
  return self.SendFeedbackService(*request.text, reply);
}
int SendQueue(Self& self, const CustomRequest&, std::string* reply) {
  return self.SendInsideBehaviorTrack("", reply);
}
int QueuePrint(Self& self, const CustomRequest& request, std::string* reply) {
  return self.AddInsideBehaviorTrack(10, *request.text, reply);
}
int QueueVisit(Self& self, const CustomRequest& request, std::string* reply) {
  return self.AddInsideBehaviorTrack(11, *request.text, reply);
}

// ---- marks, consultations, inquiries, sign-up and account checks ----
int MarkSeen(Self&, const CustomRequest& request, std::string* reply) {
  return custom::SetStatusNormal(*request.text, reply);
}
int ConsultList(Self&, const CustomRequest& request, std::string* reply) {
  return custom::GetConsultList(cqelbridge::GetInstance()->GetCurrentUID(), request.params.value, reply);
}
int InquiryList(Self&, const CustomRequest& request, std::string* reply) {
  return custom::GetInquiryList(cqelbridge::GetInstance()->GetCurrentUID(), request.params.value, reply);
}
// The handlers that read the whole request text themselves.
template <int (*Run)(const std::string&, std::string*)>
int WholeText(Self&, const CustomRequest& request, std::string* reply) {
  return Run(*request.text, reply);
}

constexpr char kNoProductId[] = "Can not get PRODUCT_ID from json in";
constexpr char kNoParams[] = "Can not get params from json in";

// Every method of the module.
const MethodTable<Self>& Table() {
  // One line per method, so that a handler landing later replaces its line.
  // clang-format off
  static const MethodTable<Self> table(
      {
          Method(0x01, &FavoriteList).Parsed(),
          Method(0x02, &FavoriteAdd).Key("PRODUCT", "PRODUCT_ID").OnFail(FailRoute::kDirect, kNoProductId),
          Method(0x03, &FavoriteRemove).Key("PRODUCT", "PRODUCT_ID").OnFail(FailRoute::kDirect, kNoProductId),
          Method(0x04, &FavoriteCheck).Key("PRODUCT", "PRODUCT_ID").OnFail(FailRoute::kDirect, kNoProductId),
          Method(0x11, &Search).Key("FILTER", "FILTER").OnFail(FailRoute::kDirect, "Can not get filter from json in"),
          // Mark a product as seen: the handler reads the whole text once the id is there.
          Method(0x22, &MarkSeen).Key("PRODUCT", "PRODUCT_ID").OnFail(FailRoute::kDirect, "Can not get PRODUCTID fros from in "),
          Method(0x23, &MarkSeen),  // mark the named item as seen
          Method(0x31, &Login).Parsed(),
          Method(0x32, &WholeText<custom::SignUp>),  // sign-up
          Method(0x34, &UserInfo),
          Method(0x35, &WholeText<custom::SendSecurityCode>),  // send a security code
          Method(0x36, &WholeText<custom::CheckSecurityCode>),  // check a security code
          Method(0x37, &WholeText<custom::ConsultCount>),  // consultation count
          Method(0x38, &WholeText<custom::InquiryCount>),  // inquiry count
          Method(0x39, &WholeText<custom::SubmitConsultation>),  // store and send a consultation
          Method(0x3a, &WholeText<custom::SubmitInquiry>),  // store and send an inquiry
          Method(0x3b, &ConsultList).Key("PRODUCT", "PRODUCT_ID").OnFail(FailRoute::kBridge, kNoParams, kResultFailed, kInvokeFun),  // consultations of a product
          Method(0x3c, &InquiryList).Key("PRODUCT", "PRODUCT_ID").OnFail(FailRoute::kDirect, kNoParams),  // inquiries of a product
          Method(0x3d, &WholeText<custom::DeleteConsultation>),  // delete a consultation
          Method(0x3e, &WholeText<custom::DeleteInquiryRequest>),  // delete an inquiry
          Method(0x41, &SubAreas).Parsed(),
          Method(0x42, &ParentArea).Key("SYS_AREA", "AREAID").OnFail(FailRoute::kDirect, kNoParams),
          Method(0x43, &Area).Key("SYS_AREA", "AREAID").OnFail(FailRoute::kDirect, kNoParams),
          Method(0x50, &Feedback),
          Method(0x51, &SendQueue),
          Method(0x52, &QueuePrint),
          Method(0x53, &QueueVisit),
          Method(0x54, &WholeText<custom::UserExists>),  // does the user exist
          Method(0x70, &RunDataUpdate),  // run the data update
          Method(0x71, &IsNeedDataUpdate),  // check for a data update
          Method(0x72, &IsNeedUpdateSoftWare),  // check for an application update
          Method(0x73, &GetAppUpdateFiles),  // application update file list
          Method(0x74, &WholeText<custom::ChangePassword>),  // change the password
      },
      kResultFailed);
  // clang-format on
  return table;
}

}  // namespace

int qel_Invoke_Custom::Invoke(int method, std::string json, std::string* reply) {
  return Table().Invoke(*this, method, json, reply);
}

}  // namespace dataspace
}  // namespace qel
