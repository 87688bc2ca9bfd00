#include "qelgloghelper.h"

#include <atomic>
#include <mutex>
#include <string>

#include "qel/glogsetup.h"

namespace {

std::mutex& HelperMutex() {
  static std::mutex mutex;
  return mutex;
}

// Set while glog runs with this helper's set-up; the helper has no members
// of its own.
std::atomic<bool> g_owned{false};

}  // namespace

qelGLogHelper* qelGLogHelper::GetInstance() {
  static qelGLogHelper instance;
  return &instance;
}

void qelGLogHelper::Init(const char* name, int level) {
  std::lock_guard<std::mutex> lock(HelperMutex());
  // Another library (qelbridge) or the host may have set glog up first; its
  // settings stay and it owns the shutdown.
  if (g_owned.load()) return;
  if (qel::StartGlog(name != nullptr ? name : "", "PC_CORE_", level)) g_owned.store(true);
}

void qelGLogHelper::Shutdown() {
  std::lock_guard<std::mutex> lock(HelperMutex());
  if (g_owned.exchange(false)) qel::StopGlog();
}

bool qelGLogHelper::OwnsLogging() const { return g_owned.load(); }

qelGLogHelper::~qelGLogHelper() { Shutdown(); }
