#include "business/qel_invoke_custom.h"

#include "business/custom/customhandlers.h"
#include "business/qelmethodtable.h"

namespace qel {
namespace dataspace {
namespace {

// The handlers, one per line of the table.
using namespace custom;
using Method = MethodDescriptor<qel_Invoke_Custom>;

constexpr char kInvokeFun[] = "qel::dataspace::qel_Invoke_Custom::Invoke";
constexpr char kNoProductId[] = "Can not get PRODUCT_ID from json in";
constexpr char kNoParams[] = "Can not get params from json in";

// Every method of the module, one line each.
const MethodTable<qel_Invoke_Custom>& Table() {
  // clang-format off
  static const MethodTable<qel_Invoke_Custom> table(
      {
          Method(0x01, &GetFavorites).Parsed(),
          Method(0x02, &AddFavorite).Key("PRODUCT", "PRODUCT_ID").OnFail(FailRoute::kDirect, kNoProductId),
          Method(0x03, &RemoveFavorite).Key("PRODUCT", "PRODUCT_ID").OnFail(FailRoute::kDirect, kNoProductId),
          Method(0x04, &IsFavorite).Key("PRODUCT", "PRODUCT_ID").OnFail(FailRoute::kDirect, kNoProductId),
          Method(0x11, &SearchProducts).Key("FILTER", "FILTER").OnFail(FailRoute::kDirect, "Can not get filter from json in"),
          // Mark a product as seen: the handler reads the whole request once the id is there.
          Method(0x22, &SetStatusNormal).Key("PRODUCT", "PRODUCT_ID").OnFail(FailRoute::kDirect, "Can not get PRODUCTID fros from in "),
          Method(0x23, &SetStatusNormal).Parsed(),
          Method(0x31, &UserLogin).Parsed(),
          Method(0x32, &UserReg).Parsed(),
          Method(0x34, &GetUserInfo),
          Method(0x35, &SendSecurityCodeRequest).Parsed(),
          Method(0x36, &ValidateSecurityCode).Parsed(),
          Method(0x37, &GetProdConsCount).Parsed(),
          Method(0x38, &GetProdInqsCount).Parsed(),
          Method(0x39, &ProdConsult).Parsed(),
          Method(0x3a, &ProdInQuiry).Parsed(),
          Method(0x3b, &GetConsultList).Key("PRODUCT", "PRODUCT_ID").OnFail(FailRoute::kBridge, kNoParams, kResultFailed, kInvokeFun),
          Method(0x3c, &GetInquiryList).Key("PRODUCT", "PRODUCT_ID").OnFail(FailRoute::kDirect, kNoParams),
          Method(0x3d, &DeleteConsult).Parsed(),
          Method(0x3e, &DeleteInquiry).Parsed(),
          Method(0x41, &SubAreas).Parsed(),
          Method(0x42, &ParentArea).Key("SYS_AREA", "AREAID").OnFail(FailRoute::kDirect, kNoParams),
          Method(0x43, &Area).Key("SYS_AREA", "AREAID").OnFail(FailRoute::kDirect, kNoParams),
          Method(0x50, &SendFeedbackService).Parsed(),
          Method(0x51, &SendInsideBehaviorTrack),
          Method(0x52, &AddInsideBehaviorTrack<kPrintRecord>).Parsed(),
          Method(0x53, &AddInsideBehaviorTrack<kVisitRecord>).Parsed(),
          Method(0x54, &UserISExist).Parsed(),
          Method(0x70, &RunDataUpdate),
          Method(0x71, &IsNeedDataUpdate),
          Method(0x72, &IsNeedUpdateSoftWare),
          Method(0x73, &GetAppUpdateFiles),
          Method(0x74, &ModifyPassword).Parsed(),
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
