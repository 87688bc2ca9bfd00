// The application update: whether the service has a newer version of the
// client application, and the list of files that make it up.
#pragma once

#include <string>

#include <json/json.h>

namespace qel {
namespace dataspace {

class qelUpdateSoftWare {
 public:
  static qelUpdateSoftWare* GetInstance();

  // The service's "APPVERSION" of the latest package (type 257).
  int GetInterVersion(std::string* error, std::string* version);
  // Reply [{"STATUS":"n"}]: "0" same version, "1" no local version or a
  // newer one in the first three numbers, "2" only the fourth is newer,
  // "3" the local version is newer. The local version is compared without
  // a UTF-8 byte-order mark and trailing blanks.
  int IsNeedUpdateSoftWare(std::string json, std::string* reply);
  // The file list request (type 515); *item gets item 0.
  int SendDllListRequest(std::string* error, Json::Value* item);
  // Reply: the files of the new version ("url", "filePath", "fileName"),
  // without entries whose file name would leave the update folder.
  int GetAppUpdateFiles(std::string json, std::string* reply);

 private:
  qelUpdateSoftWare() = default;
};

}  // namespace dataspace
}  // namespace qel
