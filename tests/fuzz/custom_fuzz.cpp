// The custom module's service calls through Invoke, with the loopback
// service answering every JSON-RPC post with the input: the first byte
// picks the call, the second the HTTP status, the rest is the body (UTF-8,
// as on the wire). Login, sign-up, security codes, consultations, feedback,
// the usage-record queue and the update queries all see malformed replies.
// Every input starts from the installation as built (databases, files,
// current user, no update addresses), so a finding replays from its file
// alone. What a host relies on is checked, not only that nothing crashes:
//   - every reply text decodes as GBK to valid JSON (or is empty);
//   - result 0 only when the service said "100000" in a JSON reply, and any
//     other result but 1 comes with the error object of that code;
//   - the password never reaches the log callback: it is made from the
//     input's own hash, so no reply, stored row, dictionary word or earlier
//     input can spell it;
//   - no user is ever stored without a user id;
//   - a failed login leaves the stored users alone, a reply that does not
//     parse leaves the usage-record queue alone, and reading the user
//     information leaves the database unchanged.
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <json/json.h>

#include "fixture.h"
#include "httptestserver.h"
#include "internet/qelinternetutil.h"
#include "qel/json.h"
#include "qel/text.h"
#include "qelbridge.h"
#include "update/qelupdateprogram.h"

namespace {

// Stands for the password in the request texts below.
constexpr char kPasswordMark[] = "@PASSWORD@";

// A password of this input alone: letters from a hash of every input byte.
std::string InputPassword(const uint8_t* data, size_t size) {
  uint64_t hash = 14695981039346656037ull;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  std::string password = "Pw-";
  for (int i = 0; i < 11; ++i, hash /= 52) password += kLetters[hash % 52];
  return password;
}

std::string WithPassword(std::string request, const std::string& password) {
  const size_t at = request.find(kPasswordMark);
  if (at != std::string::npos) request.replace(at, sizeof(kPasswordMark) - 1, password);
  return request;
}

void Check(bool ok, const char* what, int code) {
  if (!ok) {
    std::fprintf(stderr, "property failed: %s (code 0x%x)\n", what, static_cast<unsigned>(code));
    std::abort();
  }
}

// Every logged text, as a host's callback sees it.
std::mutex g_logMutex;
std::string g_log;
void CaptureLog(const char* text, const char* extra) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_log += text != nullptr ? text : "";
  g_log += '\n';
  g_log += extra != nullptr ? extra : "";
  g_log += '\n';
}

struct Call {
  int code;
  const char* request;
  bool service;  // reaches the service
};

const Call kCalls[] = {
    {0x531, R"({"PARAM":{"LOGININFO":{"USERID":"alice","PASSWORD":"@PASSWORD@","REMEMBER":"1"}}})", true},
    {0x531, R"({"PARAM":{"LOGININFO":{"USERID":"bob@example.com","PASSWORD":"@PASSWORD@","REMEMBER":"0"}}})",
     true},
    {0x534, "", false},
    {0x532,
     R"({"PARAM":{"REGINFO":{"ACCOUNT":"carol","PASSWORD":"@PASSWORD@","EMAIL":"c@x","MOBILE":"138","NAME":"C",)"
     R"("POSITION":"P","COMPNAME":"Co","TEL1":"1","TEL2":"2","TEL3":"3"}}})",
     true},
    {0x535, R"({"PARAM":{"SENDINFO":{"ACCOUNT":"c@x","ACCOUNTTYPE":"2"}}})", true},
    {0x536, R"({"PARAM":{"VALIDATEINFO":{"SECURITYCODE":"1234","ACCOUNT":"c@x","ACCOUNTTYPE":"1"}}})", true},
    {0x554, R"({"PARAM":{"USERINFO":{"NAME":"n","TYPE":"1","OLDNAME":"o"}}})", true},
    {0x539,
     R"({"PARAM":{"PROD_CONSULT":{"PRODUCT_ID":"42","CONSULT_ID":"-2","ADDTIME":"2026-1-1","CONTENT":"q",)"
     R"("TEL1":"","TEL2":"","TEL3":"","MOBILENUM":"","EMAIL":""}}})",
     true},
    {0x550, R"({"PARAM":{"FEEDBACKSERVICE":{"EMAIL":"a@example.com","SUGGEST":"more pictures"}}})", true},
    {0x551, "", true},
    {0x571, "", true},
    {0x572, "", true},
    {0x573, "", true},
};

const int kStatuses[] = {200, 200, 200, 200, 200, 500, 404, 302};

qeltest::HttpTestServer& Server() {
  static qeltest::HttpTestServer* server = [] {
    // A healthy budget: a stalled answer never comes from this server.
    static qeltest::TransportTimeouts timeouts(qeltest::TransportTimeouts::kHealthy);
    return new qeltest::HttpTestServer();
  }();
  return *server;
}

// Rows of one table of the main database, read on a connection of our own.
std::string Rows(const std::string& root, const char* sql) {
  std::string out;
  sqlite3* db = nullptr;
  std::string path = root + "/data/qel_data.db";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_exec(
        db, sql,
        [](void* text, int n, char** values, char**) {
          auto* s = static_cast<std::string*>(text);
          for (int i = 0; i < n; ++i) *s += (values[i] != nullptr ? values[i] : "<null>") + std::string("|");
          *s += '\n';
          return 0;
        },
        &out, nullptr);
  }
  sqlite3_close(db);
  return out;
}

// Every (interfaceUrl, method) the request types name, so that any envelope
// gets the raw answer.
std::vector<std::pair<std::string, std::string>> Services() {
  std::vector<std::pair<std::string, std::string>> services;
  qel::dataspace::qelInternetUtil util;
  for (int type : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 17, 18, 256, 257, 258, 259, 515}) {
    Json::Value request = util.GetInternalRequestData(type, Json::Value(Json::objectValue));
    services.emplace_back(qel::StringMember(request, "interfaceUrl"), qel::StringMember(request, "method"));
  }
  return services;
}

// The wire body read as the transport reads it (UTF-8 to GBK, sequences
// that do not convert dropped); false when that does not parse.
bool ReadsAsReply(const std::string& body, Json::Value* reply) {
  return qel::ParseGbkJson(qel::Utf8ToGbk(body), reply);
}

// True when the wire body says the whole call succeeded. The transport
// hands on the body whatever the HTTP status: an error page fails to parse,
// a success body under status 500 is still the service's answer.
bool ServiceSaidSuccess(const std::string& body) {
  Json::Value reply;
  if (!ReadsAsReply(body, &reply)) return false;
  const Json::Value& result = qel::ObjectMember(reply, "result");
  return qel::TextMember(result, "status").find("100000") != std::string::npos;
}

// Forgets the addresses an earlier input's update check kept in memory: a
// check clears them before it asks, and this one gets no answer.
void ForgetUpdateCheck(const std::vector<std::pair<std::string, std::string>>& services) {
  for (const auto& service : services) Server().ScriptRpcRaw(service.first, service.second, 500, "");
  std::string ignored;
  qel::dataspace::qelUpdateProgram::GetInstance()->CheckDataUpdate("", &ignored);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static const std::string root = [] {
    SetLogCallback(&CaptureLog);
    return qelfuzz::ServiceInstallation(Server().RpcUrl());
  }();
  static const std::vector<std::pair<std::string, std::string>> services = Services();
  static bool updateChecked = false;

  const Call& call = kCalls[data[0] % (sizeof(kCalls) / sizeof(kCalls[0]))];
  const int httpStatus = kStatuses[data[1] % (sizeof(kStatuses) / sizeof(kStatuses[0]))];
  const std::string body(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::string password = InputPassword(data, size);

  if (updateChecked) ForgetUpdateCheck(services);
  updateChecked = call.code == 0x571 || call.code == 0x572;
  qelfuzz::ResetInstallation();
  Server().ClearRequests();
  for (const auto& service : services) Server().ScriptRpcRaw(service.first, service.second, httpStatus, body);

  // Something for the queue to send.
  if (call.code == 0x551) {
    char* queued = nullptr;
    Invoke(0x553, R"({"prodId":"12"})", &queued);
    DeleteJsonStr(&queued);
  }
  {
    std::lock_guard<std::mutex> lock(g_logMutex);
    g_log.clear();
  }
  const std::string usersBefore = Rows(root, "SELECT * FROM USERINFO ORDER BY 1");
  const std::string queueBefore = Rows(root, "SELECT * FROM BEHAVIOR ORDER BY ID");
  const std::string configBefore = Rows(root, "SELECT * FROM CONFIGINFO ORDER BY ID");

  char* replyText = nullptr;
  const int result = Invoke(call.code, WithPassword(call.request, password).c_str(), &replyText);
  const std::string reply = replyText != nullptr ? replyText : "";
  DeleteJsonStr(&replyText);
  Check(replyText == nullptr, "the reply is released", call.code);

  if (!reply.empty()) {
    Json::Value parsed;
    Check(qel::IsValidGbk(reply) && qel::ParseJson(qel::GbkToUtf8(reply), &parsed),
          "a reply decodes as GBK to valid JSON", call.code);
    if (result != 0 && result != 1 && parsed.isObject() && parsed.isMember("ERRORCODE"))
      Check(qel::StringMember(parsed, "ERRORCODE") == std::to_string(result),
            "the error object names the result", call.code);
  }
  if (call.service && result == 0)
    Check(ServiceSaidSuccess(body), "0 only when the service said success", call.code);

  {
    std::lock_guard<std::mutex> lock(g_logMutex);
    Check(g_log.find(password) == std::string::npos, "no password in the log", call.code);
  }

  const std::string usersAfter = Rows(root, "SELECT * FROM USERINFO ORDER BY 1");
  Check(Rows(root, "SELECT UID FROM USERINFO WHERE UID IS NULL OR UID = ''").empty(),
        "no user is stored without a user id", call.code);
  if (call.code == 0x531 && result != 0)
    Check(usersAfter == usersBefore, "a failed login stores no user", call.code);
  if (call.code == 0x534) {
    Check(usersAfter == usersBefore && Rows(root, "SELECT * FROM BEHAVIOR ORDER BY ID") == queueBefore &&
              Rows(root, "SELECT * FROM CONFIGINFO ORDER BY ID") == configBefore,
          "reading the user changes nothing", call.code);
  }
  Json::Value wire;
  if (call.code == 0x551 && !ReadsAsReply(body, &wire))
    Check(Rows(root, "SELECT * FROM BEHAVIOR ORDER BY ID") == queueBefore,
          "an unanswered send keeps the queue", call.code);
  return 0;
}
