#include "qelhttpjsonrqstinter.h"

#include <json/json.h>

#include "qel/json.h"

namespace qel {
namespace internet {

std::string qelHttpJsonRqstInter::MakeStatusReply(int code) {
  Json::Value status(Json::objectValue);
  status["status"] = std::to_string(code);
  status["result"] = "";
  Json::Value reply(Json::objectValue);
  reply["jsonrpc"] = "2.0";
  reply["result"] = status;
  return qel::WriteCompact(reply);
}

}  // namespace internet
}  // namespace qel
