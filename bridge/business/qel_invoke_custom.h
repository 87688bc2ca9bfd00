// Module 5 of the request dispatcher: account, favourites, search, consultations, inquiries, feedback, usage
// records, update forwarders.
#pragma once

#include <string>

#include "datainterfaceinvoke.h"

namespace qel {
namespace dataspace {

class qel_Invoke_Custom : public Data_interface_invoke {
 public:
  int Invoke(int method, std::string json, std::string* reply) override;
};

}  // namespace dataspace
}  // namespace qel
