#include "curlsupport.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>

#include <unistd.h>

#include "qel/text.h"

namespace qel {
namespace internet {
namespace detail {

namespace {

long EnvNumber(const char* name, long fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  long value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return fallback;
    if (value > 100000000L) return fallback;  // beyond any sensible time-out
    value = value * 10 + (*p - '0');
  }
  return value > 0 ? value : fallback;
}

}  // namespace

void EnsureCurlGlobalInit() {
  // A failed initialisation is left to libcurl's own lazy one at the first
  // curl_easy_init; the once flag keeps two first constructions from racing.
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

CurlEasy MakeEasy() {
  EnsureCurlGlobalInit();
  return CurlEasy(curl_easy_init());
}

CurlHeaderList::~CurlHeaderList() {
  if (list_ != nullptr) curl_slist_free_all(list_);
}

CurlHeaderList::CurlHeaderList(CurlHeaderList&& other) noexcept : list_(other.list_) {
  other.list_ = nullptr;
}

CurlHeaderList& CurlHeaderList::operator=(CurlHeaderList&& other) noexcept {
  if (this != &other) {
    if (list_ != nullptr) curl_slist_free_all(list_);
    list_ = other.list_;
    other.list_ = nullptr;
  }
  return *this;
}

bool CurlHeaderList::Append(const char* line) {
  curl_slist* grown = curl_slist_append(list_, line);
  if (grown == nullptr) return false;  // the old list is still intact and owned
  list_ = grown;
  return true;
}

UniqueFd::~UniqueFd() { Close(); }

UniqueFd::UniqueFd(UniqueFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

bool UniqueFd::Close() {
  if (fd_ < 0) return true;
  int fd = fd_;
  fd_ = -1;
  // Linux releases the descriptor even when close fails; never retry it.
  return ::close(fd) == 0;
}

Timeouts CurrentTimeouts() {
  Timeouts t;
  t.connectMs = EnvNumber("QEL_HTTP_CONNECT_TIMEOUT_MS", 10000L);
  t.totalMs = EnvNumber("QEL_HTTP_TIMEOUT_MS", 60000L);
  t.lowSpeedSeconds = EnvNumber("QEL_HTTP_LOW_SPEED_TIME_S", 60L);
  return t;
}

namespace {

std::atomic<bool> g_stopped{false};

int StopCheck(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) { return g_stopped.load() ? 1 : 0; }

}  // namespace

void SetStopped(bool stopped) { g_stopped.store(stopped); }

bool SetCommonOptions(CURL* handle, const std::string& url, const Timeouts& timeouts) {
  bool ok = curl_easy_setopt(handle, CURLOPT_URL, url.c_str()) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
  // Once on https, a redirect may not hand the rest (a password, a file's
  // bytes) to a plain http address.
  const char* redirectable = qel::StartsWithNoCase(url, "https:") ? "https" : "http,https";
  ok = ok && curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, redirectable) == CURLE_OK;
  // A redirect loop would otherwise keep a download busy forever.
  ok = ok && curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 20L) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, timeouts.connectMs) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, StopCheck) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
  return ok;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace detail
}  // namespace internet
}  // namespace qel
