// The exports of libqelbridge.so. Reply texts are GBK JSON, owned by the
// caller and released with DeleteJsonStr.
#pragma once

#include <string>

#include "qelbridge_export.h"
#include "qelbridge_types.h"

extern "C" {
// 0 once the installation is open (a missing database file still starts,
// with an empty catalogue); 1 when a database file that exists cannot be
// opened or attached, after waiting up to 5 s for another process's lock:
// the bridge then stays unloaded and the next call tries again.
QELBRIDGE_API int InitQelbridge(int platform, const char* json);
QELBRIDGE_API int Invoke(int code, const char* json, char** reply);
// Like Invoke, then copies the reply and its terminating zero into the
// caller's array *buffer. The first four bytes of that array, read as an
// int before the call, give its capacity in bytes (including the zero);
// a capacity of 0 or less, or a reply that does not fit, copies nothing
// and leaves an empty text (when there is room for it).
QELBRIDGE_API int InvokeEx(int code, const char* json, char** buffer);
QELBRIDGE_API void DeleteJsonStr(char** reply);
QELBRIDGE_API void SetLogCallback(LogCallback fn);
QELBRIDGE_API void SetUpdateDownCallback(UpdateDownCallback fn);
}

// C++ entry points (undecorated as well: they are plain functions with
// C++ arguments, so they are declared extern "C" too).
extern "C" QELBRIDGE_API int Invoke_CPP(int code, const std::string& json, std::string& reply);
extern "C" QELBRIDGE_API int c_codethansfer(int direction, std::string* text);

namespace qel {
namespace dataspace {

// Exported for hosts that derive from it; nothing in the library uses it.
class QELBRIDGE_API IQELMainInfo {
 public:
  IQELMainInfo();
  IQELMainInfo(const IQELMainInfo&);
  IQELMainInfo& operator=(const IQELMainInfo&);
  virtual ~IQELMainInfo();
  virtual int GetMainInfo(std::string* info) = 0;
  virtual int SetMainInfo(const std::string& info) = 0;
  virtual int Release() = 0;
};

}  // namespace dataspace
}  // namespace qel
