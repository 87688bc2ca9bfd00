// The handlers of module 5, one per method of its table
// (qel_invoke_custom.cpp), all of the method table's one shape: each reads
// the request the table parsed (request.root, request.params) and writes
// its reply text once. One file per subject, named in each group below.
//
// Results: 0 success; 1 bad input or a local failure; a handler that talks
// to the service returns the service's or the transport's status otherwise,
// with the error object of that code as the reply (internet/qelservicecall.h).
// A key taken from the request (a product, favourite, consultation or
// inquiry id, an account) that is not whole text (qel::IsKeyText) is bad
// input: 1, with nothing stored, changed or deleted. A statement that fails
// is the handler's failure, never an answer.
#pragma once

#include <string>

#include "business/qel_invoke_custom.h"
#include "business/qelmethodtable.h"
#include "internet/qelinternetutil.h"

namespace qel {
namespace dataspace {
namespace custom {

using Module = qel_Invoke_Custom;
using Request = MethodRequest;

// ---- favourites and search (favorites.cpp) ----
// The favourite products as a product list ("[]" when there is none; 1
// when a query fails); only LIMIT and OFFSET of the request count, and a
// text without them still lists.
int GetFavorites(Module& module, const Request& request, std::string* reply);
// Stores the favourite params.value and queues its request for the service
// (type 8); 0 also when it was one already (nothing queued then).
int AddFavorite(Module& module, const Request& request, std::string* reply);
int RemoveFavorite(Module& module, const Request& request, std::string* reply);
// 0 when params.value is a favourite; 1 when not or the count fails.
int IsFavorite(Module& module, const Request& request, std::string* reply);
// Products whose name or brand name holds one of the blank-separated words
// of params.value; "[]" when the text holds no word, 1 when a query fails.
int SearchProducts(Module& module, const Request& request, std::string* reply);

// ---- mark as seen (seen.cpp) ----
// Stores the item's own LASTTIME plus one in its row of the item's _EXTEND
// table (inserted the first time, updated after). The request is
// {"PARAM":{"<TABLE>":{<id keys>}}}; the first member of PARAM names the
// item kind: CERTGROUP, CERT_CATEGORY, PRODUCT_CASE, BANNER_CATEGORY or
// PRODUCT. The reply is not written.
int SetStatusNormal(Module& module, const Request& request, std::string* reply);

// ---- login and user information (login.cpp) ----
// PARAM.LOGININFO: USERID, PASSWORD, REMEMBER (a missing member reads as "").
int UserLogin(Module& module, const Request& request, std::string* reply);
// The USERINFO row of the current user.
int GetUserInfo(Module& module, const Request& request, std::string* reply);

// ---- sign-up, security codes, user check, password (signup.cpp) ----
// PARAM.REGINFO: request type 2; on success the account is kept in USERINFO
// (only when the reply carries a usable user id). The current user does not
// change.
int UserReg(Module& module, const Request& request, std::string* reply);
// PARAM.SENDINFO: type 3 for ACCOUNTTYPE "1" (text message), type 4 for
// "2" (mail); any other type is 1 without a request.
int SendSecurityCodeRequest(Module& module, const Request& request, std::string* reply);
// PARAM.VALIDATEINFO: type 9.
int ValidateSecurityCode(Module& module, const Request& request, std::string* reply);
// PARAM.USERINFO: type 13. The reply is [{"EXIST":"1"}] when the service
// answers 100015 (the name is taken), [{"EXIST":"0"}] on success.
int UserISExist(Module& module, const Request& request, std::string* reply);
// PARAM.CHECKINFO: type 17 finds the account id of USERNAME, type 18 sets
// its password to NEWPWD. The reply is not written.
int ModifyPassword(Module& module, const Request& request, std::string* reply);

// ---- consultations and inquiries stored here (lists.cpp) ----
// Product and user ids always reach SQL quoted. The counts take an empty
// product id as the general consultations (PRODUCT_ID null or empty); the
// lists compare the product as a number, so an id that is not one lists
// nothing.
//
// Both counts are 1 (no count) when the count cannot be read, and a product
// id that is not whole text (qel::IsKeyText) is bad input (1).
//
// [{"COUNT":"n"}]: the consultations of PARAM.PRODUCT.PRODUCT_ID plus the
// general ones.
int GetProdConsCount(Module& module, const Request& request, std::string* reply);
// [{"COUNT":"n"}]: the current user's inquiries about PARAM.PRODUCT.PRODUCT_ID.
// 1 without a user or a product id.
int GetProdInqsCount(Module& module, const Request& request, std::string* reply);
// The consultations of product params.value and the general ones, any
// user's; "[]" for a product id that is not a decimal number.
int GetConsultList(Module& module, const Request& request, std::string* reply);
// The current user's inquiries about product params.value, each with
// AREACOUNTRY (its area), AREACITY (that area's parent) and AREAPROVINCE
// (the parent's parent), {} where there is none; a parent lookup that finds
// nothing leaves AREACITY null and no AREAPROVINCE. 1 without a user; "[]"
// for a product id that is not a decimal number.
int GetInquiryList(Module& module, const Request& request, std::string* reply);
// The product id is PARAM.PRODUCT.PRODUCT_ID, or PRODUCT_ID of the row
// object when that one is empty or missing; the row id is required.
// Deletes the consultation with that id and product, whoever stored it (the
// list shows every user's). Deleting nothing still succeeds.
int DeleteConsult(Module& module, const Request& request, std::string* reply);
// Deletes the current user's inquiry with that id and product; 1 without a
// user.
int DeleteInquiry(Module& module, const Request& request, std::string* reply);

// ---- submissions (consult.cpp, inquiry.cpp) ----
// PARAM.PROD_CONSULT: a CONSULT_ID below 1 is a consultation to send: stored
// first under a new negative id when no row has that id, then sent (type 7),
// and renumbered to a positive id once the service accepted it. A CONSULT_ID
// from 1 up is never sent: a stored one is left alone, an unknown one is
// stored under it. The row and the request carry the current user ("" for
// nobody). A failed send leaves the row stored with its negative id.
// Nothing sends a stored row on its own: it goes when it is submitted again
// with that id. A failure reply names under CONSULT_ID the id the row is
// kept under, or "0" when it could not be stored; it names none when it
// failed before it could tell (the row of a resubmission stays as it was).
int ProdConsult(Module& module, const Request& request, std::string* reply);
// PARAM.PROD_INQUIRY: the id scheme of consultations, for the current user
// (required). A new row's attachment (IMG, a full path) is copied into the
// upload folder and the row keeps "/uploadfile/<name>". Sending uploads the
// stored row's attachment first (never a path from the request of a
// resubmission), then sends the inquiry (type 6) with the address the
// upload reply gave. A failure reply names the kept row under INQUIRY_ID as
// for consultations.
int ProdInQuiry(Module& module, const Request& request, std::string* reply);

// ---- areas (areas.cpp) ----
// PARAM.SYS_AREA.AREAID: the child areas (the top level without an id), the
// parent area, the area itself.
int SubAreas(Module& module, const Request& request, std::string* reply);
int ParentArea(Module& module, const Request& request, std::string* reply);
int Area(Module& module, const Request& request, std::string* reply);

// ---- usage records and feedback (behavior.cpp) ----
constexpr RequestType kPrintRecord = 10;
constexpr RequestType kVisitRecord = 11;
// Queues a print (kPrintRecord) or visit (kVisitRecord) record whose request
// text is the record's param object. 0 queued, 1 otherwise; the reply is not
// written. Made for those two types only.
template <RequestType kType>
int AddInsideBehaviorTrack(Module& module, const Request& request, std::string* reply);
// Sends the queued requests in one envelope, in ID order. 0 when the queue
// is empty or every request was accepted.
int SendInsideBehaviorTrack(Module& module, const Request& request, std::string* reply);
// PARAM.FEEDBACKSERVICE: sends feedback (type 5); queues it when the
// service refuses the whole call, cannot be reached or gives no answer.
int SendFeedbackService(Module& module, const Request& request, std::string* reply);

// ---- update forwarders (updateforwarders.cpp) ----
// Each hands the request text, unread, and the reply to the update
// operation and returns its result unchanged.
int RunDataUpdate(Module& module, const Request& request, std::string* reply);
int IsNeedDataUpdate(Module& module, const Request& request, std::string* reply);
int IsNeedUpdateSoftWare(Module& module, const Request& request, std::string* reply);
int GetAppUpdateFiles(Module& module, const Request& request, std::string* reply);

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
