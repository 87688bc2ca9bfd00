// One item's result value of a JSON-RPC reply, with the scalar members of an
// object result looked up by upper-cased name.
#pragma once

#include <map>
#include <string>

#include <json/json.h>

namespace qel {
namespace dataspace {

class qelInternetResponseNode {
 public:
  // Kinds of the wrapped value.
  enum { kKindNull = 0, kKindString = 4, kKindArray = 6, kKindObject = 7 };

  explicit qelInternetResponseNode(const Json::Value& value);

  // The text of the scalar member whose upper-cased name equals the
  // upper-cased name; "" when there is none.
  std::string GetFieldVal(std::string name) const;
  // The text of a string or signed-integer value; "" for other kinds.
  std::string GetStrValue() const;

  // 0 null, unsigned, real or boolean; 4 string or signed integer; 6 array;
  // 7 object.
  int kind = kKindNull;
  // Array element count; 0 for other kinds.
  int arraySize = 0;

  const Json::Value& GetValue() const { return value; }
  // Members of an object whose value is null, an array or an object.
  const std::map<std::string, Json::Value>& GetChildren() const { return children; }

 private:
  void InitVal();
  void GetJsonUpperNameValues();

  Json::Value value;
  std::map<std::string, std::string> fields;
  std::map<std::string, Json::Value> children;
  std::string strValue;
};

class qelInternetResponseNodeFactory {
 public:
  // A new node the caller deletes; null for a null value.
  static qelInternetResponseNode* CreateResponseNode(const Json::Value& v);
};

// Upper-cases the ASCII letters of a GBK text, leaving both bytes of every
// double-byte character alone (a trail byte may look like a letter).
std::string UpperGbkName(const std::string& name);

}  // namespace dataspace
}  // namespace qel
