#include "update/qelupdatehooks.h"

namespace qel {
namespace dataspace {

// Nothing to apply yet: the update program fills this in.
int ApplyFinishedDataUpdate(std::string*) { return 0; }

// Nothing to queue yet: the update program fills this in.
int QueueUpdateCensus(std::string*) { return 0; }

}  // namespace dataspace
}  // namespace qel
