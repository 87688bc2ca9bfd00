// The bridge singleton: the dispatcher and the start-up data it serves.
#pragma once

#include <mutex>
#include <string>

#include "database/qelread.h"

namespace qel {
namespace dataspace {

class IQELDatasource;

// The company row a start reads into the session: the first row of the
// table (no filter), these fields in this order.
extern const char kStartCompanyTable[];
extern const char* const kStartCompanyFields[3];
// Whether datasource gives that row as the start reads it: every field
// found (a missing table or column, no row or a failed read give false).
bool ReadsStartCompanyRow(IQELDatasource* datasource);

// The values the host passes to InitQelbridge, plus the two derived ones.
// All empty until the first InitQelbridge.
struct InitParams {
  std::string LOCAL_PATH;   // installation folder, without a trailing separator
  std::string SERVER_PATH;  // service URL
  std::string uploadUrl;    // derived from SERVER_PATH
  std::string uploadDir;    // LOCAL_PATH + "/uploadfile"
  std::string IP;
  std::string UA;
  std::string PLATFORM;
  std::string MAC;
  std::string IMEI;
  std::string IMSI;
};

// What start-up hands over to the data update: the apply of a download
// that finished (before the main database is opened) and the census of the
// products it changed (after the singleton is built). Each returns 0, or
// non-zero with a text in *message. The bridge's composition sets them when
// the library loads; a hook that is not set is skipped.
struct StartupHooks {
  int (*applyFinishedDataUpdate)(std::string* message) = nullptr;
  int (*queueUpdateCensus)(std::string* message) = nullptr;
};
void SetStartupHooks(const StartupHooks& hooks);

// The start-up work of InitQelbridge (the export only forwards here).
// Accepts a start-up text of any shape. 0, or 1 when the installation
// folder's database files exist but could not be opened or attached (still
// locked by another process after the wait, damaged): the bridge then
// stays unloaded and the next call (a start or a request) opens them. A
// missing file is no failure: the bridge starts without it.
int StartQelbridge(int platform, const std::string& json);

// Start-up values, safe to read from any thread (each returns a copy).
InitParams GetInitParams();
std::string GetLocalPath();
std::string GetServerPath();
std::string GetUploadUrl();
std::string GetUploadDir();
std::string GetMac();
// The first argument of the last InitQelbridge, 0 before it.
int GetPlatform();

// The "source" code text of service requests for a start-up platform number.
std::string PlatformCodeFor(int platform);
// The upload URL derived from a service URL; "" when none can be derived.
std::string UploadUrlFor(const std::string& serverPath);

class cqelbridge {
 public:
  // Created on first use (the first InitQelbridge or Invoke). The first use
  // once InitQelbridge has named a non-empty installation folder opens the
  // databases and loads the user, the company and the local version; a
  // load that failed on files that exist is tried again by each later use.
  static cqelbridge* GetInstance();

  // Splits the code into module (bits 8-15) and method (bits 0-7) and runs
  // the module; -2 for a module number without a handler.
  int Invoke(int code, std::string json, std::string* reply);

  // Copies of the loaded values; safe to call from any thread. The user and
  // the company values live in the session (qelInfoAccess::Identity).
  std::string GetCurrentUID();
  std::string GetCompanyID();
  std::string GetSerialID();
  std::string GetLocalVersion();
  std::string GetComTemp();
  // The "source" code text for the start-up platform number.
  std::string PlatformCode();

  // Login and the update census change the current user; returns 0.
  int SetCurrentUID(std::string uid);

 private:
  cqelbridge();
  ~cqelbridge();
  cqelbridge(const cqelbridge&) = delete;
  cqelbridge& operator=(const cqelbridge&) = delete;

  // kRead: loaded with the databases open; kMissing: loaded without them
  // (a file is missing); kFailed: not loaded (a file that exists could not
  // be opened, attached or read).
  StorageRead<> InitAllData();
  // Runs InitAllData once the installation folder is known, again after a
  // load that did not succeed.
  void LoadOnce();

  std::mutex loadMutex_;  // one load at a time
  std::mutex mutex_;      // guards localVersion
  std::string localVersion;
};

}  // namespace dataspace
}  // namespace qel
