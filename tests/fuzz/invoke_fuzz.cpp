// Invoke with any request code and any request text on a fixture
// installation: the first byte gives the module, the second the method,
// the rest is the request text.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"
#include "qel/json.h"
#include "qelbridge.h"

namespace {

void Check(bool ok, const char* what, int code) {
  if (!ok) {
    std::fprintf(stderr, "property failed: %s (code 0x%x)\n", what, static_cast<unsigned>(code));
    std::abort();
  }
}

// Reads every log line as a host would, so that formatting and masking run.
std::atomic<size_t> g_logBytes{0};
void CountingLog(const char* text, const char* extra) {
  g_logBytes += std::strlen(text) + (extra != nullptr ? std::strlen(extra) : 0);
}

// A reply is a JSON text, or empty where a handler found nothing to say.
void CheckReply(const std::string& reply, int result, int code) {
  Json::Value parsed;
  if (result != 0) {
    // The error object of the code, from the fixture's error tables.
    Check(qel::ParseJson(reply, &parsed) && parsed.isObject(), "error reply is an object", code);
    Check(qel::StringMember(parsed, "ERRORCODE") == std::to_string(result), "error reply names the code", code);
    return;
  }
  Check(reply.empty() || qel::ParseJson(reply, &parsed), "reply is JSON", code);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qelfuzz::FixtureInstallation();
  if (size < 2) return 0;
  // Modules 0 to 7 (7 exercises the missing-module path); now and then a
  // code with high bits set, which the dispatcher ignores.
  int code = ((data[0] & 0x07) << 8) | data[1];
  if (data[0] & 0x80) code |= static_cast<int>(0xFFFF0000u);
  const bool logging = (data[0] & 0x40) != 0;
  SetLogCallback(logging ? CountingLog : nullptr);
  std::string request(reinterpret_cast<const char*>(data + 2), size - 2);
  request = request.substr(0, request.find('\0'));

  char* reply = nullptr;
  int result = Invoke(code, request.c_str(), &reply);
  Check(reply != nullptr, "Invoke gives a reply", code);
  std::string text = reply;
  DeleteJsonStr(&reply);
  Check(reply == nullptr, "DeleteJsonStr clears the pointer", code);
  CheckReply(text, result, code);

  // The same request through the C++ entry; the catalogue modules only
  // read, so they answer the same. The custom module (5) writes local state.
  std::string cppReply;
  int cppResult = Invoke_CPP(code, request, cppReply);
  if (((code >> 8) & 0xFF) != 5) {
    Check(cppResult == result, "Invoke_CPP gives the same result", code);
    if (result == 0) Check(cppReply == text, "Invoke_CPP gives the same reply", code);
  }
  if (cppResult != 0) Check(!cppReply.empty(), "Invoke_CPP never leaves a failure empty", code);

  // InvokeEx into an array just large enough, or one byte short.
  if (data[0] & 0x20) {
    size_t capacity = text.size() + 1 - (data[0] & 0x10 ? 1 : 0);
    std::vector<char> buffer(capacity < sizeof(int) ? sizeof(int) : capacity);
    int stated = static_cast<int>(capacity);
    std::memcpy(buffer.data(), &stated, sizeof stated);
    char* target = buffer.data();
    InvokeEx(code, request.c_str(), &target);
    Check(std::memchr(buffer.data(), '\0', buffer.size()) != nullptr, "InvokeEx terminates", code);
  }
  SetLogCallback(nullptr);
  return 0;
}
