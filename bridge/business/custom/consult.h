// Consultations: stored in PROD_CONSULT and sent to the service (request
// type 7, "ConsultService.json" "saveProdConsult").
#pragma once

#include <string>

namespace qel {
namespace dataspace {
namespace custom {

// Request: {"PARAM":{"PROD_CONSULT":{"ADDTIME","CONTENT","TEL1","TEL2",
// "TEL3","MOBILENUM","EMAIL","PRODUCT_ID","CONSULT_ID"}}}.
//
// A CONSULT_ID below 1 is a consultation to send: stored first under a new
// negative id when no row has that id, then sent, and renumbered to a
// positive id once the service accepted it. A CONSULT_ID from 1 up is never
// sent: a stored one is left alone, an unknown one is stored under it.
// uid is the current user ("" for nobody; the row and the request carry it).
// 0 success (the reply stays empty); 1 local failure; otherwise the service's
// or the transport's status, with its error object as the reply. A failed
// send leaves the row stored with its negative id.
int ProdConsult(const std::string& uid, const std::string& json, std::string* reply);

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
