// JSON-RPC requests and uploads of qelHttpJsonRequest; the downloads live in
// qelhttpdownload.cpp.
#include "qelhttpjsonrequest.h"

#include <cerrno>
#include <chrono>
#include <functional>
#include <new>
#include <string>

#include <curl/curl.h>
#include <fcntl.h>
#include <glog/logging.h>
#include <sys/stat.h>
#include <unistd.h>

#include "curlsupport.h"
#include "qel/text.h"
#include "qelhttpjsonrqstinter.h"

namespace qel {
namespace internet {

namespace {

using detail::CurlEasy;
using detail::CurlHeaderList;
using detail::UniqueFd;

// A service reply is held in memory, so it is bounded: a longer one fails
// while it arrives instead of growing without end.
constexpr size_t kMaxReplyBytes = 16u * 1024u * 1024u;
// Past this size the reply's buffer takes the whole bound at once: its pages
// are backed only as bytes arrive, and no doubling copy lifts the peak.
constexpr size_t kSmallReplyBytes = 64u * 1024u;

size_t StringWriteCallback(char* data, size_t size, size_t count, void* target) {
  if (target == nullptr) return 0;
  auto* reply = static_cast<std::string*>(target);
  size_t bytes = size * count;
  if (bytes > kMaxReplyBytes - reply->size()) return 0;  // libcurl ends the transfer as failed
  try {
    size_t needed = reply->size() + bytes;
    if (needed > reply->capacity() && needed > kSmallReplyBytes) reply->reserve(kMaxReplyBytes);
    reply->append(data, bytes);
  } catch (...) {
    return 0;  // out of memory: libcurl ends the transfer as failed
  }
  return bytes;
}

// The address without its query or user part: enough to tell which service
// answered, nothing that a request may carry.
std::string UrlForLog(const std::string& url) {
  std::string shown = url.substr(0, url.find_first_of("?#"));
  size_t authority = shown.find("://");
  authority = authority == std::string::npos ? 0 : authority + 3;
  size_t at = shown.find('@', authority);
  if (at != std::string::npos && at < shown.find('/', authority)) shown.erase(authority, at + 1 - authority);
  return shown;
}

// The upload is read straight from the descriptor so that a read error
// fails the transfer instead of ending the body early.
size_t FileReadCallback(char* buffer, size_t size, size_t count, void* source) {
  int fd = *static_cast<int*>(source);
  for (;;) {
    ssize_t n = ::read(fd, buffer, size * count);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) return CURL_READFUNC_ABORT;
  }
}

// Lets libcurl send the body again after a redirect.
int FileSeekCallback(void* source, curl_off_t offset, int origin) {
  int fd = *static_cast<int*>(source);
  return ::lseek(fd, static_cast<off_t>(offset), origin) < 0 ? CURL_SEEKFUNC_FAIL : CURL_SEEKFUNC_OK;
}

}  // namespace

qelHttpJsonRequest::qelHttpJsonRequest() {
  try {
    detail::EnsureCurlGlobalInit();
  } catch (...) {
    // libcurl initialises itself lazily at the first handle if this failed.
  }
  inter_.reset(new (std::nothrow) qelHttpJsonRqstInter());
}

qelHttpJsonRequest::qelHttpJsonRequest(const qelHttpJsonRequest& /*other*/)
    : inter_(new (std::nothrow) qelHttpJsonRqstInter()) {}

qelHttpJsonRequest& qelHttpJsonRequest::operator=(const qelHttpJsonRequest& /*other*/) {
  // Stateless: each instance keeps its own internal object.
  return *this;
}

qelHttpJsonRequest::~qelHttpJsonRequest() = default;

void SetTransfersStopped(bool stopped) { detail::SetStopped(stopped); }

std::string qelHttpJsonRequest::StatusReply(int code) const {
  try {
    return qelHttpJsonRqstInter::MakeStatusReply(code);
  } catch (...) {
    return std::string();
  }
}

void qelHttpJsonRequest::urlEncodeSpace(std::string& out, const char* text, size_t len) {
  out.clear();
  if (text == nullptr) return;
  out.reserve(len);
  for (size_t i = 0; i < len; ++i) {
    if (text[i] == ' ') {
      out += "%20";
    } else {
      out += text[i];
    }
  }
}

namespace {

// Scheme, host and port of an absolute URL, the port filled in from the
// scheme; empty when it does not parse.
std::string Origin(const std::string& url) {
  CURLU* parsed = curl_url();
  if (parsed == nullptr) return std::string();
  std::string origin;
  char* part[3] = {nullptr, nullptr, nullptr};
  if (curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
      curl_url_get(parsed, CURLUPART_SCHEME, &part[0], 0) == CURLUE_OK &&
      curl_url_get(parsed, CURLUPART_HOST, &part[1], 0) == CURLUE_OK &&
      curl_url_get(parsed, CURLUPART_PORT, &part[2], CURLU_DEFAULT_PORT) == CURLUE_OK) {
    origin = qel::ToLower(part[0]) + "://" + qel::ToLower(part[1]) + ":" + part[2];
  }
  for (char* text : part) curl_free(text);
  curl_url_cleanup(parsed);
  return origin;
}

// A redirect loop ends here, as for a download.
constexpr int kMaxRedirects = 20;

// The common end of a post and an upload: headers, the reply collected in
// memory under the whole-call time-out and the size bound, the reply
// converted to GBK; ok carries whether the caller's own options were all
// taken. The body holds accounts and passwords, so a redirect is followed
// only within the request's own origin (scheme, host and port), as libcurl
// keeps credentials from other hosts; libcurl itself would send the body to
// any host. rewind, when given, starts the body again for the next address.
// The HTTP status is not looked at beyond a warning: an error page is the
// caller's reply.
bool PerformForReply(CURL* h, const std::string& url, const CurlHeaderList& headers,
                     const detail::Timeouts& timeouts, bool ok, std::string* gbkReply,
                     const std::function<bool()>& rewind = nullptr) {
  std::string reply;
  ok = ok && curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, StringWriteCallback) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_WRITEDATA, &reply) == CURLE_OK;
  // A reply that announces more than the bound is refused before its body.
  ok = ok &&
       curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxReplyBytes)) == CURLE_OK;
  if (!ok) return false;
  const std::string origin = Origin(url);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeouts.totalMs);
  std::string current = url;
  long code = 0;
  for (int redirects = 0;; ++redirects) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    reply.clear();
    if (curl_easy_setopt(h, CURLOPT_URL, current.c_str()) != CURLE_OK ||
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count())) != CURLE_OK ||
        curl_easy_perform(h) != CURLE_OK)
      return false;
    code = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
    char* location = nullptr;
    if (code < 300 || code > 399 || curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &location) != CURLE_OK ||
        location == nullptr)
      break;
    if (origin.empty() || Origin(location) != origin) {
      LOG(WARNING) << "HTTP status " << code << " from " << UrlForLog(current)
                   << ": a redirect to another origin is not followed";
      return false;
    }
    if (redirects == kMaxRedirects) {
      LOG(WARNING) << "too many redirects from " << UrlForLog(url);
      return false;
    }
    current = location;
    if (rewind && !rewind()) return false;
  }
  if (code < 200 || code > 299) LOG(WARNING) << "HTTP status " << code << " from " << UrlForLog(current);
  *gbkReply = qel::Utf8ToGbk(reply);
  return true;
}

}  // namespace

std::string qelHttpJsonRequest::Invoke(const std::string& url, const std::string& body) {
  try {
    std::string utf8Body = qel::GbkToUtf8(body);
    std::string utf8Url = qel::GbkToUtf8(url);
    if (utf8Url.empty()) return StatusReply(INVOKE_URL_EMPTY);

    CurlEasy handle = detail::MakeEasy();
    if (!handle) return StatusReply(INVOKE_CURL_INIT_FAILED);

    std::string escapedUrl;
    urlEncodeSpace(escapedUrl, utf8Url.data(), utf8Url.size());
    detail::Timeouts timeouts = detail::CurrentTimeouts();
    CurlHeaderList headers;
    CURL* h = handle.get();
    bool ok = detail::SetCommonOptions(h, escapedUrl, timeouts);
    // A redirected post is sent again as a post with its body (a GET after
    // 301, 302 and 303 would read whatever that answers as the service's
    // reply): PerformForReply sends the same request to the new address.
    if (!utf8Body.empty()) {
      // A body makes the request a POST; without one it stays a GET.
      ok = ok && curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(utf8Body.size())) ==
                     CURLE_OK;
      ok = ok && curl_easy_setopt(h, CURLOPT_POSTFIELDS, utf8Body.c_str()) == CURLE_OK;
    }
    ok = ok && headers.Append("Content-Type: application/x-www-form-urlencoded; charset=UTF-8");
    std::string reply;
    return PerformForReply(h, escapedUrl, headers, timeouts, ok, &reply)
               ? reply
               : StatusReply(INVOKE_TRANSFER_FAILED);
  } catch (...) {
    return StatusReply(INVOKE_TRANSFER_FAILED);
  }
}

std::string qelHttpJsonRequest::UploadFile(const std::string& url, const std::string& /*body*/,
                                           const std::string& localPath) {
  try {
    // UTF-8 on the wire, as for every other request.
    std::string utf8Url = qel::GbkToUtf8(url);
    if (utf8Url.empty()) return StatusReply(INVOKE_URL_EMPTY);
    if (localPath.empty()) return StatusReply(INVOKE_PATH_EMPTY_OR_EXISTS);

    UniqueFd file(::open(qel::NativePath(localPath).c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid()) return StatusReply(INVOKE_OPEN_FILE_FAILED);
    struct stat st;
    if (::fstat(file.get(), &st) != 0) return StatusReply(INVOKE_FILE_SIZE_FAILED);
    if (!S_ISREG(st.st_mode)) return StatusReply(INVOKE_OPEN_FILE_FAILED);

    CurlEasy handle = detail::MakeEasy();
    if (!handle) return StatusReply(INVOKE_CURL_INIT_FAILED);

    std::string escapedUrl;
    urlEncodeSpace(escapedUrl, utf8Url.data(), utf8Url.size());
    detail::Timeouts timeouts = detail::CurrentTimeouts();
    CurlHeaderList headers;
    int fd = file.get();
    CURL* h = handle.get();
    // The file's bytes are the whole body of the PUT; POST fields would turn
    // the request into a POST that never sends the file.
    bool ok = detail::SetCommonOptions(h, escapedUrl, timeouts);
    ok = ok && curl_easy_setopt(h, CURLOPT_UPLOAD, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_READFUNCTION, FileReadCallback) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_READDATA, &fd) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_SEEKFUNCTION, FileSeekCallback) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_SEEKDATA, &fd) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(st.st_size)) == CURLE_OK;
    // "Expect:" keeps libcurl from waiting for a 100 Continue first.
    ok = ok && headers.Append("Expect:");
    ok = ok && headers.Append("Content-Type:multipart/form-data");
    ok = ok && headers.Append("charset:UTF-8");
    std::string reply;
    auto rewind = [fd] { return ::lseek(fd, 0, SEEK_SET) == 0; };
    return PerformForReply(h, escapedUrl, headers, timeouts, ok, &reply, rewind)
               ? reply
               : StatusReply(INVOKE_TRANSFER_FAILED);
  } catch (...) {
    return StatusReply(INVOKE_TRANSFER_FAILED);
  }
}

std::string qelHttpJsonRequest::getFileNameByAbsPath(const std::string& path) {
  try {
    // Walk GBK characters whole, so that a second byte 0x5C is never taken
    // for a backslash.
    size_t lastSlash = std::string::npos;
    size_t lastBackslash = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(path[i]);
      if (qel::IsGbkLeadByte(c) && i + 1 < path.size()) {
        ++i;
      } else if (c == '/') {
        lastSlash = i;
      } else if (c == '\\') {
        lastBackslash = i;
      }
    }
    if (lastSlash != std::string::npos) return path.substr(lastSlash + 1);
    if (lastBackslash != std::string::npos) return path.substr(lastBackslash + 1);
    return path;
  } catch (...) {
    return std::string();
  }
}

}  // namespace internet
}  // namespace qel
