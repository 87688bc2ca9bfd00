// Data update (run inside the bridge on the data-update thread) and the
// application update list and downloads.
#include <algorithm>
#include <utility>

#include "appupdate.h"
#include "bridgecall.h"
#include "clientcoreruntime.h"
#include "getterhelpers.h"
#include "qelclientcore.h"

namespace qelclientcore {

using namespace detail;

bool CQelClientCore::IsDataNeedUpdateSync() {
  return Guarded(false, [] {
    Reply reply = Call(qel::request::kCheckDataUpdate, "");
    Json::Value root;
    if (!reply.Ok() || !reply.Parse(&root)) return false;
    return ReadCountOrStatus(root, "STATUS", 0) == 1;
  });
}

void CQelClientCore::DoDataUpdateAsync(void* callback) {
  GuardedVoid([callback] {
    if (ClientCoreShutDown()) return;
    SetHostProgressCallback(callback);
    RequestDataUpdate();
  });
}

void CQelClientCore::SetDownloadCallback(void* callback) {
  GuardedVoid([callback] {
    if (!ClientCoreShutDown()) SetHostProgressCallback(callback);
  });
}

bool CQelClientCore::DoDataUpdate() {
  return Guarded(false, [] {
    // One update at a time, whether started here or on the update thread.
    if (!BeginDataUpdate()) return false;
    struct End {
      ~End() { EndDataUpdate(); }
    } end;
    Reply reply = Call(qel::request::kRunDataUpdate, "");
    // A finished update has nothing to say: result 0 is success with or
    // without a reply text.
    if (reply.result == 0) return true;
    ReadError(reply, nullptr);
    return false;
  });
}

int CQelClientCore::IsNeedUpdateApp() {
  return Guarded(0, [] {
    Reply reply = Call(qel::request::kCheckAppUpdate, "");
    Json::Value root;
    if (!reply.Ok() || !reply.Parse(&root)) return 0;
    return ReadCountOrStatus(root, "STATUS", 0);
  });
}

void CQelClientCore::GetUpdateAppList(const std::string&, std::vector<AppUpdateFiles>& out) {
  GuardedVoid([&] {
    std::vector<AppUpdateFiles> files;
    if (!AppendRecords(Call(qel::request::kAppUpdateFiles, ""), &files)) return;
    // A file whose name was refused has no target and is left out.
    files.erase(
        std::remove_if(files.begin(), files.end(),
                       [](const AppUpdateFiles& file) { return file.localPath.empty() || file.url.empty(); }),
        files.end());
    // The list starts the release that the downloads complete. A folder that
    // cannot be marked gets no list: the launcher would install whatever
    // part of it had arrived.
    if (!BeginAppRelease(&files)) return;
    for (AppUpdateFiles& file : files) out.push_back(std::move(file));
  });
}

void CQelClientCore::GetUpdateAppList(std::vector<AppUpdateFiles>& out) {
  GetUpdateAppList(std::string(), out);
}

void CQelClientCore::DownloadFile(const std::string& url, const std::string& path) {
  GuardedVoid([&] {
    if (ClientCoreShutDown()) return;
    DownloadReleaseFile(url, path);
  });
}

}  // namespace qelclientcore
