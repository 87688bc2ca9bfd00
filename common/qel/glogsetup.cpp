#include "qel/glogsetup.h"

#include <glog/logging.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

#include "qel/text.h"

namespace qel {
namespace {

namespace fs = std::filesystem;

std::mutex& SetupMutex() {
  static std::mutex mutex;
  return mutex;
}

// glog reads each GLOG_ variable once, when it is loaded; a host that sets
// one later (setenv before it starts the libraries) would keep glog's
// default. So the variables are read again here, the way glog reads them.
// False when the variable is not set.
bool FromEnvironment(const char* variable, bool* flag) {
  const char* value = std::getenv(variable);
  if (value == nullptr) return false;
  *flag = std::memchr("tTyY1\0", value[0], 6) != nullptr;
  return true;
}

bool FromEnvironment(const char* variable, int32_t* flag) {
  const char* value = std::getenv(variable);
  if (value == nullptr) return false;
  *flag = static_cast<int32_t>(std::strtol(value, nullptr, 10));
  return true;
}

bool FromEnvironment(const char* variable, uint32_t* flag) {
  const char* value = std::getenv(variable);
  if (value == nullptr) return false;
  *flag = static_cast<uint32_t>(std::strtoul(value, nullptr, 10));
  return true;
}

bool IsDigits(const std::string& text, size_t begin, size_t count) {
  if (begin + count > text.size()) return false;
  return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(begin),
                     text.begin() + static_cast<std::ptrdiff_t>(begin + count),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// Whether `name`, from position `at`, is glog's "YYYYMMDD-HHMMSS.<pid>"
// followed by a file-name extension (letters, digits and "_").
bool IsStampAndExtension(const std::string& name, size_t at) {
  if (!IsDigits(name, at, 8) || name[at + 8] != '-' || !IsDigits(name, at + 9, 6)) return false;
  size_t i = at + 15;
  if (i >= name.size() || name[i] != '.' || !IsDigits(name, ++i, 1)) return false;
  while (i < name.size() && name[i] >= '0' && name[i] <= '9') ++i;
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(i), name.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  });
}

// A file of the libraries' own set-up in "./qellog": "INFO_", "WARNING_" or
// "ERROR_", glog's stamp, any extension (the bridge's and the client
// core's share the folder).
bool IsQellogFile(const std::string& name, const std::string&) {
  for (const char* severity : {"INFO_", "WARNING_", "ERROR_"}) {
    size_t length = std::strlen(severity);
    if (name.compare(0, length, severity) == 0) return IsStampAndExtension(name, length);
  }
  return false;
}

// A file glog named itself in GLOG_log_dir for this set-up:
// "<program>.<host>.<user>.log.<SEVERITY>.<stamp><extension>". The folder
// may hold other programs' logs, so only this extension counts.
bool IsLogDirFile(const std::string& name, const std::string& extension) {
  if (extension.empty() || name.size() <= extension.size() ||
      name.compare(name.size() - extension.size(), extension.size(), extension) != 0) {
    return false;
  }
  for (const char* severity : {".log.INFO.", ".log.WARNING.", ".log.ERROR."}) {
    size_t at = name.find(severity);
    if (at != std::string::npos && IsStampAndExtension(name, at + std::strlen(severity))) return true;
  }
  return false;
}

struct LogFile {
  fs::path path;
  fs::file_time_type written;
  std::uintmax_t size;
};

// Removes the log files of `folder` older than kLogKeepDays, then the
// oldest ones until the rest take at most kLogKeepBytes. glog's own
// clean-up only removes files of the extension and severity that happens
// to write first, once in a while; this sweep, at set-up, keeps the whole
// folder bounded. Failures are ignored: a file that stays is tried again
// next time.
void SweepLogFolder(const std::string& folder, const std::string& extension,
                    bool (*isLogFile)(const std::string&, const std::string&)) {
  std::error_code ec;
  std::vector<LogFile> files;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code fileEc;
    if (!it->is_regular_file(fileEc) || it->is_symlink(fileEc)) continue;
    if (!isLogFile(it->path().filename().string(), extension)) continue;
    LogFile file{it->path(), it->last_write_time(fileEc), 0};
    if (fileEc) continue;
    file.size = it->file_size(fileEc);
    if (!fileEc) files.push_back(file);
  }
  std::sort(files.begin(), files.end(),
            [](const LogFile& a, const LogFile& b) { return a.written > b.written; });
  const auto oldest = fs::file_time_type::clock::now() - std::chrono::hours(24 * kLogKeepDays);
  std::uintmax_t kept = 0;
  bool full = false;
  for (const LogFile& file : files) {
    full = full || file.written < oldest || kept + file.size > kLogKeepBytes;
    if (!full) {
      kept += file.size;
      continue;
    }
    std::error_code removeEc;
    fs::remove(file.path, removeEc);
  }
}

}  // namespace

bool StartGlog(const std::string& programName, const char* extension, int stderrLevel) {
  std::lock_guard<std::mutex> lock(SetupMutex());
  // A second InitGoogleLogging would abort the process.
  if (google::IsGoogleLoggingInitialized()) return false;
  // glog keeps the pointer it is given for its whole life.
  static std::string* name = new std::string();
  *name = programName;
  google::InitGoogleLogging(name->c_str());
  const std::string ext = extension != nullptr ? extension : "";

  if (stderrLevel < google::GLOG_INFO) stderrLevel = google::GLOG_INFO;
  if (stderrLevel > google::GLOG_FATAL) stderrLevel = google::GLOG_FATAL;
  if (!FromEnvironment("GLOG_stderrthreshold", &FLAGS_stderrthreshold)) FLAGS_stderrthreshold = stderrLevel;
  if (!FromEnvironment("GLOG_logtostderr", &FLAGS_logtostderr)) FLAGS_logtostderr = false;
  if (!FromEnvironment("GLOG_alsologtostderr", &FLAGS_alsologtostderr)) FLAGS_alsologtostderr = false;
  if (!FromEnvironment("GLOG_minloglevel", &FLAGS_minloglevel)) FLAGS_minloglevel = google::GLOG_INFO;
  if (!FromEnvironment("GLOG_colorlogtostderr", &FLAGS_colorlogtostderr)) FLAGS_colorlogtostderr = true;
  if (!FromEnvironment("GLOG_logbufsecs", &FLAGS_logbufsecs)) FLAGS_logbufsecs = 0;
  if (!FromEnvironment("GLOG_max_log_size", &FLAGS_max_log_size)) FLAGS_max_log_size = 100;
  if (!FromEnvironment("GLOG_stop_logging_if_full_disk", &FLAGS_stop_logging_if_full_disk)) {
    FLAGS_stop_logging_if_full_disk = true;
  }
  const char* logDir = std::getenv("GLOG_log_dir");
  if (logDir != nullptr && *logDir != '\0') {
    // glog's clean-up finds its files only under a folder name that ends
    // in "/".
    FLAGS_log_dir = logDir;
    if (FLAGS_log_dir.back() != '/') FLAGS_log_dir += '/';
    SweepLogFolder(FLAGS_log_dir, ext, &IsLogDirFile);
  } else {
    if (!IsDirectory("./qellog")) CreateDirectories("./qellog");  // a failure leaves glog to report it
    SweepLogFolder("./qellog", ext, &IsQellogFile);
    google::SetLogDestination(google::GLOG_INFO, "./qellog/INFO_");
    google::SetLogDestination(google::GLOG_WARNING, "./qellog/WARNING_");
    google::SetLogDestination(google::GLOG_ERROR, "./qellog/ERROR_");
  }
  google::SetLogFilenameExtension(ext.c_str());
  // While the process runs, glog removes files of its own older than that.
  google::EnableLogCleaner(kLogKeepDays);
  return true;
}

void StopGlog() {
  std::lock_guard<std::mutex> lock(SetupMutex());
  if (!google::IsGoogleLoggingInitialized()) return;
  google::DisableLogCleaner();
  google::ShutdownGoogleLogging();
}

}  // namespace qel
