// Areas (0x541 to 0x543): the area look-ups of qelbusinesshelper.h, written
// as the reply.
#include "business/custom/customhandlers.h"
#include "business/qelbusinesshelper.h"

namespace qel {
namespace dataspace {
namespace custom {

int SubAreas(Module&, const Request& request, std::string* reply) {
  // A missing id asks for the top level.
  RequestParams params;
  ReadRequestParams(request.root, "SYS_AREA", "AREAID", &params, nullptr);
  return GetSubAreas(params.value, reply);
}

int ParentArea(Module&, const Request& request, std::string* reply) {
  return GetParentArea(request.params.value, reply);
}

int Area(Module&, const Request& request, std::string* reply) { return GetArea(request.params.value, reply); }

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
