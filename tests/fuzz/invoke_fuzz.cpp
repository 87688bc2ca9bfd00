// Invoke with any request code and any request text on a fixture
// installation: the first two bytes give the code (module, method).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fixture.h"
#include "qelbridge.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qelfuzz::FixtureInstallation();
  if (size < 2) return 0;
  // Modules 0 to 7 (7 exercises the missing-module path).
  int code = ((data[0] & 0x07) << 8) | data[1];
  std::string request(reinterpret_cast<const char*>(data + 2), size - 2);
  request = request.substr(0, request.find('\0'));
  char* reply = nullptr;
  int result = Invoke(code, request.c_str(), &reply);
  if (reply == nullptr && result != -1) std::abort();
  if (reply != nullptr) std::strlen(reply);
  DeleteJsonStr(&reply);
  std::string cppReply;
  Invoke_CPP(code, request, cppReply);
  return 0;
}
