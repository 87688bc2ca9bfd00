// The methods of module 5 whose handlers read the whole request text: the
// counts, deletion and submission of consultations and inquiries, and the
// account operations at the service. Each reads what the module reads for
// its code (ids, the current user) and calls its handler; the result is
// the handler's.
#pragma once

#include <string>

namespace qel {
namespace dataspace {
namespace custom {

int ConsultCount(const std::string& json, std::string* reply);          // 0x537
int InquiryCount(const std::string& json, std::string* reply);          // 0x538
int DeleteConsultation(const std::string& json, std::string* reply);    // 0x53d
int DeleteInquiryRequest(const std::string& json, std::string* reply);  // 0x53e
int SignUp(const std::string& json, std::string* reply);                // 0x532
int SendSecurityCode(const std::string& json, std::string* reply);      // 0x535
int CheckSecurityCode(const std::string& json, std::string* reply);     // 0x536
int SubmitConsultation(const std::string& json, std::string* reply);    // 0x539
int SubmitInquiry(const std::string& json, std::string* reply);         // 0x53a
int UserExists(const std::string& json, std::string* reply);            // 0x554
int ChangePassword(const std::string& json, std::string* reply);        // 0x574

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
