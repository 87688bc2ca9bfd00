#include "common/qelcommon2.h"

#include <dlfcn.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <arpa/inet.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "qel/json.h"
#include "qel/text.h"
#include "qelhttpjsonrequest.h"

namespace {

std::string EnvText(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

std::string StripTrailingSeparators(std::string path) {
  while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
  return path;
}

// The file that holds `address`, as an absolute path: the kernel's map of
// the process names every mapped file absolutely, while dladdr gives the
// name the loader was handed, which may be relative to a working folder the
// host has left since.
std::string MappedFileOf(const void* address) {
  std::FILE* maps = std::fopen("/proc/self/maps", "r");
  if (maps == nullptr) return std::string();
  std::string found;
  uintptr_t target = reinterpret_cast<uintptr_t>(address);
  char line[4096 + 256];
  while (found.empty() && std::fgets(line, sizeof(line), maps) != nullptr) {
    unsigned long long begin = 0;
    unsigned long long end = 0;
    int pathStart = 0;
    if (std::sscanf(line, "%llx-%llx %*s %*s %*s %*s %n", &begin, &end, &pathStart) < 2 || pathStart == 0)
      continue;
    if (target < begin || target >= end) continue;
    std::string path(line + pathStart);
    while (!path.empty() && (path.back() == '\n' || path.back() == ' ')) path.pop_back();
    if (!path.empty() && path[0] == '/') found = path;
  }
  std::fclose(maps);
  return found;
}

// The folder of the file this function was loaded from: the client-core
// library, or the program that linked its objects in.
std::string LoadedModuleFolder() {
  const void* self = reinterpret_cast<const void*>(&LoadedModuleFolder);
  std::string file = MappedFileOf(self);
  if (file.empty()) {
    Dl_info info{};
    if (dladdr(self, &info) == 0 || info.dli_fname == nullptr) return ".";
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(info.dli_fname, ec);
    file = ec ? std::string(info.dli_fname) : absolute.string();
  }
  std::string folder = std::filesystem::path(file).parent_path().string();
  return folder.empty() ? std::string(".") : folder;
}

// First interface that is up and not loopback, with an IPv4 address.
bool FirstInterface(std::string* name, std::string* ip) {
  struct ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  bool found = false;
  for (struct ifaddrs* it = list; it != nullptr && !found; it = it->ifa_next) {
    if (it->ifa_addr == nullptr || it->ifa_name == nullptr) continue;
    if ((it->ifa_flags & IFF_UP) == 0 || (it->ifa_flags & IFF_LOOPBACK) != 0) continue;
    if (it->ifa_addr->sa_family != AF_INET) continue;
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const struct sockaddr_in*>(it->ifa_addr);
    if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof(text)) == nullptr) continue;
    *name = it->ifa_name;
    *ip = text;
    found = true;
  }
  freeifaddrs(list);
  return found;
}

std::string MacOf(const std::string& interfaceName) {
  struct ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return std::string();
  std::string mac;
  for (struct ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
    if (it->ifa_addr == nullptr || it->ifa_name == nullptr || it->ifa_addr->sa_family != AF_PACKET) continue;
    if (interfaceName != it->ifa_name) continue;
    const auto* ll = reinterpret_cast<const struct sockaddr_ll*>(it->ifa_addr);
    if (ll->sll_halen == 0) continue;
    char octet[4];
    for (int i = 0; i < ll->sll_halen && i < 8; ++i) {
      std::snprintf(octet, sizeof(octet), i == 0 ? "%02X" : "-%02X", ll->sll_addr[i]);
      mac += octet;
    }
    break;
  }
  freeifaddrs(list);
  return mac;
}

constexpr int64_t kDefaultCachedDataIntervalMs = 900000;

// Decodes UTF-8 (valid after iconv); a broken sequence is skipped.
std::wstring DecodeUtf8(const std::string& utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    unsigned char b = static_cast<unsigned char>(utf8[i]);
    int extra = 0;
    uint32_t c = 0;
    if (b < 0x80) {
      c = b;
    } else if ((b & 0xE0) == 0xC0) {
      extra = 1;
      c = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2;
      c = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3;
      c = b & 0x07;
    } else {
      ++i;
      continue;
    }
    if (i + extra >= utf8.size()) break;  // a sequence cut at the end
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      unsigned char t = static_cast<unsigned char>(utf8[i + k]);
      if ((t & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      c = (c << 6) | (t & 0x3F);
    }
    if (!ok) {
      ++i;
      continue;
    }
    out.push_back(static_cast<wchar_t>(c));
    i += extra + 1;
  }
  return out;
}

// Length of the GBK character that starts at p (1 or 2 bytes).
size_t GbkCharLength(const std::string& text, size_t p) {
  unsigned char b = static_cast<unsigned char>(text[p]);
  if (qel::IsGbkLeadByte(b) && p + 1 < text.size()) return 2;
  return 1;
}

}  // namespace

// ---- System services ------------------------------------------------------

bool SystemCommonServices::LogRecord() { return EnvText("QEL_LOG_RECORD") == "1"; }

std::string SystemCommonServices::Server() { return qel::Utf8ToGbk(EnvText("QEL_SERVER_PATH")); }

std::string SystemCommonServices::Ip() {
  std::string name;
  std::string ip;
  FirstInterface(&name, &ip);
  return ip;
}

std::string SystemCommonServices::Mac() {
  std::string name;
  std::string ip;
  if (!FirstInterface(&name, &ip)) return std::string();
  return MacOf(name);
}

std::string SystemCommonServices::OperationSystemName() {
  struct utsname info {};
  if (uname(&info) != 0) return std::string();
  return qel::Utf8ToGbk(std::string(info.sysname) + " " + info.release);
}

std::string SystemCommonServices::ModuleDir() {
  std::string dir = EnvText("QEL_INSTALL_DIR");
  if (dir.empty()) dir = LoadedModuleFolder();
  // The folder becomes LOCAL_PATH, which the bridge reads as GBK.
  return qel::Utf8ToGbk(StripTrailingSeparators(dir));
}

int64_t SystemCommonServices::CachedDataIntervalMs() {
  std::string text = EnvText("QEL_CACHED_DATA_INTERVAL_MS");
  if (!qel::IsDecimalId(text) || text.size() > 12) return kDefaultCachedDataIntervalMs;
  int64_t ms = qel::StringToInt64(text);
  return ms > 0 ? ms : kDefaultCachedDataIntervalMs;
}

std::string SystemCommonServices::DownloadFile(const std::string& url, const std::string& second,
                                               const std::string& path, CommonDownloadProgress* progress) {
  qel::internet::ProgressCallback callback = progress != nullptr ? *progress : nullptr;
  qel::internet::qelHttpJsonRequest request;
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path target(qel::NativePath(path));
  if (!path.empty() && target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
  if (path.empty() || !fs::exists(target, ec)) return request.DownloadFile(url, second, path, callback);

  // The transport never overwrites: fetch beside the old file and move the
  // new one over it only once it is complete. The name is one the launcher
  // never installs, should the host end between the two moves.
  std::string fresh = path + qel::kTempFileMark + "new";
  fs::remove(qel::NativePath(fresh), ec);
  std::string reply = request.DownloadFile(url, second, fresh, callback);
  if (fs::exists(qel::NativePath(fresh), ec)) {
    fs::rename(qel::NativePath(fresh), target, ec);
    if (ec) {
      fs::remove(qel::NativePath(fresh), ec);
      return qel::StatusReplyText(qel::internet::INVOKE_RENAME_FAILED);
    }
  }
  return reply;
}

// ---- CCommon2 ---------------------------------------------------------------

CCommon2::CCommon2() : services_(std::make_shared<SystemCommonServices>()) {}
CCommon2::~CCommon2() = default;

CCommon2& CCommon2::instance() {
  static CCommon2 rcom;
  return rcom;
}

std::shared_ptr<ICommonServices> CCommon2::Services() {
  std::lock_guard<std::mutex> lock(mutex_);
  return services_;
}

void CCommon2::SetServices(std::shared_ptr<ICommonServices> services) {
  std::lock_guard<std::mutex> lock(mutex_);
  services_ = services ? std::move(services) : std::make_shared<SystemCommonServices>();
}

bool CCommon2::LogRecord() { return Services()->LogRecord(); }
void CCommon2::GetServer(std::string& out) { out = Services()->Server(); }
void CCommon2::GetIP(std::string& out) { out = Services()->Ip(); }
void CCommon2::GetMac(std::string& out) { out = Services()->Mac(); }
void CCommon2::GetOperationSystemName(std::string& out) { out = Services()->OperationSystemName(); }

std::string CCommon2::DownloadFile(const std::string& url, const std::string& second, const std::string& path,
                                   CommonDownloadProgress* progress) {
  return Services()->DownloadFile(url, second, path, progress);
}

// ---- Unmangled functions ----------------------------------------------------

std::string GetMoudleDirA() { return CCommon2::instance().Services()->ModuleDir(); }

void charTowchar(const char* src, wchar_t* dst, int size) {
  if (dst == nullptr || size <= 0) return;
  std::wstring wide = src != nullptr ? qelclientcore::GbkToWide(src) : std::wstring();
  size_t n = std::min(wide.size(), static_cast<size_t>(size) - 1);
  std::wmemcpy(dst, wide.data(), n);
  dst[n] = L'\0';
}

void wcharTochar(const wchar_t* src, char* dst, int size) {
  if (dst == nullptr || size <= 0) return;
  std::string gbk = src != nullptr ? qelclientcore::WideToGbk(src) : std::string();
  size_t limit = static_cast<size_t>(size) - 1;
  size_t n = 0;
  while (n < gbk.size()) {
    size_t len = GbkCharLength(gbk, n);
    if (n + len > limit) break;
    n += len;
  }
  std::memcpy(dst, gbk.data(), n);
  dst[n] = '\0';
}

namespace qelclientcore {

std::wstring GbkToWide(const std::string& gbk) { return DecodeUtf8(qel::GbkToUtf8(std::string_view(gbk))); }

namespace {

// The UTF-8 form of wide text; false when a unit is no character (a
// surrogate or a value beyond Unicode), which is left out.
bool WideToUtf8(const std::wstring& wide, std::string* utf8) {
  utf8->reserve(wide.size());
  bool whole = true;
  for (wchar_t c : wide) {
    const auto cp = static_cast<uint32_t>(c);
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) whole = false;
    qel::AppendUtf8(cp, utf8);
  }
  return whole;
}

}  // namespace

std::string WideToGbk(const std::wstring& wide) {
  std::string utf8;
  WideToUtf8(wide, &utf8);
  return qel::Utf8ToGbk(std::string_view(utf8));
}

bool WideToGbkExact(const std::wstring& wide, std::string* gbk) {
  std::string utf8;
  if (WideToUtf8(wide, &utf8) && qel::Utf8ToGbkExact(utf8, gbk)) return true;
  gbk->clear();
  return false;
}

}  // namespace qelclientcore
