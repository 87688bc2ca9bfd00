#include "business/qel_invoke_custom.h"

namespace qel {
namespace dataspace {

// No method of this module is handled yet.
int qel_Invoke_Custom::Invoke(int, std::string, std::string*) { return 1; }

}  // namespace dataspace
}  // namespace qel
