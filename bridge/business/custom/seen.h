// Mark as seen: the seen-marks that the catalogue's "new" rule reads.
#pragma once

#include <string>

namespace qel {
namespace dataspace {
namespace custom {

// Stores the item's own LASTTIME plus one in its row of the item's _EXTEND
// table (inserted the first time, updated after). The request text is
// {"PARAM":{"<TABLE>":{<id keys>}}}; the first member of PARAM names the
// item kind: CERTGROUP, CERT_CATEGORY, PRODUCT_CASE, BANNER_CATEGORY or
// PRODUCT. 0 on success (the reply is not written), 1 on every failure.
int SetStatusNormal(const std::string& json, std::string* reply);

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
