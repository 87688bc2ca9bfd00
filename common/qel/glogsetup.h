// The one glog set-up of the libraries. There is one glog per process:
// whichever library sets it up first owns the single shutdown, and a later
// set-up changes nothing.
//
// Compiled against glog's headers only: a library that calls these links
// glog itself.
#pragma once

#include <string>

namespace qel {

// Sets glog up unless it already is (by anyone): the program name, log
// files "./qellog/INFO_", "./qellog/WARNING_" and "./qellog/ERROR_" followed
// by `extension`, a copy to standard error from severity `stderrLevel`
// (clamped to 0..3) in colour, no buffering delay, 100 MB files, and no
// logging once the disk is full. Each of these settings given in the
// environment (GLOG_stderrthreshold, GLOG_colorlogtostderr, GLOG_logbufsecs,
// GLOG_max_log_size, GLOG_stop_logging_if_full_disk; GLOG_log_dir moves the
// files to that folder under glog's own names) wins over the default here.
// True when this call set glog up: the caller then owns the shutdown.
bool StartGlog(const std::string& programName, const char* extension, int stderrLevel);

// Shuts glog down when it is set up.
void StopGlog();

}  // namespace qel
