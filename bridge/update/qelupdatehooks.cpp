#include "update/qelupdatehooks.h"

#include "update/qelupdateprogram.h"

namespace qel {
namespace dataspace {

int ApplyFinishedDataUpdate(std::string* message) {
  int result = qelUpdateProgram::GetInstance()->UpdateOperate();
  if (result != 0 && message != nullptr) *message = std::to_string(result);
  return result;
}

int QueueUpdateCensus(std::string* message) {
  int result = qelUpdateProgram::GetInstance()->UpdateCensus();
  if (result != 0 && message != nullptr) *message = std::to_string(result);
  return result;
}

}  // namespace dataspace
}  // namespace qel
