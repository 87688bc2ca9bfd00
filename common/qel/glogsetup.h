// The one glog set-up of the libraries. There is one glog per process:
// whichever library sets it up first owns the single shutdown, and a later
// set-up changes nothing.
//
// Compiled against glog's headers only: a library that calls these links
// glog itself.
#pragma once

#include <cstdint>
#include <string>

namespace qel {

// Log files are kept at most this long, and those of the log folder take
// at most this much beside the files of the running process.
constexpr unsigned kLogKeepDays = 7;
constexpr std::uintmax_t kLogKeepBytes = 256u << 20;

// Sets glog up unless it already is (by anyone): the program name, log
// files "./qellog/INFO_", "./qellog/WARNING_" and "./qellog/ERROR_" followed
// by `extension`, a copy to standard error from severity `stderrLevel`
// (clamped to 0..3) in colour, no buffering delay, files rotated at 100 MB,
// and no logging once the disk is full. Before the first line, the log
// folder's files older than kLogKeepDays go, then the oldest until the rest
// take at most kLogKeepBytes; while the process runs glog's own clean-up
// removes its files older than kLogKeepDays. Each of these settings given in
// the environment at the time of this call (GLOG_stderrthreshold,
// GLOG_logtostderr, GLOG_alsologtostderr, GLOG_minloglevel,
// GLOG_colorlogtostderr, GLOG_logbufsecs, GLOG_max_log_size,
// GLOG_stop_logging_if_full_disk; GLOG_log_dir moves the files to that
// folder under glog's own names) wins over the default here.
// True when this call set glog up: the caller then owns the shutdown.
bool StartGlog(const std::string& programName, const char* extension, int stderrLevel);

// Shuts glog down when it is set up.
void StopGlog();

}  // namespace qel
