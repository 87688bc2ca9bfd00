// Consultations and inquiries stored on this installation: counts per
// product, lists per product (newest first) and deletion of one row.
//
// Product and user ids always reach SQL quoted. The counts take an empty
// product id as the general consultations (PRODUCT_ID null or empty); the
// lists compare the product as a number, so an id that is not one lists
// nothing. Results: 0 success, 1 failure.
#pragma once

#include <string>

namespace qel {
namespace dataspace {
namespace custom {

// [{"COUNT":"n"}]: the consultations of PARAM.PRODUCT.PRODUCT_ID plus the
// general ones. A count that cannot be read counts 0.
int GetProdConsCount(const std::string& uid, const std::string& json, std::string* reply);
// [{"COUNT":"n"}]: the inquiries of the user about PARAM.PRODUCT.PRODUCT_ID.
// 1 without a user or a product id.
int GetProdInqsCount(const std::string& uid, const std::string& json, std::string* reply);

// The product's consultations and the general ones, any user's; "[]" for a
// product id that is not a decimal number.
int GetConsultList(const std::string& uid, const std::string& productId, std::string* reply);
// The user's inquiries about the product, each with AREACOUNTRY (its area),
// AREACITY (that area's parent) and AREAPROVINCE (the parent's parent), {}
// where there is none; a parent lookup that finds nothing leaves AREACITY
// null and no AREAPROVINCE. 1 without a user; "[]" for a product id that is not
// a decimal number.
int GetInquiryList(const std::string& uid, const std::string& productId, std::string* reply);

// Deletes the consultation with that id and product, whoever stored it
// (the list shows every user's). Deleting nothing still succeeds.
int DeleteConsult(const std::string& uid, const std::string& productId, const std::string& consultId);
// Deletes the user's inquiry with that id and product; 1 without a user.
int DeleteInquiry(const std::string& uid, const std::string& productId, const std::string& inquiryId);

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
