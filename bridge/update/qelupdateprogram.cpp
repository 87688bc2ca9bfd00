#include "update/qelupdateprogram.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <system_error>
#include <vector>

#include "database/qeldatamanager.h"
#include "database/qelinfoaccess.h"
#include "cqelbridge.h"
#include "database/qeldatasource.h"
#include "database/qelquery.h"
#include "database/qelquerydef.h"
#include "database/qelrecord.h"
#include "database/qeltransaction.h"
#include "internet/qelinternetrequestbean.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"
#include "update/qelcataloguecheck.h"

namespace qel {
namespace dataspace {

namespace {

const char kFun[] = "qel::dataspace::qelUpdateProgram";
// A run that the host stopped ends like a stopped download.
constexpr int kStopped = 500003;
constexpr int kNotFound = 500009;

// Progress texts go to the host in GBK.
std::string Gbk(const char* utf8) { return Utf8ToGbk(utf8); }
const char kFinished[] = "下载更新已完成，请重启客户端";

// True when the host asked to stop.
bool Report(int step, const char* utf8Text) {
  std::string text = Gbk(utf8Text);
  return NotifyUpdateProgress(step, text.c_str()) != 0;
}

// Stops the download of the service's file list once it is longer than
// any list taken: it is never fetched, or held, whole.
int ListProgress(double downloaded, double total) {
  if (downloaded <= static_cast<double>(kMaxListBytes) && total <= static_cast<double>(kMaxListBytes))
    return 0;
  QEL_LOG(kFun, "File list longer than " + Int64ToString(kMaxListBytes) + " bytes");
  return 1;
}

// A staged update is applied at most once per process.
std::atomic<bool> g_applied{false};

// Keeps the catalogue about to be replaced at backup: a second name of the
// same file (a copy where the file system has none), made whole under a
// temporary name first. True also when there is no catalogue yet.
bool KeepReplacedCatalogue(const std::string& catalogue, const std::string& backup) {
  if (!FileExists(catalogue)) return true;
  const std::string temporary = backup + kTempFileMark;
  std::error_code ec;
  std::filesystem::remove(NativePath(temporary), ec);
  if (::link(NativePath(catalogue).c_str(), NativePath(temporary).c_str()) == 0) {
    std::filesystem::rename(NativePath(temporary), NativePath(backup), ec);
    if (!ec) return true;
    std::filesystem::remove(NativePath(temporary), ec);
  }
  return InstallFile(catalogue, backup, false) == 0;
}

}  // namespace

qelUpdateProgram* qelUpdateProgram::GetInstance() {
  // Never destroyed: an update may still be running while the process exits.
  static qelUpdateProgram* instance = new qelUpdateProgram;
  return instance;
}

int qelUpdateProgram::GetType() {
  std::lock_guard<std::mutex> lock(state_);
  return type;
}

int qelUpdateProgram::CheckDataUpdate(std::string, std::string* reply) {
  // Also asked from the progress callback of the run itself, on its thread.
  if (running_.load()) {
    if (reply != nullptr) *reply = UpdateStatusReply(1);
    return 0;
  }
  std::lock_guard<std::mutex> run(run_);
  // Another client's update of this installation: answered as a check
  // during a run of this process is.
  InstallationUpdateLock installation;
  if (installation.state() == InstallationUpdateLock::State::kBusy) {
    if (reply != nullptr) *reply = UpdateStatusReply(1);
    return 0;
  }
  if (installation.state() != InstallationUpdateLock::State::kHeld) return 1;
  return CheckLocked(reply);
}

int qelUpdateProgram::CheckLocked(std::string* reply) {
  qelUpdateCommon* common = qelUpdateCommon::GetInstance();
  {
    // Addresses of an earlier check must not outlive a failed one.
    std::lock_guard<std::mutex> lock(state_);
    DBURL.clear();
    FILEURL.clear();
    type = -1;
  }
  std::string error;
  LocalConfigInfo latest;
  int result = common->GetVersionAndLastTime(&error, &latest);
  if (result != 0) return result;
  int decided = -1;
  if (common->GetUpdateType(latest.nLastTime, &decided) != 0) return 1;
  std::string dbUrl;
  std::string fileUrl;
  result = common->GetDbAndFileUrl(latest.nLastTime, &error, &dbUrl, &fileUrl);
  QEL_LOG(kFun, "m_DBURL::" + dbUrl);
  QEL_LOG(kFun, "m_strFileUrl::" + fileUrl);
  // The addresses matter only when there is something to download; then a
  // check without them must not report an update that cannot be fetched.
  if (decided == 1) {
    if (result != 0) return result;
    if (dbUrl.empty() || fileUrl.empty()) {
      QEL_LOG(kFun, "empty update address");
      return 1;
    }
  }
  {
    std::lock_guard<std::mutex> lock(state_);
    remote = latest;
    type = decided;
    // Kept only for a package to fetch, so that a run after a check with
    // nothing to do asks the service again.
    if (decided == 1) {
      DBURL = dbUrl;
      FILEURL = fileUrl;
    }
  }
  if (reply != nullptr) *reply = UpdateStatusReply(decided == 1 ? 1 : 0);
  return 0;
}

int qelUpdateProgram::UpdateProgram(std::string, std::string* error) {
  if (running_.exchange(true)) {
    QEL_LOG(kFun, "An update is already running");
    return 1;
  }
  struct Done {
    std::atomic<bool>& flag;
    ~Done() { flag.store(false); }
  } done{running_};
  std::lock_guard<std::mutex> run(run_);
  // One run per installation: a second client's run is refused like a
  // second run of this process, and touches nothing the first staged.
  InstallationUpdateLock installation;
  if (installation.state() != InstallationUpdateLock::State::kHeld) {
    if (installation.state() == InstallationUpdateLock::State::kBusy)
      QEL_LOG(kFun, "An update is already running");
    return 1;
  }
  qelUpdateCommon* common = qelUpdateCommon::GetInstance();
  bool haveUrls;
  {
    std::lock_guard<std::mutex> lock(state_);
    haveUrls = !DBURL.empty() && !FILEURL.empty();
  }
  if (!haveUrls) {
    // Without an answer from the service there is nothing to download.
    int result = CheckLocked(nullptr);
    if (result != 0) return result;
  }
  if (common->CreateTempFolders() != 0) {
    QEL_LOG(kFun, "CREATE TEMP FOLDERS ERROR! " + UpdateTempPath());
    return 1;
  }
  // A package is finished only when the next start can put it in place.
  if (common->CreateInstallFolders() != 0) return 1;
  common->RemoveStaleTempFiles();
  LocalConfigInfo config;
  if (common->GetLocalConfig(&config) != 0) return 1;
  if (config.IsUpdate < UpdateStep::kFilesDownload && ClearOldFiles() != 0) {
    QEL_LOG(kFun, "CLEAR OLD VERSIONFILES ERROR! ");
    return 1;
  }
  if (config.IsUpdate == UpdateStep::kDownloaded) {
    Report(100, kFinished);
    return 0;
  }
  if (GetType() != 1) return 0;
  int result = UpdatePrepare(error);
  if (result != 0) {
    QEL_LOG(kFun, "Prepare update error");
    return result;
  }
  Report(100, kFinished);
  return 0;
}

int qelUpdateProgram::UpdatePrepare(std::string* error) {
  qelUpdateCommon* common = qelUpdateCommon::GetInstance();
  qelUpdateFiles* files = qelUpdateFiles::GetInstance();
  IQELDatasource* datasource = qelInfoAccess::GetInstance()->GetDatasource();
  LocalConfigInfo latest;
  std::string dbUrl;
  std::string fileUrl;
  {
    std::lock_guard<std::mutex> lock(state_);
    if (type != 1) return 0;
    latest = remote;
    dbUrl = DBURL;
    fileUrl = FILEURL;
  }
  // Every state write is checked: a run that cannot record where it stands
  // fails there, and the stored state stays one that a later run resumes.
  int written = common->WriteFlag(UpdateFlag::kStarted);
  if (written != 0) return written;
  LocalConfigInfo config;
  if (common->GetLocalConfig(&config) != 0) return 1;
  UpdateStep step = config.IsUpdate;
  if (step == UpdateStep::kUnknown) QEL_LOG(kFun, "Unknown update step, the update starts again");
  if (step == UpdateStep::kApplied || step == UpdateStep::kUnknown) step = UpdateStep::kListDownload;
  if (step >= UpdateStep::kListsCompare && step <= UpdateStep::kDatabaseDownload &&
      config.nLastTime != latest.nLastTime) {
    // A newer package than the one half downloaded: files, list and
    // database must all come from one package.
    QEL_LOG(kFun, "Newer package found, the update starts again");
    if (ClearOldFiles() != 0) return 1;
    step = UpdateStep::kListDownload;
  }
  DownloadFileMap downloads;
  if (step == UpdateStep::kFilesDownload && files->GetFileDownLoadList(&downloads, datasource) != 0) return 1;

  const std::string temp = UpdateTempPath();
  if (step == UpdateStep::kListDownload) {
    int result = common->WriteStep(step);
    if (result != 0) {
      QEL_LOG(kFun, "update localconfig error");
      return result;
    }
    std::string target = temp + kJsonFolder + "/" + kListFileName;
    common->DeleteOneFile(target);
    result = common->DownloadFile(fileUrl, target, error, ListProgress);
    if (result == 0 && !FileExists(target)) result = kNotFound;  // the service has no list
    if (result != 0) {
      QEL_LOG(kFun, "DOWNLOAD JSON FILE ERROR!");
      return result;
    }
    QEL_LOG(kFun, "DOWNLOAD OVER!");
    step = UpdateStep::kListsCompare;
  }
  if (step == UpdateStep::kListsCompare) {
    int result = common->WriteStep(step);
    if (result != 0) return result;
    QEL_LOG(kFun, "UpdateSuccess!");
    result = common->UpdateLocalConfig(kConfigLastTime, Int64ToString(latest.nLastTime));
    if (result != 0) {
      QEL_LOG(kFun, "update localconfig error: InternetTime!");
      return result;
    }
    if (Report(2, "获取远程数据信息")) return kStopped;
    if (files->ResolveUpdateRequest() != 0) {
      // Without a usable list nothing is compared, so nothing is deleted.
      QEL_LOG(kFun, " Get DownLoadList Error! ");
      return 1;
    }
    if (Report(6, "获取本地数据信息")) return kStopped;
    DownloadFileMap local;
    files->GetLocalFileList(&local);
    if (Report(8, "解析出需要更新的文件")) return kStopped;
    if (files->GetInternetDownLoadList(local, &downloads, datasource) != 0) {
      Report(8, "获取下载列表失败！请稍后重试");
      QEL_LOG(kFun, " Get DownLoadList Error! ");
      return 1;
    }
    step = UpdateStep::kFilesDownload;
  }
  if (step == UpdateStep::kFilesDownload) {
    if (Report(10, "开始下载文件")) return kStopped;
    if (common->WriteStep(step) != 0) return 1;
    if (!downloads.empty()) {
      int result = files->DownFilesByList(&downloads, error, datasource);
      if (result != 0) {
        QEL_LOG(kFun, "DownLoadFiles Error!");
        return result;
      }
    } else {
      QEL_LOG(kFun, "There is No File To DownLoad!");
    }
    step = UpdateStep::kDatabaseDownload;
  }
  if (step == UpdateStep::kDatabaseDownload) {
    int result = common->WriteStep(step);
    if (result != 0) return result;
    files->SetCurrentFile(kExDbFile);
    std::string target = temp + kExDbFile;
    common->DeleteOneFile(target);
    result = common->DownloadFile(dbUrl, target, error, qelUpdateFiles::DatabaseProgress);
    if (result == 0 && !FileExists(target)) result = kNotFound;  // the service has no database
    // The catalogue is replaced only by a database that the start and the
    // catalogue lists can read.
    if (result == 0 && !IsReadableCatalogue(target, GetLocalPath() + kMainDbFile)) {
      common->DeleteOneFile(target);
      QEL_LOG(kFun, "downloaded database is no catalogue");
      result = 1;
    }
    if (result != 0) {
      QEL_LOG(kFun, "DOWNLOAD DB FILE ERROR!");
      return result;
    }
    result = common->WriteFlag(UpdateFlag::kDatabaseReady);
    if (result != 0) return result;
    step = UpdateStep::kDownloaded;
  }
  if (step == UpdateStep::kDownloaded) {
    int result = common->WriteStep(step);
    if (result != 0) return result;
  }
  if (error != nullptr) error->clear();
  return 0;
}

int qelUpdateProgram::ClearOldFiles() {
  qelUpdateFiles* files = qelUpdateFiles::GetInstance();
  qelUpdateCommon* common = qelUpdateCommon::GetInstance();
  IQELDatasource* datasource = qelInfoAccess::GetInstance()->GetDatasource();
  DownloadFileMap old;
  int result = files->GetFileDownLoadList(&old, datasource);
  if (result != 0) return result;
  if (!old.empty()) QEL_LOG(kFun, "OLD File Count:" + IntToString(static_cast<int>(old.size())));
  const std::string tempFiles = UpdateTempPath() + kFilesFolder;
  for (const auto& entry : old) {
    std::string relative;
    if (entry.second.OPERATETYPE == 0 && entry.second.OPERATESTATUS == 1 &&
        CheckListFilePlace(entry.first, tempFiles, &relative)) {
      common->DeleteOneFile(tempFiles + "/" + relative);
    }
  }
  int changes = 0;
  if (!old.empty() && (datasource == nullptr || !datasource->ExecDelete("DOWNLOADINFO", "", &changes)))
    return 1;
  return 0;
}

int qelUpdateProgram::UpdateOperate() {
  qelUpdateCommon* common = qelUpdateCommon::GetInstance();
  qelUpdateFiles* files = qelUpdateFiles::GetInstance();
  QEL_LOG(kFun, "Begin UpdateOperate!");
  if (g_applied.load()) return 0;
  const std::string local = GetLocalPath();
  const std::string dbPath = local + kMainDbFile;
  QEL_LOG(kFun, "Operate strDbPath:" + dbPath);
  // The session does not exist yet: the main database comes from the
  // registry (the session later finds it open), the second one is not
  // attached, so its file can be replaced.
  IQELDatasource* datasource = qelDataManager::GetInstance()->GetDatasource(dbPath);
  if (datasource == nullptr || !datasource->Open()) return 0;
  // Never beside another client's check, run or apply of this
  // installation: that client settles the catalogue and applies, and a
  // staged update stays staged for a later start.
  InstallationUpdateLock installation;
  if (installation.state() == InstallationUpdateLock::State::kBusy) {
    QEL_LOG(kFun, "The update is held by another client, not applied now");
    return 0;
  }
  // Before anything else: a start after an apply that was cut short
  // settles the catalogue it replaced, whatever the status says.
  if (SettleReplacedCatalogue(datasource) != 0) return 1;
  std::string count;
  if (common->GetCountsFromTable(datasource, &count, "CONFIGINFO", "") != 0 || count == "0") {
    QEL_LOG(kFun, "QEL_DB_TBL_CONFIGINFO Count 0");
    return 0;
  }
  LocalConfigInfo config;
  if (common->GetLocalConfig(&config, datasource) != 0) {
    QEL_LOG(kFun, "GetLocalConfigError");
    return 1;
  }
  if (config.IsUpdate != UpdateStep::kDownloaded) {
    QEL_LOG(kFun, "nUpdateStatus != 4");
    return 0;
  }
  if (installation.state() != InstallationUpdateLock::State::kHeld) return 1;
  g_applied.store(true);
  const std::string temp = local + "/" + kTempFolder;
  if (common->CreateInstallFolders() != 0) return 1;
  std::string downloadCount;
  // Without the count the files cannot be told applied: the update stays staged.
  if (common->GetCountsFromTable(datasource, &downloadCount, "DOWNLOADINFO", "") != 0) {
    QEL_LOG(kFun, "GetFileDownLoadList Error! ");
    return 1;
  }
  if (downloadCount != "0") {
    DownloadFileMap list;
    if (files->GetFileDownLoadList(&list, datasource) != 0) {
      QEL_LOG(kFun, "GetFileDownLoadList Error! ");
      return 1;
    }
    int result = files->FilesOperate(list, temp + kFilesFolder, datasource);
    if (result != 0) {
      QEL_LOG(kFun, " File Operate Error! ");
      return result;
    }
  }
  // A failed move stops the apply at status 4, so the next start retries;
  // what was moved already is no longer staged and is skipped then.
  const std::string stagedList = temp + kJsonFolder + "/" + kListFileName;
  if (FileExists(stagedList) &&
      common->MoveFileToDes(stagedList, local + kJsonFolder + "/" + kListFileName) != 0) {
    QEL_LOG(kFun, "CopyJsonFileError");
    return 1;
  }
  const std::string stagedDb = temp + kExDbFile;
  if (FileExists(stagedDb)) {
    // The catalogue in use stays until a start has read the new one.
    if (!KeepReplacedCatalogue(local + kExDbFile, local + kExDbBackupFile)) {
      QEL_LOG(kFun, "cannot keep the catalogue it replaces");
      return 1;
    }
    if (common->MoveFileToDes(stagedDb, local + kExDbFile) != 0) {
      QEL_LOG(kFun, "CopyDbError");
      return 1;
    }
  }
  {
    qelTransaction transaction(datasource);
    if (!transaction.Active()) return 1;
    int result = common->WriteFlag(UpdateFlag::kDatabaseReady, datasource);
    if (result == 0) result = common->WriteStep(UpdateStep::kApplied, datasource);
    if (result != 0) return result;
    if (!transaction.Commit()) return 1;
  }
  return SettleReplacedCatalogue(datasource);
}

int qelUpdateProgram::SettleReplacedCatalogue(IQELDatasource* datasource) {
  qelUpdateCommon* common = qelUpdateCommon::GetInstance();
  const std::string local = GetLocalPath();
  const std::string backup = local + kExDbBackupFile;
  const std::string catalogue = local + kExDbFile;
  if (!FileExists(backup)) return 0;
  if (StartReadsCompany(catalogue, local + kMainDbFile)) {
    common->DeleteOneFile(backup);
    return 0;
  }
  QEL_LOG(kFun, "The new catalogue cannot be read: the replaced one is put back");
  if (common->MoveFileToDes(backup, catalogue) != 0) {
    QEL_LOG(kFun, "The replaced catalogue cannot be put back");
    return 1;
  }
  // Not applied: no census, and the package time of the data in use, so
  // that the next check fetches a package again.
  LocalConfigInfo config;
  if (common->GetLocalConfig(&config, datasource) != 0) return 1;
  qelTransaction transaction(datasource);
  if (!transaction.Active()) return 1;
  int result = common->WriteStep(UpdateStep::kListDownload, datasource);
  if (result == 0) result = common->WriteFlag(UpdateFlag::kStarted, datasource);
  if (result == 0)
    result = common->UpdateLocalConfig(kConfigLastTime, Int64ToString(config.OldPackTime), datasource);
  if (result == 0 && !transaction.Commit()) result = 1;
  QEL_LOG(kFun, "Data update not applied");
  return 1;
}

int qelUpdateProgram::AddCensusTrack(const std::string& text) {
  IQELDatasource* datasource = qelInfoAccess::GetInstance()->GetDatasource();
  Json::Value row(Json::objectValue);
  row["TRACK"] = text;
  qelRecord record{Json::Value(Json::arrayValue)};
  record.Append(row);
  return (datasource != nullptr && datasource->AddRecord("BEHAVIOR", &record)) ? 0 : 1;
}

int qelUpdateProgram::UpdateCensus() {
  qelUpdateCommon* common = qelUpdateCommon::GetInstance();
  IQELDatasource* datasource = qelInfoAccess::GetInstance()->GetDatasource();
  LocalConfigInfo config;
  if (common->GetLocalConfig(&config) != 0) return 1;
  // Only after a complete apply: a download that stopped at status 4
  // already carries Flag 1.
  if (config.Flag != UpdateFlag::kDatabaseReady || config.IsUpdate != UpdateStep::kApplied) {
    QEL_LOG(kFun, "UNReady to send updateCensus!");
    return 0;
  }
  if (config.CurrentUID.empty()) {
    QEL_LOG(kFun, "strUserID is Empty !");
    return 1;
  }
  qelQueryDef def;
  def.AddField("PRODUCT", "PRODUCT_ID");
  def.SetFilter(" LASTTIME > " + Int64ToString(config.OldPackTime) + " AND LENGTH( PRODUCT_ID ) = " + "11");
  std::string ids;
  const StorageRead<> ok = ForEachRow(datasource, &def, [&](Json::Value& row) {
    if (!ids.empty()) ids += ",";
    ids += qel::StringMember(row, "PRODUCT_ID");
  });
  if (!ok.Ran()) {
    QEL_LOG(kFun, "Query error");
    return 1;
  }
  Json::Value params(Json::objectValue);
  params["compId"] = config.CurrentCompID;
  params["prodIds"] = ids;
  // The request carries the user of the last check; the bridge's current
  // user stays as it is.
  SessionIdentity identity = qelInfoAccess::Identity();
  identity.userId = config.CurrentUID;
  qelInternetRequestBean bean(identity);
  if (!bean.AddOneRequestWithParam(259, params)) {
    QEL_LOG(kFun, "add updatecensus request error");
    return 1;
  }
  std::string envelope = bean.GetJsonRPCParam();
  QEL_LOG(kFun, "Behavior Param:" + envelope);
  if (envelope.empty()) {
    QEL_LOG(kFun, "jsonrpc params convert error");
    return 1;
  }
  // The queued request and its flag go together: the census is queued once.
  qelTransaction transaction(datasource);
  if (!transaction.Active()) return 1;
  for (int i = 0; i < bean.GetRequestCount(); ++i) {
    if (AddCensusTrack(bean.GetRequestString(i)) != 0) return 1;
  }
  if (common->WriteFlag(UpdateFlag::kCensusQueued) != 0 || !transaction.Commit()) return 1;
  return 0;
}

}  // namespace dataspace
}  // namespace qel
