#include "business/custom/updateforwarders.h"

#include "update/qelupdateprogram.h"
#include "update/qelupdatesoftware.h"

namespace qel {
namespace dataspace {

namespace {
std::string RequestText(const MethodRequest& request) { return request.text != nullptr ? *request.text : ""; }
}  // namespace

int RunDataUpdate(qel_Invoke_Custom&, const MethodRequest& request, std::string* reply) {
  return qelUpdateProgram::GetInstance()->UpdateProgram(RequestText(request), reply);
}

int IsNeedDataUpdate(qel_Invoke_Custom&, const MethodRequest& request, std::string* reply) {
  return qelUpdateProgram::GetInstance()->CheckDataUpdate(RequestText(request), reply);
}

int IsNeedUpdateSoftWare(qel_Invoke_Custom&, const MethodRequest& request, std::string* reply) {
  return qelUpdateSoftWare::GetInstance()->IsNeedUpdateSoftWare(RequestText(request), reply);
}

int GetAppUpdateFiles(qel_Invoke_Custom&, const MethodRequest& request, std::string* reply) {
  return qelUpdateSoftWare::GetInstance()->GetAppUpdateFiles(RequestText(request), reply);
}

}  // namespace dataspace
}  // namespace qel
