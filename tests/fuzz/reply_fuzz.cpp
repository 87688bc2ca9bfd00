// The JSON-RPC reply parser fed as a service reply: the input is the wire
// text (UTF-8), handed on converted to GBK as the transport does, and also
// taken as GBK as it stands. Every accessor of the bean and of its nodes
// runs over every item and one index on either side.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "business/qelbusinesshelper.h"
#include "internet/qelinternetresponsebean.h"
#include "internet/qelinternetresponsenode.h"
#include "qel/json.h"
#include "qel/text.h"

namespace {

using qel::dataspace::qelInternetResponseBean;
using qel::dataspace::qelInternetResponseNode;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
  }
}

void CheckNode(const qelInternetResponseNode& node) {
  const Json::Value& value = node.GetValue();
  switch (node.kind) {
    case qelInternetResponseNode::kKindString:
      Check(value.isString() || value.type() == Json::intValue, "string node kind");
      Check(node.GetStrValue() == qel::ValueAsText(value), "string node text");
      break;
    case qelInternetResponseNode::kKindArray:
      Check(value.isArray() && node.arraySize == static_cast<int>(value.size()), "array node");
      break;
    case qelInternetResponseNode::kKindObject:
      Check(value.isObject(), "object node kind");
      for (const std::string& name : value.getMemberNames()) {
        std::string field = node.GetFieldVal(name);
        // The look-up ignores the letter case of the name.
        Check(field == node.GetFieldVal(qel::dataspace::UpperGbkName(name)), "field look-up by upper name");
        const Json::Value& member = value[name];
        bool scalar = !member.isNull() && !member.isArray() && !member.isObject();
        if (!scalar) Check(node.GetChildren().count(qel::dataspace::UpperGbkName(name)) == 1, "child kept");
      }
      break;
    default:
      Check(node.kind == qelInternetResponseNode::kKindNull, "node kind");
      Check(node.GetStrValue().empty(), "no text for other kinds");
      break;
  }
  if (node.kind != qelInternetResponseNode::kKindArray)
    Check(node.arraySize == 0, "array size of other kinds");
}

void Walk(const std::string& text) {
  qelInternetResponseBean bean;
  bool parsed = bean.ParseResponse(text);
  std::string status = bean.GetStatusString();
  Check(qel::IsDecimalId(status) || (status[0] == '-' && qel::IsDecimalId(status.substr(1))),
        "status is decimal");
  Check(status != "0", "status never reads 0");
  Check(bean.IsSuccess() == (status == "100000"), "success is status 100000");
  int count = bean.GetResultCount();
  Check(count >= 0 && (parsed || count == 0), "item count");
  for (int i = -1; i <= count; ++i) {
    bool inRange = i >= 0 && i < count;
    Json::Value item = bean.GetResult(i);
    if (!inRange) Check(item.isNull(), "no item out of range");
    std::string itemStatus = bean.GetItemStatus(i);
    // A failed item never reads as success or as code 0.
    Check(qel::IsDecimalId(itemStatus) && qel::StringToInt(itemStatus) != 0, "item status is a code");
    Check(bean.IsItemSuccess(i) == (itemStatus == "100000"), "item success");
    std::unique_ptr<qelInternetResponseNode> node(bean.GetResultNode(i));
    if (!inRange) Check(node == nullptr, "no node out of range");
    if (node) CheckNode(*node);
  }

  qelInternetResponseBean checked;
  int result = qel::dataspace::qelBusinessHelper::CheckResponseData(text, &checked, nullptr);
  Check(result != 0 || (checked.IsSuccess() && checked.GetResultCount() > 0),
        "0 only for success with items");
  Check(parsed || result == 1, "1 for a reply that does not parse");
  qel::dataspace::qelBusinessHelper::CheckResponseData(text, nullptr, nullptr);
}

// A reply the service would send with a text from the input: its GBK form
// reaches the caller byte for byte, trail bytes 0x5C included.
void CheckValueSurvives(const std::string& input) {
  std::string gbk = qel::Utf8ToGbk(input);
  std::string wireValue = qel::GbkToUtf8(gbk);
  if (qel::Utf8ToGbk(wireValue) != gbk) return;  // not a text the service could send
  Json::Value item(Json::objectValue);
  item["status"] = "100000";
  item["result"]["userName"] = wireValue;
  Json::Value reply(Json::objectValue);
  reply["result"]["status"] = "100000";
  reply["result"]["result"].append(item);
  qelInternetResponseBean bean;
  Check(bean.ParseResponse(qel::Utf8ToGbk(qel::WriteCompactUtf8(reply))), "service reply parses");
  std::unique_ptr<qelInternetResponseNode> node(bean.GetResultNode(0));
  Check(node != nullptr && node->GetFieldVal("USERNAME") == gbk, "GBK value survives");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  Walk(qel::Utf8ToGbk(input));
  Walk(input);
  CheckValueSurvives(input);
  return 0;
}
