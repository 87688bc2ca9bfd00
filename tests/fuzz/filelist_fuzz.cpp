// The data update's file lists: the input is the installation's own list
// and the service's list (UTF-8, as they arrive), split at the first
// "\n--\n" (no separator: the input is the service's list and the
// installation has none). Both are read as the update reads them, compared,
// and the differences stored in DOWNLOADINFO. Checked:
//   - a list that does not parse or has no "files" array fails its step
//     and leaves an empty list;
//   - every name taken stays inside its folder (no empty, "." or ".."
//     segment, no drive, no NUL) and fits the file system (no segment over
//     255 bytes, less than PATH_MAX in all), and every entry with a good
//     name is taken;
//   - the comparison is exactly the names in one list and not the other,
//     downloads for the service's, deletions for the installation's;
//   - DOWNLOADINFO reads back exactly what was stored, names byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <json/json.h>

#include "cqelbridge.h"
#include "database/qelinfoaccess.h"
#include "fixture.h"
#include "qel/json.h"
#include "qel/text.h"
#include "update/qelupdatecommon.h"
#include "update/qelupdatefiles.h"

namespace {

using qel::dataspace::DownloadFileInfo;
using qel::dataspace::DownloadFileMap;
using qel::dataspace::qelUpdateFiles;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
  }
}

void Write(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A name from a list stays inside its folder: split on both separators in
// its UTF-8 form (a GBK second byte may be 0x5C), one leading separator; no
// "." or ".." segment and no second leading separator (that would make it
// absolute). A doubled separator inside a name ("a//b") names the same file
// as "a/b" and is let through, as the lists' rules allow. The lengths are
// those of the UTF-8 form the file system is handed: a segment of at most
// 255 bytes, the name after its leading separator under PATH_MAX (4096).
bool StaysInside(const std::string& gbkName) {
  std::string name = qel::GbkToUtf8(gbkName);
  if (name.empty() || name.find(':') != std::string::npos || name.find('\0') != std::string::npos)
    return false;
  size_t start = name[0] == '/' || name[0] == '\\' ? 1 : 0;
  if (start >= name.size() || name[start] == '/' || name[start] == '\\') return false;
  if (name.size() - start >= 4096) return false;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string::npos) end = name.size();
    std::string segment = name.substr(start, end - start);
    if (segment == "." || segment == ".." || segment.size() > 255) return false;
    start = end + 1;
  }
  return true;
}

void CheckList(const std::string& text, const DownloadFileMap& map) {
  Json::Value list;
  bool isList = qel::ParseUtf8JsonToGbk(text, &list) && qel::ArrayMember(list, "files").isArray();
  if (!isList) {
    Check(map.empty(), "no entries from a list that is none");
    return;
  }
  for (const auto& entry : map) {
    Check(entry.first == entry.second.FILENAME, "the key is the name");
    Check(StaysInside(entry.first), "a name taken stays inside its folder");
  }
  for (const Json::Value& entry : qel::ArrayMember(list, "files")) {
    std::string name;
    if (!entry.isObject() || !qel::ReadString(entry, "fileName", &name)) continue;
    if (qel::dataspace::CheckListFileName(name, nullptr)) Check(map.count(name) == 1, "a good name is taken");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string root = qelfuzz::FixtureInstallation();
  static qel::dataspace::IQELDatasource* datasource =
      qel::dataspace::qelInfoAccess::GetInstance()->GetDatasource();
  // DOWNLOADINFO and the lists as built: what is stored before the
  // comparison comes from this input alone.
  qelfuzz::ResetInstallation();

  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find("\n--\n");
  const bool hasLocal = split != std::string::npos;
  const std::string localText = hasLocal ? input.substr(0, split) : "";
  const std::string remoteText = hasLocal ? input.substr(split + 4) : input;

  const std::string localFile = root + qel::dataspace::kJsonFolder + "/" + qel::dataspace::kListFileName;
  const std::string remoteFile =
      qel::dataspace::UpdateTempPath() + qel::dataspace::kJsonFolder + "/" + qel::dataspace::kListFileName;
  std::error_code ec;
  if (hasLocal) {
    Write(localFile, localText);
  } else {
    std::filesystem::remove(localFile, ec);
  }
  Write(remoteFile, remoteText);

  qelUpdateFiles* files = qelUpdateFiles::GetInstance();
  Json::Value parsed;
  const bool remoteIsList =
      qel::ParseUtf8JsonToGbk(remoteText, &parsed) && qel::ArrayMember(parsed, "files").isArray();
  Check(files->ResolveUpdateRequest() == (remoteIsList ? 0 : 1), "a list that is none fails its step");
  const DownloadFileMap remote = files->GetRemoteMap();
  CheckList(remoteText, remote);

  DownloadFileMap local;
  Check(files->GetLocalFileList(&local) == 0, "the installation's list always reads");
  CheckList(hasLocal ? localText : "", local);

  DownloadFileMap before;
  Check(files->GetFileDownLoadList(&before, datasource) == 0, "DOWNLOADINFO reads");
  DownloadFileMap result;
  Check(files->GetInternetDownLoadList(local, &result, datasource) == 0, "the comparison is stored");
  for (const auto& entry : result) {
    bool inRemote = remote.count(entry.first) == 1;
    bool inLocal = local.count(entry.first) == 1;
    Check(inRemote != inLocal, "a difference is in exactly one list");
    Check(entry.second.OPERATETYPE == (inRemote ? 0 : 1), "downloads for the service's, deletions for ours");
    Check(entry.second.URL == (inRemote ? remote : local).at(entry.first).URL, "the entry's address is kept");
  }
  for (const auto& entry : remote)
    if (local.count(entry.first) == 0) Check(result.count(entry.first) == 1, "a new name is downloaded");
  for (const auto& entry : local)
    if (remote.count(entry.first) == 0) Check(result.count(entry.first) == 1, "a gone name is deleted");

  DownloadFileMap stored;
  Check(files->GetFileDownLoadList(&stored, datasource) == 0, "DOWNLOADINFO reads");
  const DownloadFileMap& expected = result.empty() ? before : result;
  Check(stored.size() == expected.size(), "DOWNLOADINFO holds the comparison");
  for (const auto& entry : expected) {
    auto found = stored.find(entry.first);
    Check(found != stored.end(), "a name reads back byte for byte");
    Check(found->second.URL == entry.second.URL && found->second.OPERATETYPE == entry.second.OPERATETYPE,
          "a row reads back as stored");
  }
  return 0;
}
