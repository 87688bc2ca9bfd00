#include "qel/json.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <sstream>

#include "qel/text.h"

namespace qel {
namespace {

// jsoncpp escapes every 0x5C byte, also the second byte of a GBK character:
// "\xD5\x5C" (one character) came out as D5 5C 5C, which a host decoding
// GBK first reads as that character plus a stray backslash. Inside strings,
// walk the text character by character and write such a second byte once;
// a real backslash keeps its escape. A byte above 0x80 that starts no GBK
// character (a first byte without its second, 0xFF) is dropped: the text stays a GBK
// document that a host can decode, and such a byte would otherwise pair with
// the backslash of the escape after it.
void MendGbkStrings(std::string* text) {
  std::string& t = *text;
  const size_t n = t.size();
  size_t r = 0;
  while (r < n && static_cast<unsigned char>(t[r]) < 0x80) ++r;
  if (r == n) return;
  size_t w = 0;
  bool inString = false;
  for (r = 0; r < n; ++r) {
    unsigned char c = static_cast<unsigned char>(t[r]);
    if (!inString) {
      inString = c == '"';
      t[w++] = t[r];
    } else if (c == '"') {
      inString = false;
      t[w++] = t[r];
    } else if (c == '\\') {
      // An escape of the writer's own: two bytes, the rest of \uXXXX is ASCII.
      t[w++] = t[r];
      if (r + 1 < n) t[w++] = t[++r];
    } else if (c <= 0x80) {
      t[w++] = t[r];  // 0x80 is a character of its own (the euro sign)
    } else if (IsGbkLeadByte(c) && r + 1 < n) {
      unsigned char next = static_cast<unsigned char>(t[r + 1]);
      if (next == '\\' && r + 2 < n && t[r + 2] == '\\') {
        t[w++] = t[r];
        t[w++] = '\\';
        r += 2;
      } else if (next != '\\' && IsGbkTrailByte(next)) {
        t[w++] = t[r];
        t[w++] = t[++r];
      }
    }
  }
  t.resize(w);
}

// Appends GBK bytes inside a string of the byte-wise form: a second byte
// 0x5C gets jsoncpp's escape.
void AppendGbkForParser(const std::string& gbk, std::string* out) {
  for (size_t i = 0; i < gbk.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(gbk[i]);
    if (IsGbkLeadByte(c) && i + 1 < gbk.size()) {
      *out += gbk[i];
      if (gbk[++i] == '\\') *out += '\\';
      *out += gbk[i];
    } else {
      if (c == '\\' || c == '"') *out += '\\';
      *out += gbk[i];
    }
  }
}

// Stands in a value for a \u escape that names no GBK character: a byte
// that is never GBK, so the value is not whole text, as with a raw byte.
const char kNoGbkCharacter = '\xFF';

// A GBK JSON text rewritten for jsoncpp, which reads byte by byte: inside
// strings a GBK character is taken whole (its second byte 0x5C is escaped),
// and a \u escape beyond ASCII becomes the character's GBK bytes, or
// kNoGbkCharacter when GBK has no such character or it is a lone half of
// a pair. Bytes that are no GBK stay as they are, so a value that differs
// from another by such a byte, or by such an escape, stays different.
std::string ByteWiseForm(const std::string& t) {
  std::string out;
  out.reserve(t.size() + 16);
  bool inString = false;
  const size_t n = t.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(t[i]);
    if (!inString) {
      inString = c == '"';
      out += t[i];
    } else if (c == '"') {
      inString = false;
      out += t[i];
    } else if (IsGbkLeadByte(c) && i + 1 < n && IsGbkTrailByte(static_cast<unsigned char>(t[i + 1]))) {
      out += t[i];
      if (t[++i] == '\\') out += '\\';
      out += t[i];
    } else if (c != '\\' || i + 1 >= n) {
      out += t[i];
    } else if (uint32_t cp = 0; t[i + 1] == 'u' && ReadHex4(t, i + 2, &cp) && cp >= 0x80) {
      size_t next = i + 6;
      uint32_t low = 0;
      // jsoncpp would pair a first half with whatever escape follows it:
      // no half, paired or lone, reaches it.
      if (cp >= 0xD800 && cp <= 0xDBFF && next + 6 <= n && t[next] == '\\' && t[next + 1] == 'u' &&
          ReadHex4(t, next + 2, &low) && low >= 0xDC00 && low <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        next += 6;
      }
      std::string gbk;
      if (cp < 0xD800 || cp > 0xDFFF) {
        std::string utf8;
        AppendUtf8(cp, &utf8);
        gbk = Utf8ToGbk(std::string_view(utf8));
      }
      if (gbk.empty()) gbk = kNoGbkCharacter;
      AppendGbkForParser(gbk, &out);
      i = next - 1;
    } else {
      // Any other escape: two bytes, read by the parser.
      out += t[i];
      out += t[++i];
    }
  }
  return out;
}

// emitUTF8 makes jsoncpp copy every byte of 0x20 and above as it is
// instead of decoding it as UTF-8, so GBK text is written unchanged apart
// from the escaped second bytes mended above.
std::unique_ptr<Json::StreamWriter> MakeWriter(bool styledText) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = styledText ? "   " : "";
  builder["emitUTF8"] = true;
  builder["commentStyle"] = "None";
  return std::unique_ptr<Json::StreamWriter>(builder.newStreamWriter());
}

// A writer is costly to build and keeps state while it writes, and small
// record texts are written by the thousand: each thread keeps one of each
// kind. A write during the thread's end, after they are gone, builds its own.
thread_local bool t_writersGone = false;

struct ThreadWriters {
  std::unique_ptr<Json::StreamWriter> styled = MakeWriter(true);
  std::unique_ptr<Json::StreamWriter> compact = MakeWriter(false);
  ~ThreadWriters() { t_writersGone = true; }
};

std::string Write(const Json::Value& value, bool styledText, bool gbk = true) {
  std::unique_ptr<Json::StreamWriter> own;
  Json::StreamWriter* writer = nullptr;
  if (!t_writersGone) {
    thread_local ThreadWriters writers;
    writer = styledText ? writers.styled.get() : writers.compact.get();
  } else {
    own = MakeWriter(styledText);
    writer = own.get();
  }
  std::ostringstream out;
  writer->write(value, &out);
  std::string text = out.str();
  if (gbk) MendGbkStrings(&text);
  return text;
}

const Json::Value& NullValue() {
  static const Json::Value null;
  return null;
}

// Maximum nesting accepted from outside; deeper texts count as not parsed.
constexpr int kMaxDepth = 256;

using Converter = std::string (*)(std::string_view);

Json::Value ConvertStrings(const Json::Value& value, Converter convert) {
  switch (value.type()) {
    case Json::stringValue:
      return Json::Value(convert(value.asString()));
    case Json::arrayValue: {
      Json::Value out(Json::arrayValue);
      for (const Json::Value& item : value) out.append(ConvertStrings(item, convert));
      return out;
    }
    case Json::objectValue: {
      Json::Value out(Json::objectValue);
      for (auto it = value.begin(); it != value.end(); ++it)
        out[convert(it.name())] = ConvertStrings(*it, convert);
      return out;
    }
    default:
      return value;
  }
}

// jsoncpp reads byte by byte. whole: nothing but white space may follow the
// value.
bool ParseBytes(const std::string& text, Json::Value* out, bool whole) {
  if (out == nullptr) return false;
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  builder["stackLimit"] = kMaxDepth;
  builder["failIfExtra"] = whole;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value value;
  std::string errors;
  bool ok = false;
  try {
    ok = reader->parse(text.data(), text.data() + text.size(), &value, &errors);
  } catch (const std::exception&) {
    ok = false;  // too deep
  }
  *out = ok ? std::move(value) : Json::Value();
  return ok;
}

}  // namespace

Json::Value StringsToUtf8(const Json::Value& gbkValue) { return ConvertStrings(gbkValue, GbkToUtf8); }
Json::Value StringsToGbk(const Json::Value& utf8Value) { return ConvertStrings(utf8Value, Utf8ToGbk); }

std::string WriteStyled(const Json::Value& value) { return Write(value, true) + "\n"; }
std::string WriteCompact(const Json::Value& value) { return Write(value, false); }
std::string WriteCompactUtf8(const Json::Value& utf8Value) { return Write(utf8Value, false, false); }

bool ParseJson(const std::string& text, Json::Value* out) { return ParseBytes(text, out, false); }

bool ParseUtf8JsonToGbk(const std::string& utf8Text, Json::Value* out) {
  Json::Value parsed;
  if (!ParseJson(utf8Text, &parsed)) {
    if (out != nullptr) *out = Json::Value();
    return false;
  }
  if (out != nullptr) *out = StringsToGbk(parsed);
  return true;
}

bool ParseGbkJson(const std::string& gbkText, Json::Value* out) {
  // Most requests are ASCII without \u escapes: jsoncpp reads them as they are.
  bool plain = gbkText.find("\\u") == std::string::npos;
  for (size_t i = 0; plain && i < gbkText.size(); ++i) plain = static_cast<unsigned char>(gbkText[i]) < 0x80;
  return ParseBytes(plain ? gbkText : ByteWiseForm(gbkText), out, false);
}

bool ParseWholeGbkJson(const std::string& gbkText, Json::Value* out) {
  // jsoncpp ends a text at a NUL byte, so a text holding one is not whole.
  if (gbkText.find('\0') != std::string::npos) {
    if (out != nullptr) *out = Json::Value();
    return false;
  }
  return ParseBytes(ByteWiseForm(gbkText), out, true);
}

const Json::Value& Member(const Json::Value& object, const char* key) {
  if (!object.isObject() || key == nullptr) return NullValue();
  const Json::Value* found = object.find(key, key + std::char_traits<char>::length(key));
  return found != nullptr ? *found : NullValue();
}

const Json::Value& ObjectMember(const Json::Value& object, const char* key) {
  const Json::Value& v = Member(object, key);
  return v.isObject() ? v : NullValue();
}

const Json::Value& ArrayMember(const Json::Value& object, const char* key) {
  const Json::Value& v = Member(object, key);
  return v.isArray() ? v : NullValue();
}

const Json::Value& Element(const Json::Value& array, Json::ArrayIndex index) {
  if (!array.isArray() || index >= array.size()) return NullValue();
  return array[index];
}

bool HasMember(const Json::Value& object, const char* key) {
  return object.isObject() && key != nullptr && object.find(key, key + std::char_traits<char>::length(key));
}

bool ReadString(const Json::Value& object, const char* key, std::string* out) {
  const Json::Value& v = Member(object, key);
  if (!v.isString()) {
    if (out != nullptr) out->clear();
    return false;
  }
  if (out != nullptr) *out = v.asString();
  return true;
}

std::string StringMember(const Json::Value& object, const char* key) {
  std::string out;
  ReadString(object, key, &out);
  return out;
}

std::string ValueAsText(const Json::Value& value) {
  switch (value.type()) {
    case Json::stringValue:
      return value.asString();
    case Json::intValue:
      return std::to_string(value.asLargestInt());
    case Json::uintValue:
      return std::to_string(value.asLargestUInt());
    case Json::realValue: {
      double d = value.asDouble();
      if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.0e15) {
        return std::to_string(static_cast<long long>(d));
      }
      return value.asString();
    }
    case Json::booleanValue:
      return value.asBool() ? "true" : "false";
    default:
      return std::string();
  }
}

std::string TextMember(const Json::Value& object, const char* key) {
  return ValueAsText(Member(object, key));
}

bool ValueAsInt64(const Json::Value& value, int64_t* out) {
  int64_t result = 0;
  bool ok = false;
  if (value.isInt64()) {
    result = value.asInt64();
    ok = true;
  } else if (value.isDouble()) {
    double d = value.asDouble();
    ok = std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.0e18;
    if (ok) result = static_cast<int64_t>(d);
  } else if (value.isString()) {
    std::string text = value.asString();
    std::string digits = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? text.substr(1) : text;
    ok = IsDecimalId(digits) && digits.size() <= 19;
    if (ok) {
      uint64_t magnitude = StringToUInt64(digits);
      bool negative = text[0] == '-';
      uint64_t limit = negative ? uint64_t(std::numeric_limits<int64_t>::max()) + 1
                                : uint64_t(std::numeric_limits<int64_t>::max());
      ok = magnitude <= limit;
      if (ok) result = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    }
  }
  if (out != nullptr) *out = ok ? result : 0;
  return ok;
}

bool ReadInt64(const Json::Value& object, const char* key, int64_t* out) {
  return ValueAsInt64(Member(object, key), out);
}

std::string StatusReplyText(int code) {
  Json::Value status(Json::objectValue);
  status["status"] = std::to_string(code);
  status["result"] = "";
  Json::Value reply(Json::objectValue);
  reply["jsonrpc"] = "2.0";
  reply["result"] = std::move(status);
  return WriteCompact(reply);
}

std::string StatusOfReply(const std::string& reply) {
  Json::Value parsed;
  if (!ParseJson(reply, &parsed)) return std::string();
  return TextMember(ObjectMember(parsed, "result"), "status");
}

}  // namespace qel
