// Log and progress bridges: every log line of the library goes to the
// host's callback; nothing is formatted while no callback is set.
//
// The texts handed to these functions (and the [FUN] names) reach the hosts,
// which match on them: they keep their exact spelling, typos and odd
// spacing included. Do not "fix" them.
//
// Internal header: hosts include qelbridge.h, which does not pull this in.
#pragma once

#include <ctime>
#include <string>

#include "qelbridge_types.h"

namespace qel {
namespace dataspace {

void StoreLogCallback(LogCallback fn);
void StoreUpdateDownCallback(UpdateDownCallback fn);
bool LogEnabled();

// "[FILE]:%s,[LINE]:%d,[FUN]:%s,[TIME]:%d:%d:%d>>>\n" + message, passed to
// the callback with "" as extra. Secrets in the message are masked.
void LogBridge(const char* file, int line, const char* function, const std::string& message);
// The header LogBridge puts before a message.
std::string FormatLogHeader(const char* file, int line, const char* function, const std::tm& time);
// The bare text to the callback with a null extra. Secrets are masked.
void LogDirect(const std::string& text);
// Replaces the values of password-like members in a logged text by "***".
std::string MaskSecrets(const std::string& text);

// The progress callback's result (non-zero: stop), or 0 without a callback.
int NotifyUpdateProgress(int step, const char* text);

}  // namespace dataspace
}  // namespace qel

// The message expression is evaluated only when a callback is set.
#define QEL_LOG(function, message)                                            \
  do {                                                                        \
    if (::qel::dataspace::LogEnabled())                                       \
      ::qel::dataspace::LogBridge(__FILE__, __LINE__, (function), (message)); \
  } while (0)

#define QEL_LOG_DIRECT(message)                                                 \
  do {                                                                          \
    if (::qel::dataspace::LogEnabled()) ::qel::dataspace::LogDirect((message)); \
  } while (0)
