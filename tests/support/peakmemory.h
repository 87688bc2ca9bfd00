// The peak resident size of the test process, for tests that compare the
// memory of two operations of one run (never against a fixed figure).
// Header-only.
#pragma once

#include <malloc.h>

#include <fstream>
#include <string>

namespace qeltest {

// The peak resident size since the last ResetPeakMemory, in bytes; -1 when
// /proc cannot tell.
inline long long PeakMemory() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, 6, "VmHWM:") == 0) return std::stoll(line.substr(6)) * 1024;
  }
  return -1;
}

// Lowers the peak to the present resident size, after handing the free
// memory back: pages an earlier case freed would hide a later one's growth.
inline bool ResetPeakMemory() {
  malloc_trim(0);
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

}  // namespace qeltest
