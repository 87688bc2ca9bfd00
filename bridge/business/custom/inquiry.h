// Inquiries: stored in PROD_INQUIRY, the attachment copied into the upload
// folder and uploaded, then sent to the service (request type 6,
// "InquiryService.json" "saveProdInquiry").
#pragma once

#include <string>

namespace qel {
namespace dataspace {
namespace custom {

// Request: {"PARAM":{"PROD_INQUIRY":{"CONTENT","ADDTIME","NUM","CONTACT",
// "TEL1","TEL2","TEL3","MOBILENUM","EMAIL","AREAR","ADDRESS","IMG",
// "PRODUCT_ID","DUEDATE","INQUIRY_ID"}}}; IMG is the full path of the
// attachment or "".
//
// The id scheme of consultations, for the current user uid (required). A
// new row's attachment is copied into the upload folder and the row keeps
// "/uploadfile/<name>". Sending uploads the stored row's attachment first
// (never a path from the request of a resubmission), then sends the
// inquiry with the address the upload reply gave. 0 success; 1 local
// failure (nobody logged in, no PROD_INQUIRY, an attachment that cannot be
// copied, an upload reply without the address); otherwise the service's
// or the transport's status with its error object as the reply. A failed
// upload or send leaves the row stored with its negative id.
int ProdInQuiry(const std::string& uid, const std::string& json, std::string* reply);

// Copies the file at path (GBK) into the upload folder as
// "<current ms><extension>" unless its parent folder is that folder. 0 and
// *out = the path of the file in the upload folder, or 1.
int getUploadFilePath(const std::string& path, std::string* out);

// The address to PUT an attachment to: the start-up upload URL + the
// company's inquiry code + "&fileName=" + the name percent-encoded as UTF-8.
std::string InquiryUploadAddress(const std::string& fileName);

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
