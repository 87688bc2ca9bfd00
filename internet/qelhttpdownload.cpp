// Downloads of qelHttpJsonRequest: the size probe, the plain download into a
// new target and the resumable download through "<target>.qeldld".
//
// Bytes reach a file only from a 200, or from a 206 whose Content-Range
// starts where the file ends; a ranged request answered with 200 starts the
// file again from zero. Every write and the close are checked, and the
// byte count must match the size the probe announced.
//
// A partial file is resumed only as the same version of the server's file:
// "<target>.qeldld.ifrange" keeps the validator of the answer its bytes came
// from (a strong ETag, else Last-Modified), which must equal the probe's and
// goes out as If-Range. A partial without one starts again from zero.
//
// Neither file is ever reached through a symbolic link (O_NOFOLLOW on every
// open): a planted link would have the download fill, or trust, a file
// somewhere else.
#include <algorithm>
#include <atomic>
#include <climits>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include <curl/curl.h>
#include <fcntl.h>
#include <glog/logging.h>
#include <sys/stat.h>
#include <unistd.h>

#include "curlsupport.h"
#include "qel/text.h"
#include "qelhttpjsonrequest.h"

namespace qel {
namespace internet {

// The state of one download, owned by the call that runs it.
struct DownloadState {
  int64_t downloaded = 0;  // bytes of the file being written
  double total = -1;       // size from the probe, -1 when unknown
  ProgressCallback progress = nullptr;
  long httpCode = 0;  // status of the last transfer's answer
  // Where the validator of the file's bytes is kept; "" keeps none.
  std::string validatorPath;
  // Validator of the bytes already in the file, sent as If-Range.
  std::string ifRange;
  // The answer to the ranged request named another version than ifRange.
  bool otherVersion = false;
};

namespace {

using detail::CurlEasy;
using detail::CurlHeaderList;
using detail::UniqueFd;

constexpr int kProbeNoHandle = -1;
// Larger reads than libcurl's 16 KiB default keep the per-chunk cost (one
// write and one progress call) small on fast links.
constexpr long kReceiveBufferBytes = 512L * 1024L;

// A kept validator longer than this is not one the server gave.
constexpr size_t kMaxValidatorBytes = 1024;

enum class Verdict { kUndecided, kAccepted, kRejected };

// The validators of one answer.
struct Validators {
  std::string etag;
  std::string lastModified;

  void Clear() {
    etag.clear();
    lastModified.clear();
  }
  // The one If-Range can carry: a weak ETag never matches there.
  std::string Chosen() const {
    if (!etag.empty() && !qel::StartsWithNoCase(etag, "W/")) return etag;
    return lastModified;
  }
  // Whether the answer names a version, and not the one of ifRange.
  bool NamesAnotherThan(const std::string& ifRange) const {
    if (etag.empty() && lastModified.empty()) return false;
    return ifRange != etag && ifRange != lastModified;
  }
};

// What the callbacks of one transfer share.
struct DownloadSink {
  CURL* handle = nullptr;
  int fd = -1;
  int64_t offset = 0;  // where the requested bytes start
  DownloadState* state = nullptr;
  bool rangeSeen = false;
  int64_t rangeStart = -1;
  Validators validators;
  Verdict verdict = Verdict::kUndecided;
  bool failed = false;  // a local error or the caller's stop
};

// "bytes 1000-1999/2000" -> 1000.
bool ParseContentRangeStart(std::string_view value, int64_t* start) {
  size_t i = 0;
  while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
  value.remove_prefix(i);
  if (!qel::StartsWithNoCase(value, "bytes")) return false;
  value.remove_prefix(5);
  i = 0;
  while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
  if (i == 0 || i >= value.size() || value[i] < '0' || value[i] > '9') return false;
  int64_t number = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    if (number > (INT64_MAX - 9) / 10) return false;
    number = number * 10 + (value[i] - '0');
  }
  if (i >= value.size() || value[i] != '-') return false;
  *start = number;
  return true;
}

// The value of a header line, without the blanks and line end around it.
std::string HeaderValue(std::string_view line, size_t nameLength) {
  line.remove_prefix(nameLength);
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  while (!line.empty() &&
         (line.back() == ' ' || line.back() == '\t' || line.back() == '\r' || line.back() == '\n'))
    line.remove_suffix(1);
  return std::string(line);
}

// Keeps the validators of the answer whose header lines pass here; a new
// answer (after a redirect or an interim reply) starts afresh.
void NoteValidator(std::string_view line, Validators* validators) {
  if (qel::StartsWithNoCase(line, "HTTP/")) {
    validators->Clear();
  } else if (qel::StartsWithNoCase(line, "ETag:")) {
    validators->etag = HeaderValue(line, 5);
  } else if (qel::StartsWithNoCase(line, "Last-Modified:")) {
    validators->lastModified = HeaderValue(line, 14);
  }
}

size_t ProbeHeaderCallback(char* data, size_t size, size_t count, void* userdata) {
  size_t bytes = size * count;
  try {
    NoteValidator(std::string_view(data, bytes), static_cast<Validators*>(userdata));
  } catch (...) {
    return 0;
  }
  return bytes;
}

size_t DownloadHeaderCallback(char* data, size_t size, size_t count, void* userdata) {
  auto* sink = static_cast<DownloadSink*>(userdata);
  size_t bytes = size * count;
  std::string_view line(data, bytes);
  try {
    NoteValidator(line, &sink->validators);
  } catch (...) {
    return 0;
  }
  if (qel::StartsWithNoCase(line, "HTTP/")) {
    // A new answer brings its own range.
    sink->rangeSeen = false;
    sink->rangeStart = -1;
  } else if (qel::StartsWithNoCase(line, "Content-Range:")) {
    line.remove_prefix(14);
    int64_t start = -1;
    sink->rangeSeen = ParseContentRangeStart(line, &start);
    sink->rangeStart = start;
  }
  return bytes;
}

bool RemoveFile(const std::string& nativePath) {
  return ::unlink(nativePath.c_str()) == 0 || errno == ENOENT;
}

// Keeps the validator of the bytes about to be written, or removes an older
// one when the answer gives none. False when the old one may still be there.
bool KeepValidator(const std::string& path, const std::string& validator) {
  if (validator.empty() || validator.size() > kMaxValidatorBytes) return RemoveFile(path);
  UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666));
  bool written = file.valid() && detail::WriteAll(file.get(), validator.data(), validator.size());
  if (file.Close() && written) return true;
  return RemoveFile(path);
}

// The validator kept beside a partial file; "" when there is none or it is
// nothing a server could have sent (it goes into a header line).
std::string ReadValidator(const std::string& path) {
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!file.valid()) return std::string();
  std::string text;
  char buffer[kMaxValidatorBytes + 1];
  for (;;) {
    ssize_t n = ::read(file.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::string();
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
    if (text.size() > kMaxValidatorBytes) return std::string();
  }
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return std::string();
  }
  return text;
}

// Decides at the first byte of the answer (or at its end, for an empty one)
// whether its bytes belong in the file.
void Decide(DownloadSink* sink) {
  long code = 0;
  curl_easy_getinfo(sink->handle, CURLINFO_RESPONSE_CODE, &code);
  DownloadState* state = sink->state;
  if (code == 200) {
    if (sink->offset > 0) {
      // The server sends the whole file: what the file held goes.
      if (::ftruncate(sink->fd, 0) != 0 || ::lseek(sink->fd, 0, SEEK_SET) < 0) {
        sink->failed = true;
        sink->verdict = Verdict::kRejected;
        return;
      }
      state->downloaded = 0;
    }
    // The file now holds this answer's version.
    if (!state->validatorPath.empty() && !KeepValidator(state->validatorPath, sink->validators.Chosen())) {
      sink->failed = true;
      sink->verdict = Verdict::kRejected;
      return;
    }
    sink->verdict = Verdict::kAccepted;
  } else if (code == 206 && !state->ifRange.empty() && sink->validators.NamesAnotherThan(state->ifRange)) {
    // A server that ignores If-Range still names the version it sends.
    state->otherVersion = true;
    sink->verdict = Verdict::kRejected;
  } else if (code == 206 && sink->offset > 0 && sink->rangeSeen && sink->rangeStart == sink->offset) {
    sink->verdict = Verdict::kAccepted;
  } else {
    // An error page or bytes from elsewhere in the file: none of it is kept.
    sink->verdict = Verdict::kRejected;
  }
}

size_t DownloadWriteCallback(char* data, size_t size, size_t count, void* userdata) {
  auto* sink = static_cast<DownloadSink*>(userdata);
  size_t bytes = size * count;
  try {
    if (sink->verdict == Verdict::kUndecided) Decide(sink);
    if (sink->verdict != Verdict::kAccepted) return 0;  // ends the transfer
    if (!detail::WriteAll(sink->fd, data, bytes)) {
      sink->failed = true;
      return 0;
    }
    DownloadState* state = sink->state;
    state->downloaded += static_cast<int64_t>(bytes);
    if (state->progress != nullptr &&
        state->progress(static_cast<double>(state->downloaded), state->total) != 0) {
      sink->failed = true;
      return 0;
    }
    return bytes;
  } catch (...) {
    sink->failed = true;
    return 0;
  }
}

size_t DiscardCallback(char* /*data*/, size_t size, size_t count, void* /*userdata*/) { return size * count; }

// Removes a temporary file unless it was handed on.
class TempFileGuard {
 public:
  explicit TempFileGuard(std::string path) : path_(std::move(path)) {}
  ~TempFileGuard() {
    if (!path_.empty()) RemoveFile(path_);
  }
  TempFileGuard(const TempFileGuard&) = delete;
  TempFileGuard& operator=(const TempFileGuard&) = delete;
  void Release() { path_.clear(); }

 private:
  std::string path_;
};

// "<target>.qeltmp<suffix>", the target's own name cut short where the
// whole would pass NAME_MAX or PATH_MAX, so that every target the file
// system can hold can also be downloaded. Empty when even a one-byte name
// leaves no room.
std::string TempNameBeside(const std::string& nativeTarget, const std::string& suffix) {
  const size_t slash = nativeTarget.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t mark = sizeof(qel::kTempFileMark) - 1 + suffix.size();
  if (nameStart + 1 + mark >= PATH_MAX || 1 + mark > NAME_MAX) return std::string();
  size_t keep = nativeTarget.size() - nameStart;
  keep = std::min({keep, static_cast<size_t>(NAME_MAX) - mark, PATH_MAX - 1 - mark - nameStart});
  return nativeTarget.substr(0, nameStart + keep) + qel::kTempFileMark + suffix;
}

// Creates a new, empty file beside the target; its name is unique within the
// process and never taken over from someone else (O_EXCL).
bool CreateTempBeside(const std::string& nativeTarget, std::string* tempPath) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate =
        TempNameBeside(nativeTarget, std::to_string(::getpid()) + "-" +
                                         std::to_string(counter.fetch_add(1, std::memory_order_relaxed)));
    if (candidate.empty()) return false;
    int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      *tempPath = candidate;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

// Moves a finished download to a target that must not exist.
InvokeStatus InstallNew(const std::string& tempPath, const std::string& nativeTarget) {
  if (::renameat2(AT_FDCWD, tempPath.c_str(), AT_FDCWD, nativeTarget.c_str(), RENAME_NOREPLACE) == 0) {
    return INVOKE_SUCCESS;
  }
  if (errno == EEXIST) return INVOKE_PATH_EMPTY_OR_EXISTS;
  if (errno != EINVAL && errno != ENOSYS) return INVOKE_RENAME_FAILED;
  // File systems without RENAME_NOREPLACE: a hard link refuses an existing
  // name just the same.
  if (::link(tempPath.c_str(), nativeTarget.c_str()) != 0) {
    return errno == EEXIST ? INVOKE_PATH_EMPTY_OR_EXISTS : INVOKE_RENAME_FAILED;
  }
  RemoveFile(tempPath);
  return INVOKE_SUCCESS;
}

// Whether name is a regular file (its size into *size) or nothing at all.
// Anything else, a link above all, is left as it is: the caller refuses it.
bool PlainFileOrNone(const std::string& name, int64_t* size) {
  struct stat st;
  if (::lstat(name.c_str(), &st) != 0) {
    if (size != nullptr) *size = 0;
    return errno == ENOENT;
  }
  if (!S_ISREG(st.st_mode)) {
    LOG(WARNING) << "not a plain file, the download leaves it be: " << name;
    return false;
  }
  if (size != nullptr) *size = static_cast<int64_t>(st.st_size);
  return true;
}

bool SizeMatches(const DownloadState& state) {
  return state.total < 0 || static_cast<double>(state.downloaded) == state.total;
}

}  // namespace

double qelHttpJsonRequest::GetServerFileSize(const std::string& url, int& httpCode, std::string* validator) {
  httpCode = 0;
  if (validator != nullptr) validator->clear();
  std::string utf8Url = qel::GbkToUtf8(url);
  std::string escapedUrl;
  urlEncodeSpace(escapedUrl, utf8Url.data(), utf8Url.size());

  CurlEasy handle = detail::MakeEasy();
  if (!handle) {
    httpCode = kProbeNoHandle;
    return 0;
  }
  detail::Timeouts timeouts = detail::CurrentTimeouts();
  CurlHeaderList headers;
  CURL* h = handle.get();
  // identity: the probed size must be the size of the bytes that will land
  // in the file, and nothing here decodes a compressed body.
  bool ok = headers.Append("charset=UTF-8") && headers.Append("Accept-Encoding: identity");
  ok = ok && curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK;
  ok = ok && detail::SetCommonOptions(h, escapedUrl, timeouts);
  ok = ok && curl_easy_setopt(h, CURLOPT_NOBODY, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, DiscardCallback) == CURLE_OK;
  Validators validators;
  ok = ok && curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, ProbeHeaderCallback) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_HEADERDATA, &validators) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, timeouts.totalMs) == CURLE_OK;
  if (!ok || curl_easy_perform(h) != CURLE_OK) return 0;

  long code = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
  httpCode = static_cast<int>(code);
  if (code != 200) return 0;
  if (validator != nullptr) *validator = validators.Chosen();
  curl_off_t length = -1;
  if (curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) length = -1;
  return static_cast<double>(length);
}

InvokeStatus qelHttpJsonRequest::DownloadFilePri(const std::string& url, const std::string& body,
                                                 const std::string& path, double offset,
                                                 DownloadState& state) {
  state.httpCode = 0;
  std::string utf8Url = qel::GbkToUtf8(url);
  std::string utf8Body = qel::GbkToUtf8(body);

  CurlEasy handle = detail::MakeEasy();
  if (!handle) return INVOKE_CURL_INIT_FAILED;

  // The file must hold exactly the bytes the offset stands for.
  auto start = static_cast<int64_t>(offset);
  UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!file.valid()) return INVOKE_TRANSFER_FAILED;
  struct stat st;
  if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != start)
    return INVOKE_TRANSFER_FAILED;
  if (::lseek(file.get(), static_cast<off_t>(start), SEEK_SET) < 0) return INVOKE_TRANSFER_FAILED;

  std::string escapedUrl;
  urlEncodeSpace(escapedUrl, utf8Url.data(), utf8Url.size());
  detail::Timeouts timeouts = detail::CurrentTimeouts();
  CurlHeaderList headers;
  CURL* h = handle.get();
  DownloadSink sink;
  sink.handle = h;
  sink.fd = file.get();
  sink.offset = start;
  sink.state = &state;

  bool ok = headers.Append("charset=UTF-8") && headers.Append("Accept-Encoding: identity");
  // The rest only of the version the file holds; another one comes whole.
  if (start != 0 && !state.ifRange.empty()) ok = ok && headers.Append(("If-Range: " + state.ifRange).c_str());
  ok = ok && curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK;
  ok = ok && detail::SetCommonOptions(h, escapedUrl, timeouts);
  ok = ok && curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, DownloadWriteCallback) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, DownloadHeaderCallback) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_HEADERDATA, &sink) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kReceiveBufferBytes) == CURLE_OK;
  // No cap on the whole transfer: a large file may take long, a stalled one
  // ends after the low-speed time.
  ok = ok && curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, timeouts.lowSpeedSeconds) == CURLE_OK;

  state.downloaded = 0;
  std::string range;
  if (start != 0) {
    state.downloaded = start;
    range = std::to_string(static_cast<long long>(start)) + "-";
    ok = ok && curl_easy_setopt(h, CURLOPT_RANGE, range.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK;
  }
  if (!utf8Body.empty()) {
    ok = ok && curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(utf8Body.size())) ==
                   CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_POSTFIELDS, utf8Body.c_str()) == CURLE_OK;
  }
  if (!ok) return INVOKE_TRANSFER_FAILED;

  CURLcode rc = curl_easy_perform(h);
  long code = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
  state.httpCode = code;
  if (rc == CURLE_OK && sink.verdict == Verdict::kUndecided) Decide(&sink);  // an empty body
  bool closed = file.Close();

  if (code == 404) {
    RemoveFile(path);
    return INVOKE_NOT_FOUND;
  }
  if (rc != CURLE_OK || sink.verdict != Verdict::kAccepted || sink.failed || !closed)
    return INVOKE_TRANSFER_FAILED;
  return INVOKE_SUCCESS;
}

std::string qelHttpJsonRequest::DownloadFile(const std::string& url, const std::string& body,
                                             const std::string& path, ProgressCallback progress) {
  try {
    if (qel::GbkToUtf8(url).empty()) return StatusReply(INVOKE_URL_EMPTY);
    if (path.empty()) return StatusReply(INVOKE_PATH_EMPTY_OR_EXISTS);
    std::string target = qel::NativePath(path);
    struct stat st;
    if (target.empty() || ::lstat(target.c_str(), &st) == 0) return StatusReply(INVOKE_PATH_EMPTY_OR_EXISTS);

    DownloadState state;
    int httpCode = 0;
    state.total = GetServerFileSize(url, httpCode);
    if (httpCode == kProbeNoHandle) return StatusReply(INVOKE_CURL_INIT_FAILED);
    if (httpCode == 404) return StatusReply(INVOKE_NOT_FOUND);
    if (httpCode != 200) return StatusReply(INVOKE_TRANSFER_FAILED);

    // The target appears only once it is whole.
    std::string temp;
    if (!CreateTempBeside(target, &temp)) return StatusReply(INVOKE_TRANSFER_FAILED);
    TempFileGuard guard(temp);
    state.progress = progress;
    InvokeStatus status = DownloadFilePri(url, body, temp, 0, state);
    state.progress = nullptr;
    if (status == INVOKE_SUCCESS && !SizeMatches(state)) status = INVOKE_TRANSFER_FAILED;
    if (status == INVOKE_SUCCESS) status = InstallNew(temp, target);
    if (status == INVOKE_SUCCESS) guard.Release();
    return StatusReply(status);
  } catch (...) {
    return StatusReply(INVOKE_TRANSFER_FAILED);
  }
}

std::string qelHttpJsonRequest::DownloadFileEx(const std::string& url, const std::string& body,
                                               const std::string& path, ProgressCallback progress) {
  try {
    if (qel::GbkToUtf8(url).empty()) return StatusReply(INVOKE_URL_EMPTY);
    if (path.empty()) return StatusReply(INVOKE_PATH_EMPTY_OR_EXISTS);
    std::string target = qel::NativePath(path);
    if (target.empty()) return StatusReply(INVOKE_PATH_EMPTY_OR_EXISTS);

    DownloadState state;
    int httpCode = 0;
    std::string serverValidator;
    state.total = GetServerFileSize(url, httpCode, &serverValidator);
    int existing = ::open(target.c_str(), O_RDWR | O_CLOEXEC);
    if (existing >= 0) {
      ::close(existing);
      return StatusReply(INVOKE_SUCCESS);
    }
    if (httpCode == kProbeNoHandle) return StatusReply(INVOKE_CURL_INIT_FAILED);
    if (httpCode == 404) return StatusReply(INVOKE_NOT_FOUND);
    if (httpCode != 200) return StatusReply(INVOKE_TRANSFER_FAILED);

    std::string temp = target + ".qeldld";
    state.validatorPath = temp + ".ifrange";
    int64_t offset = 0;
    if (!PlainFileOrNone(temp, &offset) || !PlainFileOrNone(state.validatorPath, nullptr))
      return StatusReply(INVOKE_TRANSFER_FAILED);
    bool sizeKnown = state.total >= 0;
    if (offset > 0) {
      // Only bytes of the version the server has now may be resumed; without
      // a validator on either side nobody can tell, so they go.
      std::string kept = ReadValidator(state.validatorPath);
      bool sameVersion = !kept.empty() && kept == serverValidator;
      // Longer than the file itself: not a prefix of it.
      bool tooLong = sizeKnown && static_cast<double>(offset) > state.total;
      if (!sameVersion || tooLong) {
        if (!RemoveFile(temp)) return StatusReply(INVOKE_TRANSFER_FAILED);
        RemoveFile(state.validatorPath);
        offset = 0;
      } else {
        state.ifRange = kept;
      }
    }

    InvokeStatus status;
    if (sizeKnown && offset > 0 && static_cast<double>(offset) == state.total) {
      state.downloaded = offset;  // already whole, only the rename is missing
      status = INVOKE_SUCCESS;
    } else {
      state.progress = progress;
      status = DownloadFilePri(url, body, temp, static_cast<double>(offset), state);
      state.progress = nullptr;
    }

    bool partialGone = false;
    if (status == INVOKE_SUCCESS) {
      if (!SizeMatches(state)) {
        // The bytes do not add up to the announced file: start over next time.
        RemoveFile(temp);
        partialGone = true;
        status = INVOKE_TRANSFER_FAILED;
      } else if (::rename(temp.c_str(), target.c_str()) != 0) {
        status = INVOKE_RENAME_FAILED;
      } else {
        partialGone = true;
      }
    } else if (state.httpCode == 416 || state.otherVersion) {
      // The server knows no bytes from our offset on, or has another version
      // of the file: the partial file is stale.
      RemoveFile(temp);
      partialGone = true;
    } else if (status == INVOKE_NOT_FOUND) {
      partialGone = true;  // the transfer removed it
    }
    if (partialGone) RemoveFile(state.validatorPath);
    return StatusReply(status);
  } catch (...) {
    return StatusReply(INVOKE_TRANSFER_FAILED);
  }
}

}  // namespace internet
}  // namespace qel
