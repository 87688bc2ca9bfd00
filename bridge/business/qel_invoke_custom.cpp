#include "business/qel_invoke_custom.h"

#include "business/custom/interactionrequests.h"

namespace qel {
namespace dataspace {

// Interim dispatch of the local interaction codes.
int qel_Invoke_Custom::Invoke(int method, std::string json, std::string* reply) {
  switch (method) {
    case 0x22:
      return custom::MarkProductSeen(json, reply);
    case 0x23:
      return custom::MarkItemSeen(json, reply);
    case 0x37:
      return custom::ConsultCount(json, reply);
    case 0x38:
      return custom::InquiryCount(json, reply);
    case 0x3b:
      return custom::ConsultList(json, reply);
    case 0x3c:
      return custom::InquiryList(json, reply);
    case 0x3d:
      return custom::DeleteConsultation(json, reply);
    case 0x3e:
      return custom::DeleteInquiryRequest(json, reply);
    case 0x32:
      return custom::SignUp(json, reply);
    case 0x35:
      return custom::SendSecurityCode(json, reply);
    case 0x36:
      return custom::CheckSecurityCode(json, reply);
    case 0x39:
      return custom::SubmitConsultation(json, reply);
    case 0x3a:
      return custom::SubmitInquiry(json, reply);
    case 0x54:
      return custom::UserExists(json, reply);
    case 0x74:
      return custom::ChangePassword(json, reply);
    default:
      return 1;
  }
}

}  // namespace dataspace
}  // namespace qel
