#include "logbridge.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {
namespace {

std::atomic<LogCallback> g_logCallback{nullptr};
std::atomic<UpdateDownCallback> g_updateDownCallback{nullptr};

bool IsSecretKey(const std::string& key) {
  for (const char* name : {"password", "passwd", "newpwd", "securitycode", "code"}) {
    if (EqualsNoCase(key, name)) return true;
  }
  return false;
}

// Nesting of texts held in string values that is still unpacked; a deeper
// string that may hold a secret is masked whole.
constexpr int kMaxTextDepth = 8;
constexpr char kMask[] = "\"***\"";

bool IsJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Whether any JSON spelling of a secret member name can occur in text: the
// names hold "pass", "pwd" or "code", and only a \u escape spells a letter
// otherwise. Keeps the common line (no secret) on a cheap path.
bool MayHoldSecret(const std::string& text) {
  std::string lower = ToLower(text);
  return lower.find("pass") != std::string::npos || lower.find("pwd") != std::string::npos ||
         lower.find("code") != std::string::npos || text.find("\\u") != std::string::npos;
}

size_t SkipSpace(const std::string& t, size_t i) {
  while (i < t.size() && IsJsonSpace(t[i])) ++i;
  return i;
}

// The index after the closing quote of the string token that starts at
// t[begin] == '"', or npos when it is not closed. GBK characters are taken
// whole: a second byte 0x5C is no escape.
size_t StringEnd(const std::string& t, size_t begin, size_t limit = std::string::npos) {
  const size_t stop = limit < t.size() - begin ? begin + limit : t.size();
  for (size_t i = begin + 1; i < stop; ++i) {
    unsigned char c = static_cast<unsigned char>(t[i]);
    if (c == '"') return i + 1;
    if (c == '\\') {
      ++i;
    } else if (IsGbkLeadByte(c) && i + 1 < t.size() && IsGbkTrailByte(static_cast<unsigned char>(t[i + 1]))) {
      ++i;
    }
  }
  return std::string::npos;
}

// The GBK content of the string token t[begin, end) (quotes included).
std::string DecodeString(const std::string& t, size_t begin, size_t end) {
  std::string out;
  size_t last = end - 1;  // the closing quote
  for (size_t i = begin + 1; i < last; ++i) {
    unsigned char c = static_cast<unsigned char>(t[i]);
    if (IsGbkLeadByte(c) && i + 1 < last && IsGbkTrailByte(static_cast<unsigned char>(t[i + 1]))) {
      out += t[i];
      out += t[++i];
      continue;
    }
    if (c != '\\' || i + 1 >= last) {
      out += t[i];
      continue;
    }
    char e = t[++i];
    switch (e) {
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'u': {
        uint32_t cp = 0;
        if (!ReadHex4(t, i + 1, &cp)) {
          out += "\\u";
          break;
        }
        i += 4;
        uint32_t low = 0;
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 6 < last && t[i + 1] == '\\' && t[i + 2] == 'u' &&
            ReadHex4(t, i + 3, &low) && low >= 0xDC00 && low <= 0xDFFF) {
          cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          i += 6;
        }
        std::string utf8;
        AppendUtf8(cp, &utf8);
        out += cp < 0x80 ? utf8 : Utf8ToGbk(std::string_view(utf8));
        break;
      }
      default:  // \" \\ \/ and anything else: the character itself
        out += e;
        break;
    }
  }
  return out;
}

// A string token holding GBK text; a second byte 0x5C stays as it is.
std::string EncodeString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsGbkLeadByte(c) && i + 1 < text.size() && IsGbkTrailByte(static_cast<unsigned char>(text[i + 1]))) {
      out += text[i];
      out += text[++i];
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += text[i];
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\u%04x", c);
      out += hex;
    } else {
      out += text[i];
    }
  }
  return out + "\"";
}

// The index after the value that starts at t[begin]: a string, an object or
// array (strings inside taken whole) or a bare word up to a delimiter.
size_t ValueEnd(const std::string& t, size_t begin) {
  if (begin >= t.size()) return begin;
  if (t[begin] == '"') {
    size_t end = StringEnd(t, begin);
    return end == std::string::npos ? t.size() : end;
  }
  if (t[begin] == '{' || t[begin] == '[') {
    int depth = 0;
    for (size_t i = begin; i < t.size(); ++i) {
      char c = t[i];
      if (c == '"') {
        size_t end = StringEnd(t, i);
        if (end == std::string::npos) return t.size();
        i = end - 1;
      } else if (c == '{' || c == '[') {
        ++depth;
      } else if ((c == '}' || c == ']') && --depth == 0) {
        return i + 1;
      }
    }
    return t.size();
  }
  size_t i = begin;
  while (i < t.size() && t[i] != ',' && t[i] != '}' && t[i] != ']' && !IsJsonSpace(t[i])) ++i;
  return i;
}

// Copies a secret member whose name starts at t[name] and whose colon is at
// t[colon], its value replaced by "***"; the index after the value.
size_t AppendMaskedMember(const std::string& t, size_t name, size_t colon, std::string* out) {
  size_t value = SkipSpace(t, colon + 1);
  size_t valueEnd = ValueEnd(t, value);
  out->append(t, name, value - name);
  if (valueEnd > value) *out += kMask;
  return valueEnd;
}

std::string MaskText(const std::string& text, int depth);

// Masks a text held in a string value (an envelope's escaped params, a
// record text); false when nothing in it changed.
bool MaskInnerText(const std::string& content, int depth, std::string* masked) {
  if (!MayHoldSecret(content)) return false;
  *masked = depth >= kMaxTextDepth ? std::string("***") : MaskText(content, depth + 1);
  return *masked != content;
}

// Token scan of a JSON text: every string token followed by ":" is a
// member name; a secret one has its value replaced by "***". Other string
// tokens are unpacked and masked as texts of their own. Any JSON white
// space and escape is read as a parser reads it.
std::string ScanAndMask(const std::string& t, int depth) {
  std::string out;
  out.reserve(t.size());
  size_t i = 0;
  while (i < t.size()) {
    if (t[i] != '"') {
      out += t[i++];
      continue;
    }
    size_t end = StringEnd(t, i);
    if (end == std::string::npos) {
      // No later quote closes either: the scan would be in the same state.
      out.append(t, i, std::string::npos);
      break;
    }
    std::string content = DecodeString(t, i, end);
    size_t colon = SkipSpace(t, end);
    if (colon < t.size() && t[colon] == ':' && IsSecretKey(content)) {
      i = AppendMaskedMember(t, i, colon, &out);
      continue;
    }
    std::string masked;
    if (MaskInnerText(content, depth, &masked)) {
      out += EncodeString(masked);
    } else {
      out.append(t, i, end - i);
    }
    i = end;
  }
  return out;
}

// Masks secret members of a parsed value and the texts held in its strings;
// true when anything changed.
bool MaskValue(Json::Value* value, int depth) {
  bool changed = false;
  if (value->isObject()) {
    for (const std::string& name : value->getMemberNames()) {
      Json::Value& member = (*value)[name];
      if (IsSecretKey(name)) {
        if (!(member.isString() && member.asString() == "***")) {
          member = "***";
          changed = true;
        }
      } else {
        changed = MaskValue(&member, depth) || changed;
      }
    }
  } else if (value->isArray()) {
    for (Json::Value& item : *value) changed = MaskValue(&item, depth) || changed;
  } else if (value->isString()) {
    std::string masked;
    if (MaskInnerText(value->asString(), depth, &masked)) {
      *value = masked;
      changed = true;
    }
  }
  return changed;
}

// Whether text holds \" outside GBK characters: a JSON text escaped into it.
bool HasEscapedQuote(const std::string& t) {
  for (size_t i = 0; i + 1 < t.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(t[i]);
    if (c == '\\') {
      if (t[i + 1] == '"') return true;
      ++i;
    } else if (IsGbkLeadByte(c) && IsGbkTrailByte(static_cast<unsigned char>(t[i + 1]))) {
      ++i;
    }
  }
  return false;
}

// The longest token that can spell a secret name: "securitycode" with
// every letter written as \uXXXX, and its quotes.
constexpr size_t kMaxKeyToken = 2 + 12 * 6;

// For text that is not JSON: a member name may stand anywhere, so every
// quote is tried as the start of a secret name followed by ":", whatever
// came before it (a stray quote in front cannot shift the scan).
std::string ScanLooseText(const std::string& t) {
  std::string out;
  out.reserve(t.size());
  size_t i = 0;
  while (i < t.size()) {
    if (t[i] == '"') {
      size_t end = StringEnd(t, i, kMaxKeyToken);
      size_t colon = end == std::string::npos ? end : SkipSpace(t, end);
      if (colon < t.size() && t[colon] == ':' && IsSecretKey(DecodeString(t, i, end))) {
        i = AppendMaskedMember(t, i, colon, &out);
        continue;
      }
    }
    out += t[i++];
  }
  return out;
}

// A text that parses as JSON (a single string too) is masked on its parsed
// value: the token scan keeps the text's own layout, and when the scanned
// text, parsed again, still shows a secret, the masked value is written
// instead. Any other
// text is scanned loosely, and a JSON text escaped into it (\"key\":\"value\"
// with or without quotes around it) is unpacked and masked in turn.
std::string MaskText(const std::string& text, int depth) {
  if (!MayHoldSecret(text)) return text;
  Json::Value parsed;
  if (ParseWholeGbkJson(text, &parsed)) {
    std::string scanned = ScanAndMask(text, depth);
    Json::Value check;
    if (ParseWholeGbkJson(scanned, &check) && !MaskValue(&check, depth)) return scanned;
    MaskValue(&parsed, depth);
    return text.find('\n') != std::string::npos ? WriteStyled(parsed) : WriteCompact(parsed);
  }
  // A message in front of a JSON text ("Invoke Result:\n" + reply): the
  // JSON text is masked as JSON, keeping its layout.
  const size_t start = text.find_first_of("{[");
  if (start != std::string::npos && start > 0 && ParseWholeGbkJson(text.substr(start), &parsed)) {
    // Scanned again whole: a name at the end of the message may own it.
    return ScanLooseText(text.substr(0, start) + MaskText(text.substr(start), depth));
  }
  std::string scanned = ScanLooseText(text);
  if (!HasEscapedQuote(scanned)) return scanned;
  const std::string quoted = "\"" + scanned + "\"";
  std::string masked;
  if (!MaskInnerText(DecodeString(quoted, 0, quoted.size()), depth, &masked)) return scanned;
  std::string escaped = EncodeString(masked);
  return escaped.substr(1, escaped.size() - 2);
}

}  // namespace

void StoreLogCallback(LogCallback fn) { g_logCallback.store(fn); }
void StoreUpdateDownCallback(UpdateDownCallback fn) { g_updateDownCallback.store(fn); }
bool LogEnabled() { return g_logCallback.load(std::memory_order_relaxed) != nullptr; }

std::string MaskSecrets(const std::string& text) { return MaskText(text, 0); }

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
