#include "business/qel_invoke_custom.h"

#include "business/custom/customhandlers.h"
#include "business/qelmethodtable.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {
namespace {

// The handlers, one per line of the table.
using namespace custom;
using Method = MethodDescriptor<qel_Invoke_Custom>;

constexpr char kInvokeFun[] = "qel::dataspace::qel_Invoke_Custom::Invoke";
constexpr char kNoProductId[] = "Can not get PRODUCT_ID from json in";
constexpr char kNoParams[] = "Can not get params from json in";

// The key a method names is one value for all its statements: one that is
// not whole text is bad input, like a missing one.
bool KeyIsText(const MethodRequest& request) { return IsKeyText(request.params.value); }

// Every method of the module, one line each.
const MethodTable<qel_Invoke_Custom>& Table() {
  // clang-format off
  static const MethodTable<qel_Invoke_Custom>& table = *new MethodTable<qel_Invoke_Custom>(
      {
          Method(request::kFavorites, &GetFavorites).Parsed(),
          Method(request::kAddFavorite, &AddFavorite).Key("PRODUCT", "PRODUCT_ID").Accept(&KeyIsText).OnFail(FailRoute::kDirect, kNoProductId),
          Method(request::kRemoveFavorite, &RemoveFavorite).Key("PRODUCT", "PRODUCT_ID").Accept(&KeyIsText).OnFail(FailRoute::kDirect, kNoProductId),
          Method(request::kIsFavorite, &IsFavorite).Key("PRODUCT", "PRODUCT_ID").Accept(&KeyIsText).OnFail(FailRoute::kDirect, kNoProductId),
          Method(request::kSearchProducts, &SearchProducts).Key("FILTER", "FILTER").OnFail(FailRoute::kDirect, "Can not get filter from json in"),
          // Mark a product as seen: the handler reads the whole request once the id is there.
          Method(request::kMarkProductSeen, &SetStatusNormal).Key("PRODUCT", "PRODUCT_ID").Accept(&KeyIsText).OnFail(FailRoute::kDirect, "Can not get PRODUCTID fros from in "),
          Method(request::kMarkSeen, &SetStatusNormal).Parsed(),
          Method(request::kLogin, &UserLogin).Parsed(),
          Method(request::kSignUp, &UserReg).Parsed(),
          Method(request::kUserInfo, &GetUserInfo),
          Method(request::kSendSecurityCode, &SendSecurityCodeRequest).Parsed(),
          Method(request::kCheckSecurityCode, &ValidateSecurityCode).Parsed(),
          Method(request::kConsultationCount, &GetProdConsCount).Parsed(),
          Method(request::kInquiryCount, &GetProdInqsCount).Parsed(),
          Method(request::kConsult, &ProdConsult).Parsed(),
          Method(request::kInquire, &ProdInQuiry).Parsed(),
          Method(request::kConsultations, &GetConsultList).Key("PRODUCT", "PRODUCT_ID").Accept(&KeyIsText).OnFail(FailRoute::kBridge, kNoParams, kResultFailed, kInvokeFun),
          Method(request::kInquiries, &GetInquiryList).Key("PRODUCT", "PRODUCT_ID").Accept(&KeyIsText).OnFail(FailRoute::kDirect, kNoParams),
          Method(request::kDeleteConsultation, &DeleteConsult).Parsed(),
          Method(request::kDeleteInquiry, &DeleteInquiry).Parsed(),
          Method(request::kSubAreas, &SubAreas).Parsed(),
          Method(request::kParentArea, &ParentArea).Key("SYS_AREA", "AREAID").OnFail(FailRoute::kDirect, kNoParams),
          Method(request::kArea, &Area).Key("SYS_AREA", "AREAID").OnFail(FailRoute::kDirect, kNoParams),
          Method(request::kFeedback, &SendFeedbackService).Parsed(),
          Method(request::kSendUsageRecords, &SendInsideBehaviorTrack),
          Method(request::kAddPrintRecord, &AddInsideBehaviorTrack<kPrintRecord>).Parsed(),
          Method(request::kAddVisitRecord, &AddInsideBehaviorTrack<kVisitRecord>).Parsed(),
          Method(request::kUserExists, &UserISExist).Parsed(),
          Method(request::kRunDataUpdate, &RunDataUpdate),
          Method(request::kCheckDataUpdate, &IsNeedDataUpdate),
          Method(request::kCheckAppUpdate, &IsNeedUpdateSoftWare),
          Method(request::kAppUpdateFiles, &GetAppUpdateFiles),
          Method(request::kChangePassword, &ModifyPassword).Parsed(),
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
