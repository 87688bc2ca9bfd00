// The two points where start-up hands over to the data update: applying a
// download that finished, and queueing the census of updated products.
#pragma once

#include <string>

namespace qel {
namespace dataspace {

// Applies a data update whose download finished (moves the staged files and
// the staged second database into place). Runs before the main database is
// opened. 0 on success; otherwise non-zero with a text in *message.
int ApplyFinishedDataUpdate(std::string* message);

// Queues the census of products changed by the last applied update. Runs
// after the bridge singleton was built. 0 on success; otherwise non-zero
// with a text in *message.
int QueueUpdateCensus(std::string* message);

}  // namespace dataspace
}  // namespace qel
