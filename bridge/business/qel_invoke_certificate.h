// Module 2 of the request dispatcher: the supplier company's own
// certificates (COMPANYCERT).
#pragma once

#include <string>

#include "datainterfaceinvoke.h"

namespace qel {
namespace dataspace {

class qel_Invoke_Certificate : public Data_interface_invoke {
 public:
  // 0 all valid certificates, 1 the valid children of {"ID":"<id>"};
  // both return 0 whatever the outcome. Any other method returns -1.
  int Invoke(int method, std::string json, std::string* reply) override;

  // The styled array of the valid certificates ("[]" when none); "" when
  // there is no datasource or the query fails.
  std::string GetCompanyCerts();
  // The same for the valid certificates whose FATHER_ID is id.
  std::string GetChildCompanyCerts(int id);
};

}  // namespace dataspace
}  // namespace qel
