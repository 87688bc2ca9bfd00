#include "business/qel_invoke_custom.h"

#include "update/qelupdateprogram.h"
#include "update/qelupdatesoftware.h"

namespace qel {
namespace dataspace {

int qel_Invoke_Custom::Invoke(int method, std::string json, std::string* reply) {
  switch (method) {
    case 112:
      return qelUpdateProgram::GetInstance()->UpdateProgram(json, reply);
    case 113:
      return qelUpdateProgram::GetInstance()->CheckDataUpdate(json, reply);
    case 114:
      return qelUpdateSoftWare::GetInstance()->IsNeedUpdateSoftWare(json, reply);
    case 115:
      return qelUpdateSoftWare::GetInstance()->GetAppUpdateFiles(json, reply);
    default:
      return 1;
  }
}

}  // namespace dataspace
}  // namespace qel
