// A loopback HTTP/1.1 server for tests that talk to the service.
//
// It listens on 127.0.0.1 with a port of its own (bound to port 0), records
// every request it reads, and answers:
//   - a method on a path given to AddRedirect (every method, or the one
//     named there): that redirect.
//   - PUT to any other path: an upload; the body is recorded byte for byte
//     and the upload reply is sent (SetUploadReply), or a fault on purpose
//     (SetUploadFault).
//   - any other method on a path given to AddFile: that file, with HEAD, GET
//     (POST too) and single byte ranges ("Range: bytes=N-" or "bytes=N-M"),
//     or a fault on purpose (FileFault). Its answers carry the file's
//     validators (ServedFile::etag, lastModified); a range whose If-Range
//     names neither gets the whole file with 200.
//   - POST elsewhere: JSON-RPC. The body is the envelope
//     {"jsonrpc":"2.0","method":...,"id":...,"params":["<base object text>"]};
//     params[0] is parsed as the base object, whose "parameter" array holds
//     the request objects ({"interfaceUrl","method","param",...}). Each
//     request object gets the item scripted for its interfaceUrl and method,
//     and the reply is
//       {"id":<id>,"jsonrpc":"2.0","result":{"result":[items],"status":"100000"}}
//     An item nobody scripted is {"result":"","status":"19999"}. A queued
//     reply (ScriptRpcReply) answers the next envelope with its own item
//     list and overall status instead. A raw script
//     (ScriptRpcRaw) replaces the whole reply when any request object of the
//     envelope matches it. An envelope that does not parse gets 400.
//   - anything else: 404 with an HTML body.
// Every answer closes its connection. Paths are compared as they appear on
// the wire (percent-encoded, without the query). Texts are UTF-8, as on the
// wire. Request bodies must carry a Content-Length (chunked ones get 501).
//
// A request is recorded once it has been read, which may be after its client
// gave up on it: a test that lets a call end by its time-out waits with
// WaitForRequests before it counts.
//
// All members may be called from any thread while the server runs. The
// destructor ends stalled answers and joins every thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <json/json.h>

namespace qeltest {

struct HttpRequestRecord {
  std::string method;                                        // "GET", "HEAD", "POST", "PUT", ...
  std::string target;                                        // path and query as sent, e.g. "/a%20b?x=1"
  std::string path;                                          // target up to "?"
  std::string query;                                         // after "?", "" when none
  std::vector<std::pair<std::string, std::string>> headers;  // in arrival order
  std::string body;

  // Value of the first header of that name (any letter case); "" when absent.
  std::string Header(const std::string& name) const;
  bool HasHeader(const std::string& name) const;
};

struct RpcCall {
  std::string path;
  Json::Value envelope;               // the posted envelope
  Json::Value base;                   // params[0] parsed
  std::vector<Json::Value> requests;  // base["parameter"], in order

  // The "param" object of request object i (null when there is none).
  Json::Value Param(size_t i) const;
  // "interfaceUrl" + " " + "method" of request object i.
  std::string Service(size_t i) const;
};

// How a file answers. Faults apply to GET (and POST) unless noted.
enum class FileFault {
  kNone,                 // 200; 206 for a satisfiable range; 416 otherwise
  kNotFound,             // 404 with an HTML body (HEAD too)
  kServerErrorHtml,      // 500 with an HTML body (HEAD too)
  kIgnoreRange,          // 200 with the whole file even for a ranged request
  kWrongRangeStart,      // a ranged request gets 206 from ServedFile::wrongRangeStart
  kRangeNotSatisfiable,  // a ranged request gets 416
  kDropMidBody,          // true headers, then the connection closes after faultAfter bytes
  kShortBody,            // Content-Length promises extraPromised bytes more than are sent
  kStallBody,            // true headers and faultAfter bytes, then silence
  kStallHeaders,         // reads the request and never answers (HEAD too)
  kNoLength,             // no Content-Length; the close ends the body (HEAD too)
};

// How uploads are answered.
enum class UploadFault {
  kNone,             // the body is read, recorded and the upload reply sent
  kStallAfterBody,   // the body is read and recorded; no answer ever comes
  kStallBeforeBody,  // recorded after the headers (body ""); the body is never read
  kNoLength,         // the upload reply has no Content-Length; the close ends it
};

struct ServedFile {
  static constexpr size_t kHalf = static_cast<size_t>(-1);
  // Stands for ContentETag(content) in etag.
  static constexpr const char* kContentETag = "<from the content>";

  // A strong ETag that differs for files of other content, as a server's
  // does for a replaced file.
  static std::string ContentETag(const std::string& content);

  std::string content;
  FileFault get = FileFault::kNone;
  FileFault head = FileFault::kNone;
  // Content-Length that HEAD announces; -1 for the true length.
  int64_t headLength = -1;
  // Body bytes sent before kDropMidBody or kStallBody; kHalf for half of them.
  size_t faultAfter = kHalf;
  size_t extraPromised = 16;
  // Start of the bytes kWrongRangeStart sends (and names in Content-Range).
  int64_t wrongRangeStart = 0;
  // ETag that HEAD announces instead of etag (a file replaced between the
  // size probe and the transfer); unset for etag itself.
  std::optional<std::string> headEtag = std::nullopt;
  // Serves a range even when If-Range names another version, as a server
  // that ignores If-Range does.
  bool ignoreIfRange = false;
  // The ETag header, "" for none; a weak one ("W/...") never matches If-Range.
  std::string etag = kContentETag;
  // The Last-Modified header, "" for none.
  std::string lastModified = std::string();
};

// Sets the transport's time-out variables for its lifetime and puts the
// earlier values back. A transfer that should succeed gets kHealthy, far
// beyond what a busy machine needs; only what waits for a stall is short.
// (A short time-out on a transfer meant to succeed fails it, and the checks
// after it, whenever the machine is loaded.)
class TransportTimeouts {
 public:
  enum Budget {
    kHealthy,          // 30 s a call, 10 s to connect, 30 s below 1 byte/s
    kStalledCall,      // 1 s a call (JSON-RPC, upload, size probe); else kHealthy
    kStalledDownload,  // 1 s below 1 byte/s ends a download; else kHealthy
  };
  explicit TransportTimeouts(Budget budget);
  ~TransportTimeouts();
  TransportTimeouts(const TransportTimeouts&) = delete;
  TransportTimeouts& operator=(const TransportTimeouts&) = delete;

 private:
  struct Saved {
    const char* name;
    bool had;
    std::string value;
  };
  std::vector<Saved> saved_;
};

// An envelope of the shape the bridge posts, its base object holding one
// request object with this param.
std::string RpcEnvelope(const std::string& interfaceUrl, const std::string& method, const Json::Value& param);

// "result"."status" of a reply (a status reply of the transport, or the
// service's) as a number; -1 when there is none.
int ReplyStatus(const std::string& reply);

class HttpTestServer {
 public:
  static constexpr const char* kRpcPath = "/qelservice";

  // Starts serving at once; throws std::runtime_error when it cannot listen.
  HttpTestServer();
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  int port() const;
  std::string BaseUrl() const;                             // "http://127.0.0.1:<port>"
  std::string Url(const std::string& pathAndQuery) const;  // BaseUrl() + pathAndQuery
  std::string RpcUrl() const;                              // Url(kRpcPath)
  // An address on 127.0.0.1 that refuses every connection while the server
  // lives (a socket is bound there and never listens).
  std::string RefusedUrl(const std::string& pathAndQuery = "/") const;

  // Files; the path is matched as sent ("/dir/a%20b.bin"). Adding a path
  // again replaces its file and behaviour.
  void AddFile(const std::string& path, const std::string& content);
  void AddFile(const std::string& path, ServedFile file);
  void RemoveFile(const std::string& path);
  // Runs with every request a file answers (HEAD too) after it was recorded
  // and before its answer starts, on the server's thread (a row that plants
  // something while the client waits for the first byte).
  void SetFileHook(std::function<void(const HttpRequestRecord&)> hook);
  // Answers requests for path with this status and a Location header, and
  // an ETag header when etag is not "". An empty method redirects every
  // method; otherwise only that one is, and the others reach the path's file.
  void AddRedirect(const std::string& path, int status, const std::string& location,
                   const std::string& method = std::string(), const std::string& etag = std::string());
  void RemoveRedirect(const std::string& path);

  // JSON-RPC items per interfaceUrl and method; result is any JSON value.
  void ScriptRpc(const std::string& interfaceUrl, const std::string& method, const std::string& itemStatus,
                 const Json::Value& result = Json::Value(""));
  // The whole reply (status line, body and content type) for envelopes that
  // hold a request object of this interfaceUrl and method.
  void ScriptRpcRaw(const std::string& interfaceUrl, const std::string& method, int httpStatus,
                    const std::string& body,
                    const std::string& contentType = "application/json;charset=UTF-8");
  // The next envelope, whatever it holds, gets exactly these items (an
  // array of any length, or any other value as the item list) under this
  // overall status; a status of "" leaves "status" out. Queued: each
  // envelope takes the oldest reply; the per-service scripts answer once
  // the queue is empty.
  void ScriptRpcReply(const Json::Value& items, const std::string& overallStatus = "100000");
  // Runs with every envelope after it was recorded and before it is
  // answered, on the server's thread (a row written "during a send").
  void SetRpcHook(std::function<void(const RpcCall&)> hook);
  void ClearRpcScripts();
  // Every POST that parsed as an envelope, in arrival order.
  std::vector<RpcCall> RpcCalls() const;

  // Reply to uploads. The default is 200 with
  // {"result":{"result":[{"result":{"value1":"upload/<n>.dat"},"status":"100000"}],"status":"100000"}}
  // where n counts the uploads from 1.
  void SetUploadReply(int httpStatus, const std::string& body);
  void SetUploadFault(UploadFault fault);
  std::vector<HttpRequestRecord> Uploads() const;

  // Every request read, in arrival order (recorded before it is answered).
  std::vector<HttpRequestRecord> Requests() const;
  // Waits until at least count requests are recorded; false if that has not
  // happened within limitMs (a bound for a broken test, not a measurement).
  bool WaitForRequests(size_t count, int limitMs = 30000) const;
  size_t CountRequests(const std::string& method, const std::string& path) const;
  void ClearRequests();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qeltest
