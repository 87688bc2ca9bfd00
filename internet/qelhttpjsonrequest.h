// The HTTP transport to the service: JSON-RPC calls, file uploads by PUT and
// file downloads with a size probe and resume.
//
// Narrow text in and out is GBK; the wire is UTF-8. Every failure of the
// transport itself comes back as a status reply text of the shape the
// callers already parse,
//   {"jsonrpc":"2.0","result":{"result":"","status":"<code>"}}
// with a code of InvokeStatus. Nothing throws.
//
// Only http and https URLs are served, and a transfer that starts on https
// never goes on over plain http: such a redirect fails with 500003 before
// anything is sent to the http address. A post or an upload (its body holds
// accounts and passwords) follows a redirect only within its own origin
// (scheme, host and port); one to another origin fails with 500003 and
// nothing reaches that address. Time-outs keep their defaults unless
// the environment shortens them (read at every transfer; a value that is
// not a positive decimal number is ignored):
//   QEL_HTTP_CONNECT_TIMEOUT_MS  connecting, every operation         [10000]
//   QEL_HTTP_TIMEOUT_MS          the whole of Invoke, UploadFile and
//                                the size probe of a download         [60000]
//   QEL_HTTP_LOW_SPEED_TIME_S    a download ends once it has moved
//                                under 1 byte/s for this many seconds [60]
//                                (libcurl averages the speed over the
//                                last few seconds, so a stall ends about
//                                6 s after this time)
// Downloads have no cap on their whole duration, so large files can take as
// long as they need while a stalled server still ends them.
#pragma once

#include <memory>
#include <string>

#include "qel_internet_export.h"

namespace qel {
namespace internet {

// Status codes of the transport, written as "status" of a status reply.
enum InvokeStatus {
  INVOKE_SUCCESS = 100000,               // a download or upload of a file is complete
  INVOKE_URL_EMPTY = 500001,             // the URL is empty
  INVOKE_CURL_INIT_FAILED = 500002,      // no libcurl handle could be made
  INVOKE_TRANSFER_FAILED = 500003,       // transfer failed, refused answer, or bytes that do not add up
  INVOKE_RENAME_FAILED = 500005,         // the finished download could not be moved to its target
  INVOKE_OPEN_FILE_FAILED = 500006,      // the file to upload cannot be opened
  INVOKE_PATH_EMPTY_OR_EXISTS = 500007,  // the local path is empty, or the download target exists
  INVOKE_FILE_SIZE_FAILED = 500008,      // the size of the file to upload cannot be read
  INVOKE_NOT_FOUND = 500009,             // the server answered 404
};

// Progress of a download: bytes of the target so far (a resumed download
// counts what it already had) and the size the server announced (-1 when it
// gave none). Called on the downloading thread once per received chunk; a
// non-zero return stops the transfer, which then fails with 500003.
typedef int (*ProgressCallback)(double downloaded, double total);

// Ends every transfer of the process in flight, within about a second, and
// fails every later one with 500003, until called again with false. The
// client core calls it when it shuts down, so that none of its threads waits
// out a time-out.
QEL_INTERNET_API void SetTransfersStopped(bool stopped);

class qelHttpJsonRqstInter;
struct DownloadState;

class QEL_INTERNET_API qelHttpJsonRequest {
 public:
  qelHttpJsonRequest();
  // The internal object holds no state: a copy gets one of its own, so no
  // instance ever releases another's.
  qelHttpJsonRequest(const qelHttpJsonRequest& other);
  qelHttpJsonRequest& operator=(const qelHttpJsonRequest& other);
  virtual ~qelHttpJsonRequest();

  // One request: a POST of body, or a GET when body is empty. Redirects
  // within the URL's origin are followed; a POST stays a POST with its body
  // on every redirect. Returns the
  // server's reply body whatever its HTTP status (an error page included;
  // a status outside 2xx is logged at WARNING), or a status reply: 500001
  // empty URL, 500002, 500003 transfer failure or a reply longer than
  // 16 MiB (refused while it arrives, never held whole).
  std::string Invoke(const std::string& url, const std::string& body);

  // PUT of the raw bytes of the file at localPath (any size). The file's
  // bytes are the whole request body, so body is not sent. Returns the
  // server's reply body (the status and the 16 MiB bound as for Invoke), or
  // a status reply: 500001 empty URL, 500007 empty path, 500006 the file
  // cannot be opened, 500008 its size cannot be read, 500002, 500003.
  std::string UploadFile(const std::string& url, const std::string& body, const std::string& localPath);

  // Downloads url into path, which must not exist yet. The bytes go to a
  // temporary file beside the target that is moved into place only when the
  // whole file has arrived with status 200 and the size the server first
  // announced; on every failure nothing is left at path. A non-empty body
  // is sent as a POST. Status reply: 100000, 500001 empty URL, 500007 empty
  // path or existing target, 500009 404, 500005 the move failed, 500002,
  // 500003 anything else.
  std::string DownloadFile(const std::string& url, const std::string& body, const std::string& path,
                           ProgressCallback progress);

  // Resumable download: bytes collect in path + ".qeldld", and the validator
  // the server gave for them (a strong ETag, else Last-Modified) in
  // path + ".qeldld.ifrange". A later call resumes only when the size probe
  // names the same validator: it asks for the rest from that file's length
  // with the validator as If-Range, and renames the file to path once it is
  // complete (a partial file that already holds the whole size is renamed
  // without a transfer). A partial file without a validator, or a server
  // that names none or another one, starts again from zero. A target that
  // already exists counts as complete (100000). A server that answers the
  // ranged request with the whole file starts it again from zero; an answer
  // from another offset writes nothing, and one naming another version
  // writes nothing and drops the partial file. Status reply:
  // 100000, 500001, 500007 empty path, 500009 404 (a 404 to the size probe
  // leaves the temporary file as it is; one to the transfer removes it),
  // 500005 the rename failed (the complete temporary file stays), 500002,
  // 500003 (bytes received so far stay for the next call). Neither file is
  // reached through a symbolic link: a link at either name fails the call
  // with 500003 and is left as it is, and so is what it points to.
  std::string DownloadFileEx(const std::string& url, const std::string& body, const std::string& path,
                             ProgressCallback progress);

  // The text after the last "/"; without "/", after the last "\"; without
  // either, the whole path. GBK bytes are never split.
  std::string getFileNameByAbsPath(const std::string& path);

 private:
  // Copies text, writing every space as "%20"; nothing else is escaped.
  static void urlEncodeSpace(std::string& out, const char* text, size_t len);
  // Header-only request: the announced size (-1 when none) on a 200, else 0;
  // httpCode gets the status, 0 when the request itself failed; validator,
  // when given, the answer's strong ETag, else its Last-Modified ("" none).
  double GetServerFileSize(const std::string& url, int& httpCode, std::string* validator = nullptr);
  // One transfer into the file at the native (UTF-8) path, which holds
  // `offset` valid bytes already.
  InvokeStatus DownloadFilePri(const std::string& url, const std::string& body, const std::string& path,
                               double offset, DownloadState& state);
  std::string StatusReply(int code) const;

  std::unique_ptr<qelHttpJsonRqstInter> inter_;
};

}  // namespace internet
}  // namespace qel
