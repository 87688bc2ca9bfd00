#include "qelgloghelper.h"

#include <sys/stat.h>

#include <atomic>
#include <mutex>
#include <string>

#include <glog/logging.h>

namespace {

std::mutex& HelperMutex() {
  static std::mutex mutex;
  return mutex;
}

// Set while glog runs with this helper's set-up; the helper has no members
// of its own.
std::atomic<bool> g_owned{false};

// glog keeps the program-name pointer it is given for its whole life.
std::string& ProgramName() {
  static std::string* name = new std::string();  // outlives every static destructor
  return *name;
}

}  // namespace

qelGLogHelper* qelGLogHelper::GetInstance() {
  static qelGLogHelper instance;
  return &instance;
}

void qelGLogHelper::Init(const char* name, int level) {
  std::lock_guard<std::mutex> lock(HelperMutex());
  // Another library (qelbridge) or the host may have set glog up first; its
  // settings stay and it owns the shutdown.
  if (g_owned.load() || google::IsGoogleLoggingInitialized()) return;

  ::mkdir("./qellog", 0755);  // an existing folder is fine
  ProgramName() = name != nullptr ? name : "";
  google::InitGoogleLogging(ProgramName().c_str());
  // glog aborts on a threshold outside its severities.
  if (level < google::GLOG_INFO) level = google::GLOG_INFO;
  if (level > google::GLOG_FATAL) level = google::GLOG_FATAL;
  FLAGS_stderrthreshold = level;
  FLAGS_colorlogtostderr = true;
  google::SetLogDestination(google::GLOG_INFO, "./qellog/INFO_");
  google::SetLogDestination(google::GLOG_WARNING, "./qellog/WARNING_");
  google::SetLogDestination(google::GLOG_ERROR, "./qellog/ERROR_");
  FLAGS_logbufsecs = 0;
  FLAGS_max_log_size = 100;
  FLAGS_stop_logging_if_full_disk = true;
  google::SetLogFilenameExtension("PC_CORE_");
  g_owned.store(true);
}

void qelGLogHelper::Shutdown() {
  std::lock_guard<std::mutex> lock(HelperMutex());
  if (!g_owned.exchange(false)) return;
  if (google::IsGoogleLoggingInitialized()) google::ShutdownGoogleLogging();
}

bool qelGLogHelper::OwnsLogging() const { return g_owned.load(); }

qelGLogHelper::~qelGLogHelper() { Shutdown(); }
