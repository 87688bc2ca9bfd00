#include "qel/glogsetup.h"

#include <glog/logging.h>

#include <cstdlib>
#include <mutex>

#include "qel/text.h"

namespace qel {
namespace {

std::mutex& SetupMutex() {
  static std::mutex mutex;
  return mutex;
}

// An explicit setting of the user's beats the built-in default.
bool InEnvironment(const char* name) { return std::getenv(name) != nullptr; }

}  // namespace

bool StartGlog(const std::string& programName, const char* extension, int stderrLevel) {
  std::lock_guard<std::mutex> lock(SetupMutex());
  // A second InitGoogleLogging would abort the process.
  if (google::IsGoogleLoggingInitialized()) return false;
  // glog keeps the pointer it is given for its whole life.
  static std::string* name = new std::string();
  *name = programName;
  google::InitGoogleLogging(name->c_str());

  if (stderrLevel < google::GLOG_INFO) stderrLevel = google::GLOG_INFO;
  if (stderrLevel > google::GLOG_FATAL) stderrLevel = google::GLOG_FATAL;
  if (!InEnvironment("GLOG_stderrthreshold")) FLAGS_stderrthreshold = stderrLevel;
  if (!InEnvironment("GLOG_colorlogtostderr")) FLAGS_colorlogtostderr = true;
  if (!InEnvironment("GLOG_log_dir")) {
    if (!IsDirectory("./qellog")) CreateDirectories("./qellog");  // a failure leaves glog to report it
    google::SetLogDestination(google::GLOG_INFO, "./qellog/INFO_");
    google::SetLogDestination(google::GLOG_WARNING, "./qellog/WARNING_");
    google::SetLogDestination(google::GLOG_ERROR, "./qellog/ERROR_");
  }
  if (!InEnvironment("GLOG_logbufsecs")) FLAGS_logbufsecs = 0;
  if (!InEnvironment("GLOG_max_log_size")) FLAGS_max_log_size = 100;
  if (!InEnvironment("GLOG_stop_logging_if_full_disk")) FLAGS_stop_logging_if_full_disk = true;
  google::SetLogFilenameExtension(extension != nullptr ? extension : "");
  return true;
}

void StopGlog() {
  std::lock_guard<std::mutex> lock(SetupMutex());
  if (google::IsGoogleLoggingInitialized()) google::ShutdownGoogleLogging();
}

}  // namespace qel
