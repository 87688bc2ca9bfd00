// Requests through Invoke, each beside a baseline that builds the same reply
// by hand, timed in pairs; the benchmarks print the ratio of each pair.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "benchsupport.h"

struct sqlite3;

namespace qelbench {

// A request and the baseline that answers it.
struct RatioPair {
  std::string name;
  int code;
  std::string request;
  std::function<std::string()> baseline;
};

// The reply text of Invoke ("" when there is none), released as a host does.
std::string InvokeText(int code, const std::string& request);

// Starts the bridge on the installation at root and opens the baselines' own
// connection to it: qel_data.db with qel_exdata.db attached as EXDB. Null,
// with a message on stderr, when the connection cannot be opened.
sqlite3* StartInstallation(const std::string& root);

// Checks that both sides of every pair give the same reply, byte for byte,
// then times them as "Invoke/<name>" and "Baseline/<name>" and prints the
// ratio of their mean times. 0 when every ratio is at most 3, 2 when one is
// above, 1 when a reply differs (then nothing is timed).
int RunRatioPairs(const std::vector<RatioPair>& pairs);

}  // namespace qelbench
