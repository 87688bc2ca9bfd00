// GBK/UTF-8 conversion, the string, number, version and path helpers, and
// the JSON writer/reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "internet/qelinternetresponsenode.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"
#include "qelbridge.h"

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "property failed: %s\n", what);
  std::abort();
}

void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}

bool IsGbkLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// True when cut lies on a character boundary of the GBK text, read from the
// start as the helpers read it.
bool OnGbkBoundary(const std::string& text, size_t cut) {
  size_t i = 0;
  while (i < cut) i += (IsGbkLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
  return i == cut;
}

void Conversions(const std::string& input) {
  std::string gbk = qel::Utf8ToGbk(input);
  std::string utf8 = qel::GbkToUtf8(input);
  // Whatever comes out of one direction is valid for it and survives the
  // round trip.
  Check(qel::Utf8ToGbk(qel::GbkToUtf8(gbk)) == gbk, "GBK output round trip");
  Check(qel::GbkToUtf8(qel::Utf8ToGbk(utf8)) == utf8, "UTF-8 output round trip");
  // In place, as c_codethansfer converts.
  std::string inPlace = input;
  qel::Utf8ToGbk(inPlace, &inPlace);
  Check(inPlace == gbk, "in-place conversion");
  std::string exported = input;
  c_codethansfer(static_cast<int>(input.size() % 3), &exported);
  c_codethansfer(1, nullptr);

  const std::string terminated = input.substr(0, input.find('\0'));
  char* converted = qel::ConvertCode("gbk", "utf-8//IGNORE", terminated.c_str());
  Check(converted != nullptr && std::string(converted) == qel::GbkToUtf8(terminated), "ConvertCode gbk");
  delete[] converted;
  delete[] qel::ConvertCode("UTF-16LE", "gbk//IGNORE", (terminated + std::string(2, '\0')).c_str());
  delete[] qel::ConvertCode("no-such-code", "gbk", terminated.c_str());
}

void Strings(const std::string& input) {
  std::string trimmed = qel::Trim(input);
  Check(qel::Trim(trimmed) == trimmed, "Trim is idempotent");
  Check(qel::TrimLeft(qel::TrimRight(input)) == trimmed, "Trim is both sides");

  if (!input.empty()) {
    char separator = input[0];
    std::vector<std::string> fields;
    int n = qel::SplitString(input, separator, &fields);
    Check(n == static_cast<int>(fields.size()), "SplitString count");
    std::string joined;
    for (size_t i = 0; i < fields.size(); ++i) joined += (i ? std::string(1, separator) : "") + fields[i];
    // The fields and a trailing separator give the text back.
    Check(joined == input || joined + separator == input, "SplitString fields");
  }

  std::string upper = qel::ToUpper(input);
  Check(upper.size() == input.size() && qel::EqualsNoCase(upper, input), "ToUpper");
  std::string gbkUpper = qel::dataspace::UpperGbkName(input);
  Check(gbkUpper.size() == input.size(), "UpperGbkName size");
  for (size_t i = 0; i < input.size(); ++i) {
    // Bytes of double-byte characters stay as they are.
    if (!OnGbkBoundary(input, i) && gbkUpper[i] != input[i]) Fail("UpperGbkName changed a trail byte");
  }

  int64_t big = qel::StringToInt64(input);
  int small = qel::StringToInt(input);
  Check(static_cast<int64_t>(small) == (big > INT32_MAX   ? INT32_MAX
                                        : big < INT32_MIN ? INT32_MIN
                                                          : big),
        "StringToInt clamps like StringToInt64");
  qel::StringToUInt64(input);
  if (qel::IsDecimalId(input) && input.size() < 19 && input[0] != '0') {
    Check(qel::Int64ToString(big) == input, "decimal id round trip");
  }

  uint64_t version = 0;
  if (qel::ParseVersion(input, &version)) {
    uint64_t again = 0;
    Check(qel::ParseVersion(qel::VersionToString(version), &again) && again == version, "version round trip");
    Check(qel::VersionToString(qel::UInt64ToString(version)) == qel::VersionToString(version),
          "version text");
  } else {
    Check(version == 0, "a bad version reads 0");
  }
}

void Paths(const std::string& input) {
  std::string name = qel::GetFileName(input);
  Check(name.size() <= input.size() && input.compare(input.size() - name.size(), name.size(), name) == 0,
        "GetFileName is a suffix");
  // The name starts on a character boundary: a trail byte 0x5C is no
  // separator.
  Check(OnGbkBoundary(input, input.size() - name.size()), "GetFileName splits a character");
  std::string ext = qel::GetFileExt(input);
  Check(ext.empty() || (ext[0] == '.' && name.size() >= ext.size()), "GetFileExt");
  std::string native = qel::NativePath(input);
  Check(native.find('\\') == std::string::npos, "NativePath keeps a backslash");
  qel::IsPath(input);
}

void JsonTexts(const std::string& input) {
  // A GBK string value written by the writer reads back byte for byte,
  // and a host that decodes the text as GBK first reads the same value.
  Json::Value row(Json::objectValue);
  row["V"] = input;
  row[input] = "k";
  for (const std::string& text : {qel::WriteStyled(row), qel::WriteCompact(row)}) {
    Json::Value back;
    bool read = qel::ParseGbkJson(text, &back);
    if (qel::IsValidGbk(input)) {
      Check(read && back == row, "GBK string round trip");
      Json::Value host;
      Check(qel::ParseJson(qel::GbkToUtf8(text), &host) && host == qel::StringsToUtf8(row),
            "written text decodes as GBK to the same JSON");
    }
  }

  Json::Value parsed;
  if (qel::ParseGbkJson(input, &parsed)) {
    // What a reply parser reads, the writer writes again unchanged.
    Json::Value reread;
    Check(qel::ParseGbkJson(qel::WriteCompact(parsed), &reread), "rewritten reply parses");
    Check(qel::WriteCompact(reread) == qel::WriteCompact(parsed), "rewritten reply is stable");
    if (parsed.isObject()) {
      for (const std::string& key : parsed.getMemberNames()) {
        qel::TextMember(parsed, key.c_str());
        int64_t number = 0;
        qel::ReadInt64(parsed, key.c_str(), &number);
        qel::ObjectMember(parsed, key.c_str());
        qel::ArrayMember(parsed, key.c_str());
      }
    }
    qel::Element(parsed, 0);
    qel::Member(parsed, "result");
  } else {
    Check(parsed.isNull(), "a failed parse leaves null");
  }
  if (qel::ParseJson(input, &parsed)) qel::WriteStyled(parsed);
}

bool IsSecretName(const std::string& name) {
  for (const char* secret : {"password", "passwd", "newpwd", "securitycode", "code"}) {
    if (qel::EqualsNoCase(name, secret)) return true;
  }
  return false;
}

// No secret member of a parsed text, or of a JSON text held in one of its
// strings, keeps a value other than "***".
void CheckMasked(const Json::Value& value, int depth) {
  if (value.isObject()) {
    for (const std::string& name : value.getMemberNames()) {
      const Json::Value& member = value[name];
      if (IsSecretName(name)) Check(member.isString() && member.asString() == "***", "secret member masked");
      CheckMasked(member, depth);
    }
  } else if (value.isArray()) {
    for (const Json::Value& item : value) CheckMasked(item, depth);
  } else if (value.isString() && depth < 4) {
    Json::Value inner;
    if (qel::ParseGbkJson(value.asString(), &inner)) CheckMasked(inner, depth + 1);
  }
}

void Masking(const std::string& input) {
  const std::string masked = qel::dataspace::MaskSecrets(input);
  Json::Value parsed;
  if (qel::ParseWholeGbkJson(input, &parsed)) {
    Json::Value after;
    Check(qel::ParseWholeGbkJson(masked, &after), "a masked JSON text still parses");
    CheckMasked(after, 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  Conversions(input);
  Strings(input);
  Paths(input);
  JsonTexts(input);
  Masking(input);
  return 0;
}
