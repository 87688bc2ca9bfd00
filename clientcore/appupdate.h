// The release of an application update that a host downloads into the
// module folder's "AppUpdate": which entries of the last list have not yet
// arrived whole, and the marker that keeps the launcher off the folder until
// all of them have.
#pragma once

#include <string>
#include <vector>

#include "records/qelrecords.h"

namespace qelclientcore {
namespace detail {

// Lies in the update folder while a release is incomplete. The launcher
// (launcher/pclauncher.cpp) knows the same name and leaves such a folder
// alone.
extern const char kIncompleteUpdateMarker[];  // "qelupdate.incomplete"

// Starts a release afresh with the entries of a new list: marks the update
// folder, removes everything else in it (files of earlier attempts) and
// keeps one entry per target (the first; a later one naming the same file is
// dropped and logged, as is one naming the marker). Waits for downloads in
// flight. False, with nothing handed out, when the folder cannot be marked
// or emptied.
bool BeginAppRelease(std::vector<AppUpdateFiles>* files);

// Downloads url to path with the common library. A file of the current
// release counts once it arrived whole; with the last one the marker goes.
// A failed download leaves the release incomplete.
void DownloadReleaseFile(const std::string& url, const std::string& path);

}  // namespace detail
}  // namespace qelclientcore
