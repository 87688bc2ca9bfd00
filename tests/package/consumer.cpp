// A host of the installed libraries: it includes only the installed headers
// and calls one entry point of each library.
#include <cstdio>
#include <string>

#include "qelbridge.h"
#include "qelclientcore.h"
#include "qelhttpjsonrequest.h"
#include "qelresource.h"

#ifdef QEL_LOG
#error "the installed bridge header must not carry the library's log macros"
#endif

namespace {
void IgnoreLog(const char*, const char*) {}
}  // namespace

int main() {
  SetLogCallback(&IgnoreLog);
  SetLogCallback(nullptr);
  char* reply = nullptr;
  DeleteJsonStr(&reply);
  qel::internet::qelHttpJsonRequest request;
  const std::string answer = request.Invoke("", "");
  const int resource = fnQelResource();
  if (qelclientcore::CQelClientCore::GetInstance() == nullptr) return 1;
  std::printf("consumer: %d %zu\n", resource, answer.size());
  return answer.empty() ? 1 : 0;
}
