// Helpers of the bridge tests: calls through the public entry point, reading
// replies, and capturing what reaches the log callback. Header-only: the
// support library does not link the bridge, the test executables do.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "qel/json.h"
#include "qel/text.h"
#include "qelbridge.h"

namespace qeltest {

// The result and the reply text of one call ("" when there is no reply).
struct Reply {
  int result;
  std::string text;
};

// Invoke, with the reply copied and released the way a host does.
inline Reply Call(int code, const std::string& json = "") {
  char* out = nullptr;
  int result = Invoke(code, json.c_str(), &out);
  Reply reply{result, out != nullptr ? out : ""};
  DeleteJsonStr(&out);
  return reply;
}

// Reads a reply as any host does: it must be valid GBK and, decoded as
// GBK, valid JSON; the value comes back with GBK strings. A reply that
// is not fails the test (and gives a null value).
inline Json::Value Parse(const std::string& text) {
  Json::Value decoded;
  Json::Value value;
  EXPECT_TRUE(qel::IsValidGbk(text)) << text;
  EXPECT_TRUE(qel::ParseJson(qel::GbkToUtf8(text), &decoded)) << text;
  EXPECT_TRUE(qel::ParseGbkJson(text, &value)) << text;
  return value;
}

// One string member of every row, in order; no rows when rows is no array.
inline std::vector<std::string> Column(const Json::Value& rows, const char* name) {
  std::vector<std::string> values;
  if (!rows.isArray()) return values;
  for (const Json::Value& row : rows) values.push_back(qel::StringMember(row, name));
  return values;
}

// The same for a reply text. A reply that is no array gives one entry
// "<not an array: text>", so that a comparison fails and shows the reply.
inline std::vector<std::string> Column(const std::string& text, const char* name) {
  Json::Value rows;
  if (!qel::ParseGbkJson(text, &rows) || !rows.isArray()) return {"<not an array: " + text + ">"};
  return Column(rows, name);
}

// What reached the log callback: the text, and whether it came straight
// (null extra) rather than as a formatted bridge line ("" extra). Guarded:
// the bridge may log from its own threads.
struct LogLine {
  std::string text;
  bool direct;
};

// Never destroyed: a test may leave the callback set, and the bridge's
// singletons still log while the process exits.
inline std::mutex& LogMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}

inline std::vector<LogLine>& LogLines() {
  static std::vector<LogLine>* lines = new std::vector<LogLine>;
  return *lines;
}

// The callback to hand to SetLogCallback / StoreLogCallback.
inline void CaptureLog(const char* text, const char* extra) {
  std::lock_guard<std::mutex> lock(LogMutex());
  LogLines().push_back({text != nullptr ? text : "", extra == nullptr});
}

inline void ClearLog() {
  std::lock_guard<std::mutex> lock(LogMutex());
  LogLines().clear();
}

// Every captured text, each followed by "\n".
inline std::string LogText() {
  std::lock_guard<std::mutex> lock(LogMutex());
  std::string text;
  for (const LogLine& line : LogLines()) text += line.text + "\n";
  return text;
}

inline bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Whether a captured line contains fragment.
inline bool Logged(const std::string& fragment) {
  std::lock_guard<std::mutex> lock(LogMutex());
  for (const LogLine& line : LogLines()) {
    if (line.text.find(fragment) != std::string::npos) return true;
  }
  return false;
}

// Whether a captured line ends with message (a bridge line puts its header
// first).
inline bool LoggedAtEnd(const std::string& message) {
  std::lock_guard<std::mutex> lock(LogMutex());
  for (const LogLine& line : LogLines()) {
    if (EndsWith(line.text, message)) return true;
  }
  return false;
}

// Whether text was passed straight to the callback, as it stands.
inline bool LoggedDirect(const std::string& text) {
  std::lock_guard<std::mutex> lock(LogMutex());
  for (const LogLine& line : LogLines()) {
    if (line.direct && line.text == text) return true;
  }
  return false;
}

// Whether a formatted bridge line of function ends with text.
inline bool LoggedBridge(const std::string& function, const std::string& text) {
  std::lock_guard<std::mutex> lock(LogMutex());
  for (const LogLine& line : LogLines()) {
    if (!line.direct && EndsWith(line.text, text) &&
        line.text.find("[FUN]:" + function + ",") != std::string::npos) {
      return true;
    }
  }
  return false;
}

}  // namespace qeltest
