// The common-library layer of the client core: host facts (service address,
// IP, MAC, system name, whether to keep log files), the module folder, a
// plain file download and the wide/narrow text conversion.
//
// Narrow text here is GBK, like the rest of the client-core API; wide text is
// wchar_t (32-bit on Linux). The host facts come from an ICommonServices
// object that tests replace; the default one reads the environment:
//   QEL_INSTALL_DIR              module folder (default: the folder of the
//                                loaded client-core library)
//   QEL_SERVER_PATH              service base address (default: empty)
//   QEL_LOG_RECORD               "1": the client core keeps its own log files
//   QEL_CACHED_DATA_INTERVAL_MS  pause of the cached-data thread [900000]
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "qelclientcore_export.h"

// Progress of a download: bytes so far and the announced total; non-zero
// stops the transfer.
typedef int (*CommonDownloadProgress)(double downloaded, double total);

// What the common library learns from the host. Every text is GBK.
class QELCLIENTCORE_API ICommonServices {
 public:
  virtual ~ICommonServices() = default;
  virtual bool LogRecord() = 0;
  virtual std::string Server() = 0;
  virtual std::string Ip() = 0;
  virtual std::string Mac() = 0;
  virtual std::string OperationSystemName() = 0;
  // The folder of the installed program files, without a trailing separator.
  virtual std::string ModuleDir() = 0;
  // Pause of the cached-data thread between two sends, in milliseconds.
  virtual int64_t CachedDataIntervalMs() = 0;
  // Downloads url into path; returns the transport's status reply text.
  virtual std::string DownloadFile(const std::string& url, const std::string& second, const std::string& path,
                                   CommonDownloadProgress* progress) = 0;
};

// The services of a real host: the environment variables above, getifaddrs,
// uname and the HTTP transport.
class QELCLIENTCORE_API SystemCommonServices : public ICommonServices {
 public:
  bool LogRecord() override;
  std::string Server() override;
  std::string Ip() override;
  std::string Mac() override;
  std::string OperationSystemName() override;
  std::string ModuleDir() override;
  int64_t CachedDataIntervalMs() override;
  std::string DownloadFile(const std::string& url, const std::string& second, const std::string& path,
                           CommonDownloadProgress* progress) override;
};

class QELCLIENTCORE_API CCommon2 {
 public:
  CCommon2();
  ~CCommon2();
  CCommon2(const CCommon2&) = delete;
  CCommon2& operator=(const CCommon2&) = delete;

  // The one object, built on first use and destroyed at process exit.
  static CCommon2& instance();

  bool LogRecord();
  // Each fills `out` (given empty) with its fact; empty when unknown.
  void GetServer(std::string& out);
  void GetIP(std::string& out);
  void GetMac(std::string& out);
  void GetOperationSystemName(std::string& out);
  // Downloads url into path (a non-empty `second` is sent as a POST body).
  // The file lands at path only when it arrived whole, replacing an older
  // one; returns the transport's status reply ("100000" on success).
  std::string DownloadFile(const std::string& url, const std::string& second, const std::string& path,
                           CommonDownloadProgress* progress);

  // The services in use; SetServices(nullptr) goes back to the system ones.
  std::shared_ptr<ICommonServices> Services();
  void SetServices(std::shared_ptr<ICommonServices> services);

 private:
  std::mutex mutex_;
  std::shared_ptr<ICommonServices> services_;
};

// The module folder (GBK), without a trailing separator.
QELCLIENTCORE_API std::string GetMoudleDirA();

extern "C" {

// GBK to wide text into dst, at most size characters including the
// terminating zero; dst is always terminated (when size > 0). A null src
// gives an empty text. Sequences that are not GBK are dropped.
QELCLIENTCORE_API void charTowchar(const char* src, wchar_t* dst, int size);

// Wide text to GBK into dst, at most size bytes including the terminating
// zero; never splits a character and always terminates (when size > 0).
// Characters GBK cannot hold are dropped.
QELCLIENTCORE_API void wcharTochar(const wchar_t* src, char* dst, int size);

}  // extern "C"

namespace qelclientcore {

// Conversions without a size limit: GBK text (as the records' narrow members
// and the API's narrow arguments hold it) to wide text and back. Sequences
// that are not GBK, and characters GBK cannot hold, are dropped.
QELCLIENTCORE_API std::wstring GbkToWide(const std::string& gbk);
QELCLIENTCORE_API std::string WideToGbk(const std::wstring& wide);
// The GBK form of a host's wide text, only when GBK holds every character:
// false (and *gbk empty) otherwise. Whatever the client core stores or
// sends goes through this one, so no other file, account or text stands in
// for the one the user gave.
QELCLIENTCORE_API bool WideToGbkExact(const std::wstring& wide, std::string* gbk);

}  // namespace qelclientcore
