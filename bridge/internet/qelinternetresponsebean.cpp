#include "internet/qelinternetresponsebean.h"

#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {

namespace {

const char kSuccess[] = "100000";
const char kNoStatus[] = "19999";

}  // namespace

bool qelInternetResponseBean::ParseResponse(std::string text) {
  // The transport hands over GBK; parsing that directly would read a second
  // byte 0x5C as an escape, so the UTF-8 form is parsed and converted back.
  Json::Value root;
  if (!ParseGbkJson(text, &root)) return false;
  return Accept(root);
}

bool qelInternetResponseBean::Accept(const Json::Value& root) {
  const Json::Value& outer = ObjectMember(root, "result");
  if (outer.isNull()) return false;
  // A status that is a number, or a text starting with one, counts; any
  // other kind counts as missing.
  status = StringToInt(TextMember(outer, "status"));
  result = ArrayMember(outer, "result");
  count = static_cast<int>(result.size());
  return true;
}

bool qelInternetResponseBean::IsSuccess() const { return status == 100000; }

std::string qelInternetResponseBean::GetStatusString() const {
  return status == 0 ? kNoStatus : IntToString(status);
}

int qelInternetResponseBean::GetResultCount() const { return count; }

Json::Value qelInternetResponseBean::GetResult(int i) const {
  if (i < 0 || i >= count) return Json::Value();
  return Element(result, static_cast<Json::ArrayIndex>(i));
}

std::string qelInternetResponseBean::GetItemStatus(int i) const {
  if (i < 0 || i >= count) return kNoStatus;
  std::string text = TextMember(Element(result, static_cast<Json::ArrayIndex>(i)), "status");
  // Callers turn the text into their result code: nothing may read as 0.
  if (!IsDecimalId(text) || StringToInt(text) == 0) return kNoStatus;
  return text;
}

bool qelInternetResponseBean::IsItemSuccess(int i) const { return GetItemStatus(i) == kSuccess; }

qelInternetResponseNode* qelInternetResponseBean::GetResultNode(int i) const {
  if (i < 0 || i >= count) {
    QEL_LOG("qel::dataspace::qelInternetResponseBean::GetResultNode", "nIndex Overflow");
    return nullptr;
  }
  return qelInternetResponseNodeFactory::CreateResponseNode(
      Member(Element(result, static_cast<Json::ArrayIndex>(i)), "result"));
}

}  // namespace dataspace
}  // namespace qel
