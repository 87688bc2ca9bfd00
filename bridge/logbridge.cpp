#include "logbridge.h"

#include <atomic>
#include <ctime>

#include "qel/text.h"

namespace qel {
namespace dataspace {
namespace {

std::atomic<LogCallback> g_logCallback{nullptr};
std::atomic<UpdateDownCallback> g_updateDownCallback{nullptr};

bool IsSecretKey(const std::string& key) {
  return EqualsNoCase(key, "password") || EqualsNoCase(key, "passwd") || EqualsNoCase(key, "newpwd") ||
         EqualsNoCase(key, "securitycode") || EqualsNoCase(key, "code");
}

bool IsKeyChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

void StoreLogCallback(LogCallback fn) { g_logCallback.store(fn); }
void StoreUpdateDownCallback(UpdateDownCallback fn) { g_updateDownCallback.store(fn); }
bool LogEnabled() { return g_logCallback.load(std::memory_order_relaxed) != nullptr; }

// Masks "key":"value" for the secret keys, also inside a JSON text that is
// itself a string value (the envelope's params, where quotes read \").
std::string MaskSecrets(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  std::string::size_type i = 0;
  while (i < text.size()) {
    if (text[i] != '"') {
      out += text[i++];
      continue;
    }
    bool escaped = i > 0 && text[i - 1] == '\\';
    std::string::size_type k = i + 1;
    while (k < text.size() && IsKeyChar(text[k])) ++k;
    std::string key = text.substr(i + 1, k - i - 1);
    std::string closing = escaped ? "\\\"" : "\"";
    bool isKey = !key.empty() && text.compare(k, closing.size(), closing) == 0;
    if (!isKey || !IsSecretKey(key)) {
      out += text[i++];
      continue;
    }
    std::string::size_type p = k + closing.size();
    while (p < text.size() && (text[p] == ' ' || text[p] == '\t')) ++p;
    if (p >= text.size() || text[p] != ':') {
      out += text[i++];
      continue;
    }
    ++p;
    while (p < text.size() && (text[p] == ' ' || text[p] == '\t')) ++p;
    std::string::size_type valueStart = p;
    std::string::size_type valueEnd;
    if (text.compare(p, closing.size(), closing) == 0) {
      valueStart = p + closing.size();
      valueEnd = valueStart;
      while (valueEnd < text.size() && text.compare(valueEnd, closing.size(), closing) != 0) {
        valueEnd += (!escaped && text[valueEnd] == '\\') ? 2 : 1;
      }
      if (valueEnd > text.size()) valueEnd = text.size();
    } else {
      valueEnd = p;
      while (valueEnd < text.size() && text[valueEnd] != ',' && text[valueEnd] != '}' &&
             text[valueEnd] != '\\' && text[valueEnd] != '\n') {
        ++valueEnd;
      }
    }
    out.append(text, i, valueStart - i);
    out += "***";
    i = valueEnd;
  }
  return out;
}

std::string FormatLogHeader(const char* file, int line, const char* function, const std::tm& time) {
  std::string header = "[FILE]:";
  header += file != nullptr ? file : "";
  header += ",[LINE]:" + std::to_string(line) + ",[FUN]:";
  header += function != nullptr ? function : "";
  header += ",[TIME]:" + std::to_string(time.tm_hour) + ":" + std::to_string(time.tm_min) + ":" +
            std::to_string(time.tm_sec) + ">>>\n";
  return header;
}

void LogBridge(const char* file, int line, const char* function, const std::string& message) {
  LogCallback fn = g_logCallback.load();
  if (fn == nullptr) return;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::string text = FormatLogHeader(file, line, function, local) + MaskSecrets(message);
  fn(text.c_str(), "");
}

void LogDirect(const std::string& text) {
  LogCallback fn = g_logCallback.load();
  if (fn == nullptr) return;
  fn(MaskSecrets(text).c_str(), nullptr);
}

int NotifyUpdateProgress(int step, const char* text) {
  UpdateDownCallback fn = g_updateDownCallback.load();
  return fn != nullptr ? fn(step, text != nullptr ? text : "") : 0;
}

}  // namespace dataspace
}  // namespace qel
