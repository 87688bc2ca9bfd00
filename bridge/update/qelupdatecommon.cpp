#include "update/qelupdatecommon.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "internet/qelservicecall.h"
#include "database/qelquery.h"
#include "database/qelinfoaccess.h"
#include "cqelbridge.h"
#include "database/qeldatasource.h"
#include "database/qelquerydef.h"
#include "database/qelrecord.h"
#include "database/qelsqltext.h"
#include "database/qeltransaction.h"
#include "internet/qelinternetrequestbean.h"
#include "internet/qelinternetresponsebean.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {

namespace {

const char kFun[] = "qel::dataspace::qelUpdateCommon";
const char kConfigTable[] = "CONFIGINFO";

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

void LogUnsafeName(const char* reason, const std::string& name) {
  QEL_LOG(kFun, "Unsafe file name skipped (" + std::string(reason) + "):" + name);
}

// Why the checked name relative may not be written below folder; null when
// it may. The limits count the bytes of the form handed to the OS.
const char* PlaceProblem(const std::string& folder, const std::string& relative) {
  std::string path = NativePath(folder);
  const std::string parts = NativePath(relative);
  // Segments over NAME_MAX are refused with the name itself.
  if (path.size() + 1 + parts.size() >= PATH_MAX) return "path too long";
  size_t begin = 0;
  while (begin < parts.size()) {
    size_t end = parts.find('/', begin);
    if (end == std::string::npos) end = parts.size();
    path += '/';
    path.append(parts, begin, end - begin);
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) break;  // nothing below it exists yet
    if (S_ISLNK(st.st_mode)) return "symbolic link";
    begin = end + 1;
  }
  return nullptr;
}

// The pid in "<name>.qeltmp<pid>-<n>"; 0 for any other name.
pid_t TempFileOwner(const std::string& fileName) {
  const size_t mark = fileName.rfind(kTempFileMark);
  if (mark == std::string::npos || mark == 0) return 0;
  const std::string rest = fileName.substr(mark + sizeof kTempFileMark - 1);
  const size_t dash = rest.find('-');
  if (dash == std::string::npos || !IsDecimalId(rest.substr(0, dash)) || !IsDecimalId(rest.substr(dash + 1)))
    return 0;
  int64_t pid = 0;
  if (ScanInteger(rest.substr(0, dash), &pid) != IntegerScan::kExact || pid <= 0 || pid > INT_MAX) return 0;
  return static_cast<pid_t>(pid);
}

// Whether a process of that id runs (one of another user's included).
bool ProcessRuns(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

}  // namespace

UpdateStep ParseUpdateStep(const std::string& text) {
  if (text.empty()) return UpdateStep::kListDownload;
  int value = -1;
  if (!IsDecimalId(text) || ScanInteger(text, &value) != IntegerScan::kExact) return UpdateStep::kUnknown;
  if (value < static_cast<int>(UpdateStep::kListDownload) || value > static_cast<int>(UpdateStep::kApplied))
    return UpdateStep::kUnknown;
  return static_cast<UpdateStep>(value);
}

bool CheckListFileName(const std::string& name, std::string* relative) {
  const char* reason = CheckServiceFileName(name, relative);
  if (reason == nullptr) return true;
  LogUnsafeName(reason, name);
  return false;
}

bool CheckListFilePlace(const std::string& name, const std::string& folder, std::string* relative) {
  std::string checked;
  if (!CheckListFileName(name, &checked)) return false;
  if (const char* reason = PlaceProblem(folder, checked)) {
    LogUnsafeName(reason, name);
    return false;
  }
  if (relative != nullptr) *relative = checked;
  return true;
}

std::string UpdateTempPath() { return GetLocalPath() + "/" + kTempFolder; }

InstallationUpdateLock::InstallationUpdateLock() {
  const std::string path = NativePath(GetLocalPath() + kDataFolder + "/update.lock");
  // Never opened through a link planted at its name.
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    QEL_LOG(kFun, "Cannot open the update lock:" + path);
    return;
  }
  int rc;
  do {
    rc = ::flock(fd_, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) {
    state_ = State::kHeld;
  } else if (errno == EWOULDBLOCK) {
    state_ = State::kBusy;
    QEL_LOG(kFun, "Another client updates this installation");
  } else {
    QEL_LOG(kFun, "Cannot lock the update lock:" + path);
  }
}

InstallationUpdateLock::~InstallationUpdateLock() {
  // Closing the file drops the lock.
  if (fd_ >= 0) ::close(fd_);
}

Json::Value UpdateServiceParams() {
  Json::Value params(Json::objectValue);
  params["deviceType"] = GetPlatform();
  params["templateID"] = cqelbridge::GetInstance()->GetComTemp();
  params["langID"] = qelInfoAccess::GetInstance()->GetLangID();
  return params;
}

std::string UpdateStatusReply(int status) {
  Json::Value reply(Json::arrayValue);
  Json::Value row(Json::objectValue);
  row["STATUS"] = IntToString(status);
  reply.append(row);
  return WriteStyled(reply);
}

qelUpdateCommon* qelUpdateCommon::GetInstance() {
  // Never destroyed: an update may still be running while the process exits.
  static qelUpdateCommon* instance = new qelUpdateCommon;
  return instance;
}

int qelUpdateCommon::CallService(int type, const Json::Value& params, std::string* error, Json::Value* item,
                                 bool requireObject) {
  // An update never depends on a readable catalogue: without the company
  // of the start, the one the last check stored names the caller.
  SessionIdentity identity = qelInfoAccess::Identity();
  if (identity.companyId.empty()) {
    LocalConfigInfo config;
    if (GetLocalConfig(&config) == 0 && config.CurrentCompID != 0)
      identity.companyId = IntToString(config.CurrentCompID);
  }
  qelInternetRequestBean request(identity);
  request.UseIdentityCompanyWhenUnreadable();
  if (!request.AddOneRequestWithParam(type, params)) {
    QEL_LOG(kFun, "add login request error");
    return 1;
  }
  qelInternetResponseBean reply;
  std::string errorReply;
  int result = qel::dataspace::CallService(&request, kFun, &reply, &errorReply);
  if (result != 0) {
    // The service's status text for a service or transport failure.
    if (result != 1 && error != nullptr) {
      *error = reply.IsSuccess() ? reply.GetItemStatus(0) : reply.GetStatusString();
    }
    return result;
  }
  Json::Value first = reply.GetResult(0);
  if (requireObject && !ObjectMember(first, "result").isObject()) {
    QEL_LOG(kFun, "Get internetresponseNdoe error");
    return 1;
  }
  if (item != nullptr) *item = first;
  return 0;
}

int qelUpdateCommon::GetVersionAndLastTime(std::string* error, LocalConfigInfo* remote) {
  Json::Value item;
  int result = CallService(257, UpdateServiceParams(), error, &item, true);
  if (result != 0) return result;
  if (remote != nullptr) {
    remote->nLastTime = StringToInt64(TextMember(ObjectMember(item, "result"), "packageTime"));
    remote->version = 0;
    remote->IsUpdate = UpdateStep::kListDownload;
    remote->Flag = UpdateFlag::kStarted;
  }
  return 0;
}

int qelUpdateCommon::GetDbAndFileUrl(int64_t packageTime, std::string* error, std::string* dbUrl,
                                     std::string* fileUrl) {
  Json::Value params(Json::objectValue);
  params["templateID"] = cqelbridge::GetInstance()->GetComTemp();
  params["langID"] = qelInfoAccess::GetInstance()->GetLangID();
  params["packageTime"] = static_cast<Json::Int64>(packageTime);
  Json::Value item;
  int result = CallService(258, params, error, &item, true);
  if (result != 0) return result;
  const Json::Value& values = ObjectMember(item, "result");
  if (dbUrl != nullptr) *dbUrl = TextMember(values, "DBURL");
  if (fileUrl != nullptr) *fileUrl = TextMember(values, "FILEURL");
  return 0;
}

int qelUpdateCommon::DownloadFile(const std::string& url, const std::string& path, std::string* error,
                                  qel::internet::ProgressCallback progress) {
  QEL_LOG(kFun, "Begin Down:" + url);
  std::string statusReply;
  {
    qel::internet::qelHttpJsonRequest http;
    statusReply = http.DownloadFile(url, "", path, progress);
  }
  QEL_LOG(kFun, "End Down:");
  std::string status = StatusOfReply(statusReply);
  QEL_LOG(kFun, "DownLoad StatusCode:" + status);
  if (status == kServiceSuccess) return 0;
  if (status == "500009") {
    QEL_LOG(kFun, "404Error:" + url);
    return 0;
  }
  if (status.empty() || StringToInt(status) == 0) status = "500003";
  if (error != nullptr) *error = status;
  return StringToInt(status);
}

int qelUpdateCommon::UpdateLocalConfig(int id, const std::string& value, IQELDatasource* datasource) {
  qelRecord record{Json::Value(Json::arrayValue)};
  Json::Value row(Json::objectValue);
  row["VALUE"] = value;
  row["UPFILTER"] = " ID = '" + IntToString(id) + "'";
  record.Append(row);
  if (datasource == nullptr || !datasource->UpdateRecord(kConfigTable, &record)) {
    QEL_LOG(kFun, "Update Local Config Error ");
    return 1;
  }
  return 0;
}

int qelUpdateCommon::WriteStep(UpdateStep step, IQELDatasource* datasource) {
  return UpdateLocalConfig(kConfigIsUpdate, IntToString(static_cast<int>(step)), datasource);
}

int qelUpdateCommon::WriteFlag(UpdateFlag flag, IQELDatasource* datasource) {
  return UpdateLocalConfig(kConfigFlag, IntToString(static_cast<int>(flag)), datasource);
}

int qelUpdateCommon::AddToLocalConfig(const LocalConfigInfo& info) {
  IQELDatasource* datasource = qelInfoAccess::GetInstance()->GetDatasource();
  const struct {
    const char* name;
    std::string value;
  } rows[] = {
      {"nLastTime", Int64ToString(info.nLastTime)},
      {"version", IntToString(info.version)},
      {"IsUpdate", IntToString(static_cast<int>(info.IsUpdate))},
      {"Flag", IntToString(static_cast<int>(info.Flag))},
      {"OldPackTime", Int64ToString(info.OldPackTime)},
      {"Current UID", info.CurrentUID},
      {"Current CompID", IntToString(info.CurrentCompID)},
  };
  // The rows carry their ids, so they are read back by id and never by the
  // table's own order; all seven or none.
  qelTransaction transaction(datasource);
  int id = 1;
  for (const auto& row : rows) {
    qelRecord record{Json::Value(Json::arrayValue)};
    Json::Value values(Json::objectValue);
    values["ID"] = IntToString(id++);
    values["VALUE"] = row.value;
    record.Append(values);
    if (datasource == nullptr || !datasource->AddRecord(kConfigTable, &record)) {
      QEL_LOG(kFun, std::string("Add Local Config Error : ") + row.name);
      return 1;
    }
  }
  if (!transaction.Commit()) {
    QEL_LOG(kFun, "Add Local Config Error : commit");
    return 1;
  }
  return 0;
}

namespace {

// Fills a record from the VALUE texts in row order.
void FillLocalConfig(const std::vector<std::string>& values, LocalConfigInfo* info) {
  if (info == nullptr) return;
  // A missing row reads as "", which gives the field's default.
  auto value = [&](int row) {
    return row <= static_cast<int>(values.size()) ? values[row - 1] : std::string();
  };
  info->nLastTime = StringToInt64(value(kConfigLastTime));
  info->version = StringToInt(value(kConfigVersion));
  info->IsUpdate = ParseUpdateStep(value(kConfigIsUpdate));
  info->Flag = static_cast<UpdateFlag>(StringToInt(value(kConfigFlag)));
  info->OldPackTime = StringToInt64(value(kConfigOldPackTime));
  info->CurrentUID = value(kConfigCurrentUID);
  info->CurrentCompID = StringToInt(value(kConfigCurrentCompID));
}

}  // namespace

int qelUpdateCommon::GetLocalConfig(LocalConfigInfo* info, IQELDatasource* datasource) {
  qelQueryDef def;
  def.AddField(kConfigTable, "VALUE");
  def.AddOrder("ID", 0);
  std::vector<std::string> values;
  if (!ForEachRow(datasource, &def, [&](Json::Value& row) {
         values.push_back(qel::StringMember(row, "VALUE"));
       }).Ran()) {
    QEL_LOG(kFun, "Query error");
    return 1;
  }
  FillLocalConfig(values, info);
  return 0;
}

int64_t qelUpdateCommon::GetLoaclPackTime() {
  IQELDatasource* datasource = qelInfoAccess::GetInstance()->GetDatasource();
  std::string filter = "ID = " + QuoteSqlText(cqelbridge::GetInstance()->GetCompanyID());
  qelQueryDef def;
  def.AddField("COMPANY", "PACKTIME");
  def.SetFilter(filter);
  const StorageRead<Json::Value> row = QueryFirstRow(datasource, &def);
  if (!row.Ran()) {
    QEL_LOG(kFun, "Query error");
    return 1;
  }
  if (!row.Found()) return 0;
  std::string value = qel::StringMember(row.value, "PACKTIME");
  if (value.empty()) {
    QEL_LOG(kFun, "LOCAL PACKTIME IS NULL IN ABOUTCOMPANY");
    return 0;
  }
  return StringToInt64(value);
}

int qelUpdateCommon::GetUpdateType(int64_t remotePackageTime, int* type) {
  LocalConfigInfo local;
  if (CountText(QueryCount(kConfigTable, "")) != "0") {
    int result = GetLocalConfig(&local);
    if (result != 0) {
      QEL_LOG(kFun, "GetLocalConfigError");
      return result;
    }
    if (local.nLastTime == 0) local.nLastTime = GetLoaclPackTime();
  } else {
    if (AddToLocalConfig(LocalConfigInfo()) != 0) {
      QEL_LOG(kFun, "AddToLocalConfig ERROR");
      return 1;
    }
    local.nLastTime = GetLoaclPackTime();
  }
  // OldPackTime is what the census compares product times with: it must
  // stay the time of the data in use while a download is under way.
  if (local.IsUpdate == UpdateStep::kListDownload || local.IsUpdate == UpdateStep::kApplied) {
    int result = UpdateLocalConfig(kConfigOldPackTime, Int64ToString(local.nLastTime));
    if (result != 0) {
      QEL_LOG(kFun, "update localconfig error: OldPackTime");
      return result;
    }
    QEL_LOG(kFun, "Update OldPackTime Success:" + Int64ToString(local.nLastTime));
  }
  std::string uid = cqelbridge::GetInstance()->GetCurrentUID();
  if (uid.empty()) QEL_LOG(kFun, "CurrentUID is Empty!");
  int result = UpdateLocalConfig(kConfigCurrentUID, uid);
  if (result != 0) {
    QEL_LOG(kFun, "Update UID Error!");
    return result;
  }
  // A company the start could not read keeps the one stored before.
  const std::string companyId = cqelbridge::GetInstance()->GetCompanyID();
  if (!companyId.empty())
    result = UpdateLocalConfig(kConfigCurrentCompID, IntToString(StringToInt(companyId)));
  if (result != 0) {
    QEL_LOG(kFun, "Update CompID Error！");
    return result;
  }
  int decided;
  if (remotePackageTime > local.nLastTime) {
    decided = 1;
  } else if (remotePackageTime == local.nLastTime) {
    // An unknown step may hide a package half fetched: it is fetched again.
    decided = IsUnderWay(local.IsUpdate) || local.IsUpdate == UpdateStep::kUnknown ? 1 : 0;
  } else {
    decided = -1;
  }
  if (type != nullptr) *type = decided;
  return decided == -1 ? 1 : 0;
}

int qelUpdateCommon::MoveFileToDes(const std::string& source, const std::string& destination) {
  std::error_code ec;
  // A link is never moved into place: what it names is not the staged file.
  if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(NativePath(source), ec))) {
    QEL_LOG(kFun, " FILE NOT FOUND:" + source);
    return 0;
  }
  // The destination is replaced whole or not at all; the source goes last.
  if (InstallFile(source, destination, true) != 0) {
    QEL_LOG(kFun, "Move failed:" + source + " -> " + destination);
    return 1;
  }
  return 0;
}

int qelUpdateCommon::DeleteOneFile(const std::string& path) {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::symlink_status(NativePath(path), ec);
  // A link goes itself (a dangling one too); what it names stays.
  if (std::filesystem::is_regular_file(status) || std::filesystem::is_symlink(status)) {
    std::filesystem::remove(NativePath(path), ec);
  } else {
    QEL_LOG(kFun, "File is not Exit:" + path);
  }
  return 0;
}

namespace {

// A folder, made when missing. CreateDirectories takes any existing name,
// a file in the folder's place too.
bool EnsureFolder(const std::string& path) {
  return IsDirectory(path) || (CreateDirectories(path) == 0 && IsDirectory(path));
}

// A folder of the update's own: made when missing, and never a link (the
// update writes below it).
bool MakeOwnFolder(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_symlink(std::filesystem::symlink_status(NativePath(path), ec))) {
    QEL_LOG(kFun, "Staging folder is a symbolic link:" + path);
    return false;
  }
  return EnsureFolder(path);
}

}  // namespace

int qelUpdateCommon::CreateTempFolders() {
  std::string temp = UpdateTempPath();
  if (!MakeOwnFolder(temp)) return 1;
  int result = 0;
  for (const char* folder : {kFilesFolder, kDataFolder, kJsonFolder}) {
    if (!MakeOwnFolder(temp + folder)) result = 1;
  }
  return result;
}

int qelUpdateCommon::CreateInstallFolders() {
  // An installation may come with data/ and ver.qel alone.
  for (const char* folder : {kFilesFolder, kJsonFolder}) {
    std::string path = GetLocalPath() + folder;
    if (!EnsureFolder(path)) {
      QEL_LOG(kFun, "Cannot create folder:" + path);
      return 1;
    }
  }
  return 0;
}

int qelUpdateCommon::RemoveStaleTempFiles() {
  namespace fs = std::filesystem;
  std::error_code ec;
  int removed = 0;
  // Links to folders are not followed: only what lies in the staging folders.
  for (fs::recursive_directory_iterator it(NativePath(UpdateTempPath()), ec), end; !ec && it != end;
       it.increment(ec)) {
    const pid_t owner = TempFileOwner(it->path().filename().string());
    // A download of a process still running (another client on this
    // installation) keeps its file.
    std::error_code entryError;
    if (owner == 0 || ProcessRuns(owner) || fs::is_directory(it->symlink_status(entryError))) continue;
    if (fs::remove(it->path(), entryError)) {
      ++removed;
      QEL_LOG(kFun, "Stale temporary file removed:" + Utf8ToGbk(it->path().string()));
    }
  }
  return removed;
}

int qelUpdateCommon::GetCountsFromTable(IQELDatasource* datasource, std::string* count,
                                        const std::string& table, const std::string& filter) {
  // The datasource logs "Database error" itself when it is not open.
  if (datasource == nullptr) {
    QEL_LOG(kFun, "Database error");
    return 1;
  }
  const StorageRead<int64_t> rows = CountRows(datasource, table, filter);
  if (!rows.Found()) return 1;
  if (count != nullptr) *count = Int64ToString(rows.value);
  return 0;
}

int qelUpdateCommon::ClearLocalTable(const std::string& table, IQELDatasource* datasource) {
  return datasource != nullptr && datasource->ClearTable(table) ? 0 : 1;
}

int qelUpdateCommon::MakeDirsEx(const std::string& relativePath, std::string* base) {
  if (base == nullptr) return 1;
  // Split in the UTF-8 form: a GBK trail byte may look like a separator.
  std::string utf8 = GbkToUtf8(relativePath);
  std::vector<std::string> folders;
  std::string name;
  for (char c : utf8) {
    if (IsSeparator(c)) {
      folders.push_back(name);
      name.clear();
    } else {
      name += c;
    }
  }
  // The last segment is the file name and never becomes a folder.
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    *base += "/" + Utf8ToGbk(folder);
    QEL_LOG(kFun, "FileFolder is:" + *base);
    if (!EnsureFolder(*base)) return 1;
  }
  return 0;
}

}  // namespace dataspace
}  // namespace qel
