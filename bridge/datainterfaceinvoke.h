// The module interface of the request dispatcher: one stateless object per
// module, created when the library loads and never freed.
#pragma once

#include <string>

namespace qel {
namespace dataspace {

class Data_interface_invoke {
 public:
  virtual ~Data_interface_invoke() = default;
  // method 0..255; the module writes its reply through reply and returns 0
  // on success or its own non-zero code.
  virtual int Invoke(int method, std::string json, std::string* reply) = 0;
  // Kept for the module table's layout; nothing calls it.
  virtual int Reserved(int, int, void*, void*, void*) { return 0; }
};

// The table entry for an index below 7, null otherwise.
Data_interface_invoke* GetInvokeModule(unsigned index);
// Puts another object in a table slot and returns the old one (tests only;
// not safe while other threads dispatch).
Data_interface_invoke* SwapInvokeModule(unsigned index, Data_interface_invoke* module);

}  // namespace dataspace
}  // namespace qel
