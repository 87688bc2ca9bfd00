#include "appupdate.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <system_error>
#include <utility>
#include <vector>

#include <glog/logging.h>

#include "common/qelcommon2.h"
#include "qel/json.h"
#include "qel/text.h"
#include "qelhttpjsonrequest.h"

namespace qelclientcore {
namespace detail {

const char kIncompleteUpdateMarker[] = "qelupdate.incomplete";

namespace {

namespace fs = std::filesystem;

// Never destroyed, so that a download still running while statics go away
// finds it intact.
struct Release {
  // Downloads hold it shared; a new list takes it alone, so that no file of
  // an earlier list lands in the folder after it was emptied.
  std::shared_mutex downloads;
  std::mutex mutex;               // guards the members below
  std::string marker;             // native path; "" while no release is tracked
  std::set<std::string> pending;  // native targets not yet downloaded whole
};

Release& State() {
  static Release* release = new Release;
  return *release;
}

bool WriteMarker(const std::string& path) {
  static const char kText[] =
      "An application update is being downloaded into this folder; pc installs it once it is complete.\n";
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t size = sizeof kText - 1;
  ssize_t written = ::write(fd, kText, size);
  bool closed = ::close(fd) == 0;
  return closed && written == static_cast<ssize_t>(size);
}

// Marks the folder first, so that a launcher started meanwhile never sees
// the folder half emptied without the marker, then removes the rest.
bool PrepareFolder(const std::string& folder, const std::string& marker) {
  std::error_code ec;
  fs::file_status status = fs::symlink_status(folder, ec);
  if (status.type() == fs::file_type::not_found) {
    fs::create_directories(folder, ec);
    status = fs::symlink_status(folder, ec);
  }
  if (!fs::is_directory(status)) {
    LOG(ERROR) << "application update folder " << folder
               << " is not a folder (a link is not written through)";
    return false;
  }
  if (!WriteMarker(marker)) {
    LOG(ERROR) << "cannot mark the application update folder: " << marker << ": " << std::strerror(errno);
    return false;
  }
  std::vector<fs::path> stale;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    stale.push_back(it->path());
  if (ec) {
    LOG(ERROR) << "cannot list the application update folder " << folder << ": " << ec.message();
    return false;
  }
  bool ok = true;
  for (const fs::path& path : stale) {
    if (path.string() == marker) continue;
    // remove_all removes a link itself, never what it points to.
    fs::remove_all(path, ec);
    std::error_code gone;
    if (ec && fs::exists(fs::symlink_status(path, gone))) {
      LOG(ERROR) << "cannot remove " << path.string()
                 << " of an earlier application update: " << ec.message();
      ok = false;
    }
  }
  return ok;
}

void Unmark(const std::string& marker) {
  if (::unlink(marker.c_str()) != 0 && errno != ENOENT)
    LOG(ERROR) << "cannot remove the application update marker " << marker << ": " << std::strerror(errno);
}

}  // namespace

bool BeginAppRelease(std::vector<AppUpdateFiles>* files) {
  Release& release = State();
  std::unique_lock<std::shared_mutex> alone(release.downloads);
  std::string folder = qel::NativePath(GetMoudleDirA() + "/AppUpdate");
  std::string marker = folder + "/" + kIncompleteUpdateMarker;
  {
    std::lock_guard<std::mutex> lock(release.mutex);
    release.marker.clear();
    release.pending.clear();
  }
  if (!PrepareFolder(folder, marker)) return false;

  std::set<std::string> pending;
  std::vector<AppUpdateFiles> kept;
  kept.reserve(files->size());
  for (AppUpdateFiles& file : *files) {
    std::string target = qel::NativePath(file.localPath);
    if (target == marker) {
      LOG(WARNING) << "faulty application update list: an entry names the folder's marker " << target;
      continue;
    }
    if (!pending.insert(target).second) {
      // "a.txt" and "\a.txt" name one file; the later download would win.
      LOG(WARNING) << "faulty application update list: " << target << " is named again by \"" << file.json
                   << "\"; the first entry is kept";
      continue;
    }
    kept.push_back(std::move(file));
  }
  *files = std::move(kept);

  std::lock_guard<std::mutex> lock(release.mutex);
  if (pending.empty()) {
    Unmark(marker);  // nothing to fetch: complete as it is
    return true;
  }
  release.marker = marker;
  release.pending = std::move(pending);
  return true;
}

void DownloadReleaseFile(const std::string& url, const std::string& path) {
  Release& release = State();
  std::shared_lock<std::shared_mutex> download(release.downloads);
  std::string reply = CCommon2::instance().DownloadFile(url, std::string(), path, nullptr);
  const std::string status = qel::StatusOfReply(reply);
  const bool whole = status == std::to_string(qel::internet::INVOKE_SUCCESS);

  std::lock_guard<std::mutex> lock(release.mutex);
  auto entry = release.pending.find(qel::NativePath(path));
  if (entry == release.pending.end()) return;
  if (!whole) {
    LOG(WARNING) << "application update file " << *entry << " not downloaded (status " << status
                 << "); the update stays incomplete";
    return;
  }
  release.pending.erase(entry);
  if (!release.pending.empty()) return;
  Unmark(release.marker);
  release.marker.clear();
}

}  // namespace detail
}  // namespace qelclientcore
