// A JSON-RPC reply of the service (or the transport's status reply of the
// same shape): {"result":{"status":"<code>","result":[{"status","result"},...]}}.
//
//   qelInternetResponseBean bean;
//   if (!bean.ParseResponse(replyText)) return 1;
//   if (!bean.IsSuccess()) return StringToInt(bean.GetStatusString());
//   if (!bean.IsItemSuccess(0)) return StringToInt(bean.GetItemStatus(0));
//   std::unique_ptr<qelInternetResponseNode> node(bean.GetResultNode(0));
#pragma once

#include <string>

#include <json/json.h>

#include "internet/qelinternetresponsenode.h"

namespace qel {
namespace dataspace {

class qelInternetResponseBean {
 public:
  qelInternetResponseBean() = default;

  // Reads a GBK reply text. False when it does not parse, its root is not an
  // object or it has no "result" object; the bean then keeps its values.
  // An item list that is not an array counts as no items.
  bool ParseResponse(std::string text);

  // Overall status 100000.
  bool IsSuccess() const;
  // The overall status in decimal; "19999" when it was missing, not a
  // number or 0.
  std::string GetStatusString() const;
  int GetResultCount() const;
  // A copy of item i; null when i is out of range.
  Json::Value GetResult(int i) const;
  // Item i's "status" text; "19999" when the item is missing, is not an
  // object, or its status is missing, empty, not a decimal number or 0, so
  // that a failed item never reads as code 0.
  std::string GetItemStatus(int i) const;
  bool IsItemSuccess(int i) const;
  // A new node over item i's "result" (the caller deletes it); null when i
  // is out of range or the item has no result.
  qelInternetResponseNode* GetResultNode(int i) const;

 private:
  bool Accept(const Json::Value& root);

  Json::Value result;  // the item array (null when there is none)
  int count = 0;
  int status = 0;
};

}  // namespace dataspace
}  // namespace qel
