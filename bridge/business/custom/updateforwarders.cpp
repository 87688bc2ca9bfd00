// The update forwarders (0x570 to 0x573): the data update and the
// application update have no module of their own.
#include "business/custom/customhandlers.h"
#include "update/qelupdateprogram.h"
#include "update/qelupdatesoftware.h"

namespace qel {
namespace dataspace {
namespace custom {

namespace {
std::string RequestText(const Request& request) { return request.text != nullptr ? *request.text : ""; }
}  // namespace

int RunDataUpdate(Module&, const Request& request, std::string* reply) {
  return qelUpdateProgram::GetInstance()->UpdateProgram(RequestText(request), reply);
}

int IsNeedDataUpdate(Module&, const Request& request, std::string* reply) {
  return qelUpdateProgram::GetInstance()->CheckDataUpdate(RequestText(request), reply);
}

int IsNeedUpdateSoftWare(Module&, const Request& request, std::string* reply) {
  return qelUpdateSoftWare::GetInstance()->IsNeedUpdateSoftWare(RequestText(request), reply);
}

int GetAppUpdateFiles(Module&, const Request& request, std::string* reply) {
  return qelUpdateSoftWare::GetInstance()->GetAppUpdateFiles(RequestText(request), reply);
}

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
