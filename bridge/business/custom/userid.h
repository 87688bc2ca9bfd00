// The service's user id of an account, read one way for login and sign-up,
// and the one check of the accounts a request names.
#pragma once

#include <initializer_list>
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

// Whether every account is whole text (qel::IsKeyText); the first that is
// not is logged under function. One that is not would be stored, or reach
// the service, as another account (its bad bytes dropped on the way to
// UTF-8).
bool AccountsAreText(std::initializer_list<std::string> accounts, const char* function);

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
