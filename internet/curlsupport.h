// libcurl plumbing shared by the transfers: owners for easy handles, header
// lists and file descriptors, the one global initialisation, and the
// time-outs with their environment overrides.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include <curl/curl.h>

namespace qel {
namespace internet {
namespace detail {

struct CurlEasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

// Runs curl_global_init once per process, before the first handle is made,
// also when several threads construct their first transport at once.
void EnsureCurlGlobalInit();

// A fresh easy handle, or empty when libcurl cannot make one.
CurlEasy MakeEasy();

// Owns a curl_slist; Append reports an allocation failure.
class CurlHeaderList {
 public:
  CurlHeaderList() = default;
  ~CurlHeaderList();
  CurlHeaderList(const CurlHeaderList&) = delete;
  CurlHeaderList& operator=(const CurlHeaderList&) = delete;
  CurlHeaderList(CurlHeaderList&& other) noexcept;
  CurlHeaderList& operator=(CurlHeaderList&& other) noexcept;

  bool Append(const char* line);
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

// Owns a POSIX file descriptor. Close() reports the outcome of close(2),
// which for a written file counts as the last write.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& other) noexcept;
  UniqueFd& operator=(UniqueFd&& other) noexcept;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  bool Close();

 private:
  int fd_ = -1;
};

struct Timeouts {
  long connectMs;        // every operation
  long totalMs;          // JSON-RPC, upload and size probe
  long lowSpeedSeconds;  // downloads: under 1 byte/s this long ends them
};

// Defaults 10 s, 60 s and 60 s; see the environment variables in
// qelhttpjsonrequest.h.
Timeouts CurrentTimeouts();

// While set, every transfer in flight ends at its next progress check
// (about once a second when nothing moves) and every new one fails.
void SetStopped(bool stopped);

// Options every transfer shares: the URL, no signals, http and https only
// (redirects too; a transfer that starts on https is redirected to https
// only), a bounded number of redirects, the connect time-out and the stop
// check. False when libcurl refuses one of them.
bool SetCommonOptions(CURL* handle, const std::string& url, const Timeouts& timeouts);

// Writes all of data to fd, retrying short writes; false on any error.
bool WriteAll(int fd, const char* data, size_t size);

}  // namespace detail
}  // namespace internet
}  // namespace qel
