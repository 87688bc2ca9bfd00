#include "internet/qelinternetresponsenode.h"

#include "logbridge.h"
#include "qel/json.h"

namespace qel {
namespace dataspace {

std::string UpperGbkName(const std::string& name) {
  std::string upper = name;
  for (size_t i = 0; i < upper.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(upper[i]);
    if (c >= 0x81 && c <= 0xFE) {
      ++i;  // lead byte: the next byte belongs to the same character
    } else if (c >= 'a' && c <= 'z') {
      upper[i] = static_cast<char>(c - 'a' + 'A');
    }
  }
  return upper;
}

qelInternetResponseNode::qelInternetResponseNode(const Json::Value& v) : value(v) { InitVal(); }

void qelInternetResponseNode::InitVal() {
  switch (value.type()) {
    case Json::intValue:
    case Json::stringValue:
      kind = kKindString;
      strValue = ValueAsText(value);
      break;
    case Json::arrayValue:
      kind = kKindArray;
      arraySize = static_cast<int>(value.size());
      break;
    case Json::objectValue:
      kind = kKindObject;
      GetJsonUpperNameValues();
      break;
    default:  // null, unsigned, real, boolean
      kind = kKindNull;
      break;
  }
}

void qelInternetResponseNode::GetJsonUpperNameValues() {
  fields.clear();
  children.clear();
  // Member order is ascending byte order, and emplace keeps the first entry
  // for a key: of two names that differ only in case, the one sorting first
  // wins.
  for (Json::Value::const_iterator it = value.begin(); it != value.end(); ++it) {
    const std::string key = UpperGbkName(it.name());
    const Json::Value& member = *it;
    if (member.isNull() || member.isArray() || member.isObject()) {
      children.emplace(key, member);
    } else {
      fields.emplace(key, ValueAsText(member));
    }
  }
}

std::string qelInternetResponseNode::GetFieldVal(std::string name) const {
  auto it = fields.find(UpperGbkName(name));
  return it == fields.end() ? std::string() : it->second;
}

std::string qelInternetResponseNode::GetStrValue() const {
  return kind == kKindString ? strValue : std::string();
}

qelInternetResponseNode* qelInternetResponseNodeFactory::CreateResponseNode(const Json::Value& v) {
  if (v.isNull()) {
    QEL_LOG("qel::dataspace::qelInternetResponseNodeFactory::CreateResponseNode",
            "CreateResponseNode error,Value isNUll");
    return nullptr;
  }
  return new qelInternetResponseNode(v);
}

}  // namespace dataspace
}  // namespace qel
