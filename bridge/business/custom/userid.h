// The service's user id of an account, read one way for login and sign-up.
#pragma once

#include <string>

namespace qel {
namespace dataspace {

class qelInternetResponseNode;

namespace custom {

// Member USERID (any case) of a reply item's result, trimmed. False when
// there is no node or nothing is left, or it holds NUL or another control
// character, or it is not whole GBK text (SQLite keeps it as UTF-8): such an
// id would name no account once stored.
bool ReadServiceUserId(const qelInternetResponseNode* node, std::string* uid);

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
