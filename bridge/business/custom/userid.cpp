#include "business/custom/userid.h"

#include "internet/qelinternetresponsenode.h"
#include "logbridge.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {
namespace custom {

bool ReadServiceUserId(const qelInternetResponseNode* node, std::string* uid) {
  if (node == nullptr) return false;
  const std::string id = Trim(node->GetFieldVal("USERID"));
  if (id.empty()) return false;
  // No GBK character holds a byte below 0x40, so every such byte, and 0x7F,
  // is a control character of its own.
  for (char c : id) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  if (!IsValidGbk(id)) return false;
  *uid = id;
  return true;
}

bool AccountsAreText(std::initializer_list<std::string> accounts, const char* function) {
  for (const std::string& account : accounts) {
    if (!IsKeyText(account)) {
      QEL_LOG(function, "UserName is no valid text");
      return false;
    }
  }
  return true;
}

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
