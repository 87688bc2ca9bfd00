// The session: the owner of the local database connection, the language id
// that every language-twin table and the error texts are read with, and the
// caller's identity that service requests carry.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

namespace qel {
namespace dataspace {

class IQELDatasource;

// Who is calling, as service requests and the company pages need it. A
// plain value: the beans take a copy and never reach back into the bridge.
struct SessionIdentity {
  std::string userId;        // current user ("" when nobody is logged in)
  std::string companyId;     // COMPANY.ID
  std::string templateId;    // COMPANY.COMTEMP
  std::string serialId;      // COMPANY.SERIALID
  std::string platformCode;  // "source" code of the start-up platform ("310000", ...)
  std::string langId;        // language id text ("3")
  int platform = 0;          // start-up platform number (the requests' "deviceType")
  std::string mac;           // start-up MAC text
};

class qelInfoAccess {
 public:
  // Hands the installation folder to the session before its first use; the
  // main database is LOCAL_PATH + "/data/qel_data.db". A call after the
  // session is built changes nothing: the database is opened once.
  static void Start(const std::string& localPath);

  // Built on first use. The main database is opened (never created) at the
  // first use once Start has given a non-empty folder; before that no
  // session is opened. Later calls return the same object.
  static qelInfoAccess* GetInstance();

  // The datasource of the main database; null when none could be made. It
  // may be closed (no folder yet, or a missing file): every query then
  // fails.
  IQELDatasource* GetDatasource();
  // The language id as text ("3").
  std::string GetLangID();

  // A copy of the caller's identity; safe from any thread. The identity is
  // kept apart from the connection, so setting it never opens the database.
  static SessionIdentity Identity();
  static void SetUserId(const std::string& userId);
  static void SetCompany(const std::string& companyId, const std::string& serialId,
                         const std::string& templateId);
  // The start-up values: platform number, its "source" code, MAC text.
  static void SetPlatform(int platform, const std::string& platformCode, const std::string& mac);

 private:
  // Fixes the language id at 3; only the constructor calls it, so readers
  // on other threads never see it change.
  void SetLangID();
  // Opens the main database once the folder is known; once only.
  void OpenSession();
  qelInfoAccess();
  ~qelInfoAccess() = default;
  qelInfoAccess(const qelInfoAccess&) = delete;
  qelInfoAccess& operator=(const qelInfoAccess&) = delete;

  std::mutex openMutex;
  std::atomic<bool> opened{false};
  std::atomic<IQELDatasource*> datasource{nullptr};
  int langId = 3;
  std::string langIdText = "3";
};

}  // namespace dataspace
}  // namespace qel
