// The service side of the data update: the latest package time and the
// addresses of the new database and file list, the update's position and
// flags in CONFIGINFO, the download wrapper and the file operations the
// update classes share. Texts and paths are GBK.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <json/json.h>

#include "database/qelquery.h"
#include "qelhttpjsonrequest.h"

namespace qel {
namespace dataspace {

// The update status (CONFIGINFO row 3, stored as its number): where the
// data update stands. Each step of a run stores its own as it begins, so an
// interrupted run resumes at the step under way.
enum class UpdateStep : int {
  kUnknown = -1,          // a stored value that is none of the steps: the update starts again
  kListDownload = 0,      // nothing under way, or a new update starting: fetch the file list
  kListsCompare = 1,      // file list downloaded: compare it with the installed one
  kFilesDownload = 2,     // download list stored in DOWNLOADINFO: fetch the files
  kDatabaseDownload = 3,  // files downloaded: fetch the database
  kDownloaded = 4,        // everything downloaded: applied at the next start
  kApplied = 5,           // applied at start-up: the next update starts from the list
};

// A step between the file list and the complete download: an update under way.
inline bool IsUnderWay(UpdateStep step) {
  return step >= UpdateStep::kListsCompare && step <= UpdateStep::kDownloaded;
}

// The step a stored text names; kUnknown for a text that is no step (a
// damaged row, a later version's). An empty text (no row) is step 0.
UpdateStep ParseUpdateStep(const std::string& text);

// The census flag (CONFIGINFO row 4, stored as its number).
enum class UpdateFlag : int {
  kStarted = 0,        // a run of the update started
  kDatabaseReady = 1,  // the new database downloaded, and again once applied
  kCensusQueued = 2,   // the census of the applied update queued
};

// The in-memory image of the seven CONFIGINFO rows, in row order.
struct LocalConfigInfo {
  int64_t nLastTime = 0;                            // 1: package time of the data in use or being downloaded
  int version = 0;                                  // 2: inserted as "0", never changed
  UpdateStep IsUpdate = UpdateStep::kListDownload;  // 3: update status
  UpdateFlag Flag = UpdateFlag::kStarted;           // 4: census flag
  int64_t OldPackTime = 0;                          // 5: local package time at the last check
  std::string CurrentUID;                           // 6: user id at the last check
  int CurrentCompID = 0;                            // 7: company id at the last check
};

// Row ids of CONFIGINFO.
enum LocalConfigRow {
  kConfigLastTime = 1,
  kConfigVersion = 2,
  kConfigIsUpdate = 3,
  kConfigFlag = 4,
  kConfigOldPackTime = 5,
  kConfigCurrentUID = 6,
  kConfigCurrentCompID = 7,
};

// Staging and installed locations below LOCAL_PATH.
constexpr char kTempFolder[] = "temp";
constexpr char kFilesFolder[] = "/files";
constexpr char kDataFolder[] = "/data";
constexpr char kJsonFolder[] = "/json";
constexpr char kListFileName[] = "local.qjson";
constexpr char kExDbFile[] = "/data/qel_exdata.db";
constexpr char kMainDbFile[] = "/data/qel_data.db";
// The catalogue an apply replaced, kept beside it until a start has read
// the new one's company row.
constexpr char kExDbBackupFile[] = "/data/qel_exdata.db.replaced";

// The longest update list taken: a list of 100,000 files is about 15 MiB.
constexpr int64_t kMaxListBytes = 64LL * 1024 * 1024;

// CheckServiceFileName for a file name from a file list or from
// DOWNLOADINFO; a refused name is logged with its reason.
bool CheckListFileName(const std::string& name, std::string* relative);
// CheckListFileName, and the name's place below folder (the installed or
// the staged files): refused when a folder or file on its way below folder
// is a symbolic link (a write, move or delete would go through it, out of
// the installation), or when the whole path below folder passes PATH_MAX.
// A refused name is logged with its reason.
bool CheckListFilePlace(const std::string& name, const std::string& folder, std::string* relative);

class qelUpdateCommon {
 public:
  static qelUpdateCommon* GetInstance();

  // Service: latest package (type 257) into remote->nLastTime; version,
  // IsUpdate and Flag of the record become 0.
  int GetVersionAndLastTime(std::string* error, LocalConfigInfo* remote);
  // Service: the database and file-list addresses of a package (type 258).
  int GetDbAndFileUrl(int64_t packageTime, std::string* error, std::string* dbUrl, std::string* fileUrl);
  // One service request; *item gets item 0 (the object with its "status"
  // and "result"). With requireObject item 0's result must be an object.
  int CallService(int type, const Json::Value& params, std::string* error, Json::Value* item,
                  bool requireObject);

  // Downloads url to path. 0 on success and when the server has no such
  // file (404: nothing is written); otherwise the transport's code, whose
  // text goes to *error.
  int DownloadFile(const std::string& url, const std::string& path, std::string* error,
                   qel::internet::ProgressCallback progress);

  // CONFIGINFO, through the session's datasource unless the start-up apply
  // hands over the one it opened before the session exists. An empty table
  // reads as a record of defaults.
  int UpdateLocalConfig(int id, const std::string& value, IQELDatasource* datasource = MainDatasource());
  int AddToLocalConfig(const LocalConfigInfo& info);
  int GetLocalConfig(LocalConfigInfo* info, IQELDatasource* datasource = MainDatasource());
  // Store the update status and the census flag; 0, or the write's
  // non-zero code when it is refused.
  int WriteStep(UpdateStep step, IQELDatasource* datasource = MainDatasource());
  int WriteFlag(UpdateFlag flag, IQELDatasource* datasource = MainDatasource());

  // COMPANY.PACKTIME of the current company; 0 when empty or missing, 1
  // when the query fails.
  int64_t GetLoaclPackTime();
  // 1 update (or resume), 0 nothing to do, -1 (result 1) remote older.
  int GetUpdateType(int64_t remotePackageTime, int* type);

  // Puts the source in place of the destination and then removes the
  // source; the destination is replaced whole or not at all. 0 also for a
  // missing source (logged; a symbolic link counts as missing); 1 when the
  // move fails.
  int MoveFileToDes(const std::string& source, const std::string& destination);
  // Deletes the file (or a symbolic link itself, never what it names) when
  // it exists; always 0.
  int DeleteOneFile(const std::string& path);
  // LOCAL_PATH/temp with /files, /data and /json inside; 1 when one cannot
  // be made or is a symbolic link.
  int CreateTempFolders();
  // The installed folders the apply moves into (LOCAL_PATH/files and
  // LOCAL_PATH/json); 1 when one cannot be made.
  int CreateInstallFolders();
  // Removes the temporary files that killed downloads left in the staging
  // folders ("<name>.qeltmp<pid>-<n>" of a process that is gone); the number
  // removed.
  int RemoveStaleTempFiles();
  // COUNT(*) of table under filter (empty: all rows) as decimal text.
  int GetCountsFromTable(IQELDatasource* datasource, std::string* count, const std::string& table,
                         const std::string& filter);
  int ClearLocalTable(const std::string& table, IQELDatasource* datasource);
  // Creates the folders of relativePath (not its last segment, the file name) below *base,
  // which ends as the innermost one.
  int MakeDirsEx(const std::string& relativePath, std::string* base);

 private:
  qelUpdateCommon() = default;
};

// One update per installation, across processes too: an exclusive flock
// on LOCAL_PATH/data/update.lock, taken at once or not at all, held while
// the object lives and dropped by the kernel when the process dies.
class InstallationUpdateLock {
 public:
  enum class State {
    kHeld,    // this object holds the installation's update
    kBusy,    // another process (or another lock of this one) holds it
    kFailed,  // the lock file cannot be opened
  };
  InstallationUpdateLock();
  ~InstallationUpdateLock();
  InstallationUpdateLock(const InstallationUpdateLock&) = delete;
  InstallationUpdateLock& operator=(const InstallationUpdateLock&) = delete;

  State state() const { return state_; }

 private:
  int fd_ = -1;
  State state_ = State::kFailed;
};

// LOCAL_PATH + "/" + "temp".
std::string UpdateTempPath();
// deviceType, templateID and langID: the parameters every update request starts with.
Json::Value UpdateServiceParams();
// [{"STATUS": "<status>"}], the reply of the update checks.
std::string UpdateStatusReply(int status);

}  // namespace dataspace
}  // namespace qel
