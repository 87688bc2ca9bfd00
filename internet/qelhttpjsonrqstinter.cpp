#include "qelhttpjsonrqstinter.h"

#include "qel/json.h"

namespace qel {
namespace internet {

std::string qelHttpJsonRqstInter::MakeStatusReply(int code) { return qel::StatusReplyText(code); }

}  // namespace internet
}  // namespace qel
