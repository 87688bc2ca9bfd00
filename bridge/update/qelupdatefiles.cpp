#include "update/qelupdatefiles.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "cqelbridge.h"
#include "database/qeldatasource.h"
#include "database/qelquery.h"
#include "database/qelquerydef.h"
#include "database/qelrecord.h"
#include "database/qeltransaction.h"
#include "database/qelsqltext.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"
#include "update/qelupdatecommon.h"

namespace qel {
namespace dataspace {

namespace {

const char kFun[] = "qel::dataspace::qelUpdateFiles";
const char kTable[] = "DOWNLOADINFO";
// Rows of one INSERT (four bound values each, well below SQLite's limit).
constexpr size_t kRowsPerStatement = 200;
// Downloaded files are marked in groups: one commit a file would cost more
// than a small file's transfer. A group is written after this many files or
// this long, and always before the run ends or fails, so a stop or failure
// keeps every finished file; only a killed process fetches its last group
// again.
constexpr size_t kMarkGroupFiles = 64;
constexpr std::chrono::milliseconds kMarkGroupTime(250);
// The apply marks its files in larger groups: a move costs far less than a
// download. Within the statement's bound of 999 values.
constexpr size_t kApplyGroupFiles = 500;
// CODE of an entry the service answered 404: accounted for without a file.
const char kAbsentCode[] = "404";

// "UPDATE DOWNLOADINFO SET <assignment> WHERE FILENAME IN (names)".
bool UpdateEntries(IQELDatasource* datasource, const std::string& assignment,
                   const std::vector<std::string>& names) {
  if (names.empty()) return true;
  std::string sql = "UPDATE DOWNLOADINFO SET " + assignment + " WHERE FILENAME IN (";
  for (size_t i = 0; i < names.size(); ++i) sql += i == 0 ? "?" : ",?";
  return ExecSql(datasource, sql + ")", names);
}

// Whether path is a regular file itself (a link is not).
bool IsPlainFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(std::filesystem::symlink_status(NativePath(path), ec));
}

// Progress texts are GBK like every text the host receives; never
// destroyed, as a download may still report while the process exits.
const std::string& DownloadingText() {
  static const std::string& text = *new std::string(Utf8ToGbk("正在下载文件："));
  return text;
}

// The file's place below a folder, for a name that passed CheckListFileName.
std::string Below(const std::string& folder, const std::string& relative) { return folder + "/" + relative; }

}  // namespace

qelUpdateFiles* qelUpdateFiles::GetInstance() {
  // Never destroyed: an update may still be running while the process exits.
  static qelUpdateFiles* instance = new qelUpdateFiles;
  return instance;
}

DownloadFileMap qelUpdateFiles::GetRemoteMap() {
  std::lock_guard<std::mutex> lock(mutex_);
  return remote_;
}

void qelUpdateFiles::SetCurrentFile(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  currentFileName = name;
}

void qelUpdateFiles::SetCurrentStep(int step) {
  std::lock_guard<std::mutex> lock(mutex_);
  currentStep = step;
}

int qelUpdateFiles::ReadListFile(const std::string& path, DownloadFileMap* files, bool required) {
  files->clear();
  // The service's list is held whole only within the bound its download
  // keeps (one staged by an older run may be longer).
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(NativePath(path), ec);
  if (required && !ec && size > static_cast<uintmax_t>(kMaxListBytes)) {
    QEL_LOG(kFun, "File list too long:" + path);
    return 1;
  }
  std::ifstream in(NativePath(path), std::ios::binary);
  std::string text;
  if (in) text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  Json::Value list;
  // The list comes from the service in UTF-8; names are kept as GBK.
  if (!in || !ParseUtf8JsonToGbk(text, &list) || !ArrayMember(list, "files").isArray()) {
    if (required) {
      QEL_LOG(kFun, "File list unreadable:" + path);
      return 1;
    }
    return 0;
  }
  return GetResolveList(list, files);
}

int qelUpdateFiles::ResolveUpdateRequest() {
  QEL_LOG(kFun, "GetResolveListIsBEGIN!");
  DownloadFileMap files;
  int result = ReadListFile(UpdateTempPath() + kJsonFolder + "/" + kListFileName, &files, true);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    remote_ = std::move(files);
  }
  QEL_LOG(kFun, "GetResolveListIsEND!");
  return result;
}

int qelUpdateFiles::GetLocalFileList(DownloadFileMap* files) {
  if (files == nullptr) return 0;
  ReadListFile(GetLocalPath() + kJsonFolder + "/" + kListFileName, files, false);
  return 0;
}

int qelUpdateFiles::GetResolveList(const Json::Value& list, DownloadFileMap* files) {
  for (const Json::Value& entry : ArrayMember(list, "files")) {
    if (!entry.isObject()) continue;
    DownloadFileInfo info;
    info.URL = StringMember(entry, "url") + StringMember(entry, "filePath");
    info.FILENAME = StringMember(entry, "fileName");
    if (!CheckListFileName(info.FILENAME, nullptr)) continue;
    // The first entry of a name stays.
    files->emplace(info.FILENAME, info);
  }
  QEL_LOG(kFun, "MAP SIZE:" + IntToString(static_cast<int>(files->size())));
  return 0;
}

int qelUpdateFiles::GetInternetDownLoadList(const DownloadFileMap& local, DownloadFileMap* result,
                                            IQELDatasource* datasource) {
  DownloadFileMap differences;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& entry : remote_) {
    if (local.count(entry.first) != 0) continue;
    DownloadFileInfo info = entry.second;
    info.OPERATETYPE = 0;
    differences.emplace(entry.first, info);
  }
  for (const auto& entry : local) {
    if (remote_.count(entry.first) != 0) continue;
    DownloadFileInfo info = entry.second;
    info.OPERATETYPE = 1;
    differences.emplace(entry.first, info);
  }
  if (differences.empty()) QEL_LOG(kFun, " The Same Local.qjson Check it!");
  int stored = AddToDownInfo(differences, datasource);
  if (result != nullptr) *result = std::move(differences);
  return stored != 0 ? 1 : 0;
}

int qelUpdateFiles::AddToDownInfo(const DownloadFileMap& result, IQELDatasource* datasource) {
  if (result.empty()) {
    QEL_LOG(kFun, "No File DownLoad!");
    return 0;
  }
  if (datasource == nullptr) return 1;
  // All rows or none: a half-written list would be taken for the whole one
  // when the run resumes at the download step.
  qelTransaction transaction(datasource);
  if (!transaction.Active()) return 1;
  int changes = 0;
  if (!datasource->ExecDelete(kTable, "", &changes)) {
    QEL_LOG(kFun, "Clear Table ERROR  ");
    return 1;
  }
  // Many rows a statement: one statement per row costs more than the
  // rows themselves.
  std::string sql;
  std::vector<std::string> values;
  size_t rows = 0;
  auto flush = [&]() {
    if (rows == 0) return true;
    bool ok = ExecSql(datasource, sql, values);
    sql.clear();
    values.clear();
    rows = 0;
    return ok;
  };
  for (const auto& entry : result) {
    const DownloadFileInfo& info = entry.second;
    sql +=
        rows == 0
            ? "INSERT INTO DOWNLOADINFO (FILENAME, URL, CODE, OPERATETYPE, OPERATESTATUS) VALUES (?,?,?,?,0)"
            : ",(?,?,?,?,0)";
    values.push_back(info.FILENAME);
    values.push_back(info.URL);
    values.push_back(info.CODE);
    values.push_back(IntToString(info.OPERATETYPE));
    if (++rows == kRowsPerStatement && !flush()) {
      QEL_LOG(kFun, " Add QEL_DB_TBL_DOWNLOADINFO Error");
      return 1;
    }
  }
  if (!flush()) {
    QEL_LOG(kFun, " Add QEL_DB_TBL_DOWNLOADINFO Error");
    return 1;
  }
  if (!transaction.Commit()) {
    QEL_LOG(kFun, " Add QEL_DB_TBL_DOWNLOADINFO Error");
    return 1;
  }
  return 0;
}

int qelUpdateFiles::GetFileDownLoadList(DownloadFileMap* files, IQELDatasource* datasource) {
  qelQueryDef def;
  for (const char* field : {"FILENAME", "URL", "CODE", "OPERATETYPE", "OPERATESTATUS"})
    def.AddField(kTable, field);
  const StorageRead<> ok = ForEachRow(datasource, &def, [&](Json::Value& row) {
    DownloadFileInfo info;
    info.FILENAME = qel::StringMember(row, "FILENAME");
    info.URL = qel::StringMember(row, "URL");
    info.CODE = qel::StringMember(row, "CODE");
    info.OPERATETYPE = StringToInt(qel::StringMember(row, "OPERATETYPE"));
    info.OPERATESTATUS = StringToInt(qel::StringMember(row, "OPERATESTATUS"));
    if (files != nullptr) files->emplace(info.FILENAME, info);
  });
  if (!ok.Ran()) {
    QEL_LOG(kFun, "Query error GetFileDownLoadList!");
    return 1;
  }
  return 0;
}

int qelUpdateFiles::UpdateOperateStatus(const std::string& fileName, int status, IQELDatasource* datasource) {
  Json::Value row(Json::objectValue);
  row["OPERATESTATUS"] = IntToString(status);
  row["UPFILTER"] = " FILENAME = " + QuoteSqlText(fileName);
  qelRecord record{Json::Value(Json::arrayValue)};
  record.Append(row);
  if (datasource == nullptr || !datasource->UpdateRecord(kTable, &record)) {
    QEL_LOG(kFun, " Update QEL_DB_TBL_DOWNLOADINFO Error");
    return 1;
  }
  return 0;
}

int qelUpdateFiles::DownFilesByList(DownloadFileMap* files, std::string* error, IQELDatasource* datasource) {
  if (files == nullptr) return 0;
  const int count = static_cast<int>(files->size());
  QEL_LOG(kFun, "DownLoadFileCount:" + IntToString(count));
  qelUpdateCommon* common = qelUpdateCommon::GetInstance();
  const std::string tempFiles = UpdateTempPath() + kFilesFolder;
  std::vector<DownloadFileInfo*> done;
  std::vector<std::string> absent;  // answered 404: no file to apply
  auto lastMark = std::chrono::steady_clock::now();
  // Writes status 1 for the finished entries; false when that fails.
  auto mark = [&]() {
    lastMark = std::chrono::steady_clock::now();
    if (done.empty()) return true;
    std::vector<std::string> names;
    for (DownloadFileInfo* info : done) names.push_back(info->FILENAME);
    qelTransaction transaction(datasource);
    if (!transaction.Active() ||
        !UpdateEntries(datasource, std::string("CODE = '") + kAbsentCode + "'", absent) ||
        !UpdateEntries(datasource, "OPERATESTATUS = 1", names) || !transaction.Commit()) {
      QEL_LOG(kFun, " Update QEL_DB_TBL_DOWNLOADINFO Error");
      return false;
    }
    for (DownloadFileInfo* info : done) {
      info->OPERATESTATUS = 1;
      if (info->OPERATETYPE == 0) QEL_LOG(kFun, "EndCurrentFile update:" + info->FILENAME);
    }
    done.clear();
    absent.clear();
    return true;
  };
  int i = 0;
  for (auto& entry : *files) {
    DownloadFileInfo& info = entry.second;
    ++i;
    SetCurrentStep(static_cast<int>(static_cast<int64_t>(i) * 60 / count) + 10);
    // Downloaded, or applied by a start that found a staged file missing
    // and sent the update back for it.
    if (info.OPERATESTATUS == 1 || info.OPERATESTATUS == 2) continue;
    std::string relative;
    // A deletion downloads nothing, and a name that would leave the staging
    // folder (or reach through a link there) is never fetched; the apply
    // skips it as well.
    if (info.OPERATETYPE != 1 && CheckListFilePlace(info.FILENAME, tempFiles, &relative)) {
      std::string folder = tempFiles;
      int result = 0;
      if (common->MakeDirsEx(relative, &folder) != 0) {
        if (error != nullptr) *error = "1";
        result = 1;
      } else {
        SetCurrentFile(info.FILENAME);
        QEL_LOG(kFun, "SetCurrFile:" + info.FILENAME);
        std::string target = Below(tempFiles, relative);
        common->DeleteOneFile(target);
        result = common->DownloadFile(info.URL, target, error, FileProgress);
        if (result == 0 && !FileExists(target)) absent.push_back(info.FILENAME);
      }
      if (result != 0) {
        QEL_LOG(kFun, "DownLoadFile Error!");
        // What finished before the failure stays finished.
        return mark() ? result : 1;
      }
    }
    done.push_back(&info);
    if ((done.size() >= kMarkGroupFiles || std::chrono::steady_clock::now() - lastMark >= kMarkGroupTime) &&
        !mark()) {
      return 1;
    }
  }
  return mark() ? 0 : 1;
}

int qelUpdateFiles::FilesOperate(const DownloadFileMap& files, const std::string& tempFilesFolder,
                                 IQELDatasource* datasource) {
  qelUpdateCommon* common = qelUpdateCommon::GetInstance();
  const std::string installed = GetLocalPath() + kFilesFolder;
  // The applied marks go in groups, not one commit a file. A kill before a
  // group is written leaves its files moved and unmarked; the next start
  // finds each in place and marks it then.
  std::vector<std::string> applied;
  std::vector<std::string> lost;
  auto lastMark = std::chrono::steady_clock::now();
  auto mark = [&]() {
    lastMark = std::chrono::steady_clock::now();
    if (!UpdateEntries(datasource, "OPERATESTATUS = 2", applied)) {
      QEL_LOG(kFun, " Update QEL_DB_TBL_DOWNLOADINFO Error");
      return false;
    }
    applied.clear();
    return true;
  };
  for (const auto& entry : files) {
    const DownloadFileInfo& info = entry.second;
    if (info.OPERATESTATUS == 2) continue;
    std::string relative;
    // Nothing is moved from or to, or deleted at, a place reached through a
    // link.
    bool safe = CheckListFilePlace(info.FILENAME, installed, &relative);
    if (safe && info.OPERATETYPE == 0) safe = CheckListFilePlace(info.FILENAME, tempFilesFolder, &relative);
    if (safe) {
      if (info.OPERATETYPE == 0) {
        std::string folder = installed;
        std::string target = Below(installed, relative);
        std::string source = Below(tempFilesFolder, relative);
        QEL_LOG(kFun, "LocalPath:" + target);
        QEL_LOG(kFun, "TempPath:" + source);
        if (IsPlainFile(source)) {
          // Within one file system a rename is the whole move (the target is
          // replaced whole, a link there is replaced, not followed); anything
          // else takes the checked move.
          if (common->MakeDirsEx(relative, &folder) != 0 ||
              (::rename(NativePath(source).c_str(), NativePath(target).c_str()) != 0 &&
               common->MoveFileToDes(source, target) != 0)) {
            QEL_LOG(kFun, "Move File Error");
            // What was moved before stays marked.
            mark();
            return 1;
          }
        } else if (!IsPlainFile(target) && info.CODE != kAbsentCode) {
          // Neither staged nor in place (moved by a killed apply): the file
          // is fetched again before the package counts as applied.
          QEL_LOG(kFun, "Staged file missing:" + info.FILENAME);
          lost.push_back(info.FILENAME);
          continue;
        }
      } else if (info.OPERATETYPE == 1) {
        std::string target = Below(installed, relative);
        if (FileExists(target)) common->DeleteOneFile(target);
      }
    }
    applied.push_back(info.FILENAME);
    if ((applied.size() >= kApplyGroupFiles ||
         std::chrono::steady_clock::now() - lastMark >= kMarkGroupTime) &&
        !mark()) {
      return 1;
    }
  }
  if (!mark()) return 1;
  if (!lost.empty()) {
    // The update goes back to its file downloads, which fetch only these.
    qelTransaction transaction(datasource);
    bool ok = transaction.Active();
    for (size_t i = 0; ok && i < lost.size(); i += kApplyGroupFiles) {
      const size_t end = std::min(lost.size(), i + kApplyGroupFiles);
      ok = UpdateEntries(datasource, "OPERATESTATUS = 0",
                         std::vector<std::string>(lost.begin() + static_cast<std::ptrdiff_t>(i),
                                                  lost.begin() + static_cast<std::ptrdiff_t>(end)));
    }
    ok = ok && common->WriteStep(UpdateStep::kFilesDownload, datasource) == 0 && transaction.Commit();
    QEL_LOG(kFun,
            ok ? "Missing files are fetched again by the next run" : " Update QEL_DB_TBL_DOWNLOADINFO Error");
    return 1;
  }
  return common->ClearLocalTable(kTable, datasource);
}

std::string qelUpdateFiles::ProgressText(double downloaded, double total) {
  // Without an announced length the share is unknown: 0 rather than a
  // negative or endless figure.
  double percent = total > 0 ? downloaded * 100.0 / total : 0.0;
  if (!(percent >= 0)) percent = 0;
  if (percent > 100) percent = 100;
  char number[32];
  std::snprintf(number, sizeof number, "%.1f%%", percent);
  std::string name;
  {
    qelUpdateFiles* self = GetInstance();
    std::lock_guard<std::mutex> lock(self->mutex_);
    name = self->currentFileName;
  }
  return DownloadingText() + name + " " + number;
}

int qelUpdateFiles::FileProgress(double downloaded, double total) {
  int step;
  {
    qelUpdateFiles* self = GetInstance();
    std::lock_guard<std::mutex> lock(self->mutex_);
    step = self->currentStep;
  }
  std::string text = ProgressText(downloaded, total);
  return NotifyUpdateProgress(step, text.c_str());
}

int qelUpdateFiles::DatabaseProgress(double downloaded, double total) {
  double share = total > 0 ? downloaded / total : 0.0;
  if (!(share >= 0)) share = 0;
  if (share > 1) share = 1;
  // 99 at most: 100 is the run's own report once the package is staged whole.
  int step = std::min(99, static_cast<int>(std::floor(share * 30)) + 70);
  std::string text = ProgressText(downloaded, total);
  return NotifyUpdateProgress(step, text.c_str());
}

}  // namespace dataspace
}  // namespace qel
