// Plain-socket HTTP/1.1 server: every byte of an answer, faulty ones
// included, is written here, so a test controls exactly what the client
// sees (a library server would fix up ranges and refuse odd uploads).
#include "httptestserver.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "qel/json.h"
#include "qel/text.h"

namespace qeltest {

namespace {

constexpr size_t kMaxHeaderBytes = 64 * 1024;
constexpr size_t kSendChunk = 4 * 1024 * 1024;

const char* ReasonPhrase(int status) {
  switch (status) {
    case 100:
      return "Continue";
    case 200:
      return "OK";
    case 206:
      return "Partial Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 307:
      return "Temporary Redirect";
    case 308:
      return "Permanent Redirect";
    case 400:
      return "Bad Request";
    case 404:
      return "Not Found";
    case 416:
      return "Range Not Satisfiable";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    default:
      return "Status";
  }
}

std::string HtmlPage(int status) {
  std::string title = std::to_string(status) + " " + ReasonPhrase(status);
  return "<!DOCTYPE html>\n<html><head><title>" + title + "</title></head><body><h1>" + title +
         "</h1><p>The test server refused this request.</p></body></html>\n";
}

bool SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t sent = ::send(fd, data, std::min(size, kSendChunk), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

std::string Lower(std::string text) { return qel::ToLower(std::move(text)); }

std::string TrimSpaces(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::string();
  size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

// "bytes=N-" or "bytes=N-M"; false for anything else (multiple ranges too).
bool ParseRange(const std::string& value, size_t* start, size_t* end, bool* hasEnd) {
  std::string v = TrimSpaces(value);
  if (v.compare(0, 6, "bytes=") != 0) return false;
  v = v.substr(6);
  size_t dash = v.find('-');
  if (dash == std::string::npos || dash == 0 || v.find(',') != std::string::npos) return false;
  std::string first = v.substr(0, dash), second = v.substr(dash + 1);
  if (!qel::IsDecimalId(first) || (!second.empty() && !qel::IsDecimalId(second))) return false;
  *start = static_cast<size_t>(qel::StringToUInt64(first));
  *hasEnd = !second.empty();
  *end = *hasEnd ? static_cast<size_t>(qel::StringToUInt64(second)) : 0;
  return !*hasEnd || *end >= *start;
}

}  // namespace

std::string HttpRequestRecord::Header(const std::string& name) const {
  for (const auto& header : headers) {
    if (qel::EqualsNoCase(header.first, name)) return header.second;
  }
  return std::string();
}

bool HttpRequestRecord::HasHeader(const std::string& name) const {
  for (const auto& header : headers) {
    if (qel::EqualsNoCase(header.first, name)) return true;
  }
  return false;
}

struct HttpTestServer::Impl {
  struct RawScript {
    int status;
    std::string body;
    std::string contentType;
  };

  int listenFd = -1;
  int refusedFd = -1;
  int wakeRead = -1;
  int wakeWrite = -1;
  int port = 0;
  int refusedPort = 0;
  std::thread acceptThread;

  mutable std::mutex mutex;
  mutable std::condition_variable recorded;  // a request joined records
  std::map<std::string, std::shared_ptr<const ServedFile>> files;
  struct Redirect {
    int status = 0;
    std::string location;
    std::string method;  // "" every method
    std::string etag;    // "" none
  };
  std::map<std::string, Redirect> redirects;
  std::map<std::pair<std::string, std::string>, Json::Value> items;
  std::map<std::pair<std::string, std::string>, RawScript> rawScripts;
  struct QueuedReply {
    Json::Value items;
    std::string status;
  };
  std::deque<QueuedReply> queuedReplies;
  std::function<void(const RpcCall&)> rpcHook;
  std::function<void(const HttpRequestRecord&)> fileHook;
  std::vector<HttpRequestRecord> records;
  std::vector<RpcCall> rpcCalls;
  bool uploadReplySet = false;
  int uploadStatus = 200;
  // Shared, so that a large reply is not copied for every answer.
  std::shared_ptr<const std::string> uploadBody = std::make_shared<const std::string>();
  int uploadCount = 0;
  UploadFault uploadFault = UploadFault::kNone;
  // One thread per connection; finished ones are joined at the next accept.
  std::map<uint64_t, std::thread> workers;
  std::vector<uint64_t> finishedWorkers;
  uint64_t nextWorker = 0;
  std::set<int> openConnections;  // descriptors whose worker still runs
  bool stopping = false;

  void Start();
  void Stop();
  void AcceptLoop();
  void Serve(int fd, uint64_t worker);
  void Record(const HttpRequestRecord& request);
  bool ReadHead(int fd, HttpRequestRecord* request, std::string* rest) const;
  bool ReadBody(int fd, HttpRequestRecord* request, std::string rest) const;
  void Answer(int fd, const HttpRequestRecord& request);
  void AnswerFile(int fd, const HttpRequestRecord& request, const ServedFile& file);
  void AnswerRpc(int fd, const HttpRequestRecord& request);
  void AnswerUpload(int fd);
  void WaitForClientOrStop(int fd) const;
  void WaitForStop(int fd) const;
  void SendResponse(int fd, int status, const std::string& contentType, const std::string& body,
                    const std::vector<std::string>& extraHeaders = {}, bool withLength = true) const;
};

void HttpTestServer::Impl::Start() {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("test server: pipe failed");
  wakeRead = pipeFds[0];
  wakeWrite = pipeFds[1];

  auto bindLoopback = [](int* port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("test server: socket failed");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      ::close(fd);
      throw std::runtime_error("test server: bind failed");
    }
    *port = ntohs(addr.sin_port);
    return fd;
  };
  listenFd = bindLoopback(&port);
  if (::listen(listenFd, 64) != 0) throw std::runtime_error("test server: listen failed");
  refusedFd = bindLoopback(&refusedPort);
  acceptThread = std::thread([this] { AcceptLoop(); });
}

void HttpTestServer::Impl::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  if (wakeWrite >= 0) {
    char byte = 1;
    while (::write(wakeWrite, &byte, 1) < 0 && errno == EINTR) {
    }
  }
  if (acceptThread.joinable()) acceptThread.join();
  std::vector<std::thread> toJoin;
  {
    std::lock_guard<std::mutex> lock(mutex);
    // Wakes workers blocked in send or recv; each closes its own descriptor.
    for (int fd : openConnections) ::shutdown(fd, SHUT_RDWR);
    for (auto& worker : workers) toJoin.push_back(std::move(worker.second));
    workers.clear();
  }
  for (auto& worker : toJoin) worker.join();
  for (int* fd : {&listenFd, &refusedFd, &wakeRead, &wakeWrite}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

void HttpTestServer::Impl::AcceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakeRead, POLLIN, 0}};
    int ready = ::poll(fds, 2, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    if ((fds[0].revents & POLLIN) == 0) continue;
    int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::vector<std::thread> done;
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (stopping) {
        ::close(fd);
        return;
      }
      for (uint64_t id : finishedWorkers) {
        done.push_back(std::move(workers[id]));
        workers.erase(id);
      }
      finishedWorkers.clear();
      openConnections.insert(fd);
      uint64_t id = nextWorker++;
      workers.emplace(id, std::thread([this, fd, id] { Serve(fd, id); }));
    }
    for (auto& worker : done) worker.join();
  }
}

void HttpTestServer::Impl::Serve(int fd, uint64_t worker) {
  HttpRequestRecord request;
  std::string rest;
  if (ReadHead(fd, &request, &rest)) {
    bool stallBeforeBody = false;
    if (request.method == "PUT") {
      std::lock_guard<std::mutex> lock(mutex);
      stallBeforeBody = uploadFault == UploadFault::kStallBeforeBody;
    }
    if (stallBeforeBody) {
      // Reads nothing more, so that the client's sending blocks.
      Record(request);
      WaitForStop(fd);
    } else if (Lower(request.Header("Transfer-Encoding")).find("chunked") != std::string::npos) {
      Record(request);
      SendResponse(fd, 501, "text/html", HtmlPage(501));
    } else if (ReadBody(fd, &request, std::move(rest))) {
      Record(request);
      Answer(fd, request);
    }
  }
  // Half-close and let the client read to the end before the descriptor goes,
  // so that no reset cuts off an answer.
  ::shutdown(fd, SHUT_WR);
  char scratch[4096];
  for (int rounds = 0; rounds < 20; ++rounds) {
    pollfd p = {fd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) break;
    if (::recv(fd, scratch, sizeof scratch, 0) <= 0) break;
  }
  std::lock_guard<std::mutex> lock(mutex);
  openConnections.erase(fd);
  ::close(fd);
  finishedWorkers.push_back(worker);
}

void HttpTestServer::Impl::Record(const HttpRequestRecord& request) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    records.push_back(request);
  }
  recorded.notify_all();
}

bool HttpTestServer::Impl::ReadHead(int fd, HttpRequestRecord* request, std::string* rest) const {
  std::string data;
  char buffer[16384];
  size_t headerEnd;
  while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
    if (data.size() > kMaxHeaderBytes) return false;
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.append(buffer, static_cast<size_t>(n));
  }
  std::string head = data.substr(0, headerEnd);
  *rest = data.substr(headerEnd + 4);

  size_t lineEnd = head.find("\r\n");
  std::string requestLine = head.substr(0, lineEnd);
  size_t sp1 = requestLine.find(' ');
  size_t sp2 = requestLine.rfind(' ');
  if (sp1 == std::string::npos || sp2 == sp1) return false;
  request->method = requestLine.substr(0, sp1);
  request->target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
  size_t question = request->target.find('?');
  request->path = request->target.substr(0, question);
  request->query = question == std::string::npos ? std::string() : request->target.substr(question + 1);

  size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
  while (pos < head.size()) {
    size_t next = head.find("\r\n", pos);
    if (next == std::string::npos) next = head.size();
    std::string line = head.substr(pos, next - pos);
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
      request->headers.emplace_back(TrimSpaces(line.substr(0, colon)), TrimSpaces(line.substr(colon + 1)));
    }
    pos = next + 2;
  }
  return true;
}

bool HttpTestServer::Impl::ReadBody(int fd, HttpRequestRecord* request, std::string rest) const {
  if (Lower(request->Header("Expect")) == "100-continue") {
    static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
    if (!SendAll(fd, kContinue, sizeof kContinue - 1)) return false;
  }
  char buffer[16384];
  uint64_t length = qel::StringToUInt64(request->Header("Content-Length"));
  while (rest.size() < length) {
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    rest.append(buffer, static_cast<size_t>(n));
  }
  rest.resize(static_cast<size_t>(length));
  request->body = std::move(rest);
  return true;
}

void HttpTestServer::Impl::SendResponse(int fd, int status, const std::string& contentType,
                                        const std::string& body, const std::vector<std::string>& extraHeaders,
                                        bool withLength) const {
  std::string head = "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n";
  head += "Content-Type: " + contentType + "\r\n";
  if (withLength) head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  for (const auto& header : extraHeaders) head += header + "\r\n";
  head += "Connection: close\r\n\r\n";
  if (SendAll(fd, head.data(), head.size())) SendAll(fd, body.data(), body.size());
}

void HttpTestServer::Impl::WaitForClientOrStop(int fd) const {
  char scratch[4096];
  for (;;) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {wakeRead, POLLIN, 0}};
    int ready = ::poll(fds, 2, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    if (fds[0].revents != 0 && ::recv(fd, scratch, sizeof scratch, 0) <= 0) return;
  }
}

void HttpTestServer::Impl::WaitForStop(int fd) const {
  for (;;) {
    // No POLLIN on fd: what the client sends stays unread. A reset still ends the wait.
    pollfd fds[2] = {{fd, 0, 0}, {wakeRead, POLLIN, 0}};
    int ready = ::poll(fds, 2, -1);
    if (ready < 0 && errno == EINTR) continue;
    return;
  }
}

void HttpTestServer::Impl::Answer(int fd, const HttpRequestRecord& request) {
  std::shared_ptr<const ServedFile> file;
  Redirect redirect;
  std::function<void(const HttpRequestRecord&)> hook;
  {
    std::lock_guard<std::mutex> lock(mutex);
    hook = fileHook;
    auto found = files.find(request.path);
    if (found != files.end()) file = found->second;
    auto moved = redirects.find(request.path);
    if (moved != redirects.end() && (moved->second.method.empty() || moved->second.method == request.method))
      redirect = moved->second;
  }
  if (redirect.status != 0) {
    std::vector<std::string> headers = {"Location: " + redirect.location};
    if (!redirect.etag.empty()) headers.push_back("ETag: " + redirect.etag);
    SendResponse(fd, redirect.status, "text/html", HtmlPage(redirect.status), headers);
  } else if (request.method == "PUT") {
    AnswerUpload(fd);
  } else if (file) {
    if (hook) hook(request);
    AnswerFile(fd, request, *file);
  } else if (request.method == "POST") {
    AnswerRpc(fd, request);
  } else {
    SendResponse(fd, 404, "text/html", HtmlPage(404));
  }
}

void HttpTestServer::Impl::AnswerFile(int fd, const HttpRequestRecord& request, const ServedFile& file) {
  const bool head = request.method == "HEAD";
  const FileFault fault = head ? file.head : file.get;
  const std::string& content = file.content;
  const size_t size = content.size();

  switch (fault) {
    case FileFault::kNotFound:
      SendResponse(fd, 404, "text/html", HtmlPage(404));
      return;
    case FileFault::kServerErrorHtml:
      SendResponse(fd, 500, "text/html", HtmlPage(500));
      return;
    case FileFault::kStallHeaders:
      WaitForClientOrStop(fd);
      return;
    default:
      break;
  }

  int status = 200;
  size_t first = 0;
  size_t count = size;
  std::string contentRange;
  size_t rangeStart = 0, rangeEnd = 0;
  bool hasEnd = false;
  const std::string rangeHeader = request.Header("Range");
  // If-Range: a strong ETag or the exact Last-Modified of this file, else
  // the whole file.
  bool rangeAllowed = true;
  if (request.HasHeader("If-Range") && !file.ignoreIfRange) {
    const std::string ifRange = request.Header("If-Range");
    const bool weak = ifRange.compare(0, 2, "W/") == 0;
    rangeAllowed = (!weak && !file.etag.empty() && ifRange == file.etag) ||
                   (!file.lastModified.empty() && ifRange == file.lastModified);
  }
  if (!head && !rangeHeader.empty() && rangeAllowed && fault != FileFault::kIgnoreRange) {
    bool parsed = ParseRange(rangeHeader, &rangeStart, &rangeEnd, &hasEnd);
    if (!parsed || fault == FileFault::kRangeNotSatisfiable || rangeStart >= size) {
      std::string body = HtmlPage(416);
      SendResponse(fd, 416, "text/html", body, {"Content-Range: bytes */" + std::to_string(size)});
      return;
    }
    if (fault == FileFault::kWrongRangeStart) {
      rangeStart = static_cast<size_t>(
          std::min<int64_t>(std::max<int64_t>(file.wrongRangeStart, 0), static_cast<int64_t>(size) - 1));
      hasEnd = false;
    }
    size_t last = hasEnd ? std::min(rangeEnd, size - 1) : size - 1;
    status = 206;
    first = rangeStart;
    count = last - rangeStart + 1;
    contentRange = "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                   std::to_string(size);
  }

  std::string headers = "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n";
  headers += "Content-Type: application/octet-stream\r\nAccept-Ranges: bytes\r\n";
  const std::string& etag = head && file.headEtag ? *file.headEtag : file.etag;
  if (!etag.empty()) headers += "ETag: " + etag + "\r\n";
  if (!file.lastModified.empty()) headers += "Last-Modified: " + file.lastModified + "\r\n";
  if (!contentRange.empty()) headers += contentRange + "\r\n";
  if (fault != FileFault::kNoLength) {
    uint64_t announced = count;
    if (head && file.headLength >= 0) announced = static_cast<uint64_t>(file.headLength);
    if (!head && fault == FileFault::kShortBody) announced += file.extraPromised;
    headers += "Content-Length: " + std::to_string(announced) + "\r\n";
  }
  headers += "Connection: close\r\n\r\n";
  if (!SendAll(fd, headers.data(), headers.size()) || head) return;

  size_t sendCount = count;
  if (fault == FileFault::kDropMidBody || fault == FileFault::kStallBody) {
    sendCount = file.faultAfter == ServedFile::kHalf ? count / 2 : std::min(file.faultAfter, count);
  }
  if (!SendAll(fd, content.data() + first, sendCount)) return;
  if (fault == FileFault::kStallBody) WaitForClientOrStop(fd);
}

void HttpTestServer::Impl::AnswerRpc(int fd, const HttpRequestRecord& request) {
  RpcCall call;
  call.path = request.path;
  bool parsed = qel::ParseJson(request.body, &call.envelope) && call.envelope.isObject();
  const Json::Value& first = qel::Element(qel::ArrayMember(call.envelope, "params"), 0);
  parsed = parsed && first.isString() && qel::ParseJson(first.asString(), &call.base) && call.base.isObject();
  if (!parsed) {
    SendResponse(fd, 400, "text/plain", "bad envelope\n");
    return;
  }
  const Json::Value& parameter = qel::ArrayMember(call.base, "parameter");
  for (Json::ArrayIndex i = 0; i < parameter.size(); ++i) call.requests.push_back(parameter[i]);

  Json::Value itemList(Json::arrayValue);
  bool raw = false;
  RawScript rawScript;
  bool queued = false;
  QueuedReply queuedReply;
  std::function<void(const RpcCall&)> hook;
  {
    std::lock_guard<std::mutex> lock(mutex);
    rpcCalls.push_back(call);
    hook = rpcHook;
    if (!queuedReplies.empty()) {
      queued = true;
      queuedReply = queuedReplies.front();
      queuedReplies.pop_front();
    }
    for (const auto& requestObject : call.requests) {
      auto key = std::make_pair(qel::StringMember(requestObject, "interfaceUrl"),
                                qel::StringMember(requestObject, "method"));
      auto rawFound = rawScripts.find(key);
      if (rawFound != rawScripts.end() && !raw) {
        raw = true;
        rawScript = rawFound->second;
      }
      auto found = items.find(key);
      if (found != items.end()) {
        itemList.append(found->second);
      } else {
        Json::Value item(Json::objectValue);
        item["status"] = "19999";
        item["result"] = "";
        itemList.append(item);
      }
    }
  }
  if (hook) hook(call);
  if (raw && !queued) {
    SendResponse(fd, rawScript.status, rawScript.contentType, rawScript.body);
    return;
  }
  Json::Value inner(Json::objectValue);
  inner["status"] = "100000";
  inner["result"] = itemList;
  if (queued) {
    inner["result"] = queuedReply.items;
    if (queuedReply.status.empty()) {
      inner.removeMember("status");
    } else {
      inner["status"] = queuedReply.status;
    }
  }
  Json::Value reply(Json::objectValue);
  reply["jsonrpc"] = "2.0";
  reply["id"] = qel::Member(call.envelope, "id");
  reply["result"] = inner;
  SendResponse(fd, 200, "application/json;charset=UTF-8", qel::WriteCompactUtf8(reply));
}

void HttpTestServer::Impl::AnswerUpload(int fd) {
  int status;
  std::shared_ptr<const std::string> body;
  UploadFault fault;
  {
    std::lock_guard<std::mutex> lock(mutex);
    ++uploadCount;
    fault = uploadFault;
    status = uploadStatus;
    body = uploadBody;
    if (!uploadReplySet) {
      body = std::make_shared<const std::string>(
          "{\"result\":{\"result\":[{\"result\":{\"value1\":\"upload/" + std::to_string(uploadCount) +
          ".dat\"},\"status\":\"100000\"}],\"status\":\"100000\"}}");
    }
  }
  if (fault == UploadFault::kStallAfterBody) {
    WaitForClientOrStop(fd);
    return;
  }
  SendResponse(fd, status, "application/json;charset=UTF-8", *body, {}, fault != UploadFault::kNoLength);
}

std::string RpcEnvelope(const std::string& interfaceUrl, const std::string& method,
                        const Json::Value& param) {
  Json::Value request(Json::objectValue);
  request["interfaceUrl"] = interfaceUrl;
  request["method"] = method;
  request["param"] = param;
  Json::Value base(Json::objectValue);
  base["companyID"] = Json::Int64(42);
  base["sign"] = "r5k2w8m3p";
  base["parameter"].append(request);
  Json::Value envelope(Json::objectValue);
  envelope["jsonrpc"] = "2.0";
  envelope["method"] = "requestMethods";
  envelope["id"] = "17";
  envelope["params"].append(qel::WriteCompact(base));
  return qel::WriteCompact(envelope);
}

int ReplyStatus(const std::string& reply) {
  Json::Value parsed;
  if (!qel::ParseJson(reply, &parsed)) return -1;
  std::string status = qel::StringMember(qel::ObjectMember(parsed, "result"), "status");
  if (!qel::IsDecimalId(status) || status.size() > 9) return -1;
  return std::stoi(status);
}

TransportTimeouts::TransportTimeouts(Budget budget) {
  const std::pair<const char*, const char*> values[] = {
      {"QEL_HTTP_TIMEOUT_MS", budget == kStalledCall ? "1000" : "30000"},
      {"QEL_HTTP_CONNECT_TIMEOUT_MS", "10000"},
      {"QEL_HTTP_LOW_SPEED_TIME_S", budget == kStalledDownload ? "1" : "30"},
  };
  for (const auto& value : values) {
    const char* old = std::getenv(value.first);
    saved_.push_back(Saved{value.first, old != nullptr, old != nullptr ? old : ""});
    ::setenv(value.first, value.second, 1);
  }
}

TransportTimeouts::~TransportTimeouts() {
  for (const Saved& saved : saved_) {
    if (saved.had) {
      ::setenv(saved.name, saved.value.c_str(), 1);
    } else {
      ::unsetenv(saved.name);
    }
  }
}

HttpTestServer::HttpTestServer() : impl_(new Impl) {
  try {
    impl_->Start();
  } catch (...) {
    impl_->Stop();
    throw;
  }
}

HttpTestServer::~HttpTestServer() { impl_->Stop(); }

int HttpTestServer::port() const { return impl_->port; }

std::string HttpTestServer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(impl_->port); }

std::string HttpTestServer::Url(const std::string& pathAndQuery) const { return BaseUrl() + pathAndQuery; }

std::string HttpTestServer::RpcUrl() const { return Url(kRpcPath); }

std::string HttpTestServer::RefusedUrl(const std::string& pathAndQuery) const {
  return "http://127.0.0.1:" + std::to_string(impl_->refusedPort) + pathAndQuery;
}

void HttpTestServer::AddFile(const std::string& path, const std::string& content) {
  ServedFile file;
  file.content = content;
  AddFile(path, std::move(file));
}

std::string ServedFile::ContentETag(const std::string& content) {
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx",
                static_cast<unsigned long long>(std::hash<std::string>{}(content)));
  return "\"" + std::string(hash) + "-" + std::to_string(content.size()) + "\"";
}

void HttpTestServer::AddFile(const std::string& path, ServedFile file) {
  // Worked out once here: a large file is served many times.
  if (file.etag == ServedFile::kContentETag) file.etag = ServedFile::ContentETag(file.content);
  auto shared = std::make_shared<const ServedFile>(std::move(file));
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->files[path] = std::move(shared);
}

void HttpTestServer::RemoveFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->files.erase(path);
}

void HttpTestServer::AddRedirect(const std::string& path, int status, const std::string& location,
                                 const std::string& method, const std::string& etag) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->redirects[path] = Impl::Redirect{status, location, method, etag};
}

void HttpTestServer::RemoveRedirect(const std::string& path) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->redirects.erase(path);
}

void HttpTestServer::ScriptRpc(const std::string& interfaceUrl, const std::string& method,
                               const std::string& itemStatus, const Json::Value& result) {
  Json::Value item(Json::objectValue);
  item["status"] = itemStatus;
  item["result"] = result;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->items[std::make_pair(interfaceUrl, method)] = item;
}

void HttpTestServer::ScriptRpcRaw(const std::string& interfaceUrl, const std::string& method, int httpStatus,
                                  const std::string& body, const std::string& contentType) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->rawScripts[std::make_pair(interfaceUrl, method)] = Impl::RawScript{httpStatus, body, contentType};
}

void HttpTestServer::ScriptRpcReply(const Json::Value& items, const std::string& overallStatus) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->queuedReplies.push_back(Impl::QueuedReply{items, overallStatus});
}

void HttpTestServer::SetFileHook(std::function<void(const HttpRequestRecord&)> hook) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->fileHook = std::move(hook);
}

void HttpTestServer::SetRpcHook(std::function<void(const RpcCall&)> hook) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->rpcHook = std::move(hook);
}

void HttpTestServer::ClearRpcScripts() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->items.clear();
  impl_->rawScripts.clear();
  impl_->queuedReplies.clear();
}

Json::Value RpcCall::Param(size_t i) const {
  return i < requests.size() ? qel::Member(requests[i], "param") : Json::Value();
}

std::string RpcCall::Service(size_t i) const {
  if (i >= requests.size()) return "";
  return qel::StringMember(requests[i], "interfaceUrl") + " " + qel::StringMember(requests[i], "method");
}

std::vector<RpcCall> HttpTestServer::RpcCalls() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->rpcCalls;
}

void HttpTestServer::SetUploadReply(int httpStatus, const std::string& body) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->uploadReplySet = true;
  impl_->uploadStatus = httpStatus;
  impl_->uploadBody = std::make_shared<const std::string>(body);
}

void HttpTestServer::SetUploadFault(UploadFault fault) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->uploadFault = fault;
}

std::vector<HttpRequestRecord> HttpTestServer::Uploads() const {
  std::vector<HttpRequestRecord> uploads;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  for (const auto& record : impl_->records) {
    if (record.method == "PUT") uploads.push_back(record);
  }
  return uploads;
}

std::vector<HttpRequestRecord> HttpTestServer::Requests() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->records;
}

bool HttpTestServer::WaitForRequests(size_t count, int limitMs) const {
  std::unique_lock<std::mutex> lock(impl_->mutex);
  return impl_->recorded.wait_for(lock, std::chrono::milliseconds(limitMs),
                                  [&] { return impl_->records.size() >= count; });
}

size_t HttpTestServer::CountRequests(const std::string& method, const std::string& path) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return static_cast<size_t>(std::count_if(
      impl_->records.begin(), impl_->records.end(),
      [&](const HttpRequestRecord& record) { return record.method == method && record.path == path; }));
}

void HttpTestServer::ClearRequests() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->records.clear();
  impl_->rpcCalls.clear();
}

}  // namespace qeltest
