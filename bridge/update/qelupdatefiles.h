// The resource files of the installation against the service's file list:
// comparison into DOWNLOADINFO, downloads into the staging folder and the
// apply at start-up.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include <json/json.h>

namespace qel {
namespace dataspace {

class IQELDatasource;

// One entry of a file list or one row of DOWNLOADINFO.
struct DownloadFileInfo {
  std::string URL;        // "url" followed directly by "filePath"
  std::string FILENAME;   // "fileName": the key, relative to the resource folder
  std::string CODE;       // stored and read back, never filled from a list
  int OPERATETYPE = -1;   // 0 download, 1 delete, -1 not compared yet
  int OPERATESTATUS = 0;  // 0 pending, 1 downloaded (or accounted for), 2 applied
};

// File name -> entry, walked in key order.
using DownloadFileMap = std::map<std::string, DownloadFileInfo>;

class qelUpdateFiles {
 public:
  static qelUpdateFiles* GetInstance();

  // Reads LOCAL_PATH/temp/json/local.qjson into the remote map (emptied
  // first). 0; 1 when the file is missing, does not parse or has no "files"
  // array (the map then stays empty).
  int ResolveUpdateRequest();
  // Reads LOCAL_PATH/json/local.qjson; a missing or unreadable file is an
  // empty list. Returns 0.
  int GetLocalFileList(DownloadFileMap* files);
  // Entries of a parsed list; unsafe names and repeated names are skipped.
  int GetResolveList(const Json::Value& list, DownloadFileMap* files);
  // Remote entries missing locally become downloads, local entries missing
  // remotely deletions; the result is stored in DOWNLOADINFO. 0 or 1.
  int GetInternetDownLoadList(const DownloadFileMap& local, DownloadFileMap* result,
                              IQELDatasource* datasource);
  // Replaces the rows of DOWNLOADINFO with result in one transaction; an
  // empty result keeps the rows.
  int AddToDownInfo(const DownloadFileMap& result, IQELDatasource* datasource);
  int GetFileDownLoadList(DownloadFileMap* files, IQELDatasource* datasource);
  int UpdateOperateStatus(const std::string& fileName, int status, IQELDatasource* datasource);
  // Downloads the pending entries to LOCAL_PATH/temp/files (progress 10 to
  // 70); an entry the service answers 404 is marked with CODE "404". The
  // first failure is returned with the entry left pending.
  int DownFilesByList(DownloadFileMap* files, std::string* error, IQELDatasource* datasource);
  // Applies the entries at start-up: moves downloads into LOCAL_PATH/files,
  // deletes deletions, marks them applied in groups, then empties
  // DOWNLOADINFO. A download neither staged nor in place (nor answered 404)
  // fails the apply: its entry goes back to pending and the update to its
  // file downloads (status 2), so the next run fetches it.
  int FilesOperate(const DownloadFileMap& files, const std::string& tempFilesFolder,
                   IQELDatasource* datasource);

  // Progress of the download under way, handed to the transport.
  static int FileProgress(double downloaded, double total);
  // 70 to 99: only the run reports 100, once the package is staged whole.
  static int DatabaseProgress(double downloaded, double total);

  // The remote list read by the last ResolveUpdateRequest.
  DownloadFileMap GetRemoteMap();
  void SetCurrentFile(const std::string& name);
  void SetCurrentStep(int step);

 private:
  qelUpdateFiles() = default;

  int ReadListFile(const std::string& path, DownloadFileMap* files, bool required);
  static std::string ProgressText(double downloaded, double total);

  std::mutex mutex_;  // guards the three members below (progress runs on the download thread)
  DownloadFileMap remote_;
  std::string currentFileName;
  int currentStep = 0;
};

}  // namespace dataspace
}  // namespace qel
