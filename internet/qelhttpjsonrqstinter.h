// Internal object behind qelHttpJsonRequest. It holds no data; it builds the
// status replies through which the transport reports its own failures.
#pragma once

#include <string>

namespace qel {
namespace internet {

class qelHttpJsonRqstInter {
 public:
  qelHttpJsonRqstInter() = default;
  virtual ~qelHttpJsonRqstInter() = default;

  // {"jsonrpc":"2.0","result":{"result":"","status":"<code>"}}, the code
  // always a JSON string.
  static std::string MakeStatusReply(int code);
};

}  // namespace internet
}  // namespace qel
