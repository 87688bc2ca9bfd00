// Module 5 of the request dispatcher: account, favourites, search,
// consultations, inquiries, feedback, usage records, areas and the update
// forwarders.
//
// Invoke routes every method of the module's table (qel_invoke_custom.cpp)
// and answers 1 with the reply untouched for any other number. The handlers
// are in business/custom/customhandlers.h, one file per subject; every one
// that talks to the service goes through CallService
// (internet/qelservicecall.h).
#pragma once

#include <string>
#include <vector>

#include "datainterfaceinvoke.h"

namespace qel {
namespace dataspace {

class qel_Invoke_Custom : public Data_interface_invoke {
 public:
  int Invoke(int method, std::string json, std::string* reply) override;

  // column LIKE '%word%' terms joined by " OR ", each word trimmed, empty
  // words skipped, quoted as SQL text with its LIKE wildcards taken
  // literally (an ESCAPE '!' clause on the terms that hold one; "" without
  // a word). The product search builds its conditions with it.
  static std::string BuildLikeList(const std::vector<std::string>& words, const std::string& column);
};

}  // namespace dataspace
}  // namespace qel
