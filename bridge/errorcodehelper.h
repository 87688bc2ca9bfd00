// Error replies read from the local error tables.
#pragma once

#include <string>

#include <json/json.h>

namespace qel {

class qelErrorHelper {
 public:
  // Fills *out with {"ERRORCODE","ERRORDESC","ERRORLEVE"} for code. Returns 0
  // when a row was found and also when none was (empty texts); 1 when the
  // query cannot run (no database), leaving *out untouched.
  static int GetErrorINFO(const std::string& code, Json::Value* out);
};

namespace dataspace {

// Replaces *reply by the styled error object of code. The result is
// GetErrorINFO's.
int MakeErrorReply(std::string code, std::string* reply);

// The reply Invoke gives for a non-zero result: the error object of its
// code. When the handler's own reply is the error object of that same code
// with members added (a consultation or inquiry the service did not take
// names the id it is kept under), those members stay.
void MakeResultReply(int result, std::string* reply);

}  // namespace dataspace
}  // namespace qel
